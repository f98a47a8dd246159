// Exceptions thrown, caught and rethrown through several frames on two
// threads at once, in a program linked as the installers are. Each thread's
// record of the exceptions being handled must be its own, the unwinder must
// find every frame, and the start-up must have run the static constructors
// and must pass WinMain's result on as the exit code. Exits 0 when all holds;
// otherwise with the number of the check that failed.
#include <windows.h>

#include <exception>
#include <string>

#include "core/errors.h"

extern "C" void* __cxa_get_globals();

namespace {

const std::string constructed = "constructed";  // by a static constructor

int Nested(int depth) {
  try {
    if (depth == 0) throw brisko::Error("leaf");
    return Nested(depth - 1);
  } catch (const brisko::Error& error) {
    if (depth < 3) throw;
    return std::uncaught_exceptions() == 0 && std::string(error.what()) == "leaf" ? 1 : 0;
  }
}

struct Outcome {
  int caught = 0;
  void* record = nullptr;
};

DWORD WINAPI Throw(void* outcome) {
  auto& result = *static_cast<Outcome*>(outcome);
  for (int i = 0; i < 20000; ++i) result.caught += Nested(6);
  result.record = __cxa_get_globals();
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (constructed != "constructed") return 1;
  Outcome worker, main;
  HANDLE thread = CreateThread(nullptr, 0, Throw, &worker, 0, nullptr);
  if (thread == nullptr) return 2;
  Throw(&main);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  if (worker.caught != 20000 || main.caught != 20000) return 3;
  if (worker.record == main.record) return 4;
  return 0;
}

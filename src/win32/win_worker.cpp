#include "win_worker.h"

#include <windows.h>

#include "handles.h"
#include "system_calls.h"

namespace brisko {
namespace {

constexpr DWORD kTickMilliseconds = 50;

// The job's progress: added to by the worker, read by the window's thread.
class SharedProgress final : public Progress {
 public:
  void Add(std::uint64_t bytes) override { InterlockedExchangeAdd64(&done_, static_cast<LONG64>(bytes)); }
  std::uint64_t done() { return static_cast<std::uint64_t>(InterlockedCompareExchange64(&done_, 0, 0)); }

 private:
  LONG64 volatile done_ = 0;
};

struct Shared {
  Worker::Job& job;
  SharedProgress progress;
  bool result = false;
};

DWORD WINAPI WorkerMain(void* parameter) {
  auto* shared = static_cast<Shared*>(parameter);
  shared->result = shared->job.Run(shared->progress);
  return 0;
}

// Dispatches every message waiting. WM_QUIT belongs to the program's own
// loop: it is kept for it, as a modal dialog's loop keeps it.
void DispatchWaiting(bool& quit, WPARAM& exitCode) {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quit = true;
      exitCode = message.wParam;
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

bool WinWorker::Run(Job& job) {
  Shared shared{job, {}, false};
  unique_handle_null thread(Sys().CreateThread(nullptr, 0, WorkerMain, &shared, 0, nullptr));
  if (!thread) {
    WorkerMain(&shared);
    job.Advanced(shared.progress.done());
    return shared.result;
  }
  bool quit = false;
  WPARAM exitCode = 0;
  DWORD lastTick = GetTickCount();
  HANDLE handle = thread.get();
  running_ = handle;
  for (;;) {
    const DWORD woken = MsgWaitForMultipleObjects(1, &handle, FALSE, kTickMilliseconds, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0) break;
    if (woken == WAIT_FAILED) {
      WaitForSingleObject(handle, INFINITE);
      break;
    }
    DispatchWaiting(quit, exitCode);
    if (GetTickCount() - lastTick >= kTickMilliseconds) {
      lastTick = GetTickCount();
      job.Advanced(shared.progress.done());
    }
  }
  running_ = nullptr;
  job.Advanced(shared.progress.done());
  if (quit) PostQuitMessage(static_cast<int>(exitCode));
  return shared.result;
}

void WinWorker::WaitForEnd() {
  if (running_ != nullptr) WaitForSingleObject(running_, INFINITE);
}

}  // namespace brisko

// The pieces of the C++ runtime that an installer without exceptions still
// reaches, in place of the library's own. Linked into the installer
// executables only, ahead of the runtime library, so the library's
// definitions, which throw and bring in the exception machinery, are never
// pulled in.
//
// The installers are built with -fno-exceptions: errors travel as values
// (core/errors.h), and a failure that the code does not expect (memory
// exhausted, a container asked for more than it can hold or for an index past
// its end) ends the program after the exception report, as an exception that
// reached the entry did when the installers still threw.
#include <windows.h>

#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void Fatal(const wchar_t* what) {
  MessageBoxW(nullptr, what, L"briskoPatch", MB_OK | MB_ICONERROR | MB_TASKMODAL);
  ExitProcess(0);
}

void* Allocate(std::size_t size) {
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) Fatal(L"std::bad_alloc.");
  return block;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size != 0 ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size != 0 ? size : 1); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

// The standard containers call these when asked for more than they can hold
// or for an index past their end.
namespace std {

void __throw_bad_alloc() { Fatal(L"std::bad_alloc."); }
void __throw_bad_array_new_length() { Fatal(L"std::bad_array_new_length."); }
void __throw_logic_error(const char*) { Fatal(L"std::logic_error."); }
void __throw_length_error(const char*) { Fatal(L"std::length_error."); }
void __throw_out_of_range(const char*) { Fatal(L"std::out_of_range."); }
void __throw_out_of_range_fmt(const char*, ...) { Fatal(L"std::out_of_range."); }
void __throw_invalid_argument(const char*) { Fatal(L"std::invalid_argument."); }

}  // namespace std

// Where the C++ run-time keeps each thread's record of the exceptions that
// are being handled (the ABI's __cxa_eh_globals): in the program's own
// thread-local storage, which the loader sets up for every thread from the
// template in the image. The run-time's version keeps it in storage that it
// allocates per thread on first use, through the compiler's emulation of
// thread-local variables with its own keys and locks: about 2 KiB of a stub.
// Linked into the installers only, like lean_runtime.cpp.
#include <windows.h>

extern "C" {
extern ULONG _tls_index;  // this program's slot in each thread's array of blocks
extern char _tls_start;   // the start of the template (the run-time's marker)
}

namespace {

struct ExceptionGlobals {
  void* caught_exceptions;
  unsigned int uncaught_exceptions;
};

// In the template, between the run-time's start and end markers (the
// section ".tls$" is the place for thread-local data; see
// cmake/installer.ld.in). Each thread starts with a zeroed copy.
[[gnu::section(".tls$")]] ExceptionGlobals thread_template{};

}  // namespace

extern "C" {

// The headers' NtCurrentTeb reads the segment register at a fixed offset,
// which GCC takes for an access past an empty array.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
ExceptionGlobals* __cxa_get_globals_fast() noexcept {
  // The thread's array of blocks is the twelfth pointer of its thread
  // environment block (fs:[0x2C] on 32-bit Windows, gs:[0x58] on 64-bit).
  char* const* blocks = static_cast<char* const*>(reinterpret_cast<void* const*>(NtCurrentTeb())[11]);
  return reinterpret_cast<ExceptionGlobals*>(blocks[_tls_index] +
                                             (reinterpret_cast<char*>(&thread_template) - &_tls_start));
}
#pragma GCC diagnostic pop

ExceptionGlobals* __cxa_get_globals() noexcept { return __cxa_get_globals_fast(); }

}  // extern "C"

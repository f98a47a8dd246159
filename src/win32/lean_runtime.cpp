// Smaller replacements for pieces of the C++ runtime that the installer links
// statically. Linked into the installer executables only, ahead of the
// runtime library, so the library's own definitions are never pulled in.
//
// The library's terminate handler names the uncaught exception's type, which
// brings in the symbol demangler and stdio; its helpers that throw the
// standard logic and runtime errors bring in a second, copy-on-write string
// type that those error classes keep their text in. Together that is over
// 80 KiB of a stub's size for paths that the installer never takes on
// purpose.
#include <cstdlib>
#include <cstring>
#include <new>
#include <typeinfo>

#include "core/errors.h"

namespace __gnu_cxx {

// Reached only when an exception escapes the entry, which catches
// everything: end at once, as the short handler of the runtime does.
void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

// The standard containers call these when asked for more than they can hold
// or for an index past their end. They raise the installer's own errors with
// the library's text, which the installer's handlers report as they report
// any other error. Only the helpers that the installer's code reaches are
// here, as each brings in its exception's class: a use of another one
// brings in the library's file of them all, about 85 KiB that the stub_size
// test shows at once.
namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_logic_error(const char* s) { throw brisko::Error(s); }
void __throw_domain_error(const char* s) { throw brisko::Error(s); }
void __throw_invalid_argument(const char* s) { throw brisko::Error(s); }
void __throw_length_error(const char* s) { throw brisko::Error(s); }
void __throw_out_of_range(const char* s) { throw brisko::RangeError(s); }
void __throw_runtime_error(const char* s) { throw brisko::Error(s); }
void __throw_range_error(const char* s) { throw brisko::RangeError(s); }
void __throw_overflow_error(const char* s) { throw brisko::Error(s); }
void __throw_underflow_error(const char* s) { throw brisko::Error(s); }

// The library's text names the function and then the values at fault, as a
// printf format: the function's name is kept, which needs no formatting code
// in the installer; the values would tell a user nothing.
void __throw_out_of_range_fmt(const char* format, ...) {
  const char* end = std::strchr(format, ':');
  throw brisko::RangeError(brisko::Text(format, end != nullptr ? end : format + std::strlen(format)) +
                           ": out of range");
}

}  // namespace std

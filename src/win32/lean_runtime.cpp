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
#include <cstdarg>
#include <cstdlib>
#include <new>
#include <typeinfo>

#include "core/errors.h"

namespace __gnu_cxx {

// Reached only when an exception escapes the entry, which catches
// everything: end at once, as the short handler of the runtime does.
void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx

namespace brisko {
namespace {

// The library's own messages use only "%s", "%zu" and "%%".
Text FormatLibraryMessage(const char* format, va_list args) {
  Text text;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      text += *p;
    } else if (p[1] == 's') {
      text += va_arg(args, const char*);
      ++p;
    } else if (p[1] == 'z' && p[2] == 'u') {
      char digits[24];
      std::size_t n = 0;
      std::size_t value = va_arg(args, std::size_t);
      do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
      } while (value != 0);
      while (n != 0) text += digits[--n];
      p += 2;
    } else if (p[1] == '%') {
      text += '%';
      ++p;
    } else {
      text += *p;
    }
  }
  return text;
}

}  // namespace
}  // namespace brisko

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

void __throw_out_of_range_fmt(const char* format, ...) {
  va_list args;
  va_start(args, format);
  brisko::Text text = brisko::FormatLibraryMessage(format, args);
  va_end(args);
  throw brisko::RangeError(std::move(text));
}

}  // namespace std

// Errors raised below the installer's handlers. The installer is built
// without C++ exceptions: an error travels up as a value, a RaisedError that
// each caller checks and passes on, until the handler around start-up (or
// an event) shows its message through the exception report.
#pragma once

#include <cstdint>
#include <utility>

#include "core/text/text.h"

namespace brisko {

// Where an error raised below a handler is kept: the first one raised, with
// its Shift-JIS message. What raises it stops and returns at once, with its
// other results as a failure leaves them; its callers do the same, as an
// exception would unwind through them.
class RaisedError {
 public:
  void Raise(Text message) {
    if (raised_) return;
    raised_ = true;
    message_ = std::move(message);
  }
  bool raised() const { return raised_; }
  const Text& message() const { return message_; }

 private:
  bool raised_ = false;
  Text message_;
};

// A package resource that is not there: "<name> リソースが見つかりません".
Text ResourceNotFoundText(const Text& name);

// Formats a fixed text that holds one "%s" (or none: the text as it is).
Text FormatText(const char* format, const Text& argument);

// `value` in decimal digits.
Text DecimalText(std::uint64_t value);

// The exception report's text: the message, followed by "." when its last
// character has a higher code than ".".
Text ExceptionReportText(const Text& message);

}  // namespace brisko

// Errors raised below the installer's handlers. Their text is a Shift-JIS
// message shown to the user through the exception report.
#pragma once

#include <exception>
#include <string>

#include "core/text/text.h"

namespace brisko {

class Error : public std::exception {
 public:
  explicit Error(Text message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const Text& message() const noexcept { return message_; }

 private:
  Text message_;
};

// A package resource that is not there: "<name> リソースが見つかりません".
class ResourceNotFound : public Error {
 public:
  explicit ResourceNotFound(const Text& name);
};

// An index or a length outside what the data holds. Raised in place of
// std::out_of_range, whose library code the installer need not carry.
class RangeError : public Error {
 public:
  using Error::Error;
};

// Formats a fixed text that holds one "%s".
Text FormatText(const char* format, const Text& argument);

// The exception report's text: the message, followed by "." when its last
// character has a higher code than ".".
Text ExceptionReportText(const Text& message);

}  // namespace brisko

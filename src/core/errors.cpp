#include "core/errors.h"

#include "core/text/fixed_texts.h"

namespace brisko {

Text ResourceNotFoundText(const Text& name) { return FormatText(texts::kErrResourceNotFoundFmt, name); }

Text FormatText(const char* format, const Text& argument) {
  // Only the one "%s" is replaced; the argument is never read as a format.
  Text result(format);
  const std::size_t at = result.find("%s");
  if (at != Text::npos) result.replace(at, 2, argument);
  return result;
}

Text DecimalText(std::uint64_t value) {
  Text digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + value % 10));
    value /= 10;
  } while (value != 0);
  return digits;
}

Text ExceptionReportText(const Text& message) {
  // The last character's code decides. A double-byte character's bytes are
  // all above "." (lead 0x81 and up, trail 0x40 and up), so the last byte
  // gives the same answer as the last character.
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + ".";
  return message;
}

}  // namespace brisko

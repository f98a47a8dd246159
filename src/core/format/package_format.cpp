#include "core/format/package_format.h"

#include "core/script/whole_number.h"

namespace brisko::format {

int PatchTypeFromValue(const Text& value) {
  int number = 0;
  return ParseWholeNumber(value, number) ? number : kWritesPayload;
}

}  // namespace brisko::format

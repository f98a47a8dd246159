// The script reader on arbitrary bytes: line cutting, then every look-up the
// installer makes, and a look-up of every key-shaped line the script holds.
// The first byte picks the code page (Shift-JIS or single-byte).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/script/script_lines.h"
#include "core/script/tiny_cnf.h"
#include "core/script/whole_number.h"
#include "core/text/locale.h"

using namespace brisko;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const Locale& locale =
      data[0] & 1 ? TableLocale::SingleByte() : static_cast<const Locale&>(TableLocale::ShiftJis());
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

  const StringList lines = SplitLines(bytes);
  const TTinyCnf reader(lines, locale);
  Text value;
  for (const char* key : {"*Caption", "*GameTitle", "*PatchType"}) {
    if (reader.GetValue(key, value)) {
      int number = 0;
      ParseWholeNumber(value, number);
    }
  }
  StringList items;
  for (const char* key : {"%CheckTargetFilename", "%OutFiles", "%LinkPath"}) reader.GetList(key, items);

  // Keys taken from the script itself, a bounded number of them so that one
  // input costs at most linear time per key.
  int looked = 0;
  for (const Text& line : lines) {
    if (looked == 64) break;
    const Text key = TrimControl(line);
    if (key.empty() || (key[0] != '*' && key[0] != '%')) continue;
    ++looked;
    reader.GetValue(key, value);
    reader.GetList(key, items);
    reader.GetValue(line, value);  // untrimmed, as a caller might pass it
  }
  return 0;
}

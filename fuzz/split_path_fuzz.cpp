// SplitString and the double-byte path helpers on arbitrary bytes, with the
// invariants that hold for any input. The first byte picks the code page,
// the second the separators; the rest is cut in two at the first 0x00 byte
// into a folder and a name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/script/split_string.h"
#include "core/text/locale.h"
#include "core/text/path.h"

using namespace brisko;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const Locale& locale =
      data[0] & 1 ? TableLocale::SingleByte() : static_cast<const Locale&>(TableLocale::ShiftJis());
  static constexpr std::string_view kSeparators[] = {"\\", " \t", ",\\", "\"", "\x81"};
  const std::string_view separators = kSeparators[data[1] % std::size(kSeparators)];
  const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);

  StringList fields{"left over"};
  SplitString(text, separators, fields, locale);
  std::size_t total = 0;
  for (const Text& field : fields) {
    Check(!field.empty());
    total += field.size();
  }
  Check(total <= text.size());

  const std::size_t cut = text.find('\0');
  const std::string_view folder = text.substr(0, cut);
  const std::string_view name = cut == std::string_view::npos ? std::string_view() : text.substr(cut + 1);

  const Text withDelimiter = IncludeTrailingDelimiter(locale, folder);
  // A folder that ends in a lead byte without its trail byte makes the
  // appended backslash that trail byte: the one case without a delimiter.
  const bool danglingLead =
      !folder.empty() && ClassifyByte(locale, folder, folder.size() - 1) == ByteClass::Lead;
  Check(danglingLead || EndsWithDelimiter(locale, withDelimiter));
  Check(withDelimiter.compare(0, folder.size(), folder) == 0);
  const Text joined = JoinPath(locale, folder, name);
  Check(joined.size() >= folder.size() + name.size());
  const Text extracted = ExtractFolder(locale, joined);
  Check(extracted.size() <= joined.size());
  Check(joined.compare(0, extracted.size(), extracted) == 0);
  return 0;
}

#include "pe/version_record.h"

#include <cstdio>
#include <stdexcept>

#include "core/format/byte_order.h"
#include "platform/unicode.h"

namespace brisko::pack {

namespace {

// Every block of the record: its length, its value's length, its type (1
// for text), its key in UTF-16 with a terminator, then at the next 32-bit
// boundary its value, then its children, each at a 32-bit boundary.
constexpr std::size_t kBlockHeader = 6;
constexpr std::uint16_t kBinary = 0, kText = 1;
constexpr char16_t kRootKey[] = u"VS_VERSION_INFO";
constexpr char16_t kStringsKey[] = u"StringFileInfo";
constexpr char16_t kTranslationsKey[] = u"VarFileInfo";
constexpr char16_t kTranslationKey[] = u"Translation";

// The fixed part (VS_FIXEDFILEINFO): signature, structure version, file
// version, product version, flags mask, flags, system, type, subtype, date.
constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::uint32_t kFixedStructVersion = 0x00010000;
constexpr std::size_t kFixedSize = 52;
constexpr std::size_t kFixedFileVersion = 8, kFixedProductVersion = 16;
constexpr std::uint32_t kFlagsMask = 0x3F;        // VS_FFI_FILEFLAGSMASK
constexpr std::uint32_t kWindows32 = 0x00000004;  // VOS__WINDOWS32
constexpr std::uint32_t kApplication = 1;         // VFT_APP

std::size_t Aligned(std::size_t at) { return (at + 3) & ~std::size_t{3}; }

std::string Utf16Bytes(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) le::Append16(bytes, c);
  le::Append16(bytes, 0);
  return bytes;
}

std::string Block(std::u16string_view key, std::uint16_t type, std::string_view value, std::uint16_t valueLength,
                  const std::vector<std::string>& children = {}) {
  std::string block(kBlockHeader, '\0');
  block += Utf16Bytes(key);
  block.resize(Aligned(block.size()), '\0');
  block += value;
  for (const std::string& child : children) {
    block.resize(Aligned(block.size()), '\0');
    block += child;
  }
  if (block.size() > 0xFFFF) throw std::length_error("the version record is too long");
  le::Put16(block, 0, static_cast<std::uint16_t>(block.size()));
  le::Put16(block, 2, valueLength);
  le::Put16(block, 4, type);
  return block;
}

void PutVersion(std::string& fixed, std::size_t at, const VersionNumber& v) {
  le::Put32(fixed, at, std::uint32_t{v[0]} << 16 | v[1]);
  le::Put32(fixed, at + 4, std::uint32_t{v[2]} << 16 | v[3]);
}

VersionNumber GetVersion(std::string_view fixed, std::size_t at) {
  const std::uint32_t ms = le::Get32(fixed, at), ls = le::Get32(fixed, at + 4);
  return {static_cast<std::uint16_t>(ms >> 16), static_cast<std::uint16_t>(ms), static_cast<std::uint16_t>(ls >> 16),
          static_cast<std::uint16_t>(ls)};
}

// A block read back: its key, its value's bytes and its children's bytes.
struct ParsedBlock {
  std::u16string key;
  std::string_view value;
  std::vector<std::string_view> children;
};

// The block at the start of `bytes`; nullopt when it does not fit them.
// A text value is read up to its terminator, whatever length it says.
std::optional<ParsedBlock> ParseBlock(std::string_view bytes) {
  if (bytes.size() < kBlockHeader) return std::nullopt;
  const std::size_t length = le::Get16(bytes, 0), valueLength = le::Get16(bytes, 2), type = le::Get16(bytes, 4);
  if (length < kBlockHeader || length > bytes.size()) return std::nullopt;
  bytes = bytes.substr(0, length);
  ParsedBlock block;
  std::size_t at = kBlockHeader;
  for (; at + 2 <= bytes.size() && le::Get16(bytes, at) != 0; at += 2) block.key += le::Get16(bytes, at);
  at = Aligned(at + 2);
  if (at > bytes.size()) return std::nullopt;
  std::size_t valueEnd = at;
  if (type == kText)
    while (valueLength > 0 && valueEnd + 2 <= bytes.size() && le::Get16(bytes, valueEnd) != 0) valueEnd += 2;
  else
    valueEnd = at + valueLength;
  if (valueEnd > bytes.size()) return std::nullopt;
  block.value = bytes.substr(at, valueEnd - at);
  for (at = Aligned(valueEnd + (type == kText && valueLength > 0 ? 2 : 0)); at + kBlockHeader <= bytes.size();) {
    const std::size_t childLength = le::Get16(bytes, at);
    if (childLength < kBlockHeader || at + childLength > bytes.size()) break;
    block.children.push_back(bytes.substr(at, childLength));
    at = Aligned(at + childLength);
  }
  return block;
}

std::string TextOf(std::string_view utf16) {
  std::u16string units;
  for (std::size_t i = 0; i + 2 <= utf16.size(); i += 2) units += le::Get16(utf16, i);
  return Utf16ToUtf8(units);
}

}  // namespace

std::string VersionText(const VersionNumber& v) {
  return std::to_string(v[0]) + "." + std::to_string(v[1]) + "." + std::to_string(v[2]) + "." + std::to_string(v[3]);
}

std::string EncodeVersionRecord(const VersionRecord& record) {
  std::string fixed(kFixedSize, '\0');
  le::Put32(fixed, 0, kFixedSignature);
  le::Put32(fixed, 4, kFixedStructVersion);
  PutVersion(fixed, kFixedFileVersion, record.fileVersion);
  PutVersion(fixed, kFixedProductVersion, record.productVersion);
  le::Put32(fixed, 24, kFlagsMask);
  le::Put32(fixed, 32, kWindows32);
  le::Put32(fixed, 36, kApplication);

  std::vector<std::string> strings;
  for (const auto& [name, value] : record.strings) {
    const std::u16string text = Utf8ToUtf16(value);
    strings.push_back(Block(Utf8ToUtf16(name), kText, Utf16Bytes(text), static_cast<std::uint16_t>(text.size() + 1)));
  }
  char table[9];
  std::snprintf(table, sizeof table, "%04X%04X", record.language, record.codePage);
  std::string translation;
  le::Append16(translation, record.language);
  le::Append16(translation, record.codePage);
  return Block(kRootKey, kBinary, fixed, kFixedSize,
               {Block(kStringsKey, kText, "", 0, {Block(Utf8ToUtf16(table), kText, "", 0, strings)}),
                Block(kTranslationsKey, kText, "", 0, {Block(kTranslationKey, kBinary, translation, 4)})});
}

std::optional<VersionRecord> DecodeVersionRecord(std::string_view bytes) {
  const std::optional<ParsedBlock> root = ParseBlock(bytes);
  if (!root || root->key != kRootKey || root->value.size() < kFixedSize || le::Get32(root->value, 0) != kFixedSignature)
    return std::nullopt;
  VersionRecord record;
  record.fileVersion = GetVersion(root->value, kFixedFileVersion);
  record.productVersion = GetVersion(root->value, kFixedProductVersion);
  for (std::string_view child : root->children) {
    const std::optional<ParsedBlock> strings = ParseBlock(child);
    if (!strings || strings->key != kStringsKey || strings->children.empty()) continue;
    const std::optional<ParsedBlock> table = ParseBlock(strings->children.front());
    if (!table) continue;
    const std::string name = Utf16ToUtf8(table->key);
    unsigned language = 0, codePage = 0;
    if (name.size() == 8 && std::sscanf(name.c_str(), "%4x%4x", &language, &codePage) == 2) {
      record.language = static_cast<std::uint16_t>(language);
      record.codePage = static_cast<std::uint16_t>(codePage);
    }
    for (std::string_view entry : table->children)
      if (const std::optional<ParsedBlock> string = ParseBlock(entry))
        record.strings.emplace_back(Utf16ToUtf8(string->key), TextOf(string->value));
    break;
  }
  return record;
}

}  // namespace brisko::pack

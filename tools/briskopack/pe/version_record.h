// A program's version record (VS_VERSIONINFO, the RT_VERSION resource
// numbered 1): the fixed part with the file and product versions, and the
// strings Explorer shows in the file's properties.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brisko::pack {

constexpr std::uint16_t kVersionType = 16;  // RT_VERSION
constexpr std::uint16_t kVersionName = 1;
constexpr std::uint16_t kJapanese = 0x0411;
constexpr std::uint16_t kUnicodeCodePage = 1200;

// A record says its length in 16 bits.
constexpr std::uint32_t kMaxVersionRecordSize = 0xFFFF;

using VersionNumber = std::array<std::uint16_t, 4>;

struct VersionRecord {
  VersionNumber fileVersion{};
  VersionNumber productVersion{};
  // The strings' language and code page: their table's name, and the
  // translation that names it.
  std::uint16_t language = kJapanese;
  std::uint16_t codePage = kUnicodeCodePage;
  // Name and value, in UTF-8, in order.
  std::vector<std::pair<std::string, std::string>> strings;
};

// "1.3.1.16".
std::string VersionText(const VersionNumber& version);

// The resource's bytes: the fixed part (an application for 32-bit Windows),
// one string table and its translation. Throws std::length_error when the
// strings make the record larger than its 16-bit length can say.
std::string EncodeVersionRecord(const VersionRecord& record);

// The record in a resource's bytes, with the strings of its first table;
// nullopt when the bytes are no version record.
std::optional<VersionRecord> DecodeVersionRecord(std::string_view bytes);

}  // namespace brisko::pack

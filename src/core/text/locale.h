// What the core needs to know about its code page (932) and locale.
//
// The core never asks the platform directly: the Windows layer answers with
// the lead bytes of 932 and the system's Japanese comparison, tests answer
// from fixed tables.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

namespace brisko {

class Locale {
 public:
  virtual ~Locale() = default;

  // True when `b` lies in one of the code page's lead-byte ranges. Always
  // false for a single-byte code page.
  virtual bool IsLeadByte(unsigned char b) const = 0;

  // Whole-text equality without regard to letter case.
  virtual bool EqualsIgnoreCase(std::string_view a, std::string_view b) const = 0;
};

// A locale described by a table of lead-byte ranges, comparing ASCII letters
// without regard to case and every other byte exactly.
class TableLocale final : public Locale {
 public:
  using Range = std::pair<unsigned char, unsigned char>;

  explicit TableLocale(const std::vector<Range>& leadRanges);

  bool IsLeadByte(unsigned char b) const override { return lead_[b]; }
  bool EqualsIgnoreCase(std::string_view a, std::string_view b) const override;

  // Code page 932: lead bytes 0x81-0x9F and 0xE0-0xFC.
  static const TableLocale& ShiftJis();
  // A single-byte code page such as 1252: no lead bytes.
  static const TableLocale& SingleByte();

 private:
  std::array<bool, 256> lead_{};
};

enum class ByteClass { Single, Lead, Trail };

// Classifies the byte at `pos`: a trail byte when the run of lead-range bytes
// directly before it has odd length, else a lead byte when it is lead-range
// itself, else a single byte. NUL is always a single byte.
ByteClass ClassifyByte(const Locale& locale, std::string_view text, std::size_t pos);

// The same rule for a text read from its first byte on, one byte per call:
// linear where ClassifyByte at every position would not be.
class ByteWalker {
 public:
  explicit ByteWalker(const Locale& locale) : locale_(locale) {}
  ByteClass Next(unsigned char b) {
    const bool trail = leadRun_ % 2 == 1;
    leadRun_ = locale_.IsLeadByte(b) ? leadRun_ + 1 : 0;
    if (b == 0) return ByteClass::Single;
    if (trail) return ByteClass::Trail;
    return locale_.IsLeadByte(b) ? ByteClass::Lead : ByteClass::Single;
  }

 private:
  const Locale& locale_;
  std::size_t leadRun_ = 0;
};

}  // namespace brisko

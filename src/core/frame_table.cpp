#include "core/frame_table.h"

#include <cstring>

namespace brisko {
namespace {

// Pointer encodings: the low four bits give the field's format, the next
// three what the value is relative to. 0xff means that no field is there.
enum : unsigned {
  kAbsolute = 0x00,
  kULeb128 = 0x01,
  kUData2 = 0x02,
  kUData4 = 0x03,
  kUData8 = 0x04,
  kSLeb128 = 0x09,
  kSData2 = 0x0a,
  kSData4 = 0x0b,
  kSData8 = 0x0c,
  kFormatMask = 0x0f,
  kPcRelative = 0x10,
  kAligned = 0x50,
  kRelationMask = 0x70,
  kOmit = 0xff,
};

class FieldReader {
 public:
  explicit FieldReader(const unsigned char* at) : at_(at) {}

  const unsigned char* at() const { return at_; }
  void Skip(std::size_t bytes) { at_ += bytes; }
  unsigned char Byte() { return *at_++; }

  template <typename T>
  T Fixed() {
    T value;
    std::memcpy(&value, at_, sizeof value);
    at_ += sizeof value;
    return value;
  }

  std::uintmax_t ULeb128() {
    std::uintmax_t value = 0;
    unsigned shift = 0;
    unsigned char byte;
    do {
      byte = *at_++;
      if (shift < 64) value |= static_cast<std::uintmax_t>(byte & 0x7f) << shift;
      shift += 7;
    } while (byte & 0x80);
    return value;
  }

  std::intmax_t SLeb128() {
    const unsigned char* start = at_;
    std::uintmax_t value = ULeb128();
    const unsigned bits = static_cast<unsigned>(at_ - start) * 7;
    if (bits < 64 && (at_[-1] & 0x40)) value |= ~std::uintmax_t{0} << bits;
    return static_cast<std::intmax_t>(value);
  }

  // False for a format or relation that this reader does not know. Values
  // relative to a text or data base are read as absolute: the runtime gives
  // a registered table base 0 for both.
  bool Encoded(unsigned encoding, std::uintptr_t& value) {
    const unsigned char* field = at_;
    switch (encoding & kFormatMask) {
      case kAbsolute: value = Fixed<std::uintptr_t>(); break;
      case kULeb128: value = static_cast<std::uintptr_t>(ULeb128()); break;
      case kUData2: value = Fixed<std::uint16_t>(); break;
      case kUData4: value = Fixed<std::uint32_t>(); break;
      case kUData8: value = static_cast<std::uintptr_t>(Fixed<std::uint64_t>()); break;
      case kSLeb128: value = static_cast<std::uintptr_t>(SLeb128()); break;
      case kSData2: value = static_cast<std::uintptr_t>(Fixed<std::int16_t>()); break;
      case kSData4: value = static_cast<std::uintptr_t>(Fixed<std::int32_t>()); break;
      case kSData8: value = static_cast<std::uintptr_t>(Fixed<std::int64_t>()); break;
      default: return false;
    }
    if ((encoding & kRelationMask) == kAligned) return false;
    // Zero stays zero: it marks a function that the linker dropped.
    if (value != 0 && (encoding & kRelationMask) == kPcRelative) value += reinterpret_cast<std::uintptr_t>(field);
    return true;
  }

 private:
  const unsigned char* at_;
};

// The encoding of the code addresses in the descriptions that share the
// common entry `cie` (its augmentation's 'R'), or kOmit if it cannot be read.
unsigned AddressEncoding(const unsigned char* cie) {
  FieldReader reader(cie + 8);  // past the length and the zero id
  const unsigned version = reader.Byte();
  const char* augmentation = reinterpret_cast<const char*>(reader.at());
  reader.Skip(std::strlen(augmentation) + 1);
  if (version >= 4) {
    if (reader.Byte() != sizeof(void*) || reader.Byte() != 0) return kOmit;  // address and segment size
  }
  if (augmentation[0] != 'z') return kAbsolute;
  reader.ULeb128();  // code alignment
  reader.SLeb128();  // data alignment
  if (version == 1)
    reader.Byte();
  else
    reader.ULeb128();  // return address column
  reader.ULeb128();    // length of the augmentation data
  for (const char* letter = augmentation + 1;; ++letter) {
    std::uintptr_t personality;
    switch (*letter) {
      case 'R': return reader.Byte();
      case 'P':  // the personality routine: encoding and pointer, not followed
        if (!reader.Encoded(reader.Byte() & 0x7f, personality)) return kOmit;
        break;
      case 'L':
      case 'B': reader.Byte(); break;  // LSDA encoding; key of signed return addresses
      case 'S': break;                 // a signal frame
      default: return kAbsolute;       // end of the letters, or one not known
    }
  }
}

}  // namespace

FrameDescription FindFrameDescription(const unsigned char* table, std::uintptr_t pc) {
  const unsigned char* last_cie = nullptr;
  unsigned encoding = kOmit;
  for (const unsigned char* record = table;;) {
    FieldReader reader(record);
    const auto length = reader.Fixed<std::uint32_t>();
    // Zero ends the table; all ones announces 64-bit lengths, which no table
    // of these programs has.
    if (length == 0 || length == 0xffffffff) return {};
    const auto cie_distance = reader.Fixed<std::uint32_t>();
    if (cie_distance != 0) {
      const unsigned char* cie = reader.at() - 4 - cie_distance;
      if (cie != last_cie) {
        last_cie = cie;
        encoding = AddressEncoding(cie);
      }
      std::uintptr_t begin, range;
      if (encoding == kOmit || !reader.Encoded(encoding, begin) || !reader.Encoded(encoding & kFormatMask, range)) {
        return {};
      }
      if (begin != 0 && pc - begin < range) return {record, begin};
    }
    record += 4 + length;
  }
}

}  // namespace brisko

// Shared helpers for the packer's tests: scratch folders, files, bitmaps, a
// tiny PE image built byte by byte, and the MinGW-built test stubs.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "core/format/byte_order.h"
#include "pe/pe_image.h"
#include "test_support.h"

namespace brisko::pack::test {

namespace fs = std::filesystem;

// A fresh folder, removed with its contents at the end of the test.
class TempDir {
 public:
  TempDir() {
    // The clock's count at the first use keeps two test processes that run at
    // the same time (native and sanitizer builds) out of each other's folders.
    static const auto run = std::chrono::steady_clock::now().time_since_epoch().count();
    static int counter = 0;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("briskopack-") + (info ? info->name() : "test") + "-" +
                       std::to_string(run) + "-" + std::to_string(++counter);
    for (char& c : name)
      if (c == '/') c = '_';
    path_ = fs::temp_directory_path() / name;
    brisko::test::RemoveTree(path_.string());
    fs::create_directories(path_);
  }
  ~TempDir() { brisko::test::RemoveTree(path_.string()); }
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

// The checksum as imagehlp computes it: 16-bit words summed with the carry
// folded back after every word, the checksum field counted as zero, plus
// the file's length.
inline std::uint32_t ReferenceChecksum(std::string file, std::size_t checksumAt) {
  le::Put32(file, checksumAt, 0);
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < file.size(); i += 2) {
    const std::uint32_t word = static_cast<unsigned char>(file[i]) |
                               (i + 1 < file.size() ? static_cast<unsigned char>(file[i + 1]) << 8 : 0u);
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return sum + static_cast<std::uint32_t>(file.size());
}

inline std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Every entry of a folder, for "nothing was left behind" checks.
inline std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::recursive_directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Lines joined with CR LF, the last one included.
inline std::string Script(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}

// A script that passes lint, with %OutFiles as given.
inline std::string CleanScript(std::initializer_list<const char*> outFiles) {
  std::string text = Script({"*PatchType", "\t1", "", "%LinkPath", "\tMaker\\Title\\Title.lnk", "%%", "",
                             "*Caption", "\tTitle patch 1.0", "", "*GameTitle", "\tTitle", "*Version", "1.0", "",
                             "%CheckTargetFilename", "\ttarget.exe", "%%", "", "%OutFiles"});
  for (const char* name : outFiles) text += std::string(name) + "\r\n";
  return text + "%%\r\n";
}

// Bytes no compressor shrinks; `seed` picks them.
inline std::string RandomBytes(std::size_t size, std::uint64_t seed) {
  std::string bytes(size, '\0');
  std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (char& c : bytes) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    c = static_cast<char>(x >> 32);
  }
  return bytes;
}

// An uncompressed 24-bit bitmap file.
inline std::string Bitmap(int width, int height) {
  const std::uint32_t row = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
  std::string pixels(row * static_cast<std::uint32_t>(height), '\0');
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<char>(i * 7);
  return brisko::test::BitmapFile(width, height, 24, 0, "", pixels);
}

// An icon image as a 32-bit DIB: BITMAPINFOHEADER (height doubled for the
// mask), the pixels, the 1-bit mask.
inline std::string IconDib(int width, int height) {
  std::string dib;
  for (std::uint32_t v : {40u, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(2 * height)})
    le::Append32(dib, v);
  le::Append16(dib, 1);
  le::Append16(dib, 32);
  dib.resize(40, '\0');
  dib.append(static_cast<std::size_t>(width * height) * 4, '\x7F');
  dib.append(static_cast<std::size_t>((width + 31) / 32 * 4 * height), '\0');
  return dib;
}

// The start of a PNG file: signature and header chunk (8 bits of RGBA).
inline std::string IconPng(int width, int height) {
  std::string png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
  for (int v : {width, height})
    for (int shift = 24; shift >= 0; shift -= 8) png += static_cast<char>(v >> shift);
  return png + std::string("\x08\x06\0\0\0\0\0\0\0", 9);
}

// An icon file of `images`, each under an entry of the size given (the
// image's own unless the test says otherwise) and 32 bits per pixel.
struct IconEntry {
  std::string image;
  int width, height;
};
inline std::string IconFileOf(const std::vector<IconEntry>& entries) {
  std::string file;
  for (std::uint16_t v : {0, 1, static_cast<int>(entries.size())}) le::Append16(file, v);
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
  for (const IconEntry& e : entries) {
    file += static_cast<char>(e.width & 0xFF);
    file += static_cast<char>(e.height & 0xFF);
    file += std::string(2, '\0');
    le::Append16(file, 1);
    le::Append16(file, 32);
    le::Append32(file, static_cast<std::uint32_t>(e.image.size()));
    le::Append32(file, offset);
    offset += static_cast<std::uint32_t>(e.image.size());
  }
  for (const IconEntry& e : entries) file += e.image;
  return file;
}

// An icon of the usual sizes: 16, 32 and 48 as DIBs, 256 as a PNG.
inline std::string UsualIcon() {
  return IconFileOf(
      {{IconDib(16, 16), 16, 16}, {IconDib(32, 32), 32, 32}, {IconDib(48, 48), 48, 48}, {IconPng(256, 256), 256, 256}});
}

// A minimal PE image put together byte by byte: headers, then sections laid
// out one after the other. Enough for the packer, not for running.
struct SyntheticSection {
  std::string name;
  std::string data;
  std::uint32_t virtualSize = 0;  // 0: the data's size
  std::uint32_t characteristics = 0x40000040;
};

struct SyntheticPe {
  bool is64 = false;
  std::uint32_t sectionAlignment = 0x1000;
  std::uint32_t fileAlignment = 0x200;
  std::uint32_t sizeOfHeaders = 0x400;
  std::uint16_t characteristics = 0x0102;  // executable, 32-bit machine
  std::vector<SyntheticSection> sections;
  int resourceSection = -1;  // the section that directory 2 covers
  std::string overlay;       // bytes after the last section

  std::uint32_t VirtualAddress(std::size_t index) const {
    std::uint64_t va = sectionAlignment;
    for (std::size_t i = 0; i < index; ++i) {
      const auto& s = sections[i];
      va = AlignUp(va + (s.virtualSize ? s.virtualSize : s.data.size()), sectionAlignment);
    }
    return static_cast<std::uint32_t>(va);
  }

  std::string Build() const {
    std::string b(sizeOfHeaders, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    le::Put32(b, 0x3C, 0x80);
    b.replace(0x80, 4, std::string("PE\0\0", 4));
    const std::size_t coff = 0x84, opt = 0x98;
    const std::uint16_t optSize = is64 ? 240 : 224;
    le::Put16(b, coff, is64 ? 0x8664 : 0x14C);
    le::Put16(b, coff + 2, static_cast<std::uint16_t>(sections.size()));
    le::Put16(b, coff + 16, optSize);
    le::Put16(b, coff + 18, characteristics);
    le::Put16(b, opt, is64 ? 0x20B : 0x10B);
    le::Put32(b, opt + 32, sectionAlignment);
    le::Put32(b, opt + 36, fileAlignment);
    le::Put32(b, opt + 60, sizeOfHeaders);
    const std::size_t dirs = opt + (is64 ? 112 : 96);
    le::Put32(b, dirs - 4, 16);
    std::uint32_t initialized = 0;
    std::uint64_t raw = sizeOfHeaders;
    std::string body;
    for (std::size_t i = 0; i < sections.size(); ++i) {
      const auto& s = sections[i];
      const std::size_t at = opt + optSize + 40 * i;
      const std::uint32_t rawSize = static_cast<std::uint32_t>(AlignUp(s.data.size(), fileAlignment));
      b.replace(at, s.name.size(), s.name);
      le::Put32(b, at + 8, s.virtualSize ? s.virtualSize : static_cast<std::uint32_t>(s.data.size()));
      le::Put32(b, at + 12, VirtualAddress(i));
      le::Put32(b, at + 16, rawSize);
      le::Put32(b, at + 20, rawSize ? static_cast<std::uint32_t>(raw) : 0);
      le::Put32(b, at + 36, s.characteristics);
      if (s.characteristics & 0x40) initialized += rawSize;
      body += s.data + std::string(rawSize - s.data.size(), '\0');
      raw += rawSize;
      if (static_cast<int>(i) == resourceSection) {
        le::Put32(b, dirs + 16, VirtualAddress(i));
        le::Put32(b, dirs + 20, static_cast<std::uint32_t>(s.data.size()));
      }
    }
    le::Put32(b, opt + 8, initialized);
    le::Put32(b, opt + 56, VirtualAddress(sections.size()));
    return b + body + overlay;
  }
};

// The standard synthetic stub: code, data and relocations, no resources.
inline SyntheticPe PlainPe(bool is64) {
  SyntheticPe pe;
  pe.is64 = is64;
  pe.sections = {{".text", std::string(0x345, '\xC3'), 0, 0x60000020},
                 {".data", std::string(0x1234, 'd'), 0x3000, 0xC0000040},
                 {".reloc", std::string(0x40, 'r'), 0, 0x42000040}};
  return pe;
}

// The MinGW-built test stubs (see CMakeLists.txt); empty when the MinGW
// compilers were not found at configure time.
inline fs::path TestStub(const std::string& name) {
  const fs::path dir = BRISKOPACK_TEST_STUBS;
  return dir.empty() ? fs::path() : dir / (name + ".exe");
}

#define BRISKOPACK_REQUIRE_STUB(path)                                         \
  do {                                                                       \
    if ((path).empty() || !std::filesystem::exists(path)) GTEST_SKIP() << "no MinGW test stub"; \
  } while (0)

}  // namespace brisko::pack::test

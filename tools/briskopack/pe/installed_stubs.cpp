#include "pe/installed_stubs.h"

#include "pe/pe_image.h"
#include "pe/resource_tree.h"

// The stubs' folder relative to the packer's own folder; the build sets it
// from the install layout.
#ifndef BRISKOPACK_STUB_DIR
#define BRISKOPACK_STUB_DIR "../share/briskopatch/stubs"
#endif

namespace brisko::pack {

namespace {

constexpr char kStubFileName[] = "briskopatch-stub.exe";
constexpr std::uint16_t kVersionType = 16;  // RT_VERSION
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::size_t kFixedInfoSize = 52;
// The record's key, "VS_VERSION_INFO" with its terminator in UTF-16, follows
// three 16-bit fields; the fixed part starts at the next 32-bit boundary.
constexpr char16_t kVersionKey[] = u"VS_VERSION_INFO";
constexpr std::size_t kKeyOffset = 6;
constexpr std::size_t kFixedInfoOffset = 40;

}  // namespace

std::optional<StubArch> ParseStubArch(std::string_view name) {
  if (name == "x86") return StubArch::X86;
  if (name == "x64") return StubArch::X64;
  return std::nullopt;
}

const char* StubArchName(StubArch arch) { return arch == StubArch::X64 ? "x64" : "x86"; }

fs::path InstalledStubPath(const fs::path& program, StubArch arch) {
  return (program.parent_path() / fs::u8path(BRISKOPACK_STUB_DIR) / StubArchName(arch) / kStubFileName)
      .lexically_normal();
}

std::optional<std::string> FixedFileVersion(const std::string& resource) {
  if (resource.size() < kFixedInfoOffset + kFixedInfoSize) return std::nullopt;
  for (std::size_t i = 0; i < std::size(kVersionKey); ++i)
    if (le::Get16(resource, kKeyOffset + 2 * i) != kVersionKey[i]) return std::nullopt;
  if (le::Get16(resource, 2) < kFixedInfoSize || le::Get32(resource, kFixedInfoOffset) != kFixedInfoSignature)
    return std::nullopt;
  const std::uint32_t ms = le::Get32(resource, kFixedInfoOffset + 8);
  const std::uint32_t ls = le::Get32(resource, kFixedInfoOffset + 12);
  return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) + "." +
         std::to_string(ls & 0xFFFF);
}

std::optional<std::string> ProgramFileVersion(const fs::path& program) {
  InputFile file(program);
  const PeImage image = PeImage::Read(file);
  const ResourceTree tree = ResourceTree::Parse(image, file);
  const auto type = tree.types().find(ResourceId::Number(kVersionType));
  if (type == tree.types().end()) return std::nullopt;
  for (const auto& [name, node] : type->second.names) {
    if (node.languages.empty()) continue;
    const ResourceData& data = node.languages.begin()->second.data;
    // A version record is a few kilobytes; anything far larger is no record.
    if (data.size() > (1u << 16)) return std::nullopt;
    return FixedFileVersion(data.Read());
  }
  return std::nullopt;
}

}  // namespace brisko::pack

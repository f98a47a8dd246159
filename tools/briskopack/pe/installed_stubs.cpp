#include "pe/installed_stubs.h"

#include "pe/pe_image.h"
#include "pe/resource_tree.h"
#include "pe/version_record.h"

// The stubs' folder relative to the packer's own folder; the build sets it
// from the install layout.
#ifndef BRISKOPACK_STUB_DIR
#define BRISKOPACK_STUB_DIR "../share/briskopatch/stubs"
#endif

namespace brisko::pack {

namespace {

constexpr char kStubFileName[] = "briskopatch-stub.exe";

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
  const std::optional<VersionRecord> record = DecodeVersionRecord(resource);
  if (!record) return std::nullopt;
  return VersionText(record->fileVersion);
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

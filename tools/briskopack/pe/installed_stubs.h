// The installer stubs installed with the packer, one per Windows
// architecture, found relative to the packer's own executable so that an
// installed tree works wherever it is moved or unpacked.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/file_io.h"

namespace brisko::pack {

enum class StubArch { X86, X64 };

// The 32-bit stub: its installers run on every Windows.
constexpr StubArch kDefaultStubArch = StubArch::X86;

// "x86" or "x64" as --arch takes them; nullopt for anything else.
std::optional<StubArch> ParseStubArch(std::string_view name);
const char* StubArchName(StubArch arch);

// Where the stub for `arch` is installed when the packer is `program`.
fs::path InstalledStubPath(const fs::path& program, StubArch arch);

// The file version ("1.3.1.16") in the fixed part of a version resource;
// nullopt when the bytes are no version record.
std::optional<std::string> FixedFileVersion(const std::string& resource);

// The file version of a Windows program, from its version record; nullopt
// when it has none. Throws PackError when the file is no Windows program.
std::optional<std::string> ProgramFileVersion(const fs::path& program);

}  // namespace brisko::pack

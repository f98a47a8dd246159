// A private scratch folder for harnesses that drive the packer through files,
// made once per process, emptied between inputs and removed at exit.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"

namespace brisko::fuzz {

namespace fs = std::filesystem;

inline const fs::path& ScratchFolder();

inline void RemoveScratchFolder() {
  std::error_code ec;
  fs::remove_all(ScratchFolder(), ec);
}

inline const fs::path& ScratchFolder() {
  static const fs::path folder = [] {
    std::string pattern = (fs::temp_directory_path() / "brisko-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return fs::path(pattern);
  }();
  // Registered once the path exists, so it runs before the path is destroyed.
  static const bool removedAtExit = (std::atexit(RemoveScratchFolder), true);
  (void)removedAtExit;
  return folder;
}

inline void WriteBytes(const fs::path& path, const void* data, std::size_t size) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) std::abort();
}

// Runs one packer command; its output is discarded. An exit code outside the
// documented ones is a fault.
inline int Run(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int code = pack::RunCommandLine(args, out, err);
  if (code < pack::kExitOk || code > pack::kExitUsage) std::abort();
  return code;
}

// Fails when the folder holds anything but `expected` (top-level names).
inline void ExpectOnly(const fs::path& folder, const std::vector<std::string>& expected) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    bool found = false;
    for (const auto& e : expected) found = found || e == name;
    if (!found) std::abort();
  }
}

}  // namespace brisko::fuzz

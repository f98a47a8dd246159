// The scenarios once more with installers made by briskopack, the packer that
// patch authors use. Registered when BRISKO_E2E_PACKER names the Windows build
// of the packer; the stub is the one given with --stub.
//
// The packer stores a payload file for each %OutFiles entry that the patch
// folder holds, so every payload of a test package is written under its
// entry's name, and a payload without an entry (which the installer never
// reads) is left out. It is run with --force, so that scripts with the faults
// that the scenarios provoke are packed as they are. A package without a
// script or a background is beyond any patch folder: such a test is made with
// UpdateResource instead and reported as skipped.
#include <memory>

#include "driver.h"

namespace brisko::e2e {
namespace {

std::string Trim(const std::string& line) {
  std::size_t b = 0, e = line.size();
  while (b < e && static_cast<unsigned char>(line[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(line[e - 1]) <= 0x20) --e;
  return line.substr(b, e - b);
}

std::string Unescape(std::string text) {
  static const std::pair<const char*, const char*> kEscapes[] = {
      {"&AMPERSAND;", "&"}, {"&TAB;", "\t"}, {"&SPACE;", " "}, {"&ASTERISK;", "*"}, {"&PERCENT;", "%"}};
  for (const auto& [from, to] : kEscapes) {
    std::string out;
    const std::string f(from);
    std::size_t at = 0;
    for (std::size_t hit; (hit = text.find(f, at)) != std::string::npos; at = hit + f.size())
      out += text.substr(at, hit - at) + to;
    text = out + text.substr(at);
  }
  return text;
}

// The %OutFiles entries as the installer reads them.
std::vector<std::string> OutFileEntries(const std::string& script) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < script.size()) {
    std::size_t end = script.find_first_of("\r\n", at);
    if (end == std::string::npos) end = script.size();
    lines.push_back(script.substr(at, end - at));
    at = end + (script.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  std::vector<std::string> entries;
  std::size_t i = 0;
  while (i < lines.size() && lstrcmpiA(lines[i].c_str(), "%OutFiles") != 0) ++i;
  for (++i; i < lines.size() && lines[i] != "%%"; ++i) entries.push_back(Unescape(Trim(lines[i])));
  return entries;
}

class BriskopackPackager final : public Packager {
 public:
  explicit BriskopackPackager(std::string packer) : packer_(std::move(packer)) {}
  std::string name() const override { return "Briskopack"; }

  void Make(const Package& package, const std::string& exePath) const override {
    const std::string& stub = TestSettings().stub;
    ASSERT_FALSE(stub.empty()) << "no --stub given";
    if (!package.script || !package.background) {
      ResourceUpdatePackager(stub).Make(package, exePath);
      GTEST_SKIP() << "a package without a script or a background cannot be made with the packer";
    }
    const std::string folder = exePath + ".patch";
    RemoveTree(folder);
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
    ASSERT_TRUE(CreateDirectoryA((folder + "\\payload").c_str(), nullptr));
    WriteFileBytes(folder + "\\script.txt", *package.script);
    WriteFileBytes(folder + "\\background.bmp", *package.background);
    const std::vector<std::string> entries = OutFileEntries(*package.script);
    for (const auto& [number, bytes] : package.payloads) {
      if (number < 0 || static_cast<std::size_t>(number) >= entries.size() || entries[number].empty()) continue;
      const std::string path = folder + "\\payload\\" + entries[number];
      for (std::size_t slash = path.find('\\', folder.size() + 9); slash != std::string::npos;
           slash = path.find('\\', slash + 1))
        CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
      WriteFileBytes(path, bytes);
    }

    const std::string command =
        "\"" + packer_ + "\" build --force --stub \"" + stub + "\" -o \"" + exePath + "\" \"" + folder + "\"";
    EXPECT_EQ(RunProgram(command), std::optional<DWORD>(0)) << command;
  }

 private:
  std::string packer_;
};

const bool kRegistered = [] {
  char path[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableA("BRISKO_E2E_PACKER", path, sizeof path);
  if (n == 0 || n >= sizeof path) return false;
  RegisterPackager(std::make_shared<BriskopackPackager>(WindowsPath(path)));
  return true;
}();

}  // namespace
}  // namespace brisko::e2e

#include "core/discovery/tvh_file.h"

#include <cstring>
#include <vector>

#include "core/errors.h"
#include "core/text/path.h"

namespace brisko {
namespace {

constexpr std::uint32_t kPathBuffer = 260;

// The buffer's text up to its first zero byte, never past its end.
Text TextInBuffer(const std::vector<char>& buffer) {
  const void* zero = std::memchr(buffer.data(), 0, buffer.size());
  const std::size_t length = zero != nullptr ? static_cast<const char*>(zero) - buffer.data() : buffer.size();
  return Text(buffer.data(), length);
}

}  // namespace

bool TvhFile::ExpandEnvironment(Text& text) const {
  std::vector<char> buffer(kPathBuffer, '\0');
  std::uint32_t n = system_.environment.Expand(text.c_str(), buffer.data(), kPathBuffer);
  if (n > kPathBuffer) {
    // One byte more than asked for: the ANSI call has been known to need it
    // for double-byte text.
    buffer.assign(static_cast<std::size_t>(n) + 1, '\0');
    const std::uint32_t offered = n + 1;
    n = system_.environment.Expand(text.c_str(), buffer.data(), offered);
    // The environment may have grown between the calls: a second miss leaves
    // nothing whole in the buffer.
    if (n > offered) n = 0;
  }
  if (n == 0) return false;
  text = TextInBuffer(buffer);
  return true;
}

bool TvhFile::GetSpecialFolder(int csidl, Text& folder) const {
  return system_.shellFolders.GetFolderPath(csidl, folder);
}

bool TvhFile::FindInOneMenu(int csidl, const char* fallbackPath, std::uint32_t noFolderFlag,
                            std::uint32_t noFallbackFlag, std::uint32_t notInFolderFlag, const Text& relativePath,
                            Text& folder, std::uint32_t& flags, RaisedError& error) const {
  bool found = GetSpecialFolder(csidl, folder);
  if (!found) {
    flags |= noFolderFlag;
    found = TvhRegistry(system_.registry, system_.locale).ReadStringByPath(fallbackPath, folder, error);
    if (error.raised()) return false;
    if (!found) flags |= noFallbackFlag;
    // Whatever the read gave: the stored value is often REG_EXPAND_SZ.
    ExpandEnvironment(folder);
  }
  if (!found) return false;

  if (relativePath.empty()) {
    error.Raise("FindInProgramsMenu: the relative path is empty");
    return false;
  }
  if (relativePath[0] != '\\') {
    folder = IncludeTrailingDelimiter(system_.locale, folder) + relativePath;
    found = system_.files.FileExists(folder);
    if (!found) flags |= notInFolderFlag;
  }
  return found;
}

bool TvhFile::FindInProgramsMenu(Text relativePath, Text& fullPath, std::uint32_t& flags, RaisedError& error) const {
  flags = 0;
  // Shared by both attempts: the second starts from what the first left.
  Text folder;
  bool found = FindInOneMenu(kCsidlPrograms, kUserFallbackPath, kNoUserFolder, kNoUserFallback, kNotInUserFolder,
                             relativePath, folder, flags, error);
  if (!found && !error.raised()) {
    found = FindInOneMenu(kCsidlCommonPrograms, kCommonFallbackPath, kNoCommonFolder, kNoCommonFallback,
                          kNotInCommonFolder, relativePath, folder, flags, error);
  }
  if (found) fullPath = folder;
  return found;
}

int TvhFile::GetShortcutTarget(const Text& shortcutPath, Text& target) const {
  Text read;
  if (!system_.shortcuts.ReadTarget(shortcutPath, read)) return 0;
  target = read;
  return 1;
}

}  // namespace brisko

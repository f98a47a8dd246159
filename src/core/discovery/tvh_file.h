// TvhFile: the system look-ups behind target discovery: environment
// expansion, the shell's special folders, a file named relative to the
// Programs menu, and the target stored in a shortcut file.
#pragma once

#include <cstdint>

#include "core/discovery/tvh_registry.h"
#include "core/platform.h"
#include "core/text/locale.h"
#include "core/text/text.h"

namespace brisko {

// Expansion of %NAME% references, with ExpandEnvironmentStringsA's contract.
class EnvironmentApi {
 public:
  virtual ~EnvironmentApi() = default;
  // Writes the expansion of `text`, zero-terminated, into `buffer` of `size`
  // bytes. Returns the size written or, when the buffer is too small, the
  // size needed, terminating zero included; 0 on failure.
  virtual std::uint32_t Expand(const char* text, char* buffer, std::uint32_t size) = 0;
};

// The shell's special folders.
class ShellFoldersApi {
 public:
  virtual ~ShellFoldersApi() = default;
  // The file-system path of special folder `csidl` (a CSIDL value). On false
  // `folder` is unchanged.
  virtual bool GetFolderPath(int csidl, Text& folder) = 0;
};

// Shortcut (.lnk) files.
class ShortcutApi {
 public:
  virtual ~ShortcutApi() = default;
  // Loads the shortcut file `path`. False when it cannot be loaded: no such
  // file, a folder, a file that is no shortcut, a path too long for the
  // shell. On true `target` holds the path stored in the shortcut, taken as
  // stored (the target need not exist), and is empty when the shortcut has
  // no file-system target or the path cannot be read from it.
  virtual bool ReadTarget(const Text& path, Text& target) = 0;
};

// The platform services TvhFile works over, all owned by the caller.
struct SystemLocations {
  RegistryApi& registry;
  ShellFoldersApi& shellFolders;
  EnvironmentApi& environment;
  ShortcutApi& shortcuts;
  FileSystem& files;
  const Locale& locale;
};

class TvhFile {
 public:
  static constexpr int kCsidlPrograms = 2;
  static constexpr int kCsidlCommonPrograms = 23;

  // Search flags written by FindInProgramsMenu.
  static constexpr std::uint32_t kNoUserFolder = 0x001;       // shell gave no user Programs folder
  static constexpr std::uint32_t kNoUserFallback = 0x002;     // ... nor did the first registry path
  static constexpr std::uint32_t kNoCommonFolder = 0x004;     // shell gave no all-users folder
  static constexpr std::uint32_t kNoCommonFallback = 0x008;   // ... nor did the second registry path
  static constexpr std::uint32_t kNotInUserFolder = 0x100;    // user folder found, file not in it
  static constexpr std::uint32_t kNotInCommonFolder = 0x200;  // all-users folder found, file not in it

  // Read when the shell cannot name a Programs folder. Both name the user's
  // own folder, the second attempt's included.
  static constexpr char kUserFallbackPath[] =
      "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell "
      "Folders\\Programs";
  static constexpr char kCommonFallbackPath[] =
      "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell "
      "Folders\\Programs";

  explicit TvhFile(const SystemLocations& system) : system_(system) {}

  // Replaces `text` by its expansion and returns true; false leaves it
  // unchanged. References to undefined variables stay as written.
  bool ExpandEnvironment(Text& text) const;

  // On true `folder` holds the path of special folder `csidl`; on false it is
  // unchanged.
  bool GetSpecialFolder(int csidl, Text& folder) const;

  // Looks for the file `relativePath` in the user's Programs menu, then in
  // the all users' one (each through the shell, else through the registry
  // fallback). On true `fullPath` holds the path found; on false it is
  // unchanged. `flags` is always written, from 0 up. A relative path that
  // starts with a backslash is not joined: the Programs folder itself is
  // then the result. Raises into `error` for an empty relative path once a
  // Programs folder is known (the error of reading a text past its end),
  // and passes on the registry's errors; the result is then false.
  bool FindInProgramsMenu(Text relativePath, Text& fullPath, std::uint32_t& flags, RaisedError& error) const;

  // 1 when the shortcut file could be loaded, `target` then holding its
  // stored target path (empty when it has none); 0 otherwise, `target`
  // unchanged.
  int GetShortcutTarget(const Text& shortcutPath, Text& target) const;

 private:
  bool FindInOneMenu(int csidl, const char* fallbackPath, std::uint32_t noFolderFlag, std::uint32_t noFallbackFlag,
                     std::uint32_t notInFolderFlag, const Text& relativePath, Text& folder, std::uint32_t& flags,
                     RaisedError& error) const;

  SystemLocations system_;
};

}  // namespace brisko

// A patch folder made from two versions of an application: the files of the
// new version that are new or differ go into its payload folder and its
// script's %OutFiles list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/text/text.h"
#include "platform/file_io.h"

namespace brisko::pack {

struct VersionChange {
  enum class Kind { Added, Changed, Unchanged, Removed };
  Kind kind = Kind::Added;
  Text name;  // as %OutFiles names it: Shift-JIS, "\" between folders
  std::uint64_t oldSize = 0;
  std::uint64_t newSize = 0;
};

struct VersionDiff {
  // Every file of either version, in the order of their names.
  std::vector<VersionChange> changes;
  // The script and the background were written from templates (they were
  // missing), rather than kept.
  bool newScript = false;
  bool newBackground = false;
  // A template of the version record was written (there was none).
  bool newVersionInfo = false;
};

// Compares `oldDir` and `newDir` file by file and writes the patch folder
// `patchDir`: payload/ anew with the added and changed files, the script's
// %OutFiles list naming them (every other line of an existing script kept
// byte for byte; a missing script written from a template that lint accepts),
// a plain background when there is none, and a version record of comments
// alone when there is none. Throws PackError: on unreadable
// input, and for a file whose name Shift-JIS cannot hold.
VersionDiff DiffVersions(const fs::path& oldDir, const fs::path& newDir, const fs::path& patchDir);

// The script's bytes with its %OutFiles list replaced by `entries` (appended
// as a new section when it has none); everything else byte for byte.
std::string ReplaceOutFiles(const std::string& script, const std::vector<Text>& entries);

// A script for a patch of `entries` to the application in a folder named
// `title`, whose program is `program`: every key the installer reads, with
// values to be edited.
std::string ScriptTemplate(const Text& title, const Text& program, const std::vector<Text>& entries);

// A plain background: a bitmap file of the window's size in one colour.
std::string PlainBackground();

}  // namespace brisko::pack

// The patch package as the installer reads it and the packer writes it: the
// resources that carry it, the script's keys and escapes, the background's
// size and how the patch type is derived. Both sides use these definitions,
// so that they cannot drift apart.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "text.h"

namespace brisko::format {

// Resources: types and names are strings, upper case, stored language-neutral.
inline constexpr char kScriptType[] = "TEXT";
inline constexpr char kScriptName[] = "RESOURCE_SCRIPT";
inline constexpr char kBackgroundType[] = "BMP";  // a complete bitmap file, file header included
inline constexpr char kBackgroundName[] = "RESOURCE_BACKGROUND";
inline constexpr char kPayloadType[] = "BIN";
inline constexpr char kPayloadPrefix[] = "RESOURCE_FILE";
// A payload stored compressed, under the same name as a raw one: one zstd
// frame that records the content size and carries a checksum. An installer
// reads either kind; a package holds one of the two for each entry.
inline constexpr char kCompressedPayloadType[] = "ZSTD";
// The payload types in the order the installer looks for them.
inline constexpr const char* kPayloadTypes[] = {kPayloadType, kCompressedPayloadType};

// The largest window a compressed payload may use, as a power of two:
// 128 MiB. The decoder needs about that much memory whatever the payload's
// size; the installer refuses frames that would need more.
inline constexpr int kMaxWindowLog = 27;

// The resource of the payload for %OutFiles entry `index` (counted from 0,
// blank entries included): RESOURCE_FILE0, RESOURCE_FILE1, ...
inline std::string PayloadName(std::size_t index) { return kPayloadPrefix + std::to_string(index); }

// The script's keys: "*" starts a value section, "%" a list section, which
// "%%" ends.
inline constexpr char kValueKeyStart = '*';
inline constexpr char kListKeyStart = '%';
inline constexpr char kListEnd[] = "%%";

inline constexpr char kCaption[] = "*Caption";
inline constexpr char kGameTitle[] = "*GameTitle";
inline constexpr char kPatchType[] = "*PatchType";
inline constexpr char kCheckTargetFilename[] = "%CheckTargetFilename";
inline constexpr char kLinkPath[] = "%LinkPath";
inline constexpr char kOutFiles[] = "%OutFiles";

// Every key the installer looks up.
inline constexpr const char* kInstallerKeys[] = {kCaption,   kGameTitle, kPatchType, kCheckTargetFilename,
                                                 kLinkPath, kOutFiles};

// The escapes of values and items, replaced in this order, each over the
// result of the one before, letter case exact.
struct Escape {
  std::string_view sequence;
  std::string_view replacement;
};
inline constexpr Escape kEscapes[] = {
    {"&AMPERSAND;", "&"}, {"&TAB;", "\t"}, {"&SPACE;", " "}, {"&ASTERISK;", "*"}, {"&PERCENT;", "%"},
};

// The background covers the main window's client area exactly.
inline constexpr int kBackgroundWidth = 600;
inline constexpr int kBackgroundHeight = 300;

// The patch type without a *PatchType section; only kWritesPayload makes the
// start action write the payload files.
inline constexpr int kNoPatchType = 0;
inline constexpr int kWritesPayload = 1;

// The patch type for a *PatchType value: the value when it is a whole
// number, 1 otherwise (an empty value included).
int PatchTypeFromValue(const Text& value);

}  // namespace brisko::format

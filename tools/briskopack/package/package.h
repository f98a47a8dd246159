// A patch package: the script, the background and the payload files that an
// installer carries as resources "TEXT"/"RESOURCE_SCRIPT",
// "BMP"/"RESOURCE_BACKGROUND" (or, compressed, "ZSTD"/"RESOURCE_BACKGROUND")
// and "BIN"/"RESOURCE_FILE<i>" (or, compressed, "ZSTD"/"RESOURCE_FILE<i>").
// Building puts them into a stub; reading takes them back out of an
// installer.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/text/text.h"
#include "lint/lint.h"
#include "package/payload_codec.h"
#include "pe/icon_resources.h"
#include "pe/pe_image.h"
#include "pe/resource_tree.h"
#include "pe/version_record.h"
#include "platform/file_io.h"
#include "platform/mapped_file.h"

namespace brisko::pack {

// The files of a patch folder, by convention; the icon and the version
// record (lint/version_info.h) are optional.
constexpr char kScriptFileName[] = "script.txt";
constexpr char kBackgroundFileName[] = "background.bmp";
constexpr char kPayloadFolderName[] = "payload";
constexpr char kIconFileName[] = "icon.ico";

constexpr std::uint64_t kMaxScriptSize = 16u << 20;
constexpr std::uint64_t kMaxBackgroundSize = format::kMaxBackgroundFileSize;
// Far more than the usual sizes take, even as uncompressed DIBs.
constexpr std::uint64_t kMaxIconSize = 4u << 20;
// Small enough that any record it gives fits the record's 16-bit length.
constexpr std::uint64_t kMaxVersionInfoSize = 16u << 10;

struct BuildRequest {
  fs::path stub;
  fs::path script;
  fs::path background;
  std::optional<fs::path> payloadFolder;
  fs::path output;
  // Build even when lint reports errors, to see how the installer handles a
  // faulty package: payload files that are missing or named unsafely are
  // then left out.
  bool force = false;
  // Payloads and the background are compressed unless this is empty
  // (stored raw). A payload that compression does not make smaller is
  // stored raw either way.
  std::optional<CompressOptions> compression = CompressOptions{};
  // The releases the patch is made from (their application folders). When
  // given, every payload records the file it gives, and one that has a file
  // of the same name in each of them is stored as a delta against those
  // files when that is smaller (DELTA resources; see delta_payload.h).
  std::vector<fs::path> from = {};
  std::uint64_t maxImageSize = kMaxImageSize;
  // The installer's icon and version record (version.txt), in place of
  // the stub's.
  std::optional<fs::path> icon = std::nullopt;
  std::optional<fs::path> versionInfo = std::nullopt;
};

// How one payload was stored.
struct PayloadReport {
  Text name;
  std::uint64_t size = 0;
  std::uint64_t stored = 0;
  format::PayloadKind kind = format::PayloadKind::Raw;
  std::size_t deltaSources = 0;  // 0: whole
  // With --from: what a delta and the whole file compressed came to (0 when
  // not made).
  std::uint64_t deltaSize = 0;
  std::uint64_t wholeSize = 0;
};

struct BuildResult {
  // The lint findings; with any error nothing was written unless forced.
  std::vector<Finding> findings;
  bool written = false;
  // Every payload stored, in the order of their entries.
  std::vector<PayloadReport> payloads;
  // The stub already carried a package, which was replaced.
  bool replacedPackage = false;
  std::uint64_t outputSize = 0;
  // The images of the icon put in place of the stub's (0: the stub's kept),
  // and the version record put in place of the stub's.
  std::size_t iconImages = 0;
  std::optional<VersionRecord> versionRecord;

  // Payloads stored compressed: whole, or as deltas.
  std::size_t CompressedCount() const;
  std::size_t DeltaCount() const;
  // The payload files' bytes, and what the installer stores of them.
  std::uint64_t PayloadBytes() const;
  std::uint64_t StoredBytes() const;
};

// Lints the script with the background and payload, then writes the
// installer. Throws PackError on unreadable or unusable input; the output
// file is then left as it was.
BuildResult BuildInstaller(const BuildRequest& request);

// True for the resources that make up a package.
bool IsPackageResource(const ResourceId& type, const ResourceId& name);

// The package inside an installer, read on demand from the file.
class InstalledPackage {
 public:
  struct Payload {
    std::size_t index = 0;               // position in %OutFiles: the resource number
    Text name;                           // the entry, empty for a blank one
    int line = 0;                        // the entry's line in the script
    const ResourceLeaf* leaf = nullptr;  // nullptr when the resource is missing
    format::PayloadKind kind = format::PayloadKind::Raw;
  };

  // Throws PackError when the file is no PE image or carries no script.
  explicit InstalledPackage(const fs::path& installer);

  InputFile& file() { return file_; }
  const PeImage& image() const { return image_; }
  const ResourceTree& resources() const { return tree_; }
  const std::string& script() const { return script_; }
  // Which forms of the background the package holds; a sound one holds one.
  enum class BackgroundForm { Missing, Raw, Compressed, Both };
  BackgroundForm backgroundForm() const;
  // The resource of the background when the package holds one form of it.
  const ResourceLeaf* background() const;
  // The bitmap file that the background gives, a compressed one decoded and
  // checked. Throws PackError when the package holds neither form or both,
  // or the stored bytes are damaged or implausibly large.
  std::string BackgroundFile() const;
  const std::vector<Payload>& payloads() const { return payloads_; }
  // The icon the installer loads for its window (kMainIconName), and its
  // version record; empty, nullopt when it has none.
  std::vector<IconGroupEntry> MainIcon() const;
  std::optional<VersionRecord> Version() const;
  // Payload resources named RESOURCE_FILE<n> that no entry asks for.
  std::vector<std::pair<std::string, const ResourceLeaf*>> UnusedPayloads() const;
  // A payload's stored bytes where they lie in the installer, which is
  // mapped into memory for this on first use.
  std::string_view StoredBytes(const Payload& payload);

 private:
  std::unique_ptr<MappedFile> mapped_;
  InputFile file_;
  PeImage image_;
  ResourceTree tree_;
  std::string script_;
  const ResourceLeaf* rawBackground_ = nullptr;
  const ResourceLeaf* compressedBackground_ = nullptr;
  std::vector<Payload> payloads_;
};

// Writes the package of `installer` as a patch folder `folder` (script,
// background and payload folder by the convention above). A delta payload is
// applied to its file in whichever of the `from` folders holds a version it
// was made from. Throws PackError; the folder is then not created.
void ExtractPackage(const fs::path& installer, const fs::path& folder, const std::vector<fs::path>& from = {});

}  // namespace brisko::pack

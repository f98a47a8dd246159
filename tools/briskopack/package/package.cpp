#include "package/package.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <thread>

#include "core/format/package_format.h"
#include "core/picture/stored_picture.h"
#include "lint/script_entries.h"
#include "lint/version_info.h"
#include "package/delta_payload.h"
#include "platform/native_names.h"

namespace brisko::pack {

namespace {

const ResourceId kNeutral = ResourceId::Number(0);

// RESOURCE_FILE followed by digits, in any letter case.
bool IsPayloadName(const ResourceId& name) {
  if (!name.isName()) return false;
  const std::u16string& n = name.name();
  const std::size_t prefix = sizeof format::kPayloadPrefix - 1;
  return n.size() > prefix && ResourceId::Name(n.substr(0, prefix)).NameEquals(format::kPayloadPrefix) &&
         std::all_of(n.begin() + prefix, n.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// An entry that stays inside the payload folder and names an existing file.
bool IsSafePayloadPath(const Text& entry, const fs::path& path) {
  std::error_code ec;
  return StaysInsideFolder(entry) && fs::is_regular_file(path, ec);
}

bool IsPayloadType(const ResourceId& type) {
  return std::any_of(std::begin(format::kPayloadKinds), std::end(format::kPayloadKinds),
                     [&](format::PayloadKind kind) { return type.NameEquals(format::PayloadType(kind)); });
}

// `size` as a resource's size field holds it; throws PackError naming `name`
// when it does not fit (`how`: " even compressed", for the message).
std::uint32_t ResourceSize(std::uint64_t size, const std::string& name, const char* how) {
  if (size > kMaxResourceSize)
    throw PackError(name, std::string("too large for a resource") + how + " (4 GiB or more)");
  return static_cast<std::uint32_t>(size);
}

// A payload file of the script, found in the payload folder.
struct PayloadFile {
  std::size_t index;  // its %OutFiles entry's position: the resource's number
  Text entry;
  fs::path path;
};

// A payload made ready for the tree: the type and bytes of its resource.
struct PreparedPayload {
  const char* type = format::kPayloadType;
  ResourceData data;
  std::unique_ptr<OutputFile> scratch;  // the compressed frame, until the installer is written
  PayloadReport report;
};

// Compressed into a scratch file beside the output when asked, when a trial
// shows it worth compressing and when that makes it smaller; raw otherwise.
PreparedPayload PreparePayload(const PayloadFile& file, const BuildRequest& request) {
  InputFile in(file.path);
  const std::uint64_t size = in.size();
  PreparedPayload prepared;
  prepared.report.name = file.entry;
  prepared.report.size = prepared.report.stored = size;
  if (request.compression && WorthCompressing(FileRanges(in, 0), size, *request.compression, in.name())) {
    auto frame = std::make_unique<OutputFile>(request.output);
    CompressRange(in, 0, size, *frame, *request.compression);
    frame->CloseScratch();
    const std::uint64_t stored = frame->position();
    if (stored < size) {
      prepared.type = format::kCompressedPayloadType;
      prepared.data = ResourceData::File(frame->temporaryPath(), ResourceSize(stored, in.name(), " even compressed"));
      prepared.scratch = std::move(frame);
      prepared.report.stored = stored;
      prepared.report.kind = format::PayloadKind::Compressed;
      return prepared;
    }
  }
  prepared.data = ResourceData::File(file.path, ResourceSize(size, in.name(), ""));
  return prepared;
}

// Prepares every payload, several files at once when compressing: one
// thread per processor takes the next file, the largest first. Throws the
// error of the first entry that failed.
std::vector<PreparedPayload> PreparePayloads(const std::vector<PayloadFile>& files, const BuildRequest& request) {
  std::vector<PreparedPayload> prepared(files.size());
  std::vector<std::exception_ptr> errors(files.size());
  std::vector<std::pair<std::uint64_t, std::size_t>> order;  // size, file
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(files[i].path, ec);
    order.emplace_back(ec ? 0 : size, i);
  }
  std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t k; (k = next++) < order.size();) {
      const std::size_t i = order[k].second;
      try {
        prepared[i] = PreparePayload(files[i], request);
      } catch (...) {
        errors[i] = std::current_exception();
      }
    }
  };
  const std::size_t threads =
      request.compression ? std::min<std::size_t>(ThreadCount(*request.compression), files.size()) : 1;
  std::vector<std::thread> helpers;
  for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  for (const std::exception_ptr& error : errors)
    if (error) std::rethrow_exception(error);
  return prepared;
}

void PutPrepared(ResourceTree& tree, std::size_t index, PreparedPayload prepared,
                 std::vector<std::unique_ptr<OutputFile>>& scratch, BuildResult& result) {
  tree.Put(ResourceId::Ascii(prepared.type), ResourceId::Ascii(format::PayloadName(index)), kNeutral,
           std::move(prepared.data));
  if (prepared.scratch) scratch.push_back(std::move(prepared.scratch));
  result.payloads.push_back(std::move(prepared.report));
}

// The earlier versions of `entry`: its file in each release folder, or none
// when a release lacks it (the whole file then serves every release).
std::vector<fs::path> EarlierVersions(const Text& entry, const std::vector<fs::path>& releases) {
  std::vector<fs::path> versions;
  for (const fs::path& release : releases) {
    const fs::path path = FindScriptFile(release, entry);
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return {};
    versions.push_back(path);
  }
  return versions;
}

// The files of `entry` in those of the release folders that have it.
std::vector<fs::path> ExistingVersions(const Text& entry, const std::vector<fs::path>& releases) {
  std::vector<fs::path> versions;
  for (const fs::path& release : releases) {
    fs::path path = FindScriptFile(release, entry);
    std::error_code ec;
    if (fs::is_regular_file(path, ec)) versions.push_back(std::move(path));
  }
  return versions;
}

// Puts payload `index` into the tree as a DELTA resource: a delta against
// the entry's earlier versions when that is smaller, else the whole file.
void AddCheckedPayload(ResourceTree& tree, std::size_t index, const Text& entry, const fs::path& path,
                       const BuildRequest& request, std::vector<std::unique_ptr<OutputFile>>& scratch,
                       BuildResult& result) {
  CheckedPayloadRequest made;
  made.result = path;
  made.sources = EarlierVersions(entry, request.from);
  made.options = request.compression.value_or(CompressOptions{});
  made.scratchBeside = request.output;
  CheckedPayload payload = MakeCheckedPayload(made);
  const std::uint64_t stored = payload.stored->position();
  tree.Put(
      ResourceId::Ascii(format::kDeltaPayloadType), ResourceId::Ascii(format::PayloadName(index)), kNeutral,
      ResourceData::File(payload.stored->temporaryPath(), ResourceSize(stored, DisplayName(path), " even as a delta")));
  scratch.push_back(std::move(payload.stored));
  result.payloads.push_back({entry, payload.resultSize, stored, format::PayloadKind::Delta, payload.deltaSources,
                             payload.deltaSize, payload.wholeSize});
}

// Puts every payload of the script's %OutFiles `entries` into the tree.
void AddPayloads(ResourceTree& tree, const std::vector<ScriptEntry>& entries, const BuildRequest& request,
                 const std::string& scriptName, std::vector<std::unique_ptr<OutputFile>>& scratch,
                 BuildResult& result) {
  std::vector<PayloadFile> files;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Text& entry = entries[i].text;
    if (entry.empty()) continue;  // a blank entry keeps its number unused
    if (!request.payloadFolder) {
      if (request.force) continue;
      throw PackError(scriptName, "line " + std::to_string(entries[i].line) +
                                      " names a payload file, but no payload folder was given");
    }
    fs::path path = FindScriptFile(*request.payloadFolder, entry);
    if (request.force && !IsSafePayloadPath(entry, path)) continue;
    files.push_back({i, entry, std::move(path)});
  }
  if (!request.from.empty()) {
    for (const PayloadFile& file : files)
      AddCheckedPayload(tree, file.index, file.entry, file.path, request, scratch, result);
    return;
  }
  std::vector<PreparedPayload> prepared = PreparePayloads(files, request);
  for (std::size_t k = 0; k < files.size(); ++k)
    PutPrepared(tree, files[k].index, std::move(prepared[k]), scratch, result);
}

// The icon and the version record in place of the stub's, when the patch
// has them; left out, like a faulty payload, when a forced build finds them
// unusable.
void PutAuthorResources(ResourceTree& tree, const LintInput& lint, BuildResult& result) {
  if (lint.icon) {
    const IconFile icon = ReadIconFile(lint.icon->second);
    if (icon.problem.empty()) {
      PutMainIcon(tree, icon.images);
      result.iconImages = icon.images.size();
    }
  }
  if (!lint.versionInfo) return;
  const VersionInfoFile file = ReadVersionInfo(lint.versionInfo->second);
  result.versionRecord = file.notUtf8Line ? std::nullopt : VersionRecordOf(file);
  if (!result.versionRecord) return;
  const ResourceId type = ResourceId::Number(kVersionType), name = ResourceId::Number(kVersionName);
  tree.RemoveIf([&](const ResourceId& t, const ResourceId& n) { return t == type && n == name; });
  tree.Put(type, name, ResourceId::Number(result.versionRecord->language),
           ResourceData::Bytes(EncodeVersionRecord(*result.versionRecord)));
}

}  // namespace

std::size_t BuildResult::CompressedCount() const {
  return std::count_if(payloads.begin(), payloads.end(), [](const PayloadReport& p) {
    return p.kind == format::PayloadKind::Compressed || (p.kind == format::PayloadKind::Delta && p.deltaSources == 0);
  });
}

std::size_t BuildResult::DeltaCount() const {
  return std::count_if(payloads.begin(), payloads.end(), [](const PayloadReport& p) { return p.deltaSources > 0; });
}

std::uint64_t BuildResult::PayloadBytes() const {
  std::uint64_t bytes = 0;
  for (const PayloadReport& p : payloads) bytes += p.size;
  return bytes;
}

std::uint64_t BuildResult::StoredBytes() const {
  std::uint64_t bytes = 0;
  for (const PayloadReport& p : payloads) bytes += p.stored;
  return bytes;
}

bool IsPackageResource(const ResourceId& type, const ResourceId& name) {
  return (type.NameEquals(format::kScriptType) && name.NameEquals(format::kScriptName)) ||
         ((type.NameEquals(format::kBackgroundType) || type.NameEquals(format::kCompressedBackgroundType)) &&
          name.NameEquals(format::kBackgroundName)) ||
         (IsPayloadType(type) && IsPayloadName(name));
}

BuildResult BuildInstaller(const BuildRequest& request) {
  BuildResult result;
  const std::string script = ReadWholeFile(request.script, kMaxScriptSize);
  const std::string background = ReadWholeFile(request.background, kMaxBackgroundSize);
  if (request.payloadFolder) {
    std::error_code ec;
    const fs::file_status status = fs::status(*request.payloadFolder, ec);
    if (!fs::exists(status)) throw PackError(DisplayName(*request.payloadFolder), "no such folder");
    if (!fs::is_directory(status)) throw PackError(DisplayName(*request.payloadFolder), "is not a folder");
  }

  LintInput lint;
  lint.scriptName = DisplayName(request.script);
  lint.script = script;
  lint.background.emplace(DisplayName(request.background), background);
  if (request.icon) lint.icon.emplace(DisplayName(*request.icon), ReadWholeFile(*request.icon, kMaxIconSize));
  if (request.versionInfo)
    lint.versionInfo.emplace(DisplayName(*request.versionInfo),
                             ReadWholeFile(*request.versionInfo, kMaxVersionInfoSize));
  lint.payloadFolder = request.payloadFolder;
  lint.from = request.from;
  result.findings = Lint(lint);
  if (HasErrors(result.findings) && !request.force) return result;

  const std::string outputName = DisplayName(request.output);
  std::optional<OutputFile> out;
  std::vector<std::unique_ptr<OutputFile>> scratch;  // compressed payloads, until written
  {
    InputFile stub(request.stub);
    const PeImage image = PeImage::Read(stub);
    ResourceTree tree = ResourceTree::Parse(image, stub);
    result.replacedPackage = tree.RemoveIf(IsPackageResource) > 0;

    tree.Put(ResourceId::Ascii(format::kScriptType), ResourceId::Ascii(format::kScriptName), kNeutral,
             ResourceData::Bytes(script));
    if (request.compression)
      tree.Put(ResourceId::Ascii(format::kCompressedBackgroundType), ResourceId::Ascii(format::kBackgroundName),
               kNeutral, ResourceData::Bytes(CompressPicture(background, DisplayName(request.background))));
    else
      tree.Put(ResourceId::Ascii(format::kBackgroundType), ResourceId::Ascii(format::kBackgroundName), kNeutral,
               ResourceData::Bytes(background));
    AddPayloads(tree, OutFilesEntries(script), request, lint.scriptName, scratch, result);
    PutAuthorResources(tree, lint, result);

    const ResourceSection section(tree);
    const ResourceSectionPlan plan =
        PlanResourceSection(image, section.size(), stub.name(), outputName, request.maxImageSize);
    out.emplace(request.output);
    WriteImage(image, stub, plan, section, *out);
    out->CopyExecutePermissions(request.stub);
    result.outputSize = out->position();
  }
  // The stub is closed first: on Windows a file still open cannot be replaced
  // when the output is written over the stub itself.
  out->Commit();
  result.written = true;
  return result;
}

InstalledPackage::InstalledPackage(const fs::path& installer)
    : file_(installer), image_(PeImage::Read(file_)), tree_(ResourceTree::Parse(image_, file_)) {
  const ResourceLeaf* script = tree_.Find(format::kScriptType, format::kScriptName);
  if (!script)
    throw PackError(file_.name(), std::string("carries no patch package (no ") + format::kScriptType + "/" +
                                      format::kScriptName + " resource)");
  if (script->data.size() > kMaxScriptSize)
    throw PackError(file_.name(),
                    "the script resource is implausibly large (" + std::to_string(script->data.size()) + " bytes)");
  script_ = script->data.Read();
  rawBackground_ = tree_.Find(format::kBackgroundType, format::kBackgroundName);
  compressedBackground_ = tree_.Find(format::kCompressedBackgroundType, format::kBackgroundName);
  const std::vector<ScriptEntry> entries = OutFilesEntries(script_);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    Payload p;
    p.index = i;
    p.name = entries[i].text;
    p.line = entries[i].line;
    // In the installer's order.
    for (const format::PayloadKind kind : format::kPayloadKinds) {
      if (p.name.empty() || p.leaf) break;
      p.leaf = tree_.Find(format::PayloadType(kind), format::PayloadName(i));
      p.kind = kind;
    }
    payloads_.push_back(std::move(p));
  }
}

InstalledPackage::BackgroundForm InstalledPackage::backgroundForm() const {
  if (rawBackground_ && compressedBackground_) return BackgroundForm::Both;
  if (rawBackground_) return BackgroundForm::Raw;
  return compressedBackground_ ? BackgroundForm::Compressed : BackgroundForm::Missing;
}

const ResourceLeaf* InstalledPackage::background() const {
  return backgroundForm() == BackgroundForm::Both ? nullptr : rawBackground_ ? rawBackground_ : compressedBackground_;
}

std::string InstalledPackage::BackgroundFile() const {
  const std::string raw = std::string(format::kBackgroundType) + "/" + format::kBackgroundName;
  const std::string compressed = std::string(format::kCompressedBackgroundType) + "/" + format::kBackgroundName;
  switch (backgroundForm()) {
    case BackgroundForm::Missing:
      throw PackError(file_.name(), "carries no background (no " + raw + " or " + compressed + " resource)");
    case BackgroundForm::Both:
      throw PackError(file_.name(),
                      "carries the background twice, as " + raw + " and as " + compressed + " (a package holds one)");
    case BackgroundForm::Raw:
      if (rawBackground_->data.size() > kMaxBackgroundSize)
        throw PackError(file_.name(), "the background resource is implausibly large (" +
                                          std::to_string(rawBackground_->data.size()) + " bytes)");
      return rawBackground_->data.Read();
    case BackgroundForm::Compressed: break;
  }
  // A frame of the largest picture is never twice its size.
  std::string file;
  if (compressedBackground_->data.size() > 2 * kMaxBackgroundSize ||
      !UnpackPictureFrame(compressedBackground_->data.Read(), file))
    throw PackError(file_.name(), "the compressed background (" + compressed + ") is damaged");
  return file;
}

std::vector<IconGroupEntry> InstalledPackage::MainIcon() const {
  const auto groups = tree_.types().find(ResourceId::Number(kIconGroupType));
  if (groups == tree_.types().end()) return {};
  for (const auto& [name, node] : groups->second.names)
    if (name.NameEquals(kMainIconName) && !node.languages.empty() &&
        node.languages.begin()->second.data.size() <= kMaxIconGroupSize)
      return ReadIconGroup(node.languages.begin()->second.data.Read());
  return {};
}

std::optional<VersionRecord> InstalledPackage::Version() const {
  const auto records = tree_.types().find(ResourceId::Number(kVersionType));
  if (records == tree_.types().end()) return std::nullopt;
  const auto record = records->second.names.find(ResourceId::Number(kVersionName));
  if (record == records->second.names.end() || record->second.languages.empty()) return std::nullopt;
  const ResourceData& data = record->second.languages.begin()->second.data;
  if (data.size() > kMaxVersionRecordSize) return std::nullopt;
  return DecodeVersionRecord(data.Read());
}

std::vector<std::pair<std::string, const ResourceLeaf*>> InstalledPackage::UnusedPayloads() const {
  std::vector<std::pair<std::string, const ResourceLeaf*>> unused;
  for (const auto& [type, typeNode] : tree_.types()) {
    if (!IsPayloadType(type)) continue;
    for (const auto& [name, nameNode] : typeNode.names) {
      if (!IsPayloadName(name) || nameNode.languages.empty()) continue;
      bool used = false;
      for (const Payload& p : payloads_) used = used || (p.leaf == &nameNode.languages.begin()->second);
      if (!used) unused.emplace_back(type.ToString() + "/" + name.ToString(), &nameNode.languages.begin()->second);
    }
  }
  return unused;
}

std::string_view InstalledPackage::StoredBytes(const Payload& payload) {
  const std::optional<std::uint64_t> offset = payload.leaf ? payload.leaf->data.FileOffset() : std::nullopt;
  if (!offset) throw PackError(file_.name(), "payload " + std::to_string(payload.index) + " is not in the file");
  if (!mapped_) mapped_ = std::make_unique<MappedFile>(file_.path());
  const std::string_view bytes = mapped_->bytes();
  if (*offset > bytes.size() || payload.leaf->data.size() > bytes.size() - *offset)
    throw PackError(file_.name(), "payload " + std::to_string(payload.index) + " lies beyond the file's end");
  return bytes.substr(static_cast<std::size_t>(*offset), payload.leaf->data.size());
}

void ExtractPackage(const fs::path& installer, const fs::path& folder, const std::vector<fs::path>& from) {
  InstalledPackage package(installer);
  const std::string name = package.file().name();
  const std::string background = package.BackgroundFile();
  for (const auto& p : package.payloads()) {
    if (p.name.empty()) continue;
    const std::string where = "payload " + std::to_string(p.index) + " (" + ForDisplay(p.name) + ")";
    if (!p.leaf)
      throw PackError(
          name, where + " is missing: no " + format::kPayloadType + "/" + format::PayloadName(p.index) + " resource");
    if (!StaysInsideFolder(p.name)) throw PackError(name, where + " would be written outside the payload folder");
  }

  OutputFolder target(folder);
  auto write = [](const fs::path& path, std::string_view bytes) {
    OutputFile out(path);
    out.Write(bytes.data(), bytes.size());
    out.Commit();
  };
  auto unpack = [&](const fs::path& path, const InstalledPackage::Payload& p) {
    OutputFile out(path);
    const std::string where = name + ": payload " + std::to_string(p.index);
    if (p.kind == format::PayloadKind::Delta)
      UnpackChecked(package.StoredBytes(p), ExistingVersions(p.name, from), out, where);
    else
      Unpack(p.kind, p.leaf->data, out, where);
    out.Commit();
  };
  write(target.path() / kScriptFileName, package.script());
  write(target.path() / kBackgroundFileName, background);
  const fs::path payload = target.path() / kPayloadFolderName;
  std::error_code ec;
  fs::create_directory(payload, ec);
  if (ec) throw PackError(DisplayName(payload), "cannot create: " + ErrorText(ec));
  for (const auto& p : package.payloads()) {
    if (p.name.empty()) continue;
    const fs::path path = NativePath(payload, p.name);
    fs::create_directories(path.parent_path(), ec);
    if (ec) throw PackError(DisplayName(path.parent_path()), "cannot create: " + ErrorText(ec));
    unpack(path, p);
  }
  target.Commit();
}

}  // namespace brisko::pack

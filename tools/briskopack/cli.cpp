#include "cli.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "core/payload/delta.h"
#include "core/payload/sha256.h"
#include "core/picture/bitmap.h"
#include "core/script/script_lines.h"
#include "core/script/tiny_cnf.h"
#include "lint/lint.h"
#include "lint/script_outline.h"
#include "lint/version_info.h"
#include "package/package.h"
#include "package/version_diff.h"
#include "pe/installed_stubs.h"
#include "platform/file_io.h"
#include "platform/native_names.h"
#include "platform/program_path.h"

#ifndef BRISKOPACK_VERSION
#define BRISKOPACK_VERSION "0"
#endif

namespace brisko::pack {

namespace {

// The commands, as bits of the set of commands that an option goes with.
enum CommandBit : unsigned { kBuild = 1, kDiff = 2, kLint = 4, kList = 8, kExtract = 16 };

// How an option takes its value.
enum class Takes {
  Nothing,       // a flag: --force
  NextArgument,  // --stub STUB.exe, -o OUT.exe
  JoinedValue,   // a value that may follow "=": --compress or --compress=19
};

// One row of the option table, from which both the parser and the usage
// text come. An option that two commands take with values of different
// meaning has a row for each.
struct OptionSpec {
  const char* name;
  const char* alias;  // a short form ("-o"), or nullptr
  Takes takes;
  const char* value;     // the value's placeholder in the usage text
  bool repeats;          // may be given more than once, its values kept in order
  bool required;         // the commands of this row need it
  const char* excludes;  // an option of the same commands that may not be given with it, or nullptr
  unsigned commands;
  const char* help;
};

constexpr bool kRepeats = true, kRequired = true;

// In the order the usage text shows them.
const OptionSpec kOptions[] = {
    {"--output", "-o", Takes::NextArgument, "OUT.exe", false, kRequired, nullptr, kBuild, "the installer to write"},
    {"--output", "-o", Takes::NextArgument, "PATCH_DIR", false, kRequired, nullptr, kDiff,
     "the patch folder to write (made when missing)"},
    {"--stub", nullptr, Takes::NextArgument, "STUB.exe", false, false, "--arch", kBuild,
     "the installer stub to pack into, in place of the one installed with briskopack"},
    {"--arch", nullptr, Takes::NextArgument, "x86|x64", false, false, nullptr, kBuild,
     "the installed stub to use: x86 (the default, its installers run on every Windows) or x64"},
    {"--script", nullptr, Takes::NextArgument, "FILE", false, false, nullptr, kBuild,
     "the script, in place of the patch folder's script.txt"},
    {"--background", nullptr, Takes::NextArgument, "FILE", false, false, nullptr, kBuild | kLint,
     "the background picture, in place of the patch folder's background.bmp"},
    {"--payload", nullptr, Takes::NextArgument, "DIR", false, false, nullptr, kBuild | kLint,
     "the payload folder, in place of the patch folder's payload/"},
    {"--icon", nullptr, Takes::NextArgument, "FILE", false, false, nullptr, kBuild | kLint,
     "the installer's icon, in place of the patch folder's icon.ico (without either, the stub's)"},
    {"--version-info", nullptr, Takes::NextArgument, "FILE", false, false, nullptr, kBuild | kLint,
     "the installer's version record, in place of the patch folder's version.txt (without either, the stub's)"},
    {"--force", nullptr, Takes::Nothing, nullptr, false, false, nullptr, kBuild,
     "build even when lint reports errors (to test how the installer fails)"},
    {"--compress", nullptr, Takes::JoinedValue, "LEVEL", false, false, "--store", kBuild,
     "compress payloads with zstd at LEVEL, 1 to 22 (the default: 20)"},
    {"--store", nullptr, Takes::Nothing, nullptr, false, false, nullptr, kBuild, "store payloads raw"},
    {"--from", nullptr, Takes::NextArgument, "OLD_DIR", kRepeats, false, nullptr, kBuild | kLint | kExtract,
     "a release the patch is made from (its application folder); every payload then records the file it "
     "gives, and one whose name the releases have is stored as a delta when smaller"},
};

// "-o OUT.exe", "--compress[=LEVEL]", "--force".
std::string OptionWithValue(const OptionSpec& o, bool shortForm) {
  const std::string name = shortForm && o.alias ? o.alias : o.name;
  switch (o.takes) {
    case Takes::Nothing: return name;
    case Takes::NextArgument: return name + " " + o.value;
    case Takes::JoinedValue: return name + "[=" + o.value + "]";
  }
  return name;
}

const OptionSpec* Find(std::string_view name, unsigned command) {
  for (const OptionSpec& o : kOptions)
    if ((o.commands & command) && (name == o.name || (o.alias && name == o.alias))) return &o;
  return nullptr;
}

struct UsageError {
  std::string message;
};

// The options and plain arguments of one command.
struct Arguments {
  std::map<std::string, std::vector<std::string>> options;  // by the option's long name
  std::vector<std::string> plain;

  std::optional<std::string> Option(const std::string& name) const {
    auto it = options.find(name);
    if (it == options.end()) return std::nullopt;
    return it->second.front();
  }
  // Paths, given in UTF-8.
  std::optional<fs::path> PathOption(const std::string& name) const {
    if (auto value = Option(name)) return PathFromUtf8(*value);
    return std::nullopt;
  }
  std::vector<fs::path> Paths(const std::string& name) const {
    std::vector<fs::path> paths;
    auto it = options.find(name);
    if (it != options.end())
      for (const std::string& value : it->second) paths.push_back(PathFromUtf8(value));
    return paths;
  }
  fs::path PlainPath(std::size_t index) const { return PathFromUtf8(plain[index]); }
  bool Has(const std::string& name) const { return options.count(name) != 0; }
};

// One row of the command table.
struct CommandSpec {
  const char* name;
  CommandBit bit;
  const char* operands;  // as the usage text shows them
  const char* summary;
  int (*run)(const Arguments&, std::ostream& out, std::ostream& err);
};

// Reads the arguments after the command by the option table.
Arguments Parse(const std::vector<std::string>& args, const CommandSpec& command) {
  Arguments parsed;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.size() < 2 || a[0] != '-') {
      parsed.plain.push_back(a);
      continue;
    }
    const std::size_t equals = a.rfind("--", 0) == 0 ? a.find('=') : std::string::npos;
    const std::string name = a.substr(0, equals);
    const OptionSpec* o = Find(name, command.bit);
    // A value joined with "=" only where the table says so.
    if (!o || (equals != std::string::npos && o->takes == Takes::NextArgument)) throw UsageError{"unknown option " + a};
    if (equals != std::string::npos && o->takes == Takes::Nothing)
      throw UsageError{"option " + name + " takes no value"};
    std::string value;
    if (o->takes == Takes::NextArgument) {
      if (i + 1 >= args.size()) throw UsageError{"option " + a + " needs a value"};
      value = args[++i];
    } else if (equals != std::string::npos) {
      value = a.substr(equals + 1);
    }
    std::vector<std::string>& values = parsed.options[o->name];
    if (!values.empty() && !o->repeats) throw UsageError{"option " + name + " given twice"};
    values.push_back(std::move(value));
  }
  for (const OptionSpec& o : kOptions) {
    if (!(o.commands & command.bit)) continue;
    if (o.required && !parsed.Has(o.name))
      throw UsageError{std::string(command.name) + " needs " + OptionWithValue(o, true)};
    if (o.excludes && parsed.Has(o.name) && parsed.Has(o.excludes))
      throw UsageError{std::string(command.name) + " takes " + o.name + " or " + o.excludes + ", not both"};
  }
  return parsed;
}

bool IsFolder(const fs::path& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

// Prints findings; returns the lint exit code they call for.
int Report(const std::vector<Finding>& findings, std::ostream& stream) {
  for (const Finding& f : findings) stream << FormatFinding(f) << '\n';
  if (HasErrors(findings)) return kExitLintErrors;
  return findings.empty() ? kExitOk : kExitLintWarnings;
}

bool IsFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

// Where the stub for `arch` installed with this packer is, or would be;
// nullopt when the packer cannot tell where it is itself.
std::optional<fs::path> InstalledStubLocation(StubArch arch) {
  const std::optional<fs::path> program = ProgramPath();
  if (!program) return std::nullopt;
  return InstalledStubPath(*program, arch);
}

// The stub installed with this packer for `arch`; throws when there is none.
fs::path InstalledStub(StubArch arch) {
  const std::string name = StubArchName(arch);
  const std::optional<fs::path> stub = InstalledStubLocation(arch);
  if (!stub)
    throw std::runtime_error("cannot tell where briskopack is installed, so it cannot find its " + name +
                             " stub; name one with --stub STUB.exe");
  if (!IsFile(*stub))
    throw std::runtime_error("looked for the " + name + " stub at " + DisplayName(*stub) +
                             " and found none; name one with --stub STUB.exe");
  return *stub;
}

// --store, or --compress with an optional level; compressed at the default
// level when neither is given.
std::optional<CompressOptions> CompressionOption(const Arguments& a) {
  const auto compress = a.Option("--compress");
  if (a.Has("--store")) return std::nullopt;
  CompressOptions options;
  if (compress && !compress->empty()) {
    const std::string& level = *compress;
    const bool digits =
        level.size() <= 2 && std::all_of(level.begin(), level.end(), [](char c) { return c >= '0' && c <= '9'; });
    options.level = digits ? std::stoi(level) : 0;
    if (options.level < 1 || options.level > MaxCompressionLevel())
      throw UsageError{"--compress takes a level from 1 to " + std::to_string(MaxCompressionLevel())};
  }
  return options;
}

// The --from folders; each must be one.
std::vector<fs::path> Releases(const Arguments& a) {
  const std::vector<fs::path> releases = a.Paths("--from");
  for (const fs::path& release : releases)
    if (!IsFolder(release)) throw PackError(DisplayName(release), "is not a folder (--from names a release's folder)");
  return releases;
}

// How each payload of a --from build was stored.
void ReportDeltas(const BuildResult& result, std::ostream& out) {
  for (const PayloadReport& p : result.payloads) {
    out << "  " << ForDisplay(p.name) << "  " << p.size << " bytes: ";
    if (p.deltaSources > 0)
      out << "delta against " << p.deltaSources << " version" << (p.deltaSources == 1 ? "" : "s") << ", " << p.stored
          << " bytes (whole: " << p.wholeSize << ")\n";
    else
      out << "whole, " << p.stored << " bytes" << (p.deltaSize > 0 ? " (delta: " + std::to_string(p.deltaSize) + ")" : "")
          << '\n';
  }
}

// The parts of a patch: the patch folder's files by convention, each
// replaced by the option that names another. The icon and the version
// record are taken from the folder only when it has them.
struct PatchParts {
  std::optional<fs::path> script, background, payload, icon, versionInfo;
};

PatchParts ResolvePatch(const Arguments& a, const std::optional<fs::path>& folder) {
  auto pick = [&](const char* option, const char* conventional, bool optional) -> std::optional<fs::path> {
    if (auto value = a.PathOption(option)) return value;
    if (!folder || (optional && !fs::exists(*folder / conventional))) return std::nullopt;
    return *folder / conventional;
  };
  return {pick("--script", kScriptFileName, false), pick("--background", kBackgroundFileName, false),
          pick("--payload", kPayloadFolderName, false), pick("--icon", kIconFileName, true),
          pick("--version-info", kVersionInfoFileName, true)};
}

int Build(const Arguments& a, std::ostream& out, std::ostream& err) {
  if (a.plain.size() > 1) throw UsageError{"build takes at most one patch folder"};
  const auto stub = a.PathOption("--stub");
  const auto archName = a.Option("--arch");
  std::optional<StubArch> arch = kDefaultStubArch;
  if (archName) arch = ParseStubArch(*archName);
  if (!arch) throw UsageError{"--arch takes x86 or x64"};
  BuildRequest request;
  request.stub = stub ? *stub : InstalledStub(*arch);
  request.output = *a.PathOption("--output");
  const std::optional<fs::path> folder = a.plain.empty() ? std::nullopt : std::optional<fs::path>(a.PlainPath(0));
  if (folder && !IsFolder(*folder)) throw PackError(DisplayName(*folder), "is not a patch folder");
  const PatchParts parts = ResolvePatch(a, folder);
  if (!parts.script) throw UsageError{"build needs --script FILE or a patch folder"};
  if (!parts.background) throw UsageError{"build needs --background FILE or a patch folder"};
  request.script = *parts.script;
  request.background = *parts.background;
  request.payloadFolder = parts.payload;
  request.icon = parts.icon;
  request.versionInfo = parts.versionInfo;
  request.force = a.Has("--force");
  request.compression = CompressionOption(a);
  request.from = Releases(a);
  if (!request.from.empty() && !request.compression) throw UsageError{"--from stores payloads compressed, not --store"};

  const BuildResult result = BuildInstaller(request);
  Report(result.findings, err);
  if (!result.written) {
    err << "briskopack: " << DisplayName(request.script) << ": the script has errors; nothing was written\n";
    return kExitLintErrors;
  }
  const std::size_t payloads = result.payloads.size();
  out << DisplayName(request.output) << ": " << result.outputSize << " bytes, " << payloads << " payload file"
      << (payloads == 1 ? "" : "s");
  if (result.CompressedCount() + result.DeltaCount() > 0)
    out << " (" << result.PayloadBytes() << " bytes, " << result.CompressedCount() << " compressed"
        << (result.DeltaCount() > 0 ? ", " + std::to_string(result.DeltaCount()) + " as deltas" : "") << ", stored in "
        << result.StoredBytes() << ")";
  out << (result.replacedPackage ? " (the stub's old package was replaced)" : "");
  if (result.iconImages > 0)
    out << ", an icon of " << result.iconImages << " image" << (result.iconImages == 1 ? "" : "s");
  if (result.versionRecord) out << ", version record " << VersionText(result.versionRecord->fileVersion);
  out << '\n';
  if (!request.from.empty()) ReportDeltas(result, out);
  return kExitOk;
}

// True for a file that begins as a Windows program does.
bool IsProgramFile(const fs::path& path) {
  if (!IsFile(path)) return false;
  InputFile file(path);
  return file.size() >= 2 && file.ReadAt(0, 2) == "MZ";
}

// Lint of an installer: the script and the background of its package.
LintInput InstallerLintInput(const fs::path& installer) {
  InstalledPackage package(installer);
  LintInput input;
  input.scriptName = package.file().name() + " (script)";
  input.script = package.script();
  input.background.emplace(package.file().name() + " (background)", "");
  try {
    input.background->second = package.BackgroundFile();
  } catch (const PackError& e) {
    input.backgroundProblem = e.cause();
  }
  return input;
}

int LintCommand(const Arguments& a, std::ostream& out, std::ostream&) {
  if (a.plain.size() != 1) throw UsageError{"lint takes one script, patch folder or installer"};
  const fs::path target = a.PlainPath(0);
  LintInput input;
  if (IsProgramFile(target)) {
    for (const char* option : {"--background", "--payload", "--icon", "--version-info"})
      if (a.Has(option)) throw UsageError{std::string("lint of an installer takes no ") + option};
    input = InstallerLintInput(target);
  } else {
    const bool isFolder = IsFolder(target);
    const PatchParts parts = ResolvePatch(a, isFolder ? std::optional<fs::path>(target) : std::nullopt);
    const fs::path script = parts.script.value_or(target);
    input.scriptName = DisplayName(script);
    input.script = ReadWholeFile(script, kMaxScriptSize);
    if (parts.background)
      input.background.emplace(DisplayName(*parts.background), ReadWholeFile(*parts.background, kMaxBackgroundSize));
    input.payloadFolder = parts.payload;
    if (input.payloadFolder && !IsFolder(*input.payloadFolder))
      throw PackError(DisplayName(*input.payloadFolder), "is not a folder");
    if (parts.icon) input.icon.emplace(DisplayName(*parts.icon), ReadWholeFile(*parts.icon, kMaxIconSize));
    if (parts.versionInfo)
      input.versionInfo.emplace(DisplayName(*parts.versionInfo),
                                ReadWholeFile(*parts.versionInfo, kMaxVersionInfoSize));
  }
  input.from = Releases(a);
  return Report(Lint(input), out);
}

class HashSink final : public ByteSink {
 public:
  void Write(const void* data, std::size_t size) override { sha_.Update(data, size); }
  std::string Hex() { return Sha256::Hex(sha_.Finish()); }

 private:
  Sha256 sha_;
};

std::string Sha(std::string_view bytes) {
  HashSink sink;
  sink.Write(bytes.data(), bytes.size());
  return sink.Hex();
}

// The icon the installer loads (its images' sizes and colour depths) and
// the version record (its versions and strings).
void ListIconAndVersion(InstalledPackage& package, std::ostream& out) {
  const std::vector<IconGroupEntry> icon = package.MainIcon();
  out << "icon: ";
  if (icon.empty()) out << "none (no " << kMainIconName << " group)";
  for (std::size_t i = 0; i < icon.size(); ++i) {
    const IconGroupEntry& e = icon[i];
    const ResourceLeaf* image = package.resources().Find(ResourceId::Number(kIconType), ResourceId::Number(e.id));
    out << (i == 0 ? "" : ", ") << e.width << " x " << e.height << " " << e.bitCount << " bits";
    if (!image)
      out << " (missing)";
    else if (IsPngImage(image->data.ReadPart(0, 8)))
      out << " (PNG)";
  }
  out << '\n';
  const std::optional<VersionRecord> record = package.Version();
  if (!record) {
    out << "version record: none\n";
    return;
  }
  char language[16];
  std::snprintf(language, sizeof language, "%04X", record->language);
  out << "version record: file " << VersionText(record->fileVersion) << ", product "
      << VersionText(record->productVersion) << ", language " << language << ", code page " << record->codePage << '\n';
  for (const auto& [name, value] : record->strings) out << "  " << name << ": " << value << '\n';
}

// The background's line: the bitmap file's size (and, compressed, what it is
// stored in), its picture's size and its SHA-256; or what is wrong with it.
void ListBackground(const InstalledPackage& package, std::ostream& out) {
  using Form = InstalledPackage::BackgroundForm;
  out << "background: ";
  const Form form = package.backgroundForm();
  if (form == Form::Missing || form == Form::Both) {
    out << (form == Form::Missing ? "missing" : "stored twice, raw and compressed (a package holds one)") << '\n';
    return;
  }
  const std::uint32_t stored = package.background()->data.size();
  std::string file;
  try {
    file = package.BackgroundFile();
  } catch (const PackError&) {
    if (form == Form::Raw)
      out << stored << " bytes, too large to be a background\n";
    else
      out << "stored compressed in " << stored << ", damaged (the frame does not decode)\n";
    return;
  }
  out << file.size() << " bytes";
  if (form == Form::Compressed) out << " (stored compressed in " << stored << ")";
  Bitmap bitmap;
  if (DecodeBitmapFile(file, bitmap))
    out << ", " << bitmap.width << " x " << bitmap.height;
  else
    out << ", not a valid bitmap";
  out << ", sha256 " << Sha(file) << '\n';
}

// A delta payload's line: the size and SHA-256 it records for its result
// and, for a delta, for each version it applies to.
void ListRecorded(InstalledPackage& package, const InstalledPackage::Payload& p, const std::string& where,
                  std::ostream& out) {
  DeltaPayload payload;
  if (!ReadDeltaPayload(package.StoredBytes(p), payload))
    throw PackError(where, "the delta payload's records are damaged");
  out << ForDisplay(p.name) << "  " << payload.result.size << " bytes ("
      << (payload.sources.empty() ? "whole, stored compressed" : "a delta, stored") << " in " << p.leaf->data.size()
      << ")  sha256 " << Sha256::Hex(payload.result.sha) << '\n';
  for (const DeltaSource& source : payload.sources)
    out << "       from " << source.file.size << " bytes  sha256 " << Sha256::Hex(source.file.sha) << '\n';
}

// A payload's line: its size and the SHA-256 of the bytes the installer
// writes; a compressed one also with what it is stored in.
void ListPayload(InstalledPackage& package, const InstalledPackage::Payload& p, std::ostream& out) {
  const std::string where = package.file().name() + ": payload " + std::to_string(p.index);
  if (p.kind == format::PayloadKind::Delta) return ListRecorded(package, p, where, out);
  HashSink sink;
  Unpack(p.kind, p.leaf->data, sink, where);
  out << ForDisplay(p.name) << "  " << UnpackedSize(p.kind, p.leaf->data, where) << " bytes";
  if (p.kind == format::PayloadKind::Compressed) out << " (stored compressed in " << p.leaf->data.size() << ")";
  out << "  sha256 " << sink.Hex() << '\n';
}

int List(const Arguments& a, std::ostream& out, std::ostream&) {
  if (a.plain.size() != 1) throw UsageError{"list takes one installer"};
  InstalledPackage package{a.PlainPath(0)};
  const PeImage& image = package.image();
  out << package.file().name() << ": " << (image.is64() ? "PE32+" : "PE32") << ", "
      << package.resources().leafCount() << " resources\n";

  const StringList lines = SplitLines(package.script());
  out << "script: " << package.script().size() << " bytes, " << lines.size() << " lines\n";
  for (const OutlineSection& s : Outline(lines).sections) {
    if (s.kind == OutlineSection::Kind::Value) {
      const Text value = s.firstLine < s.endLine ? TTinyCnf::Unescape(TrimControl(lines[s.firstLine - 1])) : Text();
      out << "  " << ForDisplay(s.key) << " = " << ForDisplay(value) << '\n';
    } else {
      out << "  " << ForDisplay(s.key) << " (" << (s.endLine - s.firstLine) << " entries)\n";
      for (int line = s.firstLine; line < s.endLine; ++line)
        out << "    " << ForDisplay(TTinyCnf::Unescape(TrimControl(lines[line - 1]))) << '\n';
    }
  }

  ListBackground(package, out);
  ListIconAndVersion(package, out);

  out << "payload:\n";
  for (const auto& p : package.payloads()) {
    out << "  " << p.index << "  ";
    if (p.name.empty()) {
      out << "(blank entry)\n";
    } else if (!p.leaf) {
      out << ForDisplay(p.name) << "  MISSING\n";
    } else {
      ListPayload(package, p, out);
    }
  }
  for (const auto& [name, leaf] : package.UnusedPayloads())
    out << "unused: " << name << "  " << leaf->data.size() << " bytes\n";
  return kExitOk;
}

// The packer's version and, for each architecture, the stub that build
// would use and that stub's file version.
int Version(std::ostream& out) {
  out << "briskopack " << BRISKOPACK_VERSION << '\n';
  for (StubArch arch : {StubArch::X86, StubArch::X64}) {
    const std::string use = arch == kDefaultStubArch ? "default" : std::string("--arch ") + StubArchName(arch);
    out << StubArchName(arch) << " stub (" << use << "): ";
    const std::optional<fs::path> stub = InstalledStubLocation(arch);
    if (!stub) {
      out << "unknown: cannot tell where briskopack is installed\n";
      continue;
    }
    if (!IsFile(*stub)) {
      out << "none at " << DisplayName(*stub) << '\n';
      continue;
    }
    out << DisplayName(*stub) << ", ";
    try {
      const std::optional<std::string> version = ProgramFileVersion(*stub);
      out << (version ? "version " + *version : "no version record") << '\n';
    } catch (const PackError& e) {
      out << "not usable: " << e.cause() << '\n';
    }
  }
  return kExitOk;
}

int Extract(const Arguments& a, std::ostream& out, std::ostream&) {
  if (a.plain.size() != 2) throw UsageError{"extract takes an installer and a folder"};
  ExtractPackage(a.PlainPath(0), a.PlainPath(1), Releases(a));
  out << DisplayName(a.PlainPath(1)) << ": patch folder written\n";
  return kExitOk;
}

// What diff found, file by file, then in sum.
void ReportChanges(const VersionDiff& diff, std::ostream& out) {
  static const char* const kKinds[] = {"added", "changed", "unchanged", "removed"};
  std::uint64_t count[4] = {}, bytes[4] = {};
  for (const VersionChange& c : diff.changes) {
    const auto k = static_cast<std::size_t>(c.kind);
    out << kKinds[k] << std::string(10 - std::string(kKinds[k]).size(), ' ') << ForDisplay(c.name) << "  ";
    if (c.kind == VersionChange::Kind::Changed) out << c.oldSize << " -> ";
    out << (c.kind == VersionChange::Kind::Removed ? c.oldSize : c.newSize) << " bytes";
    out << (c.kind == VersionChange::Kind::Removed ? " (the installer leaves it in place)" : "") << '\n';
    ++count[k];
    bytes[k] += c.kind == VersionChange::Kind::Removed ? c.oldSize : c.newSize;
  }
  for (std::size_t k = 0; k < 4; ++k)
    out << (k == 0 ? "" : ", ") << count[k] << ' ' << kKinds[k] << " (" << bytes[k] << " bytes)";
  out << '\n';
}

int Diff(const Arguments& a, std::ostream& out, std::ostream&) {
  if (a.plain.size() != 2) throw UsageError{"diff takes the old and the new version's folders"};
  const fs::path folder = *a.PathOption("--output");
  const VersionDiff diff = DiffVersions(a.PlainPath(0), a.PlainPath(1), folder);
  ReportChanges(diff, out);
  if (diff.newScript)
    out << DisplayName(folder / kScriptFileName)
        << ": written from a template; set its *Caption, *GameTitle, %LinkPath and %CheckTargetFilename\n";
  if (diff.newBackground)
    out << DisplayName(folder / kBackgroundFileName) << ": a plain picture; put the patch's own in its place\n";
  if (diff.newVersionInfo)
    out << DisplayName(folder / kVersionInfoFileName)
        << ": a template of the installer's version record, all comments; fill in its lines\n";
  return kExitOk;
}

const CommandSpec kCommands[] = {
    {"build", kBuild, "[PATCH_DIR]", "makes an installer of a patch folder (script.txt, background.bmp, payload/)",
     Build},
    {"diff", kDiff, "OLD_DIR NEW_DIR",
     "puts the files of NEW_DIR that are new or differ from OLD_DIR into PATCH_DIR's payload and %OutFiles", Diff},
    {"lint", kLint, "(SCRIPT | PATCH_DIR | INSTALLER.exe)",
     "reports, with line numbers, what would go wrong when the installer runs (of an installer: its script and "
     "background)",
     LintCommand},
    {"list", kList, "INSTALLER.exe", "shows the package that an installer carries", List},
    {"extract", kExtract, "INSTALLER.exe DIR", "writes an installer's package back as a patch folder", Extract},
};

const char kUsageEnd[] =
    "Without --stub, build uses the stub installed with briskopack.\n"
    "Exit codes: 0 ok, 1 lint warnings, 2 lint errors (build refused), 3 bad input or I/O failure, 4 usage.\n";

// The width the usage text is wrapped to.
constexpr std::size_t kUsageWidth = 100;

// The synopsis of one command: its operands, then its options as the table
// lists them, an option that excludes another joined to it with "|".
std::string Synopsis(const CommandSpec& command) {
  const std::string start = std::string("  briskopack ") + command.name + " ";
  std::vector<std::string> words{command.operands};
  std::vector<const OptionSpec*> shown;
  for (const OptionSpec& o : kOptions) {
    if (!(o.commands & command.bit) || std::find(shown.begin(), shown.end(), &o) != shown.end()) continue;
    std::string word = OptionWithValue(o, true);
    shown.push_back(&o);
    if (o.excludes) {
      const OptionSpec* other = Find(o.excludes, command.bit);
      word += " | " + OptionWithValue(*other, true);
      shown.push_back(other);
    }
    words.push_back(o.required ? word : "[" + word + "]" + (o.repeats ? "..." : ""));
  }
  std::string text = start, line;
  for (const std::string& word : words) {
    if (!line.empty() && start.size() + line.size() + 1 + word.size() > kUsageWidth) {
      text += line + "\n" + std::string(start.size(), ' ');
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  return text + line + "\n";
}

std::string CommandNames(unsigned commands) {
  std::string names;
  for (const CommandSpec& c : kCommands)
    if (commands & c.bit) names += (names.empty() ? "" : ", ") + std::string(c.name);
  return names;
}

// `text` after `indent` columns, wrapped at kUsageWidth with the same indent.
std::string Wrapped(const std::string& first, std::size_t indent, const std::string& text) {
  std::string out = first + std::string(indent > first.size() ? indent - first.size() : 1, ' ');
  std::size_t column = std::max(indent, first.size() + 1);
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find(' ', at);
    if (end == std::string::npos) end = text.size();
    const std::size_t length = end - at;
    if (column > indent && column + 1 + length > kUsageWidth) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
    } else if (column > indent) {
      out += ' ';
      ++column;
    }
    out.append(text, at, length);
    column += length;
    at = end + 1;
  }
  return out + "\n";
}

}  // namespace

std::string UsageText() {
  std::string text = "usage:\n";
  for (const CommandSpec& c : kCommands) text += Synopsis(c);
  text += "  briskopack --version\ncommands:\n";
  for (const CommandSpec& c : kCommands) text += Wrapped(std::string("  ") + c.name, 11, c.summary);
  text += "options:\n";
  for (const OptionSpec& o : kOptions) {
    const std::string names = (o.alias ? std::string(o.alias) + ", " : "    ") + OptionWithValue(o, false);
    text += Wrapped("  " + names, 28, CommandNames(o.commands) + ": " + o.help);
  }
  return text + kUsageEnd;
}

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    if (args.empty()) throw UsageError{"no command given"};
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
      out << UsageText();
      return kExitOk;
    }
    if (command == "--version") return Version(out);
    for (const CommandSpec& c : kCommands)
      if (command == c.name) return c.run(Parse(args, c), out, err);
    throw UsageError{"unknown command " + command};
  } catch (const UsageError& e) {
    err << "briskopack: " << e.message << "\n" << UsageText();
    return kExitUsage;
  } catch (const PackError& e) {
    err << "briskopack: " << e.what() << '\n';
    return kExitFailure;
  } catch (const std::exception& e) {
    err << "briskopack: " << e.what() << '\n';
    return kExitFailure;
  }
}

}  // namespace brisko::pack

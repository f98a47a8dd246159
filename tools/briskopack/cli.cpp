#include "cli.h"

#include <algorithm>
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

const char kUsage[] =
    "usage:\n"
    "  briskopack build [--stub STUB.exe | --arch x86|x64] -o OUT.exe [PATCH_DIR]\n"
    "                   [--script FILE] [--background FILE] [--payload DIR] [--force]\n"
    "                   [--compress[=LEVEL] | --store] [--from OLD_DIR]...\n"
    "  briskopack diff OLD_DIR NEW_DIR -o PATCH_DIR\n"
    "  briskopack lint (SCRIPT | PATCH_DIR) [--background FILE] [--payload DIR] [--from OLD_DIR]...\n"
    "  briskopack list INSTALLER.exe\n"
    "  briskopack extract INSTALLER.exe DIR [--from OLD_DIR]...\n"
    "  briskopack --version\n"
    "Without --stub, build uses the stub installed with briskopack: the 32-bit (x86) one unless --arch x64.\n"
    "A patch folder holds script.txt, background.bmp and payload/; options override its parts.\n"
    "Payloads are compressed (zstd, level 20 unless --compress=LEVEL, 1 to 22); --store keeps them raw.\n"
    "--force builds even when lint reports errors (to test how the installer fails).\n"
    "--from names a release the patch is made from (its application folder; repeat it for several): every payload\n"
    "then records the file it gives, and one whose name that release has is stored as a delta when smaller.\n"
    "diff puts the files of NEW_DIR that are new or differ from OLD_DIR into PATCH_DIR's payload and %OutFiles.\n"
    "Exit codes: 0 ok, 1 lint warnings, 2 lint errors (build refused), 3 bad input or I/O failure, 4 usage.\n";

struct UsageError {
  std::string message;
};

// Options of the form --name VALUE (or -o VALUE) and plain arguments.
struct Arguments {
  std::map<std::string, std::string> options;
  // Options that may be given more than once, with their values in order.
  std::map<std::string, std::vector<std::string>> lists;
  std::vector<std::string> plain;

  std::vector<fs::path> Paths(const std::string& name) const {
    auto it = lists.find(name);
    if (it == lists.end()) return {};
    return std::vector<fs::path>(it->second.begin(), it->second.end());
  }

  std::optional<std::string> Option(const std::string& name) const {
    auto it = options.find(name);
    if (it == options.end()) return std::nullopt;
    return it->second;
  }
};

// Options in `known` take a value; those in `flags` take none, or one
// joined to them with "=" (--compress=19). Only --from may be repeated.
Arguments Parse(const std::vector<std::string>& args, std::size_t first, const std::vector<std::string>& known,
                const std::vector<std::string>& flags = {}) {
  Arguments parsed;
  for (std::size_t i = first; i < args.size(); ++i) {
    const std::string& a = args[i];
    const std::size_t equals = a.find('=');
    if (a.rfind("--", 0) == 0 && equals != std::string::npos) {
      const std::string name = a.substr(0, equals);
      if (std::find(flags.begin(), flags.end(), name) == flags.end()) throw UsageError{"unknown option " + a};
      if (!parsed.options.emplace(name, a.substr(equals + 1)).second)
        throw UsageError{"option " + name + " given twice"};
      continue;
    }
    if (a.size() > 1 && a[0] == '-') {
      const std::string name = a == "-o" ? "--output" : a;
      if (std::find(flags.begin(), flags.end(), name) != flags.end()) {
        parsed.options[name] = "";
        continue;
      }
      if (std::find(known.begin(), known.end(), name) == known.end())
        throw UsageError{"unknown option " + a};
      if (i + 1 >= args.size()) throw UsageError{"option " + a + " needs a value"};
      if (name == "--from")
        parsed.lists[name].push_back(args[++i]);
      else if (!parsed.options.emplace(name, args[++i]).second)
        throw UsageError{"option " + a + " given twice"};
    } else {
      parsed.plain.push_back(a);
    }
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
  if (a.Option("--store")) {
    if (compress) throw UsageError{"build takes --compress or --store, not both"};
    return std::nullopt;
  }
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

int Build(const Arguments& a, std::ostream& out, std::ostream& err) {
  if (a.plain.size() > 1) throw UsageError{"build takes at most one patch folder"};
  const auto stub = a.Option("--stub");
  const auto archName = a.Option("--arch");
  const auto output = a.Option("--output");
  if (stub && archName) throw UsageError{"build takes --stub or --arch, not both"};
  std::optional<StubArch> arch = kDefaultStubArch;
  if (archName) arch = ParseStubArch(*archName);
  if (!arch) throw UsageError{"--arch takes x86 or x64"};
  if (!output) throw UsageError{"build needs -o OUT.exe"};
  BuildRequest request;
  request.stub = stub ? fs::path(*stub) : InstalledStub(*arch);
  request.output = *output;
  const std::optional<fs::path> folder = a.plain.empty() ? std::nullopt : std::optional<fs::path>(a.plain[0]);
  if (folder && !IsFolder(*folder)) throw PackError(DisplayName(*folder), "is not a patch folder");
  auto pick = [&](const char* option, const char* conventional) -> std::optional<fs::path> {
    if (auto value = a.Option(option)) return fs::path(*value);
    if (folder) return *folder / conventional;
    return std::nullopt;
  };
  const auto script = pick("--script", kScriptFileName);
  const auto background = pick("--background", kBackgroundFileName);
  if (!script) throw UsageError{"build needs --script FILE or a patch folder"};
  if (!background) throw UsageError{"build needs --background FILE or a patch folder"};
  request.script = *script;
  request.background = *background;
  request.payloadFolder = pick("--payload", kPayloadFolderName);
  request.force = a.Option("--force").has_value();
  request.compression = CompressionOption(a);
  request.from = Releases(a);
  if (!request.from.empty() && !request.compression) throw UsageError{"--from stores payloads compressed, not --store"};

  const BuildResult result = BuildInstaller(request);
  Report(result.findings, err);
  if (!result.written) {
    err << "briskopack: " << DisplayName(request.script) << ": the script has errors; nothing was written\n";
    return kExitLintErrors;
  }
  out << DisplayName(request.output) << ": " << result.outputSize << " bytes, " << result.payloadCount
      << " payload file" << (result.payloadCount == 1 ? "" : "s");
  if (result.compressedCount + result.deltaCount > 0)
    out << " (" << result.payloadBytes << " bytes, " << result.compressedCount << " compressed"
        << (result.deltaCount > 0 ? ", " + std::to_string(result.deltaCount) + " as deltas" : "") << ", stored in "
        << result.storedBytes << ")";
  out << (result.replacedPackage ? " (the stub's old package was replaced)" : "") << '\n';
  if (!request.from.empty()) ReportDeltas(result, out);
  return kExitOk;
}

int LintCommand(const Arguments& a, std::ostream& out) {
  if (a.plain.size() != 1) throw UsageError{"lint takes one script or patch folder"};
  const fs::path target = a.plain[0];
  const bool folder = IsFolder(target);
  LintInput input;
  const fs::path script = folder ? target / kScriptFileName : target;
  input.scriptName = DisplayName(script);
  input.script = ReadWholeFile(script, kMaxScriptSize);
  std::optional<fs::path> background;
  if (auto b = a.Option("--background"))
    background = *b;
  else if (folder)
    background = target / kBackgroundFileName;
  if (background) input.background.emplace(DisplayName(*background), ReadWholeFile(*background, kMaxBackgroundSize));
  if (auto p = a.Option("--payload")) {
    input.payloadFolder = fs::path(*p);
  } else if (folder) {
    input.payloadFolder = target / kPayloadFolderName;
  }
  if (input.payloadFolder && !IsFolder(*input.payloadFolder))
    throw PackError(DisplayName(*input.payloadFolder), "is not a folder");
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

std::string Sha(const ResourceData& data) {
  HashSink sink;
  data.WriteTo(sink);
  return sink.Hex();
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

int List(const Arguments& a, std::ostream& out) {
  if (a.plain.size() != 1) throw UsageError{"list takes one installer"};
  InstalledPackage package{fs::path(a.plain[0])};
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

  if (const ResourceLeaf* bg = package.background()) {
    out << "background: " << bg->data.size() << " bytes";
    Bitmap bitmap;
    if (DecodeBitmapFile(bg->data.Read(), bitmap))
      out << ", " << bitmap.width << " x " << bitmap.height;
    else
      out << ", not a valid bitmap";
    out << ", sha256 " << Sha(bg->data) << '\n';
  } else {
    out << "background: missing\n";
  }

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

int Extract(const Arguments& a, std::ostream& out) {
  if (a.plain.size() != 2) throw UsageError{"extract takes an installer and a folder"};
  ExtractPackage(a.plain[0], a.plain[1], Releases(a));
  out << DisplayName(a.plain[1]) << ": patch folder written\n";
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

int Diff(const Arguments& a, std::ostream& out) {
  if (a.plain.size() != 2) throw UsageError{"diff takes the old and the new version's folders"};
  const auto output = a.Option("--output");
  if (!output) throw UsageError{"diff needs -o PATCH_DIR"};
  const VersionDiff diff = DiffVersions(a.plain[0], a.plain[1], *output);
  ReportChanges(diff, out);
  const fs::path folder(*output);
  if (diff.newScript)
    out << DisplayName(folder / kScriptFileName)
        << ": written from a template; set its *Caption, *GameTitle, %LinkPath and %CheckTargetFilename\n";
  if (diff.newBackground)
    out << DisplayName(folder / kBackgroundFileName) << ": a plain picture; put the patch's own in its place\n";
  return kExitOk;
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    if (args.empty()) throw UsageError{"no command given"};
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
      out << kUsage;
      return kExitOk;
    }
    if (command == "--version") return Version(out);
    if (command == "build")
      return Build(
          Parse(args, 1, {"--stub", "--arch", "--output", "--script", "--background", "--payload", "--from"},
                {"--force", "--compress", "--store"}),
          out, err);
    if (command == "lint") return LintCommand(Parse(args, 1, {"--background", "--payload", "--from"}), out);
    if (command == "list") return List(Parse(args, 1, {}), out);
    if (command == "extract") return Extract(Parse(args, 1, {"--from"}), out);
    if (command == "diff") return Diff(Parse(args, 1, {"--output"}), out);
    throw UsageError{"unknown command " + command};
  } catch (const UsageError& e) {
    err << "briskopack: " << e.message << "\n" << kUsage;
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

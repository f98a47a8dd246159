#include "cli.h"

#include <algorithm>
#include <map>
#include <optional>
#include <ostream>
#include <stdexcept>

#include "core/bitmap.h"
#include "core/errors.h"
#include "core/script_lines.h"
#include "core/tiny_cnf.h"
#include "file_io.h"
#include "installed_stubs.h"
#include "lint.h"
#include "native_names.h"
#include "package.h"
#include "program_path.h"
#include "script_outline.h"
#include "sha256.h"

#ifndef BRISKOPACK_VERSION
#define BRISKOPACK_VERSION "0"
#endif

namespace brisko::pack {

namespace {

const char kUsage[] =
    "usage:\n"
    "  briskopack build [--stub STUB.exe | --arch x86|x64] -o OUT.exe [PATCH_DIR]\n"
    "                   [--script FILE] [--background FILE] [--payload DIR] [--force]\n"
    "                   [--compress[=LEVEL] | --store]\n"
    "  briskopack lint (SCRIPT | PATCH_DIR) [--background FILE] [--payload DIR]\n"
    "  briskopack list INSTALLER.exe\n"
    "  briskopack extract INSTALLER.exe DIR\n"
    "  briskopack --version\n"
    "Without --stub, build uses the stub installed with briskopack: the 32-bit (x86) one unless --arch x64.\n"
    "A patch folder holds script.txt, background.bmp and payload/; options override its parts.\n"
    "Payloads are compressed (zstd, level 19 unless --compress=LEVEL, 1 to 22); --store keeps them raw.\n"
    "--force builds even when lint reports errors (to test how the installer fails).\n"
    "Exit codes: 0 ok, 1 lint warnings, 2 lint errors (build refused), 3 bad input or I/O failure, 4 usage.\n";

struct UsageError {
  std::string message;
};

// Options of the form --name VALUE (or -o VALUE) and plain arguments.
struct Arguments {
  std::map<std::string, std::string> options;
  std::vector<std::string> plain;

  std::optional<std::string> Option(const std::string& name) const {
    auto it = options.find(name);
    if (it == options.end()) return std::nullopt;
    return it->second;
  }
};

// Options in `known` take a value; those in `flags` take none, or one
// joined to them with "=" (--compress=19).
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
      if (!parsed.options.emplace(name, args[++i]).second) throw UsageError{"option " + a + " given twice"};
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

  const BuildResult result = BuildInstaller(request);
  Report(result.findings, err);
  if (!result.written) {
    err << "briskopack: " << DisplayName(request.script) << ": the script has errors; nothing was written\n";
    return kExitLintErrors;
  }
  out << DisplayName(request.output) << ": " << result.outputSize << " bytes, " << result.payloadCount
      << " payload file" << (result.payloadCount == 1 ? "" : "s");
  if (result.compressedCount > 0)
    out << " (" << result.payloadBytes << " bytes, " << result.compressedCount << " compressed, stored in "
        << result.storedBytes << ")";
  out << (result.replacedPackage ? " (the stub's old package was replaced)" : "") << '\n';
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

// A payload's line: its size and the SHA-256 of the bytes the installer
// writes; a compressed one also with what it is stored in.
void ListPayload(const InstalledPackage::Payload& p, const std::string& installer, std::ostream& out) {
  const std::string where = installer + ": payload " + std::to_string(p.index);
  HashSink sink;
  Unpack(p.kind, p.leaf->data, sink, where);
  out << ForDisplay(p.name) << "  " << UnpackedSize(p.kind, p.leaf->data, where) << " bytes";
  if (p.kind == PayloadKind::Compressed) out << " (stored compressed in " << p.leaf->data.size() << ")";
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
    try {
      const Bitmap bitmap = DecodeBitmapFile(bg->data.Read());
      out << ", " << bitmap.width << " x " << bitmap.height;
    } catch (const brisko::Error&) {
      out << ", not a valid bitmap";
    }
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
      ListPayload(p, package.file().name(), out);
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
  ExtractPackage(a.plain[0], a.plain[1]);
  out << DisplayName(a.plain[1]) << ": patch folder written\n";
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
      return Build(Parse(args, 1, {"--stub", "--arch", "--output", "--script", "--background", "--payload"},
                         {"--force", "--compress", "--store"}),
                   out, err);
    if (command == "lint") return LintCommand(Parse(args, 1, {"--background", "--payload"}), out);
    if (command == "list") return List(Parse(args, 1, {}), out);
    if (command == "extract") return Extract(Parse(args, 1, {}), out);
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

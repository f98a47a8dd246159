// Checks a patch script (and optionally its background and payload folder)
// for what would go wrong when the installer runs it. The script is read
// exactly as the installer reads it: the same line splitting and the same
// TTinyCnf look-ups. Each finding is one small check in a table; a new
// finding is a function and a row there (and a row in docs/authoring.md's table).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/file_io.h"

namespace brisko::pack {

enum class Severity { Warning, Error };

struct Finding {
  Severity severity = Severity::Error;
  std::string file;  // display name of the file concerned
  int line = 0;      // 1-based; 0 when the finding concerns the whole file
  std::string message;
  const char* check = "";  // the name of the check that found it
};

// One check of the table that Lint runs: a name for the finding and its
// severity.
struct FindingKind {
  const char* name;
  Severity severity;
};

// Every finding lint can report, in the order it checks for them.
std::vector<FindingKind> FindingKinds();

// "file:line: error: message", the form compilers use.
std::string FormatFinding(const Finding& finding);

struct LintInput {
  std::string scriptName;
  std::string script;  // the script's bytes
  // The background's name and bytes, when it is to be checked.
  std::optional<std::pair<std::string, std::string>> background;
  // Why an installer's background gives no bitmap file to check (missing,
  // stored twice, damaged); empty when it gives one.
  std::string backgroundProblem;
  // The icon file and the version record file (version.txt), their names
  // and bytes, when the patch has them.
  std::optional<std::pair<std::string, std::string>> icon;
  std::optional<std::pair<std::string, std::string>> versionInfo;
  // The payload folder, when it is to be checked.
  std::optional<fs::path> payloadFolder;
  // The releases a build --from makes deltas against (their folders).
  std::vector<fs::path> from;
};

// Findings in the order of the lines they concern.
std::vector<Finding> Lint(const LintInput& input);

bool HasErrors(const std::vector<Finding>& findings);

// The patch type as the installer derives it: 0 without a *PatchType value,
// the value when it is a whole number, 1 otherwise.
int InstallerPatchType(const std::string& script);

}  // namespace brisko::pack

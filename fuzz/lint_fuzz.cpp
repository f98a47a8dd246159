// lint on arbitrary scripts, with a background and an empty payload folder so
// that the checks of both run. Findings must name a line of the script.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lint/lint.h"
#include "scratch.h"

using namespace brisko;
using namespace brisko::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fs::path payload = [] {
    const fs::path folder = ScratchFolder() / "payload";
    fs::create_directories(folder);
    return folder;
  }();
  pack::LintInput input;
  input.scriptName = "script.txt";
  input.script.assign(reinterpret_cast<const char*>(data), size);
  input.background = std::make_pair(std::string("background.bmp"), std::string("BM"));
  input.payloadFolder = payload;
  const auto findings = pack::Lint(input);
  // Lines as an editor counts them: every line end, and one more line.
  std::size_t lines = 1;
  for (std::size_t i = 0; i < size; ++i) lines += data[i] == '\n' || (data[i] == '\r' && (i + 1 == size || data[i + 1] != '\n'));
  for (const auto& finding : findings) {
    if (finding.line < 0 || static_cast<std::size_t>(finding.line) > lines) std::abort();
    pack::FormatFinding(finding);
  }
  pack::HasErrors(findings);
  pack::InstallerPatchType(input.script);
  return 0;
}

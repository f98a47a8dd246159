// The packer's reader on mutated installers: `list`, then `extract`. Neither
// may crash, and `extract` may write nothing outside its target folder.
#include <cstddef>
#include <cstdint>

#include "scratch.h"

using namespace brisko::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path& scratch = ScratchFolder();
  const fs::path installer = scratch / "installer.exe";
  const fs::path target = scratch / "extracted";
  WriteBytes(installer, data, size);
  Run({"list", installer.string()});
  if (Run({"extract", installer.string(), target.string()}) != brisko::pack::kExitOk && fs::exists(target))
    std::abort();  // a failed extract leaves no folder behind
  ExpectOnly(scratch, {"installer.exe", "extracted"});
  fs::remove_all(target);
  return 0;
}

// The packer's writer on mutated stubs: `build` puts a small fixed patch into
// each; whatever it writes must read back with `list`. A refused stub leaves
// no output and no temporary file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "scratch.h"

using namespace brisko::fuzz;

namespace {

// A 2 x 1 bitmap file, 24 bits, its one row padded to 8 bytes.
std::string Bitmap() {
  std::string b;
  auto put = [&b](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) b += static_cast<char>(value >> (8 * i));
  };
  b += "BM";
  put(14 + 40 + 8, 4), put(0, 4), put(14 + 40, 4);
  put(40, 4), put(2, 4), put(1, 4), put(1, 2), put(24, 2), put(0, 4), put(8, 4);
  put(0, 4), put(0, 4), put(0, 4), put(0, 4);
  put(0x302010, 3), put(0x605040, 3), put(0, 2);
  return b;
}

const char kScript[] =
    "*PatchType\r\n1\r\n*Caption\r\nfuzz\r\n*GameTitle\r\nfuzz\r\n"
    "%LinkPath\r\nMaker\\Title.lnk\r\n%%\r\n%CheckTargetFilename\r\ngame.exe\r\n%%\r\n"
    "%OutFiles\r\ndata.bin\r\nsub\\more.bin\r\n%%\r\n";

const fs::path& PatchFolder() {
  static const fs::path folder = [] {
    const fs::path patch = ScratchFolder() / "patch";
    WriteBytes(patch / "script.txt", kScript, sizeof kScript - 1);
    const std::string bitmap = Bitmap();
    WriteBytes(patch / "background.bmp", bitmap.data(), bitmap.size());
    WriteBytes(patch / "payload" / "data.bin", "payload", 7);
    WriteBytes(patch / "payload" / "sub" / "more.bin", "", 0);
    return patch;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path& scratch = ScratchFolder();
  const fs::path& patch = PatchFolder();
  const fs::path stub = scratch / "stub.exe";
  const fs::path output = scratch / "out.exe";
  WriteBytes(stub, data, size);
  const int built = Run({"build", "--stub", stub.string(), "-o", output.string(), patch.string()});
  if (built == brisko::pack::kExitOk) {
    if (Run({"list", output.string()}) != brisko::pack::kExitOk) std::abort();
    ExpectOnly(scratch, {"patch", "stub.exe", "out.exe"});
  } else {
    ExpectOnly(scratch, {"patch", "stub.exe"});
  }
  fs::remove(output);
  return 0;
}

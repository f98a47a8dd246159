// Helpers shared by the unit, packer and end-to-end tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace brisko::test {

// A bitmap file with a 40-byte information header: `table` (palette or
// colour masks) follows the header, `pixels` the table.
std::string BitmapFile(std::int32_t width, std::int32_t height, int bitsPerPixel, std::uint32_t compression,
                       const std::string& table, const std::string& pixels, std::uint32_t coloursUsed = 0);

// An uncompressed 24-bit bitmap file, rows bottom-up; `colour` gives the
// pixel at (x, y), counted from the top left, as 0xRRGGBB.
std::string BitmapFile24(int width, int height, const std::function<std::uint32_t(int x, int y)>& colour);

// A zstd frame of `content` as the packer makes them (content size and
// checksum recorded), or without either, for the cases an installer must
// refuse. A window smaller than the content puts a window descriptor into
// the header.
struct FrameOptions {
  bool contentSize = true;
  bool checksum = true;
  int windowLog = 0;  // 0: what the level picks for the content
  int level = 3;
};
std::string ZstdFrame(std::string_view content, const FrameOptions& options = {});

// Stored DELTA payloads laid out as the package format says, for tests that
// need one without the packer. A delta: its source file and its three
// streams (instructions, diff bytes, literal bytes), uncompressed.
struct DeltaStreams {
  std::string source, control, diff, literal;
};
// One instruction of a control stream: copy `copy` bytes of the source (with
// diff bytes added when `diff`), take `literal` bytes from the literal
// stream, then move the source position by `move`.
std::string DeltaInstruction(std::uint64_t copy, bool diff, std::uint64_t literal, std::int64_t move);
// A payload that records `result` (its size and SHA-256) and holds `deltas`,
// or, without any, `whole` as one zstd frame.
std::string DeltaPayloadBytes(std::string_view result, const std::vector<DeltaStreams>& deltas,
                              std::string_view whole = {});

// Removes a file, or a folder with everything in it, read-only files
// included; does nothing when `path` does not exist. `path` is in the
// system's narrow encoding (Shift-JIS, code page 932, on Windows).
void RemoveTree(const std::string& path);

}  // namespace brisko::test

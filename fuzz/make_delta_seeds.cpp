// Writes the delta harness's seed inputs into the folder given: payloads
// made by the packer's own encoder, each after the destination it meets
// (a 4-byte little-endian length, then the destination's bytes).
// Usage: make_delta_seeds FOLDER
#include <fstream>
#include <string>
#include <vector>

#include "package/delta_payload.h"

using namespace brisko;
using namespace brisko::pack;

namespace {

class StringSink final : public ByteSink {
 public:
  void Write(const void* data, std::size_t size) override { bytes.append(static_cast<const char*>(data), size); }
  std::string bytes;
};

std::string Lines(int lines, int seed) {
  std::string text;
  for (int i = 0; i < lines; ++i) text += "line " + std::to_string(i * seed % 97) + " of the old text\r\n";
  return text;
}

// A payload of `result` with a delta against each source.
std::string Delta(const std::string& result, const std::vector<std::string>& sources) {
  std::vector<DeltaRecord> records;
  std::string streams;
  CompressOptions options;
  options.level = 3;
  for (const std::string& source : sources) {
    StringSink control, diff, literal;
    records.push_back(EncodeDelta(source, result, options, control, diff, literal, "seed"));
    records.back().file = IdentifyBytes(source);
    streams += control.bytes + diff.bytes + literal.bytes;
  }
  return DeltaHeader(IdentifyBytes(result), records) + streams;
}

std::string Whole(const std::string& result) {
  StringSink frame;
  CompressOptions options;
  options.level = 3;
  FrameWriter writer(frame, result.size(), options, "seed");
  writer.Write(result.data(), result.size());
  writer.Finish();
  return DeltaHeader(IdentifyBytes(result), {}) + frame.bytes;
}

void Seed(const std::string& folder, const char* name, const std::string& destination, const std::string& stored) {
  std::string length;
  for (int i = 0; i < 4; ++i) length += static_cast<char>(destination.size() >> (8 * i));
  std::ofstream(folder + "/" + name, std::ios::binary) << length << destination << stored;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string folder = argv[1];
  const std::string v1 = Lines(60, 7), v2 = v1.substr(0, 900) + "an inserted line\r\n" + v1.substr(900);
  std::string program = "MZ";
  for (int i = 0; i < 1500; ++i) program += static_cast<char>(i * 13 % 251);
  std::string rebuilt = program;
  for (std::size_t i = 100; i < rebuilt.size(); i += 9) rebuilt[i] = static_cast<char>(rebuilt[i] + 3);
  Seed(folder, "insertion", v1, Delta(v2, {v1}));
  Seed(folder, "already-patched", v2, Delta(v2, {v1}));
  Seed(folder, "other-version", Lines(60, 11), Delta(v2, {v1}));
  Seed(folder, "two-sources", Lines(40, 5), Delta(v2, {v1, Lines(40, 5)}));
  Seed(folder, "rebuilt-program", program, Delta(rebuilt, {program}));
  Seed(folder, "empty-result", v1, Delta("", {v1}));
  Seed(folder, "whole", "", Whole(v2));
  return 0;
}

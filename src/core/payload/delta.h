// Payloads that record the file they give (size and SHA-256): a delta
// against one or more earlier versions of the file, or the whole content.
// The layout is in core/package_format.h. The installer checks every
// destination against these records before it writes anything, then applies
// each entry; the packer writes them and reads them back with the same code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "core/payload/payload_reader.h"
#include "core/payload/sha256.h"
#include "core/platform.h"

namespace brisko {

struct FileIdentity {
  std::uint64_t size = 0;
  Sha256::Digest sha{};

  bool operator==(const FileIdentity& other) const { return size == other.size && sha == other.sha; }
};

// One source version of a delta, and the delta's stored streams against it.
struct DeltaSource {
  FileIdentity file;
  std::string_view control;
  std::string_view diff;
  std::string_view literal;
};

// A delta payload's records, pointing into its stored bytes.
struct DeltaPayload {
  FileIdentity result;
  // Empty for the whole content, which `whole` then holds.
  std::vector<DeltaSource> sources;
  std::string_view whole;
};

// Reads the records of a stored delta payload, and checks the frame headers
// of its streams: content size recorded, checksum present, window within the
// format's limits; a whole content's frame must record the result's size.
// False when anything of that is malformed. Looks at the headers only.
bool ReadDeltaPayload(std::string_view stored, DeltaPayload& payload);

// A reader of the result of applying source `index` of `payload`, whose
// bytes it reads from `source`, which it holds until it has given the last
// byte. Next says false when the source's bytes do not give the result (its
// size and SHA-256 are checked at the end) or the streams are damaged. Null
// for an index out of range or a stream whose header is unusable.
std::unique_ptr<PayloadReader> OpenDelta(const DeltaPayload& payload, std::size_t index,
                                         std::unique_ptr<RandomAccessFile> source);

// The bytes that `source`'s instructions build from `file`: the result of
// the size given, unchecked against its SHA-256 (OpenDelta adds that). Null
// when a stream's header is unusable.
std::unique_ptr<PayloadReader> MakeDeltaApplier(const DeltaSource& source, std::uint64_t resultSize,
                                                std::unique_ptr<RandomAccessFile> file);

// A reader of a whole content (payload.sources empty) that checks its size
// and SHA-256 against the record. Null when the frame's header is unusable.
std::unique_ptr<PayloadReader> OpenWholeContent(const DeltaPayload& payload);

// Size and SHA-256 of all of `file`, read in pieces and added to `progress`
// when given. False when a read fails or the file ends before its size.
bool IdentifyFile(RandomAccessFile& file, FileIdentity& identity, Progress* progress = nullptr);

}  // namespace brisko

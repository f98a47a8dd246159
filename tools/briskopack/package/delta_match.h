// Matching a new version of a file against an old one: which stretches of
// the new version can be built from the old one's bytes (exactly, or with a
// few bytes changed, as in a rebuilt program whose addresses moved), and
// which must be stored as they are.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace brisko::pack {

// A stretch of the result: `copy` bytes that line up with the source from
// `source` on (most of them equal, the rest differing by what the diff
// stream adds), then `literal` bytes of the result that the source does not
// give.
struct DeltaSegment {
  std::uint64_t result = 0;  // where the stretch starts in the result
  std::uint64_t source = 0;
  std::uint64_t copy = 0;
  std::uint64_t literal = 0;
};

// How candidate matches are found. A suffix array of the source gives the
// longest match at every position, and takes four bytes per source byte;
// it pays for programs, whose rebuilt code lines up with the old code in
// short matches between changed addresses. Block hashing indexes the source
// at steps, in at most 64 MiB, and finds matches of 16 bytes and more (more
// for sources over 16 MiB): faster, and as good for data, where matches
// that short do not pay anyway.
enum class MatchMethod { Automatic, SuffixArray, BlockHash };

// Automatic suffix sorts programs (files that begin with "MZ") up to this
// size, and hashes everything else.
inline constexpr std::uint64_t kSuffixSortLimit = std::uint64_t{16} << 20;

// The length of the common prefix of `a` and `b`, at most `limit` bytes.
std::uint64_t CommonPrefix(const unsigned char* a, const unsigned char* b, std::uint64_t limit);

class Finder;

// A source indexed for matching a result against it. Throws std::bad_alloc
// when the index does not fit into memory.
class VersionMatcher {
 public:
  VersionMatcher(std::string_view source, std::string_view result, MatchMethod method = MatchMethod::Automatic);
  ~VersionMatcher();
  VersionMatcher(const VersionMatcher&) = delete;
  VersionMatcher& operator=(const VersionMatcher&) = delete;

  // False when probes of every position of stretches spread over a large
  // result find nothing that matches: the versions share nothing worth a
  // delta (the new version is new throughout), and matching the rest would
  // only grind. True for a result too small for the probes to save time.
  bool SharesBytes();
  // Segments that cover all of the result, in order.
  std::vector<DeltaSegment> Segments();

 private:
  std::string_view source_, result_;
  std::unique_ptr<Finder> finder_;
};

// Segments that cover all of `result`, in order: one segment of literal
// bytes alone when the versions share nothing (above). Throws
// std::bad_alloc when the index does not fit into memory.
std::vector<DeltaSegment> MatchVersions(std::string_view source, std::string_view result,
                                        MatchMethod method = MatchMethod::Automatic);

}  // namespace brisko::pack

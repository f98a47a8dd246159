// Matching a new version of a file against an old one: which stretches of
// the new version can be built from the old one's bytes (exactly, or with a
// few bytes changed, as in a rebuilt program whose addresses moved), and
// which must be stored as they are.
#pragma once

#include <cstdint>
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
// longest match at every position, and costs about five times the source's
// size in memory; block hashing samples the source, and costs a fraction of
// that, finding matches of a few dozen bytes and more.
enum class MatchMethod { Automatic, SuffixArray, BlockHash };

// Sources up to this size are suffix sorted by Automatic.
inline constexpr std::uint64_t kSuffixSortLimit = std::uint64_t{32} << 20;

// The length of the common prefix of `a` and `b`, at most `limit` bytes.
std::uint64_t CommonPrefix(const unsigned char* a, const unsigned char* b, std::uint64_t limit);

// Segments that cover all of `result`, in order. Throws std::bad_alloc when
// the index does not fit into memory.
std::vector<DeltaSegment> MatchVersions(std::string_view source, std::string_view result,
                                        MatchMethod method = MatchMethod::Automatic);

}  // namespace brisko::pack

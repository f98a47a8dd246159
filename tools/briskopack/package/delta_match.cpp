#include "package/delta_match.h"

#include <divsufsort.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace brisko::pack {
namespace {

using Bytes = const unsigned char*;

// The longest match a probe measures: enough to skip over a long match in
// steps, short enough that probing each position of a long repeat stays
// linear.
constexpr std::int64_t kProbeLimit = 1 << 16;

// A match starts a new stretch when it gives this many more equal bytes
// than the current alignment would: a shorter one costs more in
// instructions, and in literal runs cut apart, than it saves.
constexpr std::int64_t kGain = 24;

// Before a large result is matched, every position of this many stretches
// spread over it is probed: when none finds a match, the versions share
// nothing worth a delta (the new version is new throughout), and probing
// every other position would only grind.
constexpr std::int64_t kProbedStretches = 4096;
constexpr std::int64_t kProbedStretch = 64;

}  // namespace

// Finds a match of the result's bytes from a position on in the source.
class Finder {
 public:
  Finder(std::string_view source, std::string_view result)
      : old_(reinterpret_cast<Bytes>(source.data())),
        new_(reinterpret_cast<Bytes>(result.data())),
        oldSize_(static_cast<std::int64_t>(source.size())),
        newSize_(static_cast<std::int64_t>(result.size())) {}
  virtual ~Finder() = default;
  // The length of a match of result[at...] (0 when none), and its start in
  // the source.
  virtual std::int64_t Find(std::int64_t at, std::int64_t& position) = 0;

 protected:
  std::int64_t Measure(std::int64_t oldAt, std::int64_t newAt) const {
    return static_cast<std::int64_t>(
        CommonPrefix(old_ + oldAt, new_ + newAt, std::min({kProbeLimit, oldSize_ - oldAt, newSize_ - newAt})));
  }

  Bytes old_, new_;
  std::int64_t oldSize_, newSize_;
};

namespace {

// The source's suffixes in order: a binary search gives the longest match.
class SuffixFinder final : public Finder {
 public:
  SuffixFinder(std::string_view source, std::string_view result) : Finder(source, result) {
    if (oldSize_ > std::numeric_limits<saidx_t>::max()) throw std::bad_alloc();
    suffixes_.reset(new saidx_t[static_cast<std::size_t>(std::max<std::int64_t>(oldSize_, 1))]);
    if (oldSize_ > 0 && divsufsort(old_, suffixes_.get(), static_cast<saidx_t>(oldSize_)) != 0) throw std::bad_alloc();
    // Where the suffixes of each first two bytes begin, so that a search
    // starts among those of its own two bytes.
    starts_.assign(kPairs + 1, 0);
    for (std::int64_t i = 0; i + 1 < oldSize_; ++i) ++starts_[Pair(old_ + i) + 1];
    for (std::size_t p = 1; p <= kPairs; ++p) starts_[p] += starts_[p - 1];
  }

  std::int64_t Find(std::int64_t at, std::int64_t& position) override {
    if (oldSize_ < 2 || at + 2 > newSize_) return 0;
    // The suffixes of this pair; the source's last byte alone sorts among
    // them too, but shifts the range by one at most: a range one wider
    // on each side covers it.
    const std::size_t pair = Pair(new_ + at);
    std::int64_t low = std::max<std::int64_t>(starts_[pair] - 1, 0);
    std::int64_t high = std::min<std::int64_t>(starts_[pair + 1], oldSize_ - 1);
    if (high < low) return 0;
    // Every suffix between two others shares with the result at least
    // what both of those do: the comparison starts after that.
    std::int64_t lowLength = Measure(suffixes_[low], at), highLength = Measure(suffixes_[high], at);
    while (high - low > 1) {
      const std::int64_t middle = low + (high - low) / 2, p = suffixes_[middle];
      const std::int64_t limit = std::min({kProbeLimit, oldSize_ - p, newSize_ - at});
      const std::int64_t skip = std::min({lowLength, highLength, limit});
      const std::int64_t n = skip + static_cast<std::int64_t>(CommonPrefix(old_ + p + skip, new_ + at + skip,
                                                                           static_cast<std::uint64_t>(limit - skip)));
      if (n == limit && n != oldSize_ - p) {  // as long as a probe measures
        position = p;
        return n;
      }
      if (n == limit || old_[p + n] < new_[at + n]) {
        low = middle;
        lowLength = n;
      } else {
        high = middle;
        highLength = n;
      }
    }
    position = lowLength >= highLength ? suffixes_[low] : suffixes_[high];
    return std::max(lowLength, highLength);
  }

 private:
  static constexpr std::size_t kPairs = 1 << 16;
  static std::size_t Pair(Bytes at) { return std::size_t{at[0]} << 8 | at[1]; }

  std::vector<std::int64_t> starts_;
  std::unique_ptr<saidx_t[]> suffixes_;
};

// The source's blocks of kWindow bytes that start every `step_` bytes, by a
// hash of their bytes, four per bucket; a probe hashes the result's next
// kWindow bytes and measures each candidate.
class HashFinder final : public Finder {
 public:
  static constexpr std::int64_t kWindow = 16;
  static constexpr int kWays = 4;
  // Entries at most: the table takes at most 64 MiB, whatever the size; a
  // larger source is sampled more sparsely, and its matches are found from
  // kWindow + step - 1 bytes on.
  static constexpr std::int64_t kMostEntries = std::int64_t{1} << 24;

  HashFinder(std::string_view source, std::string_view result) : Finder(source, result) {
    while (oldSize_ / step_ > kMostEntries) step_ *= 2;
    std::int64_t buckets = 1;
    while (buckets * kWays < oldSize_ / step_) buckets *= 2;
    mask_ = static_cast<std::uint64_t>(buckets - 1);
    table_.reset(new std::uint32_t[static_cast<std::size_t>(buckets * kWays)]());
    // Later blocks push earlier ones out of a full bucket, oldest first.
    const std::int64_t ahead = 16 * step_;
    for (std::int64_t p = 0; p + kWindow <= oldSize_; p += step_) {
      if (p + ahead + kWindow <= oldSize_) __builtin_prefetch(&table_[Hash(old_ + p + ahead) * kWays], 1);
      std::uint32_t* bucket = &table_[Hash(old_ + p) * kWays];
      for (int way = kWays - 1; way > 0; --way) bucket[way] = bucket[way - 1];
      bucket[0] = static_cast<std::uint32_t>(p / step_ + 1);
    }
  }

  std::int64_t Find(std::int64_t at, std::int64_t& position) override {
    if (at + kWindow > newSize_) return 0;
    if (at + 8 + kWindow <= newSize_) __builtin_prefetch(&table_[Hash(new_ + at + 8) * kWays]);
    const std::uint32_t* bucket = &table_[Hash(new_ + at) * kWays];
    std::int64_t best = 0;
    for (int way = 0; way < kWays && bucket[way] != 0; ++way) {
      const std::int64_t p = (bucket[way] - 1) * step_;
      const std::int64_t n = Measure(p, at);
      if (n > best) {
        best = n;
        position = p;
      }
    }
    return best >= kWindow ? best : 0;
  }

 private:
  std::uint64_t Hash(Bytes at) const {
    std::uint64_t a, b;
    std::memcpy(&a, at, 8);
    std::memcpy(&b, at + 8, 8);
    const std::uint64_t h = (a * 0x9E3779B97F4A7C15ull) ^ ((b + 0x632BE59BD9B4E019ull) * 0xC2B2AE3D27D4EB4Full);
    return (h ^ (h >> 29)) & mask_;
  }

  std::int64_t step_ = 1;
  std::uint64_t mask_ = 0;
  std::unique_ptr<std::uint32_t[]> table_;
};

// Lines up the result with the source as bsdiff does: a stretch ends where a
// match better than the current alignment (by more than 8 equal bytes)
// begins; each stretch's copy runs as far as it keeps at least half of its
// bytes equal, and the next stretch's copy reaches back as far.
class Aligner {
 public:
  Aligner(std::string_view source, std::string_view result, Finder& finder)
      : old_(reinterpret_cast<Bytes>(source.data())),
        new_(reinterpret_cast<Bytes>(result.data())),
        oldSize_(static_cast<std::int64_t>(source.size())),
        newSize_(static_cast<std::int64_t>(result.size())),
        finder_(finder) {}

  std::vector<DeltaSegment> Run() {
    std::int64_t scan = 0, length = 0, position = 0;
    while (scan < newSize_) {
      std::int64_t score = 0;
      for (std::int64_t counted = scan += length; scan < newSize_; ++scan) {
        length = finder_.Find(scan, position);
        for (; counted < scan + length; ++counted) score += Aligned(counted);
        if ((length == score && length != 0) || length > score + kGain) break;
        score -= Aligned(scan);
      }
      if (length != score || scan == newSize_) Emit(scan, position);
    }
    return std::move(segments_);
  }

 private:
  // 1 when result[at] equals the source's byte at the current alignment.
  int Aligned(std::int64_t at) const {
    const std::int64_t p = at + lastOffset_;
    return p >= 0 && p < oldSize_ && old_[p] == new_[at];
  }

  // Ends the stretch from lastScan_ before the match at `scan`/`position`.
  void Emit(std::int64_t scan, std::int64_t position) {
    std::int64_t forward = ForwardLength(scan);
    std::int64_t back = scan < newSize_ ? BackwardLength(scan, position) : 0;
    if (lastScan_ + forward > scan - back) Split(scan, position, forward, back);
    segments_.push_back({static_cast<std::uint64_t>(lastScan_), static_cast<std::uint64_t>(lastPos_),
                         static_cast<std::uint64_t>(forward),
                         static_cast<std::uint64_t>((scan - back) - (lastScan_ + forward))});
    lastScan_ = scan - back;
    lastPos_ = position - back;
    lastOffset_ = position - scan;
  }

  // How far the last alignment carries forward with at least half equal.
  std::int64_t ForwardLength(std::int64_t scan) const {
    std::int64_t equal = 0, best = 0, length = 0;
    for (std::int64_t i = 0; lastScan_ + i < scan && lastPos_ + i < oldSize_;) {
      equal += old_[lastPos_ + i] == new_[lastScan_ + i];
      ++i;
      if (equal * 2 - i > best * 2 - length) {
        best = equal;
        length = i;
      }
    }
    return length;
  }

  // How far the new alignment reaches back, likewise.
  std::int64_t BackwardLength(std::int64_t scan, std::int64_t position) const {
    std::int64_t equal = 0, best = 0, length = 0;
    for (std::int64_t i = 1; scan >= lastScan_ + i && position >= i; ++i) {
      equal += old_[position - i] == new_[scan - i];
      if (equal * 2 - i > best * 2 - length) {
        best = equal;
        length = i;
      }
    }
    return length;
  }

  // Where the two overlap, the point that keeps the most equal bytes.
  void Split(std::int64_t scan, std::int64_t position, std::int64_t& forward, std::int64_t& back) const {
    const std::int64_t overlap = (lastScan_ + forward) - (scan - back);
    std::int64_t score = 0, best = 0, keep = 0;
    for (std::int64_t i = 0; i < overlap; ++i) {
      score += new_[lastScan_ + forward - overlap + i] == old_[lastPos_ + forward - overlap + i];
      score -= new_[scan - back + i] == old_[position - back + i];
      if (score > best) {
        best = score;
        keep = i + 1;
      }
    }
    forward += keep - overlap;
    back -= keep;
  }

  Bytes old_, new_;
  std::int64_t oldSize_, newSize_;
  Finder& finder_;
  std::int64_t lastScan_ = 0, lastPos_ = 0, lastOffset_ = 0;
  std::vector<DeltaSegment> segments_;
};

}  // namespace

std::uint64_t CommonPrefix(const unsigned char* a, const unsigned char* b, std::uint64_t limit) {
  std::uint64_t n = 0;
  for (; n + 8 <= limit; n += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) return n + static_cast<std::uint64_t>(__builtin_ctzll(x ^ y)) / 8;  // little-endian
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

VersionMatcher::VersionMatcher(std::string_view source, std::string_view result, MatchMethod method)
    : source_(source), result_(result) {
  if (method == MatchMethod::Automatic)
    method = source.size() <= kSuffixSortLimit && source.substr(0, 2) == "MZ" ? MatchMethod::SuffixArray
                                                                              : MatchMethod::BlockHash;
  if (method == MatchMethod::SuffixArray)
    finder_ = std::make_unique<SuffixFinder>(source, result);
  else
    finder_ = std::make_unique<HashFinder>(source, result);
}

VersionMatcher::~VersionMatcher() = default;

bool VersionMatcher::SharesBytes() {
  const std::int64_t newSize = static_cast<std::int64_t>(result_.size());
  const std::int64_t every = newSize / kProbedStretches;
  if (every < 4 * kProbedStretch) return true;
  std::int64_t position = 0;
  for (std::int64_t at = 0; at + kProbedStretch <= newSize; at += every)
    for (std::int64_t i = 0; i < kProbedStretch; ++i)
      if (finder_->Find(at + i, position) > kGain) return true;
  return false;
}

std::vector<DeltaSegment> VersionMatcher::Segments() { return Aligner(source_, result_, *finder_).Run(); }

std::vector<DeltaSegment> MatchVersions(std::string_view source, std::string_view result, MatchMethod method) {
  VersionMatcher matcher(source, result, method);
  if (!matcher.SharesBytes()) return {{0, 0, 0, result.size()}};
  return matcher.Segments();
}

}  // namespace brisko::pack

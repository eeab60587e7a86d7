#include "tools/digit_lines.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "tools/parallel.h"

namespace tools {
namespace {

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Lines counted into their buckets between two returns of the memory they
// took before: 1 MiB of rests, so that the returns cost nothing beside it.
constexpr std::size_t kPlacedBetweenReturns = 1 << 18;
// Digit lines handed on at a time from buckets: 64 KiB of numbers, well
// within the cache beside the bucket they come from.
constexpr std::size_t kBlockLines = 8192;

void WritePair(unsigned value, char* out) {
  std::memcpy(out, kDigitPairs + 2 * value, 2);
}
void WriteFour(unsigned value, char* out) {
  WritePair(value / 100, out);
  WritePair(value % 100, out + 2);
}
void WriteEight(std::uint32_t value, char* out) {
  WriteFour(value / 10000, out);
  WriteFour(value % 10000, out + 4);
}

// LSD radix sort of `count` keys below 2^bits, `buffer` as large as `keys`.
// Answers where the sorted keys are: `keys` or `buffer`.
template <typename Key>
Key* LsdRadixSort(Key* keys, Key* buffer, std::size_t count, unsigned bits) {
  // Digits of at most 12 bits: their counts stay in the cache.
  const unsigned passes = std::max(1u, (bits + 11) / 12);
  const unsigned digitBits = (bits + passes - 1) / passes;
  const std::size_t buckets = std::size_t{1} << digitBits;
  const Key mask = static_cast<Key>(buckets - 1);
  std::vector<std::size_t> counts(passes * buckets, 0);
  if (passes == 2) {
    std::size_t* low = counts.data();
    std::size_t* high = low + buckets;
    for (std::size_t i = 0; i < count; ++i) {
      const Key k = keys[i];
      ++low[k & mask];
      ++high[(k >> digitBits) & mask];
    }
  } else {
    for (std::size_t i = 0; i < count; ++i) {
      const Key k = keys[i];
      for (unsigned p = 0; p < passes; ++p) ++counts[p * buckets + ((k >> (p * digitBits)) & mask)];
    }
  }
  Key* from = keys;
  Key* to = buffer;
  for (unsigned p = 0; p < passes; ++p) {
    std::size_t* c = counts.data() + p * buckets;
    // A digit every key shares moves nothing.
    if (std::find(c, c + buckets, count) != c + buckets) continue;
    std::size_t sum = 0;
    for (std::size_t b = 0; b < buckets; ++b) sum += std::exchange(c[b], sum);
    const unsigned shift = p * digitBits;
    for (std::size_t i = 0; i < count; ++i) {
      const Key k = from[i];
      to[c[(k >> shift) & mask]++] = k;
    }
    std::swap(from, to);
  }
  return from;
}

// Sorts [values, values + n) and drops repeats; answers how many are left.
// `buffer` is working room.
template <typename Key>
std::size_t SortDistinct(Key* values, std::size_t n, BigArray<Key>& buffer) {
  Key* sorted = values;
  if (n < 64) {  // below this, counting 2^12 buckets costs more than it saves
    std::sort(values, values + n);
  } else {
    // By radix over the bits in which the numbers differ.
    const auto [low, high] = std::minmax_element(values, values + n);
    const Key base = *low;
    const auto bits = static_cast<unsigned>(std::bit_width(static_cast<Key>(*high - base)));
    for (std::size_t i = 0; i < n; ++i) values[i] -= base;
    buffer.Resize(n);
    sorted = LsdRadixSort(values, buffer.data(), n, bits);
    for (std::size_t i = 0; i < n; ++i) sorted[i] += base;
  }
  const std::size_t left = static_cast<std::size_t>(std::unique(sorted, sorted + n) - sorted);
  if (sorted != values) std::copy(sorted, sorted + left, values);
  return left;
}

// Lines that are all in one block: of a short length, from their bitmap,
// or of a long one, already sorted.
class OneBlock final : public DigitSource {
 public:
  OneBlock(const BigArray<std::uint64_t>& sorted, unsigned length)
      : block_{sorted.data(), nullptr, length, sorted.size()} {}
  OneBlock(const std::vector<std::uint64_t>& seen, unsigned length) {
    for (std::size_t word = 0; word < seen.size(); ++word) {
      for (std::uint64_t bits = seen[word]; bits != 0; bits &= bits - 1)
        values_.push_back(word * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
    }
    block_ = {values_.data(), nullptr, length, values_.size()};
  }
  DigitBlock Next() override { return std::exchange(block_, DigitBlock()); }

 private:
  std::vector<std::uint64_t> values_;
  DigitBlock block_;
};

// Lines of one bucketed length: the buckets in order, their numbers put
// together again.
class BucketSource final : public DigitSource {
 public:
  BucketSource(const DigitLines::Buckets& buckets, unsigned length)
      : buckets_(buckets),
        length_(length),
        restLimit_(kPowersOf10[length - DigitLane::kHeadDigits]),
        values_(kBlockLines) {}

  DigitBlock Next() override {
    std::size_t n = 0;
    for (; n < kBlockLines && head_ < DigitLane::kBuckets; ++head_, inBucket_ = 0) {
      const std::size_t take =
          std::min<std::size_t>(kBlockLines - n, buckets_.kept[head_] - inBucket_);
      const std::uint32_t* rests = buckets_.rests.data() + buckets_.begin[head_] + inBucket_;
      const std::uint64_t base = head_ * restLimit_;
      for (std::size_t i = 0; i < take; ++i) values_[n + i] = base + rests[i];
      n += take;
      inBucket_ += take;
      if (inBucket_ < buckets_.kept[head_]) break;  // the block is full
    }
    return {values_.data(), nullptr, length_, n};
  }

 private:
  const DigitLines::Buckets& buckets_;
  unsigned length_;
  std::uint64_t restLimit_;
  std::vector<std::uint64_t> values_;
  std::size_t head_ = 0;
  std::size_t inBucket_ = 0;
};

}  // namespace

char* FormatDigits(std::uint64_t value, unsigned length, char* out) {
  char* const end = out + length;
  char* p = end;
  while (p - out >= 8) {
    p -= 8;
    WriteEight(static_cast<std::uint32_t>(value % 100000000), p);
    value /= 100000000;
  }
  while (p - out >= 2) {
    p -= 2;
    WritePair(static_cast<unsigned>(value % 100), p);
    value /= 100;
  }
  if (p > out) *--p = static_cast<char>('0' + value % 10);
  return end;
}

namespace {

template <unsigned Length>
void WriteFixed(std::uint64_t value, char* out) {
  if constexpr (Length >= 8) {
    WriteEight(static_cast<std::uint32_t>(value % 100000000), out + Length - 8);
    WriteFixed<Length - 8>(value / 100000000, out);
  } else if constexpr (Length >= 2) {
    WritePair(static_cast<unsigned>(value % 100), out + Length - 2);
    WriteFixed<Length - 2>(value / 100, out);
  } else if constexpr (Length == 1) {
    *out = static_cast<char>('0' + value);
  }
}

// The lines of a block of one known length: the compiler unrolls the digits.
template <unsigned Length>
char* FormatFixed(const std::uint64_t* values, std::size_t& from, std::size_t to, char* out,
                  const char* limit) {
  std::size_t i = from;
  const std::size_t fit = static_cast<std::size_t>(limit - out) / (Length + 2);
  const std::size_t end = std::min(to, from + fit);
  for (; i < end; ++i) {
    WriteFixed<Length>(values[i], out);
    out[Length] = '\r';
    out[Length + 1] = '\n';
    out += Length + 2;
  }
  from = i;
  return out;
}

}  // namespace

char* FormatLinesCrLf(const DigitBlock& block, std::size_t& from, std::size_t to, char* out,
                      const char* limit) {
  if (!block.lengths) {
    switch (block.length) {
      case 11:
        return FormatFixed<11>(block.values, from, to, out, limit);
      case 10:
        return FormatFixed<10>(block.values, from, to, out, limit);
      case 12:
        return FormatFixed<12>(block.values, from, to, out, limit);
      default:
        break;
    }
  }
  for (; from < to; ++from) {
    const unsigned length = block.Length(from);
    if (static_cast<std::size_t>(limit - out) < length + 2) break;
    out = FormatDigits(block.values[from], length, out);
    *out++ = '\r';
    *out++ = '\n';
  }
  return out;
}

void DigitLane::AddOther(std::uint64_t value, unsigned length) {
  if (length <= kBitmapUpTo) {
    std::vector<std::uint64_t>& seen = seen_[length];
    if (seen.empty()) seen.resize(kPowersOf10[length] / 64 + 1, 0);
    seen[value / 64] |= std::uint64_t{1} << (value % 64);
    return;
  }
  long_[length - kLastBucketed - 1].push_back(value);
}

std::size_t DigitLane::MemoryBytes() const {
  // The sort moves the rests into buckets of a new array as it gives back
  // the old; where buckets are small, it touches every page of the new one
  // before much is given back. Long lines are radix-sorted through a buffer
  // of their size.
  std::size_t bytes = 0;
  for (const auto& heads : heads_) bytes += heads.Bytes();
  for (const auto& rests : rests_) bytes += rests.Bytes() * 2;
  for (const auto& group : long_) bytes += group.Bytes() * 2;
  return bytes;
}

void DigitLane::Clear() {
  published_ = 0;
  for (auto& seen : seen_) std::vector<std::uint64_t>().swap(seen);
  for (auto& heads : heads_) heads.Clear();
  for (auto& rests : rests_) rests.Clear();
  for (auto& group : long_) group.Clear();
  count_ = 0;
}

DigitLines::DigitLines(unsigned lanes) : lanes_(std::max(lanes, 1u)) {}
DigitLines::~DigitLines() = default;

std::size_t DigitLines::Count() const {
  if (isSorted_) return sortedCount_;
  std::size_t count = 0;
  for (const DigitLane& lane : lanes_) count += lane.count_;
  return count;
}

std::size_t DigitLines::PublishedBytes() const {
  std::size_t bytes = 0;
  for (const DigitLane& lane : lanes_) bytes += lane.published_.load(std::memory_order_relaxed);
  return bytes;
}

void DigitLines::Sort(unsigned workers) {
  // Short and long lines stay in their lanes, whose sources the merge
  // takes together, dropping repeats between them.
  sortedCount_ = 0;
  BigArray<std::uint64_t> buffer;
  for (DigitLane& lane : lanes_) {
    for (auto& group : lane.long_) {
      group.Resize(SortDistinct(group.data(), group.size(), buffer));
      sortedCount_ += group.size();
    }
    for (const auto& seen : lane.seen_) {
      for (const std::uint64_t word : seen)
        sortedCount_ += static_cast<std::size_t>(std::popcount(word));
    }
  }
  for (unsigned index = 0; index < DigitLane::kBucketedLengths; ++index)
    SortBucketed(index, workers);
  isSorted_ = true;
}

void DigitLines::SortBucketed(unsigned index, unsigned workers) {
  constexpr std::size_t kBuckets = DigitLane::kBuckets;
  std::size_t n = 0;
  for (const DigitLane& lane : lanes_) n += lane.rests_[index].size();
  if (n == 0) return;
  // Where each lane's part of each bucket goes: bucket by bucket, lane by
  // lane, so every lane is counted into place on a thread of its own.
  std::vector<std::size_t> at(lanes_.size() * kBuckets, 0);
  ShareChunks(workers, lanes_.size(), 1, [&](unsigned, std::size_t lane, std::size_t) {
    std::size_t* counts = at.data() + lane * kBuckets;
    for (const std::uint16_t head : lanes_[lane].heads_[index]) ++counts[head];
  });
  Buckets& buckets = sorted_[index];
  buckets.begin.assign(kBuckets + 1, 0);
  buckets.kept.assign(kBuckets, 0);
  std::size_t sum = 0;
  for (std::size_t head = 0; head < kBuckets; ++head) {
    buckets.begin[head] = sum;
    for (std::size_t lane = 0; lane < lanes_.size(); ++lane)
      sum += std::exchange(at[lane * kBuckets + head], sum);
  }
  buckets.begin[kBuckets] = sum;
  buckets.rests.Resize(n);
  ShareChunks(workers, lanes_.size(), 1, [&](unsigned, std::size_t lane, std::size_t) {
    std::size_t* next = at.data() + lane * kBuckets;
    auto& heads = lanes_[lane].heads_[index];
    auto& rests = lanes_[lane].rests_[index];
    // From the end, giving back what is placed as the buckets fill: the
    // lines are held about once (6 bytes each), not twice.
    for (std::size_t end = heads.size(); end > 0;) {
      const std::size_t from = end - std::min<std::size_t>(end, kPlacedBetweenReturns);
      for (std::size_t i = from; i < end; ++i) buckets.rests[next[heads[i]]++] = rests[i];
      heads.Resize(end = from);
      rests.Resize(from);
    }
  });
  std::vector<BigArray<std::uint32_t>> buffers(std::max(workers, 1u));
  ShareChunks(workers, kBuckets, 16, [&](unsigned worker, std::size_t begin, std::size_t end) {
    for (std::size_t head = begin; head < end; ++head) {
      buckets.kept[head] = static_cast<std::uint32_t>(
          SortDistinct(buckets.rests.data() + buckets.begin[head],
                       buckets.begin[head + 1] - buckets.begin[head], buffers[worker]));
    }
  });
  for (const std::uint32_t kept : buckets.kept) sortedCount_ += kept;
}

std::unique_ptr<DigitSource> DigitLines::Source() const {
  std::vector<std::unique_ptr<DigitSource>> sources;
  for (const DigitLane& lane : lanes_) {
    for (unsigned length = 0; length <= DigitLane::kBitmapUpTo; ++length) {
      if (!lane.seen_[length].empty())
        sources.push_back(std::make_unique<OneBlock>(lane.seen_[length], length));
    }
    for (unsigned length = DigitLane::kLastBucketed + 1; length <= kMaxDigitLineLength; ++length) {
      const auto& group = lane.long_[length - DigitLane::kLastBucketed - 1];
      if (!group.empty()) sources.push_back(std::make_unique<OneBlock>(group, length));
    }
  }
  for (unsigned length = DigitLane::kFirstBucketed; length <= DigitLane::kLastBucketed; ++length) {
    const Buckets& buckets = sorted_[length - DigitLane::kFirstBucketed];
    if (!buckets.rests.empty()) sources.push_back(std::make_unique<BucketSource>(buckets, length));
  }
  return MergeSources(std::move(sources), DigitOrder());
}

void DigitLines::Clear() {
  for (DigitLane& lane : lanes_) lane.Clear();
  for (Buckets& buckets : sorted_) buckets = Buckets();
  sortedCount_ = 0;
  isSorted_ = false;
}

}  // namespace tools

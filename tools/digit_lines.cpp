#include "tools/digit_lines.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <queue>
#include <utility>

#include "tools/parallel.h"

namespace tools {

const std::uint64_t kPowersOf10[kMaxDigitLineLength + 1] = {
    1ULL,
    10ULL,
    100ULL,
    1000ULL,
    10000ULL,
    100000ULL,
    1000000ULL,
    10000000ULL,
    100000000ULL,
    1000000000ULL,
    10000000000ULL,
    100000000000ULL,
    1000000000000ULL,
    10000000000000ULL,
    100000000000000ULL,
    1000000000000000ULL,
    10000000000000000ULL,
    100000000000000000ULL,
    1000000000000000000ULL,
};

namespace {

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

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

// Sorts numbers below 2^64 and drops repeats; answers how many are left.
std::size_t SortDistinct(std::uint64_t* values, std::size_t n) {
  if (n < 256) {
    std::sort(values, values + n);
    return static_cast<std::size_t>(std::unique(values, values + n) - values);
  }
  const auto [low, high] = std::minmax_element(values, values + n);
  const std::uint64_t base = *low;
  const auto bits = static_cast<unsigned>(std::bit_width(*high - base));
  BigArray<std::uint64_t> buffer;
  buffer.Resize(n);
  for (std::size_t i = 0; i < n; ++i) values[i] -= base;
  const std::uint64_t* sorted = LsdRadixSort(values, buffer.data(), n, bits);
  std::size_t kept = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (kept == 0 || sorted[i] + base != values[kept - 1]) values[kept++] = sorted[i] + base;
  }
  return kept;
}

// Per thread: room to gather, sort and thin out one bucket.
struct BucketScratch {
  std::vector<std::uint32_t> values;
  std::vector<std::uint32_t> buffer;
};

// Calls visit(values, count) for each chunk of the bucket's chain that
// holds some of its first `count` values.
template <typename Pool, typename Visit>
void WalkChunks(const DigitLane::Bucket& bucket, Pool& pool, std::uint64_t count, Visit&& visit) {
  std::uint64_t chunk = bucket.first;
  for (std::uint64_t done = 0; done < count;) {
    auto* header = pool.data() + chunk * DigitLane::kChunkUnit;
    const std::uint64_t capacity = (DigitLane::kChunkUnit << header[1]) - DigitLane::kChunkHeader;
    const std::uint64_t take = std::min(capacity, count - done);
    visit(header + DigitLane::kChunkHeader, static_cast<std::size_t>(take));
    done += take;
    chunk = header[0];
  }
}

// One bucket as every lane holds it.
struct LaneBucket {
  DigitLane::Bucket* bucket;
  BigArray<std::uint32_t>* pool;
};

// Gathers a bucket from every lane, sorts it, drops repeats, and puts the
// result back into the same chains in lane order, each lane taking as
// many as it held.
void SortBucket(const std::vector<LaneBucket>& lanes, BucketScratch& scratch) {
  std::size_t n = 0;
  for (const LaneBucket& lane : lanes) n += static_cast<std::size_t>(lane.bucket->count);
  scratch.values.resize(n);
  std::size_t gathered = 0;
  for (const LaneBucket& lane : lanes) {
    WalkChunks(*lane.bucket, *lane.pool, lane.bucket->count,
               [&](const std::uint32_t* values, std::size_t take) {
                 std::memcpy(scratch.values.data() + gathered, values, take * 4);
                 gathered += take;
               });
  }
  std::uint32_t* sorted = scratch.values.data();
  if (n < 64) {
    std::sort(sorted, sorted + n);
  } else {
    scratch.buffer.resize(n);
    const std::uint32_t high = *std::max_element(sorted, sorted + n);
    sorted =
        LsdRadixSort(sorted, scratch.buffer.data(), n, static_cast<unsigned>(std::bit_width(high)));
  }
  std::size_t left = static_cast<std::size_t>(std::unique(sorted, sorted + n) - sorted);
  for (const LaneBucket& lane : lanes) {
    const std::size_t put =
        std::min<std::size_t>(left, static_cast<std::size_t>(lane.bucket->count));
    WalkChunks(*lane.bucket, *lane.pool, put, [&](std::uint32_t* values, std::size_t take) {
      std::memcpy(values, sorted, take * 4);
      sorted += take;
    });
    lane.bucket->count = put;
    left -= put;
  }
}

// Lines of one short length, from their bitmap.
class BitmapSource final : public DigitSource {
 public:
  BitmapSource(const std::vector<std::uint64_t>& seen, unsigned length) : length_(length) {
    for (std::size_t word = 0; word < seen.size(); ++word) {
      for (std::uint64_t bits = seen[word]; bits != 0; bits &= bits - 1) {
        values_.push_back(word * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
      }
    }
  }
  DigitBlock Next() override {
    if (std::exchange(done_, true)) return {};
    return {values_.data(), nullptr, length_, values_.size()};
  }

 private:
  std::vector<std::uint64_t> values_;
  unsigned length_;
  bool done_ = false;
};

// Lines of one bucketed length: the buckets in order, each lane's part of
// a bucket after the last, their numbers put together again.
class BucketSource final : public DigitSource {
 public:
  BucketSource(const std::vector<DigitLane>& lanes, unsigned length)
      : lanes_(lanes), length_(length), restLimit_(kPowersOf10[length - DigitLane::kHeadDigits]) {
    values_.resize(kBlockLines);
  }

  DigitBlock Next() override {
    std::size_t n = 0;
    while (n < kBlockLines) {
      if (left_ == 0 && !Open()) break;
      const std::uint32_t* header = pool_->data() + std::uint64_t{chunk_} * DigitLane::kChunkUnit;
      const std::uint64_t capacity = (DigitLane::kChunkUnit << header[1]) - DigitLane::kChunkHeader;
      const std::uint32_t* rests = header + DigitLane::kChunkHeader;
      const auto take = static_cast<std::size_t>(
          std::min<std::uint64_t>({kBlockLines - n, capacity - inChunk_, left_}));
      for (std::size_t i = 0; i < take; ++i) values_[n + i] = base_ + rests[inChunk_ + i];
      n += take;
      left_ -= take;
      inChunk_ += take;
      if (inChunk_ == capacity && left_ > 0) {
        chunk_ = header[0];
        inChunk_ = 0;
      }
    }
    return {values_.data(), nullptr, length_, n};
  }

 private:
  // Moves to the next lane's part of this bucket, or the next bucket.
  bool Open() {
    for (; head_ < DigitLane::kBuckets; ++head_, lane_ = 0) {
      for (; lane_ < lanes_.size(); ++lane_) {
        const DigitLane::Bucket* bucket = lanes_[lane_].Buckets(length_).Find(head_);
        if (!bucket || bucket->count == 0) continue;
        left_ = bucket->count;
        chunk_ = bucket->first;
        pool_ = &lanes_[lane_].Pool();
        inChunk_ = 0;
        base_ = head_ * restLimit_;
        ++lane_;
        return true;
      }
    }
    return false;
  }

  const std::vector<DigitLane>& lanes_;
  unsigned length_;
  std::uint64_t restLimit_;
  std::vector<std::uint64_t> values_;
  std::size_t head_ = 0;
  std::size_t lane_ = 0;
  const BigArray<std::uint32_t>* pool_ = nullptr;
  std::uint64_t left_ = 0;
  std::uint64_t base_ = 0;
  std::uint32_t chunk_ = 0;
  std::uint64_t inChunk_ = 0;
};

// One long length's sorted numbers, as a single block.
class GroupSource final : public DigitSource {
 public:
  GroupSource(const BigArray<std::uint64_t>& group, unsigned length)
      : group_(group), length_(length) {}
  DigitBlock Next() override {
    if (std::exchange(done_, true)) return {};
    return {group_.data(), nullptr, length_, group_.size()};
  }

 private:
  const BigArray<std::uint64_t>& group_;
  unsigned length_;
  bool done_ = false;
};

// The sources' lines in order. Stretches of one source that come before
// every other source's next line are handed on as they are, without
// copying, so a source with few lines costs little beside one with many.
class MergedDigits final : public DigitSource {
 public:
  explicit MergedDigits(std::vector<std::unique_ptr<DigitSource>> sources)
      : sources_(std::move(sources)), blocks_(sources_.size()), at_(sources_.size(), 0) {
    for (std::size_t s = 0; s < sources_.size(); ++s) Push(s);
  }

  DigitBlock Next() override {
    // The source handed on last moves on only now: its block had to stay valid.
    if (handedOn_ < sources_.size()) Push(std::exchange(handedOn_, sources_.size()));
    while (!heads_.empty()) {
      const auto [key, s] = heads_.top();
      heads_.pop();
      if (any_ && key == last_) {  // a line an earlier source also holds
        ++at_[s];
        Push(s);
        continue;
      }
      const DigitBlock& block = blocks_[s];
      const std::size_t from = at_[s];
      std::size_t to = block.count;
      if (!heads_.empty()) {
        // Gallop to the first line not before the other sources' next one.
        const std::uint64_t bound = heads_.top().first;
        std::size_t low = from + 1;
        std::size_t high = from + 1;
        for (std::size_t step = 1; high < block.count && block.Key(high) < bound; step *= 2) {
          low = high + 1;
          high = from + 1 + step;
        }
        high = std::min(high, block.count);
        while (low < high) {
          const std::size_t middle = low + (high - low) / 2;
          if (block.Key(middle) < bound) {
            low = middle + 1;
          } else {
            high = middle;
          }
        }
        to = low;
      }
      last_ = block.Key(to - 1);
      any_ = true;
      at_[s] = to;
      handedOn_ = s;
      return {block.values + from, block.lengths ? block.lengths + from : nullptr, block.length,
              to - from};
    }
    return {};
  }

 private:
  using Head = std::pair<std::uint64_t, std::size_t>;  // order key, source

  // Puts source s's next line among the heads, fetching its next block
  // when this one is through.
  void Push(std::size_t s) {
    if (at_[s] >= blocks_[s].count) {
      blocks_[s] = sources_[s]->Next();
      at_[s] = 0;
      if (blocks_[s].count == 0) return;
    }
    heads_.emplace(blocks_[s].Key(at_[s]), s);
  }

  std::vector<std::unique_ptr<DigitSource>> sources_;
  std::vector<DigitBlock> blocks_;
  std::vector<std::size_t> at_;
  std::priority_queue<Head, std::vector<Head>, std::greater<Head>> heads_;
  std::size_t handedOn_ = ~std::size_t{0};
  std::uint64_t last_ = 0;
  bool any_ = false;
};

class NoDigits final : public DigitSource {
 public:
  DigitBlock Next() override { return {}; }
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

std::unique_ptr<DigitSource> MergeDigitSources(std::vector<std::unique_ptr<DigitSource>> sources) {
  if (sources.size() == 1) return std::move(sources.front());
  return std::make_unique<MergedDigits>(std::move(sources));
}

void DigitLane::NewChunk(Bucket& bucket) {
  if (pool_.empty()) std::fill_n(pool_.Extend(kChunkUnit), kChunkUnit, 0u);  // place 0 means none
  // Each chunk twice the last, up to 4 KiB: a bucket of a few lines costs
  // little, a bucket of many is walked in few steps.
  const std::uint32_t size =
      bucket.first == 0
          ? 0
          : std::min(pool_[std::uint64_t{bucket.last} * kChunkUnit + 1] + 1, kLargestChunk);
  const std::uint64_t start = pool_.size();
  if (start / kChunkUnit > 0xFFFFFFFFu) throw std::bad_alloc();  // places are kept in 32 bits
  const auto place = static_cast<std::uint32_t>(start / kChunkUnit);
  std::uint32_t* chunk = pool_.Extend(kChunkUnit << size);
  chunk[0] = 0;
  chunk[1] = size;
  if (bucket.first == 0) {
    bucket.first = place;
  } else {
    pool_[std::uint64_t{bucket.last} * kChunkUnit] = place;
  }
  bucket.last = place;
  bucket.writeAt = start + kChunkHeader;
  bucket.writeEnd = start + (kChunkUnit << size);
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
  // Sorting a bucket takes room for two copies of it, one bucket per thread.
  std::size_t bytes = pool_.Bytes() * 2;
  for (const auto& buckets : buckets_) bytes += buckets.Bytes();
  for (const auto& group : long_) bytes += group.Bytes() * 2;
  return bytes;
}

void DigitLane::Clear() {
  published_ = 0;
  for (auto& seen : seen_) std::vector<std::uint64_t>().swap(seen);
  for (auto& buckets : buckets_) buckets = BucketTable();
  pool_.Clear();
  for (auto& group : long_) group.Clear();
  count_ = 0;
}

DigitLines::DigitLines(unsigned lanes) : lanes_(std::max(lanes, 1u)) {}
DigitLines::~DigitLines() = default;

std::size_t DigitLines::Count() const {
  std::size_t count = 0;
  for (const DigitLane& lane : lanes_) count += lane.count_;
  return count;
}

std::size_t DigitLines::PublishedBytes() const {
  std::size_t bytes = 0;
  for (const DigitLane& lane : lanes_) bytes += lane.published_.load(std::memory_order_relaxed);
  return bytes;
}

std::size_t DigitLines::MemoryBytes() const {
  std::size_t bytes = 0;
  for (const DigitLane& lane : lanes_) bytes += lane.MemoryBytes();
  return bytes;
}

void DigitLines::Sort(unsigned workers) {
  DigitLane& first = lanes_.front();
  // Short and long lines all go to the first lane.
  for (std::size_t l = 1; l < lanes_.size(); ++l) {
    DigitLane& lane = lanes_[l];
    for (unsigned length = 0; length <= DigitLane::kBitmapUpTo; ++length) {
      if (lane.seen_[length].empty()) continue;
      if (first.seen_[length].empty()) first.seen_[length].resize(lane.seen_[length].size(), 0);
      for (std::size_t w = 0; w < lane.seen_[length].size(); ++w)
        first.seen_[length][w] |= lane.seen_[length][w];
      std::vector<std::uint64_t>().swap(lane.seen_[length]);
    }
    for (std::size_t g = 0; g < first.long_.size(); ++g) {
      if (lane.long_[g].empty()) continue;
      std::copy(lane.long_[g].begin(), lane.long_[g].end(),
                first.long_[g].Extend(lane.long_[g].size()));
      lane.long_[g].Clear();
    }
  }
  for (auto& group : first.long_) group.Truncate(SortDistinct(group.data(), group.size()));

  // Buckets, each with its parts in every lane.
  std::vector<std::vector<LaneBucket>> tasks;
  constexpr std::size_t kPage = DigitLane::BucketTable::kPage;
  for (std::size_t index = 0; index < first.buckets_.size(); ++index) {
    for (std::size_t head = 0; head < DigitLane::kBuckets; ++head) {
      if (head % kPage == 0 &&
          std::none_of(lanes_.begin(), lanes_.end(), [&](const DigitLane& lane) {
            return lane.buckets_[index].HasPage(head / kPage);
          })) {
        head += kPage - 1;  // a page no lane has
        continue;
      }
      std::vector<LaneBucket> parts;
      std::uint64_t lines = 0;
      for (DigitLane& lane : lanes_) {
        DigitLane::Bucket* bucket = lane.buckets_[index].Find(head);
        if (!bucket || bucket->count == 0) continue;
        parts.push_back({bucket, &lane.pool_});
        lines += bucket->count;
      }
      if (lines > 1) tasks.push_back(std::move(parts));
    }
  }
  std::vector<BucketScratch> scratch(std::max(workers, 1u));
  ShareChunks(workers, tasks.size(), 16, [&](unsigned worker, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) SortBucket(tasks[i], scratch[worker]);
  });

  for (DigitLane& lane : lanes_) {
    lane.count_ = 0;
    for (const auto& seen : lane.seen_) {
      for (const std::uint64_t word : seen)
        lane.count_ += static_cast<std::size_t>(std::popcount(word));
    }
    for (const auto& buckets : lane.buckets_) {
      for (std::size_t page = 0; page < DigitLane::kBuckets / kPage; ++page) {
        if (!buckets.HasPage(page)) continue;
        for (std::size_t head = page * kPage; head < (page + 1) * kPage; ++head)
          lane.count_ += buckets.Find(head)->count;
      }
    }
    for (const auto& group : lane.long_) lane.count_ += group.size();
  }
}

std::unique_ptr<DigitSource> DigitLines::Source() const {
  const DigitLane& first = lanes_.front();
  std::vector<std::unique_ptr<DigitSource>> sources;
  for (unsigned length = 0; length <= kMaxDigitLineLength; ++length) {
    if (length <= DigitLane::kBitmapUpTo) {
      if (!first.seen_[length].empty())
        sources.push_back(std::make_unique<BitmapSource>(first.seen_[length], length));
    } else if (length <= DigitLane::kLastBucketed) {
      const bool any = std::any_of(lanes_.begin(), lanes_.end(), [&](const DigitLane& lane) {
        return !lane.buckets_[length - DigitLane::kFirstBucketed].Empty();
      });
      if (any) sources.push_back(std::make_unique<BucketSource>(lanes_, length));
    } else if (const auto& group = first.long_[length - DigitLane::kLastBucketed - 1];
               !group.empty()) {
      sources.push_back(std::make_unique<GroupSource>(group, length));
    }
  }
  if (sources.empty()) return std::make_unique<NoDigits>();
  return MergeDigitSources(std::move(sources));
}

void DigitLines::Clear() {
  for (DigitLane& lane : lanes_) lane.Clear();
}

void RadixSort(std::uint64_t* values, std::size_t count) {
  if (count < 2) return;
  std::vector<std::uint64_t> buffer(count);
  const std::uint64_t high = *std::max_element(values, values + count);
  const std::uint64_t* sorted =
      LsdRadixSort(values, buffer.data(), count, static_cast<unsigned>(std::bit_width(high)));
  if (sorted != values) std::copy(sorted, sorted + count, values);
}

}  // namespace tools

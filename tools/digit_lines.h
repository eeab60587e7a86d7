#pragma once
// Lines made of ASCII digits alone, up to 18 of them (the harvested numbers),
// are by far the most common data. For them the locale's order is the digits
// from the left, a line that begins another coming first: plain byte order.
// Such a line travels as its number and its length, never as text: lines of
// one length sort as numbers, and lines of different lengths meet by their
// digits padded with zeros to 18, the shorter first when those are equal
// (DigitOrderKey).
//
// How they are held depends on the length:
// - up to 4 digits: one bit for each possible line;
// - 5 to 13 digits (mobile numbers have 11): by their first 4 digits in one
//   of 10,000 buckets, each holding the rest as 32-bit numbers in a chain
//   of chunks of a shared pool, small at first and larger as it grows. A
//   bucket is sorted on its own, in the cache, and buckets are shared out
//   among the threads;
// - 14 to 18 digits: as 64-bit numbers, sorted by radix.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "tools/big_array.h"

namespace tools {

inline constexpr unsigned kMaxDigitLineLength = 18;  // 10^18 < 2^63

extern const std::uint64_t kPowersOf10[kMaxDigitLineLength + 1];

// A 64-bit key in the lines' order: (digits padded to 18) * 18 + length,
// 0 for the empty line. Equal keys are equal lines.
inline std::uint64_t DigitOrderKey(std::uint64_t value, unsigned length) {
  return length == 0 ? 0 : value * kPowersOf10[kMaxDigitLineLength - length] * 18 + length;
}

// Writes the `length` digits of `value` (leading zeros included) to `out`;
// answers the end.
char* FormatDigits(std::uint64_t value, unsigned length, char* out);

struct DigitBlock;
// Writes lines from..to-1 of `block`, each followed by CR LF, as far as
// they fit in [out, limit); answers the end of what was written and sets
// `from` to the first line not written.
char* FormatLinesCrLf(const DigitBlock& block, std::size_t& from, std::size_t to, char* out,
                      const char* limit);

// A stretch of digit lines in order.
struct DigitBlock {
  const std::uint64_t* values = nullptr;
  const std::uint8_t* lengths = nullptr;  // none: every line has `length` digits
  unsigned length = 0;
  std::size_t count = 0;

  unsigned Length(std::size_t i) const { return lengths ? lengths[i] : length; }
  std::uint64_t Key(std::size_t i) const { return DigitOrderKey(values[i], Length(i)); }
};

// Distinct digit lines in order, a block at a time.
class DigitSource {
 public:
  virtual ~DigitSource() = default;
  // The next block (valid until the next call); an empty one at the end.
  virtual DigitBlock Next() = 0;
};

// Merges sources of distinct lines in order into one, dropping lines that
// more than one of them holds.
std::unique_ptr<DigitSource> MergeDigitSources(std::vector<std::unique_ptr<DigitSource>> sources);

// Digit lines as one thread adds them; a merge has one lane per thread
// that reads lines.
class alignas(64) DigitLane {
 public:
  void Add(std::uint64_t value, unsigned length) {
    ++count_;
    switch (length) {
      case 11:
        return AddBucketed<11>(value);  // the mobile numbers first
      case 5:
        return AddBucketed<5>(value);
      case 6:
        return AddBucketed<6>(value);
      case 7:
        return AddBucketed<7>(value);
      case 8:
        return AddBucketed<8>(value);
      case 9:
        return AddBucketed<9>(value);
      case 10:
        return AddBucketed<10>(value);
      case 12:
        return AddBucketed<12>(value);
      case 13:
        return AddBucketed<13>(value);
      default:
        return AddOther(value, length);
    }
  }

  static constexpr unsigned kBitmapUpTo = 4;
  static constexpr unsigned kHeadDigits = 4;
  static constexpr unsigned kFirstBucketed = kHeadDigits + 1;
  static constexpr unsigned kLastBucketed = 13;  // the rest stays below 10^9
  static constexpr std::size_t kBuckets = 10000;
  // A chunk is 64 << size words: the next chunk's place (in units of 64
  // words, 0: none), its size, then the values.
  static constexpr std::size_t kChunkUnit = 64;
  static constexpr std::uint32_t kLargestChunk = 4;
  static constexpr std::size_t kChunkHeader = 2;

  struct Bucket {
    std::uint64_t count = 0;
    std::uint64_t writeAt = 0;   // the pool word the next value goes to
    std::uint64_t writeEnd = 0;  // the end of the last chunk
    std::uint32_t first = 0;     // chunk places; 0: none yet
    std::uint32_t last = 0;
  };

  // A length's 10,000 buckets, in pages of 100 made as lines come: a few
  // lines cost a few pages.
  class BucketTable {
   public:
    static constexpr std::size_t kPage = 100;
    Bucket& At(std::size_t head) {
      std::unique_ptr<Bucket[]>& page = pages_[head / kPage];
      if (!page) {
        page = std::make_unique<Bucket[]>(kPage);
        ++pagesInUse_;
      }
      return page[head % kPage];
    }
    Bucket* Find(std::size_t head) {
      const auto& page = pages_[head / kPage];
      return page ? &page[head % kPage] : nullptr;
    }
    const Bucket* Find(std::size_t head) const {
      return const_cast<BucketTable*>(this)->Find(head);
    }
    bool HasPage(std::size_t page) const { return pages_[page] != nullptr; }
    bool Empty() const { return pagesInUse_ == 0; }
    std::size_t Bytes() const { return pagesInUse_ * kPage * sizeof(Bucket); }

   private:
    std::array<std::unique_ptr<Bucket[]>, kBuckets / kPage> pages_;
    std::size_t pagesInUse_ = 0;
  };

  // The buckets of a length from 5 to 13, and the chunks they live in.
  const BucketTable& Buckets(unsigned length) const { return buckets_[length - kFirstBucketed]; }
  const BigArray<std::uint32_t>& Pool() const { return pool_; }

 private:
  friend class DigitLines;

  template <unsigned Length>
  void AddBucketed(std::uint64_t value) {
    constexpr std::uint64_t kRest = [] {
      std::uint64_t p = 1;
      for (unsigned i = kHeadDigits; i < Length; ++i) p *= 10;
      return p;
    }();
    Bucket& bucket = buckets_[Length - kFirstBucketed].At(value / kRest);
    if (bucket.writeAt == bucket.writeEnd) NewChunk(bucket);
    std::uint32_t* at = pool_.data() + bucket.writeAt++;
    // Buckets fill side by side: ask for the next cache line ahead of need.
    __builtin_prefetch(at + 16, 1);
    *at = static_cast<std::uint32_t>(value % kRest);
    ++bucket.count;
  }
  void NewChunk(Bucket& bucket);
  void AddOther(std::uint64_t value, unsigned length);
  std::size_t MemoryBytes() const;
  void Clear();

  // MemoryBytes as the lane's thread last told it, for other threads.
  std::atomic<std::size_t> published_{0};

  std::array<std::vector<std::uint64_t>, kBitmapUpTo + 1> seen_;
  std::array<BucketTable, kLastBucketed - kFirstBucketed + 1> buckets_;
  BigArray<std::uint32_t> pool_;
  std::array<BigArray<std::uint64_t>, kMaxDigitLineLength - kLastBucketed> long_;
  std::size_t count_ = 0;
};

// The digit lines of the content, in one or more lanes.
class DigitLines {
 public:
  explicit DigitLines(unsigned lanes = 1);
  ~DigitLines();
  DigitLines(const DigitLines&) = delete;
  DigitLines& operator=(const DigitLines&) = delete;

  DigitLane& Lane(unsigned lane) { return lanes_[lane]; }
  // The lane's thread tells what the lane costs now (between blocks).
  void Publish(unsigned lane) {
    lanes_[lane].published_.store(lanes_[lane].MemoryBytes(), std::memory_order_relaxed);
  }
  // What the lanes cost as they last told it: any thread may ask while
  // they fill.
  std::size_t PublishedBytes() const;
  void Add(std::uint64_t value, unsigned length) { lanes_[0].Add(value, length); }
  std::size_t Count() const;
  // What the lines cost, with room to sort them.
  std::size_t MemoryBytes() const;

  // Sorts the lines of all lanes together and drops repeats, on up to
  // `workers` threads.
  void Sort(unsigned workers);
  // The sorted lines in order; the source reads this object, unchanged.
  std::unique_ptr<DigitSource> Source() const;
  void Clear();

 private:
  std::vector<DigitLane> lanes_;
};

// Sorts numbers in place (LSD radix over the bits in which they differ).
void RadixSort(std::uint64_t* values, std::size_t count);

}  // namespace tools

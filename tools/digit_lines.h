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
// - 5 to 13 digits (mobile numbers have 11): the first 4 digits (the head,
//   16 bits) and the rest (below 10^9, 32 bits) in two arrays, appended as
//   they come. When the sort begins the rests are counted into 10,000
//   buckets by their heads, each bucket is sorted on its own, in the cache,
//   and buckets are shared out among the threads: 6 bytes a line instead of
//   8, and no bucket ever grows;
// - 14 to 18 digits: as 64-bit numbers, sorted by radix.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "tools/big_array.h"
#include "tools/ordered_merge.h"

namespace tools {

// Writes lines from..to-1 of `block`, each followed by CR LF, as far as
// they fit in [out, limit); answers the end of what was written and sets
// `from` to the first line not written.
char* FormatLinesCrLf(const DigitBlock& block, std::size_t& from, std::size_t to, char* out,
                      const char* limit);

// Digit lines as one thread adds them; a merge has one lane per thread
// that reads lines.
class alignas(64) DigitLane {
 public:
  void Add(std::uint64_t value, unsigned length) {
    ++count_;
    if (length - kFirstBucketed < kBucketedLengths) {
      (this->*kAddBucketed[length - kFirstBucketed])(value);
    } else {
      AddOther(value, length);
    }
  }

  static constexpr unsigned kBitmapUpTo = 4;
  static constexpr unsigned kHeadDigits = 4;  // 10,000 buckets: a bucket of a
                                              // 100 MB input fits in the cache
  static constexpr unsigned kFirstBucketed = kHeadDigits + 1;
  static constexpr unsigned kLastBucketed = 13;  // the rest stays below 10^9 < 2^32
  static constexpr std::size_t kBuckets = 10000;
  static constexpr unsigned kBucketedLengths = kLastBucketed - kFirstBucketed + 1;

 private:
  friend class DigitLines;

  template <unsigned Length>
  void AddBucketed(std::uint64_t value) {
    constexpr std::uint64_t kRest = kPowersOf10[Length - kHeadDigits];
    heads_[Length - kFirstBucketed].push_back(static_cast<std::uint16_t>(value / kRest));
    rests_[Length - kFirstBucketed].push_back(static_cast<std::uint32_t>(value % kRest));
  }
  // AddBucketed<length> by length, from the first bucketed one.
  static constexpr auto kAddBucketed =
      []<unsigned... Index>(std::integer_sequence<unsigned, Index...>) {
    return std::array{&DigitLane::AddBucketed<kFirstBucketed + Index>...};
  }
  (std::make_integer_sequence<unsigned, kBucketedLengths>());
  void AddOther(std::uint64_t value, unsigned length);
  std::size_t MemoryBytes() const;
  void Clear();

  // MemoryBytes as the lane's thread last told it, for other threads.
  std::atomic<std::size_t> published_{0};

  std::array<std::vector<std::uint64_t>, kBitmapUpTo + 1> seen_;
  std::array<BigArray<std::uint16_t>, kBucketedLengths> heads_;
  std::array<BigArray<std::uint32_t>, kBucketedLengths> rests_;
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
  std::size_t Count() const;

  // Sorts the lines of all lanes together and drops repeats, on up to
  // `workers` threads.
  void Sort(unsigned workers);
  // The sorted lines in order; the source reads this object, unchanged.
  std::unique_ptr<DigitSource> Source() const;
  void Clear();

  // The lines of one bucketed length once sorted: bucket h's distinct rests
  // are rests[begin[h]], the next kept[h] of them.
  struct Buckets {
    BigArray<std::uint32_t> rests;
    std::vector<std::size_t> begin;
    std::vector<std::uint32_t> kept;
  };

 private:
  void SortBucketed(unsigned index, unsigned workers);

  std::vector<DigitLane> lanes_;
  std::array<Buckets, DigitLane::kBucketedLengths> sorted_;
  std::size_t sortedCount_ = 0;
  bool isSorted_ = false;
};

}  // namespace tools

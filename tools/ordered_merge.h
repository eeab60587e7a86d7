#pragma once
// The merge of lines in order. Distinct lines come in order a block at a
// time: digit lines as numbers (DigitBlock), other lines as their bytes with
// their key prefixes (TextBlock). One merge takes several such sources of
// one kind into one, dropping repeats; the last step then merges the digit
// lines with the other lines in the collation's order.
//
// A digit line never equals another line, so each other line goes before
// the first digit line that sorts after it. That place is found by
// galloping through the digit lines, comparing key prefixes and the lines
// themselves only when those are equal: other lines among many numbers cost
// few keys, and lines that sort after every number (letters, Chinese) cost
// none once the numbers are through.

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <queue>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/line_collation.h"

namespace tools {

inline constexpr unsigned kMaxDigitLineLength = 18;  // 10^18 < 2^63

inline constexpr auto kPowersOf10 = [] {
  std::array<std::uint64_t, kMaxDigitLineLength + 1> powers{1};
  for (unsigned i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 10;
  return powers;
}();

// A 64-bit key in the lines' order: (digits padded to 18) * 18 + length,
// 0 for the empty line. Equal keys are equal lines.
inline std::uint64_t DigitOrderKey(std::uint64_t value, unsigned length) {
  return length == 0 ? 0 : value * kPowersOf10[kMaxDigitLineLength - length] * 18 + length;
}

// Writes the `length` digits of `value` (leading zeros included) to `out`;
// answers the end.
char* FormatDigits(std::uint64_t value, unsigned length, char* out);

// A stretch of digit lines in order.
struct DigitBlock {
  const std::uint64_t* values = nullptr;
  const std::uint8_t* lengths = nullptr;  // none: every line has `length` digits
  unsigned length = 0;
  std::size_t count = 0;

  unsigned Length(std::size_t i) const { return lengths ? lengths[i] : length; }
  std::uint64_t Key(std::size_t i) const { return DigitOrderKey(values[i], Length(i)); }
  DigitBlock Slice(std::size_t from, std::size_t to) const {
    return {values + from, lengths ? lengths + from : nullptr, length, to - from};
  }
};

// A stretch of other lines in order, each with its key prefix
// (LineCollation::KeyPrefix).
struct TextBlock {
  const std::string_view* lines = nullptr;
  const std::uint64_t* prefixes = nullptr;
  std::size_t count = 0;

  TextBlock Slice(std::size_t from, std::size_t to) const {
    return {lines + from, prefixes + from, to - from};
  }
};

// Distinct lines in order, a block at a time.
template <typename Block>
class LineSource {
 public:
  virtual ~LineSource() = default;
  // The next block (valid until the next call); an empty one at the end.
  virtual Block Next() = 0;
};
using DigitSource = LineSource<DigitBlock>;
using TextSource = LineSource<TextBlock>;

// The first i in [from, count) for which before(i) is false, where before
// holds up to some place and not after it: probes 1, 2, 4... lines on, then
// bisects, so a place near `from` costs few probes.
template <typename Before>
std::size_t Gallop(std::size_t from, std::size_t count, Before&& before) {
  std::size_t low = from;
  std::size_t high = from;
  for (std::size_t step = 1; high < count && before(high); step *= 2) {
    low = high + 1;
    high = from + step;
  }
  high = std::min(high, count);
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if (before(middle)) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

// Merges sources of distinct lines in order into one, a line that more
// than one holds coming from the first of them. `Order` compares line i of
// one block with line j of another (less than, equal to or greater than 0)
// and remembers the last line handed on, to drop its repeats.
//
// Stretches of one source that come before every other source's next line
// are handed on as they are, without copying, so a source with few lines
// costs little beside one with many.
template <typename Block, typename Order>
class MergedSources final : public LineSource<Block> {
 public:
  MergedSources(std::vector<std::unique_ptr<LineSource<Block>>> sources, Order order)
      : sources_(std::move(sources)),
        order_(std::move(order)),
        blocks_(sources_.size()),
        at_(sources_.size(), 0),
        heads_(After{this}) {
    for (std::size_t s = 0; s < sources_.size(); ++s) Push(s);
  }

  Block Next() override {
    // The source handed on last moves on only now: its block had to stay valid.
    if (handedOn_ < sources_.size()) Push(std::exchange(handedOn_, sources_.size()));
    while (!heads_.empty()) {
      const std::size_t s = heads_.top();
      heads_.pop();
      const Block& block = blocks_[s];
      const std::size_t from = at_[s];
      if (any_ && order_.IsLast(block, from)) {  // a line an earlier source also holds
        ++at_[s];
        Push(s);
        continue;
      }
      std::size_t to = block.count;
      if (!heads_.empty()) {
        const std::size_t t = heads_.top();
        to = Gallop(from + 1, block.count, [&](std::size_t i) { return Before(s, i, t, at_[t]); });
      }
      order_.Remember(block, to - 1);
      any_ = true;
      at_[s] = to;
      handedOn_ = s;
      return block.Slice(from, to);
    }
    return {};
  }

 private:
  // Line i of source s before line j of source t; equal lines in the
  // order of their sources.
  bool Before(std::size_t s, std::size_t i, std::size_t t, std::size_t j) {
    const int order = order_.Compare(blocks_[s], i, blocks_[t], j);
    return order < 0 || (order == 0 && s < t);
  }
  // The priority queue's "less": the head that comes later.
  struct After {
    MergedSources* merge;
    bool operator()(std::size_t s, std::size_t t) const {
      return merge->Before(t, merge->at_[t], s, merge->at_[s]);
    }
  };

  // Puts source s's next line among the heads, fetching its next block
  // when this one is through.
  void Push(std::size_t s) {
    if (at_[s] >= blocks_[s].count) {
      blocks_[s] = sources_[s]->Next();
      at_[s] = 0;
      if (blocks_[s].count == 0) return;
    }
    heads_.push(s);
  }

  std::vector<std::unique_ptr<LineSource<Block>>> sources_;
  Order order_;
  std::vector<Block> blocks_;
  std::vector<std::size_t> at_;
  std::priority_queue<std::size_t, std::vector<std::size_t>, After> heads_;
  std::size_t handedOn_ = ~std::size_t{0};
  bool any_ = false;
};

// Digit lines in the order of their keys.
struct DigitOrder {
  int Compare(const DigitBlock& a, std::size_t i, const DigitBlock& b, std::size_t j) const {
    const std::uint64_t x = a.Key(i);
    const std::uint64_t y = b.Key(j);
    return x < y ? -1 : x > y;
  }
  void Remember(const DigitBlock& block, std::size_t i) { last = block.Key(i); }
  bool IsLast(const DigitBlock& block, std::size_t i) const { return block.Key(i) == last; }
  std::uint64_t last = 0;
};

template <typename Block, typename Order>
std::unique_ptr<LineSource<Block>> MergeSources(
    std::vector<std::unique_ptr<LineSource<Block>>> sources, Order order) {
  if (sources.size() == 1) return std::move(sources.front());
  return std::make_unique<MergedSources<Block, Order>>(std::move(sources), std::move(order));
}

// Where the merged lines go.
class LineSink {
 public:
  virtual ~LineSink() = default;
  // Lines from..to-1 of `block`.
  virtual void Digits(const DigitBlock& block, std::size_t from, std::size_t to) = 0;
  virtual void Text(std::string_view line) = 0;
};

// Merges the sources into `sink`; answers the number of lines. `merged`
// hears how many lines have gone to the sink, every 65,536 or so.
std::int64_t MergeInOrder(DigitSource& digits, TextSource& texts, LineCollation& collation,
                          LineSink& sink, const std::function<void(std::int64_t)>& merged = {});

// Other lines in the collation's order: key prefixes first, the lines
// themselves when those are equal.
class TextOrder {
 public:
  explicit TextOrder(LineCollation& collation) : collation_(&collation) {}
  int Compare(const TextBlock& a, std::size_t i, const TextBlock& b, std::size_t j) const {
    if (a.prefixes[i] != b.prefixes[j]) return a.prefixes[i] < b.prefixes[j] ? -1 : 1;
    return collation_->Compare(a.lines[i], b.lines[j]);
  }
  // A copy: the line's block goes before its repeats come.
  void Remember(const TextBlock& block, std::size_t i) {
    last_.assign(block.lines[i]);
    lastPrefix_ = block.prefixes[i];
  }
  bool IsLast(const TextBlock& block, std::size_t i) const {
    return block.prefixes[i] == lastPrefix_ && collation_->Compare(block.lines[i], last_) == 0;
  }

 private:
  LineCollation* collation_;
  std::string last_;
  std::uint64_t lastPrefix_ = 0;
};

}  // namespace tools

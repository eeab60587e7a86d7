#include "tools/ordered_merge.h"

#include <algorithm>
#include <queue>
#include <utility>

namespace tools {

namespace {

// Direct parts pay for checking them only after this many probes.
constexpr unsigned kProbesBeforeLearning = 4096;
constexpr unsigned kPartBytes = 8;

}  // namespace

std::string_view DigitKeys::Text(std::uint64_t value, unsigned length) {
  return std::string_view(text_,
                          static_cast<std::size_t>(FormatDigits(value, length, text_) - text_));
}

void DigitKeys::Learn() {
  learned_ = true;
  for (unsigned d = 0; d < 10; ++d) {
    const char digit = static_cast<char>('0' + d);
    weight_[d] =
        static_cast<unsigned char>(collation_.SortKeyPart(std::string_view(&digit, 1)) >> 56);
  }
  auto direct = [this](std::string_view digits) {
    std::uint64_t part = 0;
    for (std::size_t i = 0; i < kPartBytes; ++i) part = part << 8 | weight_[digits[i] - '0'];
    return part;
  };
  // Every digit string of up to three digits begins its key with their
  // weights, and long ones (a fixed spread of them) are exactly that.
  char digits[kMaxDigitLineLength];
  for (unsigned length = 1; length <= 3; ++length) {
    for (unsigned n = 0; n < kPowersOf10[length]; ++n) {
      FormatDigits(n, length, digits);
      const std::uint64_t part = collation_.SortKeyPart(std::string_view(digits, length));
      for (unsigned i = 0; i < length; ++i) {
        if (static_cast<unsigned char>(part >> (56 - 8 * i)) != weight_[digits[i] - '0']) return;
      }
    }
  }
  std::uint64_t state = 0x9E3779B97F4A7C15ULL;
  for (unsigned sample = 0; sample < 200; ++sample) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    const unsigned length =
        kPartBytes + static_cast<unsigned>(state >> 60) % (kMaxDigitLineLength - kPartBytes + 1);
    const std::string_view line(
        digits, static_cast<std::size_t>(
                    FormatDigits((state >> 3) % kPowersOf10[length], length, digits) - digits));
    if (collation_.SortKeyPart(line) != direct(line)) return;
  }
  byteEach_ = true;
}

std::uint64_t DigitKeys::Part(std::uint64_t value, unsigned length) {
  if (value == lastValue_ && length == lastLength_) return lastPart_;
  lastValue_ = value;
  lastLength_ = length;
  if (!learned_ && ++asked_ > kProbesBeforeLearning) Learn();
  if (byteEach_ && length >= kPartBytes) {
    // The first 8 of the digits, one weight each.
    const std::uint64_t first = value / kPowersOf10[length - kPartBytes];
    std::uint64_t part = 0;
    for (unsigned i = 0; i < kPartBytes; ++i) {
      part |= static_cast<std::uint64_t>(weight_[first / kPowersOf10[i] % 10]) << (8 * i);
    }
    return lastPart_ = part;
  }
  return lastPart_ = collation_.SortKeyPart(Text(value, length));
}

int DigitKeys::Compare(std::uint64_t value, unsigned length, std::string_view line) {
  return collation_.Compare(Text(value, length), line);
}

std::int64_t MergeInOrder(DigitSource& digits, TextSource& texts, LineCollation& collation,
                          LineSink& sink) {
  DigitKeys keys(collation);
  DigitBlock block = digits.Next();
  bool digitsLeft = block.count > 0;
  std::size_t at = 0;
  std::int64_t count = 0;
  auto emitDigits = [&](std::size_t to) {
    if (to > at) sink.Digits(block, at, to);
    count += static_cast<std::int64_t>(to - at);
    at = to;
  };

  std::string_view line;
  std::uint64_t part = 0;
  while (texts.Next(line, part)) {
    auto digitAfter = [&](std::size_t i) {
      const std::uint64_t p = keys.Part(block.values[i], block.Length(i));
      if (p != part) return p > part;
      return keys.Compare(block.values[i], block.Length(i), line) > 0;
    };
    while (digitsLeft) {
      // A block wholly before the line goes as it is, for one probe.
      if (!digitAfter(block.count - 1)) {
        emitDigits(block.count);
        block = digits.Next();
        at = 0;
        digitsLeft = block.count > 0;
        continue;
      }
      // Gallop: a bound past the place, then bisect back to it.
      std::size_t low = at;
      std::size_t high = at;
      std::size_t step = 1;
      while (high < block.count && !digitAfter(high)) {
        low = high + 1;
        high = at + step;
        step *= 2;
      }
      high = std::min(high, block.count);
      while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (digitAfter(middle)) {
          high = middle;
        } else {
          low = middle + 1;
        }
      }
      emitDigits(low);
      if (at < block.count) break;
      block = digits.Next();
      at = 0;
      digitsLeft = block.count > 0;
    }
    sink.Text(line);
    ++count;
  }
  while (digitsLeft) {
    emitDigits(block.count);
    block = digits.Next();
    at = 0;
    digitsLeft = block.count > 0;
  }
  return count;
}

namespace {

class MergedText final : public TextSource {
 public:
  MergedText(std::vector<std::unique_ptr<TextSource>> sources, LineCollation& collation)
      : sources_(std::move(sources)), collation_(collation), heads_(HeadAfter{&collation_}) {
    for (std::size_t s = 0; s < sources_.size(); ++s) Advance(s);
  }

  bool Next(std::string_view& line, std::uint64_t& keyPart) override {
    while (!heads_.empty()) {
      const Head head = heads_.top();
      heads_.pop();
      // Equal lines leave the heads one after the other, the first
      // source's first: later ones are repeats.
      const bool repeat =
          any_ && head.part == lastPart_ && collation_.Compare(head.line, last_) == 0;
      if (!repeat) {
        last_.assign(head.line);
        lastPart_ = head.part;
        any_ = true;
      }
      Advance(head.source);
      if (!repeat) {
        line = last_;
        keyPart = lastPart_;
        return true;
      }
    }
    return false;
  }

 private:
  struct Head {
    std::string_view line;
    std::uint64_t part;
    std::size_t source;
  };
  // The priority queue's "less": the head that comes later.
  struct HeadAfter {
    LineCollation* collation;
    bool operator()(const Head& a, const Head& b) const {
      if (a.part != b.part) return a.part > b.part;
      const int order = collation->Compare(a.line, b.line);
      if (order != 0) return order > 0;
      return a.source > b.source;
    }
  };

  void Advance(std::size_t s) {
    Head head{{}, 0, s};
    if (sources_[s]->Next(head.line, head.part)) heads_.push(head);
  }

  std::vector<std::unique_ptr<TextSource>> sources_;
  LineCollation& collation_;
  std::priority_queue<Head, std::vector<Head>, HeadAfter> heads_;
  std::string last_;
  std::uint64_t lastPart_ = 0;
  bool any_ = false;
};

}  // namespace

std::unique_ptr<TextSource> MergeTextSources(std::vector<std::unique_ptr<TextSource>> sources,
                                             LineCollation& collation) {
  if (sources.size() == 1) return std::move(sources.front());
  return std::make_unique<MergedText>(std::move(sources), collation);
}

}  // namespace tools

#include "tools/sorted_lines.h"

#include <algorithm>
#include <array>
#include <exception>
#include <stop_token>
#include <system_error>
#include <thread>
#include <utility>

#include "tools/digit_key.h"

namespace tools {
namespace {

// Keys of the non-digit lines, back to back, with where each one lies.
struct KeyTable {
  std::string bytes;
  std::vector<std::size_t> ends;  // end of key i in `bytes`

  std::string_view Key(std::size_t i) const {
    const std::size_t begin = i == 0 ? 0 : ends[i - 1];
    return std::string_view(bytes).substr(begin, ends[i] - begin);
  }
};

// Computing keys is the costly part of ordering text lines; two threads
// share it when there are enough lines to be worth a thread. A failure on
// either thread (out of memory, an error of the collation) is raised on the
// calling thread once both have stopped.
KeyTable ComputeKeys(const std::vector<std::string_view>& lines, LineCollation& collation) {
  constexpr std::size_t kLinesForASecondThread = 20000;
  auto compute = [&lines](LineCollation& c, std::size_t from, std::size_t to, KeyTable& table,
                          std::stop_token stop) {
    table.ends.reserve(to - from);
    for (std::size_t i = from; i < to && !stop.stop_requested(); ++i) {
      c.AppendSortKey(lines[i], table.bytes);
      table.ends.push_back(table.bytes.size());
    }
  };
  KeyTable table;
  const unsigned threads = std::thread::hardware_concurrency();
  if (lines.size() < kLinesForASecondThread || threads < 2) {
    compute(collation, 0, lines.size(), table, {});
    return table;
  }
  const std::size_t half = lines.size() / 2;
  KeyTable second;
  std::exception_ptr secondError;
  const auto copy = collation.Clone();
  {
    // Declared after what it uses: should this thread fail, the worker is
    // asked to stop and joined before those go.
    std::jthread worker;
    try {
      worker = std::jthread([&](std::stop_token stop) {
        try {
          compute(*copy, half, lines.size(), second, stop);
        } catch (...) {
          secondError = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      // No thread to be had (short of memory for its stack): one does it all.
      compute(collation, 0, lines.size(), table, {});
      return table;
    }
    compute(collation, 0, half, table, {});
    worker.join();
  }
  if (secondError) std::rethrow_exception(secondError);
  const std::size_t base = table.bytes.size();
  table.bytes += second.bytes;
  table.ends.reserve(lines.size());
  for (const std::size_t end : second.ends) table.ends.push_back(base + end);
  return table;
}

}  // namespace

void SortedLines::Feed(std::string_view bytes) {
  if (ended_) return;
  const char* p = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  if (afterCr_ && n > 0) {
    if (p[0] == '\n') i = 1;
    afterCr_ = false;
  }
  std::size_t start = i;
  while (i < n) {
    const char c = p[i];
    if (c != '\r' && c != '\n') {
      ++i;
      continue;
    }
    EndLine(bytes.substr(start, i - start));
    ++i;
    if (c == '\r') {
      if (i == n) {
        afterCr_ = true;
      } else if (p[i] == '\n') {
        ++i;
      }
    }
    start = i;
  }
  if (start < n) carry_.append(p + start, n - start);
}

void SortedLines::EndOfContent() {
  if (ended_) return;
  if (!carry_.empty()) TakeLine(carry_);
  carry_.clear();
  ended_ = true;
}

void SortedLines::EndLine(std::string_view segment) {
  if (carry_.empty()) {
    TakeLine(segment);
    return;
  }
  carry_.append(segment);
  TakeLine(carry_);
  carry_.clear();
}

void SortedLines::TakeLine(std::string_view line) {
  if (const auto key = DigitKey(line)) {
    digitLines_.push_back(*key);
    return;
  }
  otherLines_.push_back({otherBytes_.size(), line.size()});
  otherBytes_.append(line);
}

void RadixSort(std::vector<std::uint64_t>& keys) {
  std::vector<std::uint64_t> buffer(keys.size());
  for (int shift = 0; shift < 64; shift += 16) {
    std::vector<std::size_t> count(1 << 16, 0);
    for (const std::uint64_t k : keys) ++count[(k >> shift) & 0xFFFF];
    // A pass where every key has the same digit changes nothing.
    if (std::find(count.begin(), count.end(), keys.size()) != count.end()) continue;
    std::size_t sum = 0;
    for (auto& c : count) sum += std::exchange(c, sum);
    for (const std::uint64_t k : keys) buffer[count[(k >> shift) & 0xFFFF]++] = k;
    keys.swap(buffer);
  }
}

std::int64_t SortedLines::Emit(LineCollation& collation, const std::function<void(std::string_view)>& emit) {
  EndOfContent();

  // Digit lines: equal keys are equal bytes, so any of a run may stay.
  RadixSort(digitLines_);
  digitLines_.erase(std::unique(digitLines_.begin(), digitLines_.end()), digitLines_.end());

  // Other lines: a stable order by key, the first of each equal run kept.
  std::vector<std::string_view> others;
  others.reserve(otherLines_.size());
  for (const Span& s : otherLines_) others.emplace_back(otherBytes_.data() + s.offset, s.length);
  const KeyTable keys = ComputeKeys(others, collation);
  std::vector<std::uint32_t> order(others.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&keys](std::uint32_t a, std::uint32_t b) { return keys.Key(a) < keys.Key(b); });
  order.erase(std::unique(order.begin(), order.end(), [&keys](std::uint32_t a, std::uint32_t b) { return keys.Key(a) == keys.Key(b); }),
              order.end());

  // Merge the two ordered runs. A digit line never equals another line, so
  // each other line goes before the first digit line that sorts after it;
  // that place is found by galloping, so few other lines cost few keys.
  char digits[kMaxDigitKeyLength];
  std::string probeKey;
  auto digitLineAfter = [&](std::size_t at, std::string_view key) {
    probeKey.clear();
    collation.AppendSortKey(std::string_view(digits, DigitKeyText(digitLines_[at], digits)), probeKey);
    return std::string_view(probeKey) > key;
  };
  auto emitDigits = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) emit(std::string_view(digits, DigitKeyText(digitLines_[i], digits)));
  };

  std::size_t cursor = 0;
  const std::size_t digitCount = digitLines_.size();
  for (const std::uint32_t line : order) {
    const std::string_view key = keys.Key(line);
    // Gallop: find a bound past the place, then bisect back to it.
    std::size_t low = cursor;
    std::size_t step = 1;
    std::size_t high = cursor;
    while (high < digitCount && !digitLineAfter(high, key)) {
      low = high + 1;
      high = cursor + step;
      step *= 2;
    }
    high = std::min(high, digitCount);
    while (low < high) {
      const std::size_t mid = low + (high - low) / 2;
      if (digitLineAfter(mid, key)) {
        high = mid;
      } else {
        low = mid + 1;
      }
    }
    emitDigits(cursor, low);
    cursor = low;
    emit(others[line]);
  }
  emitDigits(cursor, digitCount);
  return static_cast<std::int64_t>(digitCount + order.size());
}

}  // namespace tools

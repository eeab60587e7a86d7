#include "tools/text_lines.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <utility>

#include "tools/parallel.h"

namespace tools {
namespace {

// Below this many lines one thread computes every key prefix: starting a
// thread (some 50 us) costs more than the keys of fewer lines (about 1 us
// each with ICU).
constexpr std::size_t kLinesForThreads = 16384;
// Lines whose prefixes tie: this many or fewer are compared (a comparison
// costs about what one more prefix each does, and std::sort of 16 makes
// some 50); more get the key's next 8 bytes.
constexpr std::size_t kCompareAtMost = 16;
// Further 8-byte stretches of the keys asked for at most, 64 bytes in all,
// before comparing instead: lines alike for so long are better compared.
constexpr unsigned kMaxPrefixDepth = 8;
// The sort's share of work for a thread: enough lines that taking a task
// costs nothing beside it, few enough that the last tasks end together.
constexpr std::size_t kLinesPerTask = 8192;
// How often the key prefixes' thread tells the progress.
constexpr std::size_t kLinesPerReport = 65536;

std::uint64_t HashBytes(std::string_view bytes) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;  // 2^64 / the golden ratio
  const char* p = bytes.data();
  std::size_t n = bytes.size();
  std::uint64_t h = (n + 1) * kMultiplier;
  for (; n >= 8; n -= 8, p += 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    h = (h ^ word) * kMultiplier;
    h ^= h >> 32;
  }
  std::uint64_t tail = 0;
  std::memcpy(&tail, p, n);
  h = (h ^ tail) * kMultiplier;
  // MurmurHash3's finaliser: every bit of the input reaches the top bits,
  // which choose the slot.
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDULL;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53ULL;
  h ^= h >> 33;
  return h;
}

// Lines go to one of 2^16 buckets by the top bits of their key prefixes,
// in place (American flag sort); buckets are then ordered apart.
std::vector<std::size_t> PlaceInBuckets(auto* records, std::size_t n) {
  constexpr std::size_t kBuckets = std::size_t{1} << 16;
  std::vector<std::size_t> begin(kBuckets + 1, 0);
  for (std::size_t i = 0; i < n; ++i) ++begin[(records[i].high >> 16) + 1];
  for (std::size_t b = 0; b < kBuckets; ++b) begin[b + 1] += begin[b];
  std::vector<std::size_t> next(begin.begin(), begin.end() - 1);
  for (std::size_t b = 0; b < kBuckets; ++b) {
    while (next[b] < begin[b + 1]) {
      auto record = records[next[b]];
      std::size_t home = record.high >> 16;
      while (home != b) {
        std::swap(record, records[next[home]++]);
        home = record.high >> 16;
      }
      records[next[b]++] = record;
    }
  }
  return begin;
}

}  // namespace

void Collations::Prepare(unsigned workers) {
  while (copies_.size() + 1 < workers) copies_.push_back(main_.Clone());
}

std::string_view TextLines::LineAt(std::uint32_t offset) const {
  const char* start = arena_.data() + offset;
  const char* end = static_cast<const char*>(std::memchr(start, '\n', arena_.size() - offset));
  return std::string_view(start, static_cast<std::size_t>(end - start));
}

std::uint64_t TextLines::IdentityHash(std::string_view line, LineCollation& collation,
                                      std::string& scratch) {
  scratch.clear();
  collation.AppendIdentity(line, scratch);
  return HashBytes(scratch);
}

void TextLines::Add(std::string_view line, std::uint64_t hash, LineCollation& collation) {
  const std::size_t part = TableOf(hash);
  Table& table = tables_[part];
  if (table.empty()) {
    table.PreferHugePages();
    table.Resize(kFirstSlots);
    std::fill(table.begin(), table.end(), std::uint64_t{0});
    tableBytes_ += table.Bytes();
  }
  const std::uint64_t tag = hash >> 32;
  std::size_t slot = Home(tag, table.size());
  for (;; slot = Next(table, slot)) {
    const std::uint64_t held = table[slot];
    if (held == 0) break;
    // The same 32 top bits: most likely a repeat; the identities decide.
    if (held >> 32 != tag) continue;
    identity_.clear();
    collation.AppendIdentity(line, identity_);
    heldIdentity_.clear();
    collation.AppendIdentity(LineAt(static_cast<std::uint32_t>(held) - 1), heldIdentity_);
    if (heldIdentity_ == identity_) return;  // a repeat: the first stays
  }
  const std::uint64_t offset = arena_.size();
  char* bytes = arena_.Extend(line.size() + 1);
  std::memcpy(bytes, line.data(), line.size());
  bytes[line.size()] = '\n';
  table[slot] = tag << 32 | (offset + 1);
  ++count_;
  // Linear probing stays short up to four fifths full.
  if (++held_[part] * 5 > table.size() * 4) Grow(table);
}

void TextLines::Grow(Table& table) {
  Table grown;
  grown.PreferHugePages();
  grown.Resize(table.size() + table.size() / 2);
  std::fill(grown.begin(), grown.end(), std::uint64_t{0});
  for (const std::uint64_t held : table) {
    if (held == 0) continue;
    std::size_t slot = Home(held >> 32, grown.size());
    while (grown[slot] != 0) slot = Next(grown, slot);
    grown[slot] = held;
  }
  tableBytes_ += grown.Bytes() - table.Bytes();
  table = std::move(grown);
}

void TextLines::Sort(Collations& collations, unsigned workers,
                     const std::function<void(double)>& progress) {
  // Repeats are all gone; the table's memory serves the records.
  for (Table& table : tables_) table.Clear();
  held_.fill(0);
  tableBytes_ = 0;
  const std::size_t n = count_;
  if (n == 0) return;
  Record* record = records_.Extend(n);
  for (const char *line = arena_.begin(), *end = arena_.end(); line != end; ++record) {
    record->offset = static_cast<std::uint32_t>(line - arena_.begin());
    line =
        static_cast<const char*>(std::memchr(line, '\n', static_cast<std::size_t>(end - line))) + 1;
  }
  if (n < kLinesForThreads) workers = 1;
  collations.Prepare(workers);

  // Key prefixes: most of the work, shared evenly.
  RunOnThreads(workers, [&](unsigned worker) {
    const std::size_t begin = n * worker / workers;
    const std::size_t end = n * (worker + 1) / workers;
    LineCollation& collation = collations[worker];
    for (std::size_t i = begin; i < end; ++i) {
      records_[i].SetPrefix(collation.KeyPrefix(LineAt(records_[i].offset)));
      if (worker == 0 && progress && (i - begin) % kLinesPerReport == 0)
        progress(0.7 * double(i - begin) / double(end - begin));
    }
  });

  if (workers == 1) {
    Order(records_.begin(), records_.end(), collations[0]);
    if (progress) progress(1.0);
    return;
  }
  const std::vector<std::size_t> buckets = PlaceInBuckets(records_.data(), n);
  std::vector<std::pair<std::size_t, std::size_t>> tasks;
  for (std::size_t b = 0; b + 1 < buckets.size();) {
    std::size_t e = b + 1;
    while (e + 1 < buckets.size() && buckets[e] - buckets[b] < kLinesPerTask) ++e;
    if (buckets[e] > buckets[b]) tasks.emplace_back(buckets[b], buckets[e]);
    b = e;
  }
  std::atomic<std::size_t> done{0};
  ShareChunks(workers, tasks.size(), 1, [&](unsigned worker, std::size_t task, std::size_t) {
    Order(records_.data() + tasks[task].first, records_.data() + tasks[task].second,
          collations[worker]);
    const std::size_t finished = done.fetch_add(1) + 1;
    if (worker == 0 && progress) progress(0.7 + 0.3 * double(finished) / double(tasks.size()));
  });
}

void TextLines::Order(Record* first, Record* last, LineCollation& collation) {
  std::sort(first, last, [](const Record& a, const Record& b) { return a.Prefix() < b.Prefix(); });
  for (Record* tie = first; tie != last;) {
    Record* end = tie + 1;
    while (end != last && end->Prefix() == tie->Prefix()) ++end;
    if (end - tie > 1) OrderTies(tie, end, collation, 1);
    tie = end;
  }
}

// [first, last) share the first 8 * `depth` bytes of their keys; the lines are
// distinct, so their keys differ further on.
void TextLines::OrderTies(Record* first, Record* last, LineCollation& collation, unsigned depth) {
  if (static_cast<std::size_t>(last - first) <= kCompareAtMost || depth > kMaxPrefixDepth) {
    std::sort(first, last, [&](const Record& a, const Record& b) {
      return collation.Compare(LineAt(a.offset), LineAt(b.offset)) < 0;
    });
    return;
  }
  const std::uint64_t shared = first->Prefix();
  for (Record* r = first; r != last; ++r)
    r->SetPrefix(collation.KeyPrefix(LineAt(r->offset), 8 * depth));
  std::sort(first, last, [](const Record& a, const Record& b) { return a.Prefix() < b.Prefix(); });
  for (Record* tie = first; tie != last;) {
    Record* end = tie + 1;
    while (end != last && end->Prefix() == tie->Prefix()) ++end;
    if (end - tie > 1) OrderTies(tie, end, collation, depth + 1);
    tie = end;
  }
  // Back to the key prefix, which the merge with digit lines compares.
  for (Record* r = first; r != last; ++r) r->SetPrefix(shared);
}

namespace {

class SortedText final : public TextSource {
  static constexpr std::size_t kBlockLines = 4096;  // 96 KiB of views and prefixes
  static constexpr std::size_t kAhead = 16;         // some 16 cache misses in flight

 public:
  explicit SortedText(const TextLines& lines) : lines_(lines) {}
  TextBlock Next() override {
    const std::size_t n = std::min(kBlockLines, lines_.Count() - next_);
    for (std::size_t i = 0; i < n; ++i, ++next_) {
      // Lines in order lie all over the arena: ask for one a little ahead.
      if (next_ + kAhead < lines_.Count()) __builtin_prefetch(lines_.LineStart(next_ + kAhead));
      views_[i] = lines_.Line(next_);
      prefixes_[i] = lines_.KeyPrefix(next_);
    }
    return {views_, prefixes_, n};
  }

 private:
  const TextLines& lines_;
  std::size_t next_ = 0;
  std::string_view views_[kBlockLines];
  std::uint64_t prefixes_[kBlockLines];
};

}  // namespace

std::unique_ptr<TextSource> TextLines::Source() const {
  return std::make_unique<SortedText>(*this);
}

void TextLines::Clear() {
  arena_.Clear();
  records_.Clear();
  for (Table& table : tables_) table.Clear();
  held_.fill(0);
  tableBytes_ = 0;
  count_ = 0;
}

}  // namespace tools

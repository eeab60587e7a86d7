#include "tools/text_lines.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <utility>

#include "tools/parallel.h"

namespace tools {
namespace {

constexpr std::size_t kInitialSlots = 1024;
// Below this many lines one thread computes every key part.
constexpr std::size_t kLinesForThreads = 16384;
// Lines whose parts tie: this many or fewer are compared; more get further parts.
constexpr std::size_t kCompareAtMost = 16;
// Key parts asked for at most, after the first, before comparing instead.
constexpr unsigned kMaxPartDepth = 8;
constexpr std::size_t kLinesPerTask = 8192;

std::uint64_t HashBytes(std::string_view bytes) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ULL;
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

// Lines sharing their first key part go to one of 2^16 buckets by its top
// bits, in place (American flag sort); buckets are then ordered apart.
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
  if (slots_.empty()) {
    slots_.PreferHugePages();
    slots_.Resize(kInitialSlots);
    std::fill(slots_.begin(), slots_.end(), std::uint64_t{0});
  }
  const std::uint64_t tag = hash >> 32;
  std::size_t slot = Home(tag, slots_.size());
  for (;; slot = Next(slot)) {
    const std::uint64_t held = slots_[slot];
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
  slots_[slot] = tag << 32 | (offset + 1);
  ++count_;
  if (count_ * 5 > slots_.size() * 4) GrowSlots();
}

void TextLines::GrowSlots() {
  // By half: while the lines move, the old table and the new one are both
  // held, and that moment is the peak of the reading.
  BigArray<std::uint64_t> grown;
  grown.PreferHugePages();
  grown.Resize(slots_.size() + slots_.size() / 2);
  std::fill(grown.begin(), grown.end(), std::uint64_t{0});
  const std::size_t size = grown.size();
  for (const std::uint64_t held : slots_) {
    if (held == 0) continue;
    std::size_t slot = Home(held >> 32, size);
    while (grown[slot] != 0) slot = slot + 1 == size ? 0 : slot + 1;
    grown[slot] = held;
  }
  slots_ = std::move(grown);
}

void TextLines::Sort(Collations& collations, unsigned workers,
                     const std::function<void(double)>& progress) {
  slots_.Clear();  // repeats are all gone; the table's memory serves the records
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

  // Key parts: most of the work, shared evenly.
  RunOnThreads(workers, [&](unsigned worker) {
    const std::size_t begin = n * worker / workers;
    const std::size_t end = n * (worker + 1) / workers;
    LineCollation& collation = collations[worker];
    for (std::size_t i = begin; i < end; ++i) {
      records_[i].SetPart(collation.SortKeyPart(LineAt(records_[i].offset)));
      if (worker == 0 && progress && (i - begin) % 65536 == 0)
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
  auto byPart = [](const Record& a, const Record& b) { return a.Part() < b.Part(); };
  std::sort(first, last, byPart);
  for (Record* tie = first; tie != last;) {
    Record* end = tie + 1;
    while (end != last && end->Part() == tie->Part()) ++end;
    if (end - tie > 1) OrderTies(tie, end, collation, 1);
    tie = end;
  }
}

// [first, last) share the first `depth` parts of their keys; the lines are
// distinct, so their keys differ further on.
void TextLines::OrderTies(Record* first, Record* last, LineCollation& collation, unsigned depth) {
  if (static_cast<std::size_t>(last - first) <= kCompareAtMost || depth > kMaxPartDepth) {
    std::sort(first, last, [&](const Record& a, const Record& b) {
      return collation.Compare(LineAt(a.offset), LineAt(b.offset)) < 0;
    });
    return;
  }
  const std::uint64_t shared = first->Part();
  for (Record* r = first; r != last; ++r)
    r->SetPart(collation.SortKeyPart(LineAt(r->offset), 8 * depth));
  std::sort(first, last, [](const Record& a, const Record& b) { return a.Part() < b.Part(); });
  for (Record* tie = first; tie != last;) {
    Record* end = tie + 1;
    while (end != last && end->Part() == tie->Part()) ++end;
    if (end - tie > 1) OrderTies(tie, end, collation, depth + 1);
    tie = end;
  }
  // Back to the first part, which the merge with digit lines compares.
  for (Record* r = first; r != last; ++r) r->SetPart(shared);
}

namespace {

class SortedText final : public TextSource {
  static constexpr std::size_t kAhead = 16;

 public:
  explicit SortedText(const TextLines& lines) : lines_(lines) {}
  bool Next(std::string_view& line, std::uint64_t& keyPart) override {
    if (next_ >= lines_.Count()) return false;
    // Lines in order lie all over the arena: ask for one a little ahead.
    if (next_ + kAhead < lines_.Count()) lines_.PrefetchLine(next_ + kAhead);
    line = lines_.Line(next_);
    keyPart = lines_.KeyPart(next_);
    ++next_;
    return true;
  }

 private:
  const TextLines& lines_;
  std::size_t next_ = 0;
};

}  // namespace

std::unique_ptr<TextSource> TextLines::Source() const {
  return std::make_unique<SortedText>(*this);
}

void TextLines::Clear() {
  arena_.Clear();
  records_.Clear();
  slots_.Clear();
  count_ = 0;
}

}  // namespace tools

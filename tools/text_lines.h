#pragma once
// The lines that are not digit lines: each distinct one held once, its
// bytes in a single arena (each followed by LF, which no line holds).
//
// Repeats (lines with the same identity under the collation: that differ in
// letter case alone) are dropped as they come, through a hash table over
// the arena, so the first occurrence stays and repeats never take memory or
// keys. The table goes when the reading is done; the sort gives each line a
// 12-byte record: where it starts and its key prefix. Sorting orders the
// records by their key prefixes, computed on every thread; records whose
// prefixes are equal are ordered among themselves alone, by the key's
// further 8-byte stretches or, when few, by comparing the lines.

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tools/big_array.h"
#include "tools/line_collation.h"
#include "tools/ordered_merge.h"

namespace tools {

// A collation for each thread: the one given, for this thread, and copies
// made when more threads work.
class Collations {
 public:
  explicit Collations(LineCollation& main) : main_(main) {}
  // Makes sure there is one for each of `workers` threads; call before they start.
  void Prepare(unsigned workers);
  LineCollation& operator[](unsigned worker) { return worker == 0 ? main_ : *copies_[worker - 1]; }

 private:
  LineCollation& main_;
  std::vector<std::unique_ptr<LineCollation>> copies_;
};

class TextLines {
 public:
  // The arena holds at most `arenaBytes` before lines are refused (the
  // tests' seam; at most what 32 bits address).
  explicit TextLines(std::size_t arenaBytes = kMaxOffset)
      : arenaBytes_(std::min(arenaBytes, kMaxOffset)) {}
  TextLines(const TextLines&) = delete;
  TextLines& operator=(const TextLines&) = delete;

  // The most an arena holds: where a line starts is kept in 32 bits.
  static constexpr std::size_t kMaxOffset = 0xFFFFFFFFu;
  // Whether a line can be added.
  bool HasRoom() const { return arena_.size() < arenaBytes_ && count_ < kMaxLines; }
  // The hash of a line's identity (`scratch` is working room).
  static std::uint64_t IdentityHash(std::string_view line, LineCollation& collation,
                                    std::string& scratch);
  // Adds `line` unless a line with the same identity is held; `hash` is
  // its IdentityHash, perhaps computed on another thread.
  void Add(std::string_view line, std::uint64_t hash, LineCollation& collation);
  // Lines are added one after another, each mostly missing the cache;
  // asking ahead (the caller's __builtin_prefetch: GCC drops one in a
  // function it deems pure) lets the misses overlap. First the slot a line
  // of this hash looks at; then, a little later, the line held there when
  // it looks like a repeat, or none.
  const std::uint64_t* SlotFor(std::uint64_t hash) const {
    const Table& table = tables_[TableOf(hash)];
    return table.data() + Home(hash >> 32, table.size());  // no table: null
  }
  const char* LikeRepeat(std::uint64_t hash) const {
    const Table& table = tables_[TableOf(hash)];
    if (table.empty()) return nullptr;
    for (std::size_t slot = Home(hash >> 32, table.size()), n = 0; n < 4;
         ++n, slot = Next(table, slot)) {
      const std::uint64_t held = table[slot];
      if (held == 0) return nullptr;
      if (held >> 32 == hash >> 32) return arena_.data() + static_cast<std::uint32_t>(held) - 1;
    }
    return nullptr;
  }
  std::size_t Count() const { return count_; }
  // The arena, with the table while reading or the records while sorting.
  std::size_t MemoryBytes() const {
    return arena_.Bytes() + std::max(tableBytes_, count_ * sizeof(Record));
  }

  // Puts the lines in order; `progress` hears the share done, from this
  // thread.
  void Sort(Collations& collations, unsigned workers,
            const std::function<void(double)>& progress = {});
  // After Sort: the i-th line in order, and its key prefix.
  std::string_view Line(std::size_t i) const { return LineAt(records_[i].offset); }
  std::uint64_t KeyPrefix(std::size_t i) const { return records_[i].Prefix(); }
  const char* LineStart(std::size_t i) const { return arena_.data() + records_[i].offset; }
  // After Sort: the lines in order.
  std::unique_ptr<TextSource> Source() const;

  void Clear();

 private:
  struct Record {
    std::uint32_t high;
    std::uint32_t low;
    std::uint32_t offset;
    std::uint64_t Prefix() const { return std::uint64_t{high} << 32 | low; }
    void SetPrefix(std::uint64_t prefix) {
      high = static_cast<std::uint32_t>(prefix >> 32);
      low = static_cast<std::uint32_t>(prefix);
    }
  };
  static constexpr std::size_t kMaxLines = 0xFFFFFFF0u;

  // The hash table, in 256 parts by the top 8 bits of a line's hash. A
  // part grows (by half, when four fifths full) while the others stay, so
  // growing holds two copies of a 256th of the table, never of all of it.
  // A slot holds the top 32 bits of a line's hash above where the line
  // starts in the arena + 1; 0 when free.
  using Table = BigArray<std::uint64_t>;
  static constexpr unsigned kTableBits = 8;
  static constexpr std::size_t kFirstSlots = 512;  // one page
  static std::size_t TableOf(std::uint64_t hash) { return hash >> (64 - kTableBits); }
  // The slot a line whose hash has these top 32 bits looks at first: the
  // same share of its part as the bits below the part's are of their
  // range, so a part of any size is filled again from the bits alone.
  static std::size_t Home(std::uint64_t top, std::size_t slots) {
    constexpr unsigned kBits = 32 - kTableBits;
    return static_cast<std::size_t>(((top & ((std::uint64_t{1} << kBits) - 1)) * slots) >> kBits);
  }
  static std::size_t Next(const Table& table, std::size_t slot) {
    return slot + 1 == table.size() ? 0 : slot + 1;
  }

  std::string_view LineAt(std::uint32_t offset) const;
  void Grow(Table& table);
  void Order(Record* first, Record* last, LineCollation& collation);
  void OrderTies(Record* first, Record* last, LineCollation& collation, unsigned depth);

  std::size_t arenaBytes_;
  BigArray<char> arena_;
  BigArray<Record> records_;  // made when sorting begins
  std::array<Table, std::size_t{1} << kTableBits> tables_;
  std::array<std::uint32_t, std::size_t{1} << kTableBits> held_{};  // lines in each part
  std::size_t tableBytes_ = 0;
  std::size_t count_ = 0;
  std::string identity_;
  std::string heldIdentity_;
};

}  // namespace tools

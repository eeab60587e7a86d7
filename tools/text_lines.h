#pragma once
// The lines that are not digit lines: each distinct one held once, its
// bytes in a single arena (each followed by LF, which no line holds).
//
// Repeats (lines with the same identity under the collation: that differ in
// letter case alone) are dropped as they come, through a hash table over
// the arena, so the first occurrence stays and repeats never take memory or
// keys. The table goes when the reading is done; the sort gives each line a
// 12-byte record: where it starts and the first 8 bytes of its key. Sorting orders the records by
// their key parts, computed on every thread; records whose parts are equal are ordered among
// themselves alone, by further parts of their keys or, when few, by comparing the lines.

#include <algorithm>
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
  LineCollation& Main() { return main_; }

 private:
  LineCollation& main_;
  std::vector<std::unique_ptr<LineCollation>> copies_;
};

class TextLines {
 public:
  TextLines() = default;
  TextLines(const TextLines&) = delete;
  TextLines& operator=(const TextLines&) = delete;

  // Whether a line can be added: the arena is addressed in 32 bits.
  bool HasRoom() const { return arena_.size() < kMaxOffset && count_ < kMaxLines; }
  // The hash of a line's identity (`scratch` is working room).
  static std::uint64_t IdentityHash(std::string_view line, LineCollation& collation,
                                    std::string& scratch);
  // Adds `line` unless a line with the same identity is held; `hash` is
  // its IdentityHash, perhaps computed on another thread.
  void Add(std::string_view line, std::uint64_t hash, LineCollation& collation);
  void Add(std::string_view line, LineCollation& collation) {
    Add(line, IdentityHash(line, collation, identity_), collation);
  }
  // Lines are added one after another, each mostly missing the cache;
  // asking ahead lets the misses overlap. First the slot a line of this
  // hash looks at; then, a little later, the line held there when it looks
  // like a repeat.
  void Prefetch(std::uint64_t hash) const {
    if (!slots_.empty()) __builtin_prefetch(slots_.data() + Home(hash >> 32, slots_.size()));
  }
  void PrefetchHeld(std::uint64_t hash) const {
    if (slots_.empty()) return;
    for (std::size_t slot = Home(hash >> 32, slots_.size()), n = 0; n < 4; ++n, slot = Next(slot)) {
      const std::uint64_t held = slots_[slot];
      if (held == 0) return;
      if (held >> 32 == hash >> 32) {
        __builtin_prefetch(arena_.data() + static_cast<std::uint32_t>(held) - 1);
        return;
      }
    }
  }
  std::size_t Count() const { return count_; }
  // The arena, with the table while reading or the records while sorting.
  std::size_t MemoryBytes() const {
    return arena_.Bytes() + std::max(slots_.Bytes(), count_ * sizeof(Record));
  }

  // Puts the lines in order; `progress` hears the share done, from this
  // thread.
  void Sort(Collations& collations, unsigned workers,
            const std::function<void(double)>& progress = {});
  // After Sort: the i-th line in order, and its key part.
  std::string_view Line(std::size_t i) const { return LineAt(records_[i].offset); }
  std::uint64_t KeyPart(std::size_t i) const { return records_[i].Part(); }
  void PrefetchLine(std::size_t i) const { __builtin_prefetch(arena_.data() + records_[i].offset); }
  // After Sort: the lines in order.
  std::unique_ptr<TextSource> Source() const;

  void Clear();

 private:
  struct Record {
    std::uint32_t high;
    std::uint32_t low;
    std::uint32_t offset;
    std::uint64_t Part() const { return std::uint64_t{high} << 32 | low; }
    void SetPart(std::uint64_t part) {
      high = static_cast<std::uint32_t>(part >> 32);
      low = static_cast<std::uint32_t>(part);
    }
  };
  static constexpr std::size_t kMaxOffset = 0xFFFFFFFFu;
  static constexpr std::size_t kMaxLines = 0xFFFFFFF0u;

  std::string_view LineAt(std::uint32_t offset) const;
  void GrowSlots();
  void Order(Record* first, Record* last, LineCollation& collation);
  void OrderTies(Record* first, Record* last, LineCollation& collation, unsigned depth);

  BigArray<char> arena_;
  BigArray<Record> records_;  // made when sorting begins
  // The slot a line whose hash has these top 32 bits looks at first: the
  // same share of the table as the bits are of 2^32, so a table of any size
  // (it grows by half) is filled again from the bits alone.
  static std::size_t Home(std::uint64_t top, std::size_t slots) {
    return static_cast<std::size_t>((top * slots) >> 32);
  }
  std::size_t Next(std::size_t slot) const { return slot + 1 == slots_.size() ? 0 : slot + 1; }

  // The hash table: the top 32 bits of a line's hash above where the line
  // starts in the arena + 1; 0 when free.
  BigArray<std::uint64_t> slots_;
  std::size_t count_ = 0;
  std::string identity_;
  std::string heldIdentity_;
};

}  // namespace tools

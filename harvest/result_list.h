#pragma once
// The harvested numbers: one row per number, the caption is its 11 digits.
// The engine owns the rows; the window's list view shows them and hears of
// every change through the observer. Rows may repeat (with de-duplication
// off), so the lookup set only answers "is there a row with this caption".

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace harvest {

// Each change comes as a begin/end pair around it, so that a view can keep
// its own bookkeeping in step (Qt's item models need the "about to").
class ResultListObserver {
 public:
  virtual ~ResultListObserver() = default;
  virtual void BeginAppend(int row) = 0;
  // The row is there; the view scrolls it into sight.
  virtual void EndAppend(int row) = 0;
  virtual void BeginClear() = 0;
  virtual void EndClear() = 0;
};

class ResultList {
 public:
  void SetObserver(ResultListObserver* observer) { observer_ = observer; }

  int Count() const { return static_cast<int>(rows_.size()); }
  const std::string& Caption(int row) const { return rows_.at(static_cast<std::size_t>(row)); }
  const std::vector<std::string>& Rows() const { return rows_; }

  // Whether some row's caption equals `caption` byte for byte.
  bool Contains(const std::string& caption) const { return captions_.count(caption) != 0; }

  void Append(std::string caption);
  void Clear();
  // How often the list has been emptied: a change of it tells that rows
  // were dropped since.
  std::uint64_t Clears() const { return clears_; }

 private:
  std::vector<std::string> rows_;
  std::unordered_set<std::string> captions_;
  std::uint64_t clears_ = 0;
  ResultListObserver* observer_ = nullptr;
};

}  // namespace harvest

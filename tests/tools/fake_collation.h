#pragma once
// Collations for merge tests: ASCII letters compare without case, every
// other byte by its value. Simple enough to reason about by hand.

#include <cctype>
#include <exception>
#include <memory>
#include <thread>

#include "tools/line_collation.h"
#include "tools/ordered_merge.h"

class AsciiNoCaseCollation final : public tools::LineCollation {
 public:
  // `padding` bytes follow every key: the same order, more memory.
  explicit AsciiNoCaseCollation(std::size_t padding = 0) : padding_(padding) {}

  void AppendSortKey(std::string_view line, std::string& key) override {
    ++keysMade;
    for (const char c : line) key += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    key.append(padding_, '~');
  }
  std::unique_ptr<tools::LineCollation> Clone() const override {
    return std::make_unique<AsciiNoCaseCollation>(padding_);
  }
  // A digit line's key is its digits, then the padding.
  std::uint64_t DigitKeyPrefix(std::uint64_t value, unsigned length) override {
    std::uint64_t prefix = 0;
    for (unsigned i = 0; i < 8; ++i) {
      unsigned byte = 0;
      if (i < length) {
        byte = '0' + value / tools::kPowersOf10[length - 1 - i] % 10;
      } else if (i - length < padding_) {
        byte = '~';
      }
      prefix = prefix << 8 | byte;
    }
    return prefix;
  }

  long keysMade = 0;

 private:
  std::size_t padding_;
};

// The same keys, except that one side raises `error` from its first key:
// the copy made for another thread, or the collation it was copied from.
// Notes the thread it raised the error on.
class FailingCollation final : public tools::LineCollation {
 public:
  enum class Side { kCopy, kOriginal };

  FailingCollation(std::exception_ptr error, Side failing)
      : error_(std::move(error)),
        failing_(failing),
        raisedOn_(std::make_shared<std::thread::id>()) {}

  void AppendSortKey(std::string_view line, std::string& key) override {
    if ((failing_ == Side::kCopy) == isCopy_) {
      *raisedOn_ = std::this_thread::get_id();
      std::rethrow_exception(error_);
    }
    keys_.AppendSortKey(line, key);
  }
  std::unique_ptr<tools::LineCollation> Clone() const override {
    auto copy = std::make_unique<FailingCollation>(error_, failing_);
    copy->isCopy_ = true;
    copy->raisedOn_ = raisedOn_;
    return copy;
  }

  // Read once the keys are done: the thread that raised the error, or none.
  std::thread::id RaisedOn() const { return *raisedOn_; }

 private:
  AsciiNoCaseCollation keys_;
  std::exception_ptr error_;
  Side failing_;
  bool isCopy_ = false;
  std::shared_ptr<std::thread::id> raisedOn_;
};

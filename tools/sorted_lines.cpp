#include "tools/sorted_lines.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <system_error>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "tools/parallel.h"

namespace tools {
namespace {

constexpr std::uint64_t kNoBudget = std::numeric_limits<std::uint64_t>::max();
// Runs merged at once at most: 64 runs' reads of 1 MiB each are the most a
// disk streams well side by side; more would wait on seeks.
constexpr std::size_t kMaxFanIn = 64;
// Below 64 KiB a read spends more time seeking than reading.
constexpr std::uint64_t kMinReadBuffer = 64 << 10;
// A run's read or write buffer is at least a page...
constexpr std::size_t kMinBuffer = 4096;
// ...and at most 1 MiB, which reads and writes at the disk's full speed.
constexpr std::size_t kMaxBuffer = 1 << 20;
// A block of content is at least a line or two (the tests' tiny budgets)...
constexpr std::size_t kMinBlock = 64;
// ...and a 128th of the budget: blocks in flight (a few per thread, their
// lines' places 24 bytes each) stay a small share of it.
constexpr std::uint64_t kBlocksPerBudget = 128;
// The sort's bucket tables (2 x 65,537 counts), outside what the lines cost.
constexpr std::size_t kSortTableBytes = 2 * 65537 * sizeof(std::size_t);

// The first CR or LF in [p, end), or end.
const char* FindBreak(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  for (; end - p >= 16; p += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const int breaks =
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf)));
    if (breaks != 0) return p + __builtin_ctz(static_cast<unsigned>(breaks));
  }
#endif
  while (p < end && *p != '\r' && *p != '\n') ++p;
  return p;
}

// Past the break at `at`: CR LF is one break.
const char* PastBreak(const char* at, const char* end) {
  if (*at++ == '\r' && at < end && *at == '\n') ++at;
  return at;
}

// Whether the 8 bytes are all ASCII digits, 0x30 to 0x39. Each byte b
// must have 3 as its high half (0x30..0x3F), and so must b + 6 (b in
// 0x2A..0x39; the shift brings that half down beside b's own low half):
// both hold for the digits alone, '/' (0x2F) failing the first and ':'
// (0x3A) the second. Adding 6 carries into the next byte only from 0xFA
// up, which fails the first test itself, so a carry never passes a line.
bool EightDigits(std::uint64_t bytes) {
  return ((bytes & 0xF0F0F0F0F0F0F0F0ULL) |
          (((bytes + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) >> 4)) ==
         0x3333333333333333ULL;
}

// The number the 8 digits make, the first in the lowest byte. Less 0x30,
// byte k holds digit d_k; bytes * 10 + (bytes >> 8) puts the pairs
// p_j = 10 * d_2j + d_2j+1 (below 100, so no carry) in bytes 0, 2, 4, 6.
// Then p0 and p2 times 100 + (10^6 << 32), and p1 and p3 times
// 1 + (10^4 << 32), leave p0 * 10^6 + p1 * 10^4 + p2 * 100 + p3 in the high
// 32 bits; below them only p0 * 100 + p1, which never carries.
std::uint64_t EightDigitsValue(std::uint64_t bytes) {
  bytes -= 0x3030303030303030ULL;
  bytes = bytes * 10 + (bytes >> 8);
  return (((bytes & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
          (((bytes >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
         32;
}

// Formats digit lines for a sink that takes one line at a time.
class FunctionSink final : public LineSink {
 public:
  explicit FunctionSink(const std::function<void(std::string_view)>& emit) : emit_(emit) {}
  void Digits(const DigitBlock& block, std::size_t from, std::size_t to) override {
    char digits[kMaxDigitLineLength];
    for (std::size_t i = from; i < to; ++i)
      emit_({digits, FormatDigits(block.values[i], block.Length(i), digits)});
  }
  void Text(std::string_view line) override { emit_(line); }

 private:
  const std::function<void(std::string_view)>& emit_;
};

}  // namespace

SortedLines::SortedLines(LineCollation& collation, Options options)
    : collation_(collation),
      options_(std::move(options)),
      collations_(collation),
      workers_(MergeThreads()),
      digits_(workers_),
      text_(options_.textArenaBytes) {
  if (options_.memoryBudget == 0) options_.memoryBudget = kNoBudget;
  if (options_.runsBeside.empty())
    options_.runsBeside = std::filesystem::temp_directory_path() / "kelvane-merge";
  blockBytes_ =
      std::clamp<std::uint64_t>(options_.memoryBudget / kBlocksPerBudget, kMinBlock, kMaxBuffer);
}

SortedLines::~SortedLines() {
  StopHelpers();
}

// --- taking the content ---------------------------------------------------------

std::unique_ptr<SortedLines::Block> SortedLines::NewBlock() {
  std::unique_ptr<Block> block;
  if (spare_.empty()) {
    block = std::make_unique<Block>();
  } else {
    block = std::move(spare_.back());
    spare_.pop_back();
  }
  block->size = 0;
  block->dispatchAt = blockBytes_;
  block->skipLf = false;
  block->last = false;
  block->state = Block::State::kFilling;
  block->texts.clear();
  block->error = nullptr;
  return block;
}

void SortedLines::MakeRoom(Block& block, std::size_t bytes) {
  // Grown in place or moved by the system: a long line is never copied.
  if (block.bytes.size() - block.size < bytes)
    block.bytes.Resize(std::max(block.size + bytes, block.dispatchAt));
}

void SortedLines::Feed(std::string_view bytes) {
  while (!ended_ && !bytes.empty()) {
    const std::size_t take = std::min(bytes.size(), blockBytes_);
    std::memcpy(ReadRoom(take), bytes.data(), take);
    Filled(take);
    bytes.remove_prefix(take);
  }
}

char* SortedLines::ReadRoom(std::size_t bytes) {
  if (!filling_) filling_ = NewBlock();
  MakeRoom(*filling_, bytes);
  return filling_->bytes.data() + filling_->size;
}

void SortedLines::Filled(std::size_t bytes) {
  if (ended_) return;
  filling_->size += bytes;
  if (filling_->size >= filling_->dispatchAt) Dispatch();
}

void SortedLines::Dispatch() {
  Block& full = *filling_;
  std::size_t cut = full.size;
  while (cut > 0 && full.bytes[cut - 1] != '\r' && full.bytes[cut - 1] != '\n') --cut;
  if (cut == 0 && !full.last) {
    full.dispatchAt *= 2;  // one line longer than a block: let it grow
    return;
  }
  std::unique_ptr<Block> next;
  if (!full.last) {
    next = NewBlock();
    if (full.size > cut) {
      MakeRoom(*next, full.size - cut);
      std::memcpy(next->bytes.data(), full.bytes.data() + cut, full.size - cut);
      next->size = full.size - cut;
    }
    next->skipLf = full.bytes[cut - 1] == '\r';
    full.size = cut;
  }
  {
    const std::lock_guard lock(mutex_);
    full.state = Block::State::kReady;
    blocks_.push_back(std::move(filling_));
  }
  changed_.notify_all();
  filling_ = std::move(next);
  if (blocks_.size() > 1) StartHelpers();
  TakeBlocks(false);
}

void SortedLines::TakeBlocks(bool all) {
  // Blocks in flight, split or waiting: enough to keep every thread busy.
  const std::size_t inFlight = all ? 0 : std::size_t{workers_} + 1;
  std::unique_lock lock(mutex_);
  while (blocks_.size() > inFlight) {
    Block& front = *blocks_.front();
    if (front.state == Block::State::kSplit) {
      std::unique_ptr<Block> taken = std::move(blocks_.front());
      blocks_.pop_front();
      lock.unlock();
      TakeTexts(*taken);
      // Blocks are reused: the ones in flight, the one filling and those
      // spare cost at most what the largest did, but for one grown for a
      // long line, which gives its memory back.
      if (taken->dispatchAt > blockBytes_) {
        taken->bytes.Clear();
      } else {
        blocksBytes_ = std::max(
            blocksBytes_,
            (workers_ + 3) * (taken->bytes.Bytes() + taken->texts.capacity() * sizeof(TextSpan)));
      }
      spare_.push_back(std::move(taken));
      MaybeSpill();
      lock.lock();
      continue;
    }
    // This thread splits the oldest block no helper has taken, or waits.
    if (Block* ready = FirstReady()) {
      Split(*ready, 0, collation_, scratch_, lock);
    } else {
      changed_.wait(lock);
    }
  }
}

SortedLines::Block* SortedLines::FirstReady() {
  for (const auto& block : blocks_) {
    if (block->state == Block::State::kReady) return block.get();
  }
  return nullptr;
}

void SortedLines::Split(Block& block, unsigned worker, LineCollation& collation,
                        std::string& scratch, std::unique_lock<std::mutex>& lock) {
  block.state = Block::State::kSplitting;
  ++splitting_;
  lock.unlock();
  try {
    SplitBlock(block, digits_.Lane(worker), collation, scratch);
    digits_.Publish(worker);
  } catch (...) {
    block.error = std::current_exception();
  }
  lock.lock();
  block.state = Block::State::kSplit;
  --splitting_;
  changed_.notify_all();
}

void SortedLines::SplitBlock(Block& block, DigitLane& lane, LineCollation& collation,
                             std::string& scratch) {
  block.texts.clear();
  const char* const data = block.bytes.data();
  const char* const end = data + block.size;
  const char* p = data;
  if (block.skipLf && p < end && *p == '\n') ++p;
  while (p < end) {
    // Digit lines, the common case, are read as they are split.
    const char* const start = p;
    const char* const digitsEnd = end - p > kMaxDigitLineLength ? p + kMaxDigitLineLength : end;
    std::uint64_t value = 0;
    if constexpr (std::endian::native == std::endian::little) {
      std::uint64_t eight = 0;
      if (end - p >= 8 && (std::memcpy(&eight, p, 8), EightDigits(eight))) {
        value = EightDigitsValue(eight);
        p += 8;
      }
    }
    for (unsigned digit;
         p < digitsEnd && (digit = static_cast<unsigned char>(*p) - unsigned{'0'}) <= 9; ++p) {
      value = value * 10 + digit;
    }
    // Only the last block ends without a break.
    if (p == end || *p == '\r' || *p == '\n') {
      lane.Add(value, static_cast<unsigned>(p - start));
      if (p == end) break;
      p = PastBreak(p, end);
      continue;
    }
    const char* const brk = FindBreak(p, end);
    const std::string_view line(start, static_cast<std::size_t>(brk - start));
    block.texts.push_back({static_cast<std::size_t>(start - data), line.size(),
                           TextLines::IdentityHash(line, collation, scratch)});
    if (scratch.capacity() > kMaxBuffer) std::string().swap(scratch);  // after a long line
    if (brk == end) break;
    p = PastBreak(brk, end);
  }
}

void SortedLines::TakeTexts(Block& block) {
  if (block.error) std::rethrow_exception(block.error);
  constexpr std::size_t kSlotAhead = 12;
  constexpr std::size_t kLineAhead = 4;
  const std::vector<TextSpan>& texts = block.texts;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i + kSlotAhead < texts.size())
      __builtin_prefetch(text_.SlotFor(texts[i + kSlotAhead].hash));
    if (i + kLineAhead < texts.size())
      __builtin_prefetch(text_.LikeRepeat(texts[i + kLineAhead].hash));
    if (!text_.HasRoom()) Spill();
    text_.Add(std::string_view(block.bytes.data() + texts[i].offset, texts[i].length),
              texts[i].hash, collation_);
  }
}

void SortedLines::EndOfContent() {
  if (ended_) return;
  if (filling_ && filling_->size > 0) {
    filling_->last = true;
    Dispatch();
  }
  filling_.reset();
  TakeBlocks(true);
  StopHelpers();
  spare_.clear();
  ended_ = true;
}

// --- helper threads ---------------------------------------------------------------

void SortedLines::StartHelpers() {
  if (helpersTried_ || workers_ < 2) return;
  helpersTried_ = true;
  collations_.Prepare(workers_);
  for (unsigned worker = 1; worker < workers_; ++worker) {
    try {
      helpers_.emplace_back([this, worker] { HelperLoop(worker); });
    } catch (const std::system_error&) {
      break;  // no thread to be had: this one splits the blocks
    }
  }
}

void SortedLines::StopHelpers() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (auto& helper : helpers_) helper.join();
  helpers_.clear();
  stopping_ = false;
}

void SortedLines::HelperLoop(unsigned worker) {
  LineCollation& collation = collations_[worker];
  std::string scratch;
  std::unique_lock lock(mutex_);
  for (;;) {
    Block* ready = nullptr;
    changed_.wait(lock, [&] { return stopping_ || (!paused_ && (ready = FirstReady())); });
    if (stopping_) return;
    Split(*ready, worker, collation, scratch, lock);
  }
}

void SortedLines::Pause() {
  std::unique_lock lock(mutex_);
  paused_ = true;
  changed_.wait(lock, [this] { return splitting_ == 0; });
}

void SortedLines::Resume() {
  {
    const std::lock_guard lock(mutex_);
    paused_ = false;
  }
  changed_.notify_all();
}

// --- runs -------------------------------------------------------------------------

void SortedLines::MaybeSpill() {
  // The helpers fill their lanes meanwhile: what they told is what counts.
  // Beside the lines: the blocks in flight, and the sort's tables and the
  // run's write buffer when they go to disk.
  const std::uint64_t beside = blocksBytes_ + kSortTableBytes + WriteBufferBytes();
  const std::uint64_t held = digits_.PublishedBytes() + text_.MemoryBytes();
  if (held > 0 && held + beside > options_.memoryBudget) Spill();
}

void SortedLines::Spill() {
  Pause();
  const struct Resuming {
    SortedLines* lines;
    ~Resuming() { lines->Resume(); }  // however the spill ends
  } resuming{this};
  if (!runFile_) runFile_ = std::make_unique<RunFile>(options_.runsBeside, options_.temporary);
  digits_.Sort(workers_);
  text_.Sort(collations_, workers_);
  runs_.push_back(WriteRun(*runFile_, *digits_.Source(), *text_.Source(), WriteBufferBytes()));
  ++runsWritten_;
  digits_.Clear();
  text_.Clear();
}

std::size_t SortedLines::FanIn() const {
  // Each run being merged reads its two parts through buffers of their own.
  return std::clamp<std::uint64_t>(options_.memoryBudget / (2 * kMinReadBuffer), 2, kMaxFanIn);
}

std::size_t SortedLines::ReadBufferBytes() const {
  // Beside the reads, a merge of runs writes one.
  const std::uint64_t reads =
      options_.memoryBudget - std::min<std::uint64_t>(options_.memoryBudget, WriteBufferBytes());
  return std::clamp<std::uint64_t>(reads / (2 * FanIn()), kMinBuffer, kMaxBuffer);
}

std::size_t SortedLines::WriteBufferBytes() const {
  return std::clamp<std::uint64_t>(options_.memoryBudget / 16, kMinBuffer, kMaxBuffer);
}

SortedLines::OpenRuns SortedLines::Open(std::size_t first, std::size_t last) {
  std::vector<std::unique_ptr<DigitSource>> digits;
  std::vector<std::unique_ptr<TextSource>> texts;
  OpenRuns open;
  for (std::size_t r = first; r < last; ++r) {
    digits.push_back(ReadRunDigits(*runFile_, runs_[r], ReadBufferBytes()));
    texts.push_back(ReadRunText(*runFile_, runs_[r], ReadBufferBytes()));
    open.lines += runs_[r].Lines();
  }
  open.digits = MergeSources(std::move(digits), DigitOrder());
  open.texts = MergeSources(std::move(texts), TextOrder(collation_));
  return open;
}

// Merges runs a group at a time, each group into one new run at the end of
// the file, until no more than `count` are left. Groups are of neighbouring
// runs, so a line's first occurrence still comes first.
void SortedLines::MergeRunsDownTo(std::size_t count) {
  std::uint64_t toMerge = 0;
  for (const Run& run : runs_) toMerge += run.End() - run.digitsAt;
  std::uint64_t merged = 0;
  const std::size_t fanIn = FanIn();
  while (runs_.size() > count) {
    std::vector<Run> fewer;
    for (std::size_t group = 0; group < runs_.size(); group += fanIn) {
      const std::size_t end = std::min(runs_.size(), group + fanIn);
      if (end - group == 1) {
        fewer.push_back(runs_[group]);
        continue;
      }
      {
        const OpenRuns open = Open(group, end);
        fewer.push_back(WriteRun(*runFile_, *open.digits, *open.texts, WriteBufferBytes()));
      }
      for (std::size_t r = group; r < end; ++r) {
        runFile_->Discard(runs_[r].digitsAt, runs_[r].End() - runs_[r].digitsAt);
        merged += runs_[r].End() - runs_[r].digitsAt;
      }
      Report(MergePhase::kMerging, std::min(1.0, double(merged) / double(toMerge)));
    }
    runs_ = std::move(fewer);
  }
}

// --- the result -------------------------------------------------------------------

std::int64_t SortedLines::Emit(LineSink& sink) {
  EndOfContent();
  // The share of the lines written, as the merge tells their number.
  auto writing = [this](std::uint64_t expected) {
    return [this, expected](std::int64_t lines) {
      Report(MergePhase::kWriting,
             std::min(1.0, double(lines) / double(std::max<std::uint64_t>(expected, 1))));
    };
  };
  if (runs_.empty()) {
    Report(MergePhase::kSorting, 0.0);
    digits_.Sort(workers_);
    text_.Sort(collations_, workers_,
               [this](double share) { Report(MergePhase::kSorting, share); });
    const auto digits = digits_.Source();
    const auto texts = text_.Source();
    return MergeInOrder(*digits, *texts, collation_, sink,
                        writing(digits_.Count() + text_.Count()));
  }

  if (digits_.Count() + text_.Count() > 0) Spill();
  MergeRunsDownTo(FanIn());
  const OpenRuns open = Open(0, runs_.size());
  return MergeInOrder(*open.digits, *open.texts, collation_, sink, writing(open.lines));
}

std::int64_t SortedLines::Emit(const std::function<void(std::string_view)>& emit) {
  FunctionSink sink(emit);
  return Emit(sink);
}

}  // namespace tools

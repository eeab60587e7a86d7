#pragma once
// The sort phase of the merge: the merged content split into lines, then
// every distinct line once, in the locale's order. The result is the same as
// inserting each line in turn by bisection into a sorted list that drops a
// line equal to one already there, the first occurrence staying with its
// own letter case; it is reached by sorting instead, O(n log n).
//
// Lines of ASCII digits alone travel as numbers (digit_lines.h) and never
// touch the collation but where they meet other lines; the other lines are
// held once each, repeats dropped as they come (text_lines.h); the two meet
// at the end (ordered_merge.h). Beyond the memory budget, what is held is
// sorted and written to disk as a run, and the runs are merged at the end
// (run_file.h): the output is the same, byte for byte.
//
// Content is taken in blocks of whole lines. With more than one processor,
// helper threads split blocks into lines as well, each into digit lines of
// its own and a list of the other lines with the hashes of their
// identities; this thread takes the other lines into the held set block by
// block, in the order of the content, so the first occurrence still stays.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tools/big_array.h"
#include "tools/digit_lines.h"
#include "tools/line_collation.h"
#include "tools/merge_progress.h"
#include "tools/ordered_merge.h"
#include "tools/run_file.h"
#include "tools/text_lines.h"

namespace tools {

class SortedLines {
 public:
  struct Options {
    // What the held lines may take before they go to disk; 0: no limit.
    std::uint64_t memoryBudget = 0;
    // The runs' temporary file goes beside this path (by default in the
    // system's temporary folder).
    std::filesystem::path runsBeside;
    RunFile::Temporary temporary = RunFile::Temporary::Unnamed;
    // Tests: other lines go to disk once they hold this many bytes.
    std::size_t textArenaBytes = TextLines::kMaxOffset;
    // Hears the phase and the share of it done, on the thread that feeds
    // and emits.
    std::function<void(MergePhase, double)> progress;
  };

  explicit SortedLines(LineCollation& collation) : SortedLines(collation, Options()) {}
  SortedLines(LineCollation& collation, Options options);
  ~SortedLines();
  SortedLines(const SortedLines&) = delete;
  SortedLines& operator=(const SortedLines&) = delete;

  // Splitting: a line ends at CR LF, CR or LF (LF then CR is two breaks), a
  // break at the very end adds no empty line. Every other byte, 0 included,
  // belongs to its line. Lines are not trimmed. Content may come in any pieces.
  void Feed(std::string_view bytes);
  // Room for at least `bytes` bytes of content, to read into before Filled.
  char* ReadRoom(std::size_t bytes);
  // `bytes` bytes of content are in the room.
  void Filled(std::size_t bytes);
  // The content is complete: a last line without a break is taken.
  void EndOfContent();

  // Hands every distinct line in order to `sink`; answers their number. An
  // error of the collation or a lack of memory (std::bad_alloc), on
  // whichever thread it happens, is raised here on the calling thread, as
  // are the runs' "Stream write error" and "Stream read error".
  std::int64_t Emit(LineSink& sink);
  std::int64_t Emit(const std::function<void(std::string_view)>& emit);

  // How many times what was held went to disk as a run.
  std::size_t RunsWritten() const { return runsWritten_; }

 private:
  struct TextSpan {
    std::size_t offset;
    std::size_t length;
    std::uint64_t hash;
  };
  // Content in whole lines, the last block's last line perhaps without its
  // break.
  struct Block {
    enum class State { kFilling, kReady, kSplitting, kSplit };
    BigArray<char> bytes;  // its size is the room; `size` bytes are filled
    std::size_t size = 0;
    std::size_t dispatchAt = 0;  // a block without a break grows past it
    bool skipLf = false;         // the block before ended in CR: an LF first completes that CR LF
    bool last = false;
    State state = State::kFilling;
    std::vector<TextSpan> texts;
    std::exception_ptr error;
  };

  std::unique_ptr<Block> NewBlock();
  void MakeRoom(Block& block, std::size_t bytes);
  // Sends the filled block's whole lines on; the rest begins the next one.
  void Dispatch();
  // Takes blocks in order as they are split; with `all`, until none is left.
  void TakeBlocks(bool all);
  // The oldest block no thread has taken, or none.
  Block* FirstReady();
  // Splits `block` on the worker's lane, without the lock.
  void Split(Block& block, unsigned worker, LineCollation& collation, std::string& scratch,
             std::unique_lock<std::mutex>& lock);
  void SplitBlock(Block& block, DigitLane& lane, LineCollation& collation, std::string& scratch);
  void TakeTexts(Block& block);
  void StartHelpers();
  void StopHelpers();
  void HelperLoop(unsigned worker);
  // Keeps the helpers from taking blocks while this thread sorts what they fill.
  void Pause();
  void Resume();

  void MaybeSpill();
  void Spill();
  // Runs first..last-1 merged into one digit source and one text source.
  struct OpenRuns {
    std::unique_ptr<DigitSource> digits;
    std::unique_ptr<TextSource> texts;
    std::uint64_t lines = 0;
  };
  OpenRuns Open(std::size_t first, std::size_t last);
  void MergeRunsDownTo(std::size_t count);
  std::size_t FanIn() const;
  std::size_t ReadBufferBytes() const;
  std::size_t WriteBufferBytes() const;
  void Report(MergePhase phase, double share) const {
    if (options_.progress) options_.progress(phase, share);
  }

  LineCollation& collation_;
  Options options_;
  Collations collations_;
  unsigned workers_;
  std::size_t blockBytes_;
  // What blocks in flight may take, as large as the largest seen so far.
  std::size_t blocksBytes_ = 0;
  bool ended_ = false;

  DigitLines digits_;
  TextLines text_;
  std::unique_ptr<RunFile> runFile_;
  std::vector<Run> runs_;
  std::size_t runsWritten_ = 0;

  std::unique_ptr<Block> filling_;
  std::deque<std::unique_ptr<Block>> blocks_;  // sent on, in order
  std::vector<std::unique_ptr<Block>> spare_;
  std::string scratch_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> helpers_;
  bool helpersTried_ = false;
  bool stopping_ = false;
  bool paused_ = false;
  unsigned splitting_ = 0;  // blocks being split now
};

}  // namespace tools

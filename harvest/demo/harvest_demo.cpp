// Runs whole searches through the engine with stand-ins for the window, the
// browser and the timer. Each keyword gets three made-up result pages; the
// timer "fires" as soon as it is armed, and the wait it was given is printed.

#include <cstdio>
#include <iostream>
#include <string>

#include "harvest/errors.h"
#include "harvest/file_stream.h"
#include "harvest/search_run.h"

namespace {

using namespace harvest;

class ConsoleWorld final : public RunReports,
                           public RunSettings,
                           public PageBrowser,
                           public RunTimer,
                           public AddressLookup,
                           public ProgressWriter,
                           public RunFilesKeeper,
                           public ResultListObserver {
 public:
  // RunSettings
  bool Deduplicate() const override { return true; }
  std::string IntervalText() const override { return "8"; }

  // RunReports
  void ReportKeywordNumber(int number) override { std::cout << "keyword " << number << '\n'; }
  void ReportFoundCount(int) override {}
  void ReportState(RunState state) override { running_ = state != RunState::kIdle; }
  void ReportFinished(const RunSummary& summary) override {
    std::cout << "finished: " << summary.found << " numbers from " << summary.pagesRead
              << " pages\n";
  }
  void Tell(RunMessage message) override {
    std::cout << (message == RunMessage::kNotConnected ? "not connected\n"
                                                       : "resume point past the list\n");
  }
  void ReportEvent(const RunEvent& event) override {
    // The demo's pages always come; a page that did not would be said here.
    std::cout << "page event " << static_cast<int>(event.kind) << " at offset " << event.pageOffset << '\n';
  }
  void AskResumePoint(int, ResumeAnswer answer) override { answer("0"); }

  // PageBrowser: page n of every keyword shows a pager line until the third.
  void Navigate(const std::string& url) override {
    std::cout << "GET " << url << '\n';
    const int page = pageCounter_++ % 3;
    page_ = "result " + std::to_string(page) + " call 138" +
            std::to_string(10000000 + page * 1111) + " or +86 15" +
            std::to_string(900000000 + page) + "\r\n";
    if (page < 2) page_ += "1 2 3 \xCF\xC2\xD2\xBB\xD2\xB3>\r\n";  // "下一页>"
  }
  // Each page has loaded by its tick.
  bool LoadEnded() const override { return true; }
  void WhenLoadEnds(LoadEndHandler) override {}
  void RequestPageText(PageTextHandler handler) override {
    handler({page_, nullptr, {PageLoad::Ending::kLoaded, 200, {}}});
  }

  // RunTimer
  void SetInterval(int ms) override { interval_ = ms; }
  void SetEnabled(bool enabled) override { armed_ = enabled; }

  std::vector<std::string> HostAddresses() override { return {"127.0.0.1", "192.0.2.10"}; }
  void WriteProgress() override { std::cout << "progress recorded\n"; }
  // The demo keeps its numbers on the console, which never fails.
  void TryWritingAgain() override {}

  void BeginAppend(int) override {}
  void EndAppend(int) override {}
  void BeginClear() override {}
  void EndClear() override {}

  bool armed_ = false;
  bool running_ = false;
  int interval_ = 0;

 private:
  int pageCounter_ = 0;
  std::string page_;
};

}  // namespace

int main(int argc, char** argv) {
  ConsoleWorld world;
  ResultList results;
  results.SetObserver(&world);
  SearchRun run({world, world, world, world, world, world, world}, results);
  try {
    if (argc > 1) {
      run.KeywordList() = LoadLines(FilePath::Ascii(argv[1]));
    } else {
      run.KeywordList() = {"mobile", "shop phone"};
    }
    run.Start();
    while (world.armed_) {
      std::cout << "  wait " << world.interval_ << " ms\n";
      run.Tick();
    }
  } catch (const Exception& e) {
    std::cerr << "error: " << e.Message() << '\n';
    return 1;
  }
  std::cout << run.FoundCount() << " numbers:\n";
  for (const auto& number : results.Rows()) std::cout << "  " << number << '\n';
  return 0;
}

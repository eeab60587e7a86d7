// The search run as the window drives it: its commands, the timer's tick,
// and the page texts the browser answers with, which carry the run on.

#include "shell/error_handler.h"
#include "shell/main_window.h"
#include "shell/result_list_model.h"

namespace shell {
namespace {

// Freed memory goes back to the system after this many pages.
constexpr int kPagesPerMemoryReturn = 10;

}  // namespace

void MainWindow::StartSearch() {
  run_->Start();
  KeepRecord();  // a new run empties the list
}

void MainWindow::StopSearch() {
  run_->Stop();
}

void MainWindow::OnTimerTick() {
  // A merge runs to its end first, as if it held the thread; the timer's
  // later ticks meanwhile are the same one tick.
  if (merge_) {
    tickDue_ = true;
    return;
  }
  tickDue_ = false;
  Guarded([this] { run_->Tick(); });
  // A browser may answer at once.
  resultModel_->ShowNewRows();
}

void MainWindow::Navigate(const std::string& url) {
  browser_->Navigate(url);
}

void MainWindow::RequestPageText(PageTextHandler handler) {
  browser_->RequestPageText([this, handler = std::move(handler)](harvest::PageText page) {
    TakePageText(handler, std::move(page));
  });
}

void MainWindow::TakePageText(const PageTextHandler& handler, harvest::PageText page) {
  if (merge_) {
    pageTexts_.push_back([this, handler, page = std::move(page)] { CarryRunOn(handler, page); });
    return;
  }
  CarryRunOn(handler, std::move(page));
  CloseIfWaiting();
}

void MainWindow::CarryRunOn(const PageTextHandler& handler, harvest::PageText page) {
  // The page's step of the run: scanned, the next page asked for, or the
  // run finished; its errors (a failed read, a progress file that cannot
  // be written) end here.
  const std::uint64_t finishedBefore = run_->RunsFinished();
  Guarded([&] { handler(std::move(page)); });
  resultModel_->ShowNewRows();
  KeepRecord();
  if (run_->RunsFinished() != finishedBefore) TellRunEnded();
  if (++pageSteps_ % kPagesPerMemoryReturn == 0) options_.returnFreedMemory();
}

bool MainWindow::Busy() const {
  return merge_ || run_->Phase() == harvest::RunPhase::kReadingPage;
}

void MainWindow::CloseIfWaiting() {
  if (closeWaiting_ && !Busy()) {
    closeWaiting_ = false;
    close();
  }
}

}  // namespace shell

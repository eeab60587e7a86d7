// The search session without a window: its states and what it announces,
// what waits for a merge or a page read, and its settings and records.

#include "shell/search_session.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <fstream>

#include "../harvest/gbk.h"
#include "../harvest/lone_record.h"
#include "held_input.h"
#include "platform/gbk_codec.h"
#include "qt_test_helpers.h"
#include "shell_fixture.h"

namespace {

using RunState = shell::SearchSession::RunState;
using MergeState = shell::SearchSession::MergeState;

// Answers the session's questions as the test says and records them.
class FakePrompts final : public shell::SessionPrompts {
 public:
  std::optional<QString> AskResumePoint(int offered) override {
    offers.push_back(offered);
    return resumeAnswer;
  }
  void Tell(harvest::RunMessage message) override { told.push_back(message); }
  RestoreAnswer AskToRestore(const harvest::RecoveredRun& found) override {
    restoreOffers.push_back(static_cast<int>(found.rows.size()));
    return restore;
  }
  void TellRecordKeptForLater() override { ++keptForLater; }
  void TellRecordRefused(const QString& path, harvest::RefusalReason reason) override {
    refusals.emplace_back(path, reason);
  }
  void TellRecordShared() override { ++shared; }
  void TellRecordFailure(const QString& failure) override { failures << failure; }
  void TellRunFileFailure(const QString& path, const QString& failure) override {
    runFileFailures << path + QStringLiteral(": ") + failure;
  }

  std::optional<QString> resumeAnswer = QStringLiteral("0");
  RestoreAnswer restore = RestoreAnswer::kRestore;
  std::vector<int> offers;
  std::vector<harvest::RunMessage> told;
  std::vector<int> restoreOffers;
  int shared = 0;
  int keptForLater = 0;
  std::vector<std::pair<QString, harvest::RefusalReason>> refusals;
  QStringList failures;
  QStringList runFileFailures;
};

class SearchSessionTest : public MainWindowTest {
 protected:
  std::unique_ptr<shell::SearchSession> MakeSession() {
    auto session = std::make_unique<shell::SearchSession>(Options());
    session->SetPrompts(&prompts_);
    QObject::connect(session.get(), &shell::SearchSession::RunStateChanged,
                     [this](RunState state) { states_.push_back(state); });
    QObject::connect(session.get(), &shell::SearchSession::RunStatusChanged,
                     [this](harvest::RunStatus status) { statuses_.push_back(status); });
    return session;
  }
  // A run of two keywords whose pages have no pager line, started.
  void Start(shell::SearchSession& session) {
    session.Run().KeywordList() = {"k1", "k2"};
    session.StartSearch();
    ASSERT_FALSE(browser_->navigated.empty());
    for (const auto& url : browser_->navigated) browser_->pages[url] = "13800000001";
  }
  // Ticks and lets the event loop deliver the page's text.
  void TickAndSettle(shell::SearchSession& session) {
    session.OnTick();
    WaitFor([&] { return session.Run().Phase() != harvest::RunPhase::kReadingPage; }, 2000);
    for (const auto& url : browser_->navigated) browser_->pages.try_emplace(url, "15900000002");
  }

  FakePrompts prompts_;
  std::vector<RunState> states_;
  std::vector<harvest::RunStatus> statuses_;
};

TEST_F(SearchSessionTest, AWholeRunMovesThroughItsStatesAndSaysEachChangeOnce) {
  auto session = MakeSession();
  EXPECT_EQ(session->GetRunState(), RunState::kIdle);
  EXPECT_TRUE(session->CanStart());
  EXPECT_TRUE(session->CanStop());  // Stop too, at program start
  Start(*session);
  EXPECT_FALSE(session->CanStart());
  TickAndSettle(*session);
  TickAndSettle(*session);
  EXPECT_EQ(states_,
            (std::vector<RunState>{RunState::kWaiting, RunState::kReading, RunState::kWaiting,
                                   RunState::kReading, RunState::kIdle}));
  EXPECT_EQ(statuses_, (std::vector<harvest::RunStatus>{
                           harvest::RunStatus::kStarting, harvest::RunStatus::kSearching,
                           harvest::RunStatus::kSearching, harvest::RunStatus::kFinished}));
  EXPECT_EQ(session->FoundCount(), 2);
  EXPECT_EQ(session->KeywordNumber(), 2);
  EXPECT_TRUE(session->CanStart());
  EXPECT_FALSE(session->CanStop());
  EXPECT_EQ(prompts_.offers, std::vector<int>{0});
}

// Stop in each state of the run: where it goes, and where the page's text
// (if one is to come) then takes it.
struct StopCase {
  const char* what;
  int ticks;      // ticks before Stop
  bool holdRead;  // the last tick's text still to come at Stop
  RunState afterStop;
  RunState afterText;  // once the text has come (or at once, with none)
  int progressWrites;  // resume points written by then
  bool held = false;   // the first page did not come: the run holds
};

TEST_F(SearchSessionTest, StopInEachStateEndsTheRunOnceThePageAskedForIsRead) {
  const StopCase cases[] = {
      {"idle, before any run", -1, false, RunState::kIdle, RunState::kIdle, 0},
      {"waiting for the first page", 0, false, RunState::kStopping, RunState::kIdle, 1},
      {"reading the first page", 1, true, RunState::kStopping, RunState::kIdle, 1},
      {"waiting for the second keyword", 1, false, RunState::kStopping, RunState::kIdle, 1},
      {"holding: no page is on its way, the run ends at once", 1, false, RunState::kIdle,
       RunState::kIdle, 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(dir_.Path() / harvest::kProgressFileName);
    auto session = MakeSession();
    if (c.ticks >= 0) Start(*session);
    if (c.held) browser_->loads = {{harvest::PageLoad::Ending::kNetworkFailed, 0, ""}};
    for (int i = 0; i < c.ticks; ++i) {
      browser_->holdAnswers = c.holdRead && i + 1 == c.ticks;
      TickAndSettle(*session);
    }
    if (c.held) {
      EXPECT_EQ(session->GetRunState(), RunState::kHolding);
    }
    session->StopSearch();
    EXPECT_EQ(session->GetRunState(), c.afterStop);
    EXPECT_TRUE(session->CanStart());
    EXPECT_FALSE(session->CanStop());
    EXPECT_EQ(statuses_.back(),
              c.held ? harvest::RunStatus::kFinished : harvest::RunStatus::kStopping);
    if (c.held) {
      EXPECT_EQ(session->Run().ResumePoint(), 0);  // the keyword being searched
    } else if (c.holdRead) {
      browser_->holdAnswers = false;
      browser_->AnswerHeld();
    } else if (c.ticks >= 0) {
      TickAndSettle(*session);  // the page already asked for is still read
    }
    EXPECT_EQ(session->GetRunState(), c.afterText);
    EXPECT_EQ(std::filesystem::exists(dir_.Path() / harvest::kProgressFileName),
              c.progressWrites > 0);
    if (c.ticks >= 0) {
      EXPECT_EQ(statuses_.back(), harvest::RunStatus::kFinished);
    }
    states_.clear();
    statuses_.clear();
    browser_ = nullptr;
  }
}

// What comes while the session is busy, and when it is taken.
struct WhileBusy {
  const char* what;
  bool merge;      // a merge runs
  bool reading;    // a page's text is still to come
  bool tick;       // the run's timer falls due
  bool close;      // the user closes
  int foundAfter;  // once the merge has ended and the text has come
  bool closeDue;   // the close may go ahead by then
};

TEST_F(SearchSessionTest, WhatComesWhileBusyWaitsAndIsTakenInOrder) {
  const WhileBusy cases[] = {
      {"a close during a read: after the text", false, true, false, true, 1, true},
      {"a tick during a merge: after it", true, false, true, false, 1, false},
      {"a page text during a merge: after it", true, true, false, false, 1, false},
      {"a tick and a close during a merge: the step, then the close", true, false, true, true, 1,
       true},
      {"a close during a merge and a read: after both", true, true, false, true, 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir_.Path() / "pipe.txt");
    auto session = MakeSession();
    QSignalSpy closeDue(session.get(), &shell::SearchSession::CloseDue);
    Start(*session);
    browser_->holdAnswers = c.reading;
    if (c.reading) session->OnTick();

    std::unique_ptr<HeldInput> pipe;
    if (c.merge) {
      pipe = std::make_unique<HeldInput>(dir_.Path() / "pipe.txt");
      session->MergeDataFiles({dir_.File("pipe.txt")}, dir_.File("merged.txt"));
      EXPECT_EQ(session->GetMergeState(), MergeState::kRunning);
    }
    if (c.tick) session->OnTick();
    if (c.close) {
      ASSERT_TRUE(session->Busy());
      session->CloseWhenIdle();
      EXPECT_EQ(closeDue.count(), 0);
    }
    if (c.reading) {
      browser_->holdAnswers = false;
      browser_->AnswerHeld();
    }
    Settle(50);
    EXPECT_EQ(closeDue.count(), c.close && !c.merge ? 1 : 0);
    EXPECT_EQ(session->FoundCount(), c.merge ? 0 : c.foundAfter) << "taken during the merge";
    if (pipe) {
      pipe->Release("1\r\n");
      ASSERT_TRUE(WaitFor([&] { return session->GetMergeState() == MergeState::kNone; }, 30000));
      WaitFor([&] { return session->Run().Phase() != harvest::RunPhase::kReadingPage; }, 2000);
    }
    EXPECT_EQ(session->FoundCount(), c.foundAfter);
    EXPECT_EQ(closeDue.count(), c.closeDue ? 1 : 0);
    EXPECT_FALSE(session->Busy());
  }
}

// The lines of the one file in runs/, once the writing thread has them all.
std::vector<std::string> RunFileLines(const std::filesystem::path& runs, std::size_t expected) {
  std::vector<std::string> lines;
  QElapsedTimer clock;
  clock.start();
  do {
    lines.clear();
    for (const auto& entry : std::filesystem::directory_iterator(runs)) {
      std::ifstream in(entry.path(), std::ios::binary);
      std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      for (std::size_t at = 0, end; (end = content.find("\r\n", at)) != std::string::npos;
           at = end + 2)
        lines.push_back(content.substr(at, end - at));
    }
    if (lines.size() >= expected) break;
    Settle(10);
  } while (clock.elapsed() < 3000);
  return lines;
}

TEST_F(SearchSessionTest, EveryNumberARunCountsIsInItsOwnFileAsTheListDropsThem) {
  auto session = MakeSession();
  session->RestoreAtStart();  // the record, which will name the file
  QSignalSpy named(session.get(), &shell::SearchSession::RunFileChanged);
  session->SetDeduplicate(true);
  session->Run().KeywordList() = {"k"};
  session->StartSearch();
  ASSERT_EQ(named.count(), 1);
  const QString file = session->RunFile();
  EXPECT_TRUE(
      file.startsWith(QString::fromStdString(dir_.Path().string()) + QStringLiteral("/runs/")));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("/runs/\\d{4}-\\d\\d-\\d\\d_\\d{6}\\.txt$"))
                  .match(file)
                  .hasMatch())
      << file.toStdString();
  std::vector<std::string> all;
  for (int page = 0; page < 4; ++page) {
    // 20 numbers a page, each page a new set: the list empties at 51 rows.
    std::string text = "1 2 " + Gbk("下一页>") + "\r\n";
    for (int i = 0; i < 20; ++i) {
      all.push_back("13" + std::to_string(100000000 + page * 100 + i));
      text += all.back() + (i % 3 == 2 ? "\r\n" : " ");
    }
    browser_->pages[browser_->navigated.back()] = text;
    TickAndSettle(*session);
    EXPECT_EQ(RunFileLines(dir_.Path() / "runs", all.size()), all) << "after page " << page;
    EXPECT_EQ(session->FoundCount(), static_cast<int>(all.size()));
  }
  EXPECT_LT(session->Results().Count(), session->FoundCount());  // the list kept its rule
  EXPECT_EQ(std::filesystem::status(dir_.Path() / "runs" /
                                    std::filesystem::path(file.toStdString()).filename())
                .permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  // The record names it, so that a restored run is known by its file.
  session->Recovery().Flush();
  EXPECT_EQ(
      platform::FromGbk(harvest::DecodeRecord(dir_.Read(harvest::kRecoveryFileName)).place.runFile),
      file);

  // A crash; the next start restores the run, and the run that resumes it
  // goes on in the same file. The one after that has a file of its own.
  session.reset();
  // The crash came between a step's numbers and its record part: the file
  // holds a number the record does not count, and the resumed run reads its
  // page again.
  { std::ofstream(file.toStdString(), std::ios::binary | std::ios::app) << "13999999999\r\n"; }
  auto next = MakeSession();
  next->RestoreAtStart();
  EXPECT_EQ(next->RunFile(), file);
  next->Run().KeywordList() = {"k"};
  next->StartSearch();
  EXPECT_EQ(next->RunFile(), file);
  browser_->pages[browser_->navigated.back()] = "13900000001\r\n";
  TickAndSettle(*next);
  all.push_back("13900000001");
  EXPECT_EQ(RunFileLines(dir_.Path() / "runs", all.size()), all);
  ASSERT_EQ(next->GetRunState(), RunState::kIdle);  // no next page: the run ended
  next->StartSearch();
  EXPECT_NE(next->RunFile(), file);
}

TEST_F(SearchSessionTest, TheProgressFileComesBackAsSettingsAndGoesOutAsTyped) {
  dir_.Write(harvest::kProgressFileName, Gbk("D:\\关键字.txt") + "\r\n4\r\nqcyes\r\n5000\r\n");
  auto session = MakeSession();
  QSignalSpy file(session.get(), &shell::SearchSession::KeywordFileChanged);
  QSignalSpy dedupe(session.get(), &shell::SearchSession::DeduplicateChanged);
  QSignalSpy interval(session.get(), &shell::SearchSession::IntervalTextChanged);
  session->RestoreAtStart();
  EXPECT_EQ(session->KeywordFile(), QStringLiteral("D:\\关键字.txt"));
  EXPECT_TRUE(session->Deduplicate());
  EXPECT_EQ(session->IntervalTextShown(), QStringLiteral("1000"));  // into the field's range
  EXPECT_EQ(session->Run().KeywordIndex(), 4);
  EXPECT_EQ(file.count(), 1);
  EXPECT_EQ(dedupe.count(), 1);
  EXPECT_EQ(interval.count(), 1);

  // A value still being typed goes out as it stands; GBK bytes go back as
  // they came.
  session->SetIntervalText(QStringLiteral("0"));
  session->SetDeduplicate(false);
  session->SaveProgress();
  EXPECT_EQ(dir_.Read(harvest::kProgressFileName),
            Gbk("D:\\关键字.txt") + "\r\n3\r\nqcno\r\n0\r\n");
}

struct RecordAtStart {
  const char* what;
  std::vector<std::string> rows;  // in the record
  shell::SessionPrompts::RestoreAnswer answer;
  int found;         // FoundCount afterwards
  int keywordIndex;  // the resume point afterwards
  bool askedAgain;   // the next start asks once more
};

TEST_F(SearchSessionTest, ARunLeftInTheRecordIsOfferedBackUntilTheUserSaysNo) {
  using Answer = shell::SessionPrompts::RestoreAnswer;
  const std::vector<std::string> two{"13800000001", "13800000002"};
  const RecordAtStart cases[] = {
      {"yes: the rows, the count and the place come back", two, Answer::kRestore, 3, 5, true},
      {"no: nothing comes back, nothing is asked again", two, Answer::kDiscard, 0, 0, false},
      {"closed: nothing comes back now, the next start asks again", two, Answer::kLater, 0, 0,
       true},
      {"the place alone: offered too, and put back", {}, Answer::kRestore, 3, 5, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    {
      harvest::LoneRecord record(dir_.Path() / harvest::kRecoveryFileName);
      harvest::ResultList list;
      for (const auto& row : c.rows) list.Append(row);
      record.Restart(list, {5, 3, Gbk("kw.txt"), true, ""});
    }
    const std::string before = dir_.Read(harvest::kRecoveryFileName);
    prompts_.restore = c.answer;
    prompts_.restoreOffers.clear();
    prompts_.keptForLater = 0;
    {
      auto session = MakeSession();
      QSignalSpy rows(session.get(), &shell::SearchSession::RowsAdded);
      session->RestoreAtStart();
      EXPECT_EQ(prompts_.restoreOffers, std::vector<int>{static_cast<int>(c.rows.size())});
      EXPECT_EQ(session->FoundCount(), c.found);
      EXPECT_EQ(session->Results().Count(),
                c.answer == Answer::kRestore ? static_cast<int>(c.rows.size()) : 0);
      EXPECT_EQ(rows.count(), c.answer == Answer::kRestore ? 1 : 0);
      EXPECT_EQ(session->Run().KeywordIndex(), c.keywordIndex);
      EXPECT_EQ(session->Deduplicate(), c.answer == Answer::kRestore);
      EXPECT_EQ(prompts_.keptForLater, c.answer == Answer::kLater ? 1 : 0);
      if (c.answer == Answer::kLater) {
        EXPECT_FALSE(session->Recovery().Held());
        session->EndNormally();  // an ordinary end does not take it away either
        EXPECT_EQ(dir_.Read(harvest::kRecoveryFileName), before);
      }
    }
    // The next start.
    prompts_.restoreOffers.clear();
    prompts_.restore = Answer::kDiscard;
    auto next = MakeSession();
    next->RestoreAtStart();
    EXPECT_EQ(prompts_.restoreOffers.size(), c.askedAgain ? 1u : 0u);
    next.reset();
    std::filesystem::remove(dir_.Path() / harvest::kRecoveryFileName);
  }
}

TEST_F(SearchSessionTest, AFileTheRecordCannotTrustIsNamedAndLeftAlone) {
  std::ofstream(dir_.Path() / "victim.txt") << "mine";
  std::filesystem::create_symlink(dir_.Path() / "victim.txt",
                                  dir_.Path() / harvest::kRecoveryFileName);
  auto session = MakeSession();
  session->RestoreAtStart();
  ASSERT_EQ(prompts_.refusals.size(), 1u);
  EXPECT_EQ(prompts_.refusals[0].first,
            QString::fromStdString((dir_.Path() / harvest::kRecoveryFileName).string()));
  EXPECT_EQ(prompts_.refusals[0].second, harvest::RefusalReason::kSymbolicLink);
  EXPECT_FALSE(session->Recovery().Held());
  EXPECT_EQ(dir_.Read("victim.txt"), "mine");
}

TEST_F(SearchSessionTest, ARecordAnotherProgramKeepsIsSaidOnce) {
  harvest::LoneRecord held(dir_.Path() / harvest::kRecoveryFileName);
  ASSERT_TRUE(held.Held());
  auto session = MakeSession();
  session->RestoreAtStart();
  EXPECT_EQ(prompts_.shared, 1);
  EXPECT_FALSE(session->Recovery().Held());
  EXPECT_TRUE(prompts_.failures.isEmpty());
}

}  // namespace

// The search session without a window: its states and what it says in
// signals, what waits for a merge or a page read, failures told when they
// happen, and its settings and records.

#include "session/search_session.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <fstream>
#include <set>

#include "../harvest/gbk.h"
#include "../harvest/lone_record.h"
#include "file_size_limit.h"
#include "harvest/crc32.h"
#include "held_input.h"
#include "platform/gbk_codec.h"
#include "session_fixture.h"

namespace {

using session::SearchSession;
using State = harvest::RunState;

class SearchSessionTest : public SessionTest {
 protected:
  std::unique_ptr<SearchSession> MakeSession() {
    auto made = std::make_unique<SearchSession>(Options());
    made->SetQuestions(&questions_);
    QObject::connect(made.get(), &SearchSession::StateChanged,
                     [this](State state, bool) { states_.push_back(state); });
    QObject::connect(made.get(), &SearchSession::RunEnded,
                     [this](const harvest::RunSummary& summary, const QString&) {
                       summaries_.push_back(summary);
                     });
    QObject::connect(made.get(), &SearchSession::FileFailed,
                     [this](const session::FileFailure& failure) { failures_.push_back(failure); });
    QObject::connect(made.get(), &SearchSession::RecordNotKept,
                     [this](const session::RecordNotice& notice) { notices_.push_back(notice); });
    return made;
  }
  // The keywords, imported as the user does.
  void Import(SearchSession& s, const std::string& lines) {
    s.ImportKeywords(dir_.Write("keywords.txt", lines));
  }
  // A run of two keywords whose pages have no pager line, started.
  void Start(SearchSession& s) {
    Import(s, "k1\r\nk2\r\n");
    s.StartSearch();
    ASSERT_FALSE(browser_->navigated.empty());
    for (const auto& url : browser_->navigated) browser_->pages[url] = "13800000001";
  }
  // Ticks and lets the event loop deliver the page's text.
  void TickAndSettle(SearchSession& s) {
    s.OnTick();
    WaitFor([&] { return !s.Busy(); }, 2000);
    for (const auto& url : browser_->navigated) browser_->pages.try_emplace(url, "15900000002");
  }

  FakeQuestions questions_;
  std::vector<State> states_;
  std::vector<harvest::RunSummary> summaries_;
  std::vector<session::FileFailure> failures_;
  std::vector<session::RecordNotice> notices_;
};

TEST_F(SearchSessionTest, AWholeRunMovesThroughItsStatesAndEndsWithItsFigures) {
  auto s = MakeSession();
  EXPECT_EQ(s->GetState(), State::kIdle);
  EXPECT_FALSE(s->RunStarted());
  // The resume question is answered later: nothing starts until then.
  questions_.holdResume = true;
  Import(*s, "k1\r\nk2\r\n");
  s->StartSearch();
  EXPECT_TRUE(states_.empty());
  EXPECT_TRUE(browser_->navigated.empty());
  questions_.AnswerHeld(QStringLiteral("0"));
  EXPECT_TRUE(s->RunStarted());
  browser_->pages[browser_->navigated.at(0)] = "13800000001";
  TickAndSettle(*s);
  TickAndSettle(*s);
  EXPECT_EQ(states_, (std::vector<State>{State::kStarting, State::kWaitingForPage,
                                         State::kSearching, State::kWaitingForPage, State::kIdle}));
  // Called ended once its last numbers are on disk.
  ASSERT_TRUE(WaitFor([&] { return !summaries_.empty(); }));
  ASSERT_EQ(summaries_.size(), 1u);
  EXPECT_EQ(summaries_[0], (harvest::RunSummary{2, 2, 0, 0}));
  EXPECT_EQ(s->KeywordNumber(), 2);
  EXPECT_EQ(questions_.offers, std::vector<int>{0});
}

// Stop in each state of the run: where it goes, and where the page's text
// (if one is to come) then takes it.
struct StopCase {
  const char* what;
  int ticks;      // ticks before Stop; -1: no run
  bool holdRead;  // the last tick's text still to come at Stop
  State afterStop;
  State afterText;     // once the text has come (or at once, with none)
  int progressWrites;  // resume points written by then
  bool held = false;   // the first page did not come: the run holds
};

TEST_F(SearchSessionTest, StopInEachStateEndsTheRunOnceThePageAskedForIsRead) {
  const StopCase cases[] = {
      {"idle, before any run: stopping, with nothing to wait for", -1, false, State::kStopping,
       State::kStopping, 0},
      {"starting: the first page still to come", 0, false, State::kStopping, State::kIdle, 1},
      {"waiting for the first page's text", 1, true, State::kStopping, State::kIdle, 1},
      {"searching: the second keyword asked for", 1, false, State::kStopping, State::kIdle, 1},
      {"holding: no page is on its way, the run ends at once", 1, false, State::kIdle, State::kIdle,
       1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(dir_.Path() / harvest::kProgressFileName);
    auto s = MakeSession();
    if (c.ticks >= 0) Start(*s);
    if (c.held) browser_->loads = {{harvest::PageLoad::Ending::kNetworkFailed, 0, ""}};
    for (int i = 0; i < c.ticks; ++i) {
      browser_->holdAnswers = c.holdRead && i + 1 == c.ticks;
      TickAndSettle(*s);
    }
    if (c.held) {
      EXPECT_EQ(s->GetState(), State::kHolding);
    }
    s->StopSearch();
    EXPECT_EQ(s->GetState(), c.afterStop);
    if (c.holdRead) {
      browser_->holdAnswers = false;
      browser_->AnswerHeld();
    } else if (c.ticks >= 0 && !c.held) {
      TickAndSettle(*s);  // the page already asked for is still read
    }
    EXPECT_EQ(s->GetState(), c.afterText);
    EXPECT_EQ(std::filesystem::exists(dir_.Path() / harvest::kProgressFileName),
              c.progressWrites > 0);
    EXPECT_EQ(WaitFor([&] { return !summaries_.empty(); }, c.ticks >= 0 ? 5000 : 50), c.ticks >= 0);
    states_.clear();
    summaries_.clear();
    browser_ = nullptr;
  }
}

// What comes while the session is busy, and when it is taken.
struct WhileBusy {
  const char* what;
  bool merge;            // a merge runs
  bool reading;          // a page's text is still to come
  bool tick;             // the run's timer falls due
  bool close;            // the user closes
  int foundAfter;        // once the merge has ended and the text has come
  bool closeDue;         // the close may go ahead by then
  bool loading = false;  // the page still loads at the tick; its load ends during the merge
};

TEST_F(SearchSessionTest, WhatComesWhileBusyWaitsAndIsTakenInOrder) {
  const WhileBusy cases[] = {
      {"a close during a read: after the text", false, true, false, true, 1, true},
      {"a tick during a merge: after it", true, false, true, false, 1, false},
      {"a page text during a merge: after it", true, true, false, false, 1, false},
      {"a tick and a close during a merge: the step, then the close", true, false, true, true, 1,
       true},
      {"a close during a merge and a read: after both", true, true, false, true, 1, true},
      {"a load's end during a merge: the page is read after it", true, false, false, false, 1,
       false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir_.Path() / "pipe.txt");
    auto s = MakeSession();
    QSignalSpy closeDue(s.get(), &SearchSession::CloseDue);
    QSignalSpy changes(s.get(), &SearchSession::StateChanged);
    Start(*s);
    browser_->holdAnswers = c.reading;
    browser_->loading = c.loading;
    if (c.reading || c.loading) s->OnTick();

    std::unique_ptr<HeldInput> pipe;
    if (c.merge) {
      pipe = std::make_unique<HeldInput>(dir_.Path() / "pipe.txt");
      s->MergeDataFiles({dir_.File("pipe.txt")}, dir_.File("merged.txt"));
      EXPECT_TRUE(s->Merging());
      EXPECT_TRUE(changes.last().at(1).toBool()) << "the merge's start is told";
    }
    if (c.tick) s->OnTick();
    if (c.loading) {
      browser_->EndLoad();
      EXPECT_EQ(browser_->reads, 0) << "read during the merge";
    }
    if (c.close) {
      ASSERT_TRUE(s->Busy());
      s->CloseWhenIdle();
      EXPECT_EQ(closeDue.count(), 0);
    }
    if (c.reading) {
      browser_->holdAnswers = false;
      browser_->AnswerHeld();
    }
    EXPECT_EQ(closeDue.count(), c.close && !c.merge ? 1 : 0);
    EXPECT_EQ(s->FoundCount(), c.merge ? 0 : c.foundAfter) << "taken during the merge";
    if (pipe) {
      pipe->Release("1\r\n");
      ASSERT_TRUE(WaitFor([&] { return !s->Merging(); }, 30000));
      EXPECT_FALSE(changes.last().at(1).toBool()) << "the merge's end is told";
      WaitFor([&] { return !s->Busy(); }, 2000);
    }
    EXPECT_EQ(s->FoundCount(), c.foundAfter);
    EXPECT_EQ(closeDue.count(), c.closeDue ? 1 : 0);
    EXPECT_FALSE(s->Busy());
  }
}

// The lines of the one file in runs/, once the writing thread has them all.
std::vector<std::string> RunFileLines(const std::filesystem::path& runs, std::size_t expected) {
  std::vector<std::string> lines;
  SessionTest::WaitFor(
      [&] {
        lines.clear();
        for (const auto& entry : std::filesystem::directory_iterator(runs)) {
          if (entry.path().extension() != ".txt") continue;
          std::ifstream in(entry.path(), std::ios::binary);
          std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
          for (std::size_t at = 0, end; (end = content.find("\r\n", at)) != std::string::npos;
               at = end + 2)
            lines.push_back(content.substr(at, end - at));
        }
        return lines.size() >= expected;
      },
      3000);
  return lines;
}

TEST_F(SearchSessionTest, EveryNumberARunCountsIsInItsOwnFileAsTheListDropsThem) {
  auto s = MakeSession();
  s->RestoreAtStart();  // the record, which will name the file
  QSignalSpy named(s.get(), &SearchSession::RunFileChanged);
  s->SetDeduplicate(true);
  Import(*s, "k\r\n");
  s->StartSearch();
  ASSERT_EQ(named.count(), 1);
  const QString file = s->RunFile();
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
    TickAndSettle(*s);
    EXPECT_EQ(RunFileLines(dir_.Path() / "runs", all.size()), all) << "after page " << page;
    EXPECT_EQ(s->FoundCount(), static_cast<int>(all.size()));
  }
  EXPECT_LT(s->Results().Count(), s->FoundCount());  // the list kept its rule
  EXPECT_EQ(std::filesystem::status(file.toStdString()).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  // The record names it, so that a restored run is known by its file.
  EXPECT_TRUE(WaitFor([&] {
    const auto place = harvest::DecodeRecord(dir_.Read(harvest::kRecoveryFileName)).place;
    return place.exact && place.exact->runFile == file.toStdString();
  }));
}

// A result page with two numbers of its own, and a pager when `more`.
std::string PageOf(const std::string& url, bool more) {
  const std::string seed = std::to_string(harvest::Crc32(url) % 100000000);
  std::string text = "139" + std::string(8 - seed.size(), '0') + seed + "\r\n158" +
                     std::string(8 - seed.size(), '0') + seed + "\r\n";
  if (more) text += "1 2 " + Gbk("下一页>") + "\r\n";
  return text;
}

TEST_F(SearchSessionTest, ARunThatCrashedGoesOnAtItsPageInItsFileInOneStepAcrossCrashes) {
  const std::string keywords = "k1\r\nk2\r\n";
  std::vector<std::string> read;     // every page read, in every start
  std::vector<std::string> counted;  // every number the pages hold, as read
  QString file;
  // Ticks once: the page asked for last is read, its numbers counted.
  const auto readPage = [&](SearchSession& s, bool more) {
    const std::string url = browser_->navigated.back();
    browser_->pages[url] = PageOf(url, more);
    const std::string text = browser_->pages[url];
    read.push_back(url);
    counted.push_back(text.substr(0, 11));
    counted.push_back(text.substr(13, 11));
    TickAndSettle(s);
  };
  // Program 1: pages 0 and 10 of k1, then a crash (no ordinary end).
  {
    auto s = MakeSession();
    s->RestoreAtStart();
    Import(*s, keywords);
    s->StartSearch();
    readPage(*s, true);
    readPage(*s, true);
    file = s->RunFile();
  }
  // Programs 2 and 3: restored, and one Search goes on where it stood: no
  // question, no import; page 20 of k1 (its last), then a crash; then k2.
  for (int start = 2; start <= 3; ++start) {
    SCOPED_TRACE(start);
    auto s = MakeSession();
    QSignalSpy offered(s.get(), &SearchSession::ContinueOffered);
    s->RestoreAtStart();
    ASSERT_EQ(offered.count(), 1);
    EXPECT_TRUE(offered.takeFirst().at(0).toBool());
    const auto offersBefore = questions_.offers.size();
    s->StartSearch();
    EXPECT_EQ(questions_.offers.size(), offersBefore) << "no resume question";
    EXPECT_EQ(s->RunFile(), file);
    EXPECT_EQ(s->FoundCount(), static_cast<int>(counted.size()));
    readPage(*s, false);
    if (start == 3) {
      ASSERT_EQ(s->GetState(), State::kIdle);  // k2 had one page: the run ended
      EXPECT_EQ(s->FoundCount(), static_cast<int>(counted.size()));
    }
  }
  // Every page read once (k1's three, k2's one), every number in the file
  // once, in order.
  EXPECT_EQ(read.size(), 4u);
  EXPECT_EQ(std::set<std::string>(read.begin(), read.end()).size(), 4u);
  EXPECT_EQ(RunFileLines(dir_.Path() / "runs", counted.size()), counted);
}

TEST_F(SearchSessionTest, ARestoredRunWhoseKeywordFileChangedIsNotGoneOnWith) {
  {
    auto s = MakeSession();
    s->RestoreAtStart();
    Import(*s, "k1\r\nk2\r\n");
    s->StartSearch();
  }
  dir_.Write("keywords.txt", "k1\r\nk3\r\n");  // changed since the crash
  auto s = MakeSession();
  QSignalSpy refused(s.get(), &SearchSession::ContinueRefused);
  QSignalSpy offered(s.get(), &SearchSession::ContinueOffered);
  s->RestoreAtStart();
  const auto asked = questions_.offers.size();
  s->StartSearch();
  ASSERT_EQ(refused.count(), 1);
  EXPECT_TRUE(refused.takeFirst().at(0).toString().endsWith(QStringLiteral("/keywords.txt")));
  EXPECT_FALSE(offered.last().at(0).toBool());
  EXPECT_EQ(s->GetState(), State::kIdle);  // nothing started, nothing asked
  EXPECT_EQ(questions_.offers.size(), asked);
  // Imported again, Search asks as ever.
  Import(*s, "k1\r\nk3\r\n");
  s->StartSearch();
  EXPECT_EQ(questions_.offers.size(), asked + 1);
}

// The numbers file fills up in the middle of a run.
struct FullDiskCase {
  const char* what;
  bool stop;  // Stop during the hold, rather than room again
};

TEST_F(SearchSessionTest, ANumbersFileThatCannotBeWrittenHoldsTheRunAndLosesNothing) {
  const FullDiskCase cases[] = {
      {"room again: the run goes on", false},
      {"Stop: told where the numbers are, written when the program ends", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir_.Path() / "runs");
    std::filesystem::remove(dir_.Path() / harvest::kRecoveryFileName);
    std::vector<harvest::RunEvent> events;
    std::vector<std::pair<int, bool>> unwritten;
    auto s = MakeSession();
    QObject::connect(s.get(), &SearchSession::RunEventReported,
                     [&](const harvest::RunEvent& event) { events.push_back(event); });
    QObject::connect(s.get(), &SearchSession::NumbersUnwritten,
                     [&](int count, bool inRecord) { unwritten.emplace_back(count, inRecord); });
    s->RestoreAtStart();
    Import(*s, "k\r\n");
    s->StartSearch();
    std::vector<std::string> counted;
    const auto serve = [&](bool more) {
      const std::string url = browser_->navigated.back();
      browser_->pages[url] = PageOf(url, more);
      counted.push_back(browser_->pages[url].substr(0, 11));
      counted.push_back(browser_->pages[url].substr(13, 11));
    };
    serve(true);
    TickAndSettle(*s);
    ASSERT_EQ(RunFileLines(dir_.Path() / "runs", 2).size(), 2u);
    {
      // The numbers file (and the record) grow past this: a full disk.
      FileSizeLimit full(std::filesystem::file_size(s->RunFile().toStdString()) + 5);
      serve(true);
      TickAndSettle(*s);
      ASSERT_TRUE(WaitFor([&] { return s->GetState() == State::kHolding; }))
          << static_cast<int>(s->GetState()) << " events " << events.size() << " file "
          << std::filesystem::file_size(s->RunFile().toStdString());
      ASSERT_FALSE(events.empty());
      EXPECT_EQ(events.back().reason, harvest::HoldReason::kFilesUnwritable);
      s->OnTick();  // tried again: still full, held again
      ASSERT_TRUE(WaitFor([&] { return events.back().tries == 2; }));
      EXPECT_EQ(s->GetState(), State::kHolding);
      if (c.stop) {
        try {
          s->StopSearch();
        } catch (const harvest::Exception&) {
          // The progress file did not fit either: told by the window.
        }
        ASSERT_TRUE(WaitFor([&] { return !unwritten.empty(); }));
        EXPECT_EQ(unwritten[0], std::pair(2, false));  // the record is full too
        EXPECT_EQ(s->GetState(), State::kIdle);
      }
    }
    if (c.stop) {
      // Room again, and an ordinary end: the numbers are written as the
      // program ends, whole after the cut line, and nothing is left to offer.
      s->EndNormally();
      s.reset();
      EXPECT_EQ(RunFileLines(dir_.Path() / "runs", counted.size()), counted);
      EXPECT_FALSE(std::filesystem::exists(dir_.Path() / harvest::kRecoveryFileName));
      continue;
    }
    s->OnTick();  // room again: written, and the run goes on
    ASSERT_TRUE(WaitFor([&] { return s->GetState() == State::kSearching; }));
    EXPECT_EQ(events.back().kind, harvest::RunEvent::Kind::kGoingOn);
    serve(false);
    TickAndSettle(*s);
    EXPECT_EQ(s->GetState(), State::kIdle);
    EXPECT_EQ(s->FoundCount(), 6);
    // Every counted number once, in order: no half line, none glued.
    EXPECT_EQ(RunFileLines(dir_.Path() / "runs", counted.size()), counted);
    EXPECT_TRUE(unwritten.empty());
  }
}

TEST_F(SearchSessionTest, FilesThatFailOnARunsLastStepAreToldOnceBeforeTheRunIsCalledEnded) {
  auto s = MakeSession();
  std::vector<std::pair<int, bool>> unwritten;
  QObject::connect(s.get(), &SearchSession::NumbersUnwritten, [&](int count, bool inRecord) {
    unwritten.emplace_back(count, inRecord);
    EXPECT_TRUE(summaries_.empty()) << "told before the run is called ended";
  });
  s->RestoreAtStart();
  Import(*s, "k\r\n");
  s->StartSearch();
  std::string page;
  for (int i = 0; i < 40; ++i) page += "138" + std::to_string(10000000 + i) + "\r\n";
  browser_->pages[browser_->navigated.back()] = page;
  {
    // The record, the run file and its log all grow past 200 bytes in it.
    FileSizeLimit full(200);
    TickAndSettle(*s);  // the run's only page: its last step
    ASSERT_EQ(s->GetState(), State::kIdle);
    ASSERT_TRUE(WaitFor([&] { return !summaries_.empty(); }));
  }
  TickAndSettle(*s);  // nothing more to tell
  std::map<session::FileFailure::File, int> told;
  for (const auto& failure : failures_) {
    ++told[failure.file];
    EXPECT_EQ(failure.reason, QStringLiteral("Disk full"));
  }
  EXPECT_EQ(told[session::FileFailure::File::kRecord], 1);
  EXPECT_EQ(told[session::FileFailure::File::kRunLog], 1);
  // The numbers: where they are (not in the record, which is full too).
  EXPECT_EQ(unwritten, (std::vector<std::pair<int, bool>>{{40, false}}));
  EXPECT_EQ(summaries_.size(), 1u);
}

TEST_F(SearchSessionTest, TheProgressFileComesBackAsSettingsAndGoesOutAsTyped) {
  dir_.Write(harvest::kProgressFileName, Gbk("D:\\关键字.txt") + "\r\n4\r\nqcyes\r\n5000\r\n");
  auto s = MakeSession();
  QSignalSpy file(s.get(), &SearchSession::KeywordFileChanged);
  QSignalSpy dedupe(s.get(), &SearchSession::DeduplicateChanged);
  QSignalSpy interval(s.get(), &SearchSession::IntervalTextChanged);
  s->RestoreAtStart();
  EXPECT_EQ(s->KeywordFile(), QStringLiteral("D:\\关键字.txt"));
  EXPECT_TRUE(s->Deduplicate());
  EXPECT_EQ(s->IntervalTextShown(), QStringLiteral("1000"));  // into the field's range
  EXPECT_EQ(file.count(), 1);
  EXPECT_EQ(dedupe.count(), 1);
  EXPECT_EQ(interval.count(), 1);

  // A value still being typed goes out as it stands; GBK bytes go back as
  // they came.
  s->SetIntervalText(QStringLiteral("0"));
  s->SetDeduplicate(false);
  s->SaveProgress();
  EXPECT_EQ(dir_.Read(harvest::kProgressFileName),
            Gbk("D:\\关键字.txt") + "\r\n3\r\nqcno\r\n0\r\n");
  // The resume question offers the keyword the file named.
  questions_.resumeAnswer.reset();
  Import(*s, "a\r\n");
  s->StartSearch();
  EXPECT_EQ(questions_.offers, std::vector<int>{4});
}

TEST_F(SearchSessionTest, ABadProgressFileIsToldAndTheLinesBeforeItStay) {
  dir_.Write(harvest::kProgressFileName, Gbk("D:\\kw.txt") + "\r\nfour\r\nqcyes\r\n5\r\n");
  auto s = MakeSession();
  QSignalSpy failed(s.get(), &SearchSession::Failed);
  s->RestoreAtStart();
  ASSERT_EQ(failed.count(), 1);
  EXPECT_EQ(s->KeywordFile(), QStringLiteral("D:\\kw.txt"));
  EXPECT_FALSE(s->Deduplicate());
}

struct RecordAtStart {
  const char* what;
  std::vector<std::string> rows;  // in the record
  session::SessionQuestions::RestoreAnswer answer;
  int found;        // FoundCount afterwards
  bool askedAgain;  // the next start asks once more
};

TEST_F(SearchSessionTest, ARunLeftInTheRecordIsOfferedBackUntilTheUserSaysNo) {
  using Answer = session::SessionQuestions::RestoreAnswer;
  const std::vector<std::string> two{"13800000001", "13800000002"};
  const RecordAtStart cases[] = {
      {"yes: the rows, the count and the place come back", two, Answer::kRestore, 3, true},
      {"no: nothing comes back, nothing is asked again", two, Answer::kDiscard, 0, false},
      {"closed: nothing comes back now, the next start asks again", two, Answer::kLater, 0, true},
      {"the place alone: offered too, and put back", {}, Answer::kRestore, 3, true},
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
    questions_.restore = c.answer;
    questions_.restoreOffers.clear();
    questions_.offers.clear();
    notices_.clear();
    {
      auto s = MakeSession();
      QSignalSpy rows(s->ResultModel(), &QAbstractItemModel::rowsInserted);
      s->RestoreAtStart();
      EXPECT_EQ(questions_.restoreOffers, std::vector<int>{static_cast<int>(c.rows.size())});
      EXPECT_EQ(s->FoundCount(), c.found);
      const int restored = c.answer == Answer::kRestore ? static_cast<int>(c.rows.size()) : 0;
      EXPECT_EQ(s->Results().Count(), restored);
      EXPECT_EQ(s->ResultModel()->rowCount(), restored);
      EXPECT_EQ(rows.count(), restored > 0 ? 1 : 0);
      EXPECT_EQ(s->Deduplicate(), c.answer == Answer::kRestore);
      EXPECT_EQ(notices_.size(), c.answer == Answer::kLater ? 1u : 0u);
      // The resume point, as the progress file records it (the index - 1).
      s->SaveProgress();
      const std::string progress = dir_.Read(harvest::kProgressFileName);
      const std::size_t second = progress.find("\r\n") + 2;
      EXPECT_EQ(progress.substr(second, progress.find("\r\n", second) - second),
                c.answer == Answer::kRestore ? "4" : "-1");
      if (c.answer == Answer::kLater) {
        s->EndNormally();  // an ordinary end does not take it away either
        EXPECT_EQ(dir_.Read(harvest::kRecoveryFileName), before);
      }
    }
    // The next start.
    questions_.restoreOffers.clear();
    questions_.restore = Answer::kDiscard;
    auto next = MakeSession();
    next->RestoreAtStart();
    EXPECT_EQ(questions_.restoreOffers.size(), c.askedAgain ? 1u : 0u);
    next.reset();
    std::filesystem::remove(dir_.Path() / harvest::kRecoveryFileName);
    std::filesystem::remove(dir_.Path() / harvest::kProgressFileName);
  }
}

TEST_F(SearchSessionTest, ARecordThatCannotBeKeptIsSaidOnceAndLeftAlone) {
  std::ofstream(dir_.Path() / "victim.txt") << "mine";
  std::filesystem::create_symlink(dir_.Path() / "victim.txt",
                                  dir_.Path() / harvest::kRecoveryFileName);
  {
    auto s = MakeSession();
    s->RestoreAtStart();
    ASSERT_EQ(notices_.size(), 1u);
    EXPECT_EQ(notices_[0].kind, session::RecordNotice::Kind::kRefused);
    EXPECT_EQ(notices_[0].path,
              QString::fromStdString((dir_.Path() / harvest::kRecoveryFileName).string()));
    EXPECT_EQ(notices_[0].refusal, harvest::RefusalReason::kSymbolicLink);
    EXPECT_EQ(dir_.Read("victim.txt"), "mine");
  }
  std::filesystem::remove(dir_.Path() / harvest::kRecoveryFileName);
  notices_.clear();

  harvest::LoneRecord held(dir_.Path() / harvest::kRecoveryFileName);
  ASSERT_TRUE(held.Held());
  auto s = MakeSession();
  s->RestoreAtStart();
  ASSERT_EQ(notices_.size(), 1u);
  EXPECT_EQ(notices_[0].kind, session::RecordNotice::Kind::kShared);
  EXPECT_TRUE(failures_.empty());
}

}  // namespace

#pragma once
// A search session on stand-ins, with the program folder in a fresh temp
// directory: the fake browser and addresses, a local query prefix, a counted
// return of freed memory, and questions answered as the test says.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "../harvest/fake_world.h"
#include "../harvest/temp_dir.h"
#include "fake_browser.h"
#include "session/search_session.h"

// Answers the session's questions as the test says and records them.
class FakeQuestions final : public session::SessionQuestions {
 public:
  RestoreAnswer AskToRestore(const harvest::RecoveredRun& found) override {
    restoreOffers.push_back(static_cast<int>(found.rows.size()));
    return restore;
  }
  // Answered at once, or kept for AnswerHeld when holdResume is set.
  void AskResumePoint(int offered, ResumeAnswer answer) override {
    offers.push_back(offered);
    if (holdResume) {
      held = std::move(answer);
      return;
    }
    answer(resumeAnswer);
  }
  void AnswerHeld(std::optional<QString> text) { std::exchange(held, {})(std::move(text)); }

  std::optional<QString> resumeAnswer = QStringLiteral("0");
  bool holdResume = false;
  ResumeAnswer held;
  RestoreAnswer restore = RestoreAnswer::kRestore;
  std::vector<int> offers;
  std::vector<int> restoreOffers;
};

class SessionTest : public testing::Test {
 public:
  // Lets the event loop run until `done`, for a few seconds at most.
  static bool WaitFor(const std::function<bool()>& done, int milliseconds = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
  }

 protected:
  session::SessionOptions Options() {
    session::SessionOptions options;
    auto browser = std::make_unique<FakeEmbeddedBrowser>();
    browser_ = browser.get();
    options.browser = std::move(browser);
    auto addresses = std::make_unique<fakes::FakeAddresses>();
    addresses_ = addresses.get();
    options.addresses = std::move(addresses);
    options.queryPrefix = "http://search.test/s?word=";
    options.returnFreedMemory = [this] { ++memoryReturns_; };
    options.appDir = harvest::FilePath{dir_.Path() / "", dir_.Path().string() + "/"};
    options.runsDir = harvest::FilePath{dir_.Path() / "runs/", dir_.Path().string() + "/runs/"};
    return options;
  }

  TempDir dir_;
  FakeEmbeddedBrowser* browser_ = nullptr;
  fakes::FakeAddresses* addresses_ = nullptr;
  int memoryReturns_ = 0;  // times the session gave freed memory back
};

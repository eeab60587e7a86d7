#pragma once
// The program as main makes it, on a fake browser: a search session and the
// main window over it, with the program folder in a fresh temp directory.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <functional>
#include <memory>

#include "../harvest/fake_world.h"
#include "../harvest/temp_dir.h"
#include "dialog_answers.h"
#include "fake_browser.h"
#include "fake_notification_icon.h"
#include "qt_test_helpers.h"
#include "shell/main_window.h"
#include "shell/search_session.h"

// The session and its window; the window goes first, as in main.
struct Program {
  std::unique_ptr<shell::SearchSession> session;
  std::unique_ptr<shell::MainWindow> window;

  Program() = default;
  Program(Program&&) = default;
  Program& operator=(Program&& other) {
    reset();
    session = std::move(other.session);
    window = std::move(other.window);
    return *this;
  }
  ~Program() { reset(); }
  void reset() {
    window.reset();
    session.reset();
  }

  shell::MainWindow& operator*() { return *window; }
  shell::MainWindow* operator->() { return window.get(); }
  shell::MainWindow* get() { return window.get(); }
  shell::SearchSession& Session() { return *session; }
  harvest::SearchRun& Run() { return session->Run(); }
  const harvest::ResultList& Results() { return session->Results(); }
};

class MainWindowTest : public testing::Test {
 protected:
  // The session's options as the tests give them: the fake browser, fake
  // addresses, a local query prefix, the temp folder, a counted trim.
  shell::SessionOptions Options() {
    shell::SessionOptions options;
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

  Program MakeWindow() {
    // A program destroyed by the test leaves its recovery record, as a
    // program killed would; the next one starts as after an ordinary end,
    // unless the test is about the record.
    if (!keepRecoveryRecord_) std::filesystem::remove(dir_.Path() / harvest::kRecoveryFileName);
    Program program;
    program.session = std::make_unique<shell::SearchSession>(Options());
    auto tray = std::make_unique<FakeNotificationIcon>();
    tray_ = tray.get();
    tray_->available = trayAvailable_;
    program.window = std::make_unique<shell::MainWindow>(*program.session, std::move(tray));
    program.session->RestoreAtStart();
    return program;
  }

  void TearDown() override {
    EXPECT_EQ(shell::PendingDialogAnswers(), 0) << "a dialog the test expected did not come";
    shell::ClearDialogAnswers();
    EXPECT_EQ(shell::TakeUnansweredDialogs(), QStringList()) << "dialogs the test did not expect";
  }

  // The run's tick, and the event loop until its page has been processed.
  static void TickAndRead(Program& program) {
    program.Session().OnTick();
    EXPECT_TRUE(WaitFor([&] { return program.Run().Phase() != harvest::RunPhase::kReadingPage; }))
        << "the page's text never came";
  }
  // Minimised: hidden in the notification area.
  static void HideInTray(shell::MainWindow& form) {
    form.show();
    form.setWindowState(Qt::WindowMinimized);
    Settle();
    ASSERT_FALSE(form.isVisible());
  }
  // The toolbar's merge, and the event loop until the merge has ended.
  static void MergeAndWait(Program& program) {
    Child<QAbstractButton>(*program, "MergeButton")->click();
    EXPECT_TRUE(WaitFor([&] { return !Merging(program); }, 60000)) << "the merge never ended";
  }
  static bool Merging(Program& program) {
    return program.Session().GetMergeState() == shell::SearchSession::MergeState::kRunning;
  }
  // Lets the event loop run until `done`, for a few seconds at most.
  static bool WaitFor(const std::function<bool()>& done, int milliseconds = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
  }

  template <typename T = QWidget>
  static T* Child(QWidget& window, const char* name) {
    auto* child = window.findChild<T*>(QString::fromLatin1(name));
    if (!child) ADD_FAILURE() << "no control " << name;
    return child;
  }
  // A status bar panel's text: "KeywordCount", "KeywordNumber", "FoundCount"
  // or "StatusLine".
  static QString Panel(QWidget& window, const char* name) {
    return Child<QLabel>(window, name)->text();
  }

  TempDir dir_;
  FakeEmbeddedBrowser* browser_ = nullptr;
  fakes::FakeAddresses* addresses_ = nullptr;
  FakeNotificationIcon* tray_ = nullptr;
  bool trayAvailable_ = true;  // whether the next window's desktop has a notification area
  bool keepRecoveryRecord_ = false;
  int memoryReturns_ = 0;  // times the session gave freed memory back
};

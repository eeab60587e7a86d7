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

#include "../session/session_fixture.h"
#include "../session/session_probe.h"
#include "dialog_answers.h"
#include "fake_notification_icon.h"
#include "qt_test_helpers.h"
#include "session/search_session.h"
#include "shell/main_window.h"

// The session and its window; the window goes first, as in main.
struct Program {
  std::unique_ptr<session::SearchSession> session;
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
  session::SearchSession& Session() { return *session; }
  harvest::SearchRun& Run() { return session::SessionProbe::Run(*session); }
  const harvest::ResultList& Results() { return session->Results(); }
};

class MainWindowTest : public SessionTest {
 protected:
  Program MakeWindow() {
    // A program destroyed by the test leaves its recovery record, as a
    // program killed would; the next one starts as after an ordinary end,
    // unless the test is about the record.
    if (!keepRecoveryRecord_) std::filesystem::remove(dir_.Path() / harvest::kRecoveryFileName);
    Program program;
    program.session = std::make_unique<session::SearchSession>(Options());
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
    EXPECT_TRUE(WaitFor([&] { return !program.Session().Busy(); }))
        << "the page's text never came";
  }
  // The run's end told: it comes once the last step's numbers are on disk.
  static bool RunEndTold(Program& program) {
    return WaitFor([&] { return Panel(*program, "StatusLine") == QStringLiteral("搜索已经结束!"); });
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
  static bool Merging(Program& program) { return program.Session().Merging(); }

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

  FakeNotificationIcon* tray_ = nullptr;
  bool trayAvailable_ = true;  // whether the next window's desktop has a notification area
  bool keepRecoveryRecord_ = false;
};

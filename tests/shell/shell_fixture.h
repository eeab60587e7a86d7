#pragma once
// A main window on a fake browser, with its program folder in a fresh temp
// directory.

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
#include "shell/main_window.h"

class MainWindowTest : public testing::Test {
 protected:
  std::unique_ptr<shell::MainWindow> MakeForm() {
    // A form destroyed by the test leaves its recovery record, as a program
    // killed would; the next one starts as after an ordinary end, unless the
    // test is about the record.
    if (!keepRecoveryRecord_) std::filesystem::remove(dir_.Path() / harvest::kRecoveryFileName);
    shell::MainWindowOptions options;
    options.makeBrowser = [this](QWidget* parent) {
      auto browser = std::make_unique<FakeEmbeddedBrowser>(parent);
      browser_ = browser.get();
      return browser;
    };
    auto addresses = std::make_unique<fakes::FakeAddresses>();
    addresses_ = addresses.get();
    options.addresses = std::move(addresses);
    auto tray = std::make_unique<FakeNotificationIcon>();
    tray_ = tray.get();
    tray_->available = trayAvailable_;
    options.notificationIcon = std::move(tray);
    options.queryPrefix = "http://search.test/s?word=";
    options.returnFreedMemory = [this] { ++memoryReturns_; };
    options.appDir = harvest::FilePath{dir_.Path() / "", dir_.Path().string() + "/"};
    return std::make_unique<shell::MainWindow>(std::move(options));
  }

  void TearDown() override {
    EXPECT_EQ(shell::PendingDialogAnswers(), 0) << "a dialog the test expected did not come";
    shell::ClearDialogAnswers();
    EXPECT_EQ(shell::TakeUnansweredDialogs(), QStringList()) << "dialogs the test did not expect";
  }

  // The run's tick, and the event loop until its page has been processed.
  static void TickAndRead(shell::MainWindow& form) {
    form.OnTimerTick();
    EXPECT_TRUE(WaitFor([&] { return form.Run().Phase() != harvest::RunPhase::kReadingPage; }))
        << "the page's text never came";
  }
  // The toolbar's merge, and the event loop until the merge has ended.
  static void MergeAndWait(shell::MainWindow& form) {
    Child<QAbstractButton>(form, "MergeButton")->click();
    EXPECT_TRUE(WaitFor([&] { return !form.MergeRunning(); }, 60000)) << "the merge never ended";
  }
  // Lets the event loop run until `done`, for a few seconds at most.
  static bool WaitFor(const std::function<bool()>& done, int milliseconds = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
  }

  template <typename T = QWidget>
  static T* Child(QWidget& form, const char* name) {
    auto* child = form.findChild<T*>(QString::fromLatin1(name));
    if (!child) ADD_FAILURE() << "no control " << name;
    return child;
  }
  static QString Panel(QWidget& form, int index) {
    return Child<QLabel>(form, QStringLiteral("StatusPanel%1").arg(index).toLatin1().constData())->text();
  }

  TempDir dir_;
  FakeEmbeddedBrowser* browser_ = nullptr;
  fakes::FakeAddresses* addresses_ = nullptr;
  FakeNotificationIcon* tray_ = nullptr;
  bool trayAvailable_ = true;  // whether the next form's desktop has a notification area
  bool keepRecoveryRecord_ = false;
  int memoryReturns_ = 0;  // times the form gave freed memory back
};

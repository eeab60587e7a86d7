// A program for the recovery tests to end from outside: the real window, its
// recovery record and its signal handling as the program sets them up, on a
// stand-in browser, with the run's ticks given as fast as pages come.
//
//   recovery_child FOLDER run     imports three keywords, searches six pages,
//                                 prints what the list and the run hold, waits
//   recovery_child FOLDER merge   starts a merge held by FOLDER/pipe.txt into
//                                 FOLDER/merged.txt, prints "merging", waits

#include <sys/stat.h>

#include <QApplication>
#include <QCheckBox>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <string>

#include "../harvest/fake_world.h"
#include "dialog_answers.h"
#include "../session/fake_browser.h"
#include "../session/session_probe.h"
#include "platform/termination_signals.h"
#include "shell/main_window.h"

namespace {

constexpr int kPages = 6;

// Keyword "one" has two pages, the others many; five numbers a page, a line
// each, new on every page.
std::string Page(const std::string& url, int served) {
  std::string page;
  for (int i = 0; i < 5; ++i) page += std::to_string(13900000000LL + served * 10 + i) + "\r\n";
  const bool lastOfOne =
      url.find("word=one") != std::string::npos && url.find("&pn=10&") != std::string::npos;
  if (!lastOfOne) page += "1 2 3 \xCF\xC2\xD2\xBB\xD2\xB3>";  // "下一页>"
  return page;
}

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  QApplication app(argc, argv);
  shell::RequireDialogAnswers(true);  // a dialog nobody expects must not wait for a user
  const std::string folder = argv[1];
  const std::string mode = argv[2];

  auto made = std::make_unique<FakeEmbeddedBrowser>();
  FakeEmbeddedBrowser* browser = made.get();
  session::SessionOptions options;
  options.browser = std::move(made);
  options.addresses = std::make_unique<fakes::FakeAddresses>();
  options.queryPrefix = "http://search.test/s?word=";
  options.appDir = harvest::FilePath::Ascii(folder + "/");
  session::SearchSession searchSession(std::move(options));
  shell::MainWindow window(searchSession);
  searchSession.RestoreAtStart();
  platform::TerminationSignals termination;
  QObject::connect(&termination, &platform::TerminationSignals::Received, &searchSession,
                   [&searchSession](int signalNumber) { searchSession.EndAtOnce(128 + signalNumber); });

  if (mode == "merge") {
    Write(folder + "/merged.txt", "kept\r\n");
    Write(folder + "/a.txt", "2\r\n1\r\n");
    ::mkfifo((folder + "/pipe.txt").c_str(), 0600);
    shell::AnswerNextDialog([&folder](QDialog& dialog) {
      auto& files = dynamic_cast<QFileDialog&>(dialog);
      files.setDirectory(QString::fromStdString(folder));
      files.selectFile(QStringLiteral("\"a.txt\" \"pipe.txt\""));
      static_cast<QDialog&>(files).accept();
    });
    AnswerFile(QString::fromStdString(folder + "/merged.txt"));
    AnswerMessageBox(QStringLiteral("是[&Y]"));  // merged.txt is there: replace it
    window.MergeDataFiles();
    std::printf("merging\n");
    std::fflush(stdout);
    return app.exec();
  }

  Write(folder + "/kw.txt", "one\r\ntwo\r\nthree\r\n");
  AnswerFile(QString::fromStdString(folder + "/kw.txt"));
  window.ImportKeywords();
  window.findChild<QCheckBox*>(QStringLiteral("DedupeBox"))->setChecked(true);
  AnswerInput(QStringLiteral("0"));
  searchSession.StartSearch();

  // The run's timer would tick every second; here a tick follows each page.
  int served = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, &window, [&] {
    if (searchSession.GetState() != harvest::RunState::kStarting &&
        searchSession.GetState() != harvest::RunState::kSearching)
      return;
    if (served == kPages) {
      ticker.stop();
      std::string rows;
      for (const auto& row : searchSession.Results().Rows()) rows += row + ",";
      // Said once its writer has put the step on disk: what the parent
      // finds after the kill is then exactly what was said.
      session::SessionProbe::Recovery(searchSession).Flush();
      // The keyword being searched is where a resumed run starts.
      std::printf("rows=%s found=%d resume=%d\n", rows.c_str(), searchSession.FoundCount(),
                  searchSession.KeywordNumber() - 1);
      std::fflush(stdout);
      return;
    }
    browser->pages[browser->navigated.back()] = Page(browser->navigated.back(), served++);
    searchSession.OnTick();
  });
  ticker.start(5);
  return app.exec();
}

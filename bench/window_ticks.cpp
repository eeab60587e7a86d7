// window_bench ticks KB [PAGES [SECONDS]]: the window thread's CPU time for each page
// of a run, as on the user's desktop. Run it on a real display with the
// accessibility bridge on and a listener registered (bench/a11y_tick_bench.sh
// sets that up); without a platform in the environment it runs offscreen.
//
// Pages of 30 new numbers and KB of other GBK text, at the shortest interval
// (1 s) unless SECONDS says otherwise, de-duplication on. (A page that is still
// loading when its tick asks for the text can answer with none, which ends
// the run with an error box in every build; 5 MB pages on a busy machine
// need a longer interval.) Two figures a page, as CPU time of the window's
// thread (CLOCK_THREAD_CPUTIME_ID: time waited for the browser or the
// machine's other work does not count):
//   - the tick: the deliveries that make the page's step, the timer's event
//     that asks for the text and the text's arrival (a build that read the
//     text inside the timer's event has one delivery, nested loop included);
//   - the page: everything the thread does from one step's end to the next:
//     the tick, and the load, paints and accessibility between.
//
// An older tree is measured with the bench as it was written for it
// (docs/benchmarks.md says which).

#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QInputDialog>
#include <QLabel>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <numeric>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "../tests/session/session_probe.h"
#include "../tests/shell/local_http_server.h"
#include "bench/result_pages.h"
#include "bench/run_events.h"
#include "harvest/search_run.h"
#include "platform/web_engine_browser.h"
#include "shell/application.h"
#include "shell/dialogs.h"
#include "shell/main_window.h"
#include "session/search_session.h"

namespace {

double ThreadCpuMs() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double WallMs() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Whether the run is waiting for a page's text.
bool ReadingPage(const harvest::SearchRun& run) {
  return run.PageOnItsWay();
}

// Times every outermost event delivery on the window's thread (deliveries
// nested inside one belong to it) and tells a page's step by the run moving
// to another page or keyword.
class TickCpuApplication final : public QApplication {
 public:
  using QApplication::QApplication;

  struct Page {
    double tickCpuMs;  // the deliveries of the step
    double pageCpuMs;  // since the previous step's end
    double tickWallMs;
  };

  session::SearchSession* session = nullptr;
  std::vector<Page> pages;

  bool notify(QObject* receiver, QEvent* event) override {
    if (!session || depth_ > 0) return Deliver(receiver, event);
    const harvest::SearchRun& run = session::SessionProbe::Run(*session);
    const auto place = std::tuple(run.KeywordIndex(), run.PageOffset());
    const bool readingBefore = ReadingPage(run);
    const double wallStart = WallMs();
    const double cpuStart = ThreadCpuMs();
    const bool handled = Deliver(receiver, event);
    const double cpuEnd = ThreadCpuMs();
    const double cpu = cpuEnd - cpuStart;
    const double wall = WallMs() - wallStart;
    if (!readingBefore && ReadingPage(run)) {
      askCpu_ = cpu;
      askWall_ = wall;
    } else if (std::tuple(run.KeywordIndex(), run.PageOffset()) != place) {
      if (lastStepEnd_ > 0)
        pages.push_back({askCpu_ + cpu, cpuEnd - lastStepEnd_, askWall_ + wall});
      lastStepEnd_ = cpuEnd;
      askCpu_ = askWall_ = 0;
    }
    return handled;
  }

 private:
  bool Deliver(QObject* receiver, QEvent* event) {
    ++depth_;
    const bool handled = QApplication::notify(receiver, event);
    --depth_;
    return handled;
  }

  int depth_ = 0;
  double askCpu_ = 0;
  double askWall_ = 0;
  double lastStepEnd_ = 0;
};

class ConnectedHost final : public harvest::AddressLookup {
 public:
  std::vector<std::string> HostAddresses() override { return {"127.0.0.1", "192.168.1.20"}; }
};

struct Summary {
  double median;
  double p90;
  double mean;
};

Summary Summarize(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const double mean = std::accumulate(values.begin(), values.end(), 0.0) / values.size();
  return {values[values.size() / 2], values[values.size() * 9 / 10], mean};
}

}  // namespace

int WindowTicks(int argc, char** argv) {
  const long kb = argc > 2 ? std::atol(argv[2]) : 0;
  const int wanted = argc > 3 ? std::atoi(argv[3]) : 20;
  const int seconds = argc > 4 ? std::atoi(argv[4]) : 1;
  if (kb <= 0 || wanted <= 0 || seconds <= 0) {
    std::fprintf(stderr, "usage: %s ticks KB [PAGES=20 [SECONDS=1]]\n", argv[0]);
    return 2;
  }
  constexpr int kWarmUpPages = 3;  // the browser's first loads, the list's first rows
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");  // as the tests do
  shell::PrepareProcess();
  TickCpuApplication app(argc, argv);
  shell::SetUpApplication(app);
  shell::RequireDialogAnswers(true);

  QTemporaryDir dir;
  NumberSource numbers;
  const qsizetype bytes = kb * 1024;
  LocalHttpServer server(
      [&](const QByteArray&) { return HttpReply(ResultPage(numbers, 30, bytes)); });
  session::SessionOptions options;
  options.addresses = std::make_unique<ConnectedHost>();
  // With accessibility on, the browser builds a 5 MB page's accessible tree
  // before it answers for the text: on a busy machine that can pass the
  // program's 10 s deadline, which would end the run with an error box.
  options.browser = std::make_unique<platform::WebEngineBrowser>(std::chrono::seconds(120));
  options.queryPrefix = (server.Origin() + "/s?word=").toStdString();
  options.appDir = harvest::FilePath::Ascii(dir.path().toStdString() + "/");
  session::SearchSession searchSession(std::move(options));
  shell::MainWindow window(searchSession);
  searchSession.RestoreAtStart();
  window.findChild<QSpinBox*>(QStringLiteral("IntervalBox"))->setValue(seconds);
  window.findChild<QCheckBox*>(QStringLiteral("DedupeBox"))->setChecked(true);
  window.show();
  for (int i = 0; i < 200; ++i)
    session::SessionProbe::Run(searchSession).KeywordList().push_back("k" + std::to_string(i));
  app.session = &searchSession;
  shell::AnswerNextDialog([](QDialog& dialog) {
    auto& input = dynamic_cast<QInputDialog&>(dialog);
    input.setTextValue(QStringLiteral("0"));
    input.accept();
  });
  // What ended a run early: the page's process, or a load that failed.
  QStringList browserNews;
  auto* webPage = window.findChild<QWebEngineView*>()->page();
  QObject::connect(
      webPage, &QWebEnginePage::renderProcessTerminated, webPage,
      [&](QWebEnginePage::RenderProcessTerminationStatus status, int code) {
        browserNews
            << QStringLiteral("page process ended (status %1, code %2)").arg(int(status)).arg(code);
      });
  QObject::connect(webPage, &QWebEnginePage::loadFinished, webPage, [&](bool ok) {
    if (!ok) browserNews << QStringLiteral("a load failed");
  });
  searchSession.StartSearch();
  const double cpuAtStart = ThreadCpuMs();
  // A run that stops (a read that failed puts up an error box, which nobody
  // answers here) or hangs is told, not waited for.
  std::size_t pagesSeen = 0;
  auto lastStep = std::chrono::steady_clock::now();
  bool stalled = false;
  RunEventsUntil([&] {
    const auto now = std::chrono::steady_clock::now();
    if (app.pages.size() != pagesSeen) {
      pagesSeen = app.pages.size();
      lastStep = now;
    }
    stalled = now - lastStep > std::chrono::seconds(60);
    return stalled || app.pages.size() >= static_cast<std::size_t>(kWarmUpPages + wanted);
  });
  const QString stallNote =
      stalled ? QStringLiteral("; the run stopped after %1 pages: %2 (status: %3; browser: %4)")
                    .arg(pagesSeen)
                    .arg(shell::TakeUnansweredDialogs().join(QStringLiteral(" | ")),
                         window.findChild<QLabel*>(QStringLiteral("StatusLine"))->text(),
                         browserNews.isEmpty() ? QStringLiteral("nothing")
                                               : browserNews.join(QStringLiteral(", ")))
              : QString();
  // A page that has not loaded within the interval can be read before its
  // body exists, which ends the run; the pages before it still count.
  if (app.pages.size() < kWarmUpPages + 3) {
    std::fprintf(stderr, "too few pages%s\n", qPrintable(stallNote));
    return 1;
  }
  const double cpuWhole = ThreadCpuMs() - cpuAtStart;
  app.session = nullptr;
  searchSession.StopSearch();
  RunEventsUntil([&] {
    return !searchSession.TimerRunning() && !searchSession.Busy();
  });

  std::vector<double> tickCpu, pageCpu, tickWall;
  const int measured = static_cast<int>(app.pages.size()) - kWarmUpPages;
  for (std::size_t i = kWarmUpPages; i < app.pages.size(); ++i) {
    tickCpu.push_back(app.pages[i].tickCpuMs);
    pageCpu.push_back(app.pages[i].pageCpuMs);
    tickWall.push_back(app.pages[i].tickWallMs);
  }
  const Summary tick = Summarize(tickCpu);
  const Summary page = Summarize(pageCpu);
  const Summary wall = Summarize(tickWall);
  std::printf(
      "%ld KB pages every %d s, platform %s, accessibility %s: %d pages after %d to warm up, %d "
      "rows%s\n"
      "  window thread CPU ms: tick median %.1f (p90 %.1f, mean %.1f); page median %.1f (p90 %.1f, "
      "mean %.1f)\n"
      "  tick wall ms: median %.1f; thread CPU since the run's start %.0f ms\n",
      kb, seconds, qPrintable(QGuiApplication::platformName()),
      qEnvironmentVariableIsSet("QT_LINUX_ACCESSIBILITY_ALWAYS_ON") ? "on" : "as the desktop says",
      measured, kWarmUpPages, searchSession.Results().Count(), qPrintable(stallNote), tick.median,
      tick.p90, tick.mean, page.median, page.p90, page.mean, wall.median, cpuWhole);
  std::fflush(stdout);
  return 0;
}

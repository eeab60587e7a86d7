// The real main window, offscreen, with the real browser, searching a local
// stand-in for the search engine at the shortest interval (1 s). Measures
// what a user pays on a long run: the window thread's time per tick, the
// cost of a number as the list grows, big pages, and memory over many pages.
//
//   window_bench rows             pages of 2,400 numbers up to 112,000 rows
//   window_bench ticks KB [PAGES [SECONDS]]  the window thread's CPU per page (window_ticks.cpp)
//   window_bench big              20 KB and 5 MB pages, against innerText alone
//   window_bench memory [PAGES [KB]]  pages of 30 numbers and KB of other text
//                                     (default 1,000 pages, no text); memory every 100
//   window_bench holds [PAGES [EVERY]]  pages of 30 numbers, every EVERY-th answered
//                                     503 once (0: none); the tick's time as the run goes
//
// A tick is the window thread's work for one page: the timer's event that
// asks for the page's text, plus the delivery of that text, which scans it
// and asks for the next page. The bench's application times both.

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QInputDialog>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <tuple>
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

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Times the two event deliveries of every page: the run's tick (waiting
// for a page to reading it) and its text's arrival (reading to the next
// step), summed.
class TimingApplication final : public QApplication {
 public:
  using QApplication::QApplication;

  struct Tick {
    double ms;
    int rowsBefore;
    int found;
  };

  session::SearchSession* session = nullptr;
  std::vector<Tick> ticks;
  std::function<void(const Tick&)> afterTick;

  bool notify(QObject* receiver, QEvent* event) override {
    const auto type = event->type();
    if (!session || (type != QEvent::Timer && type != QEvent::MetaCall))
      return QApplication::notify(receiver, event);
    const harvest::SearchRun& run = session::SessionProbe::Run(*session);
    const bool before = run.PageOnItsWay();
    const int rowsBefore = session->Results().Count();
    const auto start = Clock::now();
    const bool handled = QApplication::notify(receiver, event);
    const double ms = Ms(Clock::now() - start);
    const bool after = run.PageOnItsWay();
    if (!before && after) {
      askMs_ = ms;
      rowsAtAsk_ = rowsBefore;
    } else if (before && !after) {
      ticks.push_back({askMs_ + ms, rowsAtAsk_, run.FoundCount()});
      if (afterTick) afterTick(ticks.back());
    }
    return handled;
  }

 private:
  double askMs_ = 0;
  int rowsAtAsk_ = 0;
};

// The host's addresses as a connected machine has them.
class ConnectedHost final : public harvest::AddressLookup {
 public:
  std::vector<std::string> HostAddresses() override { return {"127.0.0.1", "192.168.1.20"}; }
};

// Proportional set size, in KB, of a process and all its descendants.
long TreePssKb(pid_t root) {
  long total = 0;
  QFile rollup(QStringLiteral("/proc/%1/smaps_rollup").arg(root));
  if (rollup.open(QIODevice::ReadOnly)) {
    for (const QByteArray& line : rollup.readAll().split('\n')) {
      if (line.startsWith("Pss:")) total += line.mid(4).trimmed().split(' ').value(0).toLong();
    }
  }
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool isPid = false;
    const pid_t pid = entry.toInt(&isPid);
    if (!isPid) continue;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) continue;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.value(1).toInt() == root) total += TreePssKb(pid);
  }
  return total;
}

// What /proc/self/status says of this process, in KB.
long OwnStatusKb(const char* field) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  const QByteArray key = QByteArray(field) + ':';
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith(key)) return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
  }
  return 0;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct Bench {
  explicit Bench(TimingApplication& application) : app(application) {}

  TimingApplication& app;
  QTemporaryDir dir;
  std::unique_ptr<LocalHttpServer> server;
  std::unique_ptr<session::SearchSession> session;
  std::unique_ptr<shell::MainWindow> window;  // goes before the session

  // Starts a search over `keywords` keywords against `serve`, answering the
  // resume question with 0, at an interval of one second.
  void Start(LocalHttpServer::Handler serve, int keywords = 200) {
    server = std::make_unique<LocalHttpServer>(std::move(serve));
    session::SessionOptions options;
    options.addresses = std::make_unique<ConnectedHost>();
    options.queryPrefix = (server->Origin() + "/s?word=").toStdString();
    options.appDir = harvest::FilePath::Ascii(dir.path().toStdString() + "/");
    session = std::make_unique<session::SearchSession>(std::move(options));
    window = std::make_unique<shell::MainWindow>(*session);
    session->RestoreAtStart();
    window->findChild<QSpinBox*>(QStringLiteral("IntervalBox"))->setValue(1);
    window->findChild<QCheckBox*>(QStringLiteral("DedupeBox"))->setChecked(true);
    window->show();
    for (int i = 0; i < keywords; ++i)
      session::SessionProbe::Run(*session).KeywordList().push_back("k" + std::to_string(i));
    app.session = session.get();
    shell::AnswerNextDialog([](QDialog& dialog) {
      auto& input = dynamic_cast<QInputDialog&>(dialog);
      input.setTextValue(QStringLiteral("0"));
      input.accept();
    });
    session->StartSearch();
  }

  // For quick comparisons, not figures of record: the next tick comes as
  // soon as the page has loaded instead of after the interval.
  void TickOnLoad() {
    auto* page = window->findChild<QWebEngineView*>()->page();
    QObject::connect(page, &QWebEnginePage::loadFinished, window.get(), [this] {
      QTimer::singleShot(50, window.get(), [this] {
        if (session->GetState() == harvest::RunState::kSearching ||
            session->GetState() == harvest::RunState::kStarting)
          session->OnTick();
      });
    });
  }

  void RunUntil(const std::function<bool()>& done) { RunEventsUntil(done); }
};

int Rows(TimingApplication& app) {
  Bench bench(app);
  NumberSource numbers;
  // A first page of 1,000 numbers, so that a tick starts at 1,000 rows.
  int served = 0;
  bench.Start([&](const QByteArray&) {
    return HttpReply(ResultPage(numbers, served++ == 0 ? 1000 : 2400));
  });
  std::printf(
      "rows before tick | numbers added | tick ms | us per number | record CPU us | run file CPU "
      "us\n");
  int last = 0;
  // Rows before the tick, the record's share and the run file's.
  std::vector<std::tuple<int, double, double>> fileUs;
  app.afterTick = [&](const TimingApplication::Tick& t) {
    const int added = t.found - last;
    last = t.found;
    const double keptUs =
        std::chrono::duration<double, std::micro>(session::SessionProbe::Recovery(*bench.session).Record()->LastKeepCpu())
            .count();
    const double runFileUs =
        std::chrono::duration<double, std::micro>(session::SessionProbe::Files(*bench.session).Numbers()->LastAppendCpu())
            .count();
    if (added > 0) {
      fileUs.emplace_back(t.rowsBefore, keptUs, runFileUs);
      std::printf("%d | %d | %.1f | %.2f | %.0f | %.0f\n", t.rowsBefore, added, t.ms,
                  1000.0 * t.ms / added, keptUs, runFileUs);
    }
    std::fflush(stdout);
  };
  long rssAtFirstPage = 0;
  int rowsAtFirstPage = 0;
  const auto report = app.afterTick;
  app.afterTick = [&](const TimingApplication::Tick& t) {
    report(t);
    if (app.ticks.size() == 1) {
      rssAtFirstPage = OwnStatusKb("VmRSS");
      rowsAtFirstPage = bench.session->Results().Count();
    }
  };
  bench.RunUntil([&] { return bench.session->Results().Count() >= 112000; });
  const int rowsAdded = bench.session->Results().Count() - rowsAtFirstPage;
  std::printf("own memory per listed row: %.0f bytes (%d rows after the first page)\n",
              1024.0 * (OwnStatusKb("VmRSS") - rssAtFirstPage) / rowsAdded, rowsAdded);
  std::vector<double> all;
  for (const auto& t : app.ticks) all.push_back(t.ms);
  std::printf("ticks %zu, median %.1f ms, worst %.1f ms\n", all.size(), Median(all),
              *std::max_element(all.begin(), all.end()));
  // The recovery record's and the run file's parts of a tick of 2,400
  // numbers, on the window's thread, at a list size: over the five ticks
  // that start there.
  for (const int rows : {1000, 55000, 100000}) {
    std::vector<double> record;
    std::vector<double> runFile;
    for (const auto& [before, recordPart, runFilePart] : fileUs) {
      if (before >= rows && record.size() < 5) {
        record.push_back(recordPart);
        runFile.push_back(runFilePart);
      }
    }
    if (!record.empty()) {
      std::printf(
          "from %d rows: the record's part %.0f us CPU, the run file's %.0f us (median of %zu "
          "ticks)\n",
          rows, Median(record), Median(runFile), record.size());
    }
  }
  // A number's cost at a list size: over the five ticks that start there.
  for (const int rows : {1000, 10000, 100000}) {
    const auto first =
        std::find_if(app.ticks.begin() + 1, app.ticks.end(),
                     [&](const TimingApplication::Tick& t) { return t.rowsBefore >= rows; });
    std::vector<double> perNumber;
    for (auto tick = first; tick != app.ticks.end() && perNumber.size() < 5; ++tick) {
      perNumber.push_back(1000.0 * tick->ms / (tick->found - (tick - 1)->found));
    }
    if (!perNumber.empty()) {
      std::printf("from %d rows: %.2f us per number (median of %zu ticks)\n", first->rowsBefore,
                  Median(perNumber), perNumber.size());
    }
  }
  return 0;
}

// The browser's own time for a page's text: innerText, run and handed back
// alone, as the tick's read asks for it.
double InnerTextMs(QWebEnginePage* page) {
  bool arrived = false;
  const auto start = Clock::now();
  Clock::time_point end;
  page->runJavaScript(QStringLiteral("document.body ? document.body.innerText : null"),
                      [&](const QVariant&) {
                        end = Clock::now();
                        arrived = true;
                      });
  RunEventsUntil([&] { return arrived; });
  return Ms(end - start);
}

int Big(TimingApplication& app) {
  const std::pair<const char*, qsizetype> sizes[] = {{"20 KB", 20 * 1024},
                                                     {"5 MB", 5 * 1024 * 1024}};
  for (const auto& [name, bytes] : sizes) {
    app.ticks.clear();
    Bench bench(app);
    NumberSource numbers;
    const qsizetype size = bytes;
    bench.Start([&](const QByteArray&) { return HttpReply(ResultPage(numbers, 30, size)); });
    auto* page = bench.window->findChild<QWebEngineView*>()->page();
    std::vector<double> ticks;
    std::vector<double> alone;
    app.afterTick = [&](const TimingApplication::Tick& t) {
      if (app.ticks.size() > 1) ticks.push_back(t.ms);  // the first tick warms up
    };
    bench.RunUntil([&] { return ticks.size() >= 6; });
    // The same kind of page loaded afresh and, after the same one-second
    // wait, its text asked for alone: what the browser needs to produce it.
    bench.session->StopSearch();
    bench.RunUntil([&] { return !bench.session->TimerRunning(); });
    for (int i = 0; i < 6; ++i) {
      page->load(
          QUrl(QString::fromLatin1(bench.server->Origin() + "/alone" + QByteArray::number(i))));
      const auto until = Clock::now() + std::chrono::seconds(1);
      bench.RunUntil([&] { return Clock::now() >= until; });
      alone.push_back(InnerTextMs(page));
    }
    std::printf(
        "%s page: tick median %.1f ms, worst %.1f ms; innerText alone median %.1f ms; ratio %.2f\n",
        name, Median(ticks), *std::max_element(ticks.begin(), ticks.end()), Median(alone),
        Median(ticks) / Median(alone));
    std::fflush(stdout);
    app.session = nullptr;
    app.afterTick = nullptr;
  }
  return 0;
}

// Pages of 30 "15" numbers (the 51-row rule never empties the list) and
// `pageBytes` of other text; the program's own anonymous memory, its RSS and
// the whole tree's PSS every 100 pages (every 10 over the first 100).
int Memory(TimingApplication& app, int pages, qsizetype pageBytes) {
  Bench bench(app);
  NumberSource numbers;
  bench.Start([&](const QByteArray&) { return HttpReply(ResultPage(numbers, 30, pageBytes)); });
  const bool fast = qEnvironmentVariableIsSet("KELVANE_BENCH_TICK_ON_LOAD");
  if (fast) bench.TickOnLoad();
  // A page's load: from the browser starting it to its end.
  std::vector<double> loads;
  Clock::time_point loadStart;
  auto* page = bench.window->findChild<QWebEngineView*>()->page();
  QObject::connect(page, &QWebEnginePage::loadStarted, page, [&] { loadStart = Clock::now(); });
  QObject::connect(page, &QWebEnginePage::loadFinished, page,
                   [&] { loads.push_back(Ms(Clock::now() - loadStart)); });
  std::printf(
      "platform %s, accessibility %s, pages of %lld bytes%s\n",
      qPrintable(QGuiApplication::platformName()),
      qEnvironmentVariableIsSet("QT_LINUX_ACCESSIBILITY_ALWAYS_ON") ? "on" : "as the desktop says",
      static_cast<long long>(pageBytes), fast ? ", ticks on load (not a figure of record)" : "");
  std::printf("pages | rows | own anonymous MB | own RSS MB | tree PSS MB\n");
  const auto report = [&](std::size_t n) {
    std::printf("%zu | %d | %.1f | %.1f | %.1f\n", n, bench.session->Results().Count(),
                OwnStatusKb("RssAnon") / 1024.0, OwnStatusKb("VmRSS") / 1024.0,
                TreePssKb(::getpid()) / 1024.0);
    std::fflush(stdout);
  };
  report(0);
  long anonAt100 = 0;
  int rowsAt100 = 0;
  app.afterTick = [&](const TimingApplication::Tick&) {
    const auto n = app.ticks.size();
    if (n == 100) {
      anonAt100 = OwnStatusKb("RssAnon");
      rowsAt100 = bench.session->Results().Count();
    }
    if (n % 100 == 0 || (n < 100 && n % 10 == 0)) report(n);
  };
  bench.RunUntil([&] { return app.ticks.size() >= static_cast<std::size_t>(pages); });
  if (pages > 100) {
    const long growth = OwnStatusKb("RssAnon") - anonAt100;
    const int rows = bench.session->Results().Count() - rowsAt100;
    std::printf(
        "from page 100 to %d: own anonymous memory %+.1f MB for %d rows (%.0f bytes a row)\n",
        pages, growth / 1024.0, rows, 1024.0 * growth / rows);
  }
  std::vector<double> all;
  for (const auto& t : app.ticks) all.push_back(t.ms);
  std::printf("ticks %zu, median %.1f ms, worst %.1f ms; page loads median %.1f ms\n", all.size(),
              Median(all), *std::max_element(all.begin(), all.end()), Median(loads));
  return 0;
}

// Pages of 30 numbers; the first request of every `every`-th page is
// answered 503, and the run holds until its next try. The window thread's
// time per tick (held ones too) early and late in the run, so that two runs
// side by side, with and without failures, show whether holding costs a
// tick more or makes it grow.
int Holds(TimingApplication& app, int pages, int every) {
  Bench bench(app);
  NumberSource numbers;
  QHash<QByteArray, int> asked;
  int distinct = 0;
  bench.Start([&](const QByteArray& path) {
    const int times = ++asked[path];
    if (times == 1) ++distinct;
    if (every > 0 && times == 1 && distinct % every == 0)
      return HttpReply("<p>busy</p>", "text/html", {}, "503 Service Unavailable");
    return HttpReply(ResultPage(numbers, 30));
  });
  int holds = 0;
  QObject::connect(bench.session.get(), &session::SearchSession::RunEventReported, bench.session.get(),
                   [&](const harvest::RunEvent& event) { holds += event.kind == harvest::RunEvent::Kind::kHolding; });
  bench.RunUntil([&] { return app.ticks.size() >= static_cast<std::size_t>(pages); });
  std::vector<double> all;
  for (const auto& t : app.ticks) all.push_back(t.ms);
  const std::size_t part = all.size() / 5;
  const std::vector<double> early(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(part));
  const std::vector<double> late(all.end() - static_cast<std::ptrdiff_t>(part), all.end());
  std::printf("every %d-th page refused once: %zu ticks, %d holds, %d numbers, held %lld s\n", every,
              all.size(), holds, bench.session->FoundCount(),
              static_cast<long long>(session::SessionProbe::Run(*bench.session).Summary().heldMs / 1000));
  std::printf("tick median %.2f ms (first fifth %.2f, last fifth %.2f), worst %.1f ms\n", Median(all),
              Median(early), Median(late), *std::max_element(all.begin(), all.end()));
  return 0;
}

}  // namespace

// window_bench ticks KB [PAGES [SECONDS]]: the window thread's CPU per page, with an
// application of its own (window_ticks.cpp).
int WindowTicks(int argc, char** argv);

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "ticks") return WindowTicks(argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (::geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");  // as the tests do
  shell::PrepareProcess();
  TimingApplication app(argc, argv);
  shell::SetUpApplication(app);
  shell::RequireDialogAnswers(true);
  const QString phase = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
  if (phase == u"rows") return Rows(app);
  if (phase == u"big") return Big(app);
  if (phase == u"holds") return Holds(app, argc > 2 ? std::atoi(argv[2]) : 2000, argc > 3 ? std::atoi(argv[3]) : 10);
  if (phase == u"memory") {
    return Memory(app, argc > 2 ? std::atoi(argv[2]) : 1000,
                  argc > 3 ? std::atoi(argv[3]) * 1024 : 0);
  }
  std::fprintf(stderr, "usage: %s rows | big | memory [PAGES [KB]] | holds [PAGES [EVERY]]\n", argv[0]);
  return 2;
}

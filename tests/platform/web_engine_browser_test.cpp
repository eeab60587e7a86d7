// Reading page text from the real Qt WebEngine: the body's text in GBK with
// CR LF breaks, and an answer to every read within the deadline, whatever
// the page or its process does; a page that hung or died never holds up the
// next one. Every answer tells how the page's load ended.

#include <signal.h>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTcpServer>
#include <QWebEngineHistory>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>

#include "../harvest/gbk.h"
#include "local_http_server.h"
#include "page_reads.h"

namespace {

using std::chrono_literals::operator""ms;
using Ending = harvest::PageLoad::Ending;

constexpr auto kShortDeadline = 2000ms;
// A read with no text to give fails with the error the window words.
const std::string kNoPageText = "[" + harvest::PageTextError().Message() + "]";

// A plain page that names itself.
HttpReply Plain(const QByteArray& path) {
  return {"<html><body><p>plain " + path + " 15900000002</p></body></html>"};
}

bool Loaded(platform::WebEngineBrowser& browser, const char* path) {
  return WaitFor(
      [&] { return browser.Page()->url().path() == QLatin1String(path) && browser.LoadEnded(); },
      30);
}

// An address nobody listens on: a port just given back.
QByteArray ClosedOrigin() {
  QTcpServer server;
  server.listen(QHostAddress::LocalHost, 0);
  return "http://127.0.0.1:" + QByteArray::number(server.serverPort());
}

// Counts the ends of the page's process.
struct ProcessEnds {
  explicit ProcessEnds(platform::WebEngineBrowser& browser) {
    QObject::connect(browser.Page(), &QWebEnginePage::renderProcessTerminated, browser.Page(),
                     [this] { ++count; });
  }
  int count = 0;
};

TEST(WebEngineBrowser, ReadsTheBodyTextWithCrLfBreaksInGbk) {
  LocalHttpServer server([](const QByteArray&) -> HttpReply {
    return {QByteArray::fromStdString("<html><body><p>" + Gbk("手机") + " 13800000001</p><div>x\xA1\xA4y</div>"
                                      "<script>document.body.appendChild(document.createTextNode('\\u0e01'))</script>"
                                      "</body></html>")};
  });
  platform::WebEngineBrowser browser;
  browser.Navigate((server.Origin() + "/p").toStdString());
  std::string text;
  ASSERT_TRUE(WaitFor([&] {
    text = ReadText(browser);  // an empty page, or an error, until it has loaded
    return text.find("13800000001") != std::string::npos && text.back() != 'y';
  }, 30));
  // Block boundaries become CR LF; a character GBK lacks (a Thai letter,
  // added by the script) becomes "?".
  EXPECT_EQ(text, Gbk("手机") + " 13800000001\r\n\r\nx\xA1\xA4y\r\n?");
}

TEST(WebEngineBrowser, APageWithoutBodyFailsTheRead) {
  LocalHttpServer server([](const QByteArray&) -> HttpReply {
    return {"<svg xmlns='http://www.w3.org/2000/svg'><text>13800000001</text></svg>", "image/svg+xml"};
  });
  platform::WebEngineBrowser browser;
  browser.Navigate((server.Origin() + "/s.svg").toStdString());
  ASSERT_TRUE(Loaded(browser, "/s.svg"));
  WaitFor([] { return false; }, 1);
  EXPECT_EQ(ReadText(browser), kNoPageText);
}

TEST(WebEngineBrowser, ItsProfileKeepsNothingABrowserThatNeverGoesBackNeeds) {
  LocalHttpServer server(Plain);
  platform::WebEngineBrowser browser;
  const QWebEngineProfile* profile = browser.Page()->profile();
  EXPECT_TRUE(profile->isOffTheRecord());
  EXPECT_EQ(profile->httpCacheType(), QWebEngineProfile::MemoryHttpCache);
  EXPECT_EQ(profile->httpCacheMaximumSize(), platform::kHttpCacheBytes);
  EXPECT_LE(profile->httpCacheMaximumSize(), 8 << 20);  // a few MB, not Chromium's 50
  EXPECT_GT(profile->httpCacheMaximumSize(), 0);        // 0 would let Chromium choose
  EXPECT_EQ(profile->persistentCookiesPolicy(), QWebEngineProfile::NoPersistentCookies);
  for (const char* path : {"/1", "/2", "/3", "/4", "/5"}) {
    browser.Navigate((server.Origin() + path).toStdString());
    ASSERT_TRUE(Loaded(browser, path));
    // Each navigation clears what came before: the page and the one before
    // it, however long the run.
    EXPECT_LE(browser.Page()->history()->count(), 2);
  }
}

TEST(WebEngineBrowser, EachReadTellsHowThePageLoadEnded) {
  LocalHttpServer other(Plain);  // another host: "localhost", not 127.0.0.1
  const QByteArray otherOrigin = "http://localhost:" + other.Origin().split(':').last();
  LocalHttpServer server([&](const QByteArray& path) -> HttpReply {
    const QByteArray page = "<html><body>" + path + " 15900000003</body></html>";
    if (path == "/503") return {page, "text/html", {}, "503 Service Unavailable"};
    if (path == "/429") return {page, "text/html", "Retry-After: 30\r\n", "429 Too Many Requests"};
    if (path == "/408") return {page, "text/html", {}, "408 Request Timeout"};
    if (path == "/away")
      return {{}, "text/html", "Location: " + otherOrigin + "/verify\r\n", "302 Found"};
    if (path == "/here") return {{}, "text/html", "Location: /moved\r\n", "302 Found"};
    if (path == "/loop") return {{}, "text/html", "Location: /loop\r\n", "302 Found"};
    return page;
  });
  QTcpServer hangsUp;  // reads the request and closes without a byte
  hangsUp.listen(QHostAddress::LocalHost, 0);
  QObject::connect(&hangsUp, &QTcpServer::newConnection, [&] {
    while (QTcpSocket* socket = hangsUp.nextPendingConnection()) {
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->close(); });
    }
  });
  const QByteArray origin = server.Origin();
  const QByteArray closed = ClosedOrigin() + "/closed";
  const QByteArray empty =
      "http://127.0.0.1:" + QByteArray::number(hangsUp.serverPort()) + "/empty";
  const auto at = [&](const char* path) { return origin + path; };
  const struct {
    const char* what;
    QByteArray url;
    Ending ending;
    int httpStatus;
    QByteArray endUrl;
    const char* text;  // nullptr: not checked (the browser's own error page)
  } cases[] = {
      {"a result page", at("/r"), Ending::kLoaded, 200, at("/r"), "/r 15900000003"},
      {"503 with a body", at("/503"), Ending::kLoaded, 503, at("/503"), "/503 15900000003"},
      {"429", at("/429"), Ending::kLoaded, 429, at("/429"), "/429 15900000003"},
      {"408", at("/408"), Ending::kLoaded, 408, at("/408"), "/408 15900000003"},
      {"sent to another host", at("/away"), Ending::kLoaded, 200, otherOrigin + "/verify",
       "plain /verify 15900000002"},
      {"sent to another path", at("/here"), Ending::kLoaded, 200, at("/moved"),
       "/moved 15900000003"},
      {"nobody listening", closed, Ending::kNetworkFailed, 0, closed, nullptr},
      {"closed without an answer", empty, Ending::kNetworkFailed, 0, empty, nullptr},
      {"sent round in circles", at("/loop"), Ending::kOtherFailure, 0, at("/loop"), nullptr},
  };
  platform::WebEngineBrowser browser;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    browser.Navigate(c.url.toStdString());
    ASSERT_TRUE(WaitFor([&] { return browser.LoadEnded(); }, 30));
    const std::optional<harvest::PageText> page = Read(browser);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->load.ending, c.ending);
    EXPECT_EQ(page->load.httpStatus, c.httpStatus);
    EXPECT_EQ(page->load.url, c.endUrl.toStdString());
    if (c.text) {
      EXPECT_EQ(page->text, c.text);
    }
  }
}

// A page slower than a read: a wait for it ends with its own load, and a
// read before then tells that the load has not ended, whatever Qt WebEngine
// tells of the page before it or of what the page does on its way.
TEST(WebEngineBrowser, AWaitForAPageEndsWithItsOwnLoadOnly) {
  constexpr int kSlowMs = 3000;  // longer than a read takes on a busy machine
  LocalHttpServer elsewhere([](const QByteArray& path) {
    HttpReply reply = Plain(path);
    reply.delayMs = kSlowMs;
    return reply;
  });
  const QByteArray verify = "http://localhost:" + elsewhere.Origin().split(':').last() + "/verify";
  LocalHttpServer server([&](const QByteArray& path) -> HttpReply {
    if (path == "/to-slow") return {{}, "text/html", "Location: /slow\r\n", "302 Found"};
    if (path == "/sends-away")
      return {"<html><body>away<script>location.href = '" + verify + "';</script></body></html>"};
    HttpReply reply = Plain(path);
    if (path == "/slow") reply.delayMs = kSlowMs;
    return reply;
  });
  const QByteArray slow = server.Origin() + "/slow";
  const struct {
    const char* what;
    const char* path;
    bool fromTheEndBefore;  // navigated as the page before ends, before Qt tells that end
    QByteArray endUrl;
  } cases[] = {
      {"a slow page", "/slow", false, slow},
      {"asked for as the page before ends", "/slow", true, slow},
      {"sent on its host to a slow page", "/to-slow", false, slow},
      {"sent by its script to a slow page on another host", "/sends-away", false, verify},
  };
  platform::WebEngineBrowser browser;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    browser.Navigate((server.Origin() + "/before").toStdString());
    ASSERT_TRUE(Loaded(browser, "/before"));
    const QByteArray slowPath = QUrl(QString::fromLatin1(c.endUrl)).path().toLatin1();
    const LocalHttpServer& slowServer = c.endUrl == verify ? elsewhere : server;
    const auto askedBefore = slowServer.Paths().count(slowPath);
    int ends = 0;
    const auto navigate = [&] {
      browser.Navigate((server.Origin() + c.path).toStdString());
      browser.WhenLoadEnds([&] { ++ends; });
    };
    if (c.fromTheEndBefore) {
      // Qt tells loadFinished, then the same end through loadingChanged.
      QObject::connect(browser.Page(), &QWebEnginePage::loadFinished, browser.Page(), navigate,
                       Qt::SingleShotConnection);
      browser.Navigate((server.Origin() + "/just-before").toStdString());
    } else {
      navigate();
    }
    // Its slow answer is on its way: nothing has ended the wait.
    ASSERT_TRUE(WaitFor([&] { return slowServer.Paths().count(slowPath) > askedBefore; }, 30));
    EXPECT_FALSE(browser.LoadEnded());
    const auto early = Read(browser);
    ASSERT_TRUE(early);
    EXPECT_EQ(early->load.ending, Ending::kNotEnded);

    ASSERT_TRUE(WaitFor([&] { return ends > 0; }, 30));
    EXPECT_TRUE(browser.LoadEnded());
    const auto page = Read(browser);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->load, (harvest::PageLoad{Ending::kLoaded, 200, c.endUrl.toStdString()}));
    EXPECT_EQ(page->text, "plain " + slowPath.toStdString() + " 15900000002");
    EXPECT_EQ(ends, 1);
  }
}

// Endings the server above does not give: a stop that leaves the page as it
// was, a page without a status, a timeout, a DNS server's failure, a refusal.
TEST(WebEngineBrowser, LoadEndingsAsQtWebEngineTellsThem) {
  using Info = QWebEngineLoadingInfo;
  const QUrl url(QStringLiteral("http://h/p"));
  const struct {
    const char* what;
    Info::LoadStatus status;
    Info::ErrorDomain domain;
    int code;
    std::optional<Ending> ending;
  } cases[] = {
      {"a 204 or a download: the page stays", Info::LoadStoppedStatus, Info::InternalErrorDomain,
       -3, std::nullopt},
      {"about:blank", Info::LoadSucceededStatus, Info::NoErrorDomain, 0, Ending::kLoaded},
      {"ERR_TIMED_OUT", Info::LoadFailedStatus, Info::InternalErrorDomain, -7,
       Ending::kNetworkFailed},
      {"ERR_DNS_TIMED_OUT", Info::LoadFailedStatus, Info::DnsErrorDomain, -803,
       Ending::kNetworkFailed},
      {"ERR_CERT_AUTHORITY_INVALID", Info::LoadFailedStatus, Info::CertificateErrorDomain, -202,
       Ending::kOtherFailure},
      {"ERR_BLOCKED_BY_CLIENT", Info::LoadFailedStatus, Info::InternalErrorDomain, -20,
       Ending::kOtherFailure},
  };
  for (const auto& c : cases) {
    const auto load = platform::EndedLoad(c.status, c.domain, c.code, url);
    EXPECT_EQ(load ? std::optional(load->ending) : std::nullopt, c.ending) << c.what;
  }
}

struct HungPage {
  const char* what;
  bool navigateWhileHung;  // the next page is asked for before the deadline
};

TEST(WebEngineBrowser, AHungPageFailsAtTheDeadlineAndTheNextPageIsRead) {
  const HungPage cases[] = {
      {"the next page asked for after the failure", false},
      {"the next page asked for while the page hung", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    LocalHttpServer server(Plain);
    platform::WebEngineBrowser browser(kShortDeadline);
    const ProcessEnds ends(browser);
    browser.Navigate((server.Origin() + "/hang").toStdString());
    ASSERT_TRUE(Loaded(browser, "/hang"));
    // A script that never yields: the page answers nothing from now on.
    browser.Page()->runJavaScript(QStringLiteral("for (;;) {}"));

    auto answer = std::make_shared<std::optional<harvest::PageText>>();
    QElapsedTimer clock;
    clock.start();
    browser.RequestPageText([answer](harvest::PageText page) { *answer = std::move(page); });
    if (c.navigateWhileHung) browser.Navigate((server.Origin() + "/next").toStdString());
    ASSERT_TRUE(WaitFor([&] { return answer->has_value(); }, 10));
    EXPECT_GE(clock.elapsed(), kShortDeadline.count() * 9 / 10);  // a coarse timer, not an early answer
    EXPECT_LT(clock.elapsed(), kShortDeadline.count() + 2000);
    ASSERT_TRUE(answer->value().error);
    EXPECT_EQ(answer->value().load.ending, Ending::kHung);
    EXPECT_TRUE(WaitFor([&] { return ends.count == 1; }, 5)) << "the hung process was not ended";

    if (!c.navigateWhileHung) browser.Navigate((server.Origin() + "/next").toStdString());
    ASSERT_TRUE(Loaded(browser, "/next"));
    const auto next = Read(browser);
    ASSERT_TRUE(next);
    EXPECT_EQ(next->text, "plain /next 15900000002");
    EXPECT_EQ(next->load,
              (harvest::PageLoad{Ending::kLoaded, 200, (server.Origin() + "/next").toStdString()}));
  }
}

TEST(WebEngineBrowser, APageProcessThatDiesFailsItsReadsAtOnceUntilTheNextPage) {
  LocalHttpServer server(Plain);
  platform::WebEngineBrowser browser;  // the full deadline: none of it is waited
  const ProcessEnds ends(browser);
  browser.Navigate((server.Origin() + "/first").toStdString());
  ASSERT_TRUE(Loaded(browser, "/first"));
  ASSERT_EQ(ReadText(browser), "plain /first 15900000002");

  const qint64 process = browser.Page()->renderProcessPid();
  ASSERT_GT(process, 0);
  ::kill(static_cast<pid_t>(process), SIGKILL);  // out of memory, a crash: the process is gone
  ASSERT_TRUE(WaitFor([&] { return ends.count == 1; }, 10));

  QElapsedTimer clock;
  clock.start();
  const auto gone = Read(browser);
  EXPECT_LT(clock.elapsed(), 1000);
  ASSERT_TRUE(gone);
  EXPECT_TRUE(gone->error);
  EXPECT_EQ(gone->load, (harvest::PageLoad{Ending::kProcessGone, 200,
                                           (server.Origin() + "/first").toStdString()}));
  EXPECT_EQ(ReadText(browser), kNoPageText);

  browser.Navigate((server.Origin() + "/second").toStdString());
  ASSERT_TRUE(Loaded(browser, "/second"));
  EXPECT_EQ(ReadText(browser), "plain /second 15900000002");
  EXPECT_NE(browser.Page()->renderProcessPid(), process);
}

TEST(WebEngineBrowser, EndsOnlyTheHungPageProcessNeverTheProgram) {
  const struct {
    const char* what;
    qint64 process, asked, self;
    bool ended;
  } cases[] = {
      {"the process asked, still there", 4242, 4242, 100, true},
      {"the page has moved to a fresh process", 4343, 4242, 100, false},
      {"no process", 0, 0, 100, false},
      {"the program's own (--single-process)", 100, 100, 100, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::MayEndPageProcess(c.process, c.asked, c.self), c.ended) << c.what;
  }
}

}  // namespace

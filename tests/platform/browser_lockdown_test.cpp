// The embedded browser shows result pages and nothing else: a page that
// tries to open windows, download, ask for permissions or reach local files
// gets nowhere and asks the user nothing.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QWebEngineDownloadRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <atomic>

#include "local_http_server.h"
#include "page_reads.h"

namespace {


const char kHostilePage[] = R"(<html><head><title>start</title></head><body><p>hostile</p>
<iframe src="file:///etc/hostname"></iframe>
<script>
var results = [];
function report(what) { results.push(what); document.title = results.sort().join(',') + (results.length >= 4 ? '.' : ''); }
var w = window.open('/popup', '_blank');
report(w ? 'window-opened' : 'no-window');
navigator.geolocation.getCurrentPosition(function() { report('geo-granted'); },
                                         function(e) { report('geo-error-' + e.code); }, {timeout: 3000});
Notification.requestPermission().then(function(p) { report('notify-' + p); });
navigator.mediaDevices.getUserMedia({video: true}).then(function() { report('camera-granted'); },
                                                       function(e) { report('camera-' + e.name); });
alert('an alert nobody should see');
</script></body></html>)";

// Counts the messages a page's console gives that contain `text`: Qt
// WebEngine logs them under the "js" category.
class ConsoleMessages {
 public:
  explicit ConsoleMessages(const char* text) {
    text_ = text;
    count_ = 0;
    previous_ = qInstallMessageHandler(&ConsoleMessages::Take);
  }
  ~ConsoleMessages() { qInstallMessageHandler(previous_); }
  int Count() const { return count_; }

 private:
  static void Take(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (qstrcmp(context.category, "js") == 0 && message.contains(QLatin1String(text_))) ++count_;
    previous_(type, context, message);
  }
  static inline const char* text_ = nullptr;
  static inline std::atomic<int> count_ = 0;
  static inline QtMessageHandler previous_ = nullptr;
};

TEST(BrowserLockdown, AHostilePageChangesNothingAndAsksNothing) {
  LocalHttpServer server([](const QByteArray& path) -> HttpReply {
    if (path == "/download") return {"MZ not a program", "application/octet-stream", "Content-Disposition: attachment; filename=\"x.exe\"\r\n"};
    return {kHostilePage};
  });
  QObject context;
  platform::WebEngineBrowser browser;
  // Shown in a view, as in the window: Chromium asks about a hidden page's
  // geolocation only once it shows.
  QWebEngineView view;
  view.setPage(browser.Page());
  view.resize(400, 300);
  view.show();
  const ConsoleMessages fileRefusals("Not allowed to load local resource: file:///etc/hostname");
  int downloads = 0;
  bool downloadRefused = false;
  QObject::connect(browser.Page()->profile(), &QWebEngineProfile::downloadRequested, &context,
                   [&](QWebEngineDownloadRequest* download) {
                     ++downloads;
                     downloadRefused = download->state() == QWebEngineDownloadRequest::DownloadCancelled;
                   });

  browser.Navigate((server.Origin() + "/page").toStdString());
  // Every request has had its answer: none can come later.
  ASSERT_TRUE(WaitFor([&] { return browser.Page()->title().endsWith(u'.'); }, 30))
      << browser.Page()->title().toStdString();
  // Geolocation is refused (asked before any position source); the camera
  // is refused or absent; nothing is granted.
  const QStringList results = browser.Page()->title().chopped(1).split(u',');
  EXPECT_TRUE(results.contains(QStringLiteral("no-window"))) << results.join(u' ').toStdString();
  EXPECT_TRUE(results.contains(QStringLiteral("notify-denied")))
      << results.join(u' ').toStdString();
  EXPECT_TRUE(results.contains(QStringLiteral("geo-error-1"))) << results.join(u' ').toStdString();
  EXPECT_FALSE(results.contains(QStringLiteral("camera-granted")));
  EXPECT_FALSE(server.Paths().contains("/popup"));

  // A page cannot send the browser to a local file: the page refuses it
  // (and says so on its console), or the browser does (and its load ends).
  bool fileLoadEnded = false;
  QObject::connect(
      browser.Page(), &QWebEnginePage::loadingChanged, &context,
      [&](const QWebEngineLoadingInfo& load) {
        if (load.url().isLocalFile() && load.status() != QWebEngineLoadingInfo::LoadStartedStatus)
          fileLoadEnded = true;
      });
  const int refusedBefore = fileRefusals.Count();
  browser.Page()->runJavaScript(QStringLiteral("location.href = 'file:///etc/hostname';"));
  ASSERT_TRUE(WaitFor([&] { return fileRefusals.Count() > refusedBefore || fileLoadEnded; }, 30));
  EXPECT_EQ(browser.Page()->url().scheme(), QStringLiteral("http"));
  EXPECT_EQ(ReadText(browser).find("hostile"), 0u);

  // ...nor start a download.
  browser.Page()->runJavaScript(QStringLiteral("location.href = '/download';"));
  ASSERT_TRUE(WaitFor([&] { return downloads > 0; }, 15));
  EXPECT_TRUE(downloadRefused);
  EXPECT_EQ(QApplication::topLevelWidgets(), QWidgetList{&view}) << "a window or a dialog came up";
}

// A page that asks "leave this page?" once the user has clicked in it.
const char kClingingPage[] = R"(<html><body style="height:600px"><p>clinging 13800000001</p>
<script>
window.addEventListener('beforeunload', function(e) { e.preventDefault(); e.returnValue = 'stay'; return 'stay'; });
window.onbeforeunload = function() { return 'stay'; };
document.addEventListener('mousedown', function() { document.title = 'clicked'; });
</script></body></html>)";

TEST(BrowserLockdown, APageCannotHoldTheBrowserOnItself) {
  LocalHttpServer server([](const QByteArray& path) -> HttpReply {
    if (path == "/next") return {"<html><body><p>next 15900000002</p></body></html>"};
    return {kClingingPage};
  });
  platform::WebEngineBrowser browser;
  QWebEngineView view;  // the window's view; the click goes to it
  view.setPage(browser.Page());
  view.resize(400, 300);
  view.show();
  browser.Navigate((server.Origin() + "/clinging").toStdString());
  ASSERT_TRUE(WaitFor([&] { return browser.Page()->url().path() == u"/clinging" && !browser.Page()->isLoading(); }, 30));

  // A real click of the user's gives the page the right to ask.
  QWidget* input = view.focusProxy();
  ASSERT_NE(input, nullptr);
  for (int attempt = 0; attempt < 20 && browser.Page()->title() != u"clicked"; ++attempt) {
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent click(type, QPointF(50, 50), input->mapToGlobal(QPointF(50, 50)), Qt::LeftButton,
                        type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
      QCoreApplication::sendEvent(input, &click);
    }
    WaitFor([&] { return browser.Page()->title() == u"clicked"; }, 1);
  }
  ASSERT_EQ(browser.Page()->title(), QStringLiteral("clicked"));

  browser.Navigate((server.Origin() + "/next").toStdString());
  std::string text;
  EXPECT_TRUE(WaitFor([&] {
    text = ReadText(browser);
    return text.find("15900000002") != std::string::npos;
  }, 30)) << text;
  EXPECT_TRUE(server.Paths().contains("/next"));
  EXPECT_EQ(QApplication::topLevelWidgets(), QWidgetList{&view}) << "a dialog came up";
}

}  // namespace

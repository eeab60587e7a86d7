#pragma once
// A web page that can show result pages and do nothing else: it opens no
// windows or pop-ups, shows no script dialogs or file choosers, gets every
// permission request denied, never leaves the web (http, https), and never
// refuses to be left for the next page.
// The profile it lives in refuses downloads and blocks every request for a
// scheme other than http, https, data and blob.

#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>

namespace platform {

class WebOnlyInterceptor final : public QWebEngineUrlRequestInterceptor {
 public:
  using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
  void interceptRequest(QWebEngineUrlRequestInfo& info) override;
};

// The in-memory HTTP cache's size. Chromium would take up to 50 MB of the
// program's own memory for it, filled by pages nobody goes back to; the
// images and scripts that result pages share fit in a few MB.
inline constexpr int kHttpCacheBytes = 4 << 20;

// An in-memory profile (nothing of the pages is kept on disk) with a small
// HTTP cache, downloads refused and non-web requests blocked.
QWebEngineProfile* MakeLockedProfile(QObject* parent);

class LockedWebPage final : public QWebEnginePage {
  Q_OBJECT
 public:
  LockedWebPage(QWebEngineProfile* profile, QObject* parent);

  static bool IsWebUrl(const QUrl& url);

 protected:
  QWebEnginePage* createWindow(WebWindowType type) override;
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
  void javaScriptAlert(const QUrl& origin, const QString& msg) override;
  bool javaScriptConfirm(const QUrl& origin, const QString& msg) override;
  bool javaScriptPrompt(const QUrl& origin, const QString& msg, const QString& defaultValue,
                        QString* result) override;
  QStringList chooseFiles(FileSelectionMode mode, const QStringList& oldFiles,
                          const QStringList& acceptedMimeTypes) override;
};

}  // namespace platform

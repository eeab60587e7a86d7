#include "platform/locked_web_page.h"

#include <QCoreApplication>
#include <QWebEngineDownloadRequest>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineRegisterProtocolHandlerRequest>
#include <QWebEngineSettings>

namespace platform {
namespace {

bool IsAllowedRequestScheme(const QString& scheme) {
  return scheme == u"http" || scheme == u"https" || scheme == u"data" || scheme == u"blob";
}

void LockSettings(QWebEngineSettings* s) {
  s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
  s->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
  s->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
  s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
  s->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
  s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
  s->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
  s->setAttribute(QWebEngineSettings::AllowRunningInsecureContent, false);
  s->setAttribute(QWebEngineSettings::AllowGeolocationOnInsecureOrigins, false);
  s->setAttribute(QWebEngineSettings::WebRTCPublicInterfacesOnly, true);
  s->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, true);
  s->setAttribute(QWebEngineSettings::AllowWindowActivationFromJavaScript, false);
}

}  // namespace

void WebOnlyInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
  if (!IsAllowedRequestScheme(info.requestUrl().scheme())) info.block(true);
}

QWebEngineProfile* MakeLockedProfile(QObject* parent) {
  auto* profile = new QWebEngineProfile(parent);  // no storage name: off the record
  profile->setUrlRequestInterceptor(new WebOnlyInterceptor(profile));
  profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
  profile->setHttpCacheMaximumSize(kHttpCacheBytes);
  profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
  profile->setSpellCheckEnabled(false);
  QObject::connect(profile, &QWebEngineProfile::downloadRequested, profile,
                   [](QWebEngineDownloadRequest* download) { download->cancel(); });
  LockSettings(profile->settings());
  return profile;
}

LockedWebPage::LockedWebPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {
  LockSettings(settings());
  connect(this, &QWebEnginePage::featurePermissionRequested, this,
          [this](const QUrl& origin, Feature feature) {
            setFeaturePermission(origin, feature, PermissionDeniedByUser);
          });
  connect(this, &QWebEnginePage::fileSystemAccessRequested, this,
          [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
  connect(this, &QWebEnginePage::registerProtocolHandlerRequested, this,
          [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
  connect(this, &QWebEnginePage::fullScreenRequested, this,
          [](QWebEngineFullScreenRequest request) { request.reject(); });
}

bool LockedWebPage::IsWebUrl(const QUrl& url) {
  return url.scheme() == u"http" || url.scheme() == u"https";
}

QWebEnginePage* LockedWebPage::createWindow(WebWindowType) { return nullptr; }

bool LockedWebPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool) {
  return IsWebUrl(url) || url == QUrl(QStringLiteral("about:blank"));
}

void LockedWebPage::javaScriptAlert(const QUrl&, const QString&) {}
// Qt WebEngine asks a page's "leave this page?" question (beforeunload)
// through the confirm dialog, with this text. The answer is always "leave":
// the run sends the browser on, and no page may hold it on itself. Every
// other question is answered "no".
bool LockedWebPage::javaScriptConfirm(const QUrl&, const QString& msg) {
  return msg == QCoreApplication::translate(
                    "QWebEnginePage",
                    "Are you sure you want to leave this page? Changes that you made may not be saved.");
}
bool LockedWebPage::javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) { return false; }
QStringList LockedWebPage::chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) { return {}; }

}  // namespace platform

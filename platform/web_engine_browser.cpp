#include "platform/web_engine_browser.h"

#include <signal.h>
#include <unistd.h>

#include <QTimer>
#include <QWebEngineHistory>
#include <QWebEngineScript>

#include "harvest/errors.h"
#include "platform/gbk_codec.h"

namespace platform {
namespace {

// The body's text as the page shows it; null when there is no body.
constexpr char kReadBodyScript[] = "document.body ? document.body.innerText : null";

// The script's answer as the engine takes it: CR LF breaks, GBK; anything
// but text (null for no body, nothing at all for no answer) is the failure.
harvest::PageText ToPageText(const QVariant& value, harvest::PageLoad load) {
  if (value.typeId() != QMetaType::QString) {
    return {{}, std::make_exception_ptr(harvest::PageTextError()), std::move(load)};
  }
  QString text = value.toString();
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return {ToGbk(text), nullptr, std::move(load)};
}

// Chromium's errors for a network that did not answer which Qt files under
// its internal domain: ERR_TIMED_OUT, ERR_SOCKET_NOT_CONNECTED (a connection
// reset before the request), ERR_NETWORK_CHANGED; and the HTTP domain's
// ERR_EMPTY_RESPONSE (the server closed without a byte).
bool IsNetworkFailure(QWebEngineLoadingInfo::ErrorDomain domain, int code) {
  switch (domain) {
    case QWebEngineLoadingInfo::ConnectionErrorDomain:  // refused, reset, name not found, offline
    case QWebEngineLoadingInfo::DnsErrorDomain:
      return true;
    case QWebEngineLoadingInfo::InternalErrorDomain:
      return code == -7 || code == -15 || code == -21;
    case QWebEngineLoadingInfo::HttpErrorDomain:
      return code == -324;
    default:
      return false;
  }
}

}  // namespace

// Qt 6.4 gives every HTTP answer's status as HttpStatusCodeDomain and its
// code: 200 as LoadSucceededStatus, 4xx and 5xx (with a body or not) as
// LoadFailedStatus. HttpErrorDomain holds Chromium's errors (-310 too many
// redirects), not statuses.
std::optional<harvest::PageLoad> EndedLoad(QWebEngineLoadingInfo::LoadStatus status,
                                           QWebEngineLoadingInfo::ErrorDomain domain, int code,
                                           const QUrl& url) {
  using Ending = harvest::PageLoad::Ending;
  if (status != QWebEngineLoadingInfo::LoadSucceededStatus &&
      status != QWebEngineLoadingInfo::LoadFailedStatus) {
    return std::nullopt;
  }
  harvest::PageLoad load{Ending::kOtherFailure, 0, url.toEncoded().toStdString()};
  // The answer's Retry-After is not told: a later Qt may give its headers.
  if (domain == QWebEngineLoadingInfo::HttpStatusCodeDomain) {
    load.ending = Ending::kLoaded;
    load.httpStatus = code;
  } else if (status == QWebEngineLoadingInfo::LoadSucceededStatus) {
    load.ending = Ending::kLoaded;  // a page without a status (about:blank)
  } else if (IsNetworkFailure(domain, code)) {
    load.ending = Ending::kNetworkFailed;
  }
  return load;
}

WebEngineBrowser::WebEngineBrowser(std::chrono::milliseconds readDeadline)
    : profile_(MakeLockedProfile(this)),
      page_(new LockedWebPage(profile_, this)),
      readDeadline_(readDeadline) {
  connect(page_, &QWebEnginePage::renderProcessTerminated, this,
          &WebEngineBrowser::PageProcessEnded);
  connect(page_, &QWebEnginePage::loadingChanged, this, &WebEngineBrowser::LoadingChanged);
}

WebEngineBrowser::~WebEngineBrowser() {
  // The page goes before its profile, as Qt WebEngine requires.
  delete page_;
}

void WebEngineBrowser::Navigate(const std::string& url) {
  // Nobody goes back in this browser; a run of thousands of pages would
  // otherwise keep an entry, with its page state, for every one.
  page_->history()->clear();
  lastUrl_ = QUrl::fromEncoded(QByteArray::fromStdString(url), QUrl::TolerantMode);
  ++navigations_;
  loadEnded_ = nullptr;      // it waited for the load before
  pageProcessGone_ = false;  // loading starts a page process when there is none
  LoadAsked();
}

void WebEngineBrowser::LoadAsked() {
  // Qt WebEngine's own state is current, what it tells comes later through
  // the event loop: the end of a load before may still be on its way. A load
  // going on is replaced by this one, gets no start of its own and ends with
  // this one's outcome.
  ownLoad_ = page_->isLoading() ? OwnLoad::kLoading : OwnLoad::kAsked;
  load_ = {harvest::PageLoad::Ending::kNotEnded, 0, lastUrl_.toEncoded().toStdString()};
  page_->load(lastUrl_);
}

void WebEngineBrowser::WhenLoadEnds(LoadEndHandler handler) {
  loadEnded_ = std::move(handler);
  if (ownLoad_ == OwnLoad::kEnded) OwnLoadEnded(load_);
}

void WebEngineBrowser::RequestPageText(PageTextHandler handler) {
  const std::uint64_t id = ++readsAsked_;
  harvest::PageLoad load = load_;
  if (ownLoad_ != OwnLoad::kEnded) load.ending = harvest::PageLoad::Ending::kNotEnded;
  pending_[id] = {std::move(handler), page_->renderProcessPid(), navigations_, std::move(load)};
  // A page whose process is gone never answers.
  if (pageProcessGone_) {
    Answer(id, {}, harvest::PageLoad::Ending::kProcessGone);
    return;
  }
  QTimer::singleShot(readDeadline_, this, [this, id] { DeadlinePassed(id); });
  const QPointer<WebEngineBrowser> self(this);
  page_->runJavaScript(QString::fromLatin1(kReadBodyScript), QWebEngineScript::ApplicationWorld,
                       [self, id](const QVariant& value) {
                         if (self) self->Answer(id, value);
                       });
}

void WebEngineBrowser::Answer(std::uint64_t id, const QVariant& value,
                              std::optional<harvest::PageLoad::Ending> cutShort) {
  const auto read = pending_.find(id);
  if (read == pending_.end()) return;  // answered already (a deadline, a process gone)
  PageTextHandler handler = std::move(read->second.handler);
  harvest::PageLoad load = std::move(read->second.load);
  if (cutShort) load.ending = *cutShort;
  pending_.erase(read);
  // Through the event loop: the answer may run a whole step of the run, with
  // its message boxes, which must not run inside Qt WebEngine's own call.
  QMetaObject::invokeMethod(
      this,
      [handler = std::move(handler), page = ToPageText(value, std::move(load))]() mutable {
        handler(std::move(page));
      },
      Qt::QueuedConnection);
}

// Only the main frame's loads come here.
void WebEngineBrowser::LoadingChanged(const QWebEngineLoadingInfo& info) {
  if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
    // The navigation's own start is on the host asked for; after it, any
    // start is the page sending itself on.
    if (ownLoad_ == OwnLoad::kAsked && info.url().host() != lastUrl_.host()) return;
    ownLoad_ = OwnLoad::kLoading;
    load_ = {harvest::PageLoad::Ending::kNotEnded, 0, info.url().toEncoded().toStdString()};
    return;
  }
  if (ownLoad_ != OwnLoad::kLoading) return;  // the end of a load before the navigation's
  if (auto load = EndedLoad(info.status(), info.errorDomain(), info.errorCode(), info.url())) {
    OwnLoadEnded(std::move(*load));
  }
}

void WebEngineBrowser::OwnLoadEnded(harvest::PageLoad load) {
  ownLoad_ = OwnLoad::kEnded;
  load_ = std::move(load);
  LoadEndHandler handler = std::exchange(loadEnded_, nullptr);
  if (!handler) return;
  // Through the event loop, as a read's answer; not once the browser has
  // been sent on.
  QMetaObject::invokeMethod(
      this,
      [this, handler = std::move(handler), navigation = navigations_] {
        if (navigation == navigations_) handler();
      },
      Qt::QueuedConnection);
}

bool MayEndPageProcess(qint64 process, qint64 asked, qint64 self) {
  return process > 0 && process == asked && process != self;
}

void WebEngineBrowser::DeadlinePassed(std::uint64_t id) {
  const auto read = pending_.find(id);
  if (read == pending_.end()) return;
  const PendingRead& hung = read->second;
  const qint64 process = page_->renderProcessPid();
  if (MayEndPageProcess(process, hung.pageProcess, ::getpid())) {
    endingHungProcess_ = true;
    navigationsBeforeHang_ = hung.navigationsAsked;
    ::kill(static_cast<pid_t>(process), SIGKILL);
    // Answered once the process is gone, so that a page asked for again
    // gets a fresh one; a moment later at most, should its end not be told.
    hungRead_ = id;
    QTimer::singleShot(kHungProcessEndWait, this,
                       [this, id] { Answer(id, {}, harvest::PageLoad::Ending::kHung); });
    return;
  }
  Answer(id, {}, harvest::PageLoad::Ending::kHung);
}

void WebEngineBrowser::PageProcessEnded() {
  using Ending = harvest::PageLoad::Ending;
  pageProcessGone_ = true;
  // The reads still waiting will never hear from it.
  std::vector<std::uint64_t> waiting;
  for (const auto& [id, read] : pending_) waiting.push_back(id);
  for (const std::uint64_t id : waiting)
    Answer(id, {}, id == hungRead_ ? Ending::kHung : Ending::kProcessGone);
  hungRead_ = 0;
  // A navigation made after the hung read was asked (while the process hung,
  // or since it was told to end) went down with it.
  if (std::exchange(endingHungProcess_, false) && navigations_ != navigationsBeforeHang_) {
    pageProcessGone_ = false;
    LoadAsked();
    return;
  }
  // A load going on went down with it: what is read now finds it gone.
  if (ownLoad_ != OwnLoad::kEnded) {
    harvest::PageLoad gone = load_;
    gone.ending = Ending::kProcessGone;
    OwnLoadEnded(std::move(gone));
  }
}

}  // namespace platform

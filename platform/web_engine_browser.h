#pragma once
// The embedded browser over Qt WebEngine: a locked page (no view; a window
// shows it in its own). A page's text is asked of the page process and comes
// back later; every request is answered once, through the event loop:
//   - the text, when the page gives it within the read deadline;
//   - a failure at once, when the page process has ended (crash, kill, out
//     of memory) since the last navigation;
//   - a failure otherwise. A page that has not answered by the deadline is
//     hung (a script that never yields): its page process is ended, and the
//     read is answered once it is gone (at most kHungProcessEndWait after
//     the deadline), so that the next navigation starts a fresh one; a
//     navigation asked for while it hung is made again.
// Every answer carries how the page's own main-frame load had ended when it
// was asked (kNotEnded until then); a read answered because the process hung
// or died says so instead, with that load's status and address.
//
// The page's own load is the one the last navigation started, or a later one
// the page started itself (a script sending it to a verification page),
// which takes its place. Qt WebEngine tells a load's start and end through
// the event loop, one start and one end a load: a navigation made while a
// load goes on replaces it without a start of its own, and its end tells the
// last navigation's outcome; a redirect, or a script's navigation while the
// page loads, is part of its load. An end that comes after the navigation
// but before its start is the page before's, and never counts. A load that
// stops without a page of its own (a 204, a refused download) leaves the
// page before on screen: it does not end the page's own.

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>

#include "platform/embedded_browser.h"
#include "platform/locked_web_page.h"

namespace platform {

// Whether a hung read's page process may be ended: it is still the one that
// was asked (a page that has since moved to a fresh process is not hung),
// and it is not the program itself (`--single-process` runs the pages in
// the program's own process).
bool MayEndPageProcess(qint64 process, qint64 asked, qint64 self);

// How a main-frame load ended, from what Qt WebEngine tells of it; nothing
// when it has not ended, or was stopped (an answer such as 204 or a download
// that leaves the page as it was).
std::optional<harvest::PageLoad> EndedLoad(QWebEngineLoadingInfo::LoadStatus status,
                                           QWebEngineLoadingInfo::ErrorDomain domain, int code,
                                           const QUrl& url);

class WebEngineBrowser final : public QObject, public EmbeddedBrowser {
  Q_OBJECT
 public:
  static constexpr std::chrono::milliseconds kReadDeadline{10000};
  // How long a hung page's process, killed, may take to be gone.
  static constexpr std::chrono::milliseconds kHungProcessEndWait{3000};

  // The page is the browser's; a window shows it in a view of its own.
  explicit WebEngineBrowser(std::chrono::milliseconds readDeadline = kReadDeadline);
  ~WebEngineBrowser() override;

  void Navigate(const std::string& url) override;
  bool LoadEnded() const override { return ownLoad_ == OwnLoad::kEnded; }
  void WhenLoadEnds(LoadEndHandler handler) override;
  // The body's rendered text, "\n" turned into CR LF, in GBK; a failure
  // when the page has no document body or gives no answer (see above).
  void RequestPageText(PageTextHandler handler) override;
  QWebEnginePage* Page() const override { return page_; }

 private:
  struct PendingRead {
    PageTextHandler handler;
    qint64 pageProcess = 0;              // the process asked, 0 when there was none
    std::uint64_t navigationsAsked = 0;  // navigations made before the request
    harvest::PageLoad load;              // the page's own, as it stood when asked
  };
  // Where the page's own load is.
  enum class OwnLoad {
    kAsked,    // navigated; its start is still to come
    kLoading,  // started (or taking the place of a load going on)
    kEnded,
  };

  // Hands the script's answer to read `id` on, through the event loop, if it
  // is still waiting for one; an empty value is a failure. `cutShort`: the
  // ending the read tells instead of its load's (hung, process gone).
  void Answer(std::uint64_t id, const QVariant& value,
              std::optional<harvest::PageLoad::Ending> cutShort = {});
  // Loads lastUrl_ as the page's own.
  void LoadAsked();
  void LoadingChanged(const QWebEngineLoadingInfo& info);
  // The page's own load has ended: a wait for it is answered.
  void OwnLoadEnded(harvest::PageLoad load);
  void DeadlinePassed(std::uint64_t id);
  void PageProcessEnded();

  QWebEngineProfile* profile_;
  LockedWebPage* page_;
  std::chrono::milliseconds readDeadline_;

  std::map<std::uint64_t, PendingRead> pending_;
  std::uint64_t readsAsked_ = 0;
  std::uint64_t navigations_ = 0;
  QUrl lastUrl_;
  OwnLoad ownLoad_ = OwnLoad::kEnded;  // nothing to wait for before the first navigation
  harvest::PageLoad load_;             // how the page's own load ended
  LoadEndHandler loadEnded_;           // waits for it
  bool pageProcessGone_ = false;    // since the last navigation
  bool endingHungProcess_ = false;  // told to end, not yet gone
  std::uint64_t hungRead_ = 0;      // the read that found it hung, answered when it is gone
  std::uint64_t navigationsBeforeHang_ = 0;
};

}  // namespace platform

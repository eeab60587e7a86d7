#pragma once
// The embedded browser over Qt WebEngine. Reading the page's text waits for
// the renderer's answer in a local event loop that takes no user input, so
// no command can slip in while a page is processed.

#include <QObject>
#include <QPointer>
#include <QWebEngineView>
#include <chrono>

#include "platform/embedded_browser.h"
#include "platform/locked_web_page.h"

namespace platform {

class WebEngineBrowser final : public QObject, public EmbeddedBrowser {
  Q_OBJECT
 public:
  // The view is made a child of `viewParent`; the page goes before its
  // profile when the browser is destroyed, as WebEngine requires.
  explicit WebEngineBrowser(QWidget* viewParent,
                            std::chrono::milliseconds readTimeout = std::chrono::seconds(10));
  ~WebEngineBrowser() override;

  void Navigate(const std::string& url) override;
  // The body's rendered text, "\n" turned into CR LF, in GBK. Raises when
  // the page has no document body or the renderer does not answer in time.
  std::string ReadPageText() override;
  QWidget* Widget() override { return view_; }

  QWebEngineView* View() const { return view_; }
  QWebEnginePage* Page() const { return page_; }

 private:
  QPointer<QWebEngineView> view_;
  QWebEngineProfile* profile_;
  LockedWebPage* page_;
  std::chrono::milliseconds readTimeout_;
};

}  // namespace platform

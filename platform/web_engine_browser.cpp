#include "platform/web_engine_browser.h"

#include <QEventLoop>
#include <QTimer>
#include <QWebEngineHistory>
#include <QWebEngineScript>
#include <memory>

#include "harvest/errors.h"
#include "platform/gbk_codec.h"

namespace platform {
namespace {

// "无法读取网页正文": there is no page body to read.
constexpr char kMsgNoPageText[] = "\xCE\xDE\xB7\xA8\xB6\xC1\xC8\xA1\xCD\xF8\xD2\xB3\xD5\xFD\xCE\xC4";

// The body's text as the page shows it; null when there is no body.
constexpr char kReadBodyScript[] = "document.body ? document.body.innerText : null";

}  // namespace

WebEngineBrowser::WebEngineBrowser(QWidget* viewParent, std::chrono::milliseconds readTimeout)
    : view_(new QWebEngineView(viewParent)),
      profile_(MakeLockedProfile(this)),
      page_(new LockedWebPage(profile_, view_)),
      readTimeout_(readTimeout) {
  view_->setPage(page_);
  view_->setObjectName(QStringLiteral("Browser"));
}

WebEngineBrowser::~WebEngineBrowser() { delete view_.data(); }

void WebEngineBrowser::Navigate(const std::string& url) {
  // Nobody goes back in this browser; a run of thousands of pages would
  // otherwise keep an entry, with its page state, for every one.
  page_->history()->clear();
  view_->load(QUrl::fromEncoded(QByteArray::fromStdString(url), QUrl::TolerantMode));
}

std::string WebEngineBrowser::ReadPageText() {
  struct Answer {
    bool arrived = false;
    QVariant value;
  };
  // Shared with the callback, which may still come after a time-out.
  auto answer = std::make_shared<Answer>();
  QEventLoop loop;
  QTimer::singleShot(readTimeout_, &loop, &QEventLoop::quit);
  const QPointer<QEventLoop> guard(&loop);
  page_->runJavaScript(QString::fromLatin1(kReadBodyScript), QWebEngineScript::ApplicationWorld,
                       [answer, guard](const QVariant& value) {
                         answer->arrived = true;
                         answer->value = value;
                         if (guard) guard->quit();
                       });
  if (!answer->arrived) loop.exec(QEventLoop::ExcludeUserInputEvents);

  if (!answer->arrived || answer->value.typeId() != QMetaType::QString) throw harvest::Exception(kMsgNoPageText);
  QString text = answer->value.toString();
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return ToGbk(text);
}

}  // namespace platform

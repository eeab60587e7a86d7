#include "platform/url_opener.h"

#include <QDesktopServices>
#include <QUrl>

namespace platform {

void OpenUrl(const QString& url) {
  QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
}

}  // namespace platform

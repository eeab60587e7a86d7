#include "platform/url_opener.h"

#include <QDesktopServices>
#include <QUrl>

#include "platform/gbk_codec.h"

namespace platform {

void OpenUrl(std::string_view url) {
  QDesktopServices::openUrl(QUrl(FromGbk(url), QUrl::TolerantMode));
}

}  // namespace platform

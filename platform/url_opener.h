#pragma once
// Hands a web or mail address to the desktop's default handler for its
// scheme. Whether the desktop manages to open it is not reported.

#include <QString>

namespace platform {

void OpenUrl(const QString& url);

}  // namespace platform

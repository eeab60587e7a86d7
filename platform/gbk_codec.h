#pragma once
// GBK <-> Unicode at the edges of the program. Characters that GBK lacks
// become "?", as the system's own conversion does; bytes that are not valid
// GBK become U+FFFD.

#include <QString>
#include <QStringView>
#include <string>
#include <string_view>

namespace platform {

QString FromGbk(std::string_view gbk);
std::string ToGbk(QStringView text);

}  // namespace platform

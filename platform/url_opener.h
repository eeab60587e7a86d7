#pragma once
// Hands a web or mail address to the desktop's default handler for its
// scheme. Whether the desktop manages to open it is not reported.

#include <string_view>

namespace platform {

void OpenUrl(std::string_view url);

}  // namespace platform

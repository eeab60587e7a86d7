#pragma once
// The search engine's result-page addresses. The engine asks for 10 results
// a page and announces the keyword as GB2312 ("ie=gb2312"), which is what the
// GBK bytes of a Chinese keyword are.

#include <string>
#include <string_view>

#include "harvest/nmurl.h"

namespace harvest {

inline constexpr std::string_view kQueryPrefix =
    "http://www.baidu.com/baidu?lm=0&si=&rn=10&ie=gb2312&ct=0&word=";

// prefix + encoded trimmed keyword + "&pn="; `encoder` is fed the keyword
// through its InputString, as the window's encoder component is.
std::string MakeKeywordBase(std::string_view prefix, std::string_view keywordLine, TNMURL& encoder);

// queryBase + offset in decimal + "&cl=3".
std::string MakePageUrl(std::string_view queryBase, int offset);

}  // namespace harvest

#pragma once
// The search engine's result-page addresses. The engine asks for 10 results
// a page and announces the keyword as GB2312 ("ie=gb2312"), which is what the
// GBK bytes of a Chinese keyword are.

#include <string>
#include <string_view>

namespace harvest {

inline constexpr std::string_view kQueryPrefix =
    "http://www.baidu.com/baidu?lm=0&si=&rn=10&ie=gb2312&ct=0&word=";

// A keyword's bytes in URL form: a space becomes "+", ASCII letters and
// digits stay, every other byte becomes "%XX" in upper-case hex. Never fails.
std::string EncodeKeyword(std::string_view bytes);

// prefix + encoded trimmed keyword + "&pn=".
std::string MakeKeywordBase(std::string_view prefix, std::string_view keywordLine);

// queryBase + offset in decimal + "&cl=3".
std::string MakePageUrl(std::string_view queryBase, int offset);

}  // namespace harvest

#include "harvest/query_url.h"

#include "harvest/text.h"

namespace harvest {

std::string MakeKeywordBase(std::string_view prefix, std::string_view keywordLine, TNMURL& encoder) {
  encoder.SetInputString(Trim(keywordLine));
  std::string base(prefix);
  base += encoder.Encode();
  base += "&pn=";
  return base;
}

std::string MakePageUrl(std::string_view queryBase, int offset) {
  std::string url(queryBase);
  url += IntToStr(offset);
  url += "&cl=3";
  return url;
}

}  // namespace harvest

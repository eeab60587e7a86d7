#include "harvest/query_url.h"

#include "harvest/text.h"

namespace harvest {
namespace {

bool KeptAsIs(unsigned char b) {
  return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

}  // namespace

std::string EncodeKeyword(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b == ' ') {
      out += '+';
    } else if (KeptAsIs(b)) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    }
  }
  return out;
}

std::string MakeKeywordBase(std::string_view prefix, std::string_view keywordLine) {
  std::string base(prefix);
  base += EncodeKeyword(Trim(keywordLine));
  base += "&pn=";
  return base;
}

std::string MakePageUrl(std::string_view queryBase, int offset) {
  std::string url(queryBase);
  url += std::to_string(offset);
  url += "&cl=3";
  return url;
}

}  // namespace harvest

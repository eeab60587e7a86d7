#include "harvest/nmurl.h"

namespace harvest {
namespace {

bool KeptAsIs(unsigned char b) {
  return (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

}  // namespace

std::string TNMURL::Encode(std::string_view bytes) {
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

}  // namespace harvest

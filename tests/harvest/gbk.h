#pragma once
// Test-side conversion of readable UTF-8 literals into the GBK bytes the
// engine works with, through glibc's iconv.

#include <iconv.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace testing_gbk {

inline std::string Convert(std::string_view text, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  std::string in(text);
  std::string out(in.size() * 4 + 4, '\0');
  char* inPtr = in.data();
  char* outPtr = out.data();
  std::size_t inLeft = in.size();
  std::size_t outLeft = out.size();
  const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1)) throw std::runtime_error("iconv failed");
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace testing_gbk

// "下一页>" as GBK bytes.
inline std::string Gbk(std::string_view utf8) { return testing_gbk::Convert(utf8, "GBK", "UTF-8"); }
inline std::string Utf8(std::string_view gbk) { return testing_gbk::Convert(gbk, "UTF-8", "GBK"); }

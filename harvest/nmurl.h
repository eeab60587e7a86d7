#pragma once
// The keyword encoder: turns a keyword's bytes into URL form. A space becomes
// "+", ASCII letters and digits stay, every other byte becomes "%XX" with
// upper-case hex. It never fails.

#include <string>
#include <string_view>

namespace harvest {

class TNMURL {
 public:
  const std::string& InputString() const { return inputString_; }
  void SetInputString(std::string text) { inputString_ = std::move(text); }

  std::string Encode() const { return Encode(inputString_); }
  static std::string Encode(std::string_view bytes);

 private:
  std::string inputString_;
};

}  // namespace harvest

// A keyword line from the imported file, in URL form: the encoding must
// stay inside the characters a URL query carries as they are, and decode
// back to the keyword's bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "harvest/query_url.h"
#include "harvest/text.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool IsAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

int UpperHexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Letters and digits as they are, "+" for a space, "%XX" in upper-case hex
// for any byte; nothing else may appear.
std::optional<std::string> Decode(std::string_view encoded) {
  std::string bytes;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    const char c = encoded[i];
    if (IsAlnum(c)) {
      bytes += c;
    } else if (c == '+') {
      bytes += ' ';
    } else if (c == '%' && i + 2 < encoded.size() && UpperHexValue(encoded[i + 1]) >= 0 &&
               UpperHexValue(encoded[i + 2]) >= 0) {
      bytes +=
          static_cast<char>(UpperHexValue(encoded[i + 1]) * 16 + UpperHexValue(encoded[i + 2]));
      i += 2;
    } else {
      return std::nullopt;
    }
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view keyword(reinterpret_cast<const char*>(data), size);

  const std::string encoded = harvest::EncodeKeyword(keyword);
  const auto decoded = Decode(encoded);
  fuzz::Require(decoded.has_value(), "only letters, digits, + and %XX");
  fuzz::Require(*decoded == keyword, "the encoding decodes back to the keyword");

  const std::string base = harvest::MakeKeywordBase(harvest::kQueryPrefix, keyword);
  fuzz::Require(base.starts_with(harvest::kQueryPrefix) && base.ends_with("&pn="),
                "the base is prefix, keyword, &pn=");
  const std::string_view middle = std::string_view(base).substr(
      harvest::kQueryPrefix.size(), base.size() - harvest::kQueryPrefix.size() - 4);
  fuzz::Require(Decode(middle) == harvest::Trim(keyword), "the base carries the trimmed keyword");
  return 0;
}

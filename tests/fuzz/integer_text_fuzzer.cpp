// Integers in text (the progress file's numbers, the interval field): the
// conversion is held against a plain reading of its rules.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "harvest/errors.h"
#include "harvest/text.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

int DigitValue(char c, int base) {
  int value = 36;
  if (c >= '0' && c <= '9') value = c - '0';
  if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value < base ? value : -1;
}

// Spaces, a sign, a hex mark or none, then digits of that base to the end;
// the value within the signed 32-bit range.
std::optional<std::int32_t> Reference(std::string_view text) {
  text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  for (const std::string_view mark : {"0x", "0X", "$", "x", "X"}) {
    if (text.starts_with(mark)) {
      base = 16;
      text.remove_prefix(mark.size());
      break;
    }
  }
  if (text.empty()) return std::nullopt;
  // Leading zeros add nothing; past 9 significant digits a value may leave
  // the range, so it is tracked in a wider type than it can reach.
  long double magnitude = 0;
  for (const char c : text) {
    const int digit = DigitValue(c, base);
    if (digit < 0) return std::nullopt;
    magnitude = magnitude * base + digit;
  }
  const long double value = negative ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::optional<std::int32_t> converted;
  try {
    converted = harvest::ParseInteger(text);
  } catch (const harvest::NotAnIntegerError& error) {
    fuzz::Require(error.Message() == "'" + std::string(text) + "' is not a valid integer value",
                  "the error quotes the text");
  }
  fuzz::Require(converted == Reference(text), "ParseInteger reads the text as its rules say");

  // The fallback is answered exactly where ParseInteger raises.
  fuzz::Require(harvest::ParseIntegerOr(text, 7) == converted.value_or(7), "ParseIntegerOr agrees");
  fuzz::Require(harvest::ParseIntegerOr(text, -7) == converted.value_or(-7),
                "ParseIntegerOr agrees");
  if (converted) {
    fuzz::Require(harvest::ParseInteger(std::to_string(*converted)) == *converted,
                  "a value survives DecimalText and back");
  }
  return 0;
}

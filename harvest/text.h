#pragma once
// Byte-text helpers shared by the whole program. Texts are GBK bytes; every
// rule here works on bytes, never on characters.

#include <cstdint>
#include <string>
#include <string_view>

namespace harvest {

// Removes leading and trailing bytes of value 32 or below; inner ones stay.
std::string Trim(std::string_view text);

// Decimal without leading zeros, "-" in front when negative.
std::string IntToStr(std::int64_t value);

// Optional leading spaces, an optional sign, then decimal digits or hex digits
// after "$", "x", "X", "0x" or "0X"; the value must fit a signed 32-bit
// integer. Anything else (the empty text and trailing blanks included) raises
// EConvertError "'%s' is not a valid integer value".
std::int32_t StrToInt(std::string_view text);

// StrToInt, giving `fallback` where StrToInt would raise.
std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback);

}  // namespace harvest

#pragma once
// Byte-text helpers shared by the whole program. Texts are GBK bytes; every
// rule here works on bytes, never on characters.

#include <cstdint>
#include <string>
#include <string_view>

namespace harvest {

// Removes leading and trailing bytes of value 32 or below; inner ones stay.
std::string Trim(std::string_view text);

// Optional leading spaces, an optional sign, then decimal digits or hex digits
// after "$", "x", "X", "0x" or "0X"; the value must fit a signed 32-bit
// integer. Anything else (the empty text and trailing blanks included) raises
// NotAnIntegerError "'%s' is not a valid integer value".
std::int32_t ParseInteger(std::string_view text);

// ParseInteger, giving `fallback` where ParseInteger would raise.
std::int32_t ParseIntegerOr(std::string_view text, std::int32_t fallback);

}  // namespace harvest

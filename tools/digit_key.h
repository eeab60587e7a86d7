#pragma once
// Lines made of ASCII digits alone (the harvested numbers) are by far the
// most common data. For them the locale's order is the digits from the left,
// a line that begins another coming first: plain byte order. Up to 18 digits
// pack into one 64-bit integer with that order, each digit d as d + 1 in base
// 11 and 0 for "no more digits", so such lines sort and compare as integers.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tools {

inline constexpr std::size_t kMaxDigitKeyLength = 18;  // 11^18 < 2^63

// The key of a line of at most 18 ASCII digits (the empty line included).
inline std::optional<std::uint64_t> DigitKey(std::string_view line) {
  if (line.size() > kMaxDigitKeyLength) return std::nullopt;
  std::uint64_t key = 0;
  for (const char c : line) {
    const unsigned digit = static_cast<unsigned char>(c) - '0';
    if (digit > 9) return std::nullopt;
    key = key * 11 + digit + 1;
  }
  for (std::size_t i = line.size(); i < kMaxDigitKeyLength; ++i) key *= 11;
  return key;
}

// Writes the digits of `key` to `out`; answers how many (at most 18).
inline std::size_t DigitKeyText(std::uint64_t key, char* out) {
  char reversed[kMaxDigitKeyLength];
  for (std::size_t i = 0; i < kMaxDigitKeyLength; ++i) {
    reversed[i] = static_cast<char>(key % 11);
    key /= 11;
  }
  std::size_t n = 0;
  for (std::size_t i = kMaxDigitKeyLength; i-- > 0 && reversed[i] != 0;) out[n++] = static_cast<char>('0' + reversed[i] - 1);
  return n;
}

}  // namespace tools

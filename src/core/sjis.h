// Shift-JIS (code page 932) character helpers shared by every part of Tarn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarn {

// A character code: a single byte as itself, a double-byte character as lead * 256 + trail.
// Code 0 stands for the end of a text.
using RE_Char_t = std::uint16_t;

// The largest code a real character can have; codes above it are internal symbols.
inline constexpr RE_Char_t kMaxCharCode = 0xFCFC;

// Lead bytes of code page 932: 0x81-0x9F and 0xE0-0xFC.
constexpr bool IsLeadByte(unsigned char b) noexcept {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
constexpr bool IsLeadByte(char c) noexcept { return IsLeadByte(static_cast<unsigned char>(c)); }

// Byte length of the character starting at s[i]: 2 for a lead byte followed by another byte,
// else 1. A lead byte that is the last byte of s counts as one byte, so callers never step past
// the end.
constexpr std::size_t CharLengthAt(std::string_view s, std::size_t i) noexcept {
  return (IsLeadByte(s[i]) && i + 1 < s.size()) ? 2 : 1;
}

// True when byte index i of s is the first byte of a character (not a trail byte), scanning from
// the start of s.
bool IsCharBoundary(std::string_view s, std::size_t i) noexcept;

// The code of the character at s[i] (see CharLengthAt for a lone lead byte at the end).
constexpr RE_Char_t CharCodeAt(std::string_view s, std::size_t i) noexcept {
  const auto b = static_cast<unsigned char>(s[i]);
  if (CharLengthAt(s, i) == 2) return static_cast<RE_Char_t>(b << 8 | static_cast<unsigned char>(s[i + 1]));
  return b;
}

// Text of a character code: two bytes when the high byte is a lead byte, else the low byte.
std::string CharCodeToText(RE_Char_t code);

}  // namespace tarn

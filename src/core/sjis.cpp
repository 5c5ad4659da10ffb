#include "core/sjis.h"

namespace tarn {

bool IsCharBoundary(std::string_view s, std::size_t i) noexcept {
  std::size_t p = 0;
  while (p < i) p += CharLengthAt(s, p);
  return p == i;
}

std::string CharCodeToText(RE_Char_t code) {
  const auto high = static_cast<unsigned char>(code >> 8);
  const auto low = static_cast<char>(code & 0xFF);
  if (IsLeadByte(high)) return std::string{static_cast<char>(high), low};
  return std::string(1, low);
}

}  // namespace tarn

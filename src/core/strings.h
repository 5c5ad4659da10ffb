// Small byte-string helpers.
#pragma once

#include <string_view>

namespace tarn {

// Removes bytes 0-32 from both ends (a double-byte character never ends in such a byte).
constexpr std::string_view Trim(std::string_view s) noexcept {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) s.remove_suffix(1);
  return s;
}

}  // namespace tarn

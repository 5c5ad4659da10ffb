#include "ui/history_completion.h"

#include "core/sjis.h"

namespace tarn::ui {
namespace {

char Upper(char c) noexcept { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) noexcept {
  if (prefix.size() > text.size()) return false;
  for (std::size_t i = 0; i < prefix.size();) {
    const std::size_t len = CharLengthAt(prefix, i);
    if (len == 1) {
      if (Upper(text[i]) != Upper(prefix[i])) return false;
    } else if (text.substr(i, len) != prefix.substr(i, len)) {
      return false;
    }
    i += len;
  }
  return true;
}

std::optional<TCompletion> StandardCompletion(const std::vector<std::string>& items, std::string_view candidate) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    // The candidate ends on a whole character, so an item that begins with it is cut on one too.
    if (StartsWithIgnoringCase(items[i], candidate))
      return TCompletion{static_cast<int>(i), items[i].substr(candidate.size())};
  }
  return std::nullopt;
}

std::optional<TCompletion> OwnCompletion(const std::vector<std::string>& items, std::string_view text,
                                         std::uint16_t min_length, std::uint16_t last_key) {
  if (last_key == kKeyBackSpace || last_key == kKeyDelete || text.size() < min_length || items.empty())
    return std::nullopt;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string& item = items[i];
    if (item.size() < text.size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < text.size() && same; ++k) same = Upper(item[k]) == Upper(text[k]);
    if (same) return TCompletion{static_cast<int>(i), item.substr(text.size())};
  }
  return std::nullopt;
}

}  // namespace tarn::ui

#include "ui/history_list.h"

#include "core/strings.h"

namespace tarn::ui {

void THistoryList::SetItems(std::vector<std::string> items) {
  items_ = std::move(items);
  Trim();
}

void THistoryList::SetMaxHistory(std::uint16_t n) {
  max_history_ = n;
  Trim();
}

bool THistoryList::AddToHistory(std::string_view text) {
  if (text.find("\r\n") != std::string_view::npos || text.find('\t') != std::string_view::npos) return false;
  if (tarn::Trim(text).empty()) return false;
  items_.insert(items_.begin(), std::string(text));
  for (std::size_t i = items_.size() - 1; i >= 1; --i)
    if (items_[i] == text) items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
  Trim();
  return true;
}

void THistoryList::Trim() {
  if (items_.size() > max_history_) items_.resize(max_history_);
}

}  // namespace tarn::ui

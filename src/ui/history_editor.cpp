#include "ui/history_editor.h"

#include <algorithm>
#include <functional>

#include "core/comma_text.h"

namespace tarn::ui {

std::string& THistoryEditor::History(std::size_t index) {
  switch (index) {
    case 0: return request_.FindString;
    case 1: return request_.FindDirectory;
    case 2: return request_.FindFileMask;
    default: return request_.FindDirectoryMask;
  }
}

void THistoryEditor::Choose(std::size_t index) {
  if (index >= kHistoryCount) return;
  Store();
  items_ = ParseCommaText(History(index));
  shown_ = index;
}

void THistoryEditor::Delete(std::vector<std::size_t> rows) {
  std::sort(rows.begin(), rows.end(), std::greater<>());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  for (std::size_t row : rows)
    if (row < items_.size()) items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(row));
}

void THistoryEditor::Store() {
  if (shown_) History(*shown_) = ToCommaText(items_);
}

}  // namespace tarn::ui

#include "editor/row_widths.h"

#include <algorithm>
#include <cstddef>

namespace tarn::editor {

void TRowWidths::Add(int width) {
  width = std::max(width, 0);
  if (width >= kIndexed) {
    ++wide_[width];
    return;
  }
  const auto at = static_cast<std::size_t>(width);
  if (at >= narrow_.size()) narrow_.resize(at + 1, 0);
  ++narrow_[at];
  widestNarrow_ = std::max(widestNarrow_, width);
}

void TRowWidths::Remove(int width) {
  width = std::max(width, 0);
  if (width >= kIndexed) {
    if (const auto it = wide_.find(width); it != wide_.end() && --it->second == 0) wide_.erase(it);
    return;
  }
  const auto at = static_cast<std::size_t>(width);
  if (at >= narrow_.size() || narrow_[at] == 0) return;
  --narrow_[at];
  while (widestNarrow_ > 0 && narrow_[static_cast<std::size_t>(widestNarrow_)] == 0) --widestNarrow_;
}

void TRowWidths::Clear() noexcept {
  narrow_.clear();
  widestNarrow_ = 0;
  wide_.clear();
}

int TRowWidths::Widest() const noexcept { return wide_.empty() ? widestNarrow_ : wide_.rbegin()->first; }

}  // namespace tarn::editor

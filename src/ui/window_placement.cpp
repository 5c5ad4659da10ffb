#include "ui/window_placement.h"

#include <algorithm>

namespace tarn::ui {
namespace {

// Overlap of two spans (negative: the gap between them), in 64 bits so that no saved value can
// overflow.
std::int64_t Overlap(std::int64_t from1, std::int64_t length1, std::int64_t from2, std::int64_t length2) {
  return std::min(from1 + length1, from2 + length2) - std::max(from1, from2);
}

}  // namespace

QRect PlacedOnScreens(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                      const QList<QRect>& screens) {
  if (screens.isEmpty()) return QRect(left, top, std::max(width, 1), std::max(height, 1));
  // The screen the bounds overlap most; for bounds on none, the nearest.
  const QRect* screen = nullptr;
  std::int64_t best = 0;
  for (const QRect& candidate : screens) {
    const std::int64_t x = Overlap(left, std::max(width, 1), candidate.left(), candidate.width());
    const std::int64_t y = Overlap(top, std::max(height, 1), candidate.top(), candidate.height());
    const std::int64_t score = x > 0 && y > 0 ? x * y : std::min<std::int64_t>(x, 0) + std::min<std::int64_t>(y, 0);
    if (screen == nullptr || score > best) {
      best = score;
      screen = &candidate;
    }
  }
  const int w = width < 1 ? screen->width() : std::min(width, screen->width());
  const int h = height < 1 ? screen->height() : std::min(height, screen->height());
  const int x = std::clamp(left, screen->left(), screen->left() + screen->width() - w);
  const int y = std::clamp(top, screen->top(), screen->top() + screen->height() - h);
  return QRect(x, y, w, h);
}

int LeftPanelWidth(std::int32_t saved, int windowWidth, int boxesWidth) {
  const int most = windowWidth >= kMinPanelWidth + boxesWidth ? windowWidth - boxesWidth : windowWidth / 3;
  return std::clamp(saved, std::min(kMinPanelWidth, most), most);
}

}  // namespace tarn::ui

#include "ui/window_placement.h"

#include <algorithm>

namespace tarn::ui {
namespace {

// Overlap of two spans in 64 bits, so that no saved value can overflow.
std::int64_t Overlap(std::int64_t from1, std::int64_t length1, std::int64_t from2, std::int64_t length2) {
  return std::max<std::int64_t>(0, std::min(from1 + length1, from2 + length2) - std::max(from1, from2));
}

}  // namespace

QRect PlacedOnScreens(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                      const QList<QRect>& screens) {
  constexpr int kLimit = 32767;  // what a window system can place; QRect's corners never overflow
  if (screens.isEmpty())
    return QRect(std::clamp(left, -kLimit, kLimit), std::clamp(top, -kLimit, kLimit), std::clamp(width, 1, kLimit),
                 std::clamp(height, 1, kLimit));
  const QRect* screen = nullptr;
  std::int64_t best = 0;
  for (const QRect& candidate : screens) {
    const std::int64_t area = Overlap(left, std::max(width, 1), candidate.left(), candidate.width()) *
                              Overlap(top, std::max(height, 1), candidate.top(), candidate.height());
    if (area > best) {
      best = area;
      screen = &candidate;
    }
  }
  if (screen == nullptr) {
    // On no screen (one since unplugged): the top-left corner of the first.
    screen = &screens.front();
    left = screen->left();
    top = screen->top();
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

#include "ui/find_string_rules.h"

#include <QtCore/qnamespace.h>
#include <algorithm>
#include <cstdio>

namespace tarn::ui {

std::optional<std::string> PickedFindString(std::string_view row) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  // Trail bytes of double-byte characters are 0x40 or more, so no character is cut.
  while (!row.empty() && blank(row.front())) row.remove_prefix(1);
  while (!row.empty() && blank(row.back())) row.remove_suffix(1);
  if (row.empty()) return std::nullopt;
  return std::string(row);
}

std::string CaretStatusText(int row, int col) {
  // "%4d", not the C library's "%4.d": precision 0 would print column 0 as blanks.
  char text[32];
  const int n = std::snprintf(text, sizeof text, "%4d: %4d ", row + 1, col);
  return std::string(text, static_cast<std::size_t>(n));
}

bool EditorKeepsKey(int key) {
  switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
    case Qt::Key_Insert:
      return true;
    default:
      return false;
  }
}

QRect PlacedBeside(QSize size, const QRect& owner, const QRect& keepClear, const QRect& screen, QSize minimum) {
  size = size.boundedTo(screen.size()).expandedTo(minimum);
  const int top = std::clamp(owner.top(), screen.top(), std::max(screen.top(), screen.bottom() - size.height() + 1));
  if (owner.right() + size.width() <= screen.right()) return QRect(QPoint(owner.right() + 1, top), size);
  if (owner.left() - size.width() >= screen.left()) return QRect(QPoint(owner.left() - size.width(), top), size);
  const int below = keepClear.bottom() + 1;
  const int height = std::max(minimum.height(), std::min(size.height(), screen.bottom() - below + 1));
  return QRect(screen.right() - size.width() + 1, std::min(below, screen.bottom() - height + 1), size.width(), height);
}

}  // namespace tarn::ui

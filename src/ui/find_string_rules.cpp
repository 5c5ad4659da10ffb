#include "ui/find_string_rules.h"

#include <QtCore/qnamespace.h>
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

QRect PlacedOnScreen(const QRect& bounds, const QList<QRect>& screens) {
  if (screens.isEmpty()) return bounds;
  for (const QRect& screen : screens)
    if (screen.intersects(bounds)) return bounds;
  return QRect(screens.front().topLeft(), bounds.size());
}

}  // namespace tarn::ui

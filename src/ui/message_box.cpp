#include "ui/message_box.h"

#include <QLabel>
#include <QScreen>
#include <algorithm>

namespace tarn::ui {

void KeepLinesWhole(QMessageBox& box) {
  box.ensurePolished();
  auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
  if (!label) return;
  label->ensurePolished();
  const QFontMetrics metrics(label->font());
  int longest = 0;
  for (const QString& line : box.text().split(QLatin1Char('\n')))
    longest = std::max(longest, metrics.horizontalAdvance(line));
  // The box never grows past the screen (less room for its icon and margins): a longer line
  // still wraps there.
  const QScreen* screen = box.screen();
  const int screenWidth = screen ? screen->availableGeometry().width() : 800;
  const int boxLimit = screenWidth <= 1024 ? screenWidth : std::min(screenWidth - 480, 1000);
  label->setMinimumWidth(std::min(longest + 2 * label->margin() + 4, boxLimit - 120));
}

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                           const QString& text, QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, title, text, buttons, parent);
  KeepLinesWhole(box);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace tarn::ui

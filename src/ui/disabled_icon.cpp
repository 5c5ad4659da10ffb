#include "ui/disabled_icon.h"

#include <QImage>
#include <QPixmap>

namespace tarn::ui {

QIcon WithDisabledLook(const QIcon& icon) {
  QIcon out;
  for (const int side : {16, 24, 32, 48}) {
    const QPixmap normal = icon.pixmap(QSize(side, side));
    if (normal.isNull()) continue;
    out.addPixmap(normal, QIcon::Normal);
    // Contrast pressed towards mid grey and a third of the opacity: it all but fades into the bar,
    // whatever its colours were.
    QImage image = normal.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
      auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < image.width(); ++x) {
        const int grey = 128 + (qGray(line[x]) - 128) * 3 / 10;
        line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) / 3);
      }
    }
    out.addPixmap(QPixmap::fromImage(image), QIcon::Disabled);
  }
  return out;
}

}  // namespace tarn::ui

// Message boxes whose lines stay whole. A Japanese sentence has no blanks, so the toolkit's
// wrapping would break it between any two characters ("使用されてい / ます"); the box is made wide
// enough for its longest line instead, as far as the screen allows.
#pragma once

#include <QMessageBox>

namespace tarn::ui {

// Widens the box's text to its longest line (lines end at "\n").
void KeepLinesWhole(QMessageBox& box);

// A modal box with the lines kept whole; the button the user chose.
QMessageBox::StandardButton ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                           const QString& text,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok);

}  // namespace tarn::ui

// TFormSplash: the picture shown while the program starts, when one lies beside the program.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>

namespace tarn::ui {

class TFormSplash : public QWidget {
  Q_OBJECT

 public:
  // The picture's path: the program's path with its extension (if any) replaced by ".bmp".
  static QString PicturePathFor(const QString& program_path);
  // Shows and paints the picture at once, centred on the screen; nothing when there is no
  // readable picture.
  static std::unique_ptr<TFormSplash> ShowIfPresent(const QString& picture_path);

 private:
  TFormSplash() = default;
};

}  // namespace tarn::ui

#include "ui/fr_splash.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>

namespace tarn::ui {

QString TFormSplash::PicturePathFor(const QString& program_path) {
  const QFileInfo program(program_path);
  return program.path() + QLatin1Char('/') + program.completeBaseName() + QStringLiteral(".bmp");
}

std::unique_ptr<TFormSplash> TFormSplash::ShowIfPresent(const QString& picture_path) {
  if (!QFileInfo(picture_path).isFile()) return nullptr;
  const QPixmap picture(picture_path);
  if (picture.isNull()) return nullptr;
  std::unique_ptr<TFormSplash> splash(new TFormSplash);
  splash->setObjectName(QStringLiteral("FormSplash"));
  splash->setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  auto* image = new QLabel(splash.get());
  image->setObjectName(QStringLiteral("ImageSplash"));
  image->setPixmap(picture);
  image->setGeometry(1, 1, picture.width(), picture.height());
  const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry() : QRect();
  splash->setGeometry((screen.width() - picture.width()) / 2, (screen.height() - picture.height()) / 2,
                      picture.width() + 2, picture.height() + 2);
  splash->show();
  splash->repaint();
  QCoreApplication::processEvents();
  return splash;
}

}  // namespace tarn::ui

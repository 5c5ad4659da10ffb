// What the window tests share: a window opened on a data directory of its own, the request
// boxes, message boxes answered as they open, popups closed as a window manager would, and
// screenshots when TARN_SCREENSHOT_DIR names a folder.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QContextMenuEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/encoding.h"
#include "settings/data_locations.h"
#include "ui/fr_tarn_main.h"
#include "ui/ko_flat_combo_box.h"

namespace tarn::ui::testing {

// A call to the system that does not return until released (or, should the window wait for it
// after all, until the test gives up on it).
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool released = false;
  int waiting = 0;
  void Pass() {
    std::unique_lock lock(mutex);
    ++waiting;
    changed.wait_for(lock, std::chrono::seconds(10), [this] { return released; });
    --waiting;
  }
  void Release() {
    const std::lock_guard lock(mutex);
    released = true;
    changed.notify_all();
  }
  void Close() {
    const std::lock_guard lock(mutex);
    released = false;
  }
  int Waiting() {
    const std::lock_guard lock(mutex);
    return waiting;
  }
};

inline const QString kSamples = QStringLiteral(TARN_SOURCE_DIR "/samples");

inline void WriteCp932(const QString& path, const std::string& utf8) {
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  const std::string bytes = tarn::Utf8ToCp932(utf8);
  f.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

// An editor that writes its arguments, one a line, to argv.txt beside it, set in the data
// directory's tarn.ini with the given parameters.
inline void WriteEditorStub(const QString& dataDirectory, const std::string& cmdLine) {
  const QString stub = dataDirectory + "/editor.sh";
  QFile script(stub);
  QVERIFY(script.open(QIODevice::WriteOnly));
  script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/argv.tmp\"\n"
               "mv \"$(dirname \"$0\")/argv.tmp\" \"$(dirname \"$0\")/argv.txt\"\n");
  script.close();
  script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  WriteCp932(dataDirectory + "/tarn.ini", "[Editor]\r\nExeName=" + stub.toStdString() + "\r\nCmdLine=" + cmdLine + "\r\n");
}

// Answers every message box that opens while it lives, keeping their texts and the lines that
// the box breaks for want of width; after lingerMs, as a user who reads it first.
class MessageBoxAnswerer {
 public:
  explicit MessageBoxAnswerer(QMessageBox::StandardButton answer = QMessageBox::Ok, int lingerMs = 0) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this, answer, lingerMs] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        if (!seen_.isValid()) seen_.start();
        if (seen_.elapsed() < lingerMs) return;
        seen_.invalidate();
        texts.push_back(box->text());
        box->layout()->activate();
        if (const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
          for (const QString& line : box->text().split(QLatin1Char('\n')))
            if (label->fontMetrics().horizontalAdvance(line) > label->contentsRect().width()) brokenLines << line;
        if (QAbstractButton* button = box->button(answer))
          button->click();
        else
          box->done(answer);
      }
    });
    timer_.start();
  }
  QStringList texts;
  QStringList brokenLines;

 private:
  QTimer timer_;
  QElapsedTimer seen_;
};

inline void Screenshot(QWidget& window, const char* name, QMenu* menu = nullptr) {
  const QString dir = qEnvironmentVariable("TARN_SCREENSHOT_DIR");
  if (dir.isEmpty()) return;
  // Lets the preview's short timer fire, so that the picture shows what a user sees a moment later.
  QTest::qWait(50);
  QImage image = window.grab().toImage();
  if (menu && menu->isVisible()) {
    QPainter p(&image);
    p.drawPixmap(window.mapFromGlobal(menu->pos()), menu->grab());
  }
  QDir().mkpath(dir);
  image.save(dir + "/" + name + ".png");
}


inline std::unique_ptr<TFormTarnMain> OpenWindow(const QString& dataDirectory, std::vector<std::string> args = {}) {
  auto w = std::make_unique<TFormTarnMain>(settings::DataLocations::InDirectory(dataDirectory.toStdString()),
                                           std::move(args));
  w->resize(900, 600);
  w->show();
  if (!QTest::qWaitForWindowActive(w.get())) return nullptr;
  return w;
}

inline TKoFlatComboBox& Box(TFormTarnMain& w, const char* name) {
  auto* box = w.findChild<TKoFlatComboBox*>(QLatin1String(name));
  Q_ASSERT(box);
  return *box;
}

inline void Request(TFormTarnMain& w, const QString& find, const QString& dir, const QString& mask) {
  Box(w, "KoFlatComboBoxFindString").setEditText(find);
  Box(w, "KoFlatComboBoxFindDirectory").setEditText(dir);
  Box(w, "KoFlatComboBoxFindFileMask").setEditText(mask);
}

inline QMenu& OpenPopup(TFormTarnMain& w) {
  QWidget* viewport = w.KoEditorResult().viewport();
  QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(30, 30), viewport->mapToGlobal(QPoint(30, 30)));
  QApplication::sendEvent(viewport, &e);
  return w.PopupMenuEdit();
}

// The window manager gives the activation back to the window when a popup or a dialog closes;
// the offscreen platform leaves that to us.
inline void Reactivate(QWidget& w) {
  w.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&w));
}

inline void ClosePopup(TFormTarnMain& w, QMenu& menu) {
  menu.close();
  Reactivate(w);
}

inline bool HasFocus(QComboBox& box) {
  return QApplication::focusWidget() == &box || QApplication::focusWidget() == box.lineEdit();
}

}  // namespace tarn::ui::testing

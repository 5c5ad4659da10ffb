// TShortCutEdit: the read-only field that shows the key combination pressed in it. While it has
// the focus it takes every key, Enter, Esc, Tab and Ctrl+Tab included, so none of them reaches the
// dialog's buttons, shortcuts or focus chain.
#pragma once

#include <QLineEdit>

#include "ui/shortcut_capture.h"

namespace tarn::ui {

class TShortCutEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit TShortCutEdit(QWidget* parent = nullptr);

  std::string Text() const;
  void SetText(const std::string& shortcutText);

 signals:
  // A key was pressed; the owner decides whether the field takes it.
  void Captured(const tarn::ui::TCapture& capture);
  // The field gained or lost the focus: the dialog's own keys stand aside meanwhile.
  void CaptureActive(bool active);

 protected:
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
};

}  // namespace tarn::ui

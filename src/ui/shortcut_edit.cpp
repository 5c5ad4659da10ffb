#include "ui/shortcut_edit.h"

#include <QKeyEvent>

#include "ui/ui_text.h"

namespace tarn::ui {

TShortCutEdit::TShortCutEdit(QWidget* parent) : QLineEdit(parent) {
  setReadOnly(true);
  setContextMenuPolicy(Qt::NoContextMenu);
  setAttribute(Qt::WA_InputMethodEnabled, false);
}

// Shortcut texts are CP932: the Japanese keys have Japanese names.
std::string TShortCutEdit::Text() const { return ToCp932(text()); }

void TShortCutEdit::SetText(const std::string& shortcutText) { setText(FromCp932(shortcutText)); }

bool TShortCutEdit::event(QEvent* e) {
  // Shortcuts of the window (Ctrl+Tab, the actions) would take the key before it arrives here.
  if (e->type() == QEvent::ShortcutOverride) {
    e->accept();
    return true;
  }
  // Tab and Shift+Tab would move the focus before keyPressEvent sees them.
  if (e->type() == QEvent::KeyPress) {
    keyPressEvent(static_cast<QKeyEvent*>(e));
    return true;
  }
  return QLineEdit::event(e);
}

void TShortCutEdit::keyPressEvent(QKeyEvent* e) {
  e->accept();
  emit Captured(CaptureOfKey(e->key(), e->modifiers()));
}

void TShortCutEdit::focusInEvent(QFocusEvent* e) {
  QLineEdit::focusInEvent(e);
  emit CaptureActive(true);
}

void TShortCutEdit::focusOutEvent(QFocusEvent* e) {
  QLineEdit::focusOutEvent(e);
  emit CaptureActive(false);
}

}  // namespace tarn::ui

#include "ui/ko_flat_combo_box.h"

#include <QCompleter>
#include <QKeyEvent>
#include <QLineEdit>

#include "ui/ui_text.h"

namespace tarn::ui {

TKoFlatComboBox::TKoFlatComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setMaxVisibleItems(16);
  SetAutoComplete(false);
}

std::string TKoFlatComboBox::Text() const { return ToCp932(currentText()); }

void TKoFlatComboBox::SetText(const std::string& cp932) { setEditText(FromCp932(cp932)); }

void TKoFlatComboBox::SetHistoryItems(std::vector<std::string> items) {
  history_.SetItems(std::move(items));
  ShowItems();
}

void TKoFlatComboBox::SetMaxHistory(std::uint16_t n) {
  history_.SetMaxHistory(n);
  ShowItems();
}

void TKoFlatComboBox::AddToHistory() {
  if (history_.AddToHistory(Text())) ShowItems();
}

void TKoFlatComboBox::ClearHistory() {
  history_.Clear();
  ShowItems();
}

void TKoFlatComboBox::SetAutoComplete(bool on) {
  if (!on) {
    setCompleter(nullptr);
    return;
  }
  auto* completer = new QCompleter(model(), this);
  completer->setCaseSensitivity(Qt::CaseInsensitive);
  completer->setCompletionMode(QCompleter::InlineCompletion);
  setCompleter(completer);
}

void TKoFlatComboBox::ShowItems() {
  // The edit text is the user's, whatever the list becomes.
  const QString text = currentText();
  const int cursor = lineEdit()->cursorPosition();
  const QSignalBlocker block(this);
  clear();
  for (const std::string& item : history_.Items()) addItem(FromCp932(item));
  setCurrentIndex(-1);
  setEditText(text);
  lineEdit()->setCursorPosition(cursor);
}

// The edit field passes on the Enter it does not use; the box gives it to its owner instead of
// taking it as its own.
void TKoFlatComboBox::keyPressEvent(QKeyEvent* e) {
  if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && !(e->modifiers() & ~Qt::KeypadModifier)) {
    e->accept();
    emit EnterPressed();
    return;
  }
  QComboBox::keyPressEvent(e);
}

}  // namespace tarn::ui

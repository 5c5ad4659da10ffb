#include "ui/ko_flat_combo_box.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>

#include "ui/history_completion.h"
#include "ui/ui_text.h"

namespace tarn::ui {
namespace {

// The key code the own completion looks at: Backspace and Delete by their codes, anything else
// as some other key.
std::uint16_t KeyCode(const QKeyEvent& e) {
  switch (e.key()) {
    case Qt::Key_Backspace: return kKeyBackSpace;
    case Qt::Key_Delete: return kKeyDelete;
    default: return static_cast<std::uint16_t>(e.key() & 0xFFFF);
  }
}

}  // namespace

TKoFlatComboBox::TKoFlatComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setMaxVisibleItems(16);
  // The history's own completion replaces the toolkit's.
  setCompleter(nullptr);
  connect(lineEdit(), &QLineEdit::textChanged, this, [this] { RunOwnCompletion(); });
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

void TKoFlatComboBox::ShowItems() {
  // The edit text is the user's, whatever the list becomes.
  const QString text = currentText();
  const int cursor = lineEdit()->cursorPosition();
  const QSignalBlocker block(this);
  const bool wasCompleting = std::exchange(completing_, true);
  clear();
  for (const std::string& item : history_.Items()) addItem(FromCp932(item));
  setCurrentIndex(history_.Items().empty() ? -1 : 0);
  setEditText(text);
  lineEdit()->setCursorPosition(cursor);
  completing_ = wasCompleting;
}

bool TKoFlatComboBox::TypeWithCompletion(const QString& typed) {
  QLineEdit& edit = *lineEdit();
  // A selection is about to be replaced by what is typed.
  const QString candidate = (edit.hasSelectedText() ? edit.text().left(edit.selectionStart()) : edit.text()) + typed;
  const std::string bytes = ToCp932(candidate);
  const std::optional<TCompletion> found = StandardCompletion(history_.Items(), bytes);
  if (!found || FromCp932(bytes) != candidate) return false;
  const QString text = candidate + FromCp932(found->CompleteWith);
  const bool wasCompleting = std::exchange(completing_, true);
  if (found->Item != currentIndex()) {
    setCurrentIndex(found->Item);
    emit activated(found->Item);
  }
  edit.setText(text);
  edit.setSelection(static_cast<int>(candidate.size()), static_cast<int>(text.size() - candidate.size()));
  completing_ = wasCompleting;
  emit editTextChanged(text);
  return true;
}

void TKoFlatComboBox::RunOwnCompletion() {
  if (!Complete || completing_) return;
  QLineEdit& edit = *lineEdit();
  const std::string text = ToCp932(edit.text());
  std::optional<TCompletion> found = OwnCompletion(history_.Items(), text, MinLengthComplete, lastKey_);
  if (!found) return;
  bool doComplete = true;
  if (OnComplete) OnComplete(*this, lastKey_, found->CompleteWith, doComplete);
  if (!doComplete) return;
  const QString head = edit.text();
  const QString added = FromCp932(found->CompleteWith);
  const bool wasCompleting = std::exchange(completing_, true);
  edit.setText(head + added);
  edit.setSelection(static_cast<int>(head.size()), static_cast<int>(added.size()));
  completing_ = wasCompleting;
}

// The edit field passes on the Enter it does not use; the box gives it to its owner instead of
// taking it as its own.
void TKoFlatComboBox::keyPressEvent(QKeyEvent* e) {
  lastKey_ = KeyCode(*e);
  if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && !(e->modifiers() & ~Qt::KeypadModifier)) {
    e->accept();
    emit EnterPressed();
    return;
  }
  const QString typed = e->text();
  const bool plain = !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
  if (autoComplete_ && plain && !typed.isEmpty() && typed.front().isPrint() && !lineEdit()->isReadOnly() &&
      TypeWithCompletion(typed)) {
    e->accept();
    return;
  }
  QComboBox::keyPressEvent(e);
}

// Text committed by an input method is typed as one piece.
void TKoFlatComboBox::inputMethodEvent(QInputMethodEvent* e) {
  if (autoComplete_ && !e->commitString().isEmpty() && e->preeditString().isEmpty() && e->replacementLength() == 0 &&
      !lineEdit()->isReadOnly() && TypeWithCompletion(e->commitString())) {
    e->accept();
    return;
  }
  QComboBox::inputMethodEvent(e);
}

}  // namespace tarn::ui

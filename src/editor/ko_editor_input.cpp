// Keyboard, mouse, wheel and input-method handling of TKoEditor.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "core/encoding.h"
#include "editor/ko_editor.h"
#include "editor/row_layout.h"

namespace tarn::editor {

namespace {

constexpr int kWheelNotch = 120;
constexpr int kWheelRows = 3;
constexpr int kAutoScrollMs = 50;

}  // namespace

bool TKoEditor::DeliverKey(char& key) {
  if (OnKeyPress) OnKeyPress(*this, key);
  return key != 0;
}

TEditorPos TKoEditor::WordStep(bool forward) const {
  TEditorPos at = Lines.Clamp(CaretPos());
  const std::string_view text = Lines.Get(at.Row);
  auto b = static_cast<std::size_t>(at.Byte);
  if (forward) {
    if (b >= text.size()) return at.Row + 1 < Lines.RowCount() ? TEditorPos{at.Row + 1, 0} : at;
    // To the start of the next word: over this word, then over blanks.
    const int k = CharClass(CharCodeAt(text, b));
    while (b < text.size() && CharClass(CharCodeAt(text, b)) == k) b += CharLengthAt(text, b);
    while (b < text.size() && CharClass(CharCodeAt(text, b)) == 0) b += CharLengthAt(text, b);
    return {at.Row, static_cast<int>(b)};
  }
  if (b == 0) return at.Row > 0 ? TEditorPos{at.Row - 1, static_cast<int>(Lines.Get(at.Row - 1).size())} : at;
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < b; i += CharLengthAt(text, i)) starts.push_back(i);
  // Back over blanks, then to the start of the word before them.
  while (!starts.empty() && CharClass(CharCodeAt(text, starts.back())) == 0) starts.pop_back();
  if (starts.empty()) return {at.Row, 0};
  const int k = CharClass(CharCodeAt(text, starts.back()));
  while (starts.size() > 1 && CharClass(CharCodeAt(text, starts[starts.size() - 2])) == k) starts.pop_back();
  return {at.Row, static_cast<int>(starts.back())};
}

bool TKoEditor::event(QEvent* e) {
  if (e->type() == QEvent::KeyPress) {
    // Tab reaches the control only when it wants tabs; otherwise the window moves the focus on.
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Tab && WantTabs && !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
      keyPressEvent(k);
      return true;
    }
  }
  return QAbstractScrollArea::event(e);
}

void TKoEditor::keyPressEvent(QKeyEvent* e) {
  ClampState();
  const Qt::KeyboardModifiers mods = e->modifiers();
  const bool shift = mods & Qt::ShiftModifier;
  const bool ctrl = mods & Qt::ControlModifier;
  const bool copyKey = e->matches(QKeySequence::Copy), selectAllKey = e->matches(QKeySequence::SelectAll);
  if ((copyKey || selectAllKey) && !HandleCopyKeys) {
    e->ignore();
    return;
  }
  if (copyKey) return CopyToClipboard();
  if (e->matches(QKeySequence::Cut)) return CutToClipboard();
  if (e->matches(QKeySequence::Paste)) return PasteFromClipboard();
  if (selectAllKey) return SelectAll();
  if (e->matches(QKeySequence::Undo)) return Undo();
  if (e->matches(QKeySequence::Redo)) return Redo();

  const std::string_view text = Lines.Get(row_);
  const int goal = goalCol_ >= 0 ? goalCol_ : col_;
  switch (e->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
      if (ctrl) {
        goalCol_ = -1;
        const TEditorPos to = WordStep(e->key() == Qt::Key_Right);
        MoveCaret(to.Row, CellOfPos(to), shift);
        return;
      }
      break;
    default:
      break;
  }
  switch (e->key()) {
    case Qt::Key_Left: {
      goalCol_ = -1;
      const int end = RowCells(text, Caret.TabSpaceCount);
      if (col_ > end) {
        MoveCaret(row_, col_ - 1, shift);
      } else if (col_ > 0) {
        const std::size_t b = ByteOfCell(text, col_ - 1, Caret.TabSpaceCount);
        MoveCaret(row_, CellOfByte(text, b, Caret.TabSpaceCount), shift);
      } else if (row_ > 0) {
        MoveCaret(row_ - 1, RowCells(Lines.Get(row_ - 1), Caret.TabSpaceCount), shift);
      }
      return;
    }
    case Qt::Key_Right: {
      goalCol_ = -1;
      const int end = RowCells(text, Caret.TabSpaceCount);
      if (col_ < end) {
        const std::size_t b = ByteOfCell(text, col_, Caret.TabSpaceCount);
        MoveCaret(row_, CellOfByte(text, b + CharLengthAt(text, b), Caret.TabSpaceCount), shift);
      } else if (Caret.FreeCaret) {
        MoveCaret(row_, col_ + 1, shift);
      } else if (row_ + 1 < Lines.RowCount()) {
        MoveCaret(row_ + 1, 0, shift);
      }
      return;
    }
    case Qt::Key_Up:
    case Qt::Key_Down:
      MoveCaret(row_ + (e->key() == Qt::Key_Up ? -1 : 1), goal, shift);
      goalCol_ = goal;
      return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
      const int n = (e->key() == Qt::Key_PageUp ? -1 : 1) * PageRows();
      SetTopRow(topRow_ + n);
      MoveCaret(row_ + n, goal, shift);
      goalCol_ = goal;
      return;
    }
    case Qt::Key_Home:
      goalCol_ = -1;
      MoveCaret(ctrl ? 0 : row_, 0, shift);
      return;
    case Qt::Key_End: {
      goalCol_ = -1;
      const int r = ctrl ? Lines.RowCount() - 1 : row_;
      MoveCaret(r, RowCells(Lines.Get(r), Caret.TabSpaceCount), shift);
      return;
    }
    case Qt::Key_Insert:
      if (mods == Qt::NoModifier) SetOverwrite(!overwrite_);
      return;
    case Qt::Key_Delete:
      KeyDelete();
      return;
    case Qt::Key_Backspace: {
      char key = '\b';
      if (DeliverKey(key)) KeyBackspace();
      return;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      char key = '\r';
      if (!DeliverKey(key)) return;
      if (!WantReturns) {
        e->ignore();
        return;
      }
      KeyReturn();
      return;
    }
    case Qt::Key_Tab: {
      char key = '\t';
      if (DeliverKey(key)) TypeText("\t");
      return;
    }
    case Qt::Key_Escape: {
      char key = '\x1b';
      DeliverKey(key);
      e->ignore();
      return;
    }
    default:
      break;
  }

  const QString typed = e->text();
  if (typed.isEmpty() || ctrl || typed.at(0).unicode() < 0x20 || typed.at(0).unicode() == 0x7F) {
    e->ignore();
    return;
  }
  for (const char32_t cp : typed.toUcs4()) {
    std::string bytes = Utf8ToCp932(QString::fromUcs4(&cp, 1).toStdString());
    if (bytes.empty()) continue;
    char key = bytes[0];
    if (!DeliverKey(key)) continue;
    if (bytes.size() == 1) bytes[0] = key;
    TypeText(bytes);
  }
}

TKoEditor::TCellPos TKoEditor::CellAt(QPoint p) const {
  const int rh = RowHeight(), cw = ColWidth();
  const int dy = p.y() - TextTop();
  const int row = std::clamp(topRow_ + (dy < 0 ? -1 : dy / rh), 0, Lines.RowCount() - 1);
  const std::string_view text = Lines.Get(row);
  const int rel = std::max(0, p.x() - (TextLeft() - LeftScrollWidth()));
  const int raw = rel / cw;
  for (const auto& c : LayoutRow(text, Caret.TabSpaceCount)) {
    if (raw < c.Cell + c.Cells) {
      // The nearer edge of the character under the pointer.
      const int col = rel - c.Cell * cw >= c.Cells * cw / 2 ? c.Cell + c.Cells : c.Cell;
      return {row, ClampCol(row, col)};
    }
  }
  const int end = RowCells(text, Caret.TabSpaceCount);
  const int col = Caret.FreeCaret ? static_cast<int>(std::lround(static_cast<double>(rel) / cw)) : end;
  return {row, ClampCol(row, std::max(col, end))};
}

void TKoEditor::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(e);
    return;
  }
  setFocus(Qt::MouseFocusReason);
  ClampState();
  const QPoint pt = e->position().toPoint();
  const bool shift = e->modifiers() & Qt::ShiftModifier;
  const bool alt = e->modifiers() & Qt::AltModifier;
  drag_ = TDrag::dr_None;
  // A third click soon after a double-click, near where it was, selects the row.
  if (dblClickTime_.isValid() && !shift && dblClickTime_.elapsed() <= QApplication::doubleClickInterval() &&
      (pt - dblClickPoint_).manhattanLength() <= QApplication::startDragDistance()) {
    dblClickTime_.invalidate();
    SelectRowAtCaret();
    return;
  }
  dblClickTime_.invalidate();
  const TCellPos cell = CellAt(pt);
  pressPoint_ = pt;
  goalCol_ = -1;
  if (Caret.RowSelect && pt.x() < TextLeft()) {
    dragRowAnchor_ = cell.Row;
    SelectRowRange(cell.Row, cell.Row);
    drag_ = TDrag::dr_Rows;
    return;
  }
  if (alt) {
    selMode_ = TSelMode::sm_Box;
    boxAnchor_ = boxActive_ = {cell.Row, CellAt(pt).Col};
    row_ = cell.Row;
    col_ = cell.Col;
    drag_ = TDrag::dr_Box;
    CaretMoved();
    Changed();
    return;
  }
  if (shift) {
    MoveCaret(cell.Row, cell.Col, true);
    drag_ = TDrag::dr_Select;
    return;
  }
  if (InSelection(PosOfCell(cell.Row, cell.Col)) && Caret.SelDragMode == TSelDragMode::dm_Automatic && Caret.SelMove &&
      !ReadOnly) {
    drag_ = TDrag::dr_PendingMove;
    return;
  }
  MoveCaret(cell.Row, cell.Col, false);
  selAnchor_ = CaretPos();
  drag_ = TDrag::dr_Select;
}

void TKoEditor::mouseMoveEvent(QMouseEvent* e) {
  if (drag_ == TDrag::dr_None || !(e->buttons() & Qt::LeftButton)) return;
  lastDragPoint_ = e->position().toPoint();
  // Outside the text the view keeps scrolling towards the pointer while the button is held.
  if (viewport()->rect().contains(lastDragPoint_)) {
    autoScroll_.stop();
  } else if (!autoScroll_.isActive()) {
    autoScroll_.start(kAutoScrollMs, this);
  }
  DragTo(lastDragPoint_);
}

void TKoEditor::DragTo(QPoint pt) {
  const TCellPos cell = CellAt(pt);
  switch (drag_) {
    case TDrag::dr_Select:
      if (selMode_ != TSelMode::sm_Normal) {
        selMode_ = TSelMode::sm_Normal;
        selAnchor_ = CaretPos();
      }
      row_ = cell.Row;
      col_ = cell.Col;
      selActive_ = CaretPos();
      break;
    case TDrag::dr_Rows:
      SelectRowRange(std::min(dragRowAnchor_, cell.Row), std::max(dragRowAnchor_, cell.Row));
      return;
    case TDrag::dr_Box:
      boxActive_ = cell;
      row_ = cell.Row;
      col_ = cell.Col;
      break;
    case TDrag::dr_PendingMove:
      if ((pt - pressPoint_).manhattanLength() < QApplication::startDragDistance()) return;
      drag_ = TDrag::dr_Move;
      [[fallthrough]];
    case TDrag::dr_Move:
      row_ = cell.Row;
      col_ = cell.Col;
      dropPos_ = CaretPos();
      break;
    case TDrag::dr_None:
      return;
  }
  EnsureCaretVisible();
  CaretMoved();
  Changed();
}

void TKoEditor::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) {
    QAbstractScrollArea::mouseReleaseEvent(e);
    return;
  }
  const TDrag drag = drag_;
  drag_ = TDrag::dr_None;
  autoScroll_.stop();
  if (drag == TDrag::dr_PendingMove) {
    const TCellPos cell = CellAt(e->position().toPoint());
    MoveCaret(cell.Row, cell.Col, false);
  } else if (drag == TDrag::dr_Move) {
    MoveSelectionTo(dropPos_, e->modifiers() & Qt::ControlModifier);
  }
}

void TKoEditor::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  drag_ = TDrag::dr_None;
  ClampState();
  // The press before a double-click normally placed the caret already; a lone double-click
  // event (as synthetic input sends) must act on the same cell.
  const TCellPos cell = CellAt(e->position().toPoint());
  MoveCaret(cell.Row, cell.Col, false);
  if (OnDblClick) OnDblClick(*this);
  ClampState();
  if (DblClkLine) {
    SelectRowAtCaret();
  } else if (e->modifiers() & Qt::ControlModifier) {
    selMode_ = TSelMode::sm_Normal;
    selAnchor_ = {row_, 0};
    selActive_ = {row_, static_cast<int>(Lines.Get(row_).size())};
    PlaceCaret(selActive_);
    Changed();
  } else {
    SelectWordAtCaret();
  }
  dblClickTime_.start();
  dblClickPoint_ = e->position().toPoint();
}

// Text dragged in from other programs; a read-only control takes none.
void TKoEditor::dragEnterEvent(QDragEnterEvent* e) {
  if (!ReadOnly && e->mimeData()->hasText()) e->acceptProposedAction();
}

void TKoEditor::dragMoveEvent(QDragMoveEvent* e) {
  if (ReadOnly || !e->mimeData()->hasText()) return;
  const TCellPos cell = CellAt(e->position().toPoint());
  row_ = cell.Row;
  col_ = cell.Col;
  EnsureCaretVisible();
  UpdateCaretArea();
  e->acceptProposedAction();
}

void TKoEditor::dropEvent(QDropEvent* e) {
  if (ReadOnly || !e->mimeData()->hasText()) return;
  const TCellPos cell = CellAt(e->position().toPoint());
  selMode_ = TSelMode::sm_None;
  row_ = cell.Row;
  col_ = cell.Col;
  InsertAtCaret(Utf8ToCp932(e->mimeData()->text().toStdString()), false);
  e->acceptProposedAction();
}

void TKoEditor::wheelEvent(QWheelEvent* e) {
  wheelRemainder_ += e->angleDelta().y();
  while (std::abs(wheelRemainder_) >= kWheelNotch) {
    const bool up = wheelRemainder_ > 0;
    wheelRemainder_ += up ? -kWheelNotch : kWheelNotch;
    bool handled = false;
    auto& handler = up ? OnMouseWheelUp : OnMouseWheelDown;
    if (handler) handler(*this, e->modifiers(), e->position().toPoint(), handled);
    if (!handled) SetTopRow(topRow_ + (up ? -kWheelRows : kWheelRows));
  }
  if (e->angleDelta().x() != 0) SetTopCol(topCol_ - e->angleDelta().x() / kWheelNotch * kWheelRows);
  e->accept();
}

void TKoEditor::focusInEvent(QFocusEvent* e) {
  caretOn_ = true;
  blink_.start(std::max(100, QApplication::cursorFlashTime() / 2), this);
  UpdateCaretArea();
  QAbstractScrollArea::focusInEvent(e);
}

void TKoEditor::focusOutEvent(QFocusEvent* e) {
  blink_.stop();
  UpdateCaretArea();
  QAbstractScrollArea::focusOutEvent(e);
}

void TKoEditor::timerEvent(QTimerEvent* e) {
  if (e->timerId() == blink_.timerId()) {
    caretOn_ = !caretOn_;
    UpdateCaretArea();
    return;
  }
  if (e->timerId() == autoScroll_.timerId()) {
    if (drag_ == TDrag::dr_None || !(QApplication::mouseButtons() & Qt::LeftButton)) {
      autoScroll_.stop();
    } else {
      DragTo(lastDragPoint_);
    }
    return;
  }
  QAbstractScrollArea::timerEvent(e);
}

void TKoEditor::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  if (Lines.Updating()) return;
  ClampState();
  UpdateScrollBars();
}

void TKoEditor::inputMethodEvent(QInputMethodEvent* e) {
  if (ReadOnly) {
    preedit_.clear();
    e->ignore();
    return;
  }
  if (!e->commitString().isEmpty()) TypeText(Utf8ToCp932(e->commitString().toStdString()));
  preedit_ = e->preeditString();
  viewport()->update();
  e->accept();
}

QVariant TKoEditor::inputMethodQuery(Qt::InputMethodQuery query) const {
  switch (query) {
    case Qt::ImEnabled:
      return !ReadOnly;
    case Qt::ImCursorRectangle:
      return CaretRect().translated(viewport()->pos());
    case Qt::ImFont:
      return drawFont_;
    case Qt::ImHints:
      return static_cast<int>(Qt::ImhMultiLine);
    default:
      return QAbstractScrollArea::inputMethodQuery(query);
  }
}

}  // namespace tarn::editor

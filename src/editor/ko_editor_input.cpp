// Keyboard, mouse, wheel and input-method handling of TKoEditor.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QInputMethod>
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
      CheckCaretMoved();
      return true;
    }
  }
  const bool result = QAbstractScrollArea::event(e);
  // Whatever a key or the input method did, the caret's watchers see where it stands now.
  if (e->type() == QEvent::KeyPress || e->type() == QEvent::InputMethod) CheckCaretMoved();
  return result;
}

bool TKoEditor::viewportEvent(QEvent* e) {
  const bool result = QAbstractScrollArea::viewportEvent(e);
  switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
      CheckCaretMoved();
      break;
    default:
      break;
  }
  return result;
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
  // Alt+Shift with a moving key grows a box selection, as Alt+drag does.
  const bool box = shift && (mods & Qt::AltModifier);
  switch (e->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
      if (ctrl) {
        goalCol_ = -1;
        const TEditorPos to = WordStep(e->key() == Qt::Key_Right);
        MoveCaret(to.Row, CellOfPos(to), shift, box);
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
        MoveCaret(row_, col_ - 1, shift, box);
      } else if (col_ > 0) {
        const std::size_t b = ByteOfCell(text, col_ - 1, Caret.TabSpaceCount);
        MoveCaret(row_, CellOfByte(text, b, Caret.TabSpaceCount), shift, box);
      } else if (row_ > 0 && !box) {
        MoveCaret(row_ - 1, RowCells(Lines.Get(row_ - 1), Caret.TabSpaceCount), shift);
      }
      return;
    }
    case Qt::Key_Right: {
      goalCol_ = -1;
      const int end = RowCells(text, Caret.TabSpaceCount);
      if (col_ < end) {
        const std::size_t b = ByteOfCell(text, col_, Caret.TabSpaceCount);
        MoveCaret(row_, CellOfByte(text, b + CharLengthAt(text, b), Caret.TabSpaceCount), shift, box);
      } else if (Caret.FreeCaret) {
        MoveCaret(row_, col_ + 1, shift, box);
      } else if (row_ + 1 < Lines.RowCount() && !box) {
        MoveCaret(row_ + 1, 0, shift);
      }
      return;
    }
    case Qt::Key_Up:
    case Qt::Key_Down:
      MoveCaret(row_ + (e->key() == Qt::Key_Up ? -1 : 1), goal, shift, box);
      goalCol_ = goal;
      return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
      const int n = (e->key() == Qt::Key_PageUp ? -1 : 1) * PageRows();
      SetTopRow(topRow_ + n);
      MoveCaret(row_ + n, goal, shift, box);
      goalCol_ = goal;
      return;
    }
    case Qt::Key_Home:
      goalCol_ = -1;
      MoveCaret(ctrl ? 0 : row_, 0, shift, box);
      return;
    case Qt::Key_End: {
      goalCol_ = -1;
      const int r = ctrl ? Lines.RowCount() - 1 : row_;
      MoveCaret(r, RowCells(Lines.Get(r), Caret.TabSpaceCount), shift, box);
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
    std::optional<std::string> converted = InputBytes(QString::fromUcs4(&cp, 1));
    if (!converted || converted->empty()) continue;
    std::string& bytes = *converted;
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

TKoEditor::TCellPos TKoEditor::CharCellAt(QPoint p) const {
  const TCellPos nearest = CellAt(p);
  const std::string_view text = Lines.Get(nearest.Row);
  const int rel = std::max(0, p.x() - (TextLeft() - LeftScrollWidth()));
  const int cell = rel / ColWidth();
  for (const auto& c : LayoutRow(text, Caret.TabSpaceCount)) {
    if (cell < c.Cell + c.Cells) return {nearest.Row, ClampCol(nearest.Row, c.Cell)};
  }
  return nearest;
}

void TKoEditor::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(e);
    return;
  }
  // A composition in progress is committed where it stands before the caret goes elsewhere.
  CommitComposition();
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
  // The press before a double-click placed the caret at the nearer edge of the character; the
  // double-click acts on the character under the pointer (a lone double-click event, as
  // synthetic input sends, too).
  const TCellPos cell = CharCellAt(e->position().toPoint());
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

// Text dragged in from other programs; a read-only control takes none. The caret follows the
// pointer while the drag is over the text and goes back when it leaves.
void TKoEditor::dragEnterEvent(QDragEnterEvent* e) {
  if (ReadOnly || !e->mimeData()->hasText()) return;
  dragEnterCaret_ = {row_, col_};
  e->acceptProposedAction();
}

void TKoEditor::dragMoveEvent(QDragMoveEvent* e) {
  if (ReadOnly || !e->mimeData()->hasText()) return;
  const TCellPos cell = CellAt(e->position().toPoint());
  row_ = cell.Row;
  col_ = cell.Col;
  EnsureCaretVisible();
  CaretMoved();
  e->acceptProposedAction();
}

void TKoEditor::dragLeaveEvent(QDragLeaveEvent* e) {
  if (!ReadOnly) {
    row_ = std::clamp(dragEnterCaret_.Row, 0, Lines.RowCount() - 1);
    col_ = ClampCol(row_, dragEnterCaret_.Col);
    EnsureCaretVisible();
    CaretMoved();
  }
  QAbstractScrollArea::dragLeaveEvent(e);
}

void TKoEditor::dropEvent(QDropEvent* e) {
  if (ReadOnly || !e->mimeData()->hasText()) return;
  const TCellPos cell = CellAt(e->position().toPoint());
  selMode_ = TSelMode::sm_None;
  row_ = cell.Row;
  col_ = cell.Col;
  const std::optional<std::string> bytes = InputBytes(e->mimeData()->text());
  // A refused drop is not taken: a program that moves its text keeps it.
  if (!bytes) {
    e->ignore();
    return;
  }
  InsertAtCaret(*bytes, false);
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

QString TKoEditor::RowUnicode(std::string_view row, std::vector<int>* byteAt) const {
  // The part that shows, where the caret can stand: a row may be hundreds of megabytes long.
  row = VisiblePart(row);
  QString out;
  if (byteAt) byteAt->clear();
  // Character by character, as the glyphs are drawn: each CP932 character is one code point.
  for (std::size_t i = 0; i < row.size(); i += CharLengthAt(row, i)) {
    const QString& glyph = Glyph(CharCodeAt(row, i));
    if (byteAt) byteAt->insert(byteAt->end(), static_cast<std::size_t>(glyph.size()), static_cast<int>(i));
    out += glyph;
  }
  if (byteAt) byteAt->push_back(static_cast<int>(row.size()));
  return out;
}

void TKoEditor::inputMethodEvent(QInputMethodEvent* e) {
  if (ReadOnly) {
    preedit_.clear();
    preeditAttributes_.clear();
    e->ignore();
    return;
  }
  if (!e->commitString().isEmpty() || e->replacementLength() > 0) {
    CommitInput(e->commitString(), e->replacementStart(), e->replacementLength());
  }
  preedit_ = e->preeditString();
  preeditAttributes_.clear();
  preeditCursor_ = static_cast<int>(preedit_.size());
  preeditCursorVisible_ = true;
  for (const QInputMethodEvent::Attribute& a : e->attributes()) {
    switch (a.type) {
      case QInputMethodEvent::TextFormat:
        preeditAttributes_.push_back(a);
        break;
      case QInputMethodEvent::Cursor:
        // Length 0 hides the cursor, as while the candidate list is open.
        preeditCursor_ = std::clamp(a.start, 0, static_cast<int>(preedit_.size()));
        preeditCursorVisible_ = a.length != 0;
        break;
      case QInputMethodEvent::Selection: {
        // A place, or a selection from it, in the caret's row (the surrounding text).
        std::vector<int> byteAt;
        const int row = row_;
        const auto size = static_cast<int>(RowUnicode(Lines.Get(row), &byteAt).size());
        const auto byte = [&](int i) { return byteAt[static_cast<std::size_t>(std::clamp(i, 0, size))]; };
        const TEditorPos anchor{row, byte(a.start)}, active{row, byte(a.start + a.length)};
        selMode_ = anchor == active ? TSelMode::sm_None : TSelMode::sm_Normal;
        selAnchor_ = anchor;
        selActive_ = active;
        PlaceCaret(active);
        Changed();
        break;
      }
      default:
        break;
    }
  }
  // Its bytes, as a commit would insert them: one cell each.
  preeditBytes_.clear();
  preeditByteAt_.clear();
  for (qsizetype i = 0; i < preedit_.size();) {
    const qsizetype n =
        preedit_.at(i).isHighSurrogate() && i + 1 < preedit_.size() && preedit_.at(i + 1).isLowSurrogate() ? 2 : 1;
    preeditByteAt_.insert(preeditByteAt_.end(), static_cast<std::size_t>(n), static_cast<int>(preeditBytes_.size()));
    preeditBytes_ += Utf8ToCp932(preedit_.mid(i, n).toStdString());
    i += n;
  }
  preeditByteAt_.push_back(static_cast<int>(preeditBytes_.size()));
  if (!preedit_.isEmpty()) {
    // The composition's cursor stays in view, where the candidate window is to follow it.
    const int cursor = col_ + PreeditCursorCells();
    if (cursor >= topCol_ + PageCols()) SetTopCol(cursor - PageCols() + 1);
  }
  caretOn_ = true;
  viewport()->update();
  imCaretRect_ = inputMethodQuery(Qt::ImCursorRectangle).toRectF();
  updateMicroFocus();
  e->accept();
}

void TKoEditor::CommitComposition() {
  if (preedit_.isEmpty()) return;
  QGuiApplication::inputMethod()->commit();
  if (preedit_.isEmpty()) return;
  // The input method did not commit it (none is attached, or it went elsewhere): the control
  // commits what it shows and lets the input method forget it.
  const QString text = std::exchange(preedit_, QString());
  preeditAttributes_.clear();
  preeditBytes_.clear();
  preeditByteAt_.assign(1, 0);
  QGuiApplication::inputMethod()->reset();
  CommitInput(text, 0, 0);
  viewport()->update();
}

int TKoEditor::PreeditCursorCells() const {
  if (preedit_.isEmpty() || preeditByteAt_.empty()) return 0;
  const int last = static_cast<int>(preeditByteAt_.size()) - 1;
  return preeditByteAt_[static_cast<std::size_t>(std::clamp(preeditCursor_, 0, last))];
}

QVariant TKoEditor::inputMethodQuery(Qt::InputMethodQuery query) const {
  const auto inControl = [&](QRect r) { return QVariant(QRectF(r.translated(viewport()->pos()))); };
  switch (query) {
    case Qt::ImEnabled:
      return !ReadOnly;
    case Qt::ImReadOnly:
      return ReadOnly;
    case Qt::ImFont:
      return drawFont_;
    case Qt::ImHints:
      return static_cast<int>(inputMethodHints() | Qt::ImhMultiLine);
    case Qt::ImCursorRectangle:
      // Inside a composition: its cursor, where the candidate window belongs.
      return inControl(CaretRect().translated(PreeditCursorCells() * ColWidth(), 0));
    case Qt::ImAnchorRectangle:
      if (Selected()) {
        const TEditorPos a = Lines.Clamp(selAnchor_);
        return inControl(CellCaretRect(a.Row, CellOfPos(a)));
      }
      if (selMode_ == TSelMode::sm_Box) return inControl(CellCaretRect(boxAnchor_.Row, boxAnchor_.Col));
      return inputMethodQuery(Qt::ImCursorRectangle);
    case Qt::ImInputItemClipRectangle:
      return QRectF(viewport()->geometry());
    case Qt::ImCurrentSelection:
      return QString::fromUtf8(Cp932ToUtf8(SelText()));
    case Qt::ImSurroundingText:
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition:
    case Qt::ImTextBeforeCursor:
    case Qt::ImTextAfterCursor: {
      // The surrounding text is the caret's row; a composition is not part of it.
      const TEditorPos at = Lines.Clamp(CaretPos());
      std::vector<int> byteAt;
      const QString text = RowUnicode(Lines.Get(at.Row), &byteAt);
      const auto indexOf = [&](int byte) {
        return static_cast<int>(std::lower_bound(byteAt.begin(), byteAt.end(), byte) - byteAt.begin());
      };
      const int cursor = indexOf(at.Byte);
      if (query == Qt::ImSurroundingText) return text;
      if (query == Qt::ImCursorPosition) return cursor;
      if (query == Qt::ImTextBeforeCursor) return text.left(cursor);
      if (query == Qt::ImTextAfterCursor) return text.mid(cursor);
      if (!Selected()) return cursor;
      // An anchor on another row stands at this row's start or end.
      const TEditorPos anchor = Lines.Clamp(selAnchor_);
      if (anchor.Row != at.Row) return anchor.Row < at.Row ? 0 : static_cast<int>(text.size());
      return indexOf(anchor.Byte);
    }
    default:
      return QAbstractScrollArea::inputMethodQuery(query);
  }
}

}  // namespace tarn::editor

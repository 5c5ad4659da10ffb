#include "editor/ko_editor.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>
#include <cctype>
#include <memory>

#include "core/encoding.h"
#include "editor/row_layout.h"

namespace tarn::editor {

const char* const TKoEditor::kBoxMimeType = "application/x-tarn-editor-box";
const char* const TKoEditor::kBytesMimeType = "application/x-tarn-cp932";

namespace {

// Blanks that make up a row's indentation.
std::string_view LeadingBlanks(std::string_view s) {
  std::size_t n = 0;
  while (n < s.size() && (s[n] == ' ' || s[n] == '\t')) ++n;
  return s.substr(0, n);
}

}  // namespace

int CharClass(RE_Char_t c) {
  // Blank, ASCII word, other ASCII, half-width kana, hiragana, katakana, kanji, other double-byte.
  if (c == ' ' || c == '\t') return 0;
  if (c < 0x80) return (std::isalnum(c) || c == '_') ? 1 : 2;
  if (c >= 0xA1 && c <= 0xDF) return 3;
  if (c >= 0x829F && c <= 0x82F1) return 4;
  if ((c >= 0x8340 && c <= 0x8396) || c == 0x815B) return 5;
  if (c >= 0x889F) return 6;
  return c < 0x100 ? 2 : 7;
}

TKoEditor::TKoEditor(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setAutoFillBackground(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  QFont f(QString::fromUtf8("ＭＳ ゴシック"));
  f.setPixelSize(13);
  setFont(f);
  ResolveFont();
  Lines.OnChanging = [this](TEditorLines::TChange c) { LinesChanging(c); };
  Lines.OnChanged = [this](TEditorLines::TChange c) { LinesChanged(c); };
  Lines.OnRemoving = [this](int first, int count) { CountWidths(first, count, -1); };
  Lines.OnInserted = [this](int first, int count) { CountWidths(first, count, 1); };
  UpdateScrollBars();
}

TKoEditor::~TKoEditor() {
  Lines.OnChanging = nullptr;
  Lines.OnChanged = nullptr;
  Lines.OnRemoving = nullptr;
  Lines.OnInserted = nullptr;
}

// --- Lines -----------------------------------------------------------------------------------

void TKoEditor::LinesChanging(TEditorLines::TChange change) {
  if (change == TEditorLines::TChange::ch_Edit) return;
  // Positions held by the selection and the undo list mean nothing after the program's changes.
  selMode_ = TSelMode::sm_None;
  drag_ = TDrag::dr_None;
  undo_.Clear();
}

void TKoEditor::LinesChanged(TEditorLines::TChange change) {
  // Inside a bulk update the view stays as it was; the update's end takes everything in at once.
  if (Lines.Updating()) return;
  ClampState();
  UpdateScrollBars();
  viewport()->update();
  // The program's changes may have taken the caret's place away (an edit places the caret
  // itself when it is done).
  if (change != TEditorLines::TChange::ch_Edit) CheckCaretMoved();
}

void TKoEditor::Refresh() {
  RecountWidths();
  LinesChanged(TEditorLines::TChange::ch_Program);
}

void TKoEditor::CountWidths(int first, int count, int sign) {
  if (sign < 0 && first == 0 && count == Lines.Count()) {
    widths_.Clear();
    widthsTab_ = Caret.TabSpaceCount;
    return;
  }
  if (Caret.TabSpaceCount != widthsTab_) {
    // Counted with another tab width: count again. Rows about to go are still there and new
    // ones are already in, so the recount covers an insertion.
    RecountWidths();
    if (sign > 0) return;
  }
  for (int r = first; r < first + count; ++r) {
    const int w = RowCells(Lines.Get(r), widthsTab_);
    if (sign > 0)
      widths_.Add(w);
    else
      widths_.Remove(w);
  }
}

void TKoEditor::RecountWidths() {
  widths_.Clear();
  widthsTab_ = Caret.TabSpaceCount;
  for (int r = 0; r < Lines.Count(); ++r) widths_.Add(RowCells(Lines.Get(r), widthsTab_));
}

void TKoEditor::ClampState() {
  row_ = std::clamp(row_, 0, Lines.RowCount() - 1);
  col_ = ClampCol(row_, col_);
  topRow_ = std::clamp(topRow_, 0, MaxTopRow());
  if (selMode_ == TSelMode::sm_Normal) {
    selAnchor_ = Lines.Clamp(selAnchor_);
    selActive_ = Lines.Clamp(selActive_);
  }
}

std::string TKoEditor::RowString(int i) const { return std::string(Lines.Get(i)); }

// --- Caret and scrolling ---------------------------------------------------------------------

int TKoEditor::ClampCol(int row, int col) const {
  const std::string_view text = Lines.Get(row);
  const int end = RowCells(text, Caret.TabSpaceCount);
  const int limit = Caret.FreeCaret ? std::max(end, static_cast<int>(kMaxRowBytes)) : end;
  return SnapCol(text, std::clamp(col, 0, limit), Caret.TabSpaceCount, Caret.InTab);
}

void TKoEditor::SetRowCol(int row, int col) {
  row_ = std::clamp(row, 0, Lines.RowCount() - 1);
  col_ = ClampCol(row_, col);
  goalCol_ = -1;
  if (!Lines.Updating()) EnsureCaretVisible();
  CaretMoved();
}

int TKoEditor::MaxTopRow() const { return std::max(0, Lines.RowCount() - PageRows()); }

void TKoEditor::SetTopRow(int row) {
  row = std::clamp(row, 0, MaxTopRow());
  if (row == topRow_) return;
  topRow_ = row;
  UpdateScrollBars();
  viewport()->update();
}

void TKoEditor::SetTopCol(int col) {
  col = std::clamp(col, 0, std::max(static_cast<int>(kMaxRowBytes), WidestRow()));
  if (col == topCol_) return;
  topCol_ = col;
  UpdateScrollBars();
  viewport()->update();
}

int TKoEditor::PageRows() const {
  return std::max(1, (viewport()->height() - TextTop()) / std::max(1, RowHeight()));
}

int TKoEditor::PageCols() const {
  return std::max(1, (viewport()->width() - TextLeft()) / std::max(1, ColWidth()));
}

void TKoEditor::ScrollPage(int direction) {
  const int before = topRow_;
  SetTopRow(topRow_ + direction * PageRows());
  const int moved = topRow_ - before;
  if (Caret.LockScroll && moved != 0) {
    const int goal = goalCol_ >= 0 ? goalCol_ : col_;
    row_ = std::clamp(row_ + moved, 0, Lines.RowCount() - 1);
    col_ = ClampCol(row_, goal);
    goalCol_ = goal;
    CaretMoved();
    viewport()->update();
  }
}

void TKoEditor::UpdateScrollBars() {
  // The bars keep showing the text as it was before a bulk update until it ends.
  if (Lines.Updating()) return;
  syncingBars_ = true;
  verticalScrollBar()->setRange(0, MaxTopRow());
  verticalScrollBar()->setPageStep(PageRows());
  verticalScrollBar()->setSingleStep(1);
  verticalScrollBar()->setValue(topRow_);
  const int hmax = std::max({0, WidestRow() + 1 - PageCols(), topCol_});
  horizontalScrollBar()->setRange(0, hmax);
  horizontalScrollBar()->setPageStep(PageCols());
  horizontalScrollBar()->setSingleStep(1);
  horizontalScrollBar()->setValue(topCol_);
  syncingBars_ = false;
  CaretRectMayHaveMoved();
}

void TKoEditor::scrollContentsBy(int, int) {
  if (syncingBars_) return;
  topRow_ = verticalScrollBar()->value();
  topCol_ = horizontalScrollBar()->value();
  viewport()->update();
  CaretRectMayHaveMoved();
}

void TKoEditor::EnsureCaretVisible() {
  int top = topRow_;
  if (row_ < top) top = row_;
  if (row_ >= top + PageRows()) top = row_ - PageRows() + 1;
  int left = topCol_;
  if (col_ < left) left = col_;
  if (col_ >= left + PageCols()) left = col_ - PageCols() + 1;
  top = std::clamp(top, 0, MaxTopRow());
  left = std::max(0, left);
  // Without scrolling only the caret's cells change, which CaretMoved repaints.
  if (top == topRow_ && left == topCol_) return;
  topRow_ = top;
  topCol_ = left;
  UpdateScrollBars();
  viewport()->update();
}

void TKoEditor::SetOverwrite(bool on) {
  overwrite_ = on;
  UpdateCaretArea();
  CaretRectMayHaveMoved();  // the caret's width
}

void TKoEditor::UpdateCaretArea() {
  // A bulk update shows no caret; a blink must not wipe the cells under it meanwhile.
  if (Lines.Updating()) return;
  const QRect before = caretShown_;
  caretShown_ = CaretRect();
  // A composition stands at the caret and is wider than it.
  if (!preedit_.isEmpty()) {
    viewport()->update();
    return;
  }
  viewport()->update(QRegion(before) + caretShown_);
}

void TKoEditor::CaretMoved() {
  caretOn_ = true;
  UpdateCaretArea();
  // The input method's candidate window follows the caret.
  imCaretRect_ = inputMethodQuery(Qt::ImCursorRectangle).toRectF();
  updateMicroFocus();
  reportedCaret_ = {row_, col_};
  if (hasFocus() && OnCaretMoved) OnCaretMoved(*this);
}

void TKoEditor::CaretRectMayHaveMoved() {
  // Scrolling, resizing and appending lines: only a caret that now shows elsewhere is news.
  const QRectF rect = inputMethodQuery(Qt::ImCursorRectangle).toRectF();
  if (rect == imCaretRect_) return;
  imCaretRect_ = rect;
  updateMicroFocus();
}

void TKoEditor::CheckCaretMoved() {
  if (reportedCaret_.Row != row_ || reportedCaret_.Col != col_) CaretMoved();
}

TEditorPos TKoEditor::CaretPos() const { return PosOfCell(row_, col_); }

TEditorPos TKoEditor::PosOfCell(int row, int col) const {
  return {row, static_cast<int>(ByteOfCell(Lines.Get(row), col, Caret.TabSpaceCount))};
}

int TKoEditor::CellOfPos(TEditorPos pos) const {
  return CellOfByte(Lines.Get(pos.Row), static_cast<std::size_t>(std::max(0, pos.Byte)), Caret.TabSpaceCount);
}

void TKoEditor::PlaceCaret(TEditorPos pos) {
  row_ = std::clamp(pos.Row, 0, Lines.RowCount() - 1);
  col_ = ClampCol(row_, CellOfPos({row_, pos.Byte}));
  goalCol_ = -1;
  EnsureCaretVisible();
  CaretMoved();
}

void TKoEditor::MoveCaret(int row, int col, bool extend, bool box) {
  const TEditorPos from = CaretPos();
  const bool hadSelection = selMode_ != TSelMode::sm_None;
  row = std::clamp(row, 0, Lines.RowCount() - 1);
  col = ClampCol(row, col);
  if (extend && box) {
    if (selMode_ != TSelMode::sm_Box) {
      selMode_ = TSelMode::sm_Box;
      boxAnchor_ = {row_, col_};
    }
    row_ = row;
    col_ = col;
    boxActive_ = {row_, col_};
  } else if (extend) {
    if (selMode_ != TSelMode::sm_Normal) {
      selMode_ = TSelMode::sm_Normal;
      selAnchor_ = from;
    }
    row_ = row;
    col_ = col;
    selActive_ = CaretPos();
  } else {
    selMode_ = TSelMode::sm_None;
    row_ = row;
    col_ = col;
  }
  if (extend || hadSelection) viewport()->update();
  EnsureCaretVisible();
  CaretMoved();
}

void TKoEditor::Changed() { viewport()->update(); }

// --- Selection -------------------------------------------------------------------------------

bool TKoEditor::Selected() const {
  return selMode_ == TSelMode::sm_Normal && Lines.Clamp(selAnchor_) != Lines.Clamp(selActive_);
}

bool TKoEditor::BoxSelected() const {
  return selMode_ == TSelMode::sm_Box && boxAnchor_.Col != boxActive_.Col;
}

std::pair<TEditorPos, TEditorPos> TKoEditor::SelRange() const {
  TEditorPos a = Lines.Clamp(selAnchor_);
  TEditorPos b = Lines.Clamp(selActive_);
  if (b < a) std::swap(a, b);
  return {a, b};
}

std::int64_t TKoEditor::SelStart() const {
  if (Selected()) return Lines.OffsetOf(SelRange().first);
  return Lines.OffsetOf(CaretPos());
}

std::int64_t TKoEditor::SelLength() const {
  if (!Selected()) return 0;
  const auto [a, b] = SelRange();
  return Lines.OffsetOf(b) - Lines.OffsetOf(a);
}

void TKoEditor::SetSelStart(std::int64_t n) {
  selMode_ = TSelMode::sm_None;
  PlaceCaret(Lines.PosOf(n));
  Changed();
}

void TKoEditor::SetSelLength(std::int64_t n) {
  const TEditorPos from = Lines.Clamp(CaretPos());
  if (n <= 0) {
    selMode_ = TSelMode::sm_None;
    Changed();
    return;
  }
  const TEditorPos to = Lines.PosOf(Lines.OffsetOf(from) + n, true);
  selMode_ = TSelMode::sm_Normal;
  selAnchor_ = from;
  selActive_ = to;
  PlaceCaret(to);
  Changed();
}

void TKoEditor::SelectAll() {
  SetSelStart(0);
  SetSelLength(Lines.TextLength());
}

void TKoEditor::CleanSelection() {
  selMode_ = TSelMode::sm_None;
  Changed();
}

void TKoEditor::SetBoxSelection(int row1, int col1, int row2, int col2) {
  selMode_ = TSelMode::sm_Box;
  boxAnchor_ = {std::clamp(row1, 0, Lines.RowCount() - 1), std::max(0, col1)};
  boxActive_ = {std::clamp(row2, 0, Lines.RowCount() - 1), std::max(0, col2)};
  row_ = boxActive_.Row;
  col_ = ClampCol(row_, boxActive_.Col);
  Changed();
  CaretMoved();
}

bool TKoEditor::InSelection(TEditorPos pos) const {
  if (!Selected()) return false;
  const auto [a, b] = SelRange();
  return a <= pos && pos < b;
}

std::string TKoEditor::SelText() const {
  if (Selected()) {
    const auto [a, b] = SelRange();
    return Lines.TextRange(a, b);
  }
  if (selMode_ != TSelMode::sm_Box) return {};
  const int r1 = std::min(boxAnchor_.Row, boxActive_.Row), r2 = std::max(boxAnchor_.Row, boxActive_.Row);
  const int c1 = std::min(boxAnchor_.Col, boxActive_.Col), c2 = std::max(boxAnchor_.Col, boxActive_.Col);
  if (c1 == c2) return {};
  std::string out;
  for (int r = r1; r <= r2; ++r) {
    const std::string_view text = Lines.Get(r);
    for (const auto& ch : LayoutRow(text, Caret.TabSpaceCount)) {
      if (ch.Cell >= c1 && ch.Cell < c2) out.append(text.substr(ch.Byte, ch.Bytes));
    }
    if (r < r2) out += "\r\n";
  }
  return out;
}

bool TKoEditor::WholeLinesSelected(int& first, int& last) const {
  if (!Selected()) return false;
  const auto [a, b] = SelRange();
  if (a.Byte != 0) return false;
  first = a.Row;
  if (b.Byte == 0 && b.Row > a.Row) {
    last = b.Row - 1;
    return true;
  }
  if (b == Lines.EndPos()) {
    last = b.Row;
    return true;
  }
  return false;
}

void TKoEditor::SelectRowRange(int first, int last) {
  if (last < first) std::swap(first, last);
  const TEditorPos a{first, 0};
  const TEditorPos b = last + 1 < Lines.RowCount() ? TEditorPos{last + 1, 0} : Lines.EndPos();
  selMode_ = TSelMode::sm_Normal;
  selAnchor_ = a;
  selActive_ = b;
  PlaceCaret(b);
  Changed();
}

void TKoEditor::SelectRowAtCaret() {
  const int row = row_;
  SetRowCol(row, 0);
  // The row's length plus 2 characters: its line break too, which is all an empty row has. The
  // last row has none, and the selection stops at the end of the text.
  SetSelLength(static_cast<std::int64_t>(Lines.Get(row).size()) + 2);
  SetRowCol(row, 0);
}

void TKoEditor::SelectWordAtCaret() {
  const std::string_view text = Lines.Get(row_);
  const auto byte = static_cast<std::size_t>(CaretPos().Byte);
  if (byte >= text.size()) return;
  auto kind = [&](std::size_t i) { return CharClass(CharCodeAt(text, i)); };
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size(); i += CharLengthAt(text, i)) starts.push_back(i);
  auto at = std::upper_bound(starts.begin(), starts.end(), byte) - 1;
  const int k = kind(*at);
  auto first = at, last = at;
  while (first != starts.begin() && kind(*(first - 1)) == k) --first;
  while (last + 1 != starts.end() && kind(*(last + 1)) == k) ++last;
  selMode_ = TSelMode::sm_Normal;
  selAnchor_ = {row_, static_cast<int>(*first)};
  selActive_ = {row_, static_cast<int>(*last + CharLengthAt(text, *last))};
  PlaceCaret(selActive_);
  Changed();
}

// --- Clipboard and undo ----------------------------------------------------------------------

void TKoEditor::CopyToClipboard() {
  const bool box = selMode_ == TSelMode::sm_Box;
  if (!Selected() && !(box && !SelText().empty())) return;
  const std::string bytes = SelText();
  auto mime = std::make_unique<QMimeData>();
  // Text for other programs ends its lines as this system does; the private copies keep CR LF.
  QString text = QString::fromUtf8(Cp932ToUtf8(bytes));
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  mime->setText(text);
  mime->setData(kBytesMimeType, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
  if (box) mime->setData(kBoxMimeType, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
  QApplication::clipboard()->setMimeData(mime.release());
}

void TKoEditor::CutToClipboard() {
  if (ReadOnly) return;
  if (!Selected() && !BoxSelected()) return;
  CopyToClipboard();
  BeginStep();
  DeleteSelectionInStep();
  EndStep();
}

void TKoEditor::PasteFromClipboard() {
  if (ReadOnly) return;
  const QMimeData* mime = QApplication::clipboard()->mimeData();
  if (!mime || !mime->hasText()) return;
  std::string bytes;
  if (mime->hasFormat(kBytesMimeType)) {
    const QByteArray raw = mime->data(kBytesMimeType);
    bytes.assign(raw.constData(), static_cast<std::size_t>(raw.size()));
  } else {
    std::optional<std::string> converted = InputBytes(mime->text());
    if (!converted) return;
    bytes = std::move(*converted);
  }
  if (mime->hasFormat(kBoxMimeType)) {
    BeginStep();
    DeleteSelectionInStep();
    InsertBox(SplitLines(bytes));
    EndStep();
    return;
  }
  InsertAtCaret(bytes, false);
}

void TKoEditor::Undo() {
  if (ReadOnly || !undo_.CanUndo()) return;
  selMode_ = TSelMode::sm_None;
  PlaceCaret(undo_.Undo(Lines));
  Changed();
}

void TKoEditor::Redo() {
  if (ReadOnly || !undo_.CanRedo()) return;
  selMode_ = TSelMode::sm_None;
  PlaceCaret(undo_.Redo(Lines));
  Changed();
}

// --- Edits -----------------------------------------------------------------------------------

void TKoEditor::BeginStep() {
  if (stepDepth_++ == 0) {
    step_ = TUndoStep{};
    step_.CaretBefore = CaretPos();
  }
}

TEditorPos TKoEditor::Edit(TEditorPos a, TEditorPos b, std::string_view text) {
  a = Lines.Clamp(a);
  b = Lines.Clamp(b);
  if (b < a) std::swap(a, b);
  std::string removed = Lines.TextRange(a, b);
  // An edit that changes nothing is no edit: it leaves no undo step behind (and the redo list
  // as it is).
  if (removed == text) return TEditorLines::PosAfter(a, text);
  const TEditorPos end = Lines.Replace(a, b, text);
  step_.Edits.push_back({a, std::move(removed), std::string(text)});
  return end;
}

void TKoEditor::EndStep() {
  if (stepDepth_ == 0 || --stepDepth_ > 0) return;
  step_.CaretAfter = CaretPos();
  undo_.Push(std::move(step_), UndoListMax);
  step_ = TUndoStep{};
  Changed();
}

void TKoEditor::DeleteSelectionInStep() {
  if (selMode_ == TSelMode::sm_Box) {
    // An empty box (no width) holds nothing: the caret stays where it stands.
    if (BoxSelected()) {
      DeleteBoxInStep();
    } else {
      selMode_ = TSelMode::sm_None;
    }
    return;
  }
  if (!Selected()) {
    selMode_ = TSelMode::sm_None;
    return;
  }
  const auto [a, b] = SelRange();
  selMode_ = TSelMode::sm_None;
  PlaceCaret(Edit(a, b, {}));
}

void TKoEditor::DeleteBoxInStep() {
  const int r1 = std::min(boxAnchor_.Row, boxActive_.Row), r2 = std::max(boxAnchor_.Row, boxActive_.Row);
  const int c1 = std::min(boxAnchor_.Col, boxActive_.Col), c2 = std::max(boxAnchor_.Col, boxActive_.Col);
  selMode_ = TSelMode::sm_None;
  for (int r = r1; r <= r2 && c1 < c2; ++r) {
    const std::string_view text = Lines.Get(r);
    int from = -1, to = -1;
    for (const auto& ch : LayoutRow(text, Caret.TabSpaceCount)) {
      if (ch.Cell >= c1 && ch.Cell < c2) {
        if (from < 0) from = static_cast<int>(ch.Byte);
        to = static_cast<int>(ch.Byte + ch.Bytes);
      }
    }
    if (from >= 0) Edit({r, from}, {r, to}, {});
  }
  row_ = std::clamp(r1, 0, Lines.RowCount() - 1);
  col_ = ClampCol(row_, c1);
  EnsureCaretVisible();
  CaretMoved();
}

std::string TKoEditor::PaddingTo(TEditorPos pos) const {
  const auto len = static_cast<int>(Lines.Get(pos.Row).size());
  return pos.Byte > len ? std::string(static_cast<std::size_t>(pos.Byte - len), ' ') : std::string();
}

void TKoEditor::InsertAtCaret(std::string_view text, bool typed) {
  if (ReadOnly) return;
  BeginStep();
  DeleteSelectionInStep();
  // Nothing to insert: a free caret beyond the row's end does not fill the gap.
  if (text.empty()) {
    EndStep();
    return;
  }
  TEditorPos at = CaretPos();
  std::string insert = PaddingTo(at) + std::string(text);
  TEditorPos to = Lines.Clamp(at);
  at = to;
  if (typed && overwrite_ && text.find_first_of("\r\n") == std::string_view::npos) {
    // Overwrite takes as many whole characters as the typed bytes cover, never the line break.
    const std::string_view row = Lines.Get(at.Row);
    auto b = static_cast<std::size_t>(at.Byte);
    while (b < row.size() && b < static_cast<std::size_t>(at.Byte) + text.size()) b += CharLengthAt(row, b);
    to.Byte = static_cast<int>(b);
  }
  PlaceCaret(Edit(at, to, insert));
  EndStep();
}

std::optional<std::string> TKoEditor::InputBytes(const QString& text) {
  const std::string utf8 = text.toStdString();
  const std::string_view refused = FirstCharWithoutCp932(utf8);
  if (refused.empty()) return Utf8ToCp932(utf8);
  QApplication::beep();
  const QString message = QStringLiteral("「%1」は Shift-JIS で表せないため入力できません")
                              .arg(QString::fromUtf8(refused.data(), static_cast<qsizetype>(refused.size())));
  QToolTip::showText(viewport()->mapToGlobal(CaretRect().bottomLeft()), message, viewport());
  return std::nullopt;
}

void TKoEditor::InsertBox(const std::vector<std::string>& rows) {
  const int row0 = row_, col0 = col_;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const int r = row0 + static_cast<int>(i);
    if (r >= Lines.RowCount()) Edit(Lines.EndPos(), Lines.EndPos(), "\r\n");
    const std::string_view text = Lines.Get(r);
    const int end = RowCells(text, Caret.TabSpaceCount);
    std::string insert = rows[i];
    TEditorPos at;
    if (col0 > end) {
      at = {r, static_cast<int>(text.size())};
      insert.insert(0, static_cast<std::size_t>(col0 - end), ' ');
    } else {
      at = {r, static_cast<int>(ByteOfCell(text, SnapCol(text, col0, Caret.TabSpaceCount, false), Caret.TabSpaceCount))};
    }
    Edit(at, at, insert);
  }
  row_ = std::clamp(row0, 0, Lines.RowCount() - 1);
  col_ = ClampCol(row_, col0);
  EnsureCaretVisible();
  CaretMoved();
}

void TKoEditor::CommitInput(const QString& text, int from, int length) {
  if (ReadOnly) return;
  const std::optional<std::string> converted = InputBytes(text);
  if (!converted) return;
  const std::string& bytes = *converted;
  if (from == 0 && length <= 0) {
    // Typed text, which replaces a selection; a blank is inserted even over whole lines (only
    // the keys indent them).
    if (!bytes.empty()) InsertAtCaret(bytes, true);
    return;
  }
  BeginStep();
  DeleteSelectionInStep();
  // The range, in the caret's row as the input method saw it.
  const TEditorPos at = Lines.Clamp(CaretPos());
  std::vector<int> byteAt;
  const auto size = static_cast<int>(RowUnicode(Lines.Get(at.Row), &byteAt).size());
  const auto byte = [&](int i) { return byteAt[static_cast<std::size_t>(i)]; };
  const auto caret = static_cast<int>(std::lower_bound(byteAt.begin(), byteAt.end(), at.Byte) - byteAt.begin());
  const int a = std::clamp(caret + from, 0, size);
  const int b = std::clamp(a + std::max(0, length), a, size);
  const TEditorPos end = Edit({at.Row, byte(a)}, {at.Row, byte(b)}, bytes);
  if (!bytes.empty()) {
    PlaceCaret(end);
  } else if (caret > a) {
    // Text taken away before the caret takes the caret back with it.
    PlaceCaret({at.Row, caret >= b ? byte(a) + byte(caret) - byte(b) : byte(a)});
  }
  EndStep();
}

void TKoEditor::TypeText(std::string_view cp932) {
  if (ReadOnly || cp932.empty()) return;
  int first = 0, last = 0;
  if (LineIndent && (cp932 == " " || cp932 == "\t") && WholeLinesSelected(first, last)) {
    IndentLines(cp932[0]);
    return;
  }
  InsertAtCaret(cp932, true);
}

void TKoEditor::IndentLines(char c) {
  int first = 0, last = 0;
  if (!WholeLinesSelected(first, last)) return;
  BeginStep();
  for (int r = first; r <= last; ++r) Edit({r, 0}, {r, 0}, std::string(1, c));
  EndStep();
  SelectRowRange(first, last);
}

void TKoEditor::KeyDelete() {
  if (ReadOnly) return;
  BeginStep();
  if (Selected() || BoxSelected()) {
    DeleteSelectionInStep();
  } else {
    selMode_ = TSelMode::sm_None;
    const TEditorPos at = CaretPos();
    const std::string_view row = Lines.Get(at.Row);
    if (static_cast<std::size_t>(at.Byte) < row.size()) {
      Edit(at, {at.Row, at.Byte + static_cast<int>(CharLengthAt(row, static_cast<std::size_t>(at.Byte)))}, {});
    } else if (at.Row + 1 < Lines.RowCount()) {
      // Joining with the next row fills the gap a free caret left.
      Edit({at.Row, static_cast<int>(row.size())}, {at.Row + 1, 0}, PaddingTo(at));
    }
    PlaceCaret(at);
  }
  EndStep();
}

void TKoEditor::KeyBackspace() {
  if (ReadOnly) return;
  if (Selected() || BoxSelected()) {
    BeginStep();
    DeleteSelectionInStep();
    EndStep();
    return;
  }
  selMode_ = TSelMode::sm_None;
  const TEditorPos at = CaretPos();
  const std::string_view row = Lines.Get(at.Row);
  if (static_cast<std::size_t>(at.Byte) > row.size()) {
    // Beyond the end of a row there is nothing to delete: the caret only moves back.
    MoveCaret(row_, col_ - 1, false);
    return;
  }
  BeginStep();
  if (at.Byte == 0) {
    if (at.Row > 0) {
      const TEditorPos prevEnd{at.Row - 1, static_cast<int>(Lines.Get(at.Row - 1).size())};
      PlaceCaret(Edit(prevEnd, at, {}));
    }
  } else if (Caret.BackSpaceUnIndent && LeadingBlanks(row).size() >= static_cast<std::size_t>(at.Byte)) {
    // Inside the indentation: back to the indentation of an earlier, less indented row.
    int target = 0;
    for (int r = at.Row - 1; r >= 0; --r) {
      const std::string_view prev = Lines.Get(r);
      const std::string_view blanks = LeadingBlanks(prev);
      if (blanks.size() == prev.size()) continue;
      const int indent = RowCells(blanks, Caret.TabSpaceCount);
      if (indent < col_) {
        target = indent;
        break;
      }
    }
    const TEditorPos from{at.Row, static_cast<int>(ByteOfCell(row, target, Caret.TabSpaceCount))};
    // Keep cells a tab would leave short of the target as blanks.
    const int gap = target - CellOfByte(row, static_cast<std::size_t>(from.Byte), Caret.TabSpaceCount);
    const std::string fill(static_cast<std::size_t>(std::max(0, gap)), ' ');
    PlaceCaret(Edit(from, at, fill));
  } else {
    std::size_t prev = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(at.Byte); i += CharLengthAt(row, i)) prev = i;
    PlaceCaret(Edit({at.Row, static_cast<int>(prev)}, at, {}));
  }
  EndStep();
}

void TKoEditor::KeyReturn() {
  if (ReadOnly) return;
  BeginStep();
  DeleteSelectionInStep();
  const TEditorPos at = Lines.Clamp(CaretPos());
  std::string insert = "\r\n";
  if (Caret.AutoIndent) {
    const std::string_view blanks = LeadingBlanks(Lines.Get(at.Row));
    insert.append(blanks.substr(0, static_cast<std::size_t>(at.Byte)));
  }
  PlaceCaret(Edit(at, at, insert));
  EndStep();
}

void TKoEditor::MoveSelectionTo(TEditorPos drop, bool copy) {
  if (ReadOnly || !Selected()) return;
  const auto [a, b] = SelRange();
  if (!copy && a <= drop && drop <= b) return;
  const std::string text = Lines.TextRange(a, b);
  drop = Lines.Clamp(drop);
  BeginStep();
  TEditorPos start = drop, end;
  const auto len = static_cast<std::int64_t>(text.size());
  if (copy || drop < a) {
    const std::int64_t oa = Lines.OffsetOf(a), ob = Lines.OffsetOf(b);
    end = Edit(drop, drop, text);
    // The insertion before the selection moved it on by the text's length.
    if (!copy) Edit(Lines.PosOf(oa + len), Lines.PosOf(ob + len), {});
  } else {
    // Dropping after the selection: delete first, then the drop point moves back by the text.
    const std::int64_t dropOffset = Lines.OffsetOf(drop) - len;
    Edit(a, b, {});
    start = Lines.PosOf(dropOffset);
    end = Edit(start, start, text);
  }
  EndStep();
  selMode_ = TSelMode::sm_Normal;
  selAnchor_ = start;
  selActive_ = end;
  PlaceCaret(end);
  Changed();
}

}  // namespace tarn::editor

// TKoEditor: the cell-based Shift-JIS text control under the result view, the registered search
// words window and the synonym editor. The text is CP932 bytes, one cell per byte; Unicode is
// used only to draw glyphs and to talk to the clipboard and the input method.
#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QInputMethodEvent>
#include <QPoint>
#include <QRect>
#include <QRectF>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/sjis.h"
#include "editor/editor_lines.h"
#include "editor/row_widths.h"
#include "editor/undo_list.h"

class QPainter;

namespace tarn::editor {

enum class TSelDragMode { dm_Automatic, dm_Manual };

// The class of a character for word selection and word-wise caret moves: characters of one
// class next to each other make a word.
int CharClass(RE_Char_t c);

struct TEditorCaret {
  int TabSpaceCount = 8;
  bool FreeCaret = false;
  bool InTab = false;
  bool RowSelect = true;
  bool AutoIndent = true;
  bool BackSpaceUnIndent = true;
  bool SelMove = true;
  bool LockScroll = false;
  TSelDragMode SelDragMode = TSelDragMode::dm_Automatic;
};

// A colour pair; an invalid BkColor leaves the background as it is.
struct TEditorColor {
  QColor BkColor;
  QColor Color;
};

struct TEditorView {
  std::string Commenter;  // CP932; empty: no comment colouring
  struct {
    TEditorColor Select{QColor(), QColor()};  // invalid: the palette's highlight colours
    TEditorColor Comment{QColor(), QColor(Qt::darkGreen)};
  } Colors;
};

struct TEditorMargin {
  int Left = 6;
  int Top = 4;
  int Line = 0;
  int Character = 0;
};

struct TEditorMarks {
  bool EofMark = false;
  bool RetMark = false;
  bool WrapMark = false;
};

struct TEditorExMarks {
  bool TabMark = false;
  bool DBSpaceMark = false;
};

// What DrawTextRect draws with; reset for every painted piece of a row before OnDrawLine.
struct TEditorCanvas {
  QFont Font;
  QColor FontColor;
  QColor BrushColor;
  bool BrushSolid = true;  // false: text is drawn over what is there
};

class TKoEditor : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TKoEditor(QWidget* parent = nullptr);
  ~TKoEditor() override;

  // --- Text and settings -------------------------------------------------------------------
  TEditorLines Lines;
  TEditorCaret Caret;
  TEditorView View;
  TEditorMargin Margin;
  TEditorMarks Marks;
  TEditorExMarks ExMarks;
  TEditorCanvas Canvas;
  bool ReadOnly = false;
  bool WantReturns = true;
  bool WantTabs = true;
  bool DblClkLine = false;
  bool LineIndent = false;
  int UndoListMax = 32767;
  // False: the copy and select-all keys are left to the window (its actions with those shortcuts
  // on the control decide, a disabled one swallowing the key); the control neither acts on them
  // nor claims them from shortcuts.
  bool HandleCopyKeys = true;
  QColor Color;      // background; invalid: the palette's base colour
  QColor FontColor;  // text; invalid: the palette's text colour

  // --- Events (Sender first) ----------------------------------------------------------------
  // LineStr is the part of the row that shows (at most 1001 bytes), which is all a hook can
  // paint on.
  std::function<void(TKoEditor& Sender, const std::string& LineStr, int X, int Y, int Index, const QRect& ARect,
                     bool Selected)>
      OnDrawLine;
  std::function<void(TKoEditor& Sender)> OnCaretMoved;
  std::function<void(TKoEditor& Sender)> OnDblClick;
  // Key is the character about to be handled (its first byte for a double-byte character);
  // setting it to 0 swallows it.
  std::function<void(TKoEditor& Sender, char& Key)> OnKeyPress;
  std::function<void(TKoEditor& Sender, Qt::KeyboardModifiers Shift, QPoint MousePos, bool& Handled)>
      OnMouseWheelUp;
  std::function<void(TKoEditor& Sender, Qt::KeyboardModifiers Shift, QPoint MousePos, bool& Handled)>
      OnMouseWheelDown;

  // Takes changed settings (colours, margins, tab width, marks) into the view and repaints it.
  void Refresh();

  // --- Caret and scrolling -------------------------------------------------------------------
  std::string RowString(int i) const;
  int Row() const noexcept { return row_; }
  int Col() const noexcept { return col_; }
  void SetRow(int row) { SetRowCol(row, col_); }
  void SetCol(int col) { SetRowCol(row_, col); }
  // Moves the caret without touching the selection.
  void SetRowCol(int row, int col);
  int TopRow() const noexcept { return topRow_; }
  int TopCol() const noexcept { return topCol_; }
  void SetTopRow(int row);
  void SetTopCol(int col);
  // Whole rows that fit in the text area (at least 1).
  int PageRows() const;
  int PageCols() const;
  // A vertical page scroll request, as one wheel notch makes it.
  void ScrollPageUp() { ScrollPage(-1); }
  void ScrollPageDown() { ScrollPage(1); }
  bool Overwrite() const noexcept { return overwrite_; }
  void SetOverwrite(bool on);

  // --- Selection -----------------------------------------------------------------------------
  bool Selected() const;
  bool BoxSelected() const;
  std::int64_t SelStart() const;
  std::int64_t SelLength() const;
  void SetSelStart(std::int64_t n);
  void SetSelLength(std::int64_t n);
  void SelectAll();
  void CleanSelection();
  // A box selection of the cells from (row1, col1) to (row2, col2), ends excluded.
  void SetBoxSelection(int row1, int col1, int row2, int col2);
  // The selected bytes: a normal selection with CR LF breaks, a box as its rows joined by CR LF.
  std::string SelText() const;

  // --- Clipboard and undo --------------------------------------------------------------------
  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();
  bool CanUndo() const noexcept { return undo_.CanUndo(); }
  bool CanRedo() const noexcept { return undo_.CanRedo(); }
  void Undo();
  void Redo();
  // The user typing bytes at the caret: replaces a selection, or with LineIndent indents the
  // whole lines selected when the bytes are one blank or tab.
  void TypeText(std::string_view cp932);
  // Takes a composition the input method still holds into the text, as the user's confirming
  // it would: what is saved then is what the user sees.
  void CommitComposition();

  // --- Geometry and drawing ------------------------------------------------------------------
  int ColWidth() const;
  int RowHeight() const;
  int TextLeft() const;
  int TextTop() const;
  int LeftScrollWidth() const;
  // The face actually drawn with: the widget's font, or the fallback when it is not installed.
  QFont EditorFont() const { return drawFont_; }
  static constexpr int dto_Clipped = 1;
  // Draws text from (x, y) with Canvas, each byte ColWidth apart; only while the control paints
  // (inside OnDrawLine).
  void DrawTextRect(const QRect& rect, int x, int y, std::string_view text, int options);

  // MIME types of the private clipboard formats.
  static const char* const kBoxMimeType;
  static const char* const kBytesMimeType;

  // The caret, the surrounding text (the caret's row) and the selection as the input method
  // sees them: rectangles in the control's coordinates, positions in QString characters.
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void changeEvent(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  void timerEvent(QTimerEvent* e) override;
  void inputMethodEvent(QInputMethodEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;
  bool viewportEvent(QEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dragLeaveEvent(QDragLeaveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  enum class TSelMode { sm_None, sm_Normal, sm_Box };
  enum class TDrag { dr_None, dr_Select, dr_Box, dr_Rows, dr_PendingMove, dr_Move };
  struct TCellPos {
    int Row = 0;
    int Col = 0;
  };

  // Lines
  void LinesChanging(TEditorLines::TChange change);
  void LinesChanged(TEditorLines::TChange change);
  void ClampState();
  // Counts of the rows' widths, kept through every change of the lines.
  void CountWidths(int first, int count, int sign);
  void RecountWidths();
  int WidestRow() const noexcept { return widths_.Widest(); }

  // Metrics and scrolling
  void ResolveFont();
  void UpdateScrollBars();
  int MaxTopRow() const;
  void EnsureCaretVisible();
  void ScrollPage(int direction);
  int ClampCol(int row, int col) const;
  // The cell nearest to a point: the nearer edge of the character under it.
  TCellPos CellAt(QPoint p) const;
  // The first cell of the character under a point (beyond the row's end, as CellAt).
  TCellPos CharCellAt(QPoint p) const;
  QRect CaretRect() const;
  // The rectangle a caret standing at a cell would have.
  QRect CellCaretRect(int row, int col) const;
  // Repaints where the caret was shown and where it is now.
  void UpdateCaretArea();

  // Caret and selection helpers
  TEditorPos CaretPos() const;  // the caret as row and byte (the byte may exceed the row)
  TEditorPos PosOfCell(int row, int col) const;
  int CellOfPos(TEditorPos pos) const;
  void PlaceCaret(TEditorPos pos);
  // Moves the caret; extend grows the selection (a box one with box) from where the caret was.
  void MoveCaret(int row, int col, bool extend, bool box = false);
  // The caret has moved (or may have): repaints it, tells the input method and, with the
  // focus, raises OnCaretMoved.
  void CaretMoved();
  // CaretMoved when the caret stands elsewhere than where it was last reported.
  void CheckCaretMoved();
  // Tells the input method when the caret's rectangle is not the one it was last told.
  void CaretRectMayHaveMoved();
  bool WholeLinesSelected(int& first, int& last) const;
  void SelectRowRange(int first, int last);
  void SelectRowAtCaret();
  void SelectWordAtCaret();
  bool InSelection(TEditorPos pos) const;
  std::pair<TEditorPos, TEditorPos> SelRange() const;
  void Changed();

  // Edits (each user action is one undo step)
  void BeginStep();
  TEditorPos Edit(TEditorPos a, TEditorPos b, std::string_view text);
  void EndStep();
  void DeleteSelectionInStep();
  void DeleteBoxInStep();
  std::string PaddingTo(TEditorPos pos) const;
  void InsertAtCaret(std::string_view text, bool typed);
  // The CP932 bytes of text from the user, or nothing when a character of it has no CP932
  // form: that character is named at the caret, and nothing of the text goes in.
  std::optional<std::string> InputBytes(const QString& text);
  // Input-method text: replaces the range [from, from + length) of the caret's row, counted in
  // QString characters from the caret, or with an empty range is typed at the caret.
  void CommitInput(const QString& text, int from, int length);
  void InsertBox(const std::vector<std::string>& rows);
  void KeyDelete();
  void KeyBackspace();
  void KeyReturn();
  void IndentLines(char c);
  void MoveSelectionTo(TEditorPos drop, bool copy);
  bool DeliverKey(char& key);
  void DragTo(QPoint pt);
  // Where Ctrl+Right (forward) or Ctrl+Left takes the caret.
  TEditorPos WordStep(bool forward) const;

  // Painting
  // Paints the part `dirty` of a row (within the text area).
  void PaintRow(QPainter& p, int row, int y, const QRect& dirty);
  // DrawTextRect without the 1000-byte cut: a row's cells after tab expansion.
  void DrawCells(const QRect& rect, int x, int y, std::string_view text, int options);
  void PaintMarks(QPainter& p, int row, std::string_view text, int y);
  // The composition at the caret, each run in its attributes' colours and underline.
  void PaintPreedit(QPainter& p, const QRect& area);
  // Cells from the caret to the composition's cursor.
  int PreeditCursorCells() const;
  // The cells a box selection paints on a row: those of the characters it holds.
  std::pair<int, int> BoxCells(int row) const;
  const QString& Glyph(RE_Char_t code) const;
  // The visible part of a row as the input method sees it; byteAt (when given) receives the
  // byte at which each QString position, and the end, stands.
  QString RowUnicode(std::string_view row, std::vector<int>* byteAt) const;
  QColor BackColor() const;
  QColor TextColor() const;
  QColor SelectBack() const;
  QColor SelectText() const;

  QFont drawFont_;
  int avgCharWidth_ = 7;
  int fontHeight_ = 13;
  int ascent_ = 11;
  mutable std::unordered_map<RE_Char_t, QString> glyphs_;
  // Advances of the glyphs per font (QFont::key), as measuring them shapes each one.
  std::unordered_map<QString, std::unordered_map<RE_Char_t, qreal>> advances_;
  QPainter* painter_ = nullptr;

  int row_ = 0;
  int col_ = 0;
  int goalCol_ = -1;
  int topRow_ = 0;
  int topCol_ = 0;
  TRowWidths widths_;
  int widthsTab_ = 8;          // the tab width widths_ was counted with
  QRect caretShown_;
  bool overwrite_ = false;
  bool syncingBars_ = false;

  TSelMode selMode_ = TSelMode::sm_None;
  TEditorPos selAnchor_;
  TEditorPos selActive_;
  TCellPos boxAnchor_;
  TCellPos boxActive_;

  TEditorUndoList undo_;
  TUndoStep step_;
  int stepDepth_ = 0;

  TDrag drag_ = TDrag::dr_None;
  int dragRowAnchor_ = 0;
  QPoint pressPoint_;
  TEditorPos dropPos_;
  QElapsedTimer dblClickTime_;
  QPoint dblClickPoint_;
  // Where the caret stood when text from another program was dragged in.
  TCellPos dragEnterCaret_;
  // Where the caret stood when OnCaretMoved was last due, and the rectangle the input method
  // was last told.
  TCellPos reportedCaret_;
  QRectF imCaretRect_;

  // The composition: its text, its attributes, and its cursor (a QString position).
  QString preedit_;
  QList<QInputMethodEvent::Attribute> preeditAttributes_;
  int preeditCursor_ = 0;
  bool preeditCursorVisible_ = true;
  // Its CP932 bytes (one cell each) and the byte of each QString position and of the end.
  std::string preeditBytes_;
  std::vector<int> preeditByteAt_;
  QBasicTimer blink_;
  QBasicTimer autoScroll_;
  QPoint lastDragPoint_;
  bool caretOn_ = true;
  int wheelRemainder_ = 0;
};

}  // namespace tarn::editor

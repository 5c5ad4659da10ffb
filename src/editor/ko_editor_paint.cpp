// Metrics and painting of TKoEditor.
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextCharFormat>
#include <algorithm>
#include <climits>
#include <tuple>

#include "core/encoding.h"
#include "editor/ko_editor.h"
#include "editor/row_layout.h"

namespace tarn::editor {

namespace {

// Fixed-pitch Japanese face whose full-width glyphs are exactly two half-width cells.
const char* const kFallbackFamily = "IPAGothic";

constexpr int kToRowEnd = INT_MAX;

}  // namespace

// --- Metrics ---------------------------------------------------------------------------------

void TKoEditor::ResolveFont() {
  QFont f = font();
  if (!QFontDatabase::hasFamily(f.family())) {
    const int pixels = f.pixelSize() > 0 ? f.pixelSize() : QFontInfo(f).pixelSize();
    if (QFontDatabase::hasFamily(kFallbackFamily)) {
      f.setFamily(kFallbackFamily);
    } else {
      f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    }
    f.setPixelSize(std::max(1, pixels));
  }
  drawFont_ = f;
  const QFontMetrics fm(f);
  const int half = fm.horizontalAdvance(QLatin1Char('0'));
  avgCharWidth_ = fm.averageCharWidth();
  // Japanese faces often report the full-width average; the cell is the half-width one.
  if (avgCharWidth_ <= 0 || (half > 0 && avgCharWidth_ > half * 3 / 2)) avgCharWidth_ = half;
  avgCharWidth_ = std::max(1, avgCharWidth_);
  fontHeight_ = std::max(1, fm.height() + std::max(0, fm.leading()));
  ascent_ = fm.ascent();
}

void TKoEditor::changeEvent(QEvent* e) {
  if (e->type() == QEvent::FontChange) {
    ResolveFont();
    UpdateScrollBars();
    viewport()->update();
  }
  QAbstractScrollArea::changeEvent(e);
}

int TKoEditor::ColWidth() const { return std::max(1, avgCharWidth_ + Margin.Character); }
int TKoEditor::RowHeight() const { return std::max(1, fontHeight_ + Margin.Line); }
int TKoEditor::TextLeft() const { return Margin.Left; }
int TKoEditor::TextTop() const { return Margin.Top; }
int TKoEditor::LeftScrollWidth() const { return topCol_ * ColWidth(); }

QColor TKoEditor::BackColor() const { return Color.isValid() ? Color : palette().color(QPalette::Base); }
QColor TKoEditor::TextColor() const { return FontColor.isValid() ? FontColor : palette().color(QPalette::Text); }
QColor TKoEditor::SelectBack() const {
  return View.Colors.Select.BkColor.isValid() ? View.Colors.Select.BkColor : palette().color(QPalette::Highlight);
}
QColor TKoEditor::SelectText() const {
  return View.Colors.Select.Color.isValid() ? View.Colors.Select.Color : palette().color(QPalette::HighlightedText);
}

QRect TKoEditor::CaretRect() const { return CellCaretRect(row_, col_); }

QRect TKoEditor::CellCaretRect(int row, int col) const {
  const int x = TextLeft() - LeftScrollWidth() + col * ColWidth();
  const int y = TextTop() + (row - topRow_) * RowHeight();
  return QRect(x, y, overwrite_ ? ColWidth() : 2, RowHeight());
}

const QString& TKoEditor::Glyph(RE_Char_t code) const {
  auto it = glyphs_.find(code);
  if (it == glyphs_.end()) {
    it = glyphs_.emplace(code, QString::fromUtf8(Cp932ToUtf8(CharCodeToText(code)))).first;
  }
  return it->second;
}

// --- Drawing ---------------------------------------------------------------------------------

void TKoEditor::DrawTextRect(const QRect& rect, int x, int y, std::string_view text, int options) {
  DrawCells(rect, x, y, VisiblePart(text), options);
}

void TKoEditor::DrawCells(const QRect& rect, int x, int y, std::string_view text, int options) {
  if (!painter_) return;
  QPainter& p = *painter_;
  const int cw = ColWidth();
  p.save();
  if (options & dto_Clipped) p.setClipRect(rect, p.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
  // Only the characters under the clip are drawn, and one cell more each side for glyphs that
  // reach beyond their cells (italics): a long row costs what it shows.
  const QRect clip = p.hasClipping() ? p.clipBoundingRect().toAlignedRect()
                                     : QRect(0, 0, p.device()->width(), p.device()->height());
  const int from = clip.left() - cw, to = clip.right() + 1 + cw;
  if (Canvas.BrushSolid && !text.empty()) {
    p.fillRect(QRect(x, y, cw * static_cast<int>(text.size()), RowHeight()) & clip, Canvas.BrushColor);
  }
  // Kerning would pull glyphs off their cells.
  QFont font = Canvas.Font;
  font.setKerning(false);
  p.setFont(font);
  p.setPen(Canvas.FontColor);
  const QFontMetricsF fm(font, p.device());
  auto& advances = advances_[font.key()];
  const qreal baseline = y + ascent_;
  // Every glyph fills exactly its cells, whatever the face's own advance: it is stretched by
  // its cells' width over its advance. Glyphs stretched alike go out as one run, as shaping once
  // per run instead of once per character is what makes a row cheap.
  QString run;
  qreal runScale = 1;
  int runX = 0, runWidth = 0;
  const auto flush = [&] {
    if (run.isEmpty()) return;
    p.save();
    p.translate(runX, baseline);
    if (runScale != 1) p.scale(runScale, 1);
    p.drawText(QPointF(0, 0), run);
    p.restore();
    run.clear();
  };
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t len = CharLengthAt(text, i);
    const int left = x + static_cast<int>(i) * cw;
    if (left >= to) break;
    const auto lead = static_cast<unsigned char>(text[i]);
    if (left + static_cast<int>(len) * cw <= from || (len == 1 && (lead < 0x20 || lead == 0x7F))) {
      i += len;
      continue;
    }
    const RE_Char_t code = CharCodeAt(text, i);
    const QString& glyph = Glyph(code);
    const auto [it, fresh] = advances.try_emplace(code, 0.0);
    if (fresh) it->second = fm.horizontalAdvance(glyph);
    const qreal advance = it->second;
    const qreal target = static_cast<qreal>(cw) * static_cast<qreal>(len);
    // Within a run each glyph must land on its cell to a small fraction of a pixel.
    if (run.isEmpty() || left != runX + runWidth || qAbs(advance * runScale - target) >= 0.001) {
      flush();
      runX = left;
      runWidth = 0;
      runScale = advance > 0 ? target / advance : 1;
    }
    run += glyph;
    runWidth += static_cast<int>(len) * cw;
    // A glyph without an advance would pull the ones after it onto its cell.
    if (advance <= 0) flush();
    i += len;
  }
  flush();
  p.restore();
}

void TKoEditor::paintEvent(QPaintEvent* e) {
  QPainter p(viewport());
  p.fillRect(e->rect(), BackColor());
  // Nothing a bulk update adds or changes shows before it ends, and painting must not move the
  // caret meanwhile. The result view begins one only on an empty text, so the plain background
  // is what it showed.
  if (Lines.Updating()) return;
  ClampState();
  painter_ = &p;
  const QRect all = viewport()->rect();
  const QRect area(TextLeft(), TextTop(), std::max(0, all.width() - TextLeft()), std::max(0, all.height() - TextTop()));
  // Only the rows, and within them the cells, that the event asks for.
  const QRect wanted = e->rect() & area;
  const int rh = RowHeight();
  if (!wanted.isEmpty()) {
    const int last = std::min(Lines.RowCount() - 1, topRow_ + (wanted.bottom() - TextTop()) / rh);
    for (int r = topRow_ + (wanted.top() - TextTop()) / rh; r <= last; ++r) {
      const int y = TextTop() + (r - topRow_) * rh;
      const QRect dirty = (e->region() & QRect(area.left(), y, area.width(), rh)).boundingRect() & area;
      if (!dirty.isEmpty()) PaintRow(p, r, y, dirty);
    }
  }
  p.setClipRect(area);
  if (!preedit_.isEmpty()) {
    PaintPreedit(p, area);
  } else if (hasFocus() && caretOn_) {
    p.fillRect(CaretRect() & area, overwrite_ ? QColor(128, 128, 128, 128) : TextColor());
  }
  painter_ = nullptr;
}

void TKoEditor::PaintRow(QPainter& p, int row, int y, const QRect& dirty) {
  // Only the visible part of a row is ever looked at: a row of a file without line ends may be
  // hundreds of megabytes long.
  std::string_view text = VisiblePart(Lines.Get(row));
  // A composition pushes the rest of its row to the right, as its text will once committed; the
  // gap it leaves is where PaintPreedit draws it.
  std::string composed;
  std::size_t caretByte = 0, gap = 0;
  if (!preedit_.isEmpty() && row == row_) {
    const TEditorPos at = CaretPos();
    caretByte = std::min(static_cast<std::size_t>(std::max(0, at.Byte)), text.size());
    composed.assign(text.substr(0, caretByte));
    composed += PaddingTo(at);
    composed.append(preeditBytes_.size(), ' ');
    gap = composed.size() - caretByte;
    composed.append(text.substr(caretByte));
    text = VisiblePart(composed);
  }
  const std::string shown = ExpandTabs(text, Caret.TabSpaceCount);
  const int cw = ColWidth();
  const int x = TextLeft() - LeftScrollWidth();
  const auto cellOf = [&](TEditorPos pos) {
    auto byte = static_cast<std::size_t>(std::max(0, pos.Byte));
    if (gap > 0 && byte >= caretByte) byte += gap;
    return CellOfByte(text, byte, Caret.TabSpaceCount);
  };

  // The part of the row the selection covers, in cells.
  int selFrom = 0, selTo = 0;
  if (Selected()) {
    const auto [a, b] = SelRange();
    if (row >= a.Row && row <= b.Row) {
      selFrom = row == a.Row ? cellOf(a) : 0;
      selTo = row == b.Row ? cellOf(b) : kToRowEnd;
    }
  } else if (selMode_ == TSelMode::sm_Box) {
    std::tie(selFrom, selTo) = BoxCells(row);
  }
  struct Piece {
    int From, To;
    bool Selected;
  };
  std::vector<Piece> pieces;
  if (selFrom >= selTo) {
    pieces.push_back({0, kToRowEnd, false});
  } else {
    if (selFrom > 0) pieces.push_back({0, selFrom, false});
    pieces.push_back({selFrom, selTo, true});
    if (selTo != kToRowEnd) pieces.push_back({selTo, kToRowEnd, false});
  }

  // Comment colouring starts at the first occurrence of the commenter on a character boundary.
  int commentCell = -1;
  if (!View.Commenter.empty()) {
    for (std::size_t i = 0; i < text.size(); i += CharLengthAt(text, i)) {
      if (text.substr(i, View.Commenter.size()) == View.Commenter) {
        commentCell = CellOfByte(text, i, Caret.TabSpaceCount);
        break;
      }
    }
  }

  const auto resetCanvas = [&](bool selected) {
    Canvas.Font = drawFont_;
    Canvas.FontColor = selected ? SelectText() : TextColor();
    Canvas.BrushColor = selected ? SelectBack() : BackColor();
    Canvas.BrushSolid = true;
  };
  const std::string line(text);
  for (const Piece& piece : pieces) {
    const int left = x + piece.From * cw;
    const int right = piece.To == kToRowEnd ? dirty.right() + 1 : x + piece.To * cw;
    const QRect rect = QRect(left, y, std::max(0, right - left), RowHeight()) & dirty;
    if (rect.isEmpty()) continue;
    resetCanvas(piece.Selected);
    p.setClipRect(rect);
    p.fillRect(rect, Canvas.BrushColor);
    DrawCells(rect, x, y, shown, dto_Clipped);
    if (commentCell >= 0 && !piece.Selected) {
      Canvas.FontColor = View.Colors.Comment.Color.isValid() ? View.Colors.Comment.Color : TextColor();
      Canvas.BrushSolid = View.Colors.Comment.BkColor.isValid();
      Canvas.BrushColor = View.Colors.Comment.BkColor;
      DrawCells(rect, x + commentCell * cw, y, std::string_view(shown).substr(static_cast<std::size_t>(commentCell)),
                dto_Clipped);
    }
    resetCanvas(piece.Selected);
    if (OnDrawLine) OnDrawLine(*this, line, x, y, row, rect, piece.Selected);
    p.setClipRect(rect);
    PaintMarks(p, row, text, y);
  }
  p.setClipping(false);
}

std::pair<int, int> TKoEditor::BoxCells(int row) const {
  const int r1 = std::min(boxAnchor_.Row, boxActive_.Row), r2 = std::max(boxAnchor_.Row, boxActive_.Row);
  const int c1 = std::min(boxAnchor_.Col, boxActive_.Col), c2 = std::max(boxAnchor_.Col, boxActive_.Col);
  if (row < r1 || row > r2 || c1 >= c2) return {0, 0};
  // The box holds the characters that start inside it (what it copies and deletes), and they
  // show whole: a box edge inside a double-byte character or a tab never halves it.
  int from = -1, to = -1;
  for (const auto& c : LayoutRow(Lines.Get(row), Caret.TabSpaceCount)) {
    if (c.Cell < c1) continue;
    if (c.Cell >= c2) break;
    if (from < 0) from = c.Cell;
    to = c.Cell + c.Cells;
  }
  return from < 0 ? std::pair{0, 0} : std::pair{from, to};
}

void TKoEditor::PaintPreedit(QPainter& p, const QRect& area) {
  // The composition stands at the caret until the input method commits it, each part in the
  // format its attributes give: the clause being converted highlighted, the rest underlined.
  const QRect caret = CaretRect();
  const int cw = ColWidth();
  const auto n = static_cast<int>(preedit_.size());
  std::vector<QTextCharFormat> formats(static_cast<std::size_t>(n));
  bool formatted = false;
  for (const QInputMethodEvent::Attribute& a : preeditAttributes_) {
    const QTextCharFormat f = qvariant_cast<QTextFormat>(a.value).toCharFormat();
    if (!f.isValid()) continue;
    formatted = true;
    const int from = std::clamp(a.start, 0, n), to = std::clamp(a.start + a.length, from, n);
    for (int i = from; i < to; ++i) formats[static_cast<std::size_t>(i)].merge(f);
  }
  // An input method that gives no formats still shows its composition apart from the text.
  if (!formatted) {
    for (auto& f : formats) f.setUnderlineStyle(QTextCharFormat::SingleUnderline);
  }
  const int underlineY = caret.y() + std::clamp(ascent_ + std::max(1, (fontHeight_ - ascent_) / 2), 0, RowHeight() - 1);
  for (int i = 0; i < n;) {
    const QTextCharFormat& f = formats[static_cast<std::size_t>(i)];
    int j = i + 1;
    while (j < n && formats[static_cast<std::size_t>(j)] == f) ++j;
    const int b0 = preeditByteAt_[static_cast<std::size_t>(i)], b1 = preeditByteAt_[static_cast<std::size_t>(j)];
    i = j;
    if (b1 <= b0) continue;
    Canvas = {drawFont_, TextColor(), BackColor(), true};
    if (f.hasProperty(QTextFormat::BackgroundBrush) && f.background().style() != Qt::NoBrush) {
      Canvas.BrushColor = f.background().color();
    }
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush) {
      Canvas.FontColor = f.foreground().color();
    }
    if (f.hasProperty(QTextFormat::FontWeight)) Canvas.Font.setWeight(static_cast<QFont::Weight>(f.fontWeight()));
    if (f.hasProperty(QTextFormat::FontItalic)) Canvas.Font.setItalic(f.fontItalic());
    if (f.hasProperty(QTextFormat::FontStrikeOut)) Canvas.Font.setStrikeOut(f.fontStrikeOut());
    const int x = caret.x() + b0 * cw, width = (b1 - b0) * cw;
    const std::string_view run =
        std::string_view(preeditBytes_).substr(static_cast<std::size_t>(b0), static_cast<std::size_t>(b1 - b0));
    DrawCells(area, x, caret.y(), run, dto_Clipped);
    QTextCharFormat::UnderlineStyle style = f.underlineStyle();
    if (style == QTextCharFormat::NoUnderline && f.boolProperty(QTextFormat::FontUnderline)) {
      style = QTextCharFormat::SingleUnderline;
    }
    if (style == QTextCharFormat::NoUnderline) continue;
    const QColor color = f.underlineColor().isValid() ? f.underlineColor() : Canvas.FontColor;
    p.save();
    p.setClipRect(area);
    if (style == QTextCharFormat::WaveUnderline || style == QTextCharFormat::SpellCheckUnderline) {
      QPainterPath wave;
      wave.moveTo(x, underlineY);
      for (int wx = x; wx < x + width; wx += 2) wave.lineTo(wx + 2, underlineY + ((wx - x) / 2 % 2 == 0 ? -1 : 1));
      p.setPen(QPen(color, 1));
      p.drawPath(wave);
    } else {
      Qt::PenStyle pen = Qt::SolidLine;
      if (style == QTextCharFormat::DashUnderline) pen = Qt::DashLine;
      if (style == QTextCharFormat::DotLine) pen = Qt::DotLine;
      if (style == QTextCharFormat::DashDotLine) pen = Qt::DashDotLine;
      if (style == QTextCharFormat::DashDotDotLine) pen = Qt::DashDotDotLine;
      if (pen == Qt::SolidLine) {
        p.fillRect(QRect(x, underlineY, width, 1), color);
      } else {
        p.setPen(QPen(color, 1, pen, Qt::FlatCap));
        p.drawLine(QPointF(x, underlineY + 0.5), QPointF(x + width, underlineY + 0.5));
      }
    }
    p.restore();
  }
  // The composition's own cursor, unless the input method hides it (as while it shows its
  // candidates).
  if (preeditCursorVisible_ && hasFocus() && caretOn_) {
    p.fillRect(QRect(caret.x() + PreeditCursorCells() * cw, caret.y(), 2, caret.height()) & area, TextColor());
  }
}

void TKoEditor::PaintMarks(QPainter& p, int row, std::string_view text, int y) {
  const int cw = ColWidth(), rh = RowHeight();
  const int x = TextLeft() - LeftScrollWidth();
  const QColor grey(128, 128, 128);  // the marks' grey
  p.save();
  p.setPen(QPen(grey, 1));
  p.setBrush(Qt::NoBrush);
  const int mid = y + rh / 2;
  if (ExMarks.TabMark || ExMarks.DBSpaceMark) {
    for (const auto& c : LayoutRow(text, Caret.TabSpaceCount)) {
      const int cx = x + c.Cell * cw;
      if (c.Kind == TCellKind::ck_Tab && ExMarks.TabMark) {
        const int w = std::max(3, cw - 2);
        p.drawLine(cx + 1, mid - w / 2, cx + w / 2 + 1, mid);
        p.drawLine(cx + w / 2 + 1, mid, cx + 1, mid + w / 2);
      } else if (c.Kind == TCellKind::ck_Double && ExMarks.DBSpaceMark && text.substr(c.Byte, 2) == "\x81\x40") {
        const int side = std::min(2 * cw, rh) - 4;
        p.drawRect(cx + (2 * cw - side) / 2, y + (rh - side) / 2, side - 1, side - 1);
      }
    }
  }
  const int endX = x + RowCells(text, Caret.TabSpaceCount) * cw;
  const bool isLast = row == Lines.RowCount() - 1;
  const TLineEnd end = Lines.EndType(row);
  if (Marks.RetMark && row < Lines.Count() && Lines.EndLength(row) == 2) {
    // A down arrow bending left: the line break.
    const int cx = endX + cw / 2;
    p.drawLine(cx + 2, y + 3, cx + 2, mid + 3);
    p.drawLine(cx + 2, mid + 3, cx - 2, mid + 3);
    p.drawLine(cx - 2, mid + 3, cx, mid + 1);
    p.drawLine(cx - 2, mid + 3, cx, mid + 5);
  } else if (Marks.WrapMark && row < Lines.Count() && end == TLineEnd::le_Wrapped) {
    const int cx = endX + cw / 2;
    p.drawLine(cx - 2, mid, cx + 3, mid);
    p.drawLine(cx + 3, mid, cx + 1, mid - 2);
    p.drawLine(cx + 3, mid, cx + 1, mid + 2);
  }
  if (Marks.EofMark && isLast) {
    QFont small = drawFont_;
    small.setPixelSize(std::max(6, rh * 2 / 3));
    p.setFont(small);
    p.drawText(QRect(endX + 1, y, 6 * cw, rh), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("[EOF]"));
  }
  p.restore();
}

}  // namespace tarn::editor

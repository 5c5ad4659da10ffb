#include "editor/row_layout.h"

#include <algorithm>

#include "core/sjis.h"

namespace tarn::editor {

namespace {

int TabWidthAt(int cell, int tabSpaceCount) {
  const int t = std::max(1, tabSpaceCount);
  return t - cell % t;
}

}  // namespace

std::size_t VisibleLength(std::string_view row) noexcept {
  if (row.size() <= kMaxRowBytes) return row.size();
  // Byte 1000 (1-based) is index 999: when it starts a double-byte character its trail is shown too.
  std::size_t i = 0;
  while (i < kMaxRowBytes) i += CharLengthAt(row, i);
  return i;
}

std::vector<TCellChar> LayoutRow(std::string_view row, int tabSpaceCount) {
  const std::string_view part = VisiblePart(row);
  std::vector<TCellChar> chars;
  chars.reserve(part.size());
  int cell = 0;
  for (std::size_t i = 0; i < part.size();) {
    const std::size_t len = CharLengthAt(part, i);
    if (part[i] == '\t') {
      const int w = TabWidthAt(cell, tabSpaceCount);
      chars.push_back({i, 1, cell, w, TCellKind::ck_Tab});
      cell += w;
    } else {
      chars.push_back({i, len, cell, static_cast<int>(len), len == 2 ? TCellKind::ck_Double : TCellKind::ck_Single});
      cell += static_cast<int>(len);
    }
    i += len;
  }
  return chars;
}

int RowCells(std::string_view row, int tabSpaceCount) {
  const std::string_view part = VisiblePart(row);
  // Every byte is one cell unless a tab widens it (a tab byte is never the trail of a
  // double-byte character).
  if (part.find('\t') == std::string_view::npos) return static_cast<int>(part.size());
  int cell = 0;
  for (std::size_t i = 0; i < part.size();) {
    const std::size_t len = CharLengthAt(part, i);
    cell += part[i] == '\t' ? TabWidthAt(cell, tabSpaceCount) : static_cast<int>(len);
    i += len;
  }
  return cell;
}

int CellOfByte(std::string_view row, std::size_t byte, int tabSpaceCount) {
  const auto chars = LayoutRow(row, tabSpaceCount);
  for (const auto& c : chars) {
    if (byte < c.Byte + c.Bytes) return c.Cell;
  }
  const int end = chars.empty() ? 0 : chars.back().Cell + chars.back().Cells;
  const std::size_t endByte = chars.empty() ? 0 : chars.back().Byte + chars.back().Bytes;
  return end + static_cast<int>(byte - endByte);
}

std::size_t ByteOfCell(std::string_view row, int col, int tabSpaceCount) {
  if (col <= 0) return 0;
  const auto chars = LayoutRow(row, tabSpaceCount);
  for (const auto& c : chars) {
    if (col < c.Cell + c.Cells) return c.Byte;
  }
  const int end = chars.empty() ? 0 : chars.back().Cell + chars.back().Cells;
  const std::size_t endByte = chars.empty() ? 0 : chars.back().Byte + chars.back().Bytes;
  return endByte + static_cast<std::size_t>(col - end);
}

int SnapCol(std::string_view row, int col, int tabSpaceCount, bool inTab) {
  if (col <= 0) return 0;
  for (const auto& c : LayoutRow(row, tabSpaceCount)) {
    if (col < c.Cell + c.Cells) {
      if (c.Kind == TCellKind::ck_Tab && inTab) return col;
      return c.Cell;
    }
  }
  return col;
}

std::string ExpandTabs(std::string_view row, int tabSpaceCount) {
  std::string out;
  for (const auto& c : LayoutRow(row, tabSpaceCount)) {
    if (c.Kind == TCellKind::ck_Tab) {
      out.append(static_cast<std::size_t>(c.Cells), ' ');
    } else {
      out.append(row.substr(c.Byte, c.Bytes));
    }
  }
  return out;
}

}  // namespace tarn::editor

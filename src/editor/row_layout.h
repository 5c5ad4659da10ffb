// Cell layout of one row: one cell per byte, a tab up to the next tab stop, and the 1000-byte
// limit of what a row shows. Free of Qt so that painting, the caret and the result view's hit
// painting agree on every column.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::editor {

inline constexpr std::size_t kMaxRowBytes = 1000;

// Bytes of a row that are shown: at most 1000, or 1001 when byte 1000 is a lead byte.
std::size_t VisibleLength(std::string_view row) noexcept;

// The row cut to its visible bytes.
inline std::string_view VisiblePart(std::string_view row) noexcept { return row.substr(0, VisibleLength(row)); }

enum class TCellKind { ck_Single, ck_Double, ck_Tab };

// One character of a laid-out row.
struct TCellChar {
  std::size_t Byte;  // first byte in the row
  std::size_t Bytes;  // 1 or 2
  int Cell;           // first cell
  int Cells;          // 1, 2 or the width of a tab
  TCellKind Kind;
};

// Lays out the visible part of a row.
std::vector<TCellChar> LayoutRow(std::string_view row, int tabSpaceCount);

// Cells taken by the visible part of a row.
int RowCells(std::string_view row, int tabSpaceCount);

// Cell at which byte `byte` starts; bytes beyond the visible end take one cell each, so a caret
// standing beyond the end of a row keeps a column.
int CellOfByte(std::string_view row, std::size_t byte, int tabSpaceCount);

// Byte that cell `col` falls on, taken back to the start of its character (and of its tab unless
// inTab). Beyond the visible end: one byte per cell, so the result may exceed the row's length.
std::size_t ByteOfCell(std::string_view row, int col, int tabSpaceCount);

// The column moved off the second half of a double-byte character and, unless inTab, out of
// the inside of a tab (both to the character's first cell).
int SnapCol(std::string_view row, int col, int tabSpaceCount, bool inTab);

// The visible part with every tab expanded to blanks: the bytes the row shows, cell by cell.
std::string ExpandTabs(std::string_view row, int tabSpaceCount);

}  // namespace tarn::editor

// Where the result view paints a row's hit: the cell its record's hit position falls on once the
// tabs before it are expanded, and the text to paint there.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/regular_expression.h"

namespace tarn::ui {

struct THitToDraw {
  int Column = 0;    // 0-based cell of the row
  std::string Text;  // the hit's bytes, one cell each
};

// Nothing for a record that cannot say where its hit is (too few fields, a position that is not
// a number or lies outside the row, as a damaged history file can give) or whose hit is empty.
// The row is what the view shows of it, and the hit text is cut where the row ends.
std::optional<THitToDraw> HitToDraw(std::string_view result_line_info, std::string_view row, int tab_width);

// What the result view paints over a row: the row as it shows, and every hit in it.
struct TRowToDraw {
  // False: the row shows as the control draws it. True: its hit lies past the bytes a row shows,
  // and Text stands in their place: the row's head (up to its file and line number), a cut mark
  // and the row from shortly before the hit.
  bool Cut = false;
  std::string Text;  // the bytes shown, tabs not expanded
  std::vector<THitToDraw> Hits;
};

// The cut mark, "…" in CP932.
inline constexpr std::string_view kRowCutMark = "\x81\x63";

// The recorded hit and those after it that the row shows, found again with the matcher of the
// result's search (none when it is null). row is the whole row; only the part around what is
// shown is read.
TRowToDraw RowToDraw(std::string_view result_line_info, std::string_view row, int tab_width,
                     const pattern::TAWKStr* matcher);

}  // namespace tarn::ui

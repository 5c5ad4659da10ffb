// Where the result view paints a row's hit: the cell its record's hit position falls on once the
// tabs before it are expanded, and the text to paint there.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarn::ui {

struct THitToDraw {
  int Column = 0;    // 0-based cell of the row
  std::string Text;  // the hit's bytes, one cell each
};

// Nothing for a record that cannot say where its hit is (too few fields, a position that is not
// a number or lies outside the row, as a damaged history file can give) or whose hit is empty.
// The row is what the view shows of it, and the hit text is cut where the row ends.
std::optional<THitToDraw> HitToDraw(std::string_view result_line_info, std::string_view row, int tab_width);

}  // namespace tarn::ui

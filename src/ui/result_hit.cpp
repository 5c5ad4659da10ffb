#include "ui/result_hit.h"

#include <algorithm>
#include <charconv>

#include "core/comma_text.h"

namespace tarn::ui {

std::optional<THitToDraw> HitToDraw(std::string_view result_line_info, std::string_view row, int tab_width) {
  // Position, length and as much of the hit text as the row can show: a hit of a row without
  // line ends may be hundreds of megabytes, and the row is painted at every caret blink.
  constexpr std::size_t kNumberBytes = 32;
  std::vector<std::string> fields = ParseCommaTextHead(result_line_info, 3, std::max(row.size(), kNumberBytes));
  if (fields.size() < 3 || fields[2].empty()) return std::nullopt;
  int pos = 0;
  const std::string& text = fields[0];
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), pos);
  if (ec != std::errc() || end != text.data() + text.size() || pos < 1) return std::nullopt;
  if (static_cast<std::size_t>(pos - 1) > row.size()) return std::nullopt;
  if (tab_width < 1) tab_width = 1;
  int extra = 0;
  for (int i = 1; i <= pos - 1; ++i) {
    if (row[static_cast<std::size_t>(i - 1)] != '\t') continue;
    const int cell = (i - 1) + extra;
    extra += tab_width - (cell % tab_width) - 1;
  }
  // The hit shows as far as the row does.
  fields[2].resize(std::min(fields[2].size(), row.size() - static_cast<std::size_t>(pos - 1)));
  if (fields[2].empty()) return std::nullopt;
  return THitToDraw{pos - 1 + extra, std::move(fields[2])};
}

}  // namespace tarn::ui

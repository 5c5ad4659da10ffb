#include "ui/result_hit.h"

#include <algorithm>
#include <charconv>

#include "core/comma_text.h"
#include "core/sjis.h"
#include "editor/row_layout.h"
#include "search/result_hits.h"

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

namespace {

// Bytes of the row shown before a hit that lies past the row's visible part.
constexpr std::size_t kContextBefore = 40;
// How far back a character boundary is looked for before the context falls back to the hit.
constexpr std::size_t kBoundaryScan = 4096;

// The first byte of the character holding byte i, found from behind: the lead-byte candidates
// before i pair up from the last byte that cannot be one, so an odd count puts i on a trail
// byte. The hit's own start, a known boundary, when the scan gives up.
std::size_t CharStartBefore(std::string_view row, std::size_t i, std::size_t hit) {
  std::size_t k = 0;
  while (k < i && IsLeadByte(row[i - k - 1])) {
    if (++k > kBoundaryScan) return hit;
  }
  return k % 2 == 1 ? i - 1 : i;
}

// Bytes of the "path(12): " or "name(12): " a row starts with; 0 for a row of the line alone.
std::size_t RowHeadLength(std::string_view row, std::string_view line_no, std::size_t limit) {
  const std::string tag = "(" + std::string(line_no) + "): ";
  const std::size_t at = row.substr(0, limit).find(tag);
  return at == std::string_view::npos ? 0 : at + tag.size();
}

}  // namespace

TRowToDraw RowToDraw(std::string_view result_line_info, std::string_view row, int tab_width,
                     const pattern::TAWKStr* matcher) {
  TRowToDraw out;
  const std::string_view visible = editor::VisiblePart(row);
  std::vector<std::string> fields = ParseCommaTextHead(result_line_info, 5, 32);
  long long pos = 0, len = 0;
  const auto number = [](const std::string& text, long long& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
  };
  if (fields.size() < 3 || !number(fields[0], pos) || !number(fields[1], len) || pos < 1 || len < 1 ||
      static_cast<std::size_t>(pos - 1) >= row.size()) {
    out.Text = visible;
    return out;
  }
  const auto start = static_cast<std::size_t>(pos - 1);
  const std::size_t length = std::min(static_cast<std::size_t>(len), row.size() - start);
  // Row byte b (from on) stands in Text at b - from + text_from.
  std::size_t from = 0;
  std::size_t text_from = 0;
  if (start < visible.size()) {
    out.Text = visible;
  } else {
    out.Cut = true;
    // The line number, past the hit text and the path; a hit too long to read past leaves the
    // head out.
    fields = ParseCommaTextHead(result_line_info, 5, 4096);
    const std::size_t head = RowHeadLength(row, fields.size() > 4 ? fields[4] : std::string(), editor::kMaxRowBytes / 2);
    from = CharStartBefore(row, std::max(head, start > kContextBefore ? start - kContextBefore : 0), start);
    out.Text.assign(row.substr(0, head));
    out.Text += kRowCutMark;
    text_from = out.Text.size();
    out.Text += row.substr(from, editor::kMaxRowBytes);
    out.Text.resize(editor::VisibleLength(out.Text));
  }
  const std::size_t shown_end = from + (out.Text.size() - text_from);
  std::vector<search::TLineHit> hits{{start, length}};
  if (matcher) {
    const std::vector<search::TLineHit> later = search::LaterHits(*matcher, row, start, length, shown_end);
    hits.insert(hits.end(), later.begin(), later.end());
  }
  for (const search::TLineHit& hit : hits) {
    if (hit.Start >= shown_end) break;
    const std::size_t at = hit.Start - from + text_from;
    out.Hits.push_back({editor::CellOfByte(out.Text, at, tab_width),
                        out.Text.substr(at, std::min(hit.Length, out.Text.size() - at))});
  }
  return out;
}

}  // namespace tarn::ui

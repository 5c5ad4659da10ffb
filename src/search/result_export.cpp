#include "search/result_export.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "core/comma_text.h"
#include "core/data_file.h"
#include "core/encoding.h"
#include "core/system_text.h"
#include "search/result_hits.h"

namespace tarn::search {
namespace {

// A piece of a result line as HTML text, its white space as the result view shows it: a
// browser would fold blanks and tabs into one, so each blank becomes "&nbsp;" and a tab the
// blanks up to its stop. `cell` is the view's column (one per byte), carried from piece to piece.
void AppendHtmlText(std::string& out, std::string_view text, int tabWidth, std::size_t& cell) {
  const auto tab = static_cast<std::size_t>(std::max(1, tabWidth));
  for (const char c : text) {
    // None of these bytes can be the trail byte of a double-byte character. The bytes 0x01 and
    // 0x02 show as the angle brackets they stood for in the tag templates, but only as text.
    switch (c) {
      case '\x01': out += "&lt;"; break;
      case '\x02': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case ' ': out += "&nbsp;"; break;
      case '\t': {
        const std::size_t blanks = tab - cell % tab;
        for (std::size_t i = 0; i < blanks; ++i) out += "&nbsp;";
        cell += blanks;
        continue;
      }
      default: out += c;
    }
    ++cell;
  }
}

bool ParseCount(std::string_view text, long long& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc{} && end == text.data() + text.size();
}

struct HitTags {
  std::string Open;
  std::string Close;
};

HitTags BuildHitTags(const THtmlStyle& style) {
  HitTags tags{"<font color=" + HtmlColor(style.StringFontColor) + ">", "</font>"};
  if (style.Bold) tags.Open += "<b>";
  if (style.Italic) tags.Open += "<i>";
  if (style.Underline) tags.Open += "<u>";
  if (style.Bold) tags.Close.insert(0, "</b>");
  if (style.Italic) tags.Close.insert(0, "</i>");
  if (style.Underline) tags.Close.insert(0, "</u>");
  return tags;
}

void AppendHtmlLine(std::string& out, std::string_view line, const std::string* info, const HitTags& tags,
                    int tabWidth, const pattern::TAWKStr* matcher) {
  std::size_t cell = 0;
  long long hitPos = 0;
  long long hitLen = 0;
  const std::vector<std::string> fields = info ? ParseCommaTextHead(*info, 2, 32) : std::vector<std::string>();
  if (fields.size() < 2 || !ParseCount(fields[0], hitPos) || !ParseCount(fields[1], hitLen)) {
    AppendHtmlText(out, line, tabWidth, cell);
    return;
  }
  // Positions outside the line are clamped as a substring of the line would be.
  const auto size = static_cast<long long>(line.size());
  const long long start = hitPos < 1 ? 0 : std::min(hitPos - 1, size);
  const long long length = std::clamp(hitLen, 0LL, size - start);
  const auto s = static_cast<std::size_t>(start);
  const auto n = static_cast<std::size_t>(length);
  std::vector<TLineHit> hits{{s, n}};
  if (matcher) {
    const std::vector<TLineHit> later = LaterHits(*matcher, line, s, n, line.size());
    hits.insert(hits.end(), later.begin(), later.end());
  }
  std::size_t done = 0;
  for (const TLineHit& hit : hits) {
    AppendHtmlText(out, line.substr(done, hit.Start - done), tabWidth, cell);
    out += tags.Open;
    AppendHtmlText(out, line.substr(hit.Start, hit.Length), tabWidth, cell);
    out += tags.Close;
    done = hit.Start + hit.Length;
  }
  AppendHtmlText(out, line.substr(done), tabWidth, cell);
}

}  // namespace

void WriteBytes(const std::filesystem::path& path, std::string_view bytes, TLinkWrite links) {
  if (!IsRegularOrAbsent(path) || !ReplaceFile(path, bytes, links)) throw EResultFile(CannotCreateFileText(path));
}

std::string FileMessage(std::string_view utf8Format, const std::filesystem::path& path) {
  std::string message = SystemText(utf8Format);
  const std::string& native = path.native();
  const std::size_t at = message.find("%s");
  if (at != std::string::npos) message.replace(at, 2, IsValidUtf8(native) ? Utf8ToCp932(native) : native);
  return message;
}

std::string CannotCreateFileText(const std::filesystem::path& path) {
  return FileMessage("ファイル %s を作成できません", path);
}

void WriteLinesFile(const std::filesystem::path& path, const std::vector<std::string>& lines) {
  WriteBytes(path, ResultText(lines));
}

std::string HtmlColor(std::uint32_t color) {
  switch (color) {
    case 0x80000005: return "\"white\"";
    case 0x80000008: return "\"black\"";
    case 0x8000000F: return "\"silver\"";
    default: break;
  }
  // Digits 5-6, 3-4 and 1-2 of the value in hexadecimal with at least six digits: #RRGGBB for a
  // plain colour, digits of the value itself for anything else.
  char hex[16];
  std::snprintf(hex, sizeof hex, "%06X", static_cast<unsigned>(color));
  const std::string_view digits(hex);
  return "#" + std::string(digits.substr(4, 2)) + std::string(digits.substr(2, 2)) + std::string(digits.substr(0, 2));
}

std::string ResultText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

std::string ResultHtml(const std::vector<std::string>& lines, const std::vector<std::string>& resultLineInfos,
                       const THtmlStyle& style, const pattern::TAWKStr* matcher) {
  const HitTags tags = BuildHitTags(style);
  // The bytes are CP932, which a browser must not have to guess; the view's fixed pitch keeps
  // the columns of the rows.
  std::string html =
      "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\"></head>"
      "<body bgcolor=" + HtmlColor(style.BackColor) + " text=" + HtmlColor(style.FontColor) +
      " style=\"font-family: monospace\"><nobr>\r\n";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    AppendHtmlLine(html, lines[i], i < resultLineInfos.size() ? &resultLineInfos[i] : nullptr, tags, style.TabWidth, matcher);
    html += "<br>\r\n";
  }
  html += "</nobr></body></html>\r\n";
  return html;
}

std::filesystem::path SaveFileNameFor(const std::filesystem::path& chosen, TSaveType type) {
  std::filesystem::path name = chosen;
  name.replace_extension(type == TSaveType::Html ? ".htm" : ".txt");
  return name;
}

TSaveType SaveTypeForFileName(const std::filesystem::path& path) {
  std::string ext = path.extension().string();
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return (ext == ".htm" || ext == ".html") ? TSaveType::Html : TSaveType::Text;
}

void SaveResult(const std::filesystem::path& path, TSaveType type, const std::vector<std::string>& lines,
                const std::vector<std::string>& resultLineInfos, const THtmlStyle& style,
                const pattern::TAWKStr* matcher) {
  // A name the user chose: a link there keeps pointing at the file it names.
  WriteBytes(path, type == TSaveType::Html ? ResultHtml(lines, resultLineInfos, style, matcher) : ResultText(lines),
             TLinkWrite::lw_Follow);
}

}  // namespace tarn::search

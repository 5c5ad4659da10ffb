#include "search/result_lines.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "core/comma_text.h"
#include "core/sjis.h"
#include "core/system_text.h"
#include "search/native_path.h"

namespace tarn::search {
namespace {

template <typename Int>
std::optional<Int> ParseDecimal(std::string_view text) {
  Int value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

constexpr char kEscapedPath = '%';

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

std::string EscapeLineBreaks(std::string_view path) {
  std::string out(1, kEscapedPath);
  for (const char c : path) {
    if (c == '%')
      out += "%25";
    else if (c == '\r')
      out += "%0D";
    else if (c == '\n')
      out += "%0A";
    else
      out += c;
  }
  return out;
}

std::string UnescapeLineBreaks(std::string_view escaped) {
  std::string out;
  for (std::size_t i = 1; i < escaped.size(); ++i) {
    const std::string_view code = escaped.substr(i, 3);
    if (code == "%25" || code == "%0D" || code == "%0A") {
      out += code == "%25" ? '%' : code == "%0D" ? '\r' : '\n';
      i += 2;
    } else {
      out += escaped[i];
    }
  }
  return out;
}

}  // namespace

std::string ResultLineInfoOnOneLine(std::string_view info) {
  if (!HasLineBreak(info)) return std::string(info);
  std::vector<std::string> fields = ParseCommaText(info);
  if (fields.size() >= 5) {
    const std::string native = fields.size() > 5 && !fields[5].empty() ? fields[5] : Cp932ToNative(fields[3]);
    fields.resize(std::max<std::size_t>(fields.size(), 6));
    fields[5] = EscapeLineBreaks(native);
  }
  std::string line = ToCommaText(fields);
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';
  return line;
}

std::string ResultLineInfoFromOneLine(std::string_view line) {
  if (line.find(kEscapedPath) == std::string_view::npos) return std::string(line);
  std::vector<std::string> fields = ParseCommaText(line);
  if (fields.size() < 6 || !fields[5].starts_with(kEscapedPath)) return std::string(line);
  fields[5] = UnescapeLineBreaks(fields[5]);
  return ToCommaText(fields);
}

std::string FileNameOfPath(std::string_view path) {
  std::size_t name_start = 0;
  for (std::size_t i = 0; i < path.size(); i += CharLengthAt(path, i))
    if (path[i] == '/') name_start = i + 1;
  return std::string(path.substr(name_start));
}

std::string ResultLinePrefix(int result_type, std::string_view path, std::int32_t line_no) {
  std::string where;
  if (result_type == kResultFullPath)
    where = std::string(path);
  else if (result_type == kResultFileName)
    where = FileNameOfPath(path);
  else
    return {};
  return where + "(" + std::to_string(line_no) + "): ";
}

std::string MakeResultLineInfo(std::size_t prefix_length, int start, int length, std::string_view line,
                               std::string_view path, std::int32_t line_no, std::string_view native_path,
                               FileEncoding encoding) {
  // A hit that is not inside the line (none found, or out of range) is recorded as empty.
  if (start < 1 || length < 0 || static_cast<std::size_t>(start) - 1 > line.size()) {
    start = 0;
    length = 0;
  }
  const std::string_view hit_text =
      start > 0 ? line.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(length)) : std::string_view{};
  // Built in place: one record is made for every reported line.
  std::string info;
  info.reserve(hit_text.size() + path.size() + 32);
  AppendCommaTextItem(info, std::to_string(prefix_length + static_cast<std::size_t>(start)), true);
  AppendCommaTextItem(info, std::to_string(hit_text.size()), false);
  AppendCommaTextItem(info, hit_text, false);
  AppendCommaTextItem(info, path, false);
  AppendCommaTextItem(info, std::to_string(line_no), false);
  const bool native_needed = !native_path.empty() && !NativeRecoverable(path, native_path);
  if (native_needed || encoding != FileEncoding::kCp932)
    AppendCommaTextItem(info, native_needed ? native_path : std::string_view{}, false);
  if (encoding != FileEncoding::kCp932) AppendCommaTextItem(info, FileEncodingName(encoding), false);
  return info;
}

std::optional<ResultLineInfoFields> ParseResultLineInfo(std::string_view info) {
  const std::vector<std::string> fields = ParseCommaText(info);
  if (fields.size() < 5) return std::nullopt;
  const auto hit_pos = ParseDecimal<int>(fields[0]);
  const auto hit_len = ParseDecimal<int>(fields[1]);
  const auto line_no = ParseDecimal<std::int32_t>(fields[4]);
  if (!hit_pos || !hit_len || !line_no) return std::nullopt;
  ResultLineInfoFields result;
  result.HitPos = *hit_pos;
  result.HitLen = *hit_len;
  result.HitText = fields[2];
  result.FileName = fields[3];
  result.LineNo = *line_no;
  result.NativeFileName = fields.size() > 5 && !fields[5].empty() ? fields[5] : Cp932ToNative(fields[3]);
  if (fields.size() > 6) result.Encoding = FileEncodingFromName(fields[6]).value_or(FileEncoding::kCp932);
  return result;
}

ResultLine MakeResultLine(int result_type, std::string_view path, std::string_view native_path,
                          pattern::RE_LineInfo_t line_info, int start, int length) {
  std::string prefix = ResultLinePrefix(result_type, path, line_info.LineNo);
  ResultLine result;
  result.Place = {line_info.LineNo, line_info.Offset, prefix.size(), line_info.Encoding};
  result.Info = MakeResultLineInfo(prefix.size(), start, length, line_info.Line, path, line_info.LineNo, native_path,
                                   line_info.Encoding);
  result.Line = prefix.empty() ? std::move(line_info.Line) : std::move(prefix.append(line_info.Line));
  return result;
}

std::string SearchingStatus(int hit_count) {
  std::string status;
  AssignSearchingStatus(status, hit_count);
  return status;
}

void AssignSearchingStatus(std::string& out, int hit_count) {
  static const std::string head = SystemText(" 検索中（");
  static const std::string tail = SystemText("）...");
  char number[16];
  const auto digits = static_cast<std::size_t>(std::to_chars(number, number + sizeof number, hit_count).ptr - number);
  // Written in place: a run sets it for every line it reports.
  out.resize(head.size() + digits + tail.size());
  char* at = out.data();
  at = std::copy(head.begin(), head.end(), at);
  at = std::copy(number, number + digits, at);
  std::copy(tail.begin(), tail.end(), at);
}

}  // namespace tarn::search

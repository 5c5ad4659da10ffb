// Writing a result to a file: the text form (the result lines as shown) and the HTML form in
// which every hit carries the result view's hit style.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/data_file.h"
#include "pattern/regular_expression.h"

namespace tarn::search {

// A result or history file that cannot be written or read; the message is CP932 text.
class EResultFile : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A message (UTF-8 source text with one "%s") with the path filled in as CP932 text.
std::string FileMessage(std::string_view utf8Format, const std::filesystem::path& path);
// "ファイル %s を作成できません" with the path.
std::string CannotCreateFileText(const std::filesystem::path& path);

// Replaces the file with the bytes atomically (TAtomicFile): a failure leaves the old file as it
// was. Throws EResultFile.
void WriteBytes(const std::filesystem::path& path, std::string_view bytes, TLinkWrite links = TLinkWrite::lw_FollowOwn);

// Writes every line followed by CR LF (the last one included). Throws EResultFile.
void WriteLinesFile(const std::filesystem::path& path, const std::vector<std::string>& lines);

// The hit style and the view colours of the HTML form.
struct THtmlStyle {
  std::uint32_t BackColor = 0x80000005;
  std::uint32_t FontColor = 0x00000000;
  std::uint32_t StringFontColor = 0x00FF0000;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  int TabWidth = 8;  // the result view's
};

// "\"white\"", "\"black\"", "\"silver\"" for the three system colours; otherwise "#RRGGBB" from
// the value's lowest three bytes.
std::string HtmlColor(std::uint32_t color);

// The text form: every result line followed by CR LF.
std::string ResultText(const std::vector<std::string>& lines);

// The HTML form: header (declaring Shift_JIS and a fixed-pitch face), one output line per result
// line with the hit of its ResultLineInfo entry wrapped in the hit tags and "<br>" appended,
// footer; every line ends with CR LF. The line is cut at the hit and each piece escaped on its
// own before the tags go in, so no byte of a searched file can become markup; the bytes 0x01
// and 0x02 are written as "&lt;" and "&gt;", blanks as "&nbsp;" and tabs as the blanks the
// view shows for them. A line without a usable entry is written escaped, without tags. With the
// matcher of the result's search, the line's later hits carry the tags as well.
std::string ResultHtml(const std::vector<std::string>& lines, const std::vector<std::string>& resultLineInfos,
                       const THtmlStyle& style, const pattern::TAWKStr* matcher = nullptr);

enum class TSaveType { Text = 0, Html = 1 };

// The save dialog's extension rule: ".txt" for the text filter, ".htm" for the HTML one.
std::filesystem::path SaveFileNameFor(const std::filesystem::path& chosen, TSaveType type);

// The form a file name asks for: HTML for ".htm" and ".html" (any letter case), else text.
TSaveType SaveTypeForFileName(const std::filesystem::path& path);

// Writes the result in the given form to the path as it stands, replacing an existing file.
void SaveResult(const std::filesystem::path& path, TSaveType type, const std::vector<std::string>& lines,
                const std::vector<std::string>& resultLineInfos, const THtmlStyle& style,
                const pattern::TAWKStr* matcher = nullptr);

}  // namespace tarn::search

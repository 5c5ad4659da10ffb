// Result lines: what a reported line becomes in the result view (the line with the file and the
// line number in front of it, by display mode) and its ResultLineInfo record (where the hit is in
// the result line, its text, the file and the line number).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pattern/txt_file.h"

namespace tarn::search {

// Display modes of the setting ResultType; any other value shows the line alone.
inline constexpr int kResultLineOnly = 0;
inline constexpr int kResultFullPath = 1;
inline constexpr int kResultFileName = 2;

// The part of a path after its last "/".
std::string FileNameOfPath(std::string_view path);

// "path(12): " for mode 1, "name(12): " for mode 2, "" otherwise.
std::string ResultLinePrefix(int result_type, std::string_view path, std::int32_t line_no);

// The fields of one ResultLineInfo record.
struct ResultLineInfoFields {
  int HitPos = 0;           // 1-based byte column of the hit in the result line
  int HitLen = 0;           // bytes
  std::string HitText;
  std::string FileName;     // full path, CP932
  std::int32_t LineNo = 0;
  std::string NativeFileName;  // the path as the system names it
  FileEncoding Encoding = FileEncoding::kCp932;  // the file's, whose lines HitText and the line are converted from
};

// The CommaText record HitPos,HitLen,HitText,FileName,LineNo. start and length are those of the
// hit in line (start 1-based; 0 when there is none). A sixth field carries native_path when
// FileName alone does not lead back to it (a name with characters outside CP932); an empty
// native_path means the caller already knows it does. A file in another encoding than CP932 has
// its encoding's name in a seventh field (the sixth then empty when it carries no path), so that
// readers of the first five or six fields read such a record as before.
std::string MakeResultLineInfo(std::size_t prefix_length, int start, int length, std::string_view line,
                               std::string_view path, std::int32_t line_no, std::string_view native_path,
                               FileEncoding encoding = FileEncoding::kCp932);

// Reads a record back; nullopt when it has fewer than five fields. Without a sixth field, or an
// empty one, the native path is derived from FileName. Without a seventh field (or an unknown
// name in it) the file is CP932.
std::optional<ResultLineInfoFields> ParseResultLineInfo(std::string_view info);

// A record as one line of a line-oriented file, and back. A file name may hold CR or LF, which
// would break the line: such a record keeps blanks in their place in FileName and carries the
// path as the system names it in the sixth field as "%" + the path with "%", CR and LF written
// "%25", "%0D" and "%0A", so that it reads back byte for byte. Other records stay as they are.
std::string ResultLineInfoOnOneLine(std::string_view info);
std::string ResultLineInfoFromOneLine(std::string_view line);

// Where a reported line lies in its file, for what reads the file again around it.
struct ResultLinePlace {
  std::int32_t LineNo = 0;
  std::int64_t Offset = -1;    // of the line's first byte; -1 when the scan did not tell
  std::size_t TextStart = 0;   // where the line's text begins in the result line
  FileEncoding Encoding = FileEncoding::kCp932;  // the file is read again through its CP932 form
};

struct ResultLine {
  std::string Line;  // prefix + the line
  std::string Info;  // its ResultLineInfo
  ResultLinePlace Place;
};

// One reported line as the result view lists it.
// The line's text moves into the result line (a line may be very long).
ResultLine MakeResultLine(int result_type, std::string_view path, std::string_view native_path,
                          pattern::RE_LineInfo_t line_info, int start, int length);

// The status line while a run goes on: " 検索中（n）...".
std::string SearchingStatus(int hit_count);
// The same into out, whose storage serves again for the next count.
void AssignSearchingStatus(std::string& out, int hit_count);

}  // namespace tarn::search

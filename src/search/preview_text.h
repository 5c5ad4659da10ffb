// The text of a result row's file around the row's line, for the preview beside the result: only
// a window of lines around it is read, so that a row near the end of a large file costs what the
// window does. Lines end where the search ends them (CR LF, LF, a lone CR) and a NUL reads as a
// blank. All reading of a file for the preview goes through here, so that what turns a file's
// bytes into CP932 lines has one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "search/result_lines.h"

namespace tarn::search {

enum class TPreviewProblem {
  kNone,
  kGone,        // the file is not there
  kUnreadable,  // it cannot be opened or read
  kChanged,     // it no longer has the line, or the line no longer is what the row shows
};

struct TPreviewRequest {
  std::string NativePath;
  std::int32_t LineNo = 0;   // 1-based
  std::int64_t Offset = -1;  // of that line's first byte, when the search told it
  std::int32_t Before = 200;
  std::int32_t After = 200;
  // The file's encoding as the search read it; lines of another than CP932 are its CP932 form.
  FileEncoding Encoding = FileEncoding::kCp932;
};

struct TPreviewText {
  TPreviewProblem Problem = TPreviewProblem::kNone;
  std::string Reason;  // the system's reason for kUnreadable
  std::vector<std::string> Lines;  // CP932, without their line ends
  std::int32_t FirstLineNo = 0;
  // The requested line is longer than a line is read and holds only its head.
  bool LineCut = false;

  // The line with that number, when the window holds it.
  const std::string* Line(std::int32_t line_no) const;
};

// Reads windows of files, keeping for the last few files read without an offset where every
// 256th of their lines starts, so that rows going down such a file read on from the last one.
class TPreviewReader {
 public:
  // A line longer than this is held up to it.
  static constexpr std::size_t kMaxLineBytes = 1 << 20;

  TPreviewText Read(const TPreviewRequest& request);

 private:
  struct FileIndex {
    std::string NativePath;
    std::uint64_t Device = 0, Inode = 0;
    std::int64_t Size = 0, ModifiedNs = 0;
    std::vector<std::int64_t> Starts;  // Starts[k]: where line k * kIndexStep + 1 starts
  };
  static constexpr std::int32_t kIndexStep = 256;
  static constexpr std::size_t kIndexedFiles = 4;

  std::list<FileIndex> index_;  // the most recently used first
};

// A row's preview: its file's window, and where in it the row's hit lies.
struct TRowPreview {
  TPreviewText Text;
  std::string FileName;  // CP932, as the row's record names it
  std::int32_t HitLineNo = 0;
  std::size_t HitStart = 0;  // 0-based byte of the hit's line
  std::size_t HitLength = 0;
};

// The window around a row's line (offset: where the line starts, -1 when not known). Problem is
// kChanged when the record cannot name a line or the file's line is not the one the row shows,
// with the recorded hit text at its place: a preview never shows another text than the row's.
TRowPreview PreviewRow(TPreviewReader& reader, std::string_view row, std::string_view info, std::int64_t offset,
                       std::int32_t before = 200, std::int32_t after = 200);

// Where the recorded hit lies in the line of the file (0-based), when the row is that line behind
// one of the heads a result line may have ("path(12): ", "name(12): " or none) and the hit text
// is at its place; cut: the line holds only its head, which the row must begin with.
std::optional<std::size_t> HitInFileLine(std::string_view row, const ResultLineInfoFields& fields,
                                         std::string_view line, bool cut = false);

// The one-line message for a row that cannot be shown, CP932.
std::string PreviewProblemText(const TRowPreview& preview);

}  // namespace tarn::search

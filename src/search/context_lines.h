// Context lines: the lines around the reported lines of a search, as a grep's -A, -B and -C
// give them, read back from the files. Lines end where the grep ends them (LF, CR LF or a lone
// CR) and a NUL reads as a space. Groups that overlap or touch merge; a separator stands between
// groups that do not, also between files.
//
// Where the scan told the offset of a reported line, only the stretches around it are read, so
// a run with context costs little more than one without; otherwise the file is read on from the
// last line read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "search/result_lines.h"

namespace tarn::pattern {
class ReadOnlyFile;
}

namespace tarn::search {

// Appends "path(12)- " for mode 1, "name(12)- " for mode 2 and "- " otherwise: a context line's
// prefix has "-" where a result line's has ":". Without a file and line number a result line
// needs kLineOnlyHitMark in front to be told from a context line.
void AppendContextLinePrefix(std::string& out, int result_type, std::string_view path, std::int32_t line_no);
inline constexpr std::string_view kLineOnlyHitMark = ": ";
inline constexpr std::string_view kContextGroupSeparator = "--";

class ContextLines {
 public:
  // Where the lines go.
  class Sink {
   public:
    virtual ~Sink() = default;
    virtual void Separator() = 0;
    // A line around a reported one; path is the file as shown.
    virtual void Context(std::string_view path, std::int32_t line_no, std::string_view text) = 0;
    // The file could not be read again; its context lines are left out.
    virtual void Unreadable(std::string_view path, const std::string& reason) = 0;
  };

  // before and after: how many lines go before and after each reported line (0 or more).
  ContextLines(std::int32_t before, std::int32_t after, Sink& sink);
  ~ContextLines();
  ContextLines(const ContextLines&) = delete;
  ContextLines& operator=(const ContextLines&) = delete;

  // Called before each reported line is printed, in the order of the run: gives what goes
  // before it (the last reported line's following lines, a separator, its own preceding
  // lines). path and native_path name its file as shown and as the system names it;
  // text_length is the length of its text (the result line after place.TextStart).
  void BeforeLine(const std::string& path, const std::string& native_path, const ResultLinePlace& place,
                  std::size_t text_length);
  // Gives the lines after the last reported line; at the end of the run.
  void Finish();

  // Asked before every line read: once it answers true (the run was stopped), no more lines are
  // read or given, however many were asked for.
  std::function<bool()> Stopped;

 private:
  void StartFile(const std::string& path, const std::string& native_path);
  void PlaceLines(std::int32_t line_no, std::int64_t offset, std::size_t text_length);
  // Gives lines first..last read on from the cursor, passing over those before first; stops at
  // the end of the file.
  void GiveLines(std::int64_t first, std::int64_t last);
  // Reads on until the cursor is on the given line (or at the end of the file).
  void SkipTo(std::int64_t line);
  // Puts the cursor on line first, going back from line line_no at offset (or on the first line
  // of the file, when that comes before).
  void MoveBack(std::int64_t first, std::int32_t line_no, std::int64_t offset);
  // Reads the line at pos; the offset of the next line, -1 at the end. text, when given, gets
  // its text, valid until the next read.
  std::int64_t ReadLine(std::int64_t pos, std::string_view* text);
  // The start of the line before the one that starts at pos (pos > 0).
  std::int64_t StartOfLineBefore(std::int64_t pos);
  // The bytes the window holds from pos on, and those it holds before pos; both read the file
  // when the window lacks them, and are empty at the file's ends.
  std::string_view Ahead(std::int64_t pos);
  std::string_view Behind(std::int64_t pos);
  void Load(std::int64_t from, std::size_t size);
  // The size of the next read: reading on, twice the last one's (up to a limit); else a small one.
  std::size_t NextWindowSize(bool reading_on);
  bool Readable();
  bool StopRequested() const;

  const std::int64_t before_;
  const std::int64_t after_;
  Sink& sink_;
  bool given_any_ = false;  // a line was given or reported: the next group needs a separator
  // The file of the last reported line.
  std::string path_;
  std::string native_path_;
  FileEncoding encoding_ = FileEncoding::kCp932;
  std::unique_ptr<pattern::ReadOnlyFile> file_;
  bool failed_ = false;
  std::int64_t last_line_ = 0;  // its last reported line; 0: none yet
  // The next line to read on: its number and offset; with cursor_at_text_end_, the offset is
  // that of the end of the text of the line before it. -1: the end of the file.
  std::int64_t cursor_line_ = 1;
  std::int64_t cursor_ = 0;
  bool cursor_at_text_end_ = false;
  // A window of the file: its bytes from window_from_ on.
  std::vector<char> window_;
  std::int64_t window_from_ = 0;
  std::size_t window_size_ = 0;
  bool window_has_nul_ = false;
  bool window_has_cr_ = false;
  std::size_t read_size_ = 4096;
  // The window has no LF in [lf_from_, lf_at_), and lf_at_ is one or the window's end.
  std::int64_t lf_from_ = -1;
  std::int64_t lf_at_ = -1;
  std::string text_;  // a line's text pieced together from more than one window
};

}  // namespace tarn::search

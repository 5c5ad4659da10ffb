// The text-file reader of the line grep: a file read block by block and handed out as a stream
// of Shift-JIS character codes through a start cursor (which keeps track of lines) and a
// look-ahead cursor (which runs ahead during a match attempt). The stream is an LF, the file's
// bytes with every line end (CR LF, LF, lone CR) read as LF and every NUL as a space, and a
// final line end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/file_encoding.h"
#include "core/sjis.h"
#include "pattern/read_only_file.h"

namespace tarn::pattern {

// A file that could not be opened or read; the message is the system's reason.
class EInOutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class EEndOfFile : public EInOutError {
 public:
  EEndOfFile() : EInOutError("End Of File") {}
};

class EFileNotFound : public EInOutError {
 public:
  using EInOutError::EInOutError;
};

// The stop request, found set after a block or before a reported line.
class EGrepCancel : public std::runtime_error {
 public:
  EGrepCancel() : std::runtime_error("CancelRequest") {}
};

// One matching line: its text without the line end, and its 1-based number.
struct RE_LineInfo_t {
  std::string Line;
  std::int32_t LineNo = 0;
  // The file offset of its first byte, where the scan reads the file by offset; -1 otherwise
  // (also for a file read converted from another encoding).
  std::int64_t Offset = -1;
  // The encoding the file was read in; the line is CP932 whatever it is.
  FileEncoding Encoding = FileEncoding::kCp932;
};

// How many bytes at the head of a file the text test looks at.
inline constexpr std::size_t kTextTestBytes = 2048;

// True when the file can be read and none of its first 2048 bytes is 0 (an empty file is text).
// Directories, FIFOs, sockets and devices are not text files.
bool IsTextFile(const std::string& native_path);

class TTxtFile {
 public:
  static constexpr std::size_t kDefaultBlockSize = 102400;

  // Opens the file and reads the first block. Raises EFileNotFound when the file cannot be
  // opened, EEndOfFile when it is empty, EGrepCancel when cancel is set after the first block.
  // process_messages lets pending window messages run after every block and before every line.
  TTxtFile(const std::string& native_path, const bool& cancel, std::function<void()> process_messages = {},
           std::size_t block_size = kDefaultBlockSize);
  // The same over a file opened already, read from its current position.
  TTxtFile(ReadOnlyFile file, const bool& cancel, std::function<void()> process_messages = {},
           std::size_t block_size = kDefaultBlockSize);
  ~TTxtFile() = default;
  TTxtFile(const TTxtFile&) = delete;
  TTxtFile& operator=(const TTxtFile&) = delete;

  // The next character at the start cursor; the look-ahead cursor follows it. Raises EEndOfFile
  // when the stream is used up.
  RE_Char_t ReadChar();
  // The next character at the look-ahead cursor; 0 once the stream is used up.
  RE_Char_t ReadAheadChar();
  // Completes the start cursor's line and returns it.
  void ReadLine(RE_LineInfo_t& line_info);

  std::int32_t LineNo() const noexcept { return static_cast<std::int32_t>(line_no_); }
  // The most bytes held at once besides the block buffer: the carried-over part of the current
  // line and the window its tail is read back through.
  std::size_t PeakHeldBytes() const noexcept { return peak_held_bytes_; }

 private:
  struct Cursor {
    bool in_carry = false;
    std::size_t pos = 0;
  };

  // The byte under a cursor, and writing it in place (Put right after Get of the same byte).
  char Get(const Cursor& c);
  void Put(const Cursor& c, char b);
  char ByteAfter(const Cursor& c);
  char TailByte(std::size_t pos);
  std::int64_t FileOffset(const Cursor& c) const noexcept;
  std::size_t CarrySize() const noexcept { return carry_head_.size() + carry_tail_size_; }
  void ClearCarryOver() noexcept;
  void AppendCarryOver(std::string& text, std::size_t from, std::size_t to) const;
  bool AtTerminator(const Cursor& c) const noexcept;
  unsigned char Step(Cursor& c, bool start_cursor);
  void Settle(Cursor& c, bool start_cursor);
  unsigned char StepStart();
  void CarryOverAndRead(bool triggered_by_look_ahead);
  void ReadBlock(std::size_t destination);
  void ProcessMessagesAndTestCancel();

  ReadOnlyFile file_;  // closed on every way out, also when the constructor raises
  const bool& cancel_;
  std::function<void()> process_messages_;
  std::size_t block_size_;
  std::vector<char> buffer_;
  std::size_t block_count_ = 0;
  bool at_end_ = false;
  int pending_byte_ = -1;  // read ahead to learn whether the file goes on
  Cursor start_;
  Cursor line_start_;
  Cursor ahead_;
  std::uint32_t line_no_ = 0;  // unsigned: a file of 2^31 lines wraps instead of overflowing
  // CarryOver: its first part in memory (at most a block: the current line's bytes from the
  // block it began in), the rest a stretch of the file read back through a window of one block.
  std::string carry_head_;
  std::int64_t carry_head_from_ = 0;  // file offsets
  std::int64_t carry_tail_from_ = 0;
  std::size_t carry_tail_size_ = 0;
  std::vector<char> tail_window_;
  std::size_t tail_window_pos_ = 0;  // tail index of the window's first byte
  std::size_t tail_window_size_ = 0;
  std::int64_t buffer_from_ = 0;  // file offset of the buffer's first byte
  bool seekable_ = true;
  // Lone CRs read as LF that the bytes read back from the file must show too: the one under the
  // start cursor, and those after a CR that the look-ahead cursor read as a trail byte.
  std::int64_t start_rewrite_ = -1;
  std::set<std::int64_t> kept_rewrites_;
  bool ahead_after_trail_cr_ = false;
  std::size_t peak_held_bytes_ = 0;
};

}  // namespace tarn::pattern

// The text-file reader of the line grep: a file read block by block and handed out as a stream
// of Shift-JIS character codes through a start cursor (which keeps track of lines) and a
// look-ahead cursor (which runs ahead during a match attempt). The stream is an LF, the file's
// bytes with every line end (CR LF, LF, lone CR) read as LF and every NUL as a space, and a
// final line end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

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
};

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

 private:
  struct Cursor {
    bool in_carry = false;
    std::size_t pos = 0;
  };

  char& At(const Cursor& c) noexcept;
  char ByteAfter(const Cursor& c) noexcept;
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
  std::string carry_over_;
};

}  // namespace tarn::pattern

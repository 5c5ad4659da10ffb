#include "pattern/txt_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace tarn::pattern {
namespace {

constexpr std::size_t kSlack = 100;
constexpr std::size_t kTextTestBytes = 2048;

}  // namespace

bool IsTextFile(const std::string& native_path) {
  try {
    ReadOnlyFile file(native_path);
    struct stat st {};
    if (fstat(file.Descriptor(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    char head[kTextTestBytes];
    return std::memchr(head, 0, file.Read(head, sizeof head)) == nullptr;
  } catch (const EInOutError&) {
    return false;
  }
}

TTxtFile::TTxtFile(const std::string& native_path, const bool& cancel, std::function<void()> process_messages,
                   std::size_t block_size)
    : file_(native_path),
      cancel_(cancel),
      process_messages_(std::move(process_messages)),
      block_size_(std::max<std::size_t>(block_size, 1)) {
  // A directory opens on Linux but is no file to read.
  struct stat st {};
  if (fstat(file_.Descriptor(), &st) == 0 && S_ISDIR(st.st_mode)) throw EFileNotFound(SystemErrorText(EISDIR));
  buffer_.assign(block_size_ + kSlack, '\0');
  buffer_[0] = '\n';
  ReadBlock(1);
  ++block_count_;
}

void TTxtFile::ReadBlock(std::size_t destination) {
  char* data = buffer_.data() + destination;
  std::size_t got = 0;
  if (pending_byte_ >= 0) {
    data[got++] = static_cast<char>(pending_byte_);
    pending_byte_ = -1;
  }
  got += file_.Read(data + got, block_size_ - got);
  if (got == 0) throw EEndOfFile();
  at_end_ = got < block_size_;
  if (!at_end_) {
    // Learn whether the file goes on by reading one byte ahead. A CR LF pair is never split
    // across two blocks: an LF that follows a CR at the block's end joins this block.
    char next;
    std::size_t more = file_.Read(&next, 1);
    if (more == 1 && data[got - 1] == '\r' && next == '\n') {
      data[got++] = '\n';
      more = file_.Read(&next, 1);
    }
    if (more == 1)
      pending_byte_ = static_cast<unsigned char>(next);
    else
      at_end_ = true;
  }
  block_count_ = got;
  if (at_end_) {
    if (data[got - 1] != '\n') data[got++] = '\n';
    block_count_ = got;
    data[got] = '\0';
    data[got + 1] = '\0';
  } else {
    data[got] = '\0';
  }
  ProcessMessagesAndTestCancel();
}

void TTxtFile::ProcessMessagesAndTestCancel() {
  if (process_messages_) process_messages_();
  if (cancel_) throw EGrepCancel();
}

char& TTxtFile::At(const Cursor& c) noexcept { return c.in_carry ? carry_over_[c.pos] : buffer_[c.pos]; }

char TTxtFile::ByteAfter(const Cursor& c) noexcept {
  // Within a block or CarryOver: a CR LF pair never straddles a block end.
  return c.in_carry ? carry_over_[c.pos + 1] : buffer_[c.pos + 1];
}

bool TTxtFile::AtTerminator(const Cursor& c) const noexcept {
  return at_end_ && !c.in_carry && c.pos >= block_count_;
}

void TTxtFile::Settle(Cursor& c, bool start_cursor) {
  for (;;) {
    if (At(c) != '\0') return;
    if (c.in_carry) {
      if (c.pos < carry_over_.size()) {
        carry_over_[c.pos] = ' ';
        return;
      }
      c = Cursor{};  // the line goes on in the current block
      continue;
    }
    if (c.pos < block_count_) {
      buffer_[c.pos] = ' ';
      return;
    }
    if (at_end_) {
      if (start_cursor) throw EEndOfFile();
      return;
    }
    CarryOverAndRead(!start_cursor);
    c = Cursor{};
  }
}

unsigned char TTxtFile::Step(Cursor& c, bool start_cursor) {
  if (!start_cursor && AtTerminator(c)) return 0;
  const auto b = static_cast<unsigned char>(At(c));
  ++c.pos;
  Settle(c, start_cursor);
  return b;
}

void TTxtFile::CarryOverAndRead(bool triggered_by_look_ahead) {
  // Buffer position p lands at p + appended_at - dropped in the new CarryOver.
  std::size_t appended_at = 0;
  std::size_t dropped = 0;
  if (line_start_.in_carry) {
    appended_at = carry_over_.size();
    carry_over_.append(buffer_.data(), block_count_);
  } else {
    dropped = line_start_.pos;
    carry_over_.assign(buffer_.data() + dropped, block_count_ - dropped);
    line_start_ = Cursor{true, 0};
  }
  if (triggered_by_look_ahead && !start_.in_carry) start_ = Cursor{true, start_.pos + appended_at - dropped};
  ReadBlock(0);
}

unsigned char TTxtFile::StepStart() {
  const unsigned char b = Step(start_, true);
  if (b == '\n') {
    line_start_ = start_;
    ++line_no_;
    if (!start_.in_carry) carry_over_.clear();
  }
  char& next = At(start_);
  if (next == '\r') {
    if (ByteAfter(start_) == '\n')
      ++start_.pos;
    else
      next = '\n';
  }
  return b;
}

RE_Char_t TTxtFile::ReadChar() {
  const unsigned char b = StepStart();
  RE_Char_t code = b;
  if (IsLeadByte(b)) code = static_cast<RE_Char_t>(b << 8 | StepStart());
  ahead_ = start_;
  return code;
}

RE_Char_t TTxtFile::ReadAheadChar() {
  if (AtTerminator(ahead_)) return 0;
  char& here = At(ahead_);
  if (here == '\r') {
    if (ByteAfter(ahead_) == '\n')
      Step(ahead_, false);
    else
      here = '\n';
    Step(ahead_, false);
    return '\n';
  }
  const unsigned char b = Step(ahead_, false);
  if (IsLeadByte(b)) return static_cast<RE_Char_t>(b << 8 | Step(ahead_, false));
  return b;
}

void TTxtFile::ReadLine(RE_LineInfo_t& line_info) {
  ProcessMessagesAndTestCancel();
  while (At(start_) != '\n') StepStart();
  std::string text;
  if (line_start_.in_carry == start_.in_carry) {
    const char* base = start_.in_carry ? carry_over_.data() : buffer_.data();
    text.assign(base + line_start_.pos, start_.pos - line_start_.pos);
  } else {
    text.assign(carry_over_, line_start_.pos, std::string::npos);
    text.append(buffer_.data(), start_.pos);
  }
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  line_info.Line = std::move(text);
  line_info.LineNo = LineNo();
}

}  // namespace tarn::pattern

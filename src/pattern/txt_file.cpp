#include "pattern/txt_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include <utility>

namespace tarn::pattern {
namespace {

constexpr std::size_t kSlack = 100;

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
    : TTxtFile(ReadOnlyFile(native_path), cancel, std::move(process_messages), block_size) {}

TTxtFile::TTxtFile(ReadOnlyFile file, const bool& cancel, std::function<void()> process_messages, std::size_t block_size)
    : file_(std::move(file)),
      cancel_(cancel),
      process_messages_(std::move(process_messages)),
      block_size_(std::max<std::size_t>(block_size, 1)) {
  // A directory opens on Linux but is no file to read.
  struct stat st {};
  if (fstat(file_.Descriptor(), &st) == 0 && S_ISDIR(st.st_mode)) throw EFileNotFound(SystemErrorText(EISDIR));
  seekable_ = S_ISREG(st.st_mode);
  buffer_.assign(block_size_ + kSlack, '\0');
  buffer_[0] = '\n';
  buffer_from_ = -1;  // the first block goes behind the line feed in front of the file
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

std::int64_t TTxtFile::FileOffset(const Cursor& c) const noexcept {
  if (!c.in_carry) return buffer_from_ + static_cast<std::int64_t>(c.pos);
  if (c.pos < carry_head_.size()) return carry_head_from_ + static_cast<std::int64_t>(c.pos);
  return carry_tail_from_ + static_cast<std::int64_t>(c.pos - carry_head_.size());
}

char TTxtFile::TailByte(std::size_t pos) {
  // pos indexes the tail of CarryOver, which lies in the file from carry_tail_from_.
  if (pos < tail_window_pos_ || pos >= tail_window_pos_ + tail_window_size_) {
    tail_window_pos_ = pos / block_size_ * block_size_;
    const std::size_t want = std::min(block_size_, carry_tail_size_ - tail_window_pos_);
    tail_window_.resize(block_size_);
    tail_window_size_ = file_.ReadAt(tail_window_.data(), want, static_cast<std::uint64_t>(carry_tail_from_) + tail_window_pos_);
    if (tail_window_size_ == 0) return ' ';  // the file shrank
    peak_held_bytes_ = std::max(peak_held_bytes_, carry_head_.capacity() + tail_window_.capacity());
    if (pos >= tail_window_pos_ + tail_window_size_) return ' ';
  }
  char& b = tail_window_[pos - tail_window_pos_];
  if (b == '\0') b = ' ';
  if (b == '\r') {
    const std::int64_t offset = carry_tail_from_ + static_cast<std::int64_t>(pos);
    if (offset == start_rewrite_ || kept_rewrites_.count(offset) != 0) b = '\n';
  }
  return b;
}

char TTxtFile::Get(const Cursor& c) {
  if (!c.in_carry) return buffer_[c.pos];
  if (c.pos < carry_head_.size()) return carry_head_[c.pos];
  if (c.pos >= CarrySize()) return '\0';
  return TailByte(c.pos - carry_head_.size());
}

void TTxtFile::Put(const Cursor& c, char b) {
  if (!c.in_carry)
    buffer_[c.pos] = b;
  else if (c.pos < carry_head_.size())
    carry_head_[c.pos] = b;
  else if (const std::size_t pos = c.pos - carry_head_.size(); TailByte(pos), pos - tail_window_pos_ < tail_window_size_)
    tail_window_[pos - tail_window_pos_] = b;
}

char TTxtFile::ByteAfter(const Cursor& c) {
  // Within a block or CarryOver: a CR LF pair never straddles a block end.
  return Get(Cursor{c.in_carry, c.pos + 1});
}

void TTxtFile::ClearCarryOver() noexcept {
  carry_head_.clear();
  carry_tail_size_ = 0;
  tail_window_size_ = 0;
}

bool TTxtFile::AtTerminator(const Cursor& c) const noexcept {
  return at_end_ && !c.in_carry && c.pos >= block_count_;
}

void TTxtFile::Settle(Cursor& c, bool start_cursor) {
  for (;;) {
    if (Get(c) != '\0') return;
    if (c.in_carry) {
      if (c.pos < CarrySize()) {
        Put(c, ' ');
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
  const auto b = static_cast<unsigned char>(Get(c));
  ++c.pos;
  Settle(c, start_cursor);
  return b;
}

void TTxtFile::CarryOverAndRead(bool triggered_by_look_ahead) {
  // Buffer position p lands at p + appended_at - dropped in the new CarryOver.
  std::size_t appended_at = 0;
  std::size_t dropped = 0;
  if (line_start_.in_carry) {
    // The block joins CarryOver's tail, which is read back from the file when it is needed, so
    // that a look-ahead running on for many blocks holds no more than one of them. A stream
    // (a FIFO) cannot be read back and keeps its blocks.
    appended_at = CarrySize();
    if (!seekable_) {
      carry_head_.append(buffer_.data(), block_count_);
    } else {
      if (carry_tail_size_ == 0) carry_tail_from_ = buffer_from_;
      carry_tail_size_ += block_count_;
    }
  } else {
    dropped = line_start_.pos;
    ClearCarryOver();
    carry_head_.assign(buffer_.data() + dropped, block_count_ - dropped);
    carry_head_from_ = buffer_from_ + static_cast<std::int64_t>(dropped);
    peak_held_bytes_ = std::max(peak_held_bytes_, carry_head_.capacity() + tail_window_.capacity());
    line_start_ = Cursor{true, 0};
  }
  buffer_from_ += static_cast<std::int64_t>(block_count_);
  if (triggered_by_look_ahead && !start_.in_carry) start_ = Cursor{true, start_.pos + appended_at - dropped};
  ReadBlock(0);
}

unsigned char TTxtFile::StepStart() {
  const unsigned char b = Step(start_, true);
  if (b == '\n') {
    line_start_ = start_;
    ++line_no_;
    if (!start_.in_carry) ClearCarryOver();
    if (!kept_rewrites_.empty()) kept_rewrites_.erase(kept_rewrites_.begin(), kept_rewrites_.lower_bound(FileOffset(start_)));
  }
  if (Get(start_) == '\r') {
    if (ByteAfter(start_) == '\n')
      ++start_.pos;
    else
      Put(start_, '\n');
  }
  // The byte under the start cursor may be a lone CR read as LF, here or by a look-ahead
  // before; it must stay LF when its block is read back from the file.
  if (Get(start_) == '\n') start_rewrite_ = FileOffset(start_);
  return b;
}

RE_Char_t TTxtFile::ReadChar() {
  const unsigned char b = StepStart();
  RE_Char_t code = b;
  if (IsLeadByte(b)) code = static_cast<RE_Char_t>(b << 8 | StepStart());
  ahead_ = start_;
  ahead_after_trail_cr_ = false;
  return code;
}

RE_Char_t TTxtFile::ReadAheadChar() {
  if (AtTerminator(ahead_)) return 0;
  const bool after_trail_cr = ahead_after_trail_cr_;
  ahead_after_trail_cr_ = false;
  if (Get(ahead_) == '\r') {
    if (ByteAfter(ahead_) == '\n') {
      Step(ahead_, false);
    } else {
      // After a CR read as a trail byte, this LF makes the two one CR LF for the start cursor:
      // the one rewrite that must outlast the block it was made in.
      if (after_trail_cr) kept_rewrites_.insert(FileOffset(ahead_));
      Put(ahead_, '\n');
    }
    Step(ahead_, false);
    return '\n';
  }
  const unsigned char b = Step(ahead_, false);
  if (!IsLeadByte(b)) return b;
  const unsigned char t = Step(ahead_, false);
  ahead_after_trail_cr_ = t == '\r';
  return static_cast<RE_Char_t>(b << 8 | t);
}

void TTxtFile::ReadLine(RE_LineInfo_t& line_info) {
  ProcessMessagesAndTestCancel();
  while (Get(start_) != '\n') StepStart();
  std::string text;
  if (!line_start_.in_carry) {
    text.assign(buffer_.data() + line_start_.pos, start_.pos - line_start_.pos);
  } else {
    AppendCarryOver(text, line_start_.pos, start_.in_carry ? start_.pos : CarrySize());
    if (!start_.in_carry) text.append(buffer_.data(), start_.pos);
  }
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  line_info.Line = std::move(text);
  line_info.LineNo = LineNo();
}

void TTxtFile::AppendCarryOver(std::string& text, std::size_t from, std::size_t to) const {
  if (from < carry_head_.size()) {
    text.append(carry_head_, from, std::min(to, carry_head_.size()) - from);
    from = carry_head_.size();
  }
  if (from >= to) return;
  const std::size_t at = text.size();
  text.resize(at + (to - from));
  const std::size_t got = file_.ReadAt(text.data() + at, to - from, static_cast<std::uint64_t>(carry_tail_from_) + (from - carry_head_.size()));
  text.resize(at + got);
  std::replace(text.begin() + static_cast<std::ptrdiff_t>(at), text.end(), '\0', ' ');
}

}  // namespace tarn::pattern

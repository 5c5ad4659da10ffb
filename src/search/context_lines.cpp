#include "search/context_lines.h"

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cstring>
#include <new>

#include "pattern/decoded_file.h"
#include "pattern/read_only_file.h"
#include "pattern/txt_file.h"

namespace tarn::search {
namespace {

// A reported line far from the last costs a small read around it; reading on, or a reported
// line close after the window, reads more at a time, twice as much as the read before up to a
// large window. A read costs about what copying 8 KiB does, so a large window pays when the lines
// it serves lie closer than that; hits some pages apart need only the next lines after each.
constexpr std::size_t kSmallWindow = 4096;
constexpr std::size_t kLargeWindow = 65536;
constexpr std::int64_t kNearby = 8192;
constexpr std::int64_t kLookBehind = 1024;

}  // namespace

void AppendContextLinePrefix(std::string& out, int result_type, std::string_view path, std::int32_t line_no) {
  if (result_type == kResultFullPath)
    out += path;
  else if (result_type == kResultFileName)
    out += FileNameOfPath(path);
  else {
    out += "- ";
    return;
  }
  char number[16];
  const auto end = std::to_chars(number, number + sizeof number, line_no).ptr;
  out += '(';
  out.append(number, end);
  out += ")- ";
}

ContextLines::ContextLines(std::int32_t before, std::int32_t after, Sink& sink)
    : before_(std::max(before, 0)), after_(std::max(after, 0)), sink_(sink) {}

ContextLines::~ContextLines() = default;

void ContextLines::BeforeLine(const std::string& path, const std::string& native_path, const ResultLinePlace& place,
                              std::size_t text_length) {
  const std::int64_t n = place.LineNo;
  // A file listed again (it matches two masks) starts over as another file does.
  if (last_line_ == 0 || n <= last_line_ || native_path != native_path_) {
    Finish();
    StartFile(path, native_path);
    encoding_ = place.Encoding;
  }
  const std::int64_t first = std::max<std::int64_t>(1, n - before_);
  try {
    if (last_line_ > 0 && first <= last_line_ + after_ + 1) {
      GiveLines(last_line_ + 1, n - 1);
    } else {
      if (last_line_ > 0) GiveLines(last_line_ + 1, last_line_ + after_);
      if (given_any_) sink_.Separator();
      if (first < n && place.Offset >= 0) MoveBack(first, place.LineNo, place.Offset);
      GiveLines(first, n - 1);
    }
    PlaceLines(place.LineNo, place.Offset, text_length);
  } catch (const pattern::EInOutError& e) {
    failed_ = true;
    sink_.Unreadable(path_, e.what());
  }
  last_line_ = n;
  given_any_ = true;
}

void ContextLines::Finish() {
  if (last_line_ > 0) {
    try {
      GiveLines(last_line_ + 1, last_line_ + after_);
    } catch (const pattern::EInOutError& e) {
      sink_.Unreadable(path_, e.what());
    }
  }
  file_.reset();
  failed_ = false;
  last_line_ = 0;
}

void ContextLines::StartFile(const std::string& path, const std::string& native_path) {
  path_ = path;
  native_path_ = native_path;
  cursor_line_ = 1;
  cursor_ = 0;
  cursor_at_text_end_ = false;
  window_from_ = 0;
  window_size_ = 0;
  lf_from_ = lf_at_ = -1;
}

void ContextLines::PlaceLines(std::int32_t line_no, std::int64_t offset, std::size_t text_length) {
  if (before_ == 0 && after_ == 0) return;  // nothing is ever read
  if (offset >= 0) {
    cursor_line_ = std::int64_t{line_no} + 1;
    cursor_ = offset + static_cast<std::int64_t>(text_length);
    cursor_at_text_end_ = true;
    return;
  }
  SkipTo(std::int64_t{line_no} + 1);
}

bool ContextLines::StopRequested() const { return Stopped && Stopped(); }

void ContextLines::SkipTo(std::int64_t line) {
  if (failed_) return;
  if (cursor_at_text_end_ && cursor_ >= 0) {
    cursor_ = ReadLine(cursor_, nullptr);
    cursor_at_text_end_ = false;
  }
  while (cursor_ >= 0 && cursor_line_ < line) {
    if (StopRequested()) return;
    cursor_ = ReadLine(cursor_, nullptr);
    ++cursor_line_;
  }
}

void ContextLines::GiveLines(std::int64_t first, std::int64_t last) {
  if (first > last || cursor_ < 0 || failed_) return;
  SkipTo(first);
  while (cursor_ >= 0 && cursor_line_ <= last) {
    if (StopRequested()) return;
    std::string_view text;
    const std::int64_t next = ReadLine(cursor_, &text);
    if (next < 0) {
      cursor_ = -1;
      break;
    }
    sink_.Context(path_, static_cast<std::int32_t>(cursor_line_), text);
    cursor_ = next;
    ++cursor_line_;
  }
}

void ContextLines::MoveBack(std::int64_t first, std::int32_t line_no, std::int64_t offset) {
  std::int64_t line = line_no;
  std::int64_t pos = offset;
  while (line > first && pos > 0) {
    if (StopRequested()) return;
    pos = StartOfLineBefore(pos);
    --line;
  }
  if (failed_) return;
  cursor_line_ = line;
  cursor_ = pos;
  cursor_at_text_end_ = false;
}

std::int64_t ContextLines::ReadLine(std::int64_t pos, std::string_view* text) {
  text_.clear();
  bool pieced = false;  // the text is in text_, not in the window alone
  auto pieced_text = [&] {
    if (text == nullptr) return;
    std::replace(text_.begin(), text_.end(), '\0', ' ');
    *text = text_;
  };
  for (;;) {
    const std::string_view bytes = Ahead(pos);
    if (bytes.empty()) {
      pieced_text();
      return pieced ? pos : -1;
    }
    // The first LF of the window is kept, so that lines ended by a lone CR do not search the
    // rest of the window for one line after line.
    if (!(lf_from_ <= pos && pos <= lf_at_)) {
      const void* lf = std::memchr(bytes.data(), '\n', bytes.size());
      lf_from_ = pos;
      lf_at_ = pos + (lf != nullptr ? static_cast<const char*>(lf) - bytes.data()
                                    : static_cast<std::ptrdiff_t>(bytes.size()));
    }
    std::size_t end = static_cast<std::size_t>(lf_at_ - pos);
    if (window_has_cr_)
      if (const void* cr = std::memchr(bytes.data(), '\r', end)) end = static_cast<const char*>(cr) - bytes.data();
    if (end == bytes.size()) {  // the line goes on past the window
      if (text != nullptr) text_.append(bytes);
      pieced = true;
      pos += static_cast<std::int64_t>(end);
      continue;
    }
    pos += static_cast<std::int64_t>(end);
    std::int64_t next = pos + 1;
    if (bytes[end] == '\r') {
      // A CR at the window's end needs the next byte read, which replaces the window.
      if (end + 1 < bytes.size()) {
        if (bytes[end + 1] == '\n') ++next;
      } else {
        if (text != nullptr) text_.append(bytes.data(), end);
        pieced = true;
        const std::string_view after = Ahead(next);
        if (!after.empty() && after.front() == '\n') ++next;
        pieced_text();
        return next;
      }
    }
    if (text == nullptr) return next;
    const std::string_view piece = bytes.substr(0, end);
    if (!pieced && (!window_has_nul_ || std::memchr(piece.data(), '\0', piece.size()) == nullptr)) {
      *text = piece;  // valid until the window is read again
      return next;
    }
    text_.append(piece);
    pieced_text();
    return next;
  }
}

std::int64_t ContextLines::StartOfLineBefore(std::int64_t pos) {
  const std::string_view bytes = Behind(pos);
  if (bytes.empty()) return 0;
  // The first byte of the line end before pos.
  std::int64_t end = pos - 1;
  if (bytes.back() == '\n') {
    const std::string_view before = Behind(end);
    if (!before.empty() && before.back() == '\r') --end;
  }
  for (std::int64_t at = end;;) {
    const std::string_view stretch = Behind(at);
    if (stretch.empty()) return 0;
    // The last LF, then a CR after it.
    const char* from = stretch.data();
    const void* lf = memrchr(from, '\n', stretch.size());
    if (lf != nullptr) from = static_cast<const char*>(lf);
    const void* cr =
        window_has_cr_ ? memrchr(from, '\r', static_cast<std::size_t>(stretch.data() + stretch.size() - from)) : nullptr;
    const char* line_end = static_cast<const char*>(cr != nullptr ? cr : lf);
    if (line_end != nullptr) return at - static_cast<std::int64_t>(stretch.data() + stretch.size() - line_end) + 1;
    at -= static_cast<std::int64_t>(stretch.size());
  }
}

std::string_view ContextLines::Ahead(std::int64_t pos) {
  const std::int64_t window_end = window_from_ + static_cast<std::int64_t>(window_size_);
  if (pos < window_from_ || pos >= window_end) {
    if (pos < 0 || !Readable()) return {};
    const bool reading_on = window_size_ > 0 && pos >= window_end && pos - window_end < kNearby;
    Load(pos, NextWindowSize(reading_on));
    if (pos >= window_from_ + static_cast<std::int64_t>(window_size_)) return {};
  }
  const auto skip = static_cast<std::size_t>(pos - window_from_);
  return {window_.data() + skip, window_size_ - skip};
}

std::string_view ContextLines::Behind(std::int64_t pos) {
  const std::int64_t window_end = window_from_ + static_cast<std::int64_t>(window_size_);
  if (pos <= window_from_ || pos > window_end) {
    if (pos <= 0 || !Readable()) return {};
    if (window_size_ > 0 && pos == window_from_) {
      // Back through a long line.
      const std::int64_t from = std::max<std::int64_t>(0, pos - std::int64_t{kLargeWindow});
      Load(from, static_cast<std::size_t>(pos - from));
    } else if (window_size_ > 0 && pos > window_end && pos - window_end < kNearby) {
      Load(std::max<std::int64_t>(0, pos - kLookBehind), std::max<std::size_t>(NextWindowSize(true), 2 * kLookBehind));
    } else {
      NextWindowSize(false);
      Load(std::max<std::int64_t>(0, pos - std::int64_t{kSmallWindow / 2}), kSmallWindow);
    }
    // The file may have become shorter since it was searched.
    if (pos <= window_from_ || pos > window_from_ + static_cast<std::int64_t>(window_size_)) return {};
  }
  return {window_.data(), static_cast<std::size_t>(pos - window_from_)};
}

std::size_t ContextLines::NextWindowSize(bool reading_on) {
  read_size_ = reading_on ? std::min(2 * read_size_, kLargeWindow) : kSmallWindow;
  return read_size_;
}

void ContextLines::Load(std::int64_t from, std::size_t size) {
  window_from_ = from;
  window_size_ = 0;
  lf_from_ = lf_at_ = -1;
  window_size_ = file_->ReadAt(window_.data(), std::min(size, window_.size()), static_cast<std::uint64_t>(from));
  // One pass per read instead of one per line: text seldom holds a NUL.
  window_has_nul_ = window_size_ > 0 && std::memchr(window_.data(), '\0', window_size_) != nullptr;
  // Most files have no CR at all: their lines need only the search for LF.
  window_has_cr_ = window_size_ > 0 && std::memchr(window_.data(), '\r', window_size_) != nullptr;
}

bool ContextLines::Readable() {
  if (file_) return true;
  if (failed_) return false;
  auto file = std::make_unique<pattern::ReadOnlyFile>(native_path_, std::nothrow);
  if (!file->IsOpen()) {
    const int error = errno;
    failed_ = true;
    sink_.Unreadable(path_, pattern::SystemErrorText(error));
    return false;
  }
  if (encoding_ != FileEncoding::kCp932) {
    // A file in another encoding gives its context lines from its CP932 form, as it gave its
    // reported lines (whose offsets the scan left untold).
    try {
      file = std::make_unique<pattern::ReadOnlyFile>(pattern::DecodedFileFromStart(*file, encoding_, kLargeWindow));
    } catch (const pattern::EInOutError& e) {
      failed_ = true;
      sink_.Unreadable(path_, e.what());
      return false;
    }
  }
  file_ = std::move(file);
  window_.resize(kLargeWindow);
  return true;
}

}  // namespace tarn::search

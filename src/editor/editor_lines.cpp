#include "editor/editor_lines.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <system_error>

#include "core/data_file.h"
#include "core/sjis.h"

namespace tarn::editor {

namespace {

// Splits bytes into lines as a file is read: CR LF, CR or LF end a line, a CR LF split between
// two blocks is still one break. A 0x1A is text like any other byte, but one that is the very
// last byte read is the old end-of-text mark and is dropped.
class LineParser {
 public:
  void Feed(std::string_view block) {
    for (const char c : block) {
      if (endMark_) {  // a byte follows the 0x1A held back: it was text
        endMark_ = false;
        current_.push_back('\x1a');
        hasCurrent_ = true;
        afterCr_ = false;
      }
      if (c == '\x1a') {
        endMark_ = true;
        continue;
      }
      if (c == '\n' && afterCr_) {
        afterCr_ = false;
        continue;
      }
      afterCr_ = c == '\r';
      if (c == '\r' || c == '\n') {
        lines_.push_back({std::move(current_), TLineEnd::le_Break});
        current_.clear();
        hasCurrent_ = false;
      } else {
        current_.push_back(c);
        hasCurrent_ = true;
      }
    }
  }
  template <typename LineT>
  std::vector<LineT> Finish() {
    std::vector<LineT> out;
    out.reserve(lines_.size() + 1);
    for (auto& [text, end] : lines_) out.push_back({std::move(text), end});
    if (hasCurrent_) out.push_back({std::move(current_), TLineEnd::le_Eof});
    return out;
  }

 private:
  struct Parsed {
    std::string Text;
    TLineEnd End;
  };
  std::vector<Parsed> lines_;
  std::string current_;
  bool hasCurrent_ = false;
  bool afterCr_ = false;
  bool endMark_ = false;
};

}  // namespace

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> out(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out.emplace_back();
    } else {
      out.back().push_back(c);
    }
  }
  return out;
}

std::string_view TEditorLines::Get(int i) const noexcept {
  if (i < 0 || i >= Count()) return {};
  return lines_[static_cast<std::size_t>(i)].Text;
}

TLineEnd TEditorLines::EndType(int i) const noexcept {
  if (i < 0 || i >= Count()) return TLineEnd::le_Eof;
  return lines_[static_cast<std::size_t>(i)].End;
}

void TEditorLines::Changing(TChange c) {
  if (OnChanging) OnChanging(c);
}

void TEditorLines::Changed(TChange c) {
  length_ = -1;
  if (!Updating() && OnChanged) OnChanged(c);
}

void TEditorLines::Removing(int first, int count) {
  length_ = -1;
  if (count > 0 && OnRemoving) OnRemoving(first, count);
}

void TEditorLines::Inserted(int first, int count) {
  length_ = -1;
  if (count > 0 && OnInserted) OnInserted(first, count);
}

void TEditorLines::Add(std::string_view s) { Add(std::string(s)); }

void TEditorLines::Add(std::string&& s) {
  Changing(TChange::ch_Appended);
  TLineEnd end = TLineEnd::le_Eof;
  if (!lines_.empty()) {
    end = lines_.back().End == TLineEnd::le_Wrapped ? TLineEnd::le_Break : lines_.back().End;
    lines_.back().End = TLineEnd::le_Break;
  }
  lines_.push_back({std::move(s), end});
  Inserted(Count() - 1, 1);
  Changed(TChange::ch_Appended);
}

void TEditorLines::Insert(int i, std::string_view s) {
  if (i == Count()) return Add(s);
  if (i < 0 || i > Count()) return;
  Changing(TChange::ch_Program);
  lines_.insert(lines_.begin() + i, Line{std::string(s), TLineEnd::le_Break});
  Inserted(i, 1);
  Changed(TChange::ch_Program);
}

void TEditorLines::Delete(int i) {
  if (i < 0 || i >= Count()) return;
  Changing(TChange::ch_Program);
  Removing(i, 1);
  if (i == Count() - 1 && i > 0) lines_[static_cast<std::size_t>(i) - 1].End = lines_.back().End;
  lines_.erase(lines_.begin() + i);
  Changed(TChange::ch_Program);
}

void TEditorLines::Put(int i, std::string_view s) {
  if (i < 0 || i >= Count()) return;
  Changing(TChange::ch_Program);
  Removing(i, 1);
  lines_[static_cast<std::size_t>(i)].Text.assign(s);
  Inserted(i, 1);
  Changed(TChange::ch_Program);
}

void TEditorLines::Clear() {
  Changing(TChange::ch_Program);
  Removing(0, Count());
  lines_.clear();
  Changed(TChange::ch_Program);
}

void TEditorLines::EndUpdate() {
  if (updateCount_ == 0) return;
  if (--updateCount_ == 0 && OnChanged) OnChanged(TChange::ch_Program);
}

// Read whole through a close-on-exec descriptor, and only from a regular file: a program started
// meanwhile never holds it, and a FIFO in its place never blocks.
void TEditorLines::LoadFromFile(const std::filesystem::path& path) {
  std::error_code ec;
  const std::optional<std::string> bytes = ReadRegularFile(path, ec);
  if (!bytes) throw std::system_error(ec, path.string());
  SetText(*bytes);
}

void TEditorLines::LoadFromStream(std::istream& in, std::size_t blockSize) {
  LineParser parser;
  std::string block(std::max<std::size_t>(blockSize, 1), '\0');
  while (in) {
    in.read(block.data(), static_cast<std::streamsize>(block.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got == 0) break;
    parser.Feed(std::string_view(block.data(), got));
  }
  Changing(TChange::ch_Program);
  Removing(0, Count());
  lines_ = parser.Finish<Line>();
  Inserted(0, Count());
  Changed(TChange::ch_Program);
}

void TEditorLines::SetText(std::string_view bytes) {
  LineParser parser;
  parser.Feed(bytes);
  Changing(TChange::ch_Program);
  Removing(0, Count());
  lines_ = parser.Finish<Line>();
  Inserted(0, Count());
  Changed(TChange::ch_Program);
}

std::string TEditorLines::Text() const {
  std::string out;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    out += lines_[i].Text;
    const bool last = i + 1 == lines_.size();
    if (lines_[i].End == TLineEnd::le_Break || (lines_[i].End == TLineEnd::le_Eof && !last)) out += "\r\n";
  }
  return out;
}

void TEditorLines::SaveToFile(const std::filesystem::path& path) const {
  errno = 0;
  if (!ReplaceFile(path, Text())) throw std::system_error(errno ? errno : EIO, std::generic_category(), path.string());
}

int TEditorLines::RowCount() const noexcept {
  if (lines_.empty() || lines_.back().End == TLineEnd::le_Break) return Count() + 1;
  return Count();
}

int TEditorLines::EndLength(int row) const noexcept {
  if (row < 0 || row >= Count()) return 0;
  const auto& line = lines_[static_cast<std::size_t>(row)];
  if (line.End == TLineEnd::le_Break) return 2;
  return line.End == TLineEnd::le_Eof && row + 1 < Count() ? 2 : 0;
}

std::int64_t TEditorLines::TextLength() const noexcept {
  if (length_ < 0) {
    length_ = 0;
    for (int r = 0; r < Count(); ++r) length_ += static_cast<std::int64_t>(Get(r).size()) + EndLength(r);
  }
  return length_;
}

TEditorPos TEditorLines::Clamp(TEditorPos pos) const noexcept {
  pos.Row = std::clamp(pos.Row, 0, RowCount() - 1);
  pos.Byte = std::clamp(pos.Byte, 0, static_cast<int>(Get(pos.Row).size()));
  return pos;
}

std::int64_t TEditorLines::OffsetOf(TEditorPos pos) const noexcept {
  pos = Clamp(pos);
  std::int64_t n = 0;
  if (pos.Row > Count() / 2) {
    n = TextLength();
    for (int r = pos.Row; r < Count(); ++r) n -= static_cast<std::int64_t>(Get(r).size()) + EndLength(r);
  } else {
    for (int r = 0; r < pos.Row; ++r) n += static_cast<std::int64_t>(Get(r).size()) + EndLength(r);
  }
  return n + pos.Byte;
}

TEditorPos TEditorLines::EndPos() const noexcept {
  if (RowCount() > Count()) return {Count(), 0};
  return {Count() - 1, static_cast<int>(lines_.back().Text.size())};
}

std::pair<int, std::int64_t> TEditorLines::LineAt(std::int64_t offset) const noexcept {
  const std::int64_t total = TextLength();
  if (offset <= total / 2) {
    std::int64_t start = 0;
    for (int r = 0; r < Count(); ++r) {
      const auto len = static_cast<std::int64_t>(Get(r).size());
      if (offset <= start + len) return {r, start};
      start += len + EndLength(r);
    }
    return {Count(), start};
  }
  // The lines that reach offset are all those from the first one on: step back while the one
  // before still does.
  int r = Count();
  std::int64_t start = total;
  while (r > 0) {
    const auto len = static_cast<std::int64_t>(Get(r - 1).size());
    const std::int64_t before = start - len - EndLength(r - 1);
    if (offset > before + len) break;
    --r;
    start = before;
  }
  return {r, start};
}

TEditorPos TEditorLines::PosOf(std::int64_t offset, bool roundUp) const noexcept {
  if (offset <= 0) return {0, 0};
  const auto [r, start] = LineAt(offset);
  if (offset < start) {
    // Inside the line break of the line before.
    return roundUp ? TEditorPos{r, 0} : TEditorPos{r - 1, static_cast<int>(Get(r - 1).size())};
  }
  if (r == Count()) return EndPos();
  const std::string_view s = Get(r);
  auto byte = static_cast<std::size_t>(offset - start);
  if (byte < s.size() && !IsCharBoundary(s, byte)) byte = roundUp ? byte + 1 : byte - 1;
  return {r, static_cast<int>(byte)};
}

std::string TEditorLines::TextRange(TEditorPos a, TEditorPos b) const {
  a = Clamp(a);
  b = Clamp(b);
  if (b < a) std::swap(a, b);
  std::string out;
  for (int r = a.Row; r <= b.Row; ++r) {
    const std::string_view s = Get(r);
    const std::size_t from = r == a.Row ? static_cast<std::size_t>(a.Byte) : 0;
    const std::size_t to = r == b.Row ? static_cast<std::size_t>(b.Byte) : s.size();
    out.append(s.substr(from, to - from));
    if (r < b.Row && EndLength(r) == 2) out += "\r\n";
  }
  return out;
}

TEditorPos TEditorLines::PosAfter(TEditorPos pos, std::string_view text) noexcept {
  const auto segs = SplitLines(text);
  if (segs.size() == 1) return {pos.Row, pos.Byte + static_cast<int>(segs[0].size())};
  return {pos.Row + static_cast<int>(segs.size()) - 1, static_cast<int>(segs.back().size())};
}

TEditorPos TEditorLines::Replace(TEditorPos a, TEditorPos b, std::string_view text) {
  a = Clamp(a);
  b = Clamp(b);
  if (b < a) std::swap(a, b);
  if (b.Row == Count()) {
    // The empty row after a final line break becomes a real line.
    lines_.push_back({std::string(), TLineEnd::le_Eof});
    Inserted(Count() - 1, 1);
  }
  const auto first = static_cast<std::size_t>(a.Row);
  const auto last = static_cast<std::size_t>(b.Row);
  const std::string prefix = lines_[first].Text.substr(0, static_cast<std::size_t>(a.Byte));
  const std::string suffix = lines_[last].Text.substr(static_cast<std::size_t>(b.Byte));
  const TLineEnd lastEnd = lines_[last].End;

  auto segs = SplitLines(text);
  std::vector<Line> fresh;
  fresh.reserve(segs.size());
  for (auto& seg : segs) fresh.push_back({std::move(seg), TLineEnd::le_Break});
  fresh.front().Text.insert(0, prefix);
  fresh.back().Text += suffix;
  fresh.back().End = lastEnd;

  Removing(a.Row, b.Row - a.Row + 1);
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(first), lines_.begin() + static_cast<std::ptrdiff_t>(last) + 1);
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(first), std::make_move_iterator(fresh.begin()),
                std::make_move_iterator(fresh.end()));
  Inserted(a.Row, static_cast<int>(fresh.size()));
  // An empty last line after a line break is the same text as no line there.
  if (!lines_.empty() && lines_.back().Text.empty() && lines_.back().End == TLineEnd::le_Eof &&
      (lines_.size() == 1 || lines_[lines_.size() - 2].End == TLineEnd::le_Break)) {
    Removing(Count() - 1, 1);
    lines_.pop_back();
  }
  Changed(TChange::ch_Edit);
  return PosAfter(a, text);
}

}  // namespace tarn::editor

#include "search/preview_text.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <new>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/system_text.h"
#include "pattern/decoded_file.h"
#include "pattern/read_only_file.h"
#include "pattern/txt_file.h"

namespace tarn::search {
namespace {

// What one read of the file takes: the lines around a hit seldom need a second one.
constexpr std::size_t kWindowBytes = 256 * 1024;
// How far the lines before and after the requested one may reach: a window of very long lines
// is shown shorter rather than read whole.
constexpr std::int64_t kMaxBackBytes = 8 << 20;
constexpr std::int64_t kMaxAfterBytes = 8 << 20;
// Bytes converted at a time for a file in another encoding.
constexpr std::size_t kDecodeBlock = 1 << 20;

// 0x80 in every byte of x that is 0, nothing elsewhere (exact, without borrows between bytes).
std::uint64_t ZeroBytes(std::uint64_t x) noexcept {
  constexpr std::uint64_t k7f = 0x7F7F7F7F7F7F7F7FULL;
  return ~(((x & k7f) + k7f) | x | k7f);
}

// 0x80 in every byte of the eight at p that is c.
std::uint64_t BytesEqual(const char* p, unsigned char c) noexcept {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return ZeroBytes(word ^ (0x0101010101010101ULL * c));
}

// Goes on through [p, p + n) until `passed` LFs reach `wanted`: the offset after the LF that does
// it, or n with passed raised by the LFs of the whole stretch. Counting line ends is what a row
// near the end of a large file waits for, so sixty-four bytes are counted at a time (SSE2 is part
// of every x86-64 processor) and only the block holding the wanted LF is looked into.
std::size_t PassLfs(const char* p, std::size_t n, std::int64_t wanted, std::int64_t& passed) noexcept {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i zero = _mm_setzero_si128();
  auto equal = [&](std::size_t at) { return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at)), lf); };
  for (; i + 64 <= n && passed < wanted; i += 64) {
    const __m128i a = equal(i), b = equal(i + 16), c = equal(i + 32), d = equal(i + 48);
    // A match is -1 in its byte: the bytes of the negated sum count 0-4 matches, and the sums of
    // absolute differences add up each half.
    const __m128i per_byte = _mm_sub_epi8(zero, _mm_add_epi8(_mm_add_epi8(a, b), _mm_add_epi8(c, d)));
    const __m128i halves = _mm_sad_epu8(per_byte, zero);
    const int count = _mm_cvtsi128_si32(halves) + _mm_extract_epi16(halves, 4);
    if (passed + count < wanted) {
      passed += count;
      continue;
    }
    std::uint64_t mask = static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(a))) |
                         static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(b))) << 16 |
                         static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(c))) << 32 |
                         static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(d))) << 48;
    for (; passed + 1 < wanted; ++passed) mask &= mask - 1;
    ++passed;
    return i + static_cast<std::size_t>(std::countr_zero(mask)) + 1;
  }
#endif
  for (; i < n; ++i)
    if (p[i] == '\n' && ++passed == wanted) return i + 1;
  return n;
}

// A CR in [p, p + n) that is not followed by an LF; a CR at the end counts, its LF unseen.
bool HasLoneCr(const char* p, std::size_t n) noexcept {
  std::size_t i = 0;
#if defined(__SSE2__)
  // Files with CR LF ends look through every window they are counted in: sixty-four bytes at a
  // time, each CR against the byte after it.
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i lf = _mm_set1_epi8('\n');
  auto lone = [&](std::size_t at) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at + 1));
    return _mm_andnot_si128(_mm_cmpeq_epi8(next, lf), _mm_cmpeq_epi8(here, cr));
  };
  for (; i + 65 <= n; i += 64) {
    const __m128i any = _mm_or_si128(_mm_or_si128(lone(i), lone(i + 16)), _mm_or_si128(lone(i + 32), lone(i + 48)));
    if (_mm_movemask_epi8(any) != 0) return true;
  }
#endif
  for (; i + 9 <= n; i += 8)
    if ((BytesEqual(p + i, '\r') & ~BytesEqual(p + i + 1, '\n')) != 0) return true;
  for (; i + 1 < n; ++i)
    if (p[i] == '\r' && p[i + 1] != '\n') return true;
  return n > 0 && p[n - 1] == '\r';
}

// The bytes of an open file through a window, and its lines as the search ends them.
class FileBytes {
 public:
  FileBytes(const pattern::ReadOnlyFile& file, std::int64_t size) : file_(file), size_(size) {}

  std::int64_t Size() const noexcept { return size_; }

  // The bytes from pos to the end of the window holding it; empty at the end of the file.
  std::string_view Ahead(std::int64_t pos) {
    if (pos < from_ || pos >= from_ + static_cast<std::int64_t>(count_)) {
      if (pos < 0 || pos >= size_) return {};
      Load(pos);
      if (pos >= from_ + static_cast<std::int64_t>(count_)) return {};  // the file shrank
    }
    const auto skip = static_cast<std::size_t>(pos - from_);
    return {window_.data() + skip, count_ - skip};
  }

  // The first CR or LF at or after pos; the end of the file when there is none.
  std::int64_t LineEnd(std::int64_t pos) {
    for (;;) {
      const std::string_view w = Ahead(pos);
      if (w.empty()) return std::max(pos, size_);
      std::size_t end = w.size();
      if (const void* lf = std::memchr(w.data(), '\n', end)) end = static_cast<std::size_t>(static_cast<const char*>(lf) - w.data());
      if (has_cr_) {
        // The next CR is kept, so that lines ended by LF alone do not look for one line after line.
        if (!(cr_from_ <= pos && pos <= cr_at_)) {
          const void* cr = std::memchr(w.data(), '\r', w.size());
          cr_from_ = pos;
          cr_at_ = pos + static_cast<std::int64_t>(cr ? static_cast<const char*>(cr) - w.data() : w.size());
        }
        end = std::min(end, static_cast<std::size_t>(cr_at_ - pos));
      }
      if (end < w.size()) return pos + static_cast<std::int64_t>(end);
      pos += static_cast<std::int64_t>(w.size());
    }
  }

  // Moves pos (a line start) over up to `lines` lines while each ends with an LF (alone or after a
  // CR); how many lines it passed.
  std::int64_t SkipPlainLines(std::int64_t& pos, std::int64_t lines) {
    std::int64_t passed = 0;
    while (passed < lines) {
      const std::string_view w = Ahead(pos);
      if (w.empty() || !LfEnds()) break;
      pos += static_cast<std::int64_t>(PassLfs(w.data(), w.size(), lines, passed));
    }
    return passed;
  }

  // Where the line after the line end at `end` starts; -1 when the file ends with it.
  std::int64_t NextStart(std::int64_t end) {
    if (end >= size_) return -1;
    std::int64_t next = end + 1;
    if (ByteAt(end) == '\r' && next < size_ && ByteAt(next) == '\n') ++next;
    return next < size_ ? next : -1;
  }

  // Whether a line starts at pos: the start of the file, or after a line end.
  bool LineStartsAt(std::int64_t pos) {
    if (pos == 0) return true;
    if (pos < 0 || pos >= size_) return false;
    const char before = ByteAt(pos - 1);
    return before == '\n' || (before == '\r' && ByteAt(pos) != '\n');
  }

  // Where the line before the one starting at pos (> 0) starts; -1 when that lies more than
  // `limit` bytes back.
  std::int64_t StartBefore(std::int64_t pos, std::int64_t limit) {
    std::int64_t end = pos - 1;
    if (end > 0 && ByteAt(end) == '\n' && ByteAt(end - 1) == '\r') --end;
    for (std::int64_t at = end; at > 0;) {
      if (pos - at > limit) return -1;
      // A window that ends at `at` serves the lines before it from then on.
      if (!(from_ < at && at <= from_ + static_cast<std::int64_t>(count_)))
        Load(std::max<std::int64_t>(0, at - static_cast<std::int64_t>(kWindowBytes)));
      if (!(from_ < at && at <= from_ + static_cast<std::int64_t>(count_))) return 0;  // the file shrank
      const auto n = static_cast<std::size_t>(at - from_);
      const void* lf = memrchr(window_.data(), '\n', n);
      const void* cr = has_cr_ ? memrchr(window_.data(), '\r', n) : nullptr;
      const char* last = std::max(static_cast<const char*>(lf), static_cast<const char*>(cr));
      if (last != nullptr) return from_ + (last - window_.data()) + 1;
      at = from_;
    }
    return 0;
  }

  // Bytes [from, to) of the file, at most max of them, NUL read as a blank.
  void Copy(std::int64_t from, std::int64_t to, std::size_t max, std::string& out) {
    out.clear();
    to = std::min(to, from + static_cast<std::int64_t>(max));
    while (from < to) {
      const std::string_view w = Ahead(from);
      if (w.empty()) break;
      const auto n = static_cast<std::size_t>(std::min<std::int64_t>(to - from, static_cast<std::int64_t>(w.size())));
      out.append(w.data(), n);
      from += static_cast<std::int64_t>(n);
    }
    std::replace(out.begin(), out.end(), '\0', ' ');
  }

 private:
  char ByteAt(std::int64_t pos) {
    const std::string_view w = Ahead(pos);
    return w.empty() ? '\0' : w.front();
  }

  bool LfEnds() {
    if (lf_ends_ < 0) lf_ends_ = HasLoneCr(window_.data(), count_) ? 0 : 1;
    return lf_ends_ == 1;
  }

  void Load(std::int64_t from) {
    window_.resize(kWindowBytes);
    from_ = from;
    count_ = 0;
    count_ = file_.ReadAt(window_.data(), window_.size(), static_cast<std::uint64_t>(from));
    // Most files have no CR at all; their lines need only the search for LF.
    has_cr_ = std::memchr(window_.data(), '\r', count_) != nullptr;
    cr_from_ = cr_at_ = -1;
    lf_ends_ = has_cr_ ? -1 : 1;
  }

  const pattern::ReadOnlyFile& file_;
  const std::int64_t size_;
  std::vector<char> window_;
  std::int64_t from_ = 0;
  std::size_t count_ = 0;
  bool has_cr_ = false;
  // Every line end of the window is an LF, none a lone CR: 1 yes, 0 no, -1 not yet known.
  int lf_ends_ = -1;
  // The window has no CR in [cr_from_, cr_at_), and cr_at_ is one or the window's end.
  std::int64_t cr_from_ = -1;
  std::int64_t cr_at_ = -1;
};

}  // namespace

const std::string* TPreviewText::Line(std::int32_t line_no) const {
  if (line_no < FirstLineNo || line_no - FirstLineNo >= static_cast<std::int64_t>(Lines.size())) return nullptr;
  return &Lines[static_cast<std::size_t>(line_no - FirstLineNo)];
}

TPreviewText TPreviewReader::Read(const TPreviewRequest& request) {
  TPreviewText result;
  pattern::ReadOnlyFile opened(request.NativePath, std::nothrow);
  struct stat st {};
  int error = 0;
  if (!opened.IsOpen() || fstat(opened.Descriptor(), &st) != 0)
    error = errno;
  else if (!S_ISREG(st.st_mode))
    error = EISDIR;  // a folder or a device by the name of the file that was searched
  if (error != 0) {
    result.Problem = error == ENOENT || error == ENOTDIR ? TPreviewProblem::kGone : TPreviewProblem::kUnreadable;
    result.Reason = pattern::SystemErrorText(error);
    return result;
  }
  // A file in another encoding is shown from its CP932 form, as the search read it. The line
  // starts kept for it stay tied to the file itself (its identity and time), with the size of
  // that form.
  std::optional<pattern::ReadOnlyFile> decoded;
  if (request.Encoding != FileEncoding::kCp932) {
    struct stat converted {};
    try {
      decoded.emplace(pattern::DecodedFileFromStart(opened, request.Encoding, kDecodeBlock));
      if (fstat(decoded->Descriptor(), &converted) != 0) throw pattern::EInOutError(pattern::SystemErrorText(errno));
    } catch (const pattern::EInOutError& e) {
      result.Problem = TPreviewProblem::kUnreadable;
      result.Reason = e.what();
      return result;
    }
    st.st_size = converted.st_size;
  }
  const pattern::ReadOnlyFile& file = decoded ? *decoded : opened;
  const std::int32_t n = request.LineNo;
  if (n < 1) {
    result.Problem = TPreviewProblem::kChanged;
    return result;
  }
  try {
    FileBytes bytes(file, static_cast<std::int64_t>(st.st_size));
    const std::int32_t wanted_first = std::max(1, n - std::max(0, request.Before));
    std::int32_t line = n;
    std::int64_t pos = -1;
    if (request.Offset >= 0 && (request.Offset > 0 || n == 1) && bytes.LineStartsAt(request.Offset)) {
      // Back from the line the search placed, as far as the window reaches.
      pos = request.Offset;
      while (line > wanted_first) {
        const std::int64_t before = bytes.StartBefore(pos, kMaxBackBytes - (request.Offset - pos));
        if (before < 0) break;
        pos = before;
        --line;
      }
    } else {
      // On from the nearest known line start of the file.
      auto at = std::find_if(index_.begin(), index_.end(), [&](const FileIndex& f) { return f.NativePath == request.NativePath; });
      if (at == index_.end()) {
        index_.emplace_front();
        index_.front().NativePath = request.NativePath;
        if (index_.size() > kIndexedFiles) index_.pop_back();
      } else {
        index_.splice(index_.begin(), index_, at);
      }
      FileIndex& index = index_.front();
      const std::int64_t modified = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
      if (index.Device != st.st_dev || index.Inode != st.st_ino || index.Size != st.st_size || index.ModifiedNs != modified ||
          index.Starts.empty()) {
        index.Device = st.st_dev;
        index.Inode = st.st_ino;
        index.Size = st.st_size;
        index.ModifiedNs = modified;
        index.Starts.assign(1, 0);
      }
      const std::size_t k = std::min(static_cast<std::size_t>((wanted_first - 1) / kIndexStep), index.Starts.size() - 1);
      line = static_cast<std::int32_t>(k) * kIndexStep + 1;
      pos = index.Starts[k];
      while (line < wanted_first && pos >= 0) {
        // On to the next line whose start the index keeps, or to the wanted one.
        const std::int32_t goal = std::min(wanted_first, ((line - 1) / kIndexStep + 1) * kIndexStep + 1);
        line += static_cast<std::int32_t>(bytes.SkipPlainLines(pos, goal - line));
        if (pos >= bytes.Size()) pos = -1;
        if (line < goal && pos >= 0) {
          pos = bytes.NextStart(bytes.LineEnd(pos));
          ++line;
        }
        if ((line - 1) % kIndexStep == 0 && static_cast<std::size_t>((line - 1) / kIndexStep) == index.Starts.size() && pos >= 0)
          index.Starts.push_back(pos);
      }
    }
    result.FirstLineNo = line;
    const std::int64_t last = std::int64_t{n} + std::max(0, request.After);
    std::int64_t after_end = -1;  // where the requested line ends
    while (pos >= 0 && pos < bytes.Size() && line <= last) {
      if (after_end >= 0 && pos - after_end > kMaxAfterBytes) break;
      const std::int64_t end = bytes.LineEnd(pos);
      bytes.Copy(pos, end, kMaxLineBytes, result.Lines.emplace_back());
      if (line == n) {
        result.LineCut = end - pos > static_cast<std::int64_t>(kMaxLineBytes);
        after_end = end;
      }
      pos = bytes.NextStart(end);
      ++line;
    }
  } catch (const pattern::EInOutError& e) {
    result = {};
    result.Problem = TPreviewProblem::kUnreadable;
    result.Reason = e.what();
    return result;
  }
  if (result.Line(n) == nullptr) {
    result.Lines.clear();
    result.Problem = TPreviewProblem::kChanged;
  }
  return result;
}

std::optional<std::size_t> HitInFileLine(std::string_view row, const ResultLineInfoFields& fields,
                                         std::string_view line, bool cut) {
  for (const int type : {kResultFullPath, kResultFileName, kResultLineOnly}) {
    const std::string head = ResultLinePrefix(type, fields.FileName, fields.LineNo);
    if (!row.starts_with(head)) continue;
    const std::string_view text = row.substr(head.size());
    if (cut ? !text.starts_with(line) : text != line) continue;
    if (fields.HitLen <= 0) return 0;
    if (fields.HitPos < 1 || static_cast<std::size_t>(fields.HitPos - 1) < head.size()) continue;
    const std::size_t start = static_cast<std::size_t>(fields.HitPos - 1) - head.size();
    if (start > text.size() || text.substr(start, static_cast<std::size_t>(fields.HitLen)) != fields.HitText) continue;
    return start;
  }
  return std::nullopt;
}

TRowPreview PreviewRow(TPreviewReader& reader, std::string_view row, std::string_view info, std::int64_t offset,
                       std::int32_t before, std::int32_t after) {
  TRowPreview preview;
  const std::optional<ResultLineInfoFields> fields = ParseResultLineInfo(info);
  if (!fields || fields->LineNo < 1) {
    preview.Text.Problem = TPreviewProblem::kChanged;
    return preview;
  }
  preview.FileName = fields->FileName;
  preview.HitLineNo = fields->LineNo;
  preview.Text = reader.Read({fields->NativeFileName, fields->LineNo, offset, before, after, fields->Encoding});
  if (preview.Text.Problem != TPreviewProblem::kNone) return preview;
  const std::optional<std::size_t> hit =
      HitInFileLine(row, *fields, *preview.Text.Line(fields->LineNo), preview.Text.LineCut);
  if (!hit) {
    preview.Text.Lines.clear();
    preview.Text.Problem = TPreviewProblem::kChanged;
    return preview;
  }
  preview.HitStart = *hit;
  preview.HitLength = static_cast<std::size_t>(std::max(0, fields->HitLen));
  return preview;
}

std::string PreviewProblemText(const TRowPreview& preview) {
  switch (preview.Text.Problem) {
    case TPreviewProblem::kNone:
      return {};
    case TPreviewProblem::kGone:
      return SystemText("ファイルが見つかりません: ") + preview.FileName;
    case TPreviewProblem::kUnreadable:
      return SystemText("ファイルを読めません: ") + preview.FileName + " (" + preview.Text.Reason + ")";
    case TPreviewProblem::kChanged:
      break;
  }
  if (preview.FileName.empty()) return SystemText("この行はファイルの位置を持っていません。");
  return SystemText("検索の後でファイルが変更されたため表示できません: ") + preview.FileName;
}

}  // namespace tarn::search

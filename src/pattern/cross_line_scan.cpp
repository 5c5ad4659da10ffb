#include "pattern/cross_line_scan.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <set>
#include <sys/stat.h>

#include "pattern/read_only_file.h"

namespace tarn::pattern {
namespace {

constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
// Bytes read behind a block, so that a character and the line end after it can be read whole.
constexpr std::size_t kBehind = 2;
// Room for the supplied line end and the zeros that end the stream.
constexpr std::size_t kSlack = 8;

bool IsLineEndByte(unsigned char b) noexcept { return b == '\n' || b == '\r'; }

}  // namespace

// One block of the character stream: the file's bytes from a block boundary (NULs read as
// spaces), the two bytes after the block, and where the file ends, the supplied line end and
// zeros. Offsets are file offsets; the line feed in front of the file has none.
struct StreamWindow {
  std::vector<unsigned char> bytes;
  std::uint64_t from = 0;
  std::uint64_t end = 0;  // offsets in [from, end) are characters' first bytes this window can read
  bool Holds(std::uint64_t offset) const noexcept { return offset >= from && offset < end; }
  const unsigned char* At(std::uint64_t offset) const noexcept { return bytes.data() + (offset - from); }
};

class CrossLineFileScan {
 public:
  CrossLineFileScan(TCrossLineScan& owner, const ReadOnlyFile& file, std::size_t block_size, const bool& cancel,
                    const std::function<void()>& pump, const TCrossLineScan::Report& report)
      : owner_(owner), file_(file), block_(block_size), cancel_(cancel), pump_(pump), report_(report) {
    main_.bytes.assign(block_ + kBehind + kSlack, 0);
    ahead_.bytes.assign(block_ + kBehind + kSlack, 0);
    owner_.held_buffer_bytes_ = main_.bytes.size() + ahead_.bytes.size();
  }

  void Run() {
    // Every line begins with the character that ends the line before it (the line feed in front
    // of the file for the first): a line end, or a lead byte that takes the line end as its trail
    // byte. After a reported line it is the line end alone, where the reported line stopped.
    std::uint64_t line = 0;
    std::uint32_t line_no = 1;
    RE_Char_t first = '\n';
    while (FetchMain(line)) {
      // A reported line goes on from its line end, which the loop below takes as such.
      std::uint64_t x = TryStart(first, line) ? ReportLine(line_no, line, line) : line;
      first = '\n';
      std::uint64_t next_line;
      for (;;) {
        if (!FetchMain(x)) return;  // the file shrank while it was read
        const unsigned char* p = main_.At(x);
        const unsigned char b = p[0];
        if (IsLineEndByte(b)) {
          next_line = x + LineEndLength(p, x);
          break;
        }
        RE_Char_t code = b;
        std::size_t length = 1;
        if (IsLeadByte(b)) {
          if (IsLineEndByte(p[1])) {
            // The start cursor takes the line end (CR LF as one) as this character's trail byte.
            next_line = x + 1 + LineEndLength(p + 1, x + 1);
            first = static_cast<RE_Char_t>(b << 8 | '\n');
            break;
          }
          code = static_cast<RE_Char_t>(b << 8 | p[1]);
          length = 2;
        }
        x += length;
        // After a reported line the next begins with the line end where the line stopped.
        if (owner_.MayStart(code) && TryStart(code, x)) x = ReportLine(line_no, line, x);
      }
      line = next_line;
      ++line_no;
    }
  }

 private:
  using Outcome = TCrossLineScan::Outcome;

  // The look-ahead cursor reads a CR that is a trail byte as it stands, but rewrites a lone CR
  // after it into LF; from then on the start cursor takes the two as one CR LF line end. Such
  // rewrites ahead of the start are remembered until the start reaches them.
  void NoteRewrittenCr(std::uint64_t offset) { rewritten_crs_.insert(offset); }

  // Bytes of the line end at p (offset at): 2 for CR LF, also for a CR whose lone CR after it
  // was rewritten, else 1.
  std::size_t LineEndLength(const unsigned char* p, std::uint64_t at) {
    if (p[0] != '\r') return 1;
    if (p[1] == '\n') return 2;
    if (rewritten_crs_.empty()) return 1;
    rewritten_crs_.erase(rewritten_crs_.begin(), rewritten_crs_.lower_bound(at + 1));
    const bool rewritten = p[1] == '\r' && !rewritten_crs_.empty() && *rewritten_crs_.begin() == at + 1;
    if (!rewritten) return 1;
    // The start cursor looks for the LF in the block (or the carried-over text) that holds the
    // first CR. When that CR ends one of the reader's blocks, it sees the rewritten CR only once
    // a look-ahead has crossed the end of the next block too, which carries that block over.
    if (!EndsReadersBlock(at)) return 2;
    const std::uint64_t next_end = ReadersBlockEnd(at + 1);
    unsigned char more = 0;
    return read_end_ >= next_end && file_.ReadAt(&more, 1, next_end) == 1 ? 2 : 1;
  }

  // One past the last byte of the reader's (TTxtFile's) block that begins at from: blocks are
  // block_ bytes, one longer where an LF after a CR at the block's end joins it.
  std::uint64_t ReadersBlockEnd(std::uint64_t from) const {
    std::uint64_t end = from + block_;
    unsigned char pair[2] = {0, 0};
    if (file_.ReadAt(pair, 2, end - 1) == 2 && pair[0] == '\r' && pair[1] == '\n') ++end;
    return end;
  }

  // True when offset is the last byte of one of the reader's blocks.
  bool EndsReadersBlock(std::uint64_t offset) {
    for (;;) {
      const std::uint64_t next = ReadersBlockEnd(readers_block_);
      if (next > offset + 1) return false;
      if (next == offset + 1) return true;
      readers_block_ = next;
    }
  }

  // Loads the block holding offset into a window; false at or past the end of the stream.
  bool Fetch(StreamWindow& window, std::uint64_t offset) {
    if (size_known_ && offset >= stream_end_) return false;
    const std::uint64_t from = offset / block_ * block_;
    std::size_t want = block_ + kBehind;
    if (size_known_) want = static_cast<std::size_t>(std::min<std::uint64_t>(want, file_size_ - std::min(file_size_, from)));
    unsigned char* data = window.bytes.data();
    const std::size_t got = file_.ReadAt(data, want, from);
    if (!size_known_ && got < block_ + kBehind) {
      size_known_ = true;
      file_size_ = from + got;
      unsigned char last = got > 0 ? data[got - 1] : '\n';
      if (got == 0 && file_size_ > 0) file_.ReadAt(&last, 1, file_size_ - 1);
      stream_end_ = file_size_ + (file_size_ > 0 && last != '\n' ? 1 : 0);
    }
    for (std::size_t i = 0; i < got; ++i)
      if (data[i] == 0) data[i] = ' ';
    std::fill(data + got, data + window.bytes.size(), 0);
    if (size_known_ && stream_end_ > file_size_ && file_size_ >= from && file_size_ - from < window.bytes.size())
      data[file_size_ - from] = '\n';
    window.from = from;
    window.end = from + block_;
    if (size_known_) window.end = std::min(window.end, stream_end_);
    if (offset >= window.end) return false;  // an empty file, or one that shrank
    if (pump_) pump_();
    if (cancel_) throw EGrepCancel();
    return true;
  }

  bool FetchMain(std::uint64_t offset) {
    if (main_.Holds(offset)) return true;
    if (ahead_.Holds(offset)) {
      std::swap(main_, ahead_);
      return true;
    }
    return Fetch(main_, offset);
  }

  // The window a run reads offset from; null past the end of the stream.
  const StreamWindow* AheadWindow(std::uint64_t offset) {
    if (main_.Holds(offset)) return &main_;
    if (ahead_.Holds(offset)) return &ahead_;
    return Fetch(ahead_, offset) ? &ahead_ : nullptr;
  }

  // Runs the automaton from a start character whose continuation begins at offset: true when it
  // reaches an accepting state.
  bool TryStart(RE_Char_t code, std::uint64_t offset) {
    RE_DFAState state = owner_.Step(dfa().InitialState(), code);
    if (state == kNoState) return false;
    if (owner_.accepting_[state]) return true;
    std::vector<TCrossLineScan::PathPiece>& path = owner_.path_;
    path.clear();
    sparse_seen_ = 0;
    stride_ = 1;
    const std::uint64_t start = offset;
    std::uint64_t piece_from = offset;
    std::uint64_t next_record = 0;
    const StreamWindow* window = nullptr;
    bool accepts = false;
    bool after_trail_cr = false;
    for (;;) {
      if (owner_.accepting_[state]) {
        accepts = true;
        break;
      }
      if (offset >= next_record) {
        const Outcome known = owner_.Recorded(state, offset, next_record);
        if (known != Outcome::kUnknown) {
          accepts = known == Outcome::kAccepts;
          if (offset > piece_from) AddPiece(state, piece_from, offset - 1);
          read_end_ = std::max(read_end_, offset);
          Record(accepts, start);
          return accepts;
        }
      }
      if (window == nullptr || !window->Holds(offset)) {
        window = AheadWindow(offset);
        if (window == nullptr) {
          accepts = owner_.AcceptsAtEnd(state);
          break;
        }
      }
      // The look-ahead cursor's reading: CR LF or a lone CR is one line feed, a lead byte takes
      // the next byte as it stands (a CR too).
      const unsigned char* p = window->At(offset);
      RE_Char_t code = p[0];
      std::size_t length = 1;
      if (code == '\r') {
        code = '\n';
        if (p[1] == '\n')
          length = 2;
        else if (after_trail_cr)
          NoteRewrittenCr(offset);
        after_trail_cr = false;
      } else if (IsLeadByte(p[0])) {
        code = static_cast<RE_Char_t>(p[0] << 8 | p[1]);
        length = 2;
        after_trail_cr = p[1] == '\r';
      } else {
        after_trail_cr = false;
      }
      ++owner_.step_count_;
      const RE_DFAState next = owner_.Step(state, code);
      if (next == kNoState) {
        read_end_ = std::max(read_end_, offset + length);
        break;
      }
      if (next != state) {
        AddPiece(state, piece_from, offset);
        piece_from = offset + length;
        state = next;
        next_record = 0;
      }
      offset += length;
    }
    read_end_ = std::max(read_end_, offset);
    AddPiece(state, piece_from, offset);
    Record(accepts, start);
    return accepts;
  }

  // A run with very many state changes keeps its first pieces, where the next runs start, and
  // beyond them every stride-th piece, the stride doubling as the run goes on: a later run that
  // passes the first pieces then goes no further than the next kept piece to meet the path.
  void AddPiece(RE_DFAState state, std::uint64_t from, std::uint64_t to) {
    auto& path = owner_.path_;
    const std::size_t dense = owner_.max_records_ / 2;
    if (path.size() < dense) {
      path.push_back({state, from, to});
      return;
    }
    if (++sparse_seen_ % stride_ != 0) return;
    path.push_back({state, from, to});
    if (path.size() - dense > owner_.max_records_ / 4) {
      std::size_t kept = dense;
      for (std::size_t i = dense + 1; i < path.size(); i += 2) path[kept++] = path[i];
      path.resize(kept);
      stride_ *= 2;
    }
  }
  void Record(bool accepts, std::uint64_t floor) { owner_.Record(owner_.path_, accepts, floor); }

  // Reports the line that begins at line, with the start cursor at cursor; returns the offset of
  // the line end where the start cursor stops.
  std::uint64_t ReportLine(std::uint32_t line_no, std::uint64_t line, std::uint64_t cursor) {
    std::uint64_t end = cursor;
    for (;;) {
      if (!FetchMain(end)) break;
      const unsigned char* p = main_.At(end);
      const std::size_t available = static_cast<std::size_t>(main_.end - end);
      const auto* stop = std::find_if(p, p + available, IsLineEndByte);
      end += static_cast<std::uint64_t>(stop - p);
      if (stop != p + available) break;
    }
    if (pump_) pump_();
    if (cancel_) throw EGrepCancel();
    RE_LineInfo_t info;
    // The line's bytes lie in the file (a supplied line end comes after them); a line that began
    // in an earlier block is read again.
    if (line >= main_.from && end <= main_.end) {
      const auto* text = reinterpret_cast<const char*>(main_.At(line));
      info.Line.assign(text, static_cast<std::size_t>(end - line));
    } else {
      info.Line.resize(static_cast<std::size_t>(end - line));
      auto* text = reinterpret_cast<unsigned char*>(info.Line.data());
      info.Line.resize(file_.ReadAt(text, info.Line.size(), line));
      std::replace(info.Line.begin(), info.Line.end(), '\0', ' ');
    }
    info.LineNo = static_cast<std::int32_t>(line_no);
    info.Offset = static_cast<std::int64_t>(line);
    report_(std::move(info));
    return end;
  }

  const TRE_DFA& dfa() const noexcept { return owner_.dfa_; }

  TCrossLineScan& owner_;
  const ReadOnlyFile& file_;
  std::size_t block_;
  const bool& cancel_;
  const std::function<void()>& pump_;
  const TCrossLineScan::Report& report_;
  StreamWindow main_;
  StreamWindow ahead_;
  bool size_known_ = false;
  std::uint64_t file_size_ = 0;
  std::uint64_t stream_end_ = 0;  // one past the stream's last line end
  std::set<std::uint64_t> rewritten_crs_;
  std::uint64_t readers_block_ = 0;  // where the reader's block holding the last line end asked about begins
  std::uint64_t read_end_ = 0;       // one past the furthest byte a run has read
  std::uint64_t sparse_seen_ = 0;    // pieces of the current run past its first ones
  std::uint64_t stride_ = 1;
};

TCrossLineScan::TCrossLineScan(const TRE_DFA& dfa, std::size_t max_records)
    : dfa_(dfa), max_records_(std::max<std::size_t>(max_records, 16)) {
  const std::size_t states = dfa.StateCount();
  accepting_.resize(states);
  for (RE_DFAState s = 0; s < states; ++s) accepting_[s] = dfa.Accepting(s);
  row_of_.assign(states, -1);
  records_.resize(states);
  last_hit_.assign(states, {1, Stretch{0, false}});
  end_outcome_.assign(states, -1);
  start_codes_.assign(0x10000 / 64, 0);
  for (const auto& move : dfa.Transitions(dfa.InitialState()))
    for (unsigned code = move.Low; code <= move.High; ++code) start_codes_[code >> 6] |= std::uint64_t{1} << (code & 63);
}

RE_DFAState TCrossLineScan::StepByte(RE_DFAState state, unsigned char code) {
  std::int32_t& row = row_of_[state];
  if (row < 0) {
    row = static_cast<std::int32_t>(rows_.size() / 256);
    rows_.resize(rows_.size() + 256);
    for (unsigned b = 0; b < 256; ++b) rows_[static_cast<std::size_t>(row) * 256 + b] = dfa_.NextState(state, static_cast<RE_Char_t>(b));
  }
  return rows_[static_cast<std::size_t>(row) * 256 + code];
}

TCrossLineScan::Outcome TCrossLineScan::Recorded(RE_DFAState state, std::uint64_t offset, std::uint64_t& next_from) {
  const auto& [last_from, last] = last_hit_[state];
  if (last_from <= offset && offset <= last.to) return last.accepts ? Outcome::kAccepts : Outcome::kDies;
  const auto& stretches = records_[state];
  auto it = stretches.upper_bound(offset);
  next_from = it == stretches.end() ? kNever : it->first;
  if (it != stretches.begin()) {
    --it;
    if (it->second.to >= offset) {
      last_hit_[state] = *it;
      return it->second.accepts ? Outcome::kAccepts : Outcome::kDies;
    }
  }
  return Outcome::kUnknown;
}

void TCrossLineScan::Record(const std::vector<PathPiece>& path, bool accepts, std::uint64_t floor) {
  if (record_count_ + path.size() > max_records_) {
    // Runs start at or after floor from now on: what lies wholly before it is of no more use.
    for (auto& stretches : records_)
      for (auto it = stretches.begin(); it != stretches.end();) {
        if (it->second.to < floor) {
          it = stretches.erase(it);
          --record_count_;
        } else {
          ++it;
        }
      }
    for (auto& hit : last_hit_) hit = {1, Stretch{0, false}};
    if (record_count_ + path.size() > max_records_ / 2) ClearRecords();
  }
  for (const PathPiece& piece : path) {
    if (record_count_ >= max_records_) break;
    auto& stretches = records_[piece.state];
    // Stretches wholly behind floor are of no more use; dropping them as they come keeps the
    // lookups short.
    while (!stretches.empty() && stretches.begin()->second.to < floor) {
      stretches.erase(stretches.begin());
      --record_count_;
    }
    if (stretches.try_emplace(piece.from, Stretch{piece.to, accepts}).second) ++record_count_;
  }
  peak_records_ = std::max(peak_records_, record_count_);
}

void TCrossLineScan::ClearRecords() {
  for (auto& stretches : records_) stretches.clear();
  for (auto& hit : last_hit_) hit = {1, Stretch{0, false}};
  record_count_ = 0;
}

bool TCrossLineScan::AcceptsAtEnd(RE_DFAState state) {
  // The look-ahead cursor reads 0 for ever at the end; a state that loops on 0 without
  // accepting would run for ever, so the walk stops after every state has been seen once.
  std::int8_t& known = end_outcome_[state];
  if (known < 0) {
    known = 0;
    RE_DFAState s = state;
    for (std::size_t steps = 0; steps <= dfa_.StateCount() && s != kNoState; ++steps) {
      if (accepting_[s]) {
        known = 1;
        break;
      }
      s = dfa_.NextState(s, 0);
    }
  }
  return known == 1;
}

bool TCrossLineScan::Scan(const std::string& native_path, std::size_t block_size, const bool& cancel,
                          const std::function<void()>& pump, const Report& report) {
  return Scan(ReadOnlyFile(native_path), block_size, cancel, pump, report);
}

bool TCrossLineScan::Scan(const ReadOnlyFile& file, std::size_t block_size, const bool& cancel,
                          const std::function<void()>& pump, const Report& report) {
  struct stat st {};
  if (fstat(file.Descriptor(), &st) != 0) throw EInOutError(SystemErrorText(errno));
  if (S_ISDIR(st.st_mode)) throw EFileNotFound(SystemErrorText(EISDIR));
  if (!S_ISREG(st.st_mode)) return false;
  ClearRecords();
  peak_records_ = 0;
  step_count_ = 0;
  CrossLineFileScan scan(*this, file, std::max<std::size_t>(block_size, 1), cancel, pump, report);
  scan.Run();
  return true;
}

}  // namespace tarn::pattern

// TCrossLineScan: the file grep's scan for any pattern, also one whose matches run across line
// ends. It reports exactly what the character-by-character scan reports (a run of the automaton
// from every start character until it accepts or dies, the start's line reported once), in time
// close to linear in the file size:
//
// - The automaton is deterministic, so two runs in the same state at the same place of the
//   character stream have the same outcome. Every finished run leaves its path (stretches of
//   stream offsets per state, with "accepts" or "dies"), and a later run ends as soon as it steps
//   onto a recorded stretch. The records are bounded: those behind the start are dropped, and
//   a path of very many stretches keeps its first ones and ever fewer further on.
// - The file is read with pread into two block windows, one for the start and one for the runs
//   that look further ahead, so memory stays two blocks whatever the distance a run goes. Line
//   text is read only for reported lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "pattern/dfa.h"
#include "pattern/txt_file.h"

namespace tarn::pattern {

class TCrossLineScan {
 public:
  using Report = std::function<void(RE_LineInfo_t line_info)>;

  // The automaton must outlive this object. max_records bounds the recorded path stretches.
  explicit TCrossLineScan(const TRE_DFA& dfa, std::size_t max_records = 1 << 15);
  TCrossLineScan(const TCrossLineScan&) = delete;
  TCrossLineScan& operator=(const TCrossLineScan&) = delete;

  // Greps one file. Returns false, having read and reported nothing, when the path names no
  // regular file (the caller then reads it as a stream). Raises EFileNotFound (also for a
  // directory), EInOutError and EGrepCancel as the reader does; pump runs and cancel is tested
  // after every block read and before every reported line.
  bool Scan(const std::string& native_path, std::size_t block_size, const bool& cancel,
            const std::function<void()>& pump, const Report& report);
  // The same over a file opened already (read by offset: its position does not matter).
  bool Scan(const ReadOnlyFile& file, std::size_t block_size, const bool& cancel, const std::function<void()>& pump,
            const Report& report);

  const TRE_DFA& DFA() const noexcept { return dfa_; }

  // Bytes the last scan held in its block windows (at most two blocks and a few bytes).
  std::size_t HeldBufferBytes() const noexcept { return held_buffer_bytes_; }
  // The most path stretches the last scan kept at once.
  std::size_t PeakRecords() const noexcept { return peak_records_; }
  // Characters the last scan's runs read ahead: a measure of its work, near the file size for
  // patterns whose runs merge.
  std::uint64_t StepCount() const noexcept { return step_count_; }

 private:
  friend class CrossLineFileScan;

  enum class Outcome : std::uint8_t { kDies, kAccepts, kUnknown };

  struct Stretch {
    std::uint64_t to = 0;  // last offset of the stretch, inclusive
    bool accepts = false;
  };
  struct PathPiece {
    RE_DFAState state;
    std::uint64_t from;
    std::uint64_t to;
  };

  // The state after a single-byte code (below 0x100), from a row of 256 built on first use.
  RE_DFAState StepByte(RE_DFAState state, unsigned char code);
  RE_DFAState Step(RE_DFAState state, RE_Char_t code) {
    return code < 0x100 ? StepByte(state, static_cast<unsigned char>(code)) : dfa_.NextState(state, code);
  }
  // True when a match may begin with this character.
  bool MayStart(RE_Char_t code) const noexcept {
    return (start_codes_[code >> 6] >> (code & 63)) & 1;
  }
  // The recorded outcome of a run in state at offset, or kUnknown and the offset of the next
  // stretch of that state after it.
  Outcome Recorded(RE_DFAState state, std::uint64_t offset, std::uint64_t& next_from);
  void Record(const std::vector<PathPiece>& path, bool accepts, std::uint64_t floor);
  void ClearRecords();
  // What a run in state does on the 0s read past the end of the stream.
  bool AcceptsAtEnd(RE_DFAState state);

  const TRE_DFA& dfa_;
  std::size_t max_records_;
  std::vector<bool> accepting_;
  std::vector<std::uint64_t> start_codes_;  // a bit per character code
  std::vector<std::int32_t> row_of_;  // per state: index of its byte row, or -1
  std::vector<RE_DFAState> rows_;
  std::vector<std::map<std::uint64_t, Stretch>> records_;  // per state, keyed by first offset
  std::vector<std::pair<std::uint64_t, Stretch>> last_hit_;  // per state: the stretch found last
  std::size_t record_count_ = 0;
  std::vector<std::int8_t> end_outcome_;  // per state: -1 unknown, 0 dies, 1 accepts
  std::vector<PathPiece> path_;
  std::size_t held_buffer_bytes_ = 0;
  std::size_t peak_records_ = 0;
  std::uint64_t step_count_ = 0;
};

}  // namespace tarn::pattern

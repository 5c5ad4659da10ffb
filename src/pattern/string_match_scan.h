// TStringMatchScan: the string matcher's search in one pass over the subject. Every character
// position starts a run of the automaton; the runs go forward together, each tagged with its
// start. Two runs in the same state at the same place have the same future (states with equal
// futures are merged first), so only the one that started first is kept, which bounds the live
// runs by the automaton's states and makes the search linear in the subject. Once a match is
// known, no new runs start and later starts are dropped; the search ends when no run that
// started at or before the match's start is left. Stretches where no run can start are skipped
// 16 bytes at a time, and a lone live run moves on without the bookkeeping of many.
//
// It gives exactly the start and end of TMatchCORE::SearchPlain (no anchors) or
// TMatchCORE::SearchAnchored (the line-head runs after each line feed, the line-tail rule when
// a run dies on a separator or the terminator, the empty match at the terminator), which
// restart the automaton at every character.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pattern/dfa.h"

namespace tarn::pattern {

struct TStringMatchOptions {
  RE_Char_t LineHead = 0xFFFD;
  RE_Char_t LineTail = 0xFFFE;
  // The character "$" may stand before (13 or 10); 0 for none.
  RE_Char_t Separator = 13;
  // True: search as SearchAnchored does; false: as SearchPlain.
  bool Anchored = false;

  bool operator==(const TStringMatchOptions&) const = default;
};

class TStringMatchScan {
 public:
  // The automaton must outlive this object. max_rows caps the byte rows kept at a time.
  TStringMatchScan(const TRE_DFA& dfa, const TStringMatchOptions& options, std::size_t max_rows = 1024);
  TStringMatchScan(const TStringMatchScan&) = delete;
  TStringMatchScan& operator=(const TStringMatchScan&) = delete;

  const TRE_DFA& DFA() const noexcept { return dfa_; }
  const TStringMatchOptions& Options() const noexcept { return options_; }

  // Searches the NUL-terminated subject s. On a match sets the byte offsets of its first byte
  // and one past its last and returns true. The search starts at begin (a character position),
  // which is a line head only when it is 0 or follows a line feed.
  bool Search(const char* s, std::size_t& start, std::size_t& end, std::size_t begin = 0);

 private:
  struct Run {
    RE_DFAState state;
    std::size_t start;
  };
  static constexpr std::uint32_t kNoRow = 0xFFFFFFFFu;
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  RE_DFAState Next(RE_DFAState state, RE_Char_t code) {
    if (code > 0xFF) return Canonical(dfa_.NextState(state, code));
    std::uint32_t row = row_of_[state];
    if (row == kNoRow) {
      row = MakeRow(state);
      if (row == kNoRow) return Canonical(dfa_.NextState(state, code));
    }
    return rows_[row + code];
  }
  // kNoRow once max_rows rows exist: the states met first keep theirs and the others are looked
  // up directly. (Dropping rows to make room would rebuild them over and over when a line keeps
  // more states alive than there are rows.)
  std::uint32_t MakeRow(RE_DFAState state);
  // The state that stands for every state with the same future.
  RE_DFAState Canonical(RE_DFAState state) const noexcept { return state == kNoState ? state : canon_[state]; }
  void MergeEquivalentStates();
  // Where the lookups of a state can change, ascending, all at most 0xFFFF.
  std::vector<std::uint32_t> Bounds(RE_DFAState state) const;
  // True when, on every character, a run started afresh either dies or lands where a run in
  // state goes: a new start can then never add to a run alive in state before it.
  bool AbsorbsRestart(RE_DFAState state) const;
  // Moves the one live run on from p while no other run matters: before a match, as long as
  // the run from each new position dies at once or joins it; after one, to its longest end.
  // Leaves p where the general step must take over.
  void RunAlone(const unsigned char* u, std::size_t& p, bool& line_head);
  // The first character position at or after p (a character position) whose first byte can
  // start a match; n when there is none.
  std::size_t SkipToStart(const unsigned char* u, std::size_t p, std::size_t n) const noexcept;
  // Adds a run starting at the current position unless an earlier one holds its state.
  void Start(RE_DFAState state, std::size_t position) {
    if (state == kNoState || seen_[state] == stamp_) return;
    seen_[state] = stamp_;
    runs_[run_count_++] = Run{state, position};
    if (accepting_[state]) Candidate(position, position);
  }
  // A new stamp marks the runs kept by the next step.
  void NextStamp() {
    if (++stamp_ == 0) {
      std::fill(seen_.begin(), seen_.end(), 0);
      stamp_ = 1;
    }
  }
  void Candidate(std::size_t start, std::size_t end) noexcept {
    if (start < best_start_) {  // also when there is none yet
      best_start_ = start;
      best_end_ = end;
    } else if (start == best_start_) {
      best_end_ = std::max(best_end_, end);
    }
  }
  // Whether a run that dies in state on a separator or the terminator ends before it.
  bool EndsAtTail(RE_DFAState state) const noexcept { return options_.Anchored && has_tail_[state] != 0; }

  const TRE_DFA& dfa_;
  TStringMatchOptions options_;
  std::size_t max_rows_;
  RE_DFAState head_state_ = kNoState;  // after the line-head move, when line-head runs are made
  bool initial_accepts_ = false;
  bool skip_usable_ = false;
  bool can_start_[256] = {};  // first bytes of a character a run from the initial state takes
  // When only a few bytes can start, the skip looks for them 16 bytes at a time.
  unsigned char start_bytes_[3] = {};
  std::size_t start_byte_count_ = 0;
  std::vector<std::uint8_t> accepting_;
  std::vector<std::uint8_t> has_tail_;  // the state has a move on the line-tail symbol
  std::vector<std::uint8_t> absorbs_restart_;
  std::vector<RE_DFAState> canon_;
  RE_DFAState initial_ = 0;
  std::vector<std::uint32_t> row_of_;
  std::vector<RE_DFAState> rows_;  // one entry per single-byte code
  std::vector<std::uint32_t> seen_;  // stamp of the step that last kept a run in the state
  std::uint32_t stamp_ = 0;
  std::vector<Run> runs_;
  std::vector<Run> next_;
  std::size_t run_count_ = 0;  // the live runs are runs_[0, run_count_), in start order
  std::size_t best_start_ = kNone;
  std::size_t best_end_ = 0;
};

}  // namespace tarn::pattern

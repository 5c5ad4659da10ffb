// TLineDFA: the compiled automaton turned into a lazily built byte-level automaton that tries
// every start position of a line at once. A state is the set of automaton states of the runs
// still alive (one run starts at every character), plus the lead byte read so far of a
// double-byte character; its row holds one entry per byte. Rows are made when first needed and
// the cache is dropped and rebuilt when it outgrows its bound, so memory stays small whatever
// the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "pattern/dfa.h"

namespace tarn::pattern {

class TLineDFA {
 public:
  // Entries with this bit set stop the byte loop; the others are row offsets (state * 256).
  static constexpr std::uint32_t kStop = 0x80000000u;
  static constexpr std::uint32_t kMatch = kStop | 1;     // a run reached an accepting state
  static constexpr std::uint32_t kLineEnd = kStop | 2;   // CR or LF between characters
  static constexpr std::uint32_t kBrokenEnd = kStop | 3; // CR or LF right after a lead byte
  static constexpr std::uint32_t kUnknown = 0xFFFFFFFFu; // entry not computed yet
  // Set on entries that lead to a state with a skip list (see SkipBytes): the scan can jump
  // to the next byte that may leave that state.
  static constexpr std::uint32_t kSkip = 0x40000000u;
  static constexpr std::uint32_t kFlags = kStop | kSkip;
  static constexpr std::size_t kMaxSkipBytes = 6;

  // The automaton must outlive this object.
  explicit TLineDFA(const TRE_DFA& dfa, std::size_t max_states = 2048);
  TLineDFA(const TLineDFA&) = delete;
  TLineDFA& operator=(const TLineDFA&) = delete;

  const std::uint32_t* Table() const noexcept { return table_.data(); }
  // The state before the first byte of a line: the run that starts at the line feed before it.
  std::uint32_t LineStartState() const noexcept { return line_start_; }
  // True when that run accepts on the line feed alone (every line matches).
  bool LineStartMatches() const noexcept { return line_start_matches_; }
  // True when a run alive in state accepts on the line feed that ends the line.
  bool LineEndMatches(std::uint32_t state) const noexcept { return states_[state >> 8].line_end_matches; }

  // Computes the entry of (state, byte). May drop the cache; state is then renumbered.
  std::uint32_t Resolve(std::uint32_t& state, unsigned char byte);

  // Works out, once per state, whether only a few bytes (CR and LF among them) can take a scan
  // out of it, character by character; if so, entries leading to it get kSkip. May drop the
  // cache: callers must hold no state across it.
  void PrepareSkip(std::uint32_t state);
  // The bytes that may leave a state marked kSkip.
  const std::string& SkipBytes(std::uint32_t state) const noexcept { return states_[state >> 8].skip_bytes; }

 private:
  struct State {
    std::vector<RE_DFAState> runs;  // sorted
    unsigned char lead = 0;         // pending lead byte, 0 when none
    bool line_end_matches = false;
    bool skip_known = false;
    bool skip_usable = false;
    std::string skip_bytes;
  };

  std::uint32_t Intern(std::vector<RE_DFAState> runs, unsigned char lead);
  void Reset();

  const TRE_DFA& dfa_;
  std::size_t max_states_;
  std::size_t run_entries_ = 0;
  std::vector<State> states_;
  std::vector<std::uint32_t> table_;
  std::unordered_map<std::string, std::uint32_t> index_;
  std::uint64_t generation_ = 0;  // counts cache drops
  std::uint32_t line_start_ = 0;
  bool line_start_matches_ = false;
  std::vector<RE_DFAState> scratch_;
  // Lead bytes that no move of the automaton tells apart share one pending state: each maps to
  // the first lead byte of its class.
  unsigned char lead_class_[256] = {};
};

}  // namespace tarn::pattern

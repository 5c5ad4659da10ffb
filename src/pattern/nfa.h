// The nondeterministic automaton built from a parse tree. It is here that "^" and "$" become line
// anchors (from EntryState / into FinalState) or stay the plain characters.
#pragma once

#include <cstdint>
#include <vector>

#include "pattern/parser.h"

namespace tarn::pattern {

// Label of an empty move.
inline constexpr RE_Char_t kEmptyMoveSymbol = 0xFFFF;
// The largest code a subject can produce (lead byte 0xFC with any trail byte). Pattern ranges are
// cut to [1, kMaxSubjectCode]: code 0 is the end of a subject and never a character, and codes
// above it are reserved for empty and anchor moves.
inline constexpr RE_Char_t kMaxSubjectCode = 0xFCFF;

// A shared subtree is generated once for each parent, so heavily overlapping classes can multiply
// transitions; past this many the pattern is refused as too complex.
inline constexpr std::size_t kMaxNFATransitions = 1'000'000;

struct RE_NFATransition_t {
  RE_Char_t Low = 0;
  RE_Char_t High = 0;
  std::uint32_t Target = 0;
};

class TRE_NFA {
 public:
  // A state's transitions in order of creation (read backwards, newest first, for the order in
  // which a chain with insertion at the front would hold them).
  using Chain = std::vector<RE_NFATransition_t>;

  TRE_NFA(const TREParser& parser, RE_Char_t lineTailSymbol, RE_Char_t lineHeadSymbol)
      : LineHeadSymbol(lineHeadSymbol), LineTailSymbol(lineTailSymbol), Parser_(&parser) {}

  void Build();
  std::uint32_t NewState();
  void AddTransition(std::uint32_t from, std::uint32_t to, RE_Char_t low, RE_Char_t high);

  const std::vector<Chain>& StateList() const noexcept { return StateList_; }

  std::uint32_t EntryState = 0;
  std::uint32_t FinalState = 1;
  bool UsesLineHead = false;
  bool UsesLineTail = false;
  RE_Char_t LineHeadSymbol;
  RE_Char_t LineTailSymbol;

 private:
  // Iterative walk (an explicit stack keeps long patterns off the call stack); it makes states
  // and transitions in the same order as the plain recursive walk would.
  void GenerateStateList(const RE_Node_t* node, std::uint32_t from, std::uint32_t to);

  const TREParser* Parser_;
  std::vector<Chain> StateList_;
  std::size_t TransitionCount_ = 0;
};

// A set of NFA states: one bit per state.
class TRE_NFAStateSet {
 public:
  explicit TRE_NFAStateSet(std::size_t stateCount) : Bits(stateCount / 8 + 1, 0), ByteCount(Bits.size()) {}
  void Include(std::size_t i) { Bits[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8)); }
  void Exclude(std::size_t i) { Bits[i / 8] &= static_cast<std::uint8_t>(~(1u << (i % 8))); }
  bool Contains(std::size_t i) const { return (Bits[i / 8] >> (i % 8)) & 1u; }
  bool Equals(const TRE_NFAStateSet& other) const { return Bits == other.Bits; }

  std::vector<std::uint8_t> Bits;
  std::size_t ByteCount;
};

}  // namespace tarn::pattern

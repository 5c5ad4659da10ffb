// The deterministic automaton: built completely at compile time by subset construction over the
// NFA, with every state's transitions sorted and pairwise disjoint.
//
// Callers that run the automaton themselves (the file grep) use InitialState, NextState and
// Accepting; states are compact indices and NextState is a lookup in a sorted array.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pattern/nfa.h"

namespace tarn::pattern {

using RE_DFAState = std::uint32_t;
// "No state": what NextState returns when no transition takes the character.
inline constexpr RE_DFAState kNoState = 0xFFFFFFFF;

// Compilation refuses ("正規表現が複雑すぎます") an automaton that would need more states than
// this, or more than kMaxDFABuildCells NFA-set entries and transitions while it is built.
inline constexpr std::size_t kMaxDFAStates = 10000;
inline constexpr std::size_t kMaxDFABuildCells = 8'000'000;

struct RE_DFATransition_t {
  RE_Char_t Low = 0;
  RE_Char_t High = 0;
  RE_DFAState Target = kNoState;
};

class TRE_DFA {
 public:
  // The NFA is only read by Build and need not outlive it.
  explicit TRE_DFA(const TRE_NFA& nfa) : NFA_(&nfa) {}
  TRE_DFA(const TRE_DFA&) = delete;
  TRE_DFA& operator=(const TRE_DFA&) = delete;

  // Throws ERegExpParser when the automaton grows past the limits above.
  void Build();

  RE_DFAState InitialState() const noexcept { return 0; }
  // The state reached from state on ch; kNoState when there is none (also for kNoState itself).
  RE_DFAState NextState(RE_DFAState state, RE_Char_t ch) const noexcept {
    if (state >= States_.size()) return kNoState;
    const StateRecord& rec = States_[state];
    const RE_DFATransition_t* t = Transitions_.data() + rec.First;
    const RE_DFATransition_t* end = t + rec.Count;
    if (rec.Count > 8) {  // binary search for the last range starting at or below ch
      const RE_DFATransition_t* lo = t;
      std::uint32_t n = rec.Count;
      while (n > 1) {
        const std::uint32_t half = n / 2;
        if (lo[half].Low <= ch) lo += half;
        n -= half;
      }
      return (lo->Low <= ch && ch <= lo->High) ? lo->Target : kNoState;
    }
    for (; t != end; ++t) {
      if (ch < t->Low) return kNoState;
      if (ch <= t->High) return t->Target;
    }
    return kNoState;
  }
  bool Accepting(RE_DFAState state) const noexcept { return state < States_.size() && States_[state].Accepting; }

  std::size_t StateCount() const noexcept { return States_.size(); }
  std::span<const RE_DFATransition_t> Transitions(RE_DFAState state) const noexcept {
    if (state >= States_.size()) return {};
    return {Transitions_.data() + States_[state].First, States_[state].Count};
  }

  bool IsLiteral() const noexcept { return IsLiteral_; }
  const std::string& LiteralText() const noexcept { return LiteralText_; }
  bool UsesLineHead() const noexcept { return UsesLineHead_; }
  bool UsesLineTail() const noexcept { return UsesLineTail_; }

 private:
  struct StateRecord {
    std::uint32_t First = 0;
    std::uint32_t Count = 0;
    bool Accepting = false;
  };
  void RunLiteralTest();

  const TRE_NFA* NFA_;
  std::vector<StateRecord> States_;
  std::vector<RE_DFATransition_t> Transitions_;
  bool IsLiteral_ = false;
  std::string LiteralText_;
  bool UsesLineHead_ = false;
  bool UsesLineTail_ = false;
};

}  // namespace tarn::pattern

// The components that own a compiled pattern: TRegularExpression (pre-processing, compilation and
// the 30-entry pattern cache), TMatchCORE (leftmost-longest search in one string) and TAWKStr
// (where in a string a pattern matches).
//
// How a derived component hooks in (the file grep does this):
// - Override LineHeadSymbol()/LineTailSymbol() to read "^" and "$" as other symbols (for
//   example the line feed, 10, for both). Every Compile asks them, so every pattern assigned
//   after construction is compiled with the derived symbols. Entry 0, the empty pattern compiled
//   by the base constructor, has no anchors, so its automaton is the same for any symbols.
// - Override AssignPattern(value) to react to a new pattern: call
//   TRegularExpression::AssignPattern(value) first (it throws on a malformed pattern, leaving the
//   empty pattern current), then read CurrentDFA(), IsLiteral(), LiteralText() and so on.
//   SetRegExp and both dictionary switches assign through this virtual function.
// - Read the automaton through CurrentDFA(): InitialState(), NextState(state, ch),
//   Accepting(state). The reference stays valid until the next assignment.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/dfa.h"
#include "pattern/pre_processor.h"

namespace tarn::pattern {

class TStringMatchScan;

class TRegularExpression {
 public:
  static constexpr std::size_t CacheCapacity = 30;

  TRegularExpression();
  TRegularExpression(const TRegularExpression&) = delete;
  TRegularExpression& operator=(const TRegularExpression&) = delete;
  virtual ~TRegularExpression();

  // The pattern as last assigned, before pre-processing.
  const std::string& RegExp() const noexcept { return PatternText_; }
  void SetRegExp(std::string_view value) { AssignPattern(value); }
  // Writer of RegExp: pre-process, find in the cache or compile. Throws ERegExpParser.
  virtual void AssignPattern(std::string_view value);

  bool UseFuzzyCharDic() const noexcept { return PreProcessor_.UseFuzzyCharDic; }
  void SetUseFuzzyCharDic(bool value);
  bool UseSynonymDic() const noexcept { return PreProcessor_.UseSynonymDic; }
  void SetUseSynonymDic(bool value);
  TREDicList& SynonymDicList() noexcept { return PreProcessor_.SynonymDicList(); }
  TREDicList& FuzzyCharDicList() noexcept { return PreProcessor_.FuzzyCharDicList(); }

  const TRE_DFA& CurrentDFA() const noexcept { return *PatternCache_[CurrentIndex_].DFA; }
  bool IsLiteral() const noexcept { return CurrentDFA().IsLiteral(); }
  const std::string& LiteralText() const noexcept { return CurrentDFA().LiteralText(); }
  bool UsesLineHead() const noexcept { return CurrentDFA().UsesLineHead(); }
  bool UsesLineTail() const noexcept { return CurrentDFA().UsesLineTail(); }

  virtual RE_Char_t LineHeadSymbol() const { return 0xFFFD; }
  virtual RE_Char_t LineTailSymbol() const { return 0xFFFE; }

  // The cache, newest entries first after entry 0 (the empty pattern).
  std::size_t CacheCount() const noexcept { return PatternCache_.size(); }
  const std::string& CachedPattern(std::size_t index) const { return PatternCache_.at(index).Pattern; }
  std::size_t CurrentIndex() const noexcept { return CurrentIndex_; }

 protected:
  // Compiles p into the cache entry CurrentIndex(); on failure removes that entry, makes entry 0
  // current and throws.
  virtual void Compile(const std::string& p);

 private:
  struct CacheEntry {
    std::string Pattern;
    std::unique_ptr<TRE_DFA> DFA;
  };

  std::string PatternText_;
  std::vector<CacheEntry> PatternCache_;
  std::size_t CurrentIndex_ = 0;
  TREPreProcessor PreProcessor_;
};

enum TMatchCORE_LineSeparator : std::uint8_t { mcls_CRLF = 0, mcls_LF = 1 };

// Leftmost-longest search of the current pattern in NUL-terminated Shift-JIS subjects. Positions
// are pointers into the subject; nullptr stands for "none".
class TMatchCORE : public TRegularExpression {
 public:
  TMatchCORE() = default;

  TMatchCORE_LineSeparator LineSeparator() const noexcept { return LineSeparator_; }
  void SetLineSeparator(TMatchCORE_LineSeparator value) noexcept { LineSeparator_ = value; }

  bool IsLineSeparator(RE_Char_t ch) const noexcept;
  // The end of the longest match starting at p when the automaton starts in state.
  const char* MatchAt(const char* p, RE_DFAState state) const noexcept;
  // As MatchAt, also trying the line-head anchor move first.
  const char* MatchAtLineHead(const char* p, RE_DFAState state) const noexcept;
  void SearchPlain(const char* s, const char*& start, const char*& end) const noexcept;
  void SearchAnchored(const char* s, const char*& start, const char*& end) const noexcept;

 private:
  TMatchCORE_LineSeparator LineSeparator_ = mcls_CRLF;
};

class TAWKStr : public TMatchCORE {
 public:
  // Attaches the shared fuzzy-character dictionary.
  TAWKStr();
  ~TAWKStr() override;

  void AssignPattern(std::string_view value) override;
  // Searches S up to its end or its first NUL byte. Returns Start (1-based) of the
  // leftmost-longest match and sets Length; 0 with Start = Length = 0 when nothing matches.
  // Runs in one pass over S; the result is that of SearchPlain or SearchAnchored.
  int Match(const std::string& S, int& Start, int& Length) const;
  // The same from byte From of S on (a character position past an earlier match): the next
  // match, which a "^" finds at From only when From is 0.
  int Match(const std::string& S, std::size_t From, int& Start, int& Length) const;

  // Makes Match run SearchPlain / SearchAnchored themselves (for comparisons and benchmarks).
  bool ForceReferenceMatch = false;

 private:
  using SearchOperation = void (TMatchCORE::*)(const char*, const char*&, const char*&) const noexcept;
  SearchOperation Search_ = &TMatchCORE::SearchPlain;
  // Built from the current automaton on first use; dropped at every assignment.
  mutable std::unique_ptr<TStringMatchScan> Scan_;
};

}  // namespace tarn::pattern

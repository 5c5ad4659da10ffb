// The dictionary pre-processor that rewrites a pattern before it is compiled: with the synonym
// switch on, every word of an attached synonym dictionary found in the pattern's literal text
// becomes an alternation of its whole group; then, with the fuzzy switch on, the same for the
// fuzzy-character dictionary. With both switches off the pattern is handed on unchanged and is
// not even scanned.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "pattern/scanner.h"

namespace tarn::pattern {

// A group of words that stand for one another (CP932 strings).
using TREDicGroup = std::vector<std::string>;
// A dictionary: its groups, in the order in which they are tried.
using TREDictionary = std::vector<TREDicGroup>;
// Dictionaries attached to a component; they are owned elsewhere and must outlive it.
using TREDicList = std::vector<const TREDictionary*>;

// One token of the pattern with the positions before and after it, so that its source text (an
// escape with its backslash, a range with its "-") can be copied unchanged.
struct RE_Token_t {
  TREScanner_Token Kind;
  RE_Char_t Symbol;
  RE_Char_t RangeEnd;
  int StartPos;
  int EndPos;
};

class TREPreProcessor {
 public:
  explicit TREPreProcessor(std::string_view text = {}) : Scanner_(text) {}
  virtual ~TREPreProcessor() = default;

  void SetSource(std::string_view text) { Scanner_.SetText(text); }
  // Fills Output(). Throws ERegExpParser for a malformed pattern when a switch is on.
  virtual void ProcessPattern();
  const std::string& Output() const noexcept { return Output_; }

  // Try the dictionaries on the literal tokens first ..< stop: the index of the first token after
  // the matched word (with ReplaceText() set to its group's alternation), or -1.
  int LookupSynonym(int first, int stop);
  int LookupFuzzyChar(int first, int stop);
  const std::string& ReplaceText() const noexcept { return ReplaceText_; }

  TREDicList& SynonymDicList() noexcept { return SynonymDicList_; }
  TREDicList& FuzzyCharDicList() noexcept { return FuzzyCharDicList_; }

  bool UseFuzzyCharDic = false;
  bool UseSynonymDic = false;

 protected:
  TREScanner& Scanner() noexcept { return Scanner_; }

 private:
  using Lookup = int (TREPreProcessor::*)(int, int);

  void ProcessPass(Lookup lookup);
  void Tokenise();
  std::string_view SourceText(const RE_Token_t& token) const;
  int LookupIn(const TREDicList& list, int first, int stop);
  int MatchWord(std::string_view word, int k, int stop) const;

  TREScanner Scanner_;
  std::string Output_;
  std::vector<RE_Token_t> TokenList_;
  std::string ReplaceText_;
  TREDicList SynonymDicList_;
  TREDicList FuzzyCharDicList_;
};

}  // namespace tarn::pattern

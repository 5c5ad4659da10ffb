// The dictionary pre-processor that rewrites a pattern before it is compiled. It holds the two
// dictionary switches and the dictionaries attached to a component. With both switches off the
// pattern is handed on unchanged and is not even scanned.
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

class TREPreProcessor {
 public:
  explicit TREPreProcessor(std::string_view text = {}) : Scanner_(text) {}
  virtual ~TREPreProcessor() = default;

  void SetSource(std::string_view text) { Scanner_.SetText(text); }
  // Fills Output(). Throws ERegExpParser for a malformed pattern when a switch is on.
  virtual void ProcessPattern();
  const std::string& Output() const noexcept { return Output_; }

  TREDicList& SynonymDicList() noexcept { return SynonymDicList_; }
  TREDicList& FuzzyCharDicList() noexcept { return FuzzyCharDicList_; }

  bool UseFuzzyCharDic = false;
  bool UseSynonymDic = false;

 protected:
  TREScanner& Scanner() noexcept { return Scanner_; }

 private:
  TREScanner Scanner_;
  std::string Output_;
  TREDicList SynonymDicList_;
  TREDicList FuzzyCharDicList_;
};

}  // namespace tarn::pattern

// Recursive-descent parser from pattern tokens to a TREParseTree with disjoint leaves.
#pragma once

#include <string_view>

#include "pattern/parse_tree.h"
#include "pattern/scanner.h"

namespace tarn::pattern {

// Deepest group nesting a pattern may have; deeper patterns are refused as too complex rather
// than risking the stack.
inline constexpr int kMaxGroupNesting = 1000;

class TREParser {
 public:
  explicit TREParser(std::string_view pattern) : Scanner_(pattern) {}
  TREParser(const TREParser&) = delete;
  TREParser& operator=(const TREParser&) = delete;
  virtual ~TREParser() = default;

  // Parses the whole pattern into Tree().Root; throws ERegExpParser on a malformed pattern.
  void Parse();

  TREParseTree& Tree() noexcept { return Tree_; }
  const TREParseTree& Tree() const noexcept { return Tree_; }
  TREScanner& Scanner() noexcept { return Scanner_; }

 protected:
  RE_Node_t* ParseRegExp();
  RE_Node_t* ParseTerm();
  RE_Node_t* ParseFactor();
  RE_Node_t* ParsePrimary();
  RE_Node_t* ParseCharClass(TREParseTree& tree);
  RE_Node_t* ParseNegativeCharClass();

 private:
  TREParseTree Tree_;
  TREScanner Scanner_;
  int Nesting_ = 0;
};

}  // namespace tarn::pattern

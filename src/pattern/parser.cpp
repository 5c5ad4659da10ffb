#include "pattern/parser.h"

#include "core/system_text.h"

namespace tarn::pattern {

namespace {

bool EndsTerm(TREScanner_Token t) { return t == retk_Union || t == retk_RPar || t == retk_End; }

}  // namespace

void TREParser::Parse() {
  Tree_.Clear();
  Nesting_ = 0;
  Scanner_.GetToken();
  Tree_.Root = ParseRegExp();
  if (Scanner_.Token != retk_End)
    throw ERegExpParser(SystemText("正規表現に余分な文字があります"), Scanner_.Position);
  Tree_.SplitOverlappingLeaves();
}

RE_Node_t* TREParser::ParseRegExp() {
  RE_Node_t* p = ParseTerm();
  while (Scanner_.Token == retk_Union) {
    Scanner_.GetToken();
    p = Tree_.MakeNode(reop_Union, p, ParseTerm());
  }
  return p;
}

RE_Node_t* TREParser::ParseTerm() {
  if (EndsTerm(Scanner_.Token)) return Tree_.MakeNode(reop_Empty, nullptr, nullptr);
  RE_Node_t* p = ParseFactor();
  while (!EndsTerm(Scanner_.Token)) p = Tree_.MakeNode(reop_Concat, p, ParseFactor());
  return p;
}

RE_Node_t* TREParser::ParseFactor() {
  RE_Node_t* p = ParsePrimary();
  switch (Scanner_.Token) {
    case retk_Star:
      p = Tree_.MakeNode(reop_Closure, p, nullptr);
      break;
    case retk_Plus:
      p = Tree_.MakeNode(reop_Concat, p, Tree_.MakeNode(reop_Closure, p, nullptr));
      break;
    case retk_QMark:
      p = Tree_.MakeNode(reop_Union, p, Tree_.MakeNode(reop_Empty, nullptr, nullptr));
      break;
    default:
      return p;
  }
  Scanner_.GetToken();
  return p;
}

RE_Node_t* TREParser::ParsePrimary() {
  RE_Node_t* p = nullptr;
  switch (Scanner_.Token) {
    case retk_Char:
      p = Tree_.MakeLeaf(Scanner_.Symbol, Scanner_.Symbol);
      Scanner_.GetToken();
      return p;
    case retk_LPar:
      if (++Nesting_ > kMaxGroupNesting)
        throw ERegExpParser(SystemText("正規表現が複雑すぎます"), Scanner_.Position);
      Scanner_.GetToken();
      p = ParseRegExp();
      if (Scanner_.Token != retk_RPar) throw ERegExpParser(SystemText("右(閉じ)括弧が必要です"), Scanner_.Position);
      --Nesting_;
      Scanner_.GetToken();
      return p;
    case retk_LBra:
      p = ParseCharClass(Tree_);
      break;
    case retk_LBraNegative:
      p = ParseNegativeCharClass();
      break;
    case retk_Dot:
      p = Tree_.MakeAnyCharNode();
      Scanner_.GetToken();
      return p;
    case retk_LHead:
      p = Tree_.MakeLHeadNode(Scanner_.Symbol);
      Scanner_.GetToken();
      return p;
    case retk_LTail:
      p = Tree_.MakeLTailNode(Scanner_.Symbol);
      Scanner_.GetToken();
      return p;
    default:
      throw ERegExpParser(SystemText("普通の文字、または左括弧\"(\"が必要です"), Scanner_.Position);
  }
  if (Scanner_.Token != retk_RBra) throw ERegExpParser(SystemText("右ブラケット\"]\"が必要です"), Scanner_.Position);
  Scanner_.GetToken();
  return p;
}

RE_Node_t* TREParser::ParseCharClass(TREParseTree& tree) {
  auto member = [&]() {
    return Scanner_.Token == retk_CharRange ? tree.MakeLeaf(Scanner_.Symbol, Scanner_.RangeEnd)
                                            : tree.MakeLeaf(Scanner_.Symbol, Scanner_.Symbol);
  };
  Scanner_.GetToken();
  if (Scanner_.Token == retk_RBra) throw ERegExpParser(SystemText("不正なキャラクタクラス指定です。"), Scanner_.Position);
  RE_Node_t* p = member();
  while (Scanner_.GetToken() != retk_RBra) p = tree.MakeNode(reop_Union, p, member());
  return p;
}

RE_Node_t* TREParser::ParseNegativeCharClass() {
  TREParseTree members;
  TREParseTree rest;
  members.Root = ParseCharClass(members);
  members.SplitOverlappingLeaves();
  rest.MakeAnyCharNode();
  for (const auto& m : members.LeafList()) {
    const unsigned mLow = m->Low, mHigh = m->High;
    std::size_t k = 0;
    while (k < rest.LeafList().size()) {
      const RE_Node_t* q = rest.LeafList()[k].get();
      const unsigned qLow = q->Low, qHigh = q->High;
      if (mHigh < qLow || qHigh < mLow) {
        ++k;
        continue;
      }
      if (mLow > qLow) rest.MakeLeafIfNonEmpty(static_cast<RE_Char_t>(qLow), static_cast<RE_Char_t>(mLow - 1));
      if (mHigh < qHigh) rest.MakeLeafIfNonEmpty(static_cast<RE_Char_t>(mHigh + 1), static_cast<RE_Char_t>(qHigh));
      rest.RemoveLeaf(k);
    }
  }
  if (rest.LeafList().empty()) return Tree_.MakeNode(reop_Nothing, nullptr, nullptr);
  RE_Node_t* p = nullptr;
  for (const auto& q : rest.LeafList()) {
    RE_Node_t* leaf = Tree_.MakeLeaf(q->Low, q->High);
    p = p == nullptr ? leaf : Tree_.MakeNode(reop_Union, p, leaf);
  }
  return p;
}

}  // namespace tarn::pattern

#include "pattern/parser.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "core/system_text.h"
#include "pattern/nfa.h"

namespace tarn::pattern {
namespace {

std::string Code(RE_Char_t c) {
  if (c > 0x20 && c < 0x7F) return std::string(1, static_cast<char>(c));
  char buf[8];
  std::snprintf(buf, sizeof buf, "%X", c);
  return buf;
}

std::string Show(const RE_Node_t* n) {
  if (n == nullptr) return "null";
  switch (n->Kind) {
    case reop_CharClass: return n->Low == n->High ? Code(n->Low) : "[" + Code(n->Low) + "-" + Code(n->High) + "]";
    case reop_LHead: return "LHead";
    case reop_LTail: return "LTail";
    case reop_Concat: return "Concat(" + Show(n->Left) + "," + Show(n->Right) + ")";
    case reop_Union: return "Union(" + Show(n->Left) + "," + Show(n->Right) + ")";
    case reop_Closure: return "Closure(" + Show(n->Left) + ")";
    case reop_Empty: return "Empty";
    case reop_Nothing: return "Nothing";
  }
  return "?";
}

std::string Tree(std::string_view pattern) {
  TREParser parser(pattern);
  parser.Parse();
  return Show(parser.Tree().Root);
}

std::string Leaves(std::string_view pattern) {
  TREParser parser(pattern);
  parser.Parse();
  std::string out;
  for (const auto& leaf : parser.Tree().LeafList()) out += Show(leaf.get()) + " ";
  return out;
}

std::pair<std::string, int> ParseError(std::string_view pattern) {
  try {
    TREParser parser(pattern);
    parser.Parse();
  } catch (const ERegExpParser& e) {
    return {e.what(), e.ErrorPos};
  }
  return {"no error", 0};
}

TEST(ParserTest, EmptyForms) {
  EXPECT_EQ(Tree(""), "Empty");
  EXPECT_EQ(Tree("()"), "Empty");
  EXPECT_EQ(Tree("(())"), "Empty");
  EXPECT_EQ(Tree("a|"), "Union(a,Empty)");
  EXPECT_EQ(Tree("|"), "Union(Empty,Empty)");
  EXPECT_EQ(Tree("(|a)"), "Union(Empty,a)");
}

TEST(ParserTest, Precedence) {
  EXPECT_EQ(Tree("ab*"), "Concat(a,Closure(b))");
  EXPECT_EQ(Tree("(ab)*"), "Closure(Concat(a,b))");
  EXPECT_EQ(Tree("a|bc"), "Union(a,Concat(b,c))");
  EXPECT_EQ(Tree("a|b|c"), "Union(Union(a,b),c)");
  EXPECT_EQ(Tree("a+"), "Concat(a,Closure(a))");
  EXPECT_EQ(Tree("a?"), "Union(a,Empty)");
  EXPECT_EQ(Tree("x^"), "Concat(x,LHead)");
  EXPECT_EQ(Tree("a$b"), "Concat(Concat(a,LTail),b)");
  EXPECT_EQ(Tree("{1}-"), "Concat(Concat(Concat({,1),}),-)");
}

TEST(ParserTest, PlusSharesItsOperand) {
  TREParser parser("a+");
  parser.Parse();
  const RE_Node_t* root = parser.Tree().Root;
  EXPECT_EQ(root->Left, root->Right->Left);
}

TEST(ParserTest, Errors) {
  const std::string primary = SystemText("普通の文字、または左括弧\"(\"が必要です");
  EXPECT_EQ(ParseError("a**"), std::make_pair(primary, 4));
  EXPECT_EQ(ParseError("*a"), std::make_pair(primary, 2));
  EXPECT_EQ(ParseError("a|*"), std::make_pair(primary, 4));
  EXPECT_EQ(ParseError("(+)"), std::make_pair(primary, 3));
  EXPECT_EQ(ParseError("a+?").first, primary);
  EXPECT_EQ(ParseError("a]").first, primary);
  EXPECT_EQ(ParseError("a)"), std::make_pair(SystemText("正規表現に余分な文字があります"), 3));
  EXPECT_EQ(ParseError("(a"), std::make_pair(SystemText("右(閉じ)括弧が必要です"), 3));
  EXPECT_EQ(ParseError("[]"), std::make_pair(SystemText("不正なキャラクタクラス指定です。"), 3));
  EXPECT_EQ(ParseError("[^]").first, SystemText("不正なキャラクタクラス指定です。"));
  EXPECT_EQ(ParseError("[]a]").first, SystemText("不正なキャラクタクラス指定です。"));
  EXPECT_EQ(ParseError("ab[c").first, SystemText("右ブラケット\"]\"が必要です"));
}

TEST(ParserTest, DeepNestingIsRefusedNotACrash) {
  const std::string deep = std::string(100000, '(') + "a" + std::string(100000, ')');
  EXPECT_EQ(ParseError(deep).first, SystemText("正規表現が複雑すぎます"));
  const std::string fine = std::string(500, '(') + "a" + std::string(500, ')');
  EXPECT_EQ(ParseError(fine).first, "no error");
}

TEST(ParserTest, LeavesAreSharedAndSplit) {
  EXPECT_EQ(Leaves("[aa]"), "a ");
  EXPECT_EQ(Leaves("abab"), "a b ");
  EXPECT_EQ(Leaves("[a-cb]"), "b a c ");
  EXPECT_EQ(Leaves("[a-z]|[m-q]x"), "[m-q] x [a-l] [r-w] [y-z] ");
  EXPECT_EQ(Leaves("."), "[B-C] [1-9] [E-FCFC] ");
  EXPECT_EQ(Tree("[a-cb]"), "Union(Union(Union(a,b),c),b)");
}

TEST(ParserTest, NegativeClassesAreBuiltFromRanges) {
  EXPECT_EQ(Tree("[^a]"), "Union(Union(Union([B-C],[1-9]),[E-`]),[b-FCFC])");
  EXPECT_EQ(Leaves("[^acb]"), "[B-C] [1-9] [E-`] [d-FCFC] ");
  EXPECT_EQ(Leaves("[^\\x01-\\x7F]"), "[80-FCFC] ");
  EXPECT_EQ(Tree("[^\\x01-\\xFCFC]"), "Nothing");
  EXPECT_EQ(Tree("a[^\\x01-\\xFFFF]*"), "Concat(a,Closure(Nothing))");
}

TEST(ParserTest, SplitLeavesKeepTheLanguage) {
  // Every original range is the union of final leaves, and the final leaves are disjoint.
  TREParser parser("[a-m][f-z][h-j]k|[\\x01-\\xFFFF]");
  parser.Parse();
  const auto& leaves = parser.Tree().LeafList();
  for (std::size_t i = 0; i < leaves.size(); ++i)
    for (std::size_t j = i + 1; j < leaves.size(); ++j)
      EXPECT_TRUE(leaves[i]->High < leaves[j]->Low || leaves[j]->High < leaves[i]->Low);
}

TEST(ParserTest, ConvertLeafToUnionNeedsBothParts) {
  TREParseTree tree;
  RE_Node_t* leaf = tree.MakeLeaf('a', 'a');
  EXPECT_THROW(tree.ConvertLeafToUnion(leaf, nullptr, leaf), std::runtime_error);
  EXPECT_EQ(tree.MakeLeafIfNonEmpty('b', 'a'), nullptr);
}

// NFA construction lives on the parse tree, so its shapes are checked here as well.
std::string Nfa(std::string_view pattern, bool* head = nullptr, bool* tail = nullptr) {
  TREParser parser(pattern);
  parser.Parse();
  TRE_NFA nfa(parser, 0xFFFE, 0xFFFD);
  nfa.Build();
  if (head) *head = nfa.UsesLineHead;
  if (tail) *tail = nfa.UsesLineTail;
  std::string out;
  for (std::size_t s = 0; s < nfa.StateList().size(); ++s) {
    out += std::to_string(s) + ":";
    const auto& chain = nfa.StateList()[s];
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      const auto& t = *it;
      const std::string label = t.Low == kEmptyMoveSymbol ? "e" : (t.Low == t.High ? Code(t.Low) : Code(t.Low) + "-" + Code(t.High));
      out += " " + label + ">" + std::to_string(t.Target);
    }
    out += ";";
  }
  return out;
}

TEST(NfaTest, Shapes) {
  EXPECT_EQ(Nfa(""), "0: e>1;1:;");
  EXPECT_EQ(Nfa("ab"), "0: a>2;1:;2: b>1;");
  EXPECT_EQ(Nfa("a*"), "0: e>2;1:;2: e>1 a>3;3: e>2;");
  EXPECT_EQ(Nfa("a|b"), "0: b>1 a>1;1:;");
}

TEST(NfaTest, AnchorsOnlyFromEntryAndIntoFinal) {
  bool head = false, tail = false;
  EXPECT_EQ(Nfa("^a", &head, &tail), "0: FFFD>2;1:;2: a>1;");
  EXPECT_TRUE(head);
  EXPECT_FALSE(tail);
  EXPECT_EQ(Nfa("a^", &head, &tail), "0: a>2;1:;2: ^>1;");
  EXPECT_FALSE(head);
  Nfa("^", &head, &tail);
  EXPECT_TRUE(head && !tail);
  Nfa("$", &head, &tail);
  EXPECT_TRUE(!head && tail);
  Nfa("^$", &head, &tail);
  EXPECT_TRUE(head && tail);
  EXPECT_EQ(Nfa("a$b", &head, &tail), "0: a>3;1:;2: b>1;3: $>2;");
  EXPECT_TRUE(!head && !tail);
  Nfa("x|^y", &head, &tail);
  EXPECT_TRUE(head);
  Nfa("(^a)*", &head, &tail);
  EXPECT_FALSE(head);
  Nfa("(a|b$)", &head, &tail);
  EXPECT_TRUE(tail);
  Nfa("($)*", &head, &tail);
  EXPECT_FALSE(tail);
}

TEST(NfaTest, CodesThatNoSubjectHoldsGetNoMove) {
  // Code 0 is the end of a subject and codes above 0xFCFF label empty and anchor moves.
  EXPECT_EQ(Nfa("\\0"), "0:;1:;");
  EXPECT_EQ(Nfa("\\xFFFF"), "0:;1:;");
  EXPECT_EQ(Nfa("[\\x00-\\xFFFF]"), "0: 1-FCFF>1;1:;");
}

TEST(NfaTest, StateSet) {
  TRE_NFAStateSet a(20), b(20);
  EXPECT_EQ(a.ByteCount, 3u);
  a.Include(17);
  EXPECT_TRUE(a.Contains(17));
  EXPECT_FALSE(a.Contains(16));
  EXPECT_FALSE(a.Equals(b));
  b.Include(17);
  EXPECT_TRUE(a.Equals(b));
}

}  // namespace
}  // namespace tarn::pattern

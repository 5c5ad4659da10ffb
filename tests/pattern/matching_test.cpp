#include <gtest/gtest.h>

#include <cstdio>

#include "core/system_text.h"
#include "pattern/regular_expression.h"

namespace tarn::pattern {
namespace {

using Hit = std::pair<int, int>;  // (1-based start, length); (0, 0) for no match

Hit Find(std::string_view pattern, const std::string& subject, TMatchCORE_LineSeparator sep = mcls_CRLF) {
  TAWKStr awk;
  awk.SetRegExp(pattern);
  awk.SetLineSeparator(sep);
  int start = -1, length = -1;
  const int result = awk.Match(subject, start, length);
  EXPECT_EQ(result, start);
  return {start, length};
}

const Hit kNone{0, 0};

TEST(MatchTest, LeftmostLongest) {
  EXPECT_EQ(Find("abc", "xxabcx"), Hit(3, 3));
  EXPECT_EQ(Find("a|ab", "xab"), Hit(2, 2));
  EXPECT_EQ(Find(SystemText("あ+"), SystemText("xああい")), Hit(2, 4));
  EXPECT_EQ(Find("a*", "bbb"), Hit(1, 0));
  EXPECT_EQ(Find("", ""), Hit(1, 0));
  EXPECT_EQ(Find("a", ""), kNone);
  EXPECT_EQ(Find("x*", ""), Hit(1, 0));
  EXPECT_EQ(Find("b+", "abbbc"), Hit(2, 3));
  EXPECT_EQ(Find("(a|b)*c", "xababcab"), Hit(2, 5));
}

TEST(MatchTest, DotAndClasses) {
  EXPECT_EQ(Find(".", "\r"), kNone);
  EXPECT_EQ(Find(".", "\n"), kNone);
  EXPECT_EQ(Find("a.c", "a\x0b" "c"), Hit(1, 3));
  EXPECT_EQ(Find("[^a]", "aab"), Hit(3, 1));
  EXPECT_EQ(Find("[^a]+", "a\r\nbc"), Hit(4, 2));
  EXPECT_EQ(Find("[" + SystemText("あ-ん") + "]+", SystemText("アいうエ")), Hit(3, 4));
}

TEST(MatchTest, DoubleByteCharactersAreNeverSplit) {
  // "ア" is 0x83 0x41 and "ー" is 0x81 0x5B: neither holds an "A" or a "[".
  EXPECT_EQ(Find("A", SystemText("ア")), kNone);
  EXPECT_EQ(Find("\\[", SystemText("ー")), kNone);
  EXPECT_EQ(Find("\\[", SystemText("ー") + "["), Hit(3, 1));
  EXPECT_EQ(Find("\\x8341", SystemText("xア")), Hit(2, 2));
}

TEST(MatchTest, LineHead) {
  EXPECT_EQ(Find("^abc", "x\nabc"), Hit(3, 3));
  EXPECT_EQ(Find("^abc", "xabc"), kNone);
  EXPECT_EQ(Find("^abc", "abc"), Hit(1, 3));
  EXPECT_EQ(Find("^a|b", "cb"), Hit(2, 1));
  EXPECT_EQ(Find("^a|b", "ab"), Hit(1, 1));
  EXPECT_EQ(Find("a^", "a^"), Hit(1, 2));
}

TEST(MatchTest, LineTail) {
  EXPECT_EQ(Find("abc$", "abc\r\n"), Hit(1, 3));
  EXPECT_EQ(Find("abc$", "abc\r\n", mcls_LF), kNone);
  EXPECT_EQ(Find("abc$", "abc\n", mcls_LF), Hit(1, 3));
  EXPECT_EQ(Find("a$", "a\rb"), Hit(1, 1));
  EXPECT_EQ(Find("$", "abc"), Hit(4, 0));
  EXPECT_EQ(Find("^$", ""), Hit(1, 0));
  EXPECT_EQ(Find("^$", "x"), kNone);
  EXPECT_EQ(Find("^$", "x\n"), Hit(3, 0));
  EXPECT_EQ(Find("ab*$", "abbb"), Hit(1, 4));
  EXPECT_EQ(Find("ab*$", "abbbc"), kNone);
  EXPECT_EQ(Find("a$b", "a$b"), Hit(1, 3));
}

TEST(MatchTest, CodesOutsideTextNeverMatchNorHang) {
  EXPECT_EQ(Find("a\\0*", "abc"), Hit(1, 1));
  EXPECT_EQ(Find("a\\0", "a"), kNone);
  EXPECT_EQ(Find("\\xFFFF", "abc"), kNone);
  EXPECT_EQ(Find("x\\xFFFE", "x"), kNone);     // not the line-tail symbol
  EXPECT_EQ(Find("\\xFFFD*x", "ax"), Hit(2, 1));  // nor the line-head symbol
  EXPECT_EQ(Find("[^\\x01-\\xFCFC]", "abc\r\n"), kNone);
  EXPECT_EQ(Find("a[^\\x01-\\xFCFC]*", "ab"), Hit(1, 1));
}

TEST(MatchTest, LoneLeadByteAtTheEndOfASubject) {
  EXPECT_EQ(Find("b", "a\x82"), kNone);
  EXPECT_EQ(Find("\\x82", "a\x82"), Hit(2, 1));
  EXPECT_EQ(Find("^x", "a\n\x82"), kNone);
  EXPECT_EQ(Find("$", "a\x82"), Hit(3, 0));
}

TEST(MatchTest, SubjectEndsAtNul) {
  EXPECT_EQ(Find("b", std::string("a\0b", 3)), kNone);
  EXPECT_EQ(Find("a$", std::string("a\0b", 3)), Hit(1, 1));
}

TEST(LiteralTest, PlainStringsOnly) {
  TAWKStr awk;
  EXPECT_TRUE(awk.IsLiteral());
  EXPECT_EQ(awk.LiteralText(), "");
  awk.SetRegExp("abc");
  EXPECT_TRUE(awk.IsLiteral());
  EXPECT_EQ(awk.LiteralText(), "abc");
  awk.SetRegExp(SystemText("あい\\x41"));
  EXPECT_TRUE(awk.IsLiteral());
  EXPECT_EQ(awk.LiteralText(), SystemText("あいA"));
  for (const char* p : {"ab?", "a|b", "[ab]", "a*", "ab*c", "a\\0", "[^\\x01-\\xFCFC]"}) {
    awk.SetRegExp(p);
    EXPECT_FALSE(awk.IsLiteral()) << p;
    EXPECT_EQ(awk.LiteralText(), "") << p;
  }
  awk.SetRegExp("a*[^\\x01-\\xFCFC]");  // a cycle the literal test must not follow forever
  EXPECT_FALSE(awk.IsLiteral());
}

// The anchor symbols of the file grep: both are the line feed.
class LineFeedAnchors : public TRegularExpression {
 public:
  RE_Char_t LineHeadSymbol() const override { return 10; }
  RE_Char_t LineTailSymbol() const override { return 10; }
};

// Whether the automaton accepts after reading all of codes from its initial state.
bool Accepts(const TRE_DFA& dfa, std::initializer_list<RE_Char_t> codes) {
  RE_DFAState s = dfa.InitialState();
  for (const RE_Char_t c : codes) s = dfa.NextState(s, c);
  return dfa.Accepting(s);
}

TEST(DfaTest, AnchorMoveOnARealCharacterIsNotShadowed) {
  LineFeedAnchors re;
  re.SetRegExp("a[\\x01-\\x7f]*$");
  const TRE_DFA& dfa = re.CurrentDFA();
  EXPECT_TRUE(Accepts(dfa, {'a', 10}));
  EXPECT_TRUE(Accepts(dfa, {'a', 'b', 'c', 10}));
  EXPECT_TRUE(Accepts(dfa, {'a', 'b', 10, 'c', 10}));  // the class holds the line feed too
  EXPECT_FALSE(Accepts(dfa, {'a', 'b', 'c'}));
  for (RE_DFAState s = 0; s < dfa.StateCount(); ++s) {
    const auto moves = dfa.Transitions(s);
    for (std::size_t i = 1; i < moves.size(); ++i) EXPECT_GT(moves[i].Low, moves[i - 1].High);
  }
}

TEST(DfaTest, FileGrepSymbolsInTheLiteral) {
  LineFeedAnchors re;
  re.SetRegExp("^abc");
  EXPECT_TRUE(re.IsLiteral());
  EXPECT_EQ(re.LiteralText(), "\nabc");
  EXPECT_TRUE(re.UsesLineHead());
  EXPECT_FALSE(re.UsesLineTail());
}

TEST(DfaTest, ExplosiveAutomataAreRefused) {
  std::string pattern = "(a|b)*a";
  for (int i = 0; i < 20; ++i) pattern += "(a|b)";
  TAWKStr awk;
  try {
    awk.SetRegExp(pattern);
    FAIL() << "compiled";
  } catch (const ERegExpParser& e) {
    EXPECT_EQ(std::string(e.what()), SystemText("正規表現が複雑すぎます"));
  }
  EXPECT_EQ(awk.RegExp(), "");
  EXPECT_EQ(awk.CurrentIndex(), 0u);
  // Eight repetitions compile (2^9 subsets plus the initial state).
  pattern = "(a|b)*a";
  for (int i = 0; i < 8; ++i) pattern += "(a|b)";
  awk.SetRegExp(pattern);
  EXPECT_EQ(awk.CurrentDFA().StateCount(), 513u);
  int start = 0, length = 0;
  EXPECT_EQ(awk.Match("bbbabbbbbbbbb", start, length), 1);
  EXPECT_EQ(length, 12);
}

TEST(DfaTest, OverlappingClassesAndNestedRepetitionAreBounded) {
  const std::string tooComplex = SystemText("正規表現が複雑すぎます");
  std::string nested;
  for (int i = 1; i < 3000; ++i) {
    char range[32];
    std::snprintf(range, sizeof range, "%s[\\x%04X-\\x%04X]", i > 1 ? "|" : "", i, 0xFCFC - i);
    nested += range;
  }
  std::string plus = std::string(25, '(') + "a";
  for (int i = 0; i < 25; ++i) plus += ")+";
  for (const std::string& pattern : {nested, plus}) {
    TAWKStr awk;
    try {
      awk.SetRegExp(pattern);
      ADD_FAILURE() << "compiled";
    } catch (const ERegExpParser& e) {
      EXPECT_EQ(std::string(e.what()), tooComplex);
      EXPECT_EQ(e.ErrorPos, 1);
    }
  }
}

TEST(DfaTest, LongPatternsStayOffTheStack) {
  std::string pattern(60000, 'a');
  TAWKStr awk;
  EXPECT_THROW(awk.SetRegExp(pattern), ERegExpParser);  // more than the state limit
  pattern.assign(5000, 'a');
  awk.SetRegExp(pattern);
  int start = 0, length = 0;
  EXPECT_EQ(awk.Match("b" + pattern, start, length), 2);
  EXPECT_EQ(length, 5000);
}

}  // namespace
}  // namespace tarn::pattern

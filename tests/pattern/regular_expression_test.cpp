#include "pattern/regular_expression.h"

#include <gtest/gtest.h>

#include "core/system_text.h"

namespace tarn::pattern {
namespace {

class CountingAWKStr : public TAWKStr {
 public:
  int Compiles = 0;

 protected:
  void Compile(const std::string& p) override {
    ++Compiles;
    TAWKStr::Compile(p);
  }
};

TEST(RegularExpressionTest, NewComponent) {
  TAWKStr awk;
  EXPECT_EQ(awk.RegExp(), "");
  EXPECT_EQ(awk.LineSeparator(), mcls_CRLF);
  EXPECT_FALSE(awk.UseFuzzyCharDic());
  EXPECT_FALSE(awk.UseSynonymDic());
  EXPECT_EQ(awk.CacheCount(), 1u);
  EXPECT_EQ(awk.LineHeadSymbol(), 0xFFFD);
  EXPECT_EQ(awk.LineTailSymbol(), 0xFFFE);
  int start = -1, length = -1;
  EXPECT_EQ(awk.Match("abc", start, length), 1);  // before any assignment: the empty pattern
  EXPECT_EQ(length, 0);
}

TEST(RegularExpressionTest, CacheKeepsTheNewestPatterns) {
  CountingAWKStr awk;
  awk.SetRegExp("abc");
  awk.SetRegExp("abc");
  EXPECT_EQ(awk.Compiles, 1);
  EXPECT_EQ(awk.CurrentIndex(), 1u);
  for (int i = 0; i < 28; ++i) awk.SetRegExp("p" + std::to_string(i));
  EXPECT_EQ(awk.CacheCount(), 30u);
  awk.SetRegExp("abc");  // still cached, at the end, and a hit does not move it
  EXPECT_EQ(awk.Compiles, 29);
  EXPECT_EQ(awk.CurrentIndex(), 29u);
  awk.SetRegExp("p28");  // the 29th further pattern drops "abc"
  EXPECT_EQ(awk.CacheCount(), 30u);
  EXPECT_EQ(awk.CachedPattern(0), "");
  EXPECT_EQ(awk.CachedPattern(1), "p28");
  EXPECT_EQ(awk.CachedPattern(29), "p0");
  awk.SetRegExp("abc");
  EXPECT_EQ(awk.Compiles, 31);
  awk.SetRegExp("");
  EXPECT_EQ(awk.CurrentIndex(), 0u);
  EXPECT_EQ(awk.Compiles, 31);
}

TEST(RegularExpressionTest, MalformedPatternLeavesTheEmptyPattern) {
  CountingAWKStr awk;
  awk.SetRegExp("abc");
  try {
    awk.SetRegExp("a(");
    FAIL() << "accepted";
  } catch (const ERegExpParser& e) {
    EXPECT_EQ(std::string(e.what()), SystemText("右(閉じ)括弧が必要です"));
    EXPECT_EQ(e.ErrorPos, 3);
  }
  EXPECT_EQ(awk.RegExp(), "");
  EXPECT_EQ(awk.CurrentIndex(), 0u);
  EXPECT_EQ(awk.CacheCount(), 2u);  // the failed entry is gone
  int start = 0, length = 0;
  EXPECT_EQ(awk.Match("xyz", start, length), 1);
  EXPECT_EQ(length, 0);
  awk.SetRegExp("abc");  // still cached
  EXPECT_EQ(awk.Compiles, 2);
}

TEST(RegularExpressionTest, PreProcessingErrorKeepsThePreviousPattern) {
  TAWKStr awk;
  awk.SetRegExp("abc");
  awk.SetUseFuzzyCharDic(true);
  EXPECT_TRUE(awk.UseFuzzyCharDic());
  try {
    awk.SetRegExp("[abc");
    FAIL() << "accepted";
  } catch (const ERegExpParser& e) {
    EXPECT_EQ(std::string(e.what()), SystemText("右ブラケット\"]\"が必要です"));
  }
  EXPECT_EQ(awk.RegExp(), "abc");
  int start = 0, length = 0;
  EXPECT_EQ(awk.Match("xxabcx", start, length), 3);
  EXPECT_EQ(length, 3);
}

TEST(RegularExpressionTest, SwitchesReassignThroughTheOverride) {
  CountingAWKStr awk;
  awk.SetRegExp("^abc");
  awk.SetUseSynonymDic(true);
  EXPECT_EQ(awk.Compiles, 1);  // no synonyms attached: the processed pattern is the same
  awk.SetUseFuzzyCharDic(true);
  EXPECT_EQ(awk.RegExp(), "^abc");
  EXPECT_EQ(awk.Compiles, 2);
  int start = 0, length = 0;
  EXPECT_EQ(awk.Match("x\nABC", start, length), 3);
  EXPECT_EQ(length, 3);
  TREDictionary dic{{"a", "b"}};
  awk.SynonymDicList().push_back(&dic);
  EXPECT_EQ(awk.SynonymDicList().size(), 1u);
}

TEST(RegularExpressionTest, SearchIsChosenAtAssignment) {
  TAWKStr awk;
  int start = 0, length = 0;
  awk.SetRegExp("^abc");
  EXPECT_EQ(awk.Match("x\nabc", start, length), 3);
  EXPECT_EQ(length, 3);
  awk.SetRegExp("abc");
  EXPECT_EQ(awk.Match("xxabcx", start, length), 3);
  EXPECT_EQ(length, 3);
  awk.SetRegExp("abc$");
  EXPECT_EQ(awk.Match("abc\r\n", start, length), 1);
  awk.SetLineSeparator(mcls_LF);  // no new assignment needed
  EXPECT_EQ(awk.Match("abc\r\n", start, length), 0);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(length, 0);
}

TEST(RegularExpressionTest, MatchCoreOperations) {
  TMatchCORE core;
  core.SetRegExp("^ab");
  const char* s = "ab";
  EXPECT_EQ(core.MatchAtLineHead(s, core.CurrentDFA().InitialState()), s + 2);
  EXPECT_EQ(core.MatchAt(s, core.CurrentDFA().InitialState()), nullptr);
  EXPECT_EQ(core.MatchAt(s, kNoState), nullptr);
  EXPECT_TRUE(core.IsLineSeparator(13));
  EXPECT_FALSE(core.IsLineSeparator(10));
}

}  // namespace
}  // namespace tarn::pattern

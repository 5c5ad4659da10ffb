#include "pattern/line_dfa.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/system_text.h"
#include "pattern/grep.h"
#include "pattern/line_pattern_analysis.h"

namespace tarn::pattern {
namespace {

// Which lines of text (LF-separated, well formed) the automaton matches, driving it byte by byte
// the way the file scan does, and preparing skip lists at every line end.
std::string MatchedLines(TLineDFA& dfa, const std::string& text) {
  std::string out;
  std::size_t line_no = 1;
  std::size_t i = 0;
  while (i < text.size()) {
    bool matched = dfa.LineStartMatches();
    std::uint32_t s = dfa.LineStartState();
    for (; !matched; ++i) {
      const auto b = static_cast<unsigned char>(text[i]);
      std::uint32_t t = dfa.Table()[s + b];
      if (t == TLineDFA::kUnknown) t = dfa.Resolve(s, b);
      if (t == TLineDFA::kMatch) matched = true;
      if (t == TLineDFA::kLineEnd) {
        matched = dfa.LineEndMatches(s);
        dfa.PrepareSkip(s);
        break;
      }
      if (!(t & TLineDFA::kStop)) s = t & ~TLineDFA::kSkip;
    }
    if (matched) out += std::to_string(line_no) + " ";
    i = text.find('\n', i) + 1;
    ++line_no;
  }
  return out;
}

TEST(LineDFA, SmallCacheGivesTheSameLinesAsALargeOne) {
  const std::string text = SystemText("コンピュータ\nこんぴゅーた\nxｺﾝﾋﾟｭｰﾀy\nコンピュ～タ\nabc\n日本語\n\nコンピュタ\n");
  for (const char* pattern : {"(コ|こ|ｺ)(ン|ん|ﾝ)(ピ|ぴ|ﾋﾟ)(ュ|ゅ|ｭ)(ー|～|ｰ|)(タ|た|ﾀ)", "^日本", "^$", "[ァ-ヶ]+", "b?c$"}) {
    TGrep grep;
    grep.SetRegExp(SystemText(pattern));
    TLineDFA large(grep.CurrentDFA());
    TLineDFA small(grep.CurrentDFA(), 4);
    const std::string want = MatchedLines(large, text);
    EXPECT_EQ(MatchedLines(small, text), want) << pattern;
    EXPECT_EQ(MatchedLines(small, text), want) << pattern << " (second pass, after drops)";
  }
}

TEST(LineDFA, SkipListsNameTheBytesThatLeaveAState) {
  TGrep grep;
  grep.SetRegExp(".*ship$");
  TLineDFA dfa(grep.CurrentDFA());
  std::uint32_t s = dfa.LineStartState();
  s = dfa.Resolve(s, 'x') & ~TLineDFA::kSkip;  // inside ".*"
  dfa.PrepareSkip(s);
  const std::string& bytes = dfa.SkipBytes(s);
  EXPECT_NE(bytes.find('s'), std::string::npos);
  EXPECT_NE(bytes.find('\n'), std::string::npos);
  EXPECT_EQ(bytes.find('x'), std::string::npos);
  EXPECT_NE(dfa.Resolve(s, 'x') & TLineDFA::kSkip, 0u);  // staying on "x" is marked for the skip
}

TEST(LinePatternAnalysis, RequiredAndFirstBytes) {
  auto analyse = [](const char* pattern) {
    TGrep grep;
    grep.SetRegExp(SystemText(pattern));
    return RequiredBytes(grep.CurrentDFA()) + "|" + FirstCharacterBytes(grep.CurrentDFA(), 6);
  };
  EXPECT_EQ(analyse("computer"), "computer|c");
  EXPECT_EQ(analyse(".*ship$"), "ship|");  // a match can begin with any character
  EXPECT_EQ(analyse("^" "abc"), "abc|");   // or with the line feed before the line
  EXPECT_EQ(analyse("x(a|b)cd"), "x|x");
  EXPECT_EQ(analyse("(ab|cb)d"), "bd|ac");
  EXPECT_EQ(analyse("a|b"), "|ab");
  EXPECT_EQ(analyse("[a-z]+"), "|");
  EXPECT_EQ(analyse("a*|b"), "|ab");  // the initial state accepts, but runs still start there
}

TEST(LinePatternAnalysis, MatchesStayInLine) {
  auto local = [](const char* pattern) {
    TGrep grep;
    grep.SetRegExp(pattern);
    return MatchesStayInLine(grep.CurrentDFA());
  };
  EXPECT_TRUE(local("^a$"));
  EXPECT_TRUE(local("\\na"));  // a line feed first: the match begins at the end of the line before
  EXPECT_TRUE(local("a\\n"));  // a line feed last
  EXPECT_FALSE(local("a\\nb"));
  EXPECT_FALSE(local("a[\\x01-\\x20]*b"));
}

}  // namespace
}  // namespace tarn::pattern

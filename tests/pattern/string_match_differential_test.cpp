// TAWKStr::Match's one-pass scan against the searches that restart the automaton at every
// character (ForceReferenceMatch): random Shift-JIS subjects and random patterns must give the
// same return value, Start and Length. The seeds are fixed; TARN_MATCH_DIFF_ROUNDS=<n> runs n
// rounds per case instead of the quick default.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/system_text.h"
#include "pattern/regular_expression.h"
#include "pattern/string_match_scan.h"
#include "pattern/synonym_dic.h"

namespace tarn::pattern {
namespace {

using Rng = std::mt19937;
using Result = std::tuple<int, int, int>;  // (return value, Start, Length)
using namespace std::string_literals;

int Rounds(int quick) {
  const char* env = std::getenv("TARN_MATCH_DIFF_ROUNDS");
  return env != nullptr && std::atoi(env) > 0 ? std::atoi(env) : quick;
}

std::size_t Pick(Rng& rng, std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); }
bool Chance(Rng& rng, int percent) { return static_cast<int>(Pick(rng, 100)) < percent; }

// Trail bytes equal to "A", "[", "\", "|" and to lead bytes, a lead byte before CR or LF (read
// as one double-byte code), a half-width kana, the pattern's metacharacters as text.
const std::vector<std::string> kSubjectChars = {
    "a", "b", "c", "x", "A", " ", "\\", "[", "$", "^", "\r", "\n", "\r\n", "\x83\x41", "\x81\x5B", "\x83\x5C",
    "\x95\x5C", "\x82\xA0", "\x88\x9F", "\x81\x7C", "\xB1", "\xE0\x40", "\x83\n", "\x83\r"};

std::string RandomSubject(Rng& rng) {
  std::string s;
  const std::size_t length = Chance(rng, 8) ? 30 + Pick(rng, 200) : Pick(rng, 14);
  for (std::size_t i = 0; i < length; ++i) s += kSubjectChars[Pick(rng, kSubjectChars.size())];
  if (Chance(rng, 10)) s += "\x82";  // a lone lead byte before the terminator
  if (Chance(rng, 10)) s += "\0ab\n"s;  // the subject ends at its first NUL
  return s;
}

const std::vector<std::string> kAtoms = {
    "a", "b", "c", "x", "A", "\\\\", "\\[", "\\$", "\\^", " ", "ア", "ー", "ソ", "表", "あ", "ｱ", ".", "^", "$", "^",
    "$", "\\n", "\\r", "\\x0A", "\\x0D", "\\x82", "\\x8341", "[ab]", "[^a]", "[^\\n]", "[\\x01-\\x20]", "[ア-ソ]",
    "[a-cA]", "[^ア-ソb]", "[ー\\\\]", "[\\t-\\r]", "[^ ]", "[^\\r\\n]", "[\\x01-\\x7F]"};

std::string RandomPattern(Rng& rng, int depth = 0) {
  std::string pattern;
  const std::size_t branches = Chance(rng, 25) ? 2 + Pick(rng, 2) : 1;
  for (std::size_t b = 0; b < branches; ++b) {
    if (b > 0) pattern += "|";
    const std::size_t pieces = Pick(rng, 5);
    for (std::size_t i = 0; i < pieces; ++i) {
      if (depth < 2 && Chance(rng, 12))
        pattern += "(" + RandomPattern(rng, depth + 1) + ")";
      else
        pattern += kAtoms[Pick(rng, kAtoms.size())];
      if (Chance(rng, 25)) pattern += "*+?"[Pick(rng, 3)];
    }
  }
  return pattern;
}

// A matcher that reads "^" and "$" as other symbols, as the file grep does.
class OtherSymbols : public TAWKStr {
 public:
  OtherSymbols(RE_Char_t head, RE_Char_t tail) : head_(head), tail_(tail) {}
  RE_Char_t LineHeadSymbol() const override { return head_; }
  RE_Char_t LineTailSymbol() const override { return tail_; }

 private:
  RE_Char_t head_;
  RE_Char_t tail_;
};

Result Run(const TAWKStr& awk, const std::string& subject) {
  int start = -1, length = -1;
  const int result = awk.Match(subject, start, length);
  return {result, start, length};
}

Result Both(TAWKStr& awk, const std::string& subject, Result* reference) {
  awk.ForceReferenceMatch = true;
  *reference = Run(awk, subject);
  awk.ForceReferenceMatch = false;
  return Run(awk, subject);
}

std::string Printable(const std::string& bytes) { return ::testing::PrintToString(bytes); }

void Compare(TAWKStr& awk, std::uint32_t seed, int rounds) {
  Rng rng(seed);
  const TREDictionary synonyms = ParseSynonymDic(SystemText("ア,a,表\nbc,x,ー\n"));
  awk.SynonymDicList().push_back(&synonyms);
  int matches = 0;
  bool anchored = false;  // the search the last good assignment chose
  auto Assign = [&](const auto& assign) {
    try {
      assign();
      anchored = awk.UsesLineHead() || awk.UsesLineTail();
    } catch (const ERegExpParser&) {
    }
  };
  for (int round = 0; round < rounds; ++round) {
    const std::string pattern = RandomPattern(rng);
    const bool fuzzy = Chance(rng, 15);
    const bool synonym = Chance(rng, 15);
    // A failed assignment leaves the empty pattern (or the previous one) current and the search
    // chosen by the last good one: still worth comparing.
    Assign([&] { awk.SetUseFuzzyCharDic(fuzzy); });
    Assign([&] { awk.SetUseSynonymDic(synonym); });
    Assign([&] { awk.SetRegExp(SystemText(pattern)); });
    for (int t = 0; t < 6; ++t) {
      awk.SetLineSeparator(static_cast<TMatchCORE_LineSeparator>(Pick(rng, Chance(rng, 5) ? 3 : 2)));
      const std::string subject = RandomSubject(rng);
      Result want;
      const Result got = Both(awk, subject, &want);
      ASSERT_EQ(got, want) << "pattern «" << pattern << "» fuzzy " << awk.UseFuzzyCharDic() << " synonyms "
                           << awk.UseSynonymDic() << " separator " << int(awk.LineSeparator()) << " subject "
                           << Printable(subject);
      matches += std::get<0>(want) != 0;
      // The same search with room for one byte row: every other state is looked up directly.
      TStringMatchOptions options;
      options.LineHead = awk.LineHeadSymbol();
      options.LineTail = awk.LineTailSymbol();
      options.Separator = awk.LineSeparator() == mcls_CRLF ? 13 : awk.LineSeparator() == mcls_LF ? 10 : 0;
      options.Anchored = anchored;
      TStringMatchScan tiny(awk.CurrentDFA(), options, 1);
      std::size_t start = 0, end = 0;
      const bool found = tiny.Search(subject.c_str(), start, end);
      EXPECT_EQ(found ? Result(int(start) + 1, int(start) + 1, int(end - start)) : Result(0, 0, 0), want)
          << "small cache, pattern «" << pattern << "»";
    }
  }
  EXPECT_GT(matches, rounds) << "too few subjects matched for the comparison to mean much";
}

TEST(StringMatchDifferential, CarriageReturnAndLineFeedSymbols) {
  TAWKStr awk;
  Compare(awk, 20261209, Rounds(1000));
}

TEST(StringMatchDifferential, LineFeedAnchorsAsTheFileGrepHasThem) {
  OtherSymbols awk(10, 10);
  Compare(awk, 11, Rounds(600));
}

TEST(StringMatchDifferential, AnchorsOnOrdinaryCharacters) {
  OtherSymbols awk(13, 'x');  // overlaps the separator and a pattern letter
  Compare(awk, 5, Rounds(400));
}

using Hit = std::pair<int, int>;  // (Start, Length); (0, 0) for no match

// The hit of both searches, which must agree.
Hit Find(TAWKStr& awk, std::string_view pattern, const std::string& subject, TMatchCORE_LineSeparator sep = mcls_CRLF) {
  awk.SetRegExp(pattern);
  awk.SetLineSeparator(sep);
  Result want;
  const Result got = Both(awk, subject, &want);
  EXPECT_EQ(got, want) << pattern << " on " << Printable(subject);
  return {std::get<1>(got), std::get<2>(got)};
}

TEST(StringMatchQuirks, EmptySubjectsAndTheEmptyMatchAtTheEnd) {
  TAWKStr awk;
  EXPECT_EQ(Find(awk, "x*", ""), Hit(1, 0));
  EXPECT_EQ(Find(awk, "x*", std::string("\0x", 2)), Hit(1, 0));
  EXPECT_EQ(Find(awk, "x", ""), Hit(0, 0));
  EXPECT_EQ(Find(awk, "^$", ""), Hit(1, 0));
  EXPECT_EQ(Find(awk, "$", ""), Hit(1, 0));
  EXPECT_EQ(Find(awk, "$", "ab"), Hit(3, 0));  // no match anywhere, but "$" fits the end
  EXPECT_EQ(Find(awk, "b$|$", "ab\r\nb"), Hit(2, 1));
  EXPECT_EQ(Find(awk, "a\\r*x|$", "a\r\r"), Hit(2, 0));  // before a separator, inside a longer run that fails
  EXPECT_EQ(Find(awk, "^x|$", "ab"), Hit(3, 0));
  EXPECT_EQ(Find(awk, "^x*$", "ab\n"), Hit(4, 0));  // the line head after the last line feed
  EXPECT_EQ(Find(awk, "^x*$", "ab\r"), Hit(0, 0));
}

TEST(StringMatchQuirks, LineTailEndsTheRunBeforeTheSeparator) {
  TAWKStr awk;
  EXPECT_EQ(Find(awk, "a$", "a\nb"), Hit(0, 0));  // a line feed is no separator for CR LF lines
  EXPECT_EQ(Find(awk, "a$", "a\nb", mcls_LF), Hit(1, 1));
  EXPECT_EQ(Find(awk, "a\r?$", "a\r"), Hit(1, 2));  // the separator itself taken, then the end
  EXPECT_EQ(Find(awk, "a[^b]*$", "axx\rxb"), Hit(1, 3));
  EXPECT_EQ(Find(awk, "a[x\\r]*$", "axx\rx"), Hit(1, 5));  // a separator the run takes is no end
  EXPECT_EQ(Find(awk, "a[x\\r]*$", "axx\rxb"), Hit(0, 0));  // only where the run dies
  EXPECT_EQ(Find(awk, "ab*$", std::string("abb\0c", 5)), Hit(1, 3));
  EXPECT_EQ(Find(awk, "x$", "\x83x"), Hit(0, 0));  // "x" is the trail byte of a double-byte character
  EXPECT_EQ(Find(awk, "\\x82$", "a\x82"), Hit(2, 1));  // a lone lead byte before the end reads as itself
}

TEST(StringMatchQuirks, LineHeadRunsOnlyAfterLineFeeds) {
  TAWKStr awk;
  EXPECT_EQ(Find(awk, "^b", "a\rb"), Hit(0, 0));
  EXPECT_EQ(Find(awk, "^b", "a\nb"), Hit(3, 1));  // whatever the separator
  EXPECT_EQ(Find(awk, "^b", "a\x83\nb"), Hit(0, 0));  // that line feed is a trail byte
  EXPECT_EQ(Find(awk, "^a|ab", "x\nab"), Hit(3, 2));  // the line-head run and the plain one: longest
  EXPECT_EQ(Find(awk, "^ab|a", "x\nab"), Hit(3, 2));
  EXPECT_EQ(Find(awk, "^b|a[\\x01-\\x7F]*c", "a\nb"), Hit(3, 1));  // inside a longer run that fails
  OtherSymbols grep_like(10, 10);
  // With real characters as anchor symbols the anchors are characters of the match too.
  EXPECT_EQ(Find(grep_like, "^ab", "x\nab"), Hit(2, 3));
  EXPECT_EQ(Find(grep_like, "b$", "ab\n", mcls_LF), Hit(2, 2));
  EXPECT_EQ(Find(grep_like, "b$", "ab", mcls_LF), Hit(2, 1));
}

TEST(StringMatchQuirks, AssignmentsReplaceTheScan) {
  TAWKStr awk;
  EXPECT_EQ(Find(awk, "^a", "ba"), Hit(0, 0));
  EXPECT_EQ(Find(awk, "a", "ba"), Hit(2, 1));
  EXPECT_THROW(awk.SetRegExp("a("), ERegExpParser);
  int start = 0, length = 0;
  EXPECT_EQ(awk.Match("ba", start, length), 1);  // the empty pattern
  EXPECT_EQ(length, 0);
  for (int i = 0; i < 40; ++i)  // the cache drops old automata; none may be read afterwards
    EXPECT_EQ(Find(awk, "b" + std::to_string(i), "xb" + std::to_string(i)), Hit(2, 1 + int(std::to_string(i).size())));
  awk.SetRegExp("a$");
  EXPECT_EQ(awk.Match("a\n", start, length), 0);
  awk.SetLineSeparator(mcls_LF);  // takes effect without a new assignment
  EXPECT_EQ(awk.Match("a\n", start, length), 1);
}

TEST(StringMatchQuirks, AutomataTooLargeToSimplifyStillMatch) {
  TAWKStr awk;
  const std::string chain(1000, 'a');  // a thousand states, each told apart only at the end
  EXPECT_EQ(Find(awk, chain + "|a*b", std::string(1500, 'a') + "c"), Hit(1, 1000));
  EXPECT_EQ(Find(awk, chain + "|a*b", std::string(999, 'a') + "b"), Hit(1, 1000));
  EXPECT_EQ(Find(awk, "x" + chain + "$", "xx" + chain + "\r"), Hit(2, 1001));
}

TEST(StringMatchQuirks, LongLinesTakeOnePass) {
  // Each of these makes the restarting searches quadratic.
  TAWKStr awk;
  const std::string as(200000, 'a');
  awk.SetRegExp("a.*b|c");
  int start = 0, length = 0;
  EXPECT_EQ(awk.Match(as + "c", start, length), 200001);
  EXPECT_EQ(length, 1);
  awk.SetRegExp("(a|b)*(b|x)$");
  EXPECT_EQ(awk.Match(as + "x\r\n", start, length), 1);
  EXPECT_EQ(length, 200001);
  awk.SetRegExp(SystemText("^(あ|a)*い"));
  const std::string line = SystemText("あa\n");
  std::string mixed;
  for (int i = 0; i < 50000; ++i) mixed += line;
  EXPECT_EQ(awk.Match(mixed, start, length), 0);
}

}  // namespace
}  // namespace tarn::pattern

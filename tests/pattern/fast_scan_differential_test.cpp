// The fast file scan against the character-by-character scans on random Shift-JIS texts and
// random patterns: both must report the same lines, numbers and texts. The seeds are fixed;
// TARN_DIFF_ROUNDS=<n> runs n rounds per case instead of the quick default.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "pattern/fast_line_scan.h"
#include "random_sjis_text.h"

namespace tarn::pattern {
namespace {

using namespace testing;

void Compare(std::uint32_t seed, int rounds, bool broken_texts) {
  Rng rng(seed);
  DiffGrep grep;
  int fast_cases = 0;
  for (int round = 0; round < rounds; ++round) {
    const std::string pattern = RandomPattern(rng);
    const bool fuzzy = Chance(rng, 20);
    const bool synonyms = Chance(rng, 20);
    if (!grep.Set(pattern, fuzzy, synonyms)) continue;
    if (grep.Fast()) ++fast_cases;
    for (int t = 0; t < 4; ++t) {
      std::string text = RandomText(rng, broken_texts);
      const std::size_t block = std::vector<std::size_t>{1, 2, 3, 7, 16, 64, 2048, 102400}[Pick(rng, 8)];
      // Every other text goes through the text test, mostly as a text file (NULs only late).
      const bool if_text = t % 2 == 1;
      if (if_text && !Chance(rng, 20))
        std::replace(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(std::min(text.size(), kTextTestBytes)), '\0', ' ');
      const std::string want = grep.Run(text, block, true, if_text);
      const std::string got = grep.Run(text, block, false, if_text);
      ASSERT_EQ(got, want) << "pattern «" << pattern << "» fuzzy " << fuzzy << " synonyms " << synonyms
                           << " block " << block << " if_text " << if_text << " text " << Printable(text);
    }
  }
  EXPECT_GT(fast_cases, rounds / 4) << "too few patterns took the fast scan";
}

TEST(FastScanDifferential, WellFormedTexts) { Compare(20261209, Rounds(100), false); }

TEST(FastScanDifferential, LeadBytesBeforeLineEnds) { Compare(7, Rounds(50), true); }

TEST(FastScanDifferential, LineStartLiterals) {
  // Lines that begin with the text, with its first or second byte alone, or with it right after
  // a lead byte; every kind of line end, lead bytes before them, long stretches without a hit.
  // Line ends are counted only on the way to a line that begins with the text: a third of the
  // texts lack the text's first character in their second half (where lead bytes before line
  // ends must then change nothing), a third in their first; the small blocks split CR LF and the
  // text at block ends.
  const std::vector<std::string> pieces = {"\x93\xFA\x96{", "\x93\xFA", "\x93", "\x93\xFA\x96", "\x96{", "\xFA", "\xFA\x96{", "\x83",
                                           "a", "ab", "z", "\n", "\r\n", "\r", "\r\r\n", "\x83\n", "\x83\r",
                                           std::string("\0", 1), "                                "};
  const std::vector<std::string> other_pieces(pieces.begin() + 4, pieces.end());
  DiffGrep grep;
  Rng rng(5);
  for (int round = 0; round < Rounds(150); ++round) {
    const std::string pattern = PickOf(rng, std::vector<std::string>{"^日本", "^日", "^ab", "^a", "^本z", "^日本a", "^ a", "^a "});
    ASSERT_TRUE(grep.Set(pattern, false, false));
    std::string text;
    // Every tenth text: a line that begins with 日本 found by the search, then more line ends
    // than a byte counter of the vector counts holds (LF alone, or every kind).
    if (round % 10 == 0) {
      text = "a\n\x93\xFA\x96{\n";
      for (int n = 0; n < 9000; ++n) text += round % 20 == 0 ? "\n" : PickOf(rng, std::vector<std::string>{"\n", "\r\n", "\r", "a\n"});
    }
    const std::size_t size = Pick(rng, 400);
    for (std::size_t n = 0; n < size; ++n)
      text += PickOf(rng, (round % 3 == 1 && n > size / 2) || (round % 3 == 2 && n < size / 2) ? other_pieces : pieces);
    for (const std::size_t block : {2, 3, 7, 35, 36, 37, 64, 100, 1000, 102400}) {
      ASSERT_EQ(grep.Run(text, block, false), grep.Run(text, block, true))
          << pattern << " block " << block << " text " << Printable(text);
    }
  }
}

TEST(FastScanDifferential, LiteralsFoundByTheirBytesOnlyAtCharacterBoundaries) {
  DiffGrep grep;
  // "A" inside ア, "[" inside ー, "\" inside ソ and 表; line ends of every kind; a NUL.
  const std::string text = "\x83\x41\r\nx[\x81\x5B\r\x83\x5C\\\n\x95\x5C\0A\nq1\\^\n"s + std::string(300, 'z') + "A";
  for (const char* pattern : {"A", "\\[", "\\\\", "ア", "^A", "A$", "z*A$", "[^a]A", "表", "[ー\\\\]^|1*"}) {
    ASSERT_TRUE(grep.Set(pattern, false, false)) << pattern;
    EXPECT_TRUE(grep.Fast()) << pattern;
    for (const std::size_t block : {1, 5, 64, 102400})
      EXPECT_EQ(grep.Run(text, block, false), grep.Run(text, block, true)) << pattern << " block " << block;
  }
}

TEST(FastScanDifferential, LineEndInsideACharacterIsLeftToTheExactScan) {
  DiffGrep grep;
  // The reference scan reads the CR after the lead byte 0x83 as its trail byte and runs on into
  // the next line; the skipped first line must not hide that.
  const std::string text = "x\x83\r\x95\x5C\nab\n";
  ASSERT_TRUE(grep.Set("x.表", false, false));
  EXPECT_TRUE(grep.Fast());
  EXPECT_EQ(grep.Run(text, 102400, true), "1:x\x83|");
  EXPECT_EQ(grep.Run(text, 102400, false), "1:x\x83|");
  EXPECT_EQ(grep.Run(text, 2, false), "1:x\x83|");
  // The same inside a long stretch of lines that the prefilter skips.
  std::string padded;
  for (int i = 0; i < 30; ++i) padded += "zzz\r\n";
  padded += text;
  for (int i = 0; i < 30; ++i) padded += "\x95zz\n";
  EXPECT_EQ(grep.Run(padded, 102400, true), "31:x\x83|");
  EXPECT_EQ(grep.Run(padded, 102400, false), "31:x\x83|");
}

TEST(FastScanDifferential, MatchesAcrossLineEndsKeepTheExactScan) {
  DiffGrep grep;
  for (const char* pattern : {"a\\nb", "a[\\x01-\\x20]*b", "a(\\n|x)*b", "[\\x01-\\x20]+b"}) {
    ASSERT_TRUE(grep.Set(pattern, false, false));
    EXPECT_FALSE(grep.Fast()) << pattern;
  }
  for (const char* pattern : {".*ship$", "^日本", "[ァ-ヶ]+ー", "猫|犬", "^$", "^", "a[^x]b", "a*"}) {
    ASSERT_TRUE(grep.Set(pattern, false, false));
    EXPECT_TRUE(grep.Fast()) << pattern;
  }
}

TEST(FastScan, CountsEveryKindOfLineEnd) {
  const std::string text = std::string(40, 'x') + "\r\n\n\r\rab\r" + std::string(33, '\n') + "\r\n\r";
  EXPECT_EQ(CountLineEnds(text.data(), text.data() + text.size()), 39u);
  EXPECT_EQ(CountLineEnds(text.data(), text.data()), 0u);
  // Long enough for every vector width, at every offset.
  Rng rng(3);
  std::string mixed;
  for (int i = 0; i < 3000; ++i) mixed += "\r\nab\x83"[Pick(rng, 5)];
  for (std::size_t offset = 0; offset < 40; ++offset) {
    std::size_t want = 0;
    for (std::size_t i = offset; i < mixed.size(); ++i)
      want += mixed[i] == '\n' || (mixed[i] == '\r' && (i + 1 == mixed.size() || mixed[i + 1] != '\n'));
    EXPECT_EQ(CountLineEnds(mixed.data() + offset, mixed.data() + mixed.size()), want) << offset;
  }
}

TEST(FastScan, FindsBytesWithTheRarestByteFirst) {
  const TByteFinder finder("computer");
  const std::string hay = "compute computes comp computer!";
  EXPECT_EQ(finder.Find(hay.data(), hay.data() + hay.size()), hay.data() + 22);
  EXPECT_EQ(finder.Find(hay.data(), hay.data() + 29), nullptr);
}

}  // namespace
}  // namespace tarn::pattern

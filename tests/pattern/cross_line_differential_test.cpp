// The exact scan against the character-by-character scans for patterns whose runs go on over
// line ends, on random Shift-JIS texts: both must report the same lines, numbers and texts.
// The seeds are fixed; TARN_DIFF_ROUNDS=<n> runs n rounds per case instead of the quick default.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pattern/cross_line_scan.h"
#include "random_sjis_text.h"

namespace tarn::pattern {
namespace {

using namespace testing;

const std::vector<std::size_t> kBlocks = {1, 2, 3, 5, 7, 16, 64, 102400};

void Compare(std::uint32_t seed, int rounds, const TextShape& shape) {
  Rng rng(seed);
  DiffGrep grep;
  int cross_cases = 0;
  for (int round = 0; round < rounds; ++round) {
    const std::string pattern = RandomCrossLinePattern(rng);
    const bool fuzzy = Chance(rng, 15);
    const bool synonyms = Chance(rng, 15);
    if (!grep.Set(pattern, fuzzy, synonyms)) continue;
    if (!grep.Fast()) ++cross_cases;
    for (int t = 0; t < 3; ++t) {
      const std::string text = RandomText(rng, shape);
      const std::size_t block = PickOf(rng, kBlocks);
      const std::string want = grep.Run(text, block, true);
      const std::string got = grep.Run(text, block, false);
      ASSERT_EQ(got, want) << "pattern «" << pattern << "» fuzzy " << fuzzy << " synonyms " << synonyms << " block "
                           << block << " text " << Printable(text);
    }
  }
  EXPECT_GT(cross_cases, rounds / 2) << "too few patterns crossed line ends";
}

TEST(CrossLineDifferential, WellFormedTexts) { Compare(20261209, Rounds(100), TextShape{12, 300, 0, 20}); }

// Lead bytes before line ends of every kind: the start cursor takes the line end as the trail
// byte, the look-ahead cursor a CR as it stands, and runs of line ends after them.
TEST(CrossLineDifferential, LeadBytesBeforeLineEnds) { Compare(1209, Rounds(100), TextShape{12, 60, 25, 35}); }

// Few records: old paths are dropped all the time, which may cost work but never change a result.
TEST(CrossLineDifferential, RecordsDroppedOnTheWay) {
  Rng rng(77);
  DiffGrep grep;
  for (int round = 0; round < Rounds(60); ++round) {
    const std::string pattern = RandomCrossLinePattern(rng);
    if (!grep.Set(pattern, false, false)) continue;
    TCrossLineScan scan(grep.Grep().CurrentDFA(), 16);
    const std::string text = RandomText(rng, TextShape{60, 200, 10, 20});
    const std::size_t block = PickOf(rng, kBlocks);
    const std::string want = grep.Run(text, block, true);
    std::string got;
    bool cancel = false;
    ASSERT_TRUE(scan.Scan(grep.Write(text), block, cancel, {}, [&](RE_LineInfo_t info) {
      got += std::to_string(info.LineNo) + ":" + info.Line + "|";
    }));
    ASSERT_EQ(got, want) << "pattern «" << pattern << "» block " << block << " text " << Printable(text);
  }
}

}  // namespace
}  // namespace tarn::pattern

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/system_text.h"
#include "pattern/fast_line_scan.h"
#include "pattern/grep.h"
#include "pattern/line_pattern_analysis.h"

namespace tarn::pattern {
namespace {

TEST(CharacterFinder, FirstCharactersOfAPattern) {
  TGrep grep;
  grep.SetRegExp(SystemText("猫|犬|ｺ"));
  EXPECT_EQ(FirstCharacters(grep.CurrentDFA(), 8), (std::vector<std::string>{"\xBA", "\x8C\xA2", "\x94\x4C"}));
  EXPECT_TRUE(FirstCharacters(grep.CurrentDFA(), 2).empty());  // more than asked for
  grep.SetRegExp("^a");
  EXPECT_TRUE(FirstCharacters(grep.CurrentDFA(), 8).empty());  // a match may begin with the line end
  grep.SetRegExp("1|\\x830A");
  EXPECT_TRUE(FirstCharacters(grep.CurrentDFA(), 8).empty());  // or with a line end read as a trail byte
}

TEST(CharacterFinder, FindsWholeCharactersAndLeadBytesAtTheEnd) {
  const TByteFinder finder("", "L", {"\x94\x4C", "\xBA"});  // 猫 and ｺ
  auto find = [&](const std::string& hay) {
    const char* hit = finder.Find(hay.data(), hay.data() + hay.size());
    return hit == nullptr ? -1 : static_cast<int>(hit - hay.data());
  };
  const std::string filler(40, 'x');
  EXPECT_EQ(find(filler + "L\x94" + filler + "\x94\x4C"), 82);  // "L" alone is no candidate
  EXPECT_EQ(find(filler + filler + "\xBA"), 80);
  EXPECT_EQ(find(filler + "\x94"), 40);  // its second byte may follow in the next block
  EXPECT_EQ(find(filler + filler), -1);
}

}  // namespace
}  // namespace tarn::pattern

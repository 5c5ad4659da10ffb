#include "core/comma_text.h"

#include <gtest/gtest.h>

using tarn::ParseCommaText;
using tarn::ToCommaText;
using List = std::vector<std::string>;

TEST(CommaText, WritesQuotesOnlyWhereNeeded) {
  EXPECT_EQ(ToCommaText({}), "");
  EXPECT_EQ(ToCommaText({""}), "\"\"");
  EXPECT_EQ(ToCommaText({"*.txt", "*.c"}), "*.txt,*.c");
  EXPECT_EQ(ToCommaText({"a b", "x,y", "say \"hi\""}), "\"a b\",\"x,y\",\"say \"\"hi\"\"\"");
  EXPECT_EQ(ToCommaText({"a", ""}), "a,");
  // The trail byte of "ソ" is 0x5C, never a quote or comma; a tab is a blank.
  EXPECT_EQ(ToCommaText({"\x83\x5C", "a\tb"}), "\x83\x5C,\"a\tb\"");
}

TEST(CommaText, ReadsItemsBlanksQuotesAndEmptyItems) {
  EXPECT_EQ(ParseCommaText(""), List{});
  EXPECT_EQ(ParseCommaText("\"\""), List{""});
  EXPECT_EQ(ParseCommaText("  *.txt , *.c  "), (List{"*.txt", "*.c"}));
  EXPECT_EQ(ParseCommaText("a b"), (List{"a", "b"}));
  EXPECT_EQ(ParseCommaText("a,,b"), (List{"a", "", "b"}));
  EXPECT_EQ(ParseCommaText("a,"), (List{"a", ""}));
  EXPECT_EQ(ParseCommaText("\"C:\\a,b\\x.txt\",12"), (List{"C:\\a,b\\x.txt", "12"}));
  EXPECT_EQ(ParseCommaText("\"say \"\"hi\"\"\""), List{"say \"hi\""});
  EXPECT_EQ(ParseCommaText("\"open"), List{"open"});
}

TEST(CommaText, RoundTripsAnyList) {
  const List lists[] = {{"a", "", "b"}, {"", "x"}, {"\"", ",", " "}, {"28", "4", "\x90\xB0\x82\xEA", "/doc/my memo.txt", "12"}};
  for (const auto& list : lists) EXPECT_EQ(ParseCommaText(ToCommaText(list)), list);
}

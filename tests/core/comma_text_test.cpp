#include "core/comma_text.h"

#include <gtest/gtest.h>

#include <random>

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

// Bytes that are no valid CP932 text (a lone lead byte before a quote, a comma or the end) are
// kept exactly as well.
TEST(CommaText, RoundTripsAnyBytes) {
  EXPECT_EQ(ToCommaText({"18", "3", "x \x81", "in2/l.txt", "1"}), "18,3,\"x \x81\",in2/l.txt,1");
  std::vector<List> lists = {{"x \x81", "in2/l.txt"}, {"a\x81", "b"}, {"\x81\"", "\x9F,", "\xE0 "},
                             {std::string("n\0l", 3), "\x81"}, {"\"\x81", ",\xFC\"\""}};
  std::mt19937 random(16);
  const std::string alphabet = std::string("\"\x81\x9F\xE0\xFC, \t\0\x40\x5C\x7F\xA0" "az", 16);
  for (int n = 0; n < 500; ++n) {
    List list(1 + random() % 5);
    for (std::string& item : list) {
      const std::size_t length = random() % 8;
      for (std::size_t i = 0; i < length; ++i)
        item += random() % 2 ? alphabet[random() % alphabet.size()] : static_cast<char>(random());
    }
    lists.push_back(std::move(list));
  }
  for (const List& list : lists) EXPECT_EQ(ParseCommaText(ToCommaText(list)), list) << ToCommaText(list);
}

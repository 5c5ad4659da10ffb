#include "core/encoding.h"

#include <gtest/gtest.h>

#include "core/sjis.h"
#include "core/system_text.h"

using namespace tarn;

TEST(Encoding, MicrosoftMappingRoundTrips) {
  // ① Ⅰ ～ ￥ and the half-width katakana ｱ.
  const std::string cp932 = "\x87\x40\x87\x54\x81\x60\x81\x8F\xB1";
  const std::string utf8 = "①Ⅰ～￥ｱ";
  EXPECT_EQ(Cp932ToUtf8(cp932), utf8);
  EXPECT_EQ(Utf8ToCp932(utf8), cp932);
  EXPECT_EQ(SystemText("検索中..."), "\x8C\x9F\x8D\xF5\x92\x86...");
}

TEST(Encoding, BytesThatDoNotConvertAreKeptVisible) {
  // A lone lead byte at the end and an unassigned single byte each become U+FFFD.
  EXPECT_EQ(Cp932ToUtf8("a\x82"), "a\xEF\xBF\xBD");
  EXPECT_EQ(Cp932ToUtf8("a\xA0" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(Utf8ToCp932("a\xF0\x9F\x98\x80" "b"), "a?b");
  EXPECT_FALSE(Utf8ToCp932Exact("\xF0\x9F\x98\x80").has_value());
  EXPECT_THROW(SystemText("\xF0\x9F\x98\x80"), std::logic_error);
}

TEST(Encoding, OneConverterServesLineAfterLine) {
  // A bad byte in one line must not leave the converter in a state that spoils the next.
  TCp932ToUtf8 converter;
  std::string out;
  converter.Append("ab\x82", out);
  converter.Append("\x82\xA0x", out);
  converter.Append("", out);
  converter.Append("\x93\xFA", out);
  EXPECT_EQ(out, "ab\xEF\xBF\xBD" "\xE3\x81\x82x" "\xE6\x97\xA5");
}

TEST(Encoding, FirstCharWithoutCp932NamesWhatWouldBecomeAQuestionMark) {
  EXPECT_EQ(FirstCharWithoutCp932("\xF0\xA0\xAE\xB7野家"), "\xF0\xA0\xAE\xB7");  // 𠮷, outside the BMP
  EXPECT_EQ(FirstCharWithoutCp932("東京\xF0\x9F\x98\x80x\xF0\x9F\x8D\xA3"), "\xF0\x9F\x98\x80");  // the first emoji
  EXPECT_EQ(FirstCharWithoutCp932("a\xEF\xBF\xBD"), "\xEF\xBF\xBD");  // U+FFFD
  EXPECT_EQ(FirstCharWithoutCp932("ab\xE3\x81"), "\xE3\x81");          // cut UTF-8
  EXPECT_EQ(FirstCharWithoutCp932("①Ⅰ～￥ｱ?"), "");
}

TEST(ShiftJis, LeadBytesAndCodes) {
  EXPECT_TRUE(IsLeadByte(static_cast<unsigned char>(0x81)));
  EXPECT_TRUE(IsLeadByte(static_cast<unsigned char>(0x9F)));
  EXPECT_FALSE(IsLeadByte(static_cast<unsigned char>(0xA0)));
  EXPECT_FALSE(IsLeadByte(static_cast<unsigned char>(0xDF)));
  EXPECT_TRUE(IsLeadByte(static_cast<unsigned char>(0xE0)));
  EXPECT_TRUE(IsLeadByte(static_cast<unsigned char>(0xFC)));
  EXPECT_FALSE(IsLeadByte(static_cast<unsigned char>(0xFD)));
  EXPECT_EQ(CharCodeAt("\x82\xA0", 0), 0x82A0);
  EXPECT_EQ(CharCodeAt("a\x82", 1), 0x82);  // a lone lead byte never reads past the end
  EXPECT_EQ(CharCodeToText(0x82A0), "\x82\xA0");
  EXPECT_EQ(CharCodeToText(0xFFFD), "\xFD");
  EXPECT_TRUE(IsCharBoundary("\x83\x41" "A", 2));
  EXPECT_FALSE(IsCharBoundary("\x83\x41" "A", 1));
}

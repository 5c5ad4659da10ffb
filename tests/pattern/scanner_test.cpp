#include "pattern/scanner.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/system_text.h"

namespace tarn::pattern {
namespace {

struct Tok {
  TREScanner_Token kind;
  RE_Char_t symbol;
  RE_Char_t rangeEnd;
  bool operator==(const Tok&) const = default;
};

std::vector<Tok> Scan(std::string_view pattern) {
  TREScanner scanner(pattern);
  std::vector<Tok> out;
  while (scanner.GetToken() != retk_End) {
    out.push_back({scanner.Token, scanner.Symbol,
                   scanner.Token == retk_CharRange ? scanner.RangeEnd : RE_Char_t{0}});
  }
  return out;
}

// The message and position of the error a scan of the pattern raises.
std::pair<std::string, int> ScanError(std::string_view pattern) {
  try {
    Scan(pattern);
  } catch (const ERegExpParser& e) {
    return {e.what(), e.ErrorPos};
  }
  return {"no error", 0};
}

const std::string kBracket = SystemText("右ブラケット\"]\"が必要です");
const std::string kHex = SystemText("不正な１６進数コード表記です。");
const std::string kOctal = SystemText("不正な８進数コード表記です。");
const std::string kRange = SystemText("不正なキャラクタ範囲です");
const std::string kDoubleByte = SystemText("不正な２バイト文字コードです。");

TEST(ScannerTest, MessagesAreTheExactBytes) {
  const std::string backslash = SystemText("\"\\\"の次には文字が必要です。");
  EXPECT_EQ(backslash.size(), 27u);
  EXPECT_EQ(ScanError("ab\\"), std::make_pair(backslash, 4));
  EXPECT_EQ(kBracket.back(), static_cast<char>(0xB7));  // no final full stop: ends in "す"
}

TEST(ScannerTest, ReadCharAndUnreadCharHandleDoubleBytes) {
  const std::string text = "a" + SystemText("あ") + "b";
  int pos = 1;
  EXPECT_EQ(REReadChar(text, pos), 'a');
  EXPECT_EQ(REReadChar(text, pos), 0x82A0);
  EXPECT_EQ(pos, 4);
  REUnreadChar(text, pos);
  EXPECT_EQ(pos, 2);
  pos = 3;  // just past a lone double-byte character at the start
  const std::string alone = SystemText("＝");  // 0x81 0x81: its trail byte is in the lead range
  REUnreadChar(alone, pos);
  EXPECT_EQ(pos, 1);
  pos = 0;
  EXPECT_EQ(REReadChar(text, pos), 0);
  EXPECT_EQ(pos, 0);
  pos = 5;
  EXPECT_EQ(REReadChar(text, pos), 0);
  EXPECT_EQ(pos, 5);
}

TEST(ScannerTest, LoneLeadByteAtTheEndIsReportedAtItsOwnPosition) {
  EXPECT_EQ(ScanError("ab\x82"), std::make_pair(kDoubleByte, 3));
}

TEST(ScannerTest, SubjectReaderStopsAtTheTerminator) {
  const char subject[] = "\x82\xA0" "a\x82";
  const char* cursor = subject;
  EXPECT_EQ(RENextSubjectChar(cursor), 0x82A0);
  EXPECT_EQ(RENextSubjectChar(cursor), 'a');
  EXPECT_EQ(RENextSubjectChar(cursor), 0x82);  // lone lead byte: alone, never with the NUL
  EXPECT_EQ(RENextSubjectChar(cursor), 0);
  EXPECT_EQ(RENextSubjectChar(cursor), 0);
  EXPECT_EQ(cursor, subject + 4);
}

TEST(ScannerTest, Escapes) {
  EXPECT_EQ(Scan("\\b\\r\\n\\t"), (std::vector<Tok>{{retk_Char, 8, 0}, {retk_Char, 13, 0}, {retk_Char, 10, 0}, {retk_Char, 9, 0}}));
  EXPECT_EQ(Scan("\\x41z"), (std::vector<Tok>{{retk_Char, 'A', 0}, {retk_Char, 'z', 0}}));
  EXPECT_EQ(Scan("\\x82a0"), (std::vector<Tok>{{retk_Char, 0x82A0, 0}}));
  EXPECT_EQ(Scan("\\x414243"), (std::vector<Tok>{{retk_Char, 0x4142, 0}, {retk_Char, '4', 0}, {retk_Char, '3', 0}}));
  EXPECT_EQ(Scan("\\101"), (std::vector<Tok>{{retk_Char, 'A', 0}}));
  EXPECT_EQ(Scan("\\1777770"), (std::vector<Tok>{{retk_Char, 0xFFFF, 0}, {retk_Char, '0', 0}}));
  EXPECT_EQ(Scan("\\0a"), (std::vector<Tok>{{retk_Char, 0, 0}, {retk_Char, 'a', 0}}));
  EXPECT_EQ(Scan("\\8\\\\\\q\\."), (std::vector<Tok>{{retk_Char, '8', 0}, {retk_Char, '\\', 0}, {retk_Char, 'q', 0}, {retk_Char, '.', 0}}));
  EXPECT_EQ(Scan("\\" + SystemText("あ")), (std::vector<Tok>{{retk_Char, 0x82A0, 0}}));
}

TEST(ScannerTest, EscapeErrors) {
  EXPECT_EQ(ScanError("\\x"), std::make_pair(kHex, 3));
  EXPECT_EQ(ScanError("\\xg"), std::make_pair(kHex, 4));
  EXPECT_EQ(ScanError("\\777777"), std::make_pair(kOctal, 8));
}

TEST(ScannerTest, OperatorTokens) {
  const auto tokens = Scan("$()*+.?]^|{}-");
  std::vector<TREScanner_Token> kinds;
  for (const auto& t : tokens) kinds.push_back(t.kind);
  EXPECT_EQ(kinds, (std::vector<TREScanner_Token>{retk_LTail, retk_LPar, retk_RPar, retk_Star, retk_Plus, retk_Dot,
                                                   retk_QMark, retk_RBra, retk_LHead, retk_Union, retk_Char, retk_Char,
                                                   retk_Char}));
}

TEST(ScannerTest, BracketErrors) {
  EXPECT_EQ(ScanError("["), std::make_pair(kBracket, 2));
  EXPECT_EQ(ScanError("[a"), std::make_pair(kBracket, 3));
  EXPECT_EQ(ScanError("[a-"), std::make_pair(kBracket, 4));
  EXPECT_EQ(ScanError("[z-a]"), std::make_pair(kRange, 5));
}

TEST(ScannerTest, ClassMembers) {
  EXPECT_EQ(Scan("[a-]"), (std::vector<Tok>{{retk_LBra, '[', 0}, {retk_Char, 'a', 0}, {retk_Char, '-', 0}, {retk_RBra, ']', 0}}));
  EXPECT_EQ(Scan("[-a]"), (std::vector<Tok>{{retk_LBra, '[', 0}, {retk_Char, '-', 0}, {retk_Char, 'a', 0}, {retk_RBra, ']', 0}}));
  EXPECT_EQ(Scan("[a-b-c]"), (std::vector<Tok>{{retk_LBra, '[', 0}, {retk_CharRange, 'a', 'b'}, {retk_Char, '-', 0},
                                               {retk_Char, 'c', 0}, {retk_RBra, ']', 0}}));
  EXPECT_EQ(Scan("[]a]"), (std::vector<Tok>{{retk_LBra, '[', 0}, {retk_RBra, ']', 0}, {retk_Char, 'a', 0}, {retk_RBra, ']', 0}}));
  EXPECT_EQ(Scan("[\\]a]"), (std::vector<Tok>{{retk_LBra, '[', 0}, {retk_Char, ']', 0}, {retk_Char, 'a', 0}, {retk_RBra, ']', 0}}));
  EXPECT_EQ(Scan("[^^(]"), (std::vector<Tok>{{retk_LBraNegative, '[', 0}, {retk_Char, '^', 0}, {retk_Char, '(', 0}, {retk_RBra, ']', 0}}));
  EXPECT_EQ(Scan("[" + SystemText("あ-ん") + "]"),
            (std::vector<Tok>{{retk_LBra, '[', 0}, {retk_CharRange, 0x82A0, 0x82F1}, {retk_RBra, ']', 0}}));
  EXPECT_EQ(Scan("[\\x41-\\x43]"), (std::vector<Tok>{{retk_LBra, '[', 0}, {retk_CharRange, 'A', 'C'}, {retk_RBra, ']', 0}}));
  // "＝" ends in a byte of the lead range; the "-" before "]" is still read again as a member.
  EXPECT_EQ(Scan("[" + SystemText("＝") + "-]"),
            (std::vector<Tok>{{retk_LBra, '[', 0}, {retk_Char, 0x8181, 0}, {retk_Char, '-', 0}, {retk_RBra, ']', 0}}));
}

TEST(ScannerTest, TrailByteEqualToBackslashIsPartOfItsCharacter) {
  EXPECT_EQ(Scan(SystemText("ソ") + "+"), (std::vector<Tok>{{retk_Char, 0x835C, 0}, {retk_Plus, '+', 0}}));
}

TEST(ScannerTest, SetTextLeavesClassMode) {
  TREScanner scanner("[abc");
  EXPECT_THROW(while (scanner.GetToken() != retk_End) {}, ERegExpParser);
  scanner.SetText("abc");
  EXPECT_EQ(scanner.Position, 1);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(scanner.GetToken(), retk_Char);
  EXPECT_EQ(scanner.GetToken(), retk_End);
}

TEST(ScannerTest, NulByteEndsThePattern) {
  EXPECT_EQ(Scan(std::string("a\0b", 3)), (std::vector<Tok>{{retk_Char, 'a', 0}}));
  // Also right after the digits of an escape.
  EXPECT_EQ(Scan(std::string("\\x41\0b", 6)), (std::vector<Tok>{{retk_Char, 'A', 0}}));
  EXPECT_EQ(Scan(std::string("\\101\0b", 6)), (std::vector<Tok>{{retk_Char, 'A', 0}}));
}

TEST(ScannerTest, QuoteMetaChars) {
  EXPECT_EQ(REQuoteMetaChars("a.b(c)"), "a\\.b\\(c\\)");
  EXPECT_EQ(REQuoteMetaChars("{x}-"), "{x}-");
  EXPECT_EQ(REQuoteMetaChars("^|+*?[]$\\"), "\\^\\|\\+\\*\\?\\[\\]\\$\\\\");
  EXPECT_EQ(REQuoteMetaChars(SystemText("ソ")), SystemText("ソ"));
  EXPECT_THROW(REQuoteMetaChars("a\x82"), ERegExpParser);
}

TEST(ScannerTest, CharToText) {
  EXPECT_EQ(RECharToText(0x82A0), SystemText("あ"));
  EXPECT_EQ(RECharToText(0x41), "A");
  EXPECT_EQ(RECharToText(0xFFFD), "\xFD");
}

}  // namespace
}  // namespace tarn::pattern

#include "search/result_export.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "core/system_text.h"
#include "search/result_hits.h"

namespace tarn::search {
namespace {

const std::string kHit = "\x90\xB0\x82\xEA";                                     // 晴れ
const std::string kLine = "memo.txt(12): \x8D\xA1\x93\xFA\x82\xCD" + kHit;        // memo.txt(12): 今日は晴れ
const std::string kHeader =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\"></head>"
    "<body bgcolor=\"white\" text=#000000 style=\"font-family: monospace\"><nobr>\r\n";

TEST(HtmlColor, NamesTheThreeSystemColoursAndReordersOthers) {
  EXPECT_EQ(HtmlColor(0x80000005), "\"white\"");
  EXPECT_EQ(HtmlColor(0x80000008), "\"black\"");
  EXPECT_EQ(HtmlColor(0x8000000F), "\"silver\"");
  EXPECT_EQ(HtmlColor(0x00FF0000), "#0000FF");
  EXPECT_EQ(HtmlColor(0x00123456), "#563412");
  EXPECT_EQ(HtmlColor(0), "#000000");
  EXPECT_EQ(HtmlColor(0x80000012), "#000080");
  EXPECT_EQ(HtmlColor(0x1FFFFFFF), "#FFFF1F");
}

TEST(ResultHtml, WrapsTheHitInTheHitStyle) {
  THtmlStyle style;
  style.Bold = true;
  EXPECT_EQ(ResultHtml({kLine}, {"21,4," + kHit + ",C:\\doc\\memo.txt,12"}, style),
            kHeader + "memo.txt(12):&nbsp;\x8D\xA1\x93\xFA\x82\xCD<font color=#0000FF><b>" + kHit + "</b></font><br>\r\n"
            "</nobr></body></html>\r\n");
  style.Italic = style.Underline = true;
  style.StringFontColor = 0x000000FF;
  EXPECT_EQ(ResultHtml({"abc"}, {"2,1,b,/a,1"}, style),
            kHeader + "a<font color=#FF0000><b><i><u>b</u></i></b></font>c<br>\r\n</nobr></body></html>\r\n");
}

// The record keeps the first hit; the others are found again with the result's own pattern.
struct LaterHitsCase {
  const char* Pattern;
  std::string Line;
  std::size_t FirstStart, FirstLength, Until;
  std::vector<std::pair<std::size_t, std::size_t>> Hits;
};

class LaterHitsTest : public ::testing::TestWithParam<LaterHitsCase> {};

TEST_P(LaterHitsTest, FindsTheHitsAfterTheRecordedOne) {
  const LaterHitsCase& c = GetParam();
  pattern::TAWKStr matcher;
  matcher.SetRegExp(c.Pattern);
  std::vector<std::pair<std::size_t, std::size_t>> hits;
  for (const TLineHit& hit : LaterHits(matcher, c.Line, c.FirstStart, c.FirstLength, c.Until)) hits.emplace_back(hit.Start, hit.Length);
  EXPECT_EQ(hits, c.Hits);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LaterHitsTest,
    ::testing::Values(
        LaterHitsCase{"ab+", "f(1): ab xabbb ab", 6, 2, 100, {{10, 4}, {15, 2}}},
        // A double-byte character whose trail byte is "\x5C" and "\x5C" as its own hit.
        LaterHitsCase{"\\\\", "a\\\x95\\\\", 1, 1, 100, {{4, 1}}},
        LaterHitsCase{"\x93\x8C\x8B\x9E", "\x93\x8C\x8B\x9E\x82\xC6\x93\x8C\x8B\x9E", 0, 4, 100, {{6, 4}}},
        // Only hits starting before the shown end are looked for.
        LaterHitsCase{"ab", "ab ab ab ab", 0, 2, 5, {{3, 2}}},
        // A line-head pattern matches once; "$" only at the line's end.
        LaterHitsCase{"^a|b$", "n(1): aab", 6, 1, 100, {{8, 1}}},
        // Another pattern than the row's (a history entry searched otherwise): the recorded hit alone.
        LaterHitsCase{"xy", "ab ab", 0, 2, 100, {}},
        LaterHitsCase{"ab", "ab ab", 0, 0, 100, {}}));

TEST(ResultHtml, WrapsEveryHitOfALineWithTheMatcher) {
  pattern::TAWKStr matcher;
  matcher.SetRegExp("b+");
  EXPECT_EQ(ResultHtml({"abcbbd"}, {"2,1,b,/a,1"}, THtmlStyle{}, &matcher),
            kHeader + "a<font color=#0000FF>b</font>c<font color=#0000FF>bb</font>d<br>\r\n</nobr></body></html>\r\n");
}

TEST(ResultHtml, NoByteOfTheTextBecomesMarkup) {
  const THtmlStyle style;
  const std::string out = ResultHtml({"<a & b> \"q\" \x01script\x02 x"}, {"22,1,x,/f,1"}, style);
  EXPECT_NE(out.find("&lt;a&nbsp;&amp;&nbsp;b&gt;&nbsp;&quot;q&quot;&nbsp;&lt;script&gt;&nbsp;<font color=#0000FF>x</font><br>"),
            std::string::npos);
  EXPECT_EQ(out.find("<script"), std::string::npos);
  // A hit holding a double quote is escaped inside the tags.
  EXPECT_NE(ResultHtml({"say \"hi\""}, {"5,4,\"\"\"hi\"\"\",/f,1"}, style).find("say&nbsp;<font color=#0000FF>&quot;hi&quot;</font><br>"),
            std::string::npos);
}

TEST(ResultHtml, KeepsBlanksAndTabStopsAsTheViewShowsThem) {
  // The hit is the second tab: its stop counts the cells of the piece before it, a double-byte
  // character as two.
  const std::string nbsp6 = "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;";
  EXPECT_EQ(ResultHtml({"ab\t\x93\x8C\tx  y"}, {"6,1,\"\t\",/f,1"}, THtmlStyle{}),
            kHeader + "ab" + nbsp6 + "\x93\x8C<font color=#0000FF>" + nbsp6 + "</font>x&nbsp;&nbsp;y<br>\r\n" +
                "</nobr></body></html>\r\n");
}

TEST(ResultHtml, CopesWithEmptyHitsAndEntriesThatDoNotFit) {
  const THtmlStyle style;
  auto body = [&](const std::vector<std::string>& lines, const std::vector<std::string>& infos) {
    const std::string html = ResultHtml(lines, infos, style);
    const std::size_t start = kHeader.size();
    return html.substr(start, html.rfind("</nobr>") - start);
  };
  EXPECT_EQ(body({"abc"}, {"3,0,,/f,1"}), "ab<font color=#0000FF></font>c<br>\r\n");
  EXPECT_EQ(body({"abc"}, {"9,5,x,/f,1"}), "abc<font color=#0000FF></font><br>\r\n");
  EXPECT_EQ(body({"abc"}, {"-5,2,x,/f,1"}), "<font color=#0000FF>ab</font>c<br>\r\n");
  EXPECT_EQ(body({"abc"}, {"x,2,x,/f,1"}), "abc<br>\r\n");
  EXPECT_EQ(body({"a<", "b"}, {}), "a&lt;<br>\r\nb<br>\r\n");
  EXPECT_EQ(body({"a"}, {"1,1,a,/f,1", "1,1,b,/f,2"}), "<font color=#0000FF>a</font><br>\r\n");
}

TEST(ResultExport, ExtensionRulesOfTheSaveDialogAndTheCommandLine) {
  EXPECT_EQ(SaveFileNameFor("/out/result.html", TSaveType::Html), "/out/result.htm");
  EXPECT_EQ(SaveFileNameFor("/out/result", TSaveType::Text), "/out/result.txt");
  EXPECT_EQ(SaveFileNameFor("/out/a.b/result.csv", TSaveType::Text), "/out/a.b/result.txt");
  EXPECT_EQ(SaveTypeForFileName("x.HTML"), TSaveType::Html);
  EXPECT_EQ(SaveTypeForFileName("x.htm"), TSaveType::Html);
  EXPECT_EQ(SaveTypeForFileName("x.txt"), TSaveType::Text);
  EXPECT_EQ(SaveTypeForFileName("htm"), TSaveType::Text);
}

TEST(ResultExport, WritesAndReplacesFilesAndReportsFailure) {
  char pattern[] = "/tmp/tarn-export-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::filesystem::path dir = pattern;
  const auto path = dir / "out.txt";
  std::ofstream(path) << "old content that is longer";
  SaveResult(path, TSaveType::Text, {kLine, ""}, {}, {});
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), kLine + "\r\n\r\n");
  EXPECT_THROW(SaveResult(dir / "missing" / "x.htm", TSaveType::Html, {kLine}, {}, {}), EResultFile);
  try {
    WriteLinesFile(dir / "missing" / "x", {});
  } catch (const EResultFile& e) {
    EXPECT_EQ(std::string(e.what()), SystemText("ファイル ") + (dir / "missing" / "x").string() + SystemText(" を作成できません"));
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tarn::search

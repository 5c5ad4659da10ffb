#include "search/result_lines.h"

#include <gtest/gtest.h>

#include <random>

#include "core/comma_text.h"
#include "core/system_text.h"
#include "search/native_path.h"

namespace tarn::search {
namespace {

const std::string kLine = SystemText("今日は晴れ");  // the hit "晴れ" starts at byte 7
const std::string kHit = SystemText("晴れ");

pattern::RE_LineInfo_t Line12() { return {kLine, 12}; }

TEST(ResultLinesTest, DisplayModes) {
  const std::string path = "/doc/memo.txt";
  ResultLine full = MakeResultLine(1, path, path, Line12(), 7, 4);
  EXPECT_EQ(full.Line, "/doc/memo.txt(12): " + kLine);
  EXPECT_EQ(full.Info, "26,4," + kHit + ",/doc/memo.txt,12");
  ResultLine name = MakeResultLine(2, path, path, Line12(), 7, 4);
  EXPECT_EQ(name.Line, "memo.txt(12): " + kLine);
  EXPECT_EQ(name.Info, "21,4," + kHit + ",/doc/memo.txt,12");
  for (const int mode : {0, 3, -1}) {
    ResultLine bare = MakeResultLine(mode, path, path, Line12(), 7, 4);
    EXPECT_EQ(bare.Line, kLine);
    EXPECT_EQ(bare.Info, "7,4," + kHit + ",/doc/memo.txt,12");
  }
}

TEST(ResultLinesTest, FileNameIsThePartAfterTheLastSlash) {
  EXPECT_EQ(FileNameOfPath("/a/b/c.txt"), "c.txt");
  EXPECT_EQ(FileNameOfPath("/c.txt"), "c.txt");
  EXPECT_EQ(FileNameOfPath("c.txt"), "c.txt");
  // "表" (0x95 0x5C): its trail byte is no separator of any kind.
  EXPECT_EQ(FileNameOfPath("/d/\x95\x5C.txt"), "\x95\x5C.txt");
}

TEST(ResultLinesTest, LineWithoutAHitIsListedWithAnEmptyHit) {
  ResultLine result = MakeResultLine(2, "/d/a.txt", "/d/a.txt", {"abc", 3}, 0, 0);
  EXPECT_EQ(result.Line, "a.txt(3): abc");
  EXPECT_EQ(result.Info, "10,0,,/d/a.txt,3");
  // A hit past the line is no hit either.
  EXPECT_EQ(MakeResultLine(0, "/d/a.txt", "/d/a.txt", {"abc", 3}, 9, 2).Info, "0,0,,/d/a.txt,3");
  EXPECT_EQ(MakeResultLine(0, "/d/a.txt", "/d/a.txt", {"abc", 3}, 4, 0).Info, "4,0,,/d/a.txt,3");
}

TEST(ResultLinesTest, QuotingAndReadingBack) {
  const std::string line = "say \"a, b\" now";
  ResultLine result = MakeResultLine(0, "/a,b/x y.txt", "/a,b/x y.txt", {line, 1}, 5, 6);
  EXPECT_EQ(result.Info, "5,6,\"\"\"a, b\"\"\",\"/a,b/x y.txt\",1");
  const auto fields = ParseResultLineInfo(result.Info);
  ASSERT_TRUE(fields.has_value());
  EXPECT_EQ(fields->HitPos, 5);
  EXPECT_EQ(fields->HitLen, 6);
  EXPECT_EQ(fields->HitText, "\"a, b\"");
  EXPECT_EQ(fields->FileName, "/a,b/x y.txt");
  EXPECT_EQ(fields->LineNo, 1);
  EXPECT_EQ(fields->NativeFileName, "/a,b/x y.txt");
  EXPECT_FALSE(ParseResultLineInfo("1,2,x,/a").has_value());
}

TEST(ResultLinesTest, NativePathIsASixthFieldOnlyWhenTheCp932PathCannotLeadBackToIt) {
  const std::string tokyo_utf8 = "/d/\xE6\x9D\xB1\xE4\xBA\xAC.txt";
  const std::string tokyo_cp932 = "/d/\x93\x8C\x8B\x9E.txt";
  const std::string info = MakeResultLine(1, tokyo_cp932, tokyo_utf8, {"x", 1}, 1, 1).Info;
  EXPECT_EQ(ParseCommaText(info).size(), 5U);
  EXPECT_EQ(ParseResultLineInfo(info)->NativeFileName, tokyo_utf8);

  const std::string snow_utf8 = "/d/\xE2\x98\x83.txt";
  const std::string snow_info = MakeResultLine(1, "/d/?.txt", snow_utf8, {"x", 1}, 1, 1).Info;
  EXPECT_EQ(ParseCommaText(snow_info).size(), 6U);
  EXPECT_EQ(ParseResultLineInfo(snow_info)->NativeFileName, snow_utf8);
  EXPECT_EQ(ParseResultLineInfo(snow_info)->FileName, "/d/?.txt");
}

// Every record the search writes reads back to what went in, whatever the bytes of the line and
// the paths (a lone lead byte before a closing quote, quotes, commas, blanks, NUL) and the
// file's encoding.
TEST(ResultLinesTest, EveryRecordReadsBackExactly) {
  struct Case {
    std::string line, path, native;
  };
  std::vector<Case> cases = {{"ab x \x81", "/in2/l.txt", ""},
                             {"\x81\"", "/d/a b/\x81", "/d/a b/\xE2\x98\x83"},
                             {"\"q\",\x9F", "/a,b/\x81\"", "/a,b/\x81\""},
                             {std::string("\0\xE0 \t", 4), "/d/?.txt", "/d/\xE9 \xFC"}};
  std::mt19937 random(16);
  const std::string alphabet = std::string("\"\x81\x9F\xE0\xFC, \t\0\x5C/?", 13);
  auto random_text = [&](std::size_t max) {
    std::string text;
    for (std::size_t i = random() % max; i > 0; --i)
      text += random() % 2 ? alphabet[random() % alphabet.size()] : static_cast<char>(random());
    return text;
  };
  for (int n = 0; n < 300; ++n) cases.push_back({random_text(12), "/" + random_text(10), "/" + random_text(10)});
  for (const Case& c : cases) {
    const int start = c.line.empty() ? 0 : 1 + static_cast<int>(random() % c.line.size());
    const int length = start == 0 ? 0 : static_cast<int>(random() % (c.line.size() - start + 2));
    const auto encoding = static_cast<FileEncoding>(random() % 6);
    const std::string info = MakeResultLineInfo(5, start, length, c.line, c.path, 12, c.native, encoding);
    const auto fields = ParseResultLineInfo(info);
    ASSERT_TRUE(fields.has_value()) << info;
    const std::string hit =
        start == 0 ? "" : c.line.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(length));
    EXPECT_EQ(fields->HitPos, 5 + start) << info;
    EXPECT_EQ(fields->HitText, hit) << info;
    EXPECT_EQ(fields->HitLen, static_cast<int>(hit.size())) << info;
    EXPECT_EQ(fields->FileName, c.path) << info;
    EXPECT_EQ(fields->LineNo, 12) << info;
    EXPECT_EQ(fields->NativeFileName, c.native.empty() ? Cp932ToNative(c.path) : c.native) << info;
    EXPECT_EQ(fields->Encoding, encoding) << info;
    EXPECT_EQ(ParseCommaText(info).size() == 7, encoding != FileEncoding::kCp932) << info;
  }
}

TEST(ResultLinesTest, SearchingStatusCountsWithFullWidthParentheses) {
  EXPECT_EQ(SearchingStatus(3), SystemText(" 検索中（3）..."));
}

}  // namespace
}  // namespace tarn::search

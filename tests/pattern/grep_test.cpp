#include "pattern/grep.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace tarn::pattern {
namespace {

namespace fs = std::filesystem;

using testing::TempDir;

// Both reference scans, callable whatever the pattern.
class TestGrep : public TGrep {
 public:
  using TGrep::ScanAutomaton;
  using TGrep::ScanLiteral;
};

std::string Describe(const std::vector<RE_LineInfo_t>& lines) {
  std::string out;
  for (const auto& line : lines) out += std::to_string(line.LineNo) + ":" + line.Line + "|";
  return out;
}

std::string GrepFile(TestGrep& grep, const std::string& path, std::size_t block_size = TTxtFile::kDefaultBlockSize) {
  std::vector<RE_LineInfo_t> lines;
  grep.OnMatch = [&](TGrep&, RE_LineInfo_t info) { lines.push_back(std::move(info)); };
  grep.BlockSize = block_size;
  grep.Grep(path);
  return Describe(lines);
}

std::string GrepFor(const std::string& pattern, const std::string& bytes, std::size_t block_size = TTxtFile::kDefaultBlockSize) {
  TempDir dir;
  TestGrep grep;
  grep.SetRegExp(pattern);
  return GrepFile(grep, dir.Write("f.txt", bytes), block_size);
}

TEST(GrepTest, AnchorsAreTheLineEndsOfTheStream) {
  const std::string text = "a\r\nb\rc\nd";
  for (std::size_t block = 1; block <= 8; ++block) {
    SCOPED_TRACE(block);
    EXPECT_EQ(GrepFor("^b$", text, block), "2:b|");
    EXPECT_EQ(GrepFor("^[a-d]$", text, block), "1:a|2:b|3:c|4:d|");
  }
  EXPECT_EQ(GrepFor("^x", "xyz\nx\n"), "1:xyz|2:x|");
  EXPECT_EQ(GrepFor("z$", "xyz"), "1:xyz|");
  // The line feed in a character class may not shadow "$" (the line «abc» is found).
  EXPECT_EQ(GrepFor("a[\\x01-\\x7f]*$", "abc\n"), "1:abc|");
}

TEST(GrepTest, ALineIsReportedOnceAndByTheLineItsMatchStartsIn) {
  EXPECT_EQ(GrepFor("ab", "ab ab ab\nxx\nab"), "1:ab ab ab|3:ab|");
  EXPECT_EQ(GrepFor("b+", "abbb\n"), "1:abbb|");
  EXPECT_EQ(GrepFor("b\\nc", "ab\ncd\n"), "1:ab|");
  EXPECT_EQ(GrepFor("b\\n*c", "ab\r\n\r\ncd\n"), "1:ab|");
}

// Both the exact scan and the reference scan, which must agree.
std::string GrepBothWays(const std::string& pattern, const std::string& bytes, std::size_t block_size = 3) {
  TempDir dir;
  TestGrep grep;
  grep.SetRegExp(pattern);
  const std::string path = dir.Write("f.txt", bytes);
  const std::string exact = GrepFile(grep, path, block_size);
  grep.ForceReferenceScan = true;
  EXPECT_EQ(exact, GrepFile(grep, path, block_size)) << pattern;
  return exact;
}

TEST(GrepTest, LeadByteBeforeALineEnd) {
  // The start cursor reads the line end after a lead byte as its trail byte (0x830A) and is then
  // in the next line; the look-ahead cursor reads a CR as it stands (0x830D).
  for (const std::string end : {"\r\n", "\r", "\n"}) {
    SCOPED_TRACE(end.size());
    const std::string text = "x\x83" + end + "y\n";
    EXPECT_EQ(GrepBothWays("\\x830A", text), "2:y|");
    EXPECT_EQ(GrepBothWays("x\\x830D", text), end == "\n" ? "" : "1:x\x83|");
    EXPECT_EQ(GrepBothWays("x\\x830A", text), end == "\n" ? "1:x\x83|" : "");
  }
  EXPECT_EQ(GrepBothWays("x\\x830D\\ny", "x\x83\r\ny\n"), "1:x\x83|");
  // Such a code among a pattern's first characters keeps CR LF one line end.
  EXPECT_EQ(GrepBothWays("c|\\x830Ax", "x\r\n\r\n1c\r\n\r\nc", 102400), "3:1c|5:c|");
  // A run that reads the lone CR after such a CR rewrites it into LF, and the start cursor then
  // takes the two as one CR LF: "q1" becomes line 2, not line 3 - unless the first CR ends one
  // of the reader's blocks, as the start cursor looks for the LF within the block.
  EXPECT_EQ(GrepBothWays("x\\x830D\\nz|1", "x\x83\r\rq1\n", 5), "2:q1|");
  EXPECT_EQ(GrepBothWays("x\\x830D\\nz|1", "x\x83\r\rq1\n", 3), "3:q1|");
  EXPECT_EQ(GrepBothWays("x\\x830D|1", "x\x83\r\rq1\n", 5), "1:x\x83|3:q1|");
}

TEST(GrepTest, MatchesAcrossLinesReportTheirFirstLineOnce) {
  const std::string text = "a\r\nb\rc\n\nd\x83\x41" "e\n";
  for (std::size_t block = 1; block <= 9; ++block) {
    SCOPED_TRACE(block);
    EXPECT_EQ(GrepBothWays("a\\nb\\nc|e", text, block), "1:a|5:d\x83\x41" "e|");
    EXPECT_EQ(GrepBothWays("(.|\\n)*e$", text, block), "1:a|2:b|3:c|4:|5:d\x83\x41" "e|");
    EXPECT_EQ(GrepBothWays("^\\n", text, block), "4:|");
    EXPECT_EQ(GrepBothWays("c[\\x01-\\x20]+d", text, block), "3:c|");
  }
}

TEST(GrepTest, SingleByteCodesNeverMatchInsideDoubleByteCharacters) {
  const std::string text = "\x83\x41\n\x81\x5B\n";  // "ア" and "ー"
  EXPECT_EQ(GrepFor("A", text), "");
  EXPECT_EQ(GrepFor("\\[", text), "");
  EXPECT_EQ(GrepFor("[A\\[]", text), "");
  EXPECT_EQ(GrepFor("\x83\x41", text), "1:\x83\x41|");
}

TEST(GrepTest, EmptyPatternAndEmptyFileReportNothing) {
  EXPECT_EQ(GrepFor("", "abc\n"), "");
  EXPECT_EQ(GrepFor("abc", ""), "");
  TestGrep grep;
  EXPECT_THROW(GrepFile(grep, "/nonexistent/tarn/file"), EFileNotFound);
}

TEST(GrepTest, LongLinesAndLateNuls) {
  const std::string long_line = std::string(299999, 'x') + "y";
  EXPECT_EQ(GrepFor("y", "a\n" + long_line + "\nyes\n"), "2:" + long_line + "|3:yes|");
  const std::string late_nul = std::string(3000, 'a') + std::string("\0b", 2);
  EXPECT_EQ(GrepFor("a b", late_nul), "1:" + std::string(3000, 'a') + " b|");
}

TEST(GrepTest, CancelIsClearedWhenAFileBeginsAndHonouredAtTheNextBlock) {
  TempDir dir;
  const std::string path = dir.Write("big.txt", std::string(50000, 'a') + "\nhit\n");
  TestGrep grep;
  grep.SetRegExp("hit");
  grep.Cancel = true;
  EXPECT_EQ(GrepFile(grep, path), "2:hit|");

  int blocks = 0;
  grep.ProcessMessages = [&] {
    if (++blocks == 2) grep.Cancel = true;
  };
  EXPECT_THROW(GrepFile(grep, path, 1000), EGrepCancel);
  EXPECT_EQ(blocks, 2);
}

TEST(GrepTest, GrepIfTextSearchesExactlyWhatTheTextTestLetsThrough) {
  TempDir dir;
  const std::string fifo = dir.path() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string late_nul = std::string(2048, 'a') + std::string("\0hit\n", 5) + "hit\n";
  // The fast scan, and a pattern whose matches cross line ends.
  for (const std::string pattern : {"hit", "t\\nh"}) {
    TestGrep grep;
    grep.SetRegExp(pattern);
    std::string lines;
    grep.OnMatch = [&](TGrep&, RE_LineInfo_t info) { lines += std::to_string(info.LineNo) + ":" + info.Line + "|"; };
    for (const std::string& not_text : {dir.path(), dir.path() + "/missing", fifo,
                                        dir.Write("nul", std::string(2047, 'h') + '\0' + "hit\nhit\n")})
      EXPECT_FALSE(grep.GrepIfText(not_text)) << not_text;
    EXPECT_TRUE(grep.GrepIfText(dir.Write("empty", "")));
    EXPECT_EQ(lines, "");
    grep.Cancel = true;  // cleared as the grep begins
    EXPECT_TRUE(grep.GrepIfText(dir.Write("late", late_nul)));
    EXPECT_EQ(lines, "1:" + std::string(2048, 'a') + " hit|" + (pattern == "hit" ? "2:hit|" : "")) << pattern;
    // Opened in its directory.
    const int dir_fd = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dir_fd, 0);
    lines.clear();
    EXPECT_TRUE(grep.GrepIfText(dir.path() + "/late", dir_fd, "late"));
    EXPECT_FALSE(grep.GrepIfText(dir.path() + "/nul", dir_fd, "nul"));
    close(dir_fd);
    EXPECT_EQ(lines, "1:" + std::string(2048, 'a') + " hit|" + (pattern == "hit" ? "2:hit|" : "")) << pattern;
  }
}

TEST(GrepTest, LiteralScanIsChosenForPlainStrings) {
  TestGrep grep;
  grep.SetRegExp("abc");
  EXPECT_TRUE(grep.UsesLiteralScan());
  grep.SetRegExp("ab?");
  EXPECT_FALSE(grep.UsesLiteralScan());
  EXPECT_THROW(grep.SetRegExp("a("), ERegExpParser);
  EXPECT_FALSE(grep.UsesLiteralScan());  // the previous choice stays
}

// ScanLiteral lists exactly what ScanAutomaton lists, whatever the pattern's codes and wherever
// the blocks end.
TEST(GrepTest, LiteralScanEqualsAutomatonScan) {
  TempDir dir;
  std::mt19937 random(1209);
  const std::string alphabet("ab4\r\n\0\x83\x41\x12\x34\x81\x5B", 12);
  const std::vector<std::string> patterns = {"a", "ab", "b\\na", "\\x1234", "4", "\x83\x41", "A", "a\\r", "\\n\\n", "\\x0a"};
  std::vector<std::unique_ptr<TestGrep>> greps;
  for (const std::string& pattern : patterns) {
    greps.push_back(std::make_unique<TestGrep>());
    greps.back()->SetRegExp(pattern);
    ASSERT_TRUE(greps.back()->IsLiteral()) << pattern;
  }
  for (int round = 0; round < 20; ++round) {
    std::string bytes;
    const std::size_t size = random() % 80;
    for (std::size_t i = 0; i < size; ++i) bytes += alphabet[random() % alphabet.size()];
    const std::string path = dir.Write("r" + std::to_string(round), bytes);
    for (std::size_t p = 0; p < patterns.size(); ++p) {
      TestGrep& grep = *greps[p];
      for (const std::size_t block : {std::size_t{1}, std::size_t{3}, TTxtFile::kDefaultBlockSize}) {
        grep.BlockSize = block;
        std::vector<RE_LineInfo_t> literal;
        std::vector<RE_LineInfo_t> automaton;
        grep.OnMatch = [&](TGrep&, RE_LineInfo_t info) { literal.push_back(std::move(info)); };
        grep.ScanLiteral(path);
        grep.OnMatch = [&](TGrep&, RE_LineInfo_t info) { automaton.push_back(std::move(info)); };
        grep.ScanAutomaton(path);
        ASSERT_EQ(Describe(literal), Describe(automaton)) << "pattern " << patterns[p] << " round " << round;
      }
    }
  }
}

TEST(GrepTest, FuzzyCharacterDictionaryIsAttached) {
  TempDir dir;
  const std::string path = dir.Write("f.txt", "x\x82\x60y\n");  // x, full-width "Ａ", y
  TestGrep grep;
  grep.SetRegExp("a");
  EXPECT_EQ(GrepFile(grep, path), "");
  grep.SetUseFuzzyCharDic(true);
  EXPECT_EQ(GrepFile(grep, path), "1:x\x82\x60y|");
}

TEST(GrepTest, CodesWithoutTextOfTheirOwnAreNotMistakenForOtherText) {
  // «\x1234» is no Shift-JIS character: a file holding "4" or the bytes 0x12 0x34 has no match.
  EXPECT_EQ(GrepFor("\\x1234", "4\n\x12\x34\n"), "");
}

}  // namespace
}  // namespace tarn::pattern

#include "pattern/cross_line_scan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "pattern/grep.h"
#include "temp_dir.h"

namespace tarn::pattern {
namespace {

using testing::TempDir;

struct Outcome {
  std::size_t lines = 0;
  std::string last;
};

Outcome ScanFile(TCrossLineScan& scan, const std::string& path, std::size_t block_size) {
  Outcome out;
  bool cancel = false;
  EXPECT_TRUE(scan.Scan(path, block_size, cancel, {}, [&](RE_LineInfo_t info) {
    ++out.lines;
    out.last = std::to_string(info.LineNo) + ":" + info.Line;
  }));
  return out;
}

// Lines of a few bytes with every kind of line end; lines counts them.
std::string ShortLines(std::size_t bytes, std::size_t* lines = nullptr) {
  std::string text;
  std::size_t i = 0;
  for (; text.size() < bytes; ++i) text += (i % 3 == 0 ? "abc def\r\n" : i % 3 == 1 ? "\x93\xFA\x96\x7B\n" : "0123\r");
  if (lines != nullptr) *lines = i;
  return text;
}

// Every run of these patterns reads on to the end of the file (or to its one "y"): the character
// scan takes time quadratic in the file size, this scan close to linear.
TEST(CrossLineScanTest, RunawayRunsCostWorkLinearInTheFileSize) {
  TempDir dir;
  std::size_t line_count = 0;
  const std::string text = ShortLines(1 << 20, &line_count);
  for (const char* pattern : {"(.|\\n)*y", "[\\x01-\\x20a-z]*y", "(\\n|[^y])+y"}) {
    SCOPED_TRACE(pattern);
    TGrep grep;
    grep.SetRegExp(pattern);
    ASSERT_FALSE(grep.UsesFastScan());
    TCrossLineScan scan(grep.CurrentDFA());
    EXPECT_EQ(ScanFile(scan, dir.Write("none.txt", text), 4096).lines, 0u);
    EXPECT_LE(scan.StepCount(), 2 * text.size());
    // One "y" at the end: the runs end on the recorded path of the first that reached it.
    const Outcome all = ScanFile(scan, dir.Write("last.txt", text + "y"), 4096);
    EXPECT_LE(scan.StepCount(), 2 * text.size());
    EXPECT_EQ(all.last, std::to_string(line_count + 1) + ":y");
  }
}

// Runs whose state changes at every character leave paths of many pieces, more than are kept;
// the pieces kept far ahead still let later runs meet the path soon.
TEST(CrossLineScanTest, RunsThatChangeStateAtEveryCharacterStayLinear) {
  TempDir dir;
  for (const auto& [pattern, unit] : {std::pair{"(a\\n)*x", "a\n"}, {"(.\\n.)*x", "a\r\nb"}, {"(.|\\n)*ab", "the cat sat on a mat\r\n"}}) {
    SCOPED_TRACE(pattern);
    std::string text;
    while (text.size() < (1u << 20)) text += unit;
    TGrep grep;
    grep.SetRegExp(pattern);
    TCrossLineScan scan(grep.CurrentDFA(), 4096);
    EXPECT_EQ(ScanFile(scan, dir.Write("f.txt", text), 4096).lines, 0u);
    EXPECT_LE(scan.StepCount(), 4 * text.size());
    EXPECT_LE(scan.PeakRecords(), 4096u);
  }
}

// The reader holds one block for the start and one for the runs, whatever the file size.
TEST(CrossLineScanTest, MemoryStaysTwoBlocksOnAFileOfShortLines) {
  TempDir dir;
  const std::string path = dir.Write("big.txt", ShortLines(3 << 20) + "y\n");
  TGrep grep;
  grep.SetRegExp("(.|\\n)*y");
  TCrossLineScan scan(grep.CurrentDFA());
  const Outcome out = ScanFile(scan, path, TTxtFile::kDefaultBlockSize);
  EXPECT_GT(out.lines, 100000u);
  EXPECT_LE(scan.HeldBufferBytes(), 2 * (TTxtFile::kDefaultBlockSize + 16));
  EXPECT_LE(scan.PeakRecords(), 16u);
}

TEST(CrossLineScanTest, FailuresAndStreams) {
  TempDir dir;
  TGrep grep;
  grep.SetRegExp("a\\nb");
  TCrossLineScan scan(grep.CurrentDFA());
  bool cancel = false;
  const auto ignore = [](RE_LineInfo_t) {};
  EXPECT_THROW(scan.Scan(dir.path() + "/missing", 64, cancel, {}, ignore), EFileNotFound);
  EXPECT_THROW(scan.Scan(dir.path(), 64, cancel, {}, ignore), EFileNotFound);
  // A FIFO is left to the reader, which reads it as a stream; nothing is read here.
  const std::string fifo = dir.path() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(scan.Scan(fifo, 64, cancel, {}, ignore));
  // An empty file: no line, and no block read.
  int pumps = 0;
  EXPECT_TRUE(scan.Scan(dir.Write("empty", ""), 64, cancel, [&] { ++pumps; }, ignore));
  EXPECT_EQ(pumps, 0);
}

TEST(CrossLineScanTest, CancelIsTestedAfterEveryBlockAndBeforeEveryLine) {
  TempDir dir;
  // A run from the first line reads ahead through the whole file.
  const std::string path = dir.Write("f.txt", "a\n" + std::string(20000, 'x') + "\nb\n");
  TGrep grep;
  grep.SetRegExp("a(.|\\n)*b");
  TCrossLineScan scan(grep.CurrentDFA());
  bool cancel = false;
  int pumps = 0;
  std::size_t lines = 0;
  EXPECT_THROW(scan.Scan(path, 1000, cancel, [&] { cancel = ++pumps == 5; }, [&](RE_LineInfo_t) { ++lines; }),
               EGrepCancel);
  EXPECT_EQ(pumps, 5);
  EXPECT_EQ(lines, 0u);
  pumps = 0;
  cancel = false;
  EXPECT_TRUE(scan.Scan(path, 1000, cancel, [&] { ++pumps; }, [&](RE_LineInfo_t) { ++lines; }));
  EXPECT_EQ(lines, 1u);
  EXPECT_GE(pumps, 22);  // every block and the reported line
}

}  // namespace
}  // namespace tarn::pattern

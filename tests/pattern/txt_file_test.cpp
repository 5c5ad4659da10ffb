#include "pattern/txt_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "temp_dir.h"

namespace tarn::pattern {
namespace {

namespace fs = std::filesystem;

using testing::TempDir;

std::vector<RE_Char_t> Codes(std::string_view text) {
  std::vector<RE_Char_t> codes;
  for (std::size_t i = 0; i < text.size(); i += CharLengthAt(text, i)) codes.push_back(CharCodeAt(text, i));
  return codes;
}

// Drives the reader the way the literal line scan does: every start position, one character at
// a time, a match reported by its line and scanning resumed after that line.
std::vector<RE_LineInfo_t> Scan(const std::string& path, const std::vector<RE_Char_t>& pattern, std::size_t block_size) {
  std::vector<RE_LineInfo_t> lines;
  bool cancel = false;
  try {
    TTxtFile file(path, cancel, {}, block_size);
    for (;;) {
      RE_Char_t c = file.ReadChar();
      for (std::size_t i = 0; i < pattern.size() && c == pattern[i]; ++i) {
        if (i + 1 == pattern.size()) {
          RE_LineInfo_t info;
          file.ReadLine(info);
          lines.push_back(info);
          break;
        }
        c = file.ReadAheadChar();
      }
    }
  } catch (const EEndOfFile&) {
  }
  return lines;
}

// Every line of the file: each line end read at the start cursor begins the next line.
std::vector<RE_LineInfo_t> AllLines(const std::string& path, std::size_t block_size) {
  return Scan(path, {'\n'}, block_size);
}

std::string Describe(const std::vector<RE_LineInfo_t>& lines) {
  std::string out;
  for (const auto& line : lines) out += std::to_string(line.LineNo) + ":" + line.Line + "|";
  return out;
}

TEST(TxtFileTest, LineEndsOfEveryKindGiveTheSameLinesWhereverTheBlocksEnd) {
  TempDir dir;
  const std::string path = dir.Write("a.txt", "a\r\nb\rc\nd");
  for (std::size_t block = 1; block <= 12; ++block) {
    SCOPED_TRACE(block);
    EXPECT_EQ(Describe(AllLines(path, block)), "1:a|2:b|3:c|4:d|");
  }
  EXPECT_EQ(Describe(AllLines(path, TTxtFile::kDefaultBlockSize)), "1:a|2:b|3:c|4:d|");
}

TEST(TxtFileTest, CrLfSplitAcrossTwoBlocksIsOneLineEnd) {
  TempDir dir;
  const std::string path = dir.Write("a.txt", "abc\r\ndef\r\n");
  // With blocks of 4 bytes the first block (behind the reader's leading LF) ends on the CR.
  EXPECT_EQ(Describe(AllLines(path, 4)), "1:abc|2:def|");
  EXPECT_EQ(Describe(Scan(path, Codes("c\nd"), 4)), "1:abc|");
  EXPECT_EQ(Describe(Scan(path, Codes("f\n"), 4)), "2:def|");
}

TEST(TxtFileTest, LoneCrAtABlockEndIsReplacedWhereTheLineIsKept) {
  TempDir dir;
  const std::string path = dir.Write("a.txt", "xxxxab\rcd\r\r\nef\r");
  for (std::size_t block = 1; block <= 20; ++block) {
    SCOPED_TRACE(block);
    EXPECT_EQ(Describe(AllLines(path, block)), "1:xxxxab|2:cd|3:|4:ef|");
    // A match that runs over the lone CR reports the line it starts in, without the CR.
    EXPECT_EQ(Describe(Scan(path, Codes("ab\nc"), block)), "1:xxxxab|");
    EXPECT_EQ(Describe(Scan(path, Codes("d\n\ne"), block)), "2:cd|");
  }
}

TEST(TxtFileTest, NulBytesReadAsSpacesAlsoAtABlockStart) {
  TempDir dir;
  const std::string path = dir.Write("a.txt", std::string("\0ab\0\0cd\0", 8));
  for (std::size_t block = 1; block <= 10; ++block) {
    SCOPED_TRACE(block);
    EXPECT_EQ(Describe(AllLines(path, block)), "1: ab  cd |");
    EXPECT_EQ(Describe(Scan(path, Codes("b  c"), block)), "1: ab  cd |");
  }
}

TEST(TxtFileTest, LastLineWithoutLineEndAndEmptyLines) {
  TempDir dir;
  EXPECT_EQ(Describe(AllLines(dir.Write("a", "one\n\nthree"), 5)), "1:one|2:|3:three|");
  EXPECT_EQ(Describe(AllLines(dir.Write("b", "\n"), 5)), "1:|");
  EXPECT_EQ(Describe(AllLines(dir.Write("c", "x\r"), 5)), "1:x|");
}

TEST(TxtFileTest, LongLineIsReportedWholeAndNextLineKeepsItsNumber) {
  TempDir dir;
  const std::string long_line = std::string(299998, 'x') + "yz";
  const std::string path = dir.Write("a.txt", "first\n" + long_line + "\nlast\n");
  for (const std::size_t block : {std::size_t{4096}, TTxtFile::kDefaultBlockSize}) {
    const auto hits = Scan(path, Codes("yz"), block);
    ASSERT_EQ(hits.size(), 1U);
    EXPECT_EQ(hits[0].LineNo, 2);
    EXPECT_EQ(hits[0].Line, long_line);
    EXPECT_EQ(Describe(Scan(path, Codes("last"), block)), "3:last|");
  }
}

TEST(TxtFileTest, DoubleByteCharactersAreOneCode) {
  TempDir dir;
  // "ア" is 0x83 0x41 and "ー" 0x81 0x5B: their trail bytes are no characters of their own.
  const std::string path = dir.Write("a.txt", "\x83\x41\n\x81\x5B\nA\n[\n");
  for (std::size_t block = 1; block <= 6; ++block) {
    SCOPED_TRACE(block);
    EXPECT_EQ(Describe(Scan(path, {'A'}, block)), "3:A|");
    EXPECT_EQ(Describe(Scan(path, {'['}, block)), "4:[|");
    EXPECT_EQ(Describe(Scan(path, {0x8341}, block)), "1:\x83\x41|");
  }
}

TEST(TxtFileTest, LeadByteAtTheEndOfTheFileEndsCleanly) {
  TempDir dir;
  const std::string path = dir.Write("a.txt", "ab\x83");
  for (std::size_t block = 1; block <= 4; ++block) {
    EXPECT_EQ(Describe(Scan(path, Codes("b"), block)), "1:ab\x83|");
    // The lone lead byte takes the supplied line end as its trail byte.
    EXPECT_EQ(Describe(Scan(path, {'b', 0x830A}, block)), "1:ab\x83|");
  }
}

TEST(TxtFileTest, OpeningFailures) {
  TempDir dir;
  bool cancel = false;
  EXPECT_THROW(TTxtFile(dir.path() + "/missing", cancel), EFileNotFound);
  EXPECT_THROW(TTxtFile(dir.path(), cancel), EFileNotFound);
  EXPECT_THROW(TTxtFile(dir.Write("empty", ""), cancel), EEndOfFile);
  cancel = true;
  EXPECT_THROW(TTxtFile(dir.Write("x", "x\n"), cancel), EGrepCancel);
}

TEST(TxtFileTest, CancelIsHonouredAtTheNextBlockAndBeforeAReportedLine) {
  TempDir dir;
  const std::string path = dir.Write("big.txt", std::string(100000, 'a') + "\n");
  bool cancel = false;
  int blocks = 0;
  TTxtFile file(path, cancel, [&] {
    if (++blocks == 3) cancel = true;
  }, 1000);
  std::size_t read = 0;
  try {
    for (;;) {
      file.ReadChar();
      ++read;
    }
  } catch (const EGrepCancel&) {
  }
  EXPECT_EQ(blocks, 3);
  EXPECT_LE(read, 2000U + 1);

  RE_LineInfo_t info;
  EXPECT_THROW(file.ReadLine(info), EGrepCancel);
}

TEST(TxtFileTest, LinesNeverDependOnBlockBoundaries) {
  TempDir dir;
  std::mt19937 random(20261209);
  const std::string alphabet("ab\r\n\0\x83\x41\x81", 8);
  const std::vector<std::vector<RE_Char_t>> patterns = {
      {'\n'}, {'a'}, {'b', '\n'}, {'\n', 'a'}, {'a', ' ', 'b'}, {0x8341}, {'A'}, {'b', '\n', '\n', 'a'}, {0x8161}};
  for (int round = 0; round < 25; ++round) {
    std::string bytes;
    const std::size_t size = random() % 60;
    for (std::size_t i = 0; i < size; ++i) bytes += alphabet[random() % alphabet.size()];
    const std::string path = dir.Write("r" + std::to_string(round), bytes);
    for (const auto& pattern : patterns) {
      const std::string expected = Describe(Scan(path, pattern, TTxtFile::kDefaultBlockSize));
      for (std::size_t block = 1; block <= 7; ++block)
        ASSERT_EQ(Describe(Scan(path, pattern, block)), expected) << "round " << round << " block " << block;
    }
  }
}

// A look-ahead that runs from the first line to the end of a file of short lines: the reader
// holds its block, the carried-over start of the line and one block read back, not the file.
TEST(TxtFileTest, LookAheadOverManyBlocksHoldsAboutTwoBlocks) {
  TempDir dir;
  std::string text = "a1\r\n";
  for (int i = 0; text.size() < (3u << 20); ++i) text += i % 2 ? "bcd\r\n" : "\x93\xFA\x96\x7B\r";
  text += "yz\n";
  const std::string path = dir.Write("big.txt", text);
  for (const std::size_t block : {std::size_t{4096}, TTxtFile::kDefaultBlockSize}) {
    bool cancel = false;
    TTxtFile file(path, cancel, {}, block);
    RE_LineInfo_t info;
    std::size_t ahead = 0;
    // From "a", read ahead to "y", then report the line the run started in.
    while (file.ReadChar() != 'a') {
    }
    while (file.ReadAheadChar() != 'y') ++ahead;
    file.ReadLine(info);
    EXPECT_EQ(info.Line, "a1");
    EXPECT_GT(ahead, text.size() / 2);
    // The rest of the file is read by the start cursor, from the blocks read back.
    RE_Char_t c = 0;
    try {
      while ((c = file.ReadChar()) != 'y') {
      }
      file.ReadLine(info);
    } catch (const EEndOfFile&) {
    }
    EXPECT_EQ(c, 'y');
    EXPECT_EQ(info.Line, "yz");
    EXPECT_EQ(static_cast<std::size_t>(info.LineNo), std::count(text.begin(), text.end(), '\r') + 1);
    EXPECT_LE(file.PeakHeldBytes(), 2 * block + 64) << block;
  }
}

TEST(IsTextFileTest, NulInTheFirst2048BytesMeansBinary) {
  TempDir dir;
  EXPECT_TRUE(IsTextFile(dir.Write("empty", "")));
  EXPECT_TRUE(IsTextFile(dir.Write("text", "abc\r\n")));
  EXPECT_FALSE(IsTextFile(dir.Write("nul-last", std::string(2047, 'a') + '\0')));
  const std::string late = dir.Write("nul-later", std::string(2048, 'a') + '\0' + "b\n");
  EXPECT_TRUE(IsTextFile(late));
  // Once searched, the late NUL shows as a space.
  EXPECT_EQ(AllLines(late, TTxtFile::kDefaultBlockSize).at(0).Line, std::string(2048, 'a') + " b");
}

TEST(IsTextFileTest, DirectoriesMissingFilesAndFifosAreNotText) {
  TempDir dir;
  EXPECT_FALSE(IsTextFile(dir.path()));
  EXPECT_FALSE(IsTextFile(dir.path() + "/missing"));
  const std::string fifo = dir.path() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(IsTextFile(fifo));
}

}  // namespace
}  // namespace tarn::pattern

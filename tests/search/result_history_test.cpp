#include "search/result_history.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "../core/file_test_support.h"
#include "search/editor_launch.h"
#include "search/result_lines.h"

namespace tarn::search {
namespace {

namespace fs = std::filesystem;

class ResultHistoryFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarn-history-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(dir_, ec))
      fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  void Write(const char* name, std::string_view bytes) { std::ofstream(dir_ / name, std::ios::binary) << bytes; }
  std::string Read(const char* name) {
    std::ifstream in(dir_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::string LoadError(std::int32_t n) {
    try {
      LoadResultHistory(dir_, n);
    } catch (const EResultFile& e) {
      return e.what();
    }
    return "no error";
  }

  fs::path dir_;
};

TResultHistoryEntry SampleEntry() {
  TResultHistoryEntry entry;
  entry.Request = {"\x90\xB0\x82\xEA", "/home/me/doc", "*.txt,*.c", false, "*", true, false};
  entry.ResultLineInfos = {"21,4,\x90\xB0\x82\xEA,/home/me/doc/memo.txt,12", "1,0,,\"/home/me/a b.txt\",3"};
  entry.ResultLines = {"memo.txt(12): \x8D\xA1\x93\xFA\x82\xCD\x90\xB0\x82\xEA", "a b.txt(3): "};
  return entry;
}

TEST_F(ResultHistoryFiles, SavesThreeFilesAndLoadsThemBack) {
  const TResultHistoryEntry entry = SampleEntry();
  SaveResultHistory(dir_, 7, entry);
  EXPECT_EQ(Read("ParamList.7"), "\x90\xB0\x82\xEA\r\n/home/me/doc\r\n*.txt,*.c\r\n0\r\n*\r\n1\r\n0\r\n");
  EXPECT_EQ(Read("GerpList.7"), entry.ResultLineInfos[0] + "\r\n" + entry.ResultLineInfos[1] + "\r\n");
  EXPECT_EQ(Read("ResultList.7"), entry.ResultLines[0] + "\r\n" + entry.ResultLines[1] + "\r\n");

  const TResultHistoryEntry back = LoadResultHistory(dir_, 7);
  EXPECT_EQ(back.ResultLineInfos, entry.ResultLineInfos);
  EXPECT_EQ(back.ResultLines, entry.ResultLines);
  EXPECT_EQ(back.Request.FindString, entry.Request.FindString);
  EXPECT_EQ(back.Request.FindFileMask, "*.txt,*.c");
  EXPECT_FALSE(back.Request.FindSubDirectory);
  EXPECT_TRUE(back.Request.UseFuzzyCharDic);
  EXPECT_FALSE(back.Request.UseSynonymDic);
}

TEST_F(ResultHistoryFiles, LineBreaksInsideValuesCannotShiftTheLines) {
  TResultHistoryEntry entry = SampleEntry();
  entry.Request.FindString = "a\r\nb\rc\nd";
  entry.ResultLines[0] = "x\ny";
  SaveResultHistory(dir_, 1, entry);
  const TResultHistoryEntry back = LoadResultHistory(dir_, 1);
  EXPECT_EQ(back.Request.FindString, "a  b c d");
  EXPECT_EQ(back.Request.FindDirectory, "/home/me/doc");
  EXPECT_EQ(back.ResultLines.size(), 2u);
  EXPECT_EQ(back.ResultLines[0], "x y");

  // A file name may hold line breaks: its record still reads back the path byte for byte.
  const std::string name = "/home/me/a\nb%0A\r.txt";
  entry.ResultLineInfos.push_back(MakeResultLineInfo(0, 1, 3, "hit", name, 4, name));
  entry.ResultLines.push_back("hit");
  SaveResultHistory(dir_, 2, entry);
  const TResultHistoryEntry again = LoadResultHistory(dir_, 2);
  ASSERT_EQ(again.ResultLineInfos.size(), 3u);
  EXPECT_EQ(again.ResultLineInfos[1], entry.ResultLineInfos[1]);
  const auto record = ParseResultLineInfo(again.ResultLineInfos[2]);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->NativeFileName, name);
  EXPECT_EQ(ParseEditorTarget(again.ResultLineInfos[2]).NativeFileName, name);  // what Back hands the editor
}

// A searched line may hold the byte 0x1A; only one that ends the file is an end mark.
TEST_F(ResultHistoryFiles, ResultListKeepsEveryByteButAFinal1A) {
  Write("GerpList.2", "1,1,a,/f,1\r\n1,1,b,/f,2\r\n1,1,c,/f,3\r\n");
  Write("ResultList.2", "a\r\nb\x1Atail\r\nc\x1A");
  Write("ParamList.2", "s\nd\nm\n1\n*\n0\n0");  // lone LF and no final line end read as well
  const TResultHistoryEntry back = LoadResultHistory(dir_, 2);
  EXPECT_EQ(back.ResultLines, (std::vector<std::string>{"a", "b\x1Atail", "c"}));
  EXPECT_EQ(back.ResultLineInfos.size(), 3u);
  EXPECT_TRUE(back.Request.FindSubDirectory);
}

// A write that fails half-way (a full disk) is reported, and the file it was to replace stays whole.
TEST_F(ResultHistoryFiles, AFailedWriteKeepsTheOldFiles) {
  SaveResultHistory(dir_, 5, SampleEntry());
  const std::string before = Read("ResultList.5");
  TResultHistoryEntry big = SampleEntry();
  big.ResultLines.assign(4000, std::string(100, 'x'));
  try {
    tarn::testing::FileSizeLimit limit(64 * 1024);
    SaveResultHistory(dir_, 5, big);
    ADD_FAILURE() << "no error";
  } catch (const EResultFile& e) {
    EXPECT_NE(std::string(e.what()).find("ResultList.5"), std::string::npos);
  }
  EXPECT_EQ(Read("ResultList.5"), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 3);
}

// The entry written row by row holds the bytes of the one written at the end, across flushes
// and line breaks; a writer that is dropped leaves no file.
TEST_F(ResultHistoryFiles, EntryWrittenWhileRowsComeInMatchesTheWholeSave) {
  TResultHistoryEntry entry = SampleEntry();
  const std::string name = "/home/me/a\nb%0A\r.txt";
  entry.ResultLineInfos.push_back(MakeResultLineInfo(0, 1, 3, "hit", name, 4, name));
  entry.ResultLines.push_back("x\r\ny");
  for (int i = 0; i < 30000; ++i) {
    entry.ResultLineInfos.push_back("1,1,a,/f," + std::to_string(i));
    entry.ResultLines.push_back(std::string(40 + i % 7, 'r'));
  }
  SaveResultHistory(dir_, 1, entry);
  for (const bool finish : {false, true}) {
    TResultHistoryWriter writer(dir_);
    for (std::size_t i = 0; i < entry.ResultLines.size(); ++i) writer.Add(entry.ResultLines[i], entry.ResultLineInfos[i]);
    if (finish) writer.Finish(2, entry.Request);
  }
  for (const char* stem : {"ParamList.", "GerpList.", "ResultList."})
    EXPECT_EQ(Read((std::string(stem) + "2").c_str()), Read((std::string(stem) + "1").c_str())) << stem;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 6);
}

TEST_F(ResultHistoryFiles, DamagedFilesGiveAClearError) {
  EXPECT_NE(LoadError(4).find("GerpList.4"), std::string::npos);  // missing

  SaveResultHistory(dir_, 3, SampleEntry());
  Write("ParamList.3", "s\r\nd\r\nm\r\n1\r\n");
  EXPECT_NE(LoadError(3).find("ParamList.3"), std::string::npos);  // cut short
  Write("ParamList.3", "s\r\nd\r\nm\r\non\r\n*\r\n0\r\n0\r\n");
  EXPECT_NE(LoadError(3).find("ParamList.3"), std::string::npos);  // not a number
  Write("ParamList.3", "s\r\nd\r\nm\r\n99999999999999\r\n*\r\n0\r\n0\r\n");
  EXPECT_NE(LoadError(3).find("ParamList.3"), std::string::npos);

  SaveResultHistory(dir_, 3, SampleEntry());
  Write("GerpList.3", "21,4,x,/f\r\n1,0,,/g,3\r\n");
  EXPECT_NE(LoadError(3).find("GerpList.3"), std::string::npos);  // a field missing
  Write("GerpList.3", "21,4,x,/f,twelve\r\n1,0,,/g,3\r\n");
  EXPECT_NE(LoadError(3).find("GerpList.3"), std::string::npos);
  Write("GerpList.3", "21,4,x,/f,12\r\n");
  EXPECT_NE(LoadError(3).find("GerpList.3"), std::string::npos);  // fewer entries than lines
  Write("GerpList.3", "");
  Write("ResultList.3", "");
  EXPECT_EQ(LoadError(3), "no error");
}

// Anything but a regular file in the place of a history or export file is refused at once; the
// alarm ends the test run should a write or read block on the FIFO.
TEST_F(ResultHistoryFiles, FifosAreRefusedAtOnce) {
  ::alarm(20);
  for (const char* name : {"ParamList.2", "GerpList.2", "ResultList.2"}) {
    SCOPED_TRACE(name);
    const fs::path fifo = dir_ / name;
    fs::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(SaveResultHistory(dir_, 2, SampleEntry()), EResultFile);
    EXPECT_THROW(LoadResultHistory(dir_, 2), EResultFile);
    fs::remove(fifo);
    SaveResultHistory(dir_, 2, SampleEntry());
  }
  ASSERT_EQ(::mkfifo((dir_ / "export.txt").c_str(), 0600), 0);
  EXPECT_THROW(SaveResult(dir_ / "export.txt", TSaveType::Text, {"a"}, {}, {}), EResultFile);
  ::alarm(0);
}

TEST(ResultHistoryIndex, StepsBackAndForthAndAddsAfterTheNewest) {
  TResultHistoryIndex index;
  EXPECT_FALSE(index.CanGoBack());
  EXPECT_FALSE(index.CanGoForward());
  EXPECT_EQ(index.AddEntry(), 1);
  EXPECT_EQ(index.First(), 1);
  EXPECT_EQ(index.Current(), 1);
  EXPECT_EQ(index.AddEntry(), 2);
  EXPECT_EQ(index.AddEntry(), 3);
  EXPECT_EQ(index.GoBack(), 2);
  EXPECT_EQ(index.GoBack(), 1);
  EXPECT_EQ(index.GoBack(), std::nullopt);
  EXPECT_EQ(index.GoForward(), 2);
  EXPECT_EQ(index.AddEntry(), 4);  // entries after Current are kept
  EXPECT_EQ(index.Current(), 4);
  EXPECT_EQ(index.GoForward(), std::nullopt);
  index.Clear();
  EXPECT_EQ(index.Last(), 0);
  EXPECT_EQ(index.AddEntry(), 1);
}

TEST(ResultHistoryIndex, StartUpShowsNothingAndBackGivesTheNewest) {
  TResultHistoryIndex index = TResultHistoryIndex::AtStartUp(1, 3);
  EXPECT_EQ(index.Current(), 4);
  EXPECT_FALSE(index.CanGoForward());
  EXPECT_EQ(index.GoBack(), 3);
  EXPECT_EQ(TResultHistoryIndex::AtStartUp(0, 0).Current(), 0);
  TResultHistoryIndex full = TResultHistoryIndex::AtStartUp(1, std::numeric_limits<std::int32_t>::max());
  EXPECT_THROW(full.AddEntry(), EResultFile);
  TResultHistoryIndex negative = TResultHistoryIndex::AtStartUp(0, -5);
  EXPECT_EQ(negative.AddEntry(), 1);
}

TEST_F(ResultHistoryFiles, ClearDeletesEverythingInsideTmpButTmpItself) {
  const fs::path tmp = dir_ / "Tmp";
  fs::create_directories(tmp / "sub" / "deeper");
  SaveResultHistory(tmp, 1, SampleEntry());
  std::ofstream(tmp / "foreign.txt") << "x";
  std::ofstream(tmp / "sub" / "deeper" / "read-only") << "x";
  ::chmod((tmp / "sub" / "deeper" / "read-only").c_str(), 0444);
  ::chmod((tmp / "sub" / "deeper").c_str(), 0555);
  ::chmod((tmp / "sub").c_str(), 0555);
  // A link to a directory outside is removed as a link; what it points at stays.
  fs::create_directory(dir_ / "outside");
  std::ofstream(dir_ / "outside" / "keep") << "x";
  fs::create_directory_symlink(dir_ / "outside", tmp / "link");

  EXPECT_TRUE(ClearResultHistoryFiles(tmp));
  EXPECT_TRUE(fs::is_directory(tmp));
  EXPECT_TRUE(fs::is_empty(tmp));
  EXPECT_TRUE(fs::exists(dir_ / "outside" / "keep"));

  // A Tmp that is itself a link loses the link only.
  fs::create_directory_symlink(dir_ / "outside", dir_ / "LinkedTmp");
  EXPECT_TRUE(ClearResultHistoryFiles(dir_ / "LinkedTmp"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / "LinkedTmp")));
  EXPECT_TRUE(fs::exists(dir_ / "outside" / "keep"));

  EXPECT_FALSE(ClearResultHistoryFiles(dir_ / "none"));
  EXPECT_FALSE(DeleteDirectoryContents(""));
  EXPECT_FALSE(DeleteDirectoryContents(dir_ / "none"));
  EXPECT_TRUE(DeleteDirectoryTree(tmp));
  EXPECT_FALSE(fs::exists(tmp));
}

}  // namespace
}  // namespace tarn::search

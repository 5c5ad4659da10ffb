#include "storage/result_storage.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "../core/file_test_support.h"
#include "settings/settings_file.h"
#include "../settings/temp_directory.h"

namespace tarn::storage {
namespace {

using namespace settings;  // the data directory's types throughout

TEST(ResultStorage, ANewEntryGoesAfterTheNewestAndUpdatesTheSettingsFile) {
  settings::testing::TempDirectory dir;
  const auto where = DataLocations::InDirectory(dir.path() / "data");
  search::TResultHistoryEntry entry;
  entry.Request.FindString = "abc";
  EXPECT_EQ(AddResultHistoryEntry(where, entry), 0);  // no lines, no entry
  EXPECT_FALSE(std::filesystem::exists(where.DataDirectory() / "tarn.ini"));

  entry.ResultLines = {"a.txt(1): abc"};
  entry.ResultLineInfos = {"11,3,abc,/d/a.txt,1"};
  SaveOptionHistories(where.SettingsFilePath(), {"vi", "", ""});
  SaveResultHistoryCounters(where.SettingsFilePath(), 1, 4);
  EXPECT_EQ(AddResultHistoryEntry(where, entry), 5);
  EXPECT_EQ(AddResultHistoryEntry(where, entry), 6);

  const TResultHistoryCounters counters = LoadResultHistoryCounters(where.SettingsFilePath());
  EXPECT_EQ(counters.First, 1);
  EXPECT_EQ(counters.Last, 6);
  EXPECT_EQ(LoadOptionHistories(where.SettingsFilePath()).ExeName, "vi");
  const search::TResultHistoryEntry back = search::LoadResultHistory(where.TmpDirectoryPath(), 6);
  EXPECT_EQ(back.ResultLines, entry.ResultLines);
  EXPECT_EQ(back.Request.FindString, "abc");
}

// Writers running at once each get a number of their own, and a "Last" that cannot be read or
// lags behind never makes a new entry overwrite one whose files are in Tmp.
TEST(ResultStorage, EntryNumbersAreNeverShared) {
  settings::testing::TempDirectory dir;
  const auto where = DataLocations::InDirectory(dir.path() / "data");
  std::vector<std::thread> writers;
  for (int i = 0; i < 10; ++i)
    writers.emplace_back([&where, i] {
      search::TResultHistoryEntry entry;
      entry.Request.FindString = std::to_string(i);
      entry.ResultLines = {"a.txt(1): abc"};
      entry.ResultLineInfos = {"11,3,abc,/d/a.txt,1"};
      AddResultHistoryEntry(where, entry);
    });
  for (std::thread& writer : writers) writer.join();
  EXPECT_EQ(LoadResultHistoryCounters(where.SettingsFilePath()).Last, 10);
  std::set<std::string> strings;
  for (std::int32_t n = 1; n <= 10; ++n)
    strings.insert(search::LoadResultHistory(where.TmpDirectoryPath(), n).Request.FindString);
  EXPECT_EQ(strings.size(), 10u);

  search::TResultHistoryEntry late;
  late.Request.FindString = "late";
  late.ResultLines = {"b.txt(2): abc"};
  late.ResultLineInfos = {"11,3,abc,/d/b.txt,2"};
  for (const char* last : {"x", "2"}) {
    SCOPED_TRACE(last);
    UpdateSettingsFile(where.SettingsFilePath(), [&](IniFile& ini) { ini.WriteString("FindResultHistory", "Last", last); });
    const std::int32_t n = AllocateResultHistoryEntry(
        where, [&](std::int32_t k) { search::SaveResultHistory(where.TmpDirectoryPath(), k, late); });
    EXPECT_EQ(n, std::string(last) == "x" ? 11 : 12);
    EXPECT_EQ(LoadResultHistoryCounters(where.SettingsFilePath()).Last, n);
  }
  // The lock is held while the entry is written, when the editor may be started.
  AllocateResultHistoryEntry(where, [&](std::int32_t) {
    EXPECT_EQ(tarn::testing::ChildDescriptors(dir.path() / "fds").find("Tmp.lock"), std::string::npos);
  });
  std::set<std::string> kept;
  for (std::int32_t n = 1; n <= 10; ++n)
    kept.insert(search::LoadResultHistory(where.TmpDirectoryPath(), n).Request.FindString);
  EXPECT_EQ(kept, strings);
}

// Entry files whose number the counters do not record would be counted by the next entry and
// turn up later as an entry no one saw stored: they go when the counters cannot be written.
TEST(ResultStorage, AnEntryWhoseCountersCannotBeWrittenLeavesNoFiles) {
  settings::testing::TempDirectory dir;
  const auto where = DataLocations::InDirectory(dir.path() / "data");
  search::TResultHistoryEntry entry;
  entry.ResultLines = {"a.txt(1): abc"};
  entry.ResultLineInfos = {"11,3,abc,/d/a.txt,1"};
  const auto ini = where.SettingsFilePath();
  EXPECT_ANY_THROW(AllocateResultHistoryEntry(where, [&](std::int32_t n) {
    search::SaveResultHistory(where.TmpDirectoryPath(), n, entry);
    std::filesystem::create_directory(ini);  // no settings file can take its place now
  }));
  EXPECT_TRUE(std::filesystem::is_empty(where.TmpDirectoryPath()));
  std::filesystem::remove(ini);
  EXPECT_EQ(AddResultHistoryEntry(where, entry), 1);
}

TEST(ResultStorage, TheHtmlFormTakesTheResultViewsColoursAndHitStyle) {
  TFindResultInfo info;
  info.StringFontColor = 0x000080FF;
  info.StringStyleItalic = true;
  info.BackColor = 0x00FFFFFF;
  const search::THtmlStyle style = HtmlStyleOf(info);
  EXPECT_EQ(style.BackColor, 0x00FFFFFFu);
  EXPECT_EQ(style.FontColor, 0u);
  EXPECT_EQ(style.StringFontColor, 0x000080FFu);
  EXPECT_FALSE(style.Bold);
  EXPECT_TRUE(style.Italic);
  EXPECT_FALSE(style.Underline);
}

}  // namespace
}  // namespace tarn::storage

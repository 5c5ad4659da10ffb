#include "settings/result_storage.h"

#include <gtest/gtest.h>

#include "settings/settings_file.h"
#include "temp_directory.h"

namespace tarn::settings {
namespace {

TEST(ResultStorage, ANewEntryGoesAfterTheNewestAndUpdatesTheSettingsFile) {
  testing::TempDirectory dir;
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
}  // namespace tarn::settings

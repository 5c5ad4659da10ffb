#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <fstream>

#include "core/system_text.h"
#include "settings/data_locations.h"
#include "temp_directory.h"

namespace tarn::settings {
namespace {

void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TTarnSettings DesignValues() {
  TTarnSettings s;
  s.Window.Width = 1024;  // the desktop work area
  s.Window.Height = 740;
  return s;
}

TEST(SettingsFile, AMissingFileGivesTheDesignValues) {
  testing::TempDirectory dir;
  const TTarnSettings s = LoadSettingsFile(dir.path() / "tarn.ini", DesignValues());
  EXPECT_EQ(s.Version, "");
  EXPECT_EQ(s.Window.Top, 0);
  EXPECT_EQ(s.Window.Width, 1024);
  EXPECT_EQ(s.Basic.FontName, "MS UI Gothic");
  EXPECT_EQ(s.LeftPanel.FontName, "MS UI Gothic");
  EXPECT_EQ(s.FindResult.FontName, SystemText("ＭＳ ゴシック"));
  EXPECT_EQ(s.FindResult.BackColor, 0x80000005u);
  EXPECT_EQ(s.FindResult.StringFontColor, 0x00FF0000u);
  EXPECT_EQ(s.FindResult.StringBackColor, 0x0000FFFFu);
  EXPECT_EQ(s.FindResult.ResultType, 2);
  EXPECT_EQ(s.FindRequest.MaxHistory, 32);
  EXPECT_TRUE(s.RequestBoxes.FindSubDirectory);
  EXPECT_TRUE(s.LeftPanelState.Visible);
  EXPECT_EQ(s.LeftPanelState.Width, 185);
  EXPECT_EQ(s.History.Current, 0);
  EXPECT_EQ(FormatShortcut(s.ShortCuts[0]), "Ctrl+Q");
  EXPECT_EQ(FormatShortcut(s.ShortCuts[8]), "Ctrl+Del");
  EXPECT_EQ(FormatShortcut(s.ShortCuts[13]), "F12");
  EXPECT_TRUE(s.HelpEntries.empty());
}

TEST(SettingsFile, FirstSaveWritesEverySectionInOrder) {
  testing::TempDirectory dir;
  const auto path = dir.path() / "tarn.ini";
  SaveSettingsFile(path, DesignValues());
  SaveStringWindowPlacement(path, {});
  const IniFile ini = IniFile::Load(path);
  EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"Tarn", "LeftPanel", "Editor", "FindRequest", "FindResult", "RunTime",
                                                         "FindResultHistory", "ToolBar", "ShortCut", "Help", "StringWindow"}));
  const std::string text = ReadBytes(path);
  EXPECT_EQ(text.rfind("[Tarn]\r\nVersion=1.1.9\r\nTop=0\r\nLeft=0\r\nWidth=1024\r\nHeight=740\r\nWindowState=0\r\n", 0), 0u);
  EXPECT_NE(text.find("BackColor=$80000005\r\nStringFontColor=$00FF0000\r\nStringBackColor=$0000FFFF\r\n"), std::string::npos);
  EXPECT_NE(text.find("[ToolBar]\r\nFindVisible=1\r\nFindFloating=0\r\nFindTop=0\r\nFindLeft=0\r\nResultVisible=1"), std::string::npos);
  EXPECT_NE(text.find("[ShortCut]\r\nFileExit=Ctrl+Q\r\nFindStart=F3\r\nFindStop=Esc\r\n"), std::string::npos);
  EXPECT_NE(text.find("[Help]\r\nCount=0\r\n\r\n[StringWindow]\r\nTop=0\r\nLeft=0\r\nWidth=517\r\nHeight=403\r\n\r\n"), std::string::npos);
}

TEST(SettingsFile, RoundTripKeepsValuesAndKeysTheProgramDoesNotKnow) {
  testing::TempDirectory dir;
  const auto path = dir.path() / "tarn.ini";
  WriteBytes(path,
             "; my notes\r\n[Mine]\r\nanswer=42\r\n\r\n[Tarn]\r\nPlugin=yes\r\n[StringWindow]\r\nTop=7\r\n"
             "[Editor]\r\nHistoryExeName=vi,emacs\r\n");
  TTarnSettings s = LoadSettingsFile(path, DesignValues());
  s.RequestBoxes.FindString = {"a,b", "two words", "say \"hi\"", "\x93\xFA\x96\x7B"};
  s.RequestBoxes.FindDirectory = {"/home/me/doc"};
  s.Editor = {"/usr/bin/vim", "+%L %F"};
  s.FindResult.StringStyleBold = true;
  s.FindResult.FontColor = 0x1FFFFFFF;
  s.History = {1, 3, 2};
  s.ShortCuts[1] = 0;
  s.HelpEntries = {"Manual,/usr/share/doc/tarn/index.html,Ctrl+F1", "Web,http://example.com/"};
  s.Window.WindowState = 0;
  s.Window.Left = 30;
  SaveSettingsFile(path, s);

  const TTarnSettings back = LoadSettingsFile(path, DesignValues());
  EXPECT_EQ(back.Version, "1.1.9");
  EXPECT_EQ(back.RequestBoxes.FindString, s.RequestBoxes.FindString);
  EXPECT_EQ(back.RequestBoxes.FindDirectory, s.RequestBoxes.FindDirectory);
  EXPECT_EQ(back.Editor.CmdLine, "+%L %F");
  EXPECT_TRUE(back.FindResult.StringStyleBold);
  EXPECT_EQ(back.FindResult.StringStyle, fsBold);
  EXPECT_EQ(back.FindResult.FontColor, 0x1FFFFFFFu);
  EXPECT_EQ(back.History.First, 1);
  EXPECT_EQ(back.History.Last, 3);
  EXPECT_EQ(back.History.Current, 4);
  EXPECT_EQ(back.ShortCuts[1], 0);  // an empty key removes the design shortcut
  EXPECT_EQ(back.HelpEntries, s.HelpEntries);
  EXPECT_EQ(back.Window.Left, 30);

  const IniFile ini = IniFile::Load(path);
  EXPECT_EQ(ini.ReadString("Mine", "answer", ""), "42");
  EXPECT_EQ(ini.ReadString("Tarn", "Plugin", ""), "yes");
  EXPECT_EQ(ini.ReadInteger("StringWindow", "Top", 0), 7);
  EXPECT_EQ(LoadOptionHistories(path).ExeName, "vi,emacs");
  EXPECT_EQ(ReadBytes(path).find("; my notes"), std::string::npos);
  EXPECT_EQ(ini.SectionNames().front(), "Mine");
}

TEST(SettingsFile, HandEditedValuesAreReadAndWrittenBackInTheirForms) {
  testing::TempDirectory dir;
  const auto path = dir.path() / "tarn.ini";
  WriteBytes(path,
             "[tarn]\nversion=1.1.9\nwindowstate=2\nTop=5\nFontName=  Noto Sans  \nFontSize=big\n"
             "[FINDRESULT]\nFontColor=255\nBackColor=0x00FFFFFF\nStringFontColor=$000000ff\nResultType=3\n"
             "FileEncoding=EUC-JP\n"
             "[ShortCut]\nFindStart=^f3\nResultSave=Ctrl+Nothing\n"
             "[FindResultHistory]\nLast=2147483647\n"
             "[Help]\nCount=99999999\nItem0=a,b\n"
             "[ToolBar]\nHelpFloating=1\nHelpTop=-20\n");
  TTarnSettings current = DesignValues();
  current.Basic.FontSize = 10;
  const TTarnSettings s = LoadSettingsFile(path, current);
  EXPECT_EQ(s.Window.WindowState, 2);
  EXPECT_EQ(s.Basic.FontName, "Noto Sans");
  EXPECT_EQ(s.Basic.FontSize, 10);
  EXPECT_EQ(s.LeftPanel.FontName, "Noto Sans");  // the panel follows the base font just read
  EXPECT_EQ(s.FindResult.FontColor, 255u);
  EXPECT_EQ(s.FindResult.BackColor, 0x00FFFFFFu);
  EXPECT_EQ(s.FindResult.StringFontColor, 0xFFu);
  EXPECT_EQ(s.FindResult.ResultType, 3);
  EXPECT_EQ(s.FindResult.FileEncoding, FileEncodingChoice::kEucJp);
  EXPECT_EQ(FormatShortcut(s.ShortCuts[1]), "Ctrl+F3");
  EXPECT_EQ(s.ShortCuts[9], 0);
  EXPECT_EQ(s.History.Current, 2147483647);
  EXPECT_EQ(s.HelpEntries.size(), 1000u);
  EXPECT_EQ(s.HelpEntries[0], "a,b");
  EXPECT_TRUE(s.ToolBars[3].Floating);
  EXPECT_EQ(s.ToolBars[3].Top, -20);

  TTarnSettings changed = s;
  changed.Window.Width = 1;  // maximised: size and position keys stay as they were
  SaveSettingsFile(path, changed);
  const IniFile ini = IniFile::Load(path);
  EXPECT_EQ(ini.ReadString("Tarn", "Top", ""), "5");
  EXPECT_EQ(ini.ReadString("Tarn", "Width", "absent"), "absent");
  EXPECT_EQ(ini.ReadString("FindResult", "FontColor", ""), "$000000FF");
  EXPECT_EQ(ini.ReadString("FindResult", "BackColor", ""), "$00FFFFFF");
  EXPECT_EQ(ini.ReadString("FindResult", "FileEncoding", ""), "euc-jp");
  EXPECT_EQ(ini.ReadString("ShortCut", "ResultSave", "x"), "");
}

TEST(SettingsFile, AFileWithoutVersionHasItsHistoriesAndHelpEntriesUnquoted) {
  testing::TempDirectory dir;
  const auto path = dir.path() / "tarn.ini";
  const std::string body =
      "[FindRequest]\nFindString=\"two words\"\nFindFileMask=*.txt,*.c\n"
      "[Help]\nCount=2\nItem0=\"Manual,/doc/a.htm\"\n";
  WriteBytes(path, "[Tarn]\n" + body);
  const TTarnSettings old = LoadSettingsFile(path, DesignValues());
  EXPECT_EQ(old.RequestBoxes.FindString, (std::vector<std::string>{"two", "words"}));
  EXPECT_EQ(old.RequestBoxes.FindFileMask, (std::vector<std::string>{"*.txt", "*.c"}));
  EXPECT_EQ(old.HelpEntries, (std::vector<std::string>{"Manual,/doc/a.htm", ""}));

  WriteBytes(path, "[Tarn]\nVersion=1.1.9\n" + body);
  const TTarnSettings current = LoadSettingsFile(path, DesignValues());
  EXPECT_EQ(current.RequestBoxes.FindString, (std::vector<std::string>{"two words"}));
  EXPECT_EQ(current.HelpEntries[0], "\"Manual,/doc/a.htm\"");

  SaveSettingsFile(path, old);
  EXPECT_EQ(IniFile::Load(path).ReadString("FindRequest", "FindString", ""), "two,words");
  EXPECT_EQ(IniFile::Load(path).ReadString("Tarn", "Version", ""), "1.1.9");
}

TEST(SettingsFile, SingleKeyWritersKeepEachOthersKeys) {
  testing::TempDirectory dir;
  const auto path = dir.path() / "tarn.ini";
  SaveSettingsFile(path, DesignValues());
  SaveOptionHistories(path, {"vi,\"my editor\"", "+%L %F", "/tmp"});
  SaveStringWindowPlacement(path, {1, 2, 300, 200});
  SaveResultHistoryCounters(path, 1, 5);
  TTarnSettings s = LoadSettingsFile(path, DesignValues());
  EXPECT_EQ(s.History.Current, 6);
  EXPECT_EQ(LoadOptionHistories(path).ExeName, "vi,\"my editor\"");
  EXPECT_EQ(LoadOptionHistories(path).SaveDirectory, "/tmp");
  EXPECT_EQ(LoadStringWindowPlacement(path).Width, 300);
  EXPECT_EQ(LoadResultHistoryCounters(path).Last, 5);
  s.History = {0, 0, 0};
  SaveSettingsFile(path, s);
  EXPECT_EQ(LoadStringWindowPlacement(path).Height, 200);
  EXPECT_EQ(LoadResultHistoryCounters(path).Current, 0);
}

TEST(HelpEntry, ReadsTwoOrThreeItems) {
  const THelpEntry two = ParseHelpEntry("Web,http://example.com/");
  EXPECT_EQ(two.FileName, "http://example.com/");
  EXPECT_EQ(two.ShortCut, "");
  const THelpEntry three = ParseHelpEntry(FormatHelpEntry({"My manual", "/doc/a b.htm", "Ctrl+F1"}));
  EXPECT_EQ(three.Title, "My manual");
  EXPECT_EQ(three.FileName, "/doc/a b.htm");
  EXPECT_EQ(three.ShortCut, "Ctrl+F1");
}

TEST(DataLocations, UsesAllUsersTheLogonNameOrTheProgramDirectory) {
  testing::TempDirectory dir;
  const std::string name = DataDirectoryName(dir.path());
  const auto perUser = DataLocations::ForProgram(dir.path());
  EXPECT_EQ(perUser.DataDirectory(), name.empty() ? dir.path() : dir.path() / name);
  EXPECT_EQ(perUser.SettingsFilePath(), perUser.DataDirectory() / "tarn.ini");
  EXPECT_TRUE(std::filesystem::is_directory(perUser.DataDirectory()));

  std::filesystem::create_directory(dir.path() / "allusers");
  EXPECT_EQ(DataDirectoryName(dir.path()), "allusers");
  const auto shared = DataLocations::ForProgram(dir.path());
  EXPECT_EQ(shared.SynonymDicPath(), dir.path() / "allusers" / "Synonym.Dic");
  EXPECT_EQ(shared.StringFilePath(), dir.path() / "allusers" / "String.txt");
  EXPECT_EQ(shared.TmpDirectoryPath(), dir.path() / "allusers" / "Tmp");
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "allusers" / "Tmp"));
}

TEST(DataLocations, FallsBackToThePerUserDirectoryWhenTheProgramDirectoryCannotBeWritten) {
  testing::TempDirectory dir;
  EXPECT_EQ(PerUserDataDirectory().filename(), "tarn");
  EXPECT_EQ(DataLocations::ForProgram(dir.path() / "no such dir").DataDirectory(), PerUserDataDirectory());
  const auto given = DataLocations::InDirectory(dir.path() / "data");
  EXPECT_EQ(given.TmpDirectoryPath(), dir.path() / "data" / "Tmp");
  if (::geteuid() != 0) {  // root writes anywhere
    const auto program = dir.path() / "bin";
    std::filesystem::create_directory(program);
    std::filesystem::permissions(program, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    EXPECT_EQ(DataLocations::ForProgram(program).DataDirectory(), PerUserDataDirectory());
  }
  // An installed copy, even one whose folder can be written (root's /usr/bin).
  const auto prefix = dir.path() / "usr";
  std::filesystem::create_directories(prefix / "bin");
  EXPECT_NE(DataLocations::ForProgram(prefix / "bin").DataDirectory(), PerUserDataDirectory());
  std::filesystem::create_directories(prefix / "share" / "doc" / "tarn");
  EXPECT_EQ(DataLocations::ForProgram(prefix / "bin").DataDirectory(), PerUserDataDirectory());
}

// A data directory that others may write, or may swap for one of their own, is never taken.
TEST(DataLocations, AFolderOthersCanWriteIsNotUsed) {
  testing::TempDirectory dir;  // in the sticky temporary folder
  const std::filesystem::path program = dir.path() / "bin";
  EXPECT_EQ(FolderAnotherUserControls(program / "data"), std::nullopt);
  std::filesystem::create_directory(program);
  std::filesystem::permissions(program, std::filesystem::perms::all);
  EXPECT_EQ(FolderAnotherUserControls(program), program);
  EXPECT_EQ(FolderAnotherUserControls(program / "data"), program);
  EXPECT_EQ(DataLocations::ForProgram(program).DataDirectory(), PerUserDataDirectory());
}

}  // namespace
}  // namespace tarn::settings

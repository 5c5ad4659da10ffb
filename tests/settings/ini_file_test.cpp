#include "settings/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "core/system_text.h"
#include "temp_directory.h"

namespace tarn::settings {
namespace {

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(IniFile, ReadsLenientlyAndWritesCanonically) {
  const IniFile ini = IniFile::Parse(
      "before=ignored\n"
      "  [ Tarn ]  \r\n"
      "; a comment\r"
      "\n"
      "  Top = 12 \n"
      "top=99\n"
      "loose line\n"
      "Name= a = b \n"
      "[tarn]\n"
      "Extra=1");
  EXPECT_EQ(ini.ReadInteger("TARN", "TOP", 0), 12);
  EXPECT_EQ(ini.ReadString("Tarn", "name", ""), "a = b");
  EXPECT_EQ(ini.ReadString("Tarn", "before", "none"), "none");
  EXPECT_EQ(ini.ReadString("Tarn", "Extra", ""), "1");
  EXPECT_EQ(ini.ToText(), "[Tarn]\r\nTop=12\r\ntop=99\r\nloose line\r\nName=a = b\r\nExtra=1\r\n\r\n");
  // "[ゾ" ends in the trail byte 0x5D: a line of the section, not a new section.
  const IniFile sjis = IniFile::Parse("[A]\n[\x83\x5D\nk=1\n");
  EXPECT_EQ(sjis.SectionNames(), std::vector<std::string>{"A"});
  EXPECT_EQ(sjis.ReadString("A", "k", ""), "1");
}

// A file saved by a UTF-8 editor (with or without a byte order mark) reads as the same values as
// its CP932 form, and is written back in CP932.
TEST(IniFile, AFileSavedAsUtf8IsReadAsUtf8) {
  const std::string utf8 = "[Help]\r\nItem0=説明書,/doc/説明.htm,\r\n\r\n[LeftPanel]\r\nInitialDir=/home/me/文書\r\n\r\n";
  const std::string cp932 = SystemText(utf8);
  for (const std::string& text : {utf8, "\xEF\xBB\xBF" + utf8, cp932}) {
    const IniFile ini = IniFile::Parse(text);
    EXPECT_EQ(ini.ReadString("LeftPanel", "InitialDir", ""), SystemText("/home/me/文書"));
    EXPECT_EQ(ini.ToText(), cp932);
  }
}

TEST(IniFile, WritesReplaceInPlaceAppendKeysAndSections) {
  IniFile ini = IniFile::Parse("[A]\nx=1\ny=2\n[B]\nz=3\n");
  ini.WriteString("a", "X", "10");
  ini.WriteInteger("A", "w", -4);
  ini.WriteColor("C", "Color", 0x00FF0000);
  ini.WriteBool("B", "On", true);
  EXPECT_EQ(ini.ToText(), "[A]\r\nX=10\r\ny=2\r\nw=-4\r\n\r\n[B]\r\nz=3\r\nOn=1\r\n\r\n[C]\r\nColor=$00FF0000\r\n\r\n");
  ini.EraseSection("b");
  EXPECT_FALSE(ini.SectionExists("B"));
  EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"A", "C"}));
}

TEST(IniFile, UnreadableNumbersAndMissingKeysGiveTheFallback) {
  const IniFile ini = IniFile::Parse("[S]\nn=12x\nc=0x00FF00\nd=16711680\nb=7\nz=0\n");
  EXPECT_EQ(ini.ReadInteger("S", "n", 5), 5);
  EXPECT_EQ(ini.ReadInteger("S", "missing", 6), 6);
  EXPECT_EQ(ini.ReadColor("S", "c", 0), 0x00FF00u);
  EXPECT_EQ(ini.ReadColor("S", "d", 0), 0xFF0000u);
  EXPECT_TRUE(ini.ReadBool("S", "b", false));
  EXPECT_FALSE(ini.ReadBool("S", "z", true));
  EXPECT_TRUE(ini.ReadBool("S", "n", true));
  EXPECT_EQ(ini.ReadString("Nope", "n", "d"), "d");
}

TEST(IniFile, ALineBreakInAValueCannotAddKeysOrSections) {
  IniFile ini;
  ini.WriteString("FindRequest", "FindString", "x\r\n[Tarn]\nVersion=evil");
  const IniFile back = IniFile::Parse(ini.ToText());
  EXPECT_FALSE(back.SectionExists("Tarn"));
  EXPECT_EQ(back.ReadString("FindRequest", "FindString", ""), "x  [Tarn] Version=evil");
}

TEST(IniFile, SavesAtomicallyAndReportsFilesItCannotCreateOrOpen) {
  testing::TempDirectory dir;
  const auto path = dir.path() / "tarn.ini";
  EXPECT_EQ(IniFile::Load(path).ToText(), "");  // a missing file reads as empty

  IniFile ini;
  ini.WriteString("S", "k", "\x93\xFA\x96\x7B");  // "日本" in CP932
  ini.Save(path);
  EXPECT_EQ(ReadBytes(path), "[S]\r\nk=\x93\xFA\x96\x7B\r\n\r\n");
  ::chmod(path.c_str(), 0600);
  ini.WriteString("S", "k", "2");
  ini.Save(path);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // a replaced file keeps its permissions
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no temporary left

  std::filesystem::create_directory(dir.path() / "dotfiles");
  std::filesystem::rename(path, dir.path() / "dotfiles" / "tarn.ini");
  std::filesystem::create_symlink(dir.path() / "dotfiles" / "tarn.ini", path);
  ini.WriteString("S", "k", "3");
  ini.Save(path);
  EXPECT_TRUE(std::filesystem::is_symlink(path));
  EXPECT_EQ(IniFile::Load(dir.path() / "dotfiles" / "tarn.ini").ReadString("S", "k", ""), "3");

  const auto missingDir = dir.path() / "gone" / "tarn.ini";
  try {
    ini.Save(missingDir);
    FAIL();
  } catch (const ESettingsFile& e) {
    EXPECT_EQ(std::string(e.what()), SystemText("ファイル ") + missingDir.string() + SystemText(" を作成できません"));
  }
  const auto notAFile = dir.path() / "dir.ini";
  std::filesystem::create_directory(notAFile);
  try {
    IniFile::Load(notAFile);
    FAIL();
  } catch (const ESettingsFile& e) {
    EXPECT_EQ(std::string(e.what()), SystemText("ファイル ") + notAFile.string() + SystemText(" は開けません"));
  }
  // A FIFO is neither read nor replaced; the alarm ends the run should it block.
  const auto fifo = dir.path() / "fifo.ini";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ::alarm(20);
  EXPECT_THROW(IniFile::Load(fifo), ESettingsFile);
  EXPECT_THROW(ini.Save(fifo), ESettingsFile);
  ::alarm(0);
  EXPECT_EQ(std::filesystem::status(fifo).type(), std::filesystem::file_type::fifo);
  if (::geteuid() != 0) {
    ::chmod(path.c_str(), 0);
    EXPECT_THROW(IniFile::Load(path), ESettingsFile);
    EXPECT_EQ(CannotOpenFileMessage("/x"), SystemText("ファイル /x は開けません"));
  }
}

}  // namespace
}  // namespace tarn::settings

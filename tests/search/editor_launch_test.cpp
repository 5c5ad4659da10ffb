#include "search/editor_launch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "core/system_text.h"
#include "search/native_path.h"
#include "search/result_lines.h"

namespace tarn::search {
namespace {

using Args = std::vector<std::string>;

TEST(EditorParameters, FillsThePlaceholdersAsTheExamplesShow) {
  const TEditorTarget target{"abc", "/My Documents/a.txt", 12};
  EXPECT_EQ(ExpandEditorParameters("/j%L %F", target), "/j12 \"/My Documents/a.txt\"");
  EXPECT_EQ(ExpandEditorParameters("%F,%L,%S", target), "\"/My Documents/a.txt\",12,\"abc\"");
  EXPECT_EQ(ExpandEditorParameters("+%l %f", target), "+12 \"/My Documents/a.txt\"");
  EXPECT_EQ(ExpandEditorParameters("%F %F", {"x", "/doc/a.txt", 1}), "/doc/a.txt /doc/a.txt");
  EXPECT_EQ(ExpandEditorParameters("%S", {"say \"hi\"", "/a", 1}), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(ExpandEditorParameters("%%F %Q 100%", {"x", "/a", 1}), "%/a %Q 100%");
}

TEST(EditorParameters, LaterPassesReplacePlaceholdersBroughtInByThePath) {
  EXPECT_EQ(ExpandEditorParameters("%F", {"hit", "/100%Sale/%l.txt", 7}), "/100\"hit\"ale/7.txt");
}

TEST(EditorParameters, TakesFieldsThreeToFiveOfTheEntry) {
  const TEditorTarget target = ParseEditorTarget("21,4,\"a,b\",\"/home/me/a b.txt\",0012");
  EXPECT_EQ(target.HitText, "a,b");
  EXPECT_EQ(target.FileName, "/home/me/a b.txt");
  EXPECT_EQ(target.LineNo, 12);
  // A file in another encoding: an empty sixth field before its name names no path.
  EXPECT_EQ(ParseEditorTarget("1,1,x,/d/a.txt,3,,utf-8").NativeFileName, "/d/a.txt");
  EXPECT_THROW(ParseEditorTarget("21,4,x,/a,twelve"), EEditorLaunch);
  EXPECT_THROW(ParseEditorTarget("21,4,x,/a"), EEditorLaunch);
  EXPECT_THROW(ParseEditorTarget("21,4,x,/a,99999999999"), EEditorLaunch);
}

TEST(CommandLine, SplitsByTheWindowsRules) {
  EXPECT_EQ(SplitCommandLine(""), Args{});
  EXPECT_EQ(SplitCommandLine("  a\tb  c "), (Args{"a", "b", "c"}));
  EXPECT_EQ(SplitCommandLine("+12 \"/My Documents/a.txt\""), (Args{"+12", "/My Documents/a.txt"}));
  EXPECT_EQ(SplitCommandLine("\"say \"\"hi\"\"\""), Args{"say \"hi\""});
  EXPECT_EQ(SplitCommandLine("a\"b c\"d"), Args{"ab cd"});
  EXPECT_EQ(SplitCommandLine("\"\" x"), (Args{"", "x"}));
  EXPECT_EQ(SplitCommandLine("\"C:\\dir\\\" next"), (Args{"C:\\dir\\", "next"}));
  EXPECT_EQ(SplitCommandLine("\"open"), Args{"open"});
  EXPECT_EQ(SplitCommandLine("\x83\x5C \"\x95\x5C x\""), (Args{"\x83\x5C", "\x95\x5C x"}));
}

TEST(CommandLine, EveryExpandedTextComesBackAsOneArgument) {
  for (const std::string text :
       {"plain", "two words", "q\"uote", "\"\"", "end\\", "; rm -rf ~ &", "$(id)", "", "lead \x81"}) {
    const TEditorTarget target{text, "/a b/" + text, 3};
    EXPECT_EQ(SplitCommandLine(ExpandEditorParameters("%S", target)), Args{text});
    EXPECT_EQ(SplitCommandLine(ExpandEditorParameters("-n%L %F", target)), (Args{"-n3", "/a b/" + text}));
    EXPECT_EQ(SplitCommandLine(ExpandEditorParameters("%F", {text, "/x\t" + text, 3})), Args{"/x\t" + text});
    EXPECT_EQ(SplitCommandLine(ExpandEditorParameters("%F", {text, "/x/" + text + "\"", 3})), Args{"/x/" + text + "\""});
  }
}

class Launch : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarn-launch-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_F(Launch, StartsProgramsDirectlyWithoutAShell) {
  const auto marker = dir_ / "a b; touch injected";
  const TLaunchResult waited = LaunchProgram("touch", "\"" + marker.string() + "\"", true);
  EXPECT_TRUE(waited.Started) << waited.Message;
  EXPECT_TRUE(std::filesystem::exists(marker));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "injected"));
  EXPECT_FALSE(std::filesystem::exists("injected"));

  // Detached: the call returns once the program runs; the file appears shortly after.
  const auto detached = dir_ / "detached";
  const TLaunchResult started = LaunchProgram("/usr/bin/touch", detached.string());
  EXPECT_TRUE(started.Started) << started.Message;
  for (int i = 0; i < 500 && !std::filesystem::exists(detached); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(std::filesystem::exists(detached));
}

TEST_F(Launch, HandsDocumentsAndAddressesToTheOpener) {
  std::vector<std::string> opened;
  const TDocumentOpener opener = [&](const std::string& target) {
    opened.push_back(target);
    return true;
  };
  const auto document = dir_ / "manual.html";
  std::ofstream(document) << "<html></html>";
  EXPECT_TRUE(LaunchProgram(document.string(), "", false, opener).Started);
  EXPECT_TRUE(LaunchProgram("http://example.com/", "", false, opener).Started);
  EXPECT_EQ(opened, (Args{document.string(), "http://example.com/"}));
}

// A name CP932 cannot spell ("café"), a Latin-1 name and a name written on disk in CP932 reach
// the editor byte for byte, as the search recorded them.
TEST_F(Launch, TheEditorGetsTheFileAsTheSystemNamesIt) {
  const auto editor = dir_ / "editor";
  const auto argv_file = dir_ / "argv";
  std::ofstream(editor) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.tmp\" && mv \"$0.tmp\" " << argv_file << "\n";
  std::filesystem::permissions(editor, std::filesystem::perms::owner_all);
  for (const std::string name : {"caf\xC3\xA9.txt", "lat\xE9.txt", "\x82\xA0.txt"}) {
    const std::string native = dir_.string() + "/" + name;
    const std::string info = MakeResultLineInfo(0, 1, 1, "x", NativeToCp932(native), 3, native);
    std::filesystem::remove(argv_file);
    const TLaunchResult started = OpenResultLineInEditor(editor.string(), "-n%L %F", info);
    ASSERT_TRUE(started.Started) << started.Message;
    for (int i = 0; i < 500 && !std::filesystem::exists(argv_file); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(argv_file);
    const std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, "-n3\n" + native + "\n");
  }
}

TEST_F(Launch, ReportsWhatCannotBeStarted) {
  const TLaunchResult missing = LaunchProgram((dir_ / "no-such-editor").string(), "x");
  EXPECT_FALSE(missing.Started);
  EXPECT_FALSE(missing.Message.empty());
  EXPECT_FALSE(LaunchProgram("tarn-no-such-program-anywhere", "").Started);
  EXPECT_FALSE(LaunchProgram("", "").Started);
  const TLaunchResult none = OpenResultLineInEditor("", "%F", "1,1,a,/f,1");
  EXPECT_FALSE(none.Started);
  EXPECT_TRUE(none.Message.empty());
  // Without an editor, and nothing on the desktop to open the file: say where an editor is set.
  const TLaunchResult unopened = OpenResultLineWithoutEditor("1,1,a,/d/f.txt,1", [](const std::string&) { return false; });
  EXPECT_FALSE(unopened.Started);
  EXPECT_NE(unopened.Message.find(SystemText("「f.txt」")), std::string::npos);
  EXPECT_NE(unopened.Message.find(SystemText("環境設定")), std::string::npos);
  EXPECT_THROW(OpenResultLineInEditor("touch", "%F", "1,1,a,/f,x"), EEditorLaunch);
}

}  // namespace
}  // namespace tarn::search

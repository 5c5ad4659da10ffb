#include "search/search_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/system_text.h"
#include "pattern/scanner.h"
#include "test_tree.h"

namespace tarn::search {
namespace {

using testing::TestTree;

const char* BoxName(RequestBox box) {
  switch (box) {
    case RequestBox::kFindString: return "string";
    case RequestBox::kDirectory: return "directory";
    case RequestBox::kFileMask: return "filemask";
    case RequestBox::kDirectoryMask: return "dirmask";
  }
  return "?";
}

// Records what the run asks of the window.
class FakeWindow : public SearchWindow {
 public:
  void Beep() override { log.push_back("beep"); }
  void FocusRequestBox(RequestBox box) override { log.push_back(std::string("focus ") + BoxName(box)); }
  void SetRequestBoxText(RequestBox box, const std::string& text) override {
    log.push_back(std::string("text ") + BoxName(box) + "=" + text);
  }
  void AddToHistory(RequestBox box) override { log.push_back(std::string("history ") + BoxName(box)); }
  void SetBusyCursor(bool busy) override { log.push_back(busy ? "hourglass" : "arrow"); }
  void SetPanelsEnabled(bool enabled) override { log.push_back(enabled ? "panels on" : "panels off"); }
  void RefreshCommandStates() override { log.push_back("commands"); }
  void RefreshResultCommands() override { log.push_back("result commands"); }
  void SetStatusText(const std::string& text) override { status.push_back(text); }
  void ClearResultView() override {
    lines.clear();
    log.push_back("clear");
  }
  void SetResultViewUpdating(bool updating) override { log.push_back(updating ? "resume" : "suspend"); }
  void AppendResultLine(std::string line, const std::string&) override {
    if (on_line) on_line();
    lines.push_back(line);
  }
  void ResetResultViewPosition() override { log.push_back("top"); }
  void FocusResultView() override { log.push_back("focus result"); }
  void ShowStopMessage(const std::string& message) override { log.push_back("message " + message); }
  void SaveNewResultHistoryEntry() override { log.push_back("save history"); }
  void ReportUnreadable(const std::string& path, const std::string& reason) override {
    log.push_back("unreadable " + path + ": " + reason);
  }

  bool Logged(const std::string& entry) const { return std::find(log.begin(), log.end(), entry) != log.end(); }

  std::vector<std::string> log;
  std::vector<std::string> status;
  std::vector<std::string> lines;
  std::function<void()> on_line;
};

struct Fixture {
  FakeWindow window;
  std::function<void()> pump;
  std::deque<std::uint32_t> ticks;
  SearchRun run{window, [this] {
                  if (pump) pump();
                },
                [this] {
                  if (ticks.empty()) return std::uint32_t{0};
                  const std::uint32_t t = ticks.front();
                  ticks.pop_front();
                  return t;
                }};
};

SearchRequest Request(const std::string& find, const std::string& dir, const std::string& masks = "*.txt") {
  SearchRequest request;
  request.FindString = find;
  request.Directory = dir;
  request.FileMask = masks;
  return request;
}

TEST(SearchRunTest, RequestChecksStopAtTheFirstFailingBox) {
  TestTree tree;
  Fixture f;
  SearchRequest request = Request("", "  " + tree.root() + "  ");
  EXPECT_EQ(f.run.ActionFindStartExecute(request, {}), FindStartResult::kRejected);
  EXPECT_EQ(f.window.log, (std::vector<std::string>{"beep", "focus string"}));
  EXPECT_EQ(request.Directory, "  " + tree.root() + "  ");

  f.window.log.clear();
  request = Request("x", tree.root() + "/missing");
  EXPECT_EQ(f.run.ActionFindStartExecute(request, {}), FindStartResult::kRejected);
  EXPECT_TRUE(f.window.Logged("focus directory"));

  f.window.log.clear();
  request = Request("x", "  " + tree.root() + "\t", "  ");
  EXPECT_EQ(f.run.ActionFindStartExecute(request, {}), FindStartResult::kRejected);
  EXPECT_EQ(f.window.log, (std::vector<std::string>{"text directory=" + tree.root(), "text filemask=", "beep",
                                                    "focus filemask"}));
  EXPECT_EQ(request.Directory, tree.root());
  EXPECT_EQ(f.run.Busy(), 0);
}

TEST(SearchRunTest, BlankSearchStringIsSearchedAndDirectoryMaskDefaults) {
  TestTree tree;
  tree.File("a.txt", "x   y\nxy\n");
  Fixture f;
  SearchRequest request = Request("   ", tree.root());
  EXPECT_EQ(f.run.ActionFindStartExecute(request, {}), FindStartResult::kFinished);
  EXPECT_EQ(request.DirectoryMask, "*.*");
  EXPECT_TRUE(f.window.Logged("text dirmask=*.*"));
  EXPECT_EQ(f.window.lines, std::vector<std::string>{"a.txt(1): x   y"});
}

TEST(SearchRunTest, RunStatesStatusTextsAndHistory) {
  TestTree tree;
  tree.File("memo.txt", "one\r\ntwo hit\r\nthree hit\r\n");
  tree.File("sub/deep.txt", "hit\n");
  tree.File("skip.htm", "hit\n");
  tree.File("bin.txt", std::string("hit\0", 4));
  tree.File(".hidden.txt", "hit\n");
  Fixture f;
  f.ticks = {0xFFFFFF00U, 0x00000100U};  // 512 ms across the wrap-around
  SearchRequest request = Request("hit", tree.root());
  EXPECT_EQ(f.run.ActionFindStartExecute(request, {}), FindStartResult::kFinished);

  EXPECT_EQ(f.window.lines, (std::vector<std::string>{"memo.txt(2): two hit", "memo.txt(3): three hit",
                                                      "deep.txt(1): hit"}));
  ASSERT_EQ(f.run.ResultLineInfos().size(), 3U);
  EXPECT_EQ(f.run.ResultLineInfos()[0], "18,3,hit," + tree.root() + "/memo.txt,2");
  EXPECT_EQ(f.run.HitCount(), 3);
  EXPECT_EQ(f.window.status, (std::vector<std::string>{SystemText(" 検索中..."), SystemText(" 検索中（1）..."),
                                                       SystemText(" 検索中（2）..."), SystemText(" 検索中（3）..."),
                                                       SystemText(" 3個検索しました。(Elapsed time 0:00.512)")}));
  const std::vector<std::string> expected_log = {
      "text directory=" + tree.root(), "text filemask=*.txt", "text dirmask=*.*", "history string",
      "history directory", "history filemask", "history dirmask", "hourglass", "clear", "suspend", "panels off",
      "commands", "arrow", "panels on", "top", "resume", "commands", "focus result", "save history",
      "result commands"};
  EXPECT_EQ(f.window.log, expected_log);
}

TEST(SearchRunTest, NoLinesMeansNoHistoryAndNoFocus) {
  TestTree tree;
  tree.File("a.txt", "nothing\n");
  Fixture f;
  SearchRequest request = Request("hit", tree.root());
  request.SearchSubDirectory = false;
  EXPECT_EQ(f.run.ActionFindStartExecute(request, {.ShowRealtime = true}), FindStartResult::kFinished);
  EXPECT_EQ(f.window.status.back(), SystemText(" 0個検索しました。(Elapsed time 0:00.000)"));
  EXPECT_FALSE(f.window.Logged("save history"));
  EXPECT_FALSE(f.window.Logged("focus result"));
  EXPECT_FALSE(f.window.Logged("suspend"));
  EXPECT_EQ(request.DirectoryMask, "");
}

TEST(SearchRunTest, EveryMaskIsAWalkOfItsOwn) {
  TestTree tree;
  tree.File("a.txt", "hit\n");
  tree.File("b.htm", "hit\n");
  Fixture f;
  SearchRequest request = Request("hit", tree.root(), "*.htm *.txt");
  f.run.ActionFindStartExecute(request, {.ResultType = 0});
  EXPECT_EQ(f.run.MaskList(), (std::vector<std::string>{"*.htm", "*.txt"}));
  EXPECT_EQ(f.run.ResultLineInfos().at(0), "1,3,hit," + tree.root() + "/b.htm,1");

  request = Request("hit", tree.root(), "*.txt,a*");
  f.run.ActionFindStartExecute(request, {});
  EXPECT_EQ(f.window.lines, (std::vector<std::string>{"a.txt(1): hit", "a.txt(1): hit"}));

  request = Request("hit", tree.root(), "\"*.txt\",");
  f.run.ActionFindStartExecute(request, {});
  EXPECT_EQ(f.run.MaskList(), (std::vector<std::string>{"*.txt", ""}));
  EXPECT_EQ(f.window.lines.size(), 1U);
}

TEST(SearchRunTest, NoRegExpSearchesTheTextLiterally) {
  TestTree tree;
  tree.File("a.txt", "aab\na+b\n");
  Fixture f;
  SearchRequest request = Request("a+b", tree.root());
  f.run.ActionFindStartExecute(request, {.NoRegExp = true, .ResultType = 0});
  EXPECT_EQ(f.window.lines, std::vector<std::string>{"a+b"});
  EXPECT_EQ(f.run.Grep1().RegExp(), "a\\+b");
}

TEST(SearchRunTest, DictionarySwitchesReachBothComponents) {
  TestTree tree;
  tree.File("a.txt", "x\x82\x60y\n");  // x, full-width "Ａ", y
  Fixture f;
  SearchRequest request = Request("a", tree.root());
  request.UseFuzzyCharDic = true;
  f.run.ActionFindStartExecute(request, {.ResultType = 0});
  EXPECT_TRUE(f.run.Grep1().UseFuzzyCharDic());
  EXPECT_TRUE(f.run.AWKStr1().UseFuzzyCharDic());
  EXPECT_FALSE(f.run.AWKStr1().UseSynonymDic());
  EXPECT_EQ(f.run.ResultLineInfos(), std::vector<std::string>{"2,2,\x82\x60," + tree.root() + "/a.txt,1"});
}

TEST(SearchRunTest, EscapeSearchString) {
  EXPECT_EQ(EscapeSearchString("a.b(c)"), "a\\.b\\(c\\)");
  EXPECT_EQ(EscapeSearchString("C:\\dir"), "C:\\\\dir");
  EXPECT_EQ(EscapeSearchString("$()*+-.?[\\]^|"), "\\$\\(\\)\\*\\+\\-\\.\\?\\[\\\\\\]\\^\\|");
  EXPECT_EQ(EscapeSearchString("\x95\x5C"), "\x95\x5C");  // "表"
}

TEST(SearchRunTest, FinishedStatus) {
  EXPECT_EQ(FinishedStatus(12, 3250), SystemText(" 12個検索しました。(Elapsed time 0:03.250)"));
  EXPECT_EQ(FinishedStatus(0, 3725000), SystemText(" 0個検索しました。(Elapsed time 62:05.000)"));
  EXPECT_EQ(FinishedStatus(7, 1000, true),
            SystemText(" 7個検索しました。(Elapsed time 0:01.000) 検索を中断したため、結果は途中までです。"));
}

TEST(SearchRunTest, PatternErrorLeavesBeforeTheRunningState) {
  TestTree tree;
  Fixture f;
  SearchRequest request = Request("a(", tree.root());
  EXPECT_THROW(f.run.ActionFindStartExecute(request, {}), pattern::ERegExpParser);
  EXPECT_TRUE(f.window.Logged("history string"));
  EXPECT_FALSE(f.window.Logged("hourglass"));
  EXPECT_TRUE(f.window.status.empty());
}

TEST(SearchRunTest, StopWhileAFileIsReadKeepsTheLinesFoundSoFar) {
  TestTree tree;
  std::string big;
  for (int i = 0; i < 30000; ++i) big += "hit line\n";
  tree.File("big.txt", big);
  Fixture f;
  f.window.on_line = [&] {
    if (f.run.HitCount() == 3) f.pump = [&] { f.run.ActionFindStopExecute(); };
  };
  SearchRequest request = Request("hit", tree.root());
  EXPECT_EQ(f.run.ActionFindStartExecute(request, {}), FindStartResult::kStopped);
  EXPECT_EQ(f.run.HitCount(), 4);
  EXPECT_EQ(f.window.lines.size(), 4U);
  EXPECT_TRUE(f.window.Logged("message " + SystemText("検索を中断しました。")));
  EXPECT_EQ(f.window.status.back(), FinishedStatus(4, 0, true));
  EXPECT_TRUE(f.window.Logged("save history"));
  EXPECT_EQ(f.run.Busy(), 0);
}

TEST(SearchRunTest, StopWhileTheFinderListsEndsTheRunToo) {
  TestTree tree;
  for (int i = 0; i < 20; ++i) tree.File("d" + std::to_string(i) + "/a.bin", "hit\n");
  Fixture f;
  int entries = 0;
  f.pump = [&] {
    if (++entries == 5) f.run.ActionFindStopExecute();
  };
  SearchRequest request = Request("hit", tree.root(), "*.txt");
  EXPECT_EQ(f.run.ActionFindStartExecute(request, {}), FindStartResult::kStopped);
  EXPECT_LT(entries, 10);
  EXPECT_EQ(std::count(f.window.log.begin(), f.window.log.end(), "message " + SystemText("検索を中断しました。")), 1);
}

TEST(SearchRunTest, AnErrorDuringTheRunEndsItProperlyAndPassesOn) {
  TestTree tree;
  tree.File("a.txt", "hit\nhit\n");
  Fixture f;
  f.window.on_line = [&] {
    if (f.run.HitCount() == 1) throw std::runtime_error("disk full");
  };
  SearchRequest request = Request("hit", tree.root());
  EXPECT_THROW(f.run.ActionFindStartExecute(request, {}), std::runtime_error);
  EXPECT_EQ(f.run.Busy(), 0);
  EXPECT_TRUE(f.window.Logged("panels on"));
  EXPECT_EQ(f.window.status.back(), SystemText(" 1個検索しました。(Elapsed time 0:00.000)"));
  EXPECT_TRUE(f.window.Logged("save history"));
}

// A file is read through the descriptor it was opened by, also when it is read a second time
// (a line end inside a character sends the grep over it again) after it was moved away; a file
// gone before it could be opened is named, and the run goes on. One thread and workers alike.
TEST(SearchRunTest, FilesMovedOrGoneDuringTheRunNeitherEndItNorGoUnnoticed) {
  for (const unsigned threads : {1U, 4U}) {
    SCOPED_TRACE(threads);
    TestTree tree;
    const std::string t = tree.Dir("t");
    tree.File("t/a.txt", "hit 1\n\x82\nhit 2\n");
    tree.File("t/gone.txt", "hit\n");
    Fixture f;
    f.run.SetWorkerThreads(threads);
    bool moved = false;
    bool gone = false;
    f.pump = [&] {
      // Only the one thread's pump runs while a file is read.
      if (!moved && threads == 1 && f.run.CurrentFile() == t + "/a.txt") {
        moved = true;
        std::filesystem::rename(t + "/a.txt", tree.root() + "/moved.txt");
      }
      // Listed already: the finder reads a directory's entries before it reports them.
      if (!gone && f.run.FindFile1().CurrentDir() == t) gone = std::filesystem::remove(t + "/gone.txt");
    };
    SearchRequest request = Request("hit", t);
    EXPECT_EQ(f.run.ActionFindStartExecute(request, {}), FindStartResult::kFinished);
    EXPECT_EQ(moved, threads == 1);
    EXPECT_TRUE(gone);
    EXPECT_EQ(f.window.lines, (std::vector<std::string>{"a.txt(1): hit 1", "a.txt(3): hit 2"}));
    EXPECT_TRUE(f.window.Logged("unreadable " + t + "/gone.txt: No such file or directory"));
  }
}

TEST(SearchRunTest, ClearEmptiesTheResult) {
  TestTree tree;
  tree.File("a.txt", "hit\n");
  Fixture f;
  SearchRequest request = Request("hit", tree.root());
  f.run.ActionFindStartExecute(request, {});
  ASSERT_EQ(f.run.ResultLineInfos().size(), 1U);
  f.run.ActionResultClearExecute();
  EXPECT_TRUE(f.run.ResultLineInfos().empty());
  EXPECT_TRUE(f.window.lines.empty());
  EXPECT_EQ(f.window.status.back(), "");
}

TEST(SearchRunTest, RecordsCanBeLeftToTheWindow) {
  TestTree tree;
  tree.File("a.txt", "hit\nhit\n");
  Fixture f;
  f.run.KeepResultLineInfos = false;
  SearchRequest request = Request("hit", tree.root());
  f.run.ActionFindStartExecute(request, {});
  EXPECT_EQ(f.run.HitCount(), 2);
  EXPECT_EQ(f.window.lines.size(), 2U);
  EXPECT_TRUE(f.run.ResultLineInfos().empty());
}

// Records are opened later from another working directory: a relative directory is recorded from
// the current one, whether the window gives the CP932 text or a caller the native name too.
TEST(SearchRunTest, RecordsOfARelativeDirectoryHoldFullPaths) {
  TestTree tree;
  tree.File("in/h.txt", "hit\n");
  tree.File("in/caf\xC3\xA9.txt", "hit\n");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(tree.root());
  const std::string root = std::filesystem::current_path().string();
  SearchSettings line_only;
  line_only.ResultType = 0;
  for (const bool native : {false, true}) {
    for (const std::string dir : {"in", "./in", "in/"}) {
      Fixture f;
      SearchRequest request = Request("hit", dir);
      if (native) request.NativeDirectory = dir;
      EXPECT_EQ(f.run.ActionFindStartExecute(request, line_only), FindStartResult::kFinished);
      std::vector<std::string> infos = f.run.ResultLineInfos();
      std::sort(infos.begin(), infos.end());
      EXPECT_EQ(infos, (std::vector<std::string>{"1,3,hit," + root + "/in/caf?.txt,1," + root + "/in/caf\xC3\xA9.txt",
                                                 "1,3,hit," + root + "/in/h.txt,1"}))
          << dir << (native ? " native" : "");
    }
  }
  std::filesystem::current_path(before);
}

// The walk on a thread of its own, with one worker and with several, reports what the walk on
// the calling thread reports: lines, records, status texts and the window's calls in order, a
// folder that cannot be listed too (the order of the reports of unreadable entries aside).
TEST(SearchRunTest, AWalkOffThreadReportsWhatTheWalkOnTheCallingThreadReports) {
  TestTree tree;
  for (int i = 0; i < 60; ++i) {
    std::string body;
    for (int line = 0; line < i % 7; ++line) body += line % 3 ? "hit " + std::to_string(line) + "\r\n" : "miss\n";
    tree.File("d" + std::to_string(i % 3) + (i % 2 ? "/e" : "") + "/f" + std::to_string(i) + (i % 5 ? ".txt" : ".htm"),
              i % 11 ? body : body + '\0');
  }
  tree.File("locked/x.txt", "hit\n");
  struct Outcome {
    std::vector<std::string> log, status, lines, infos;
    bool operator==(const Outcome&) const = default;
  };
  auto search = [&](bool off_thread, unsigned workers, const SearchSettings& settings) {
    Fixture f;
    f.run.WalkOffThread = off_thread;
    f.run.SetWorkerThreads(workers);
    f.run.FindFile1().DirectoryOpener = [](int at_fd, const char* name) {
      if (std::string_view(name).ends_with("locked")) {
        errno = EACCES;
        return -1;
      }
      return OpenDirectory(at_fd, name);
    };
    SearchRequest request = Request("hit", tree.root(), "*.txt,*.htm");
    EXPECT_EQ(f.run.ActionFindStartExecute(request, settings), FindStartResult::kFinished);
    Outcome out{f.window.log, f.window.status, f.window.lines, f.run.ResultLineInfos()};
    const auto unreadable = std::stable_partition(out.log.begin(), out.log.end(),
                                                  [](const std::string& e) { return !e.starts_with("unreadable"); });
    std::sort(unreadable, out.log.end());
    return out;
  };
  for (const SearchSettings& settings : {SearchSettings{}, SearchSettings{.ResultType = 0, .FirstLinePerFile = true}}) {
    const Outcome here = search(false, 1, settings);
    ASSERT_GT(here.lines.size(), 20U);
    ASSERT_TRUE(std::count(here.log.begin(), here.log.end(), "unreadable " + tree.root() + "/locked: Permission denied"));
    for (const unsigned workers : {1U, 3U}) EXPECT_TRUE(search(true, workers, settings) == here) << workers;
  }
}

}  // namespace
}  // namespace tarn::search

#include "search/findf.h"

#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "search/wildcard.h"
#include "test_tree.h"

namespace tarn::search {
namespace {

using testing::TestTree;

TEST(WildcardTest, StarQuestionMarkAndCase) {
  EXPECT_TRUE(MatchesWildcard("*.txt", "memo.TXT"));
  EXPECT_FALSE(MatchesWildcard("*.txt", "memo.txt.bak"));
  EXPECT_TRUE(MatchesWildcard("a*b*c", "aXXbYbc"));
  EXPECT_FALSE(MatchesWildcard("a*b*c", "aXXbYbcd"));
  EXPECT_TRUE(MatchesWildcard("??.txt", "ab.txt"));
  EXPECT_FALSE(MatchesWildcard("??.txt", "abc.txt"));
  // Only ASCII letters fold: full-width "Ａ" and "ａ" stay different.
  EXPECT_FALSE(MatchesWildcard("\x82\x60", "\x82\x81"));
  EXPECT_FALSE(MatchesWildcard("", ""));
  EXPECT_FALSE(MatchesWildcard("", "a"));
}

TEST(WildcardTest, DoubleByteCharacterIsOneCharacter) {
  // "表" is 0x95 0x5C: one character for "?", and its trail byte is no path delimiter either.
  EXPECT_TRUE(MatchesWildcard("?.txt", "\x95\x5C.txt"));
  EXPECT_FALSE(MatchesWildcard("??.txt", "\x95\x5C.txt"));
  EXPECT_TRUE(MatchesWildcard("*\x5C*", "\\"));
  EXPECT_FALSE(MatchesWildcard("*\\*", "\x95\x5C"));
}

TEST(WildcardTest, StarDotStarMatchesEveryName) {
  EXPECT_TRUE(MatchesWildcard("*.*", "README"));
  EXPECT_TRUE(MatchesWildcard("*.*", "a.b.c"));
  EXPECT_TRUE(MatchesWildcard("*.*", ".hidden"));
  EXPECT_TRUE(MatchesWildcard("a*.*", "abc"));
  EXPECT_FALSE(MatchesWildcard("a*.*", "bc"));
}

struct Found {
  std::string dir;
  std::string name;
  std::uint32_t attributes;
};

std::vector<Found> Walk(TFindFile& finder) {
  std::vector<Found> found;
  finder.OnFind = [&](TFindFile&, const TFindData& data, const std::string& dir, bool&) {
    found.push_back({dir, data.FileName, data.Attributes});
  };
  EXPECT_EQ(finder.Run(), 0);
  return found;
}

std::set<std::string> Paths(const std::vector<Found>& found) {
  std::set<std::string> paths;
  for (const auto& f : found) paths.insert(f.dir + "/" + f.name);
  return paths;
}

TEST(FindFileTest, FlatWalkListsMatchingEntriesOfTheBaseOnly) {
  TestTree tree;
  tree.File("a.txt");
  tree.File("b.TXT");
  tree.File("c.htm");
  tree.File("sub/d.txt");
  TFindFile finder;
  finder.SetBaseDir(tree.root() + "/");
  EXPECT_EQ(finder.BaseDir(), tree.root());
  finder.FileMask = "*.txt";
  EXPECT_EQ(Paths(Walk(finder)), (std::set<std::string>{tree.root() + "/a.txt", tree.root() + "/b.TXT"}));

  finder.FileMask = "";
  EXPECT_TRUE(Walk(finder).empty());
}

TEST(FindFileTest, MissingBaseDirListsNothing) {
  TFindFile finder;
  finder.SetBaseDir("/nonexistent-tarn-dir");
  EXPECT_TRUE(Walk(finder).empty());
  finder.OnFind = nullptr;
  EXPECT_EQ(finder.Run(), 0);
}

TEST(FindFileTest, RootEntriesAreReportedUnderAnEmptyCurrentDir) {
  TFindFile finder;
  finder.SetBaseDir("/");
  EXPECT_EQ(finder.BaseDir(), "/");
  finder.FileMask = "*";
  std::string dir = "unset";
  std::string name;
  finder.OnFind = [&](TFindFile&, const TFindData& data, const std::string& current_dir, bool& cancel) {
    dir = current_dir;
    name = data.FileName;
    cancel = true;
  };
  ASSERT_EQ(finder.Run(), kFindCancelled);
  EXPECT_EQ(dir, "");
  EXPECT_TRUE(std::filesystem::exists("/" + name));
}

TEST(FindFileTest, TreeWalkIsBreadthFirstAndFollowsTheDirMask) {
  TestTree tree;
  for (const char* dir : {"", "a1/", "a1/a2/", "a1/b3/", "b1/"}) tree.File(std::string(dir) + "f.txt");
  tree.File("a1/a2/deeper/f.txt");
  TFindFile finder;
  finder.SetBaseDir(tree.root());
  finder.SearchSubDir = true;
  finder.FileMask = "*.txt";
  finder.DirMask = "a*";
  const auto found = Walk(finder);
  std::vector<std::string> dirs;
  for (const auto& f : found) dirs.push_back(f.dir.substr(tree.root().size()));
  EXPECT_EQ(dirs, (std::vector<std::string>{"", "/a1", "/a1/a2"}));

  finder.DirMask = "*.*";
  std::vector<std::size_t> depths;
  for (const auto& f : Walk(finder)) depths.push_back(std::count(f.dir.begin(), f.dir.end(), '/'));
  EXPECT_EQ(depths.size(), 6U);
  EXPECT_TRUE(std::is_sorted(depths.begin(), depths.end()));
}

TEST(FindFileTest, HiddenFilesAreSkippedButHiddenDirectoriesWalked) {
  TestTree tree;
  tree.File(".hidden.txt");
  tree.File(".hdir/inner.txt");
  tree.File("plain.txt");
  TFindFile finder;
  finder.SetBaseDir(tree.root());
  finder.SearchSubDir = true;
  finder.Conditions = {fcHidden, fcSystem};
  finder.FileMask = "*.txt";
  EXPECT_EQ(Paths(Walk(finder)), (std::set<std::string>{tree.root() + "/plain.txt", tree.root() + "/.hdir/inner.txt"}));
}

TEST(FindFileTest, DirectoriesMatchingTheFileMaskAreReportedUnlessExcluded) {
  TestTree tree;
  tree.File("a.txt");
  tree.Dir("sub");
  TFindFile finder;
  finder.SetBaseDir(tree.root());
  const auto found = Walk(finder);
  ASSERT_EQ(found.size(), 2U);  // "." and ".." never
  for (const auto& f : found)
    EXPECT_EQ(f.attributes & (kAttrDirectory | kAttrArchive), f.name == "sub" ? kAttrDirectory : kAttrArchive);

  finder.Conditions = {fcDirectory};
  EXPECT_EQ(Paths(Walk(finder)), std::set<std::string>{tree.root() + "/a.txt"});
}

TEST(FindFileTest, FifosAreSystemEntriesAndSkipped) {
  TestTree tree;
  tree.File("a.txt");
  ASSERT_EQ(mkfifo((tree.root() + "/pipe.txt").c_str(), 0600), 0);
  TFindFile finder;
  finder.SetBaseDir(tree.root());
  finder.FileMask = "*.txt";
  const auto all = Walk(finder);
  ASSERT_EQ(all.size(), 2U);
  for (const auto& f : all) EXPECT_EQ((f.attributes & kAttrSystem) != 0, f.name == "pipe.txt");
  finder.Conditions = {fcHidden, fcSystem};
  EXPECT_EQ(Paths(Walk(finder)), std::set<std::string>{tree.root() + "/a.txt"});
}

TEST(FindFileTest, AttributesAndConditionsHoldWhateverDetailsTheHandlerReads) {
  TestTree tree;
  tree.File("file.txt", "12345");
  tree.File(".hidden.txt");
  tree.File("dir/in.txt");
  ASSERT_EQ(mkfifo((tree.root() + "/pipe").c_str(), 0600), 0);
  std::filesystem::create_symlink("file.txt", tree.root() + "/to-file");
  std::filesystem::create_directory_symlink("dir", tree.root() + "/to-dir");
  std::filesystem::create_symlink("missing", tree.root() + "/broken");
  // The read-only bit comes only when asked for, so it is left out here.
  auto walk = [&](std::uint8_t details, TFindFileConditions conditions) {
    TFindFile finder;
    finder.SetBaseDir(tree.root());
    finder.SearchSubDir = true;
    finder.Conditions = conditions;
    finder.SetFromLastWriteTime(0);
    finder.SetToLastWriteTime(0);
    finder.MinSize = 5;
    finder.AttrReadOnly = true;
    finder.OnFindDetails = details;
    std::set<std::string> found;
    finder.OnFind = [&](TFindFile&, const TFindData& data, const std::string& dir, bool&) {
      found.insert(dir.substr(tree.root().size()) + "/" + data.FileName + ":" +
                   std::to_string(data.Attributes & ~kAttrReadOnly));
    };
    EXPECT_EQ(finder.Run(), 0);
    return found;
  };
  for (const TFindFileConditions conditions :
       {TFindFileConditions{}, TFindFileConditions{fcHidden, fcSystem}, TFindFileConditions{fcSize, fcLastWriteTime}}) {
    const auto all = walk(fdAll, conditions);
    EXPECT_EQ(walk(0, conditions), all);
    EXPECT_EQ(walk(fdSize, conditions), all);
  }
  // A link is what it leads to; the walk goes into a linked directory already walked only once.
  EXPECT_EQ(walk(0, {}), (std::set<std::string>{"/file.txt:32", "/.hidden.txt:34", "/dir:16", "/pipe:4", "/to-file:32",
                                                "/to-dir:16", "/broken:4", "/dir/in.txt:32"}));
  EXPECT_EQ(walk(0, {fcSize}), (std::set<std::string>{"/file.txt:32", "/to-file:32", "/broken:4"}));
  // A condition gets what it needs: a broken link cannot be written.
  EXPECT_EQ(walk(0, {fcReadOnly}), std::set<std::string>{"/broken:4"});
}

TEST(FindFileTest, SymlinkLoopIsWalkedOnce) {
  TestTree tree;
  tree.File("a/f.txt");
  std::filesystem::create_directory_symlink("..", tree.root() + "/a/up");
  std::filesystem::create_directory_symlink("a", tree.root() + "/same");
  TFindFile finder;
  finder.SetBaseDir(tree.root());
  finder.SearchSubDir = true;
  finder.FileMask = "f.txt";
  const auto found = Walk(finder);
  ASSERT_EQ(found.size(), 1U);
}

TEST(FindFileTest, CancelAtTheFirstEntryOfTheSecondDirectoryEndsTheWalk) {
  TestTree tree;
  tree.File("base.txt");
  tree.File("d1/x.txt");
  tree.File("d1/y.txt");
  tree.File("d2/z.txt");
  TFindFile finder;
  finder.SetBaseDir(tree.root());
  finder.SearchSubDir = true;
  finder.FileMask = "*.txt";
  std::set<std::string> dirs;
  int calls = 0;
  finder.OnFind = [&](TFindFile&, const TFindData&, const std::string& dir, bool& cancel) {
    ++calls;
    dirs.insert(dir);
    cancel = dirs.size() == 2;
  };
  EXPECT_EQ(finder.Run(), kFindCancelled);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(dirs.size(), 2U);

  calls = 0;
  dirs.clear();
  finder.ExceptionOnCancel = true;
  try {
    finder.Run();
    ADD_FAILURE() << "no exception";
  } catch (const EFindFileCancel& e) {
    EXPECT_STREQ(e.what(), "TFindFile.Run Cancelled");
  }
}

TEST(FindFileTest, CancelRequestedStopsAtTheNextEntry) {
  TestTree tree;
  for (int i = 0; i < 5; ++i) tree.File("f" + std::to_string(i) + ".txt");
  TFindFile finder;
  finder.SetBaseDir(tree.root());
  int calls = 0;
  finder.ProcessMessages = [&] { finder.CancelRequested = calls == 2; };
  finder.OnFind = [&](TFindFile&, const TFindData&, const std::string&, bool&) { ++calls; };
  EXPECT_EQ(finder.Run(), kFindCancelled);
  EXPECT_EQ(calls, 2);
}

TEST(FindFirstLoopTest, CancelMessagesAndRunningFlag) {
  TestTree tree;
  tree.File("a.txt");
  tree.File("b.txt");
  TFindFirstLoop loop;
  loop.SetPath(tree.root() + "/*.txt");
  loop.ExceptionOnCancel = true;
  int calls = 0;
  loop.OnFind = [&](TFindFirstLoop& sender, const TFindData&, bool& cancel) {
    EXPECT_TRUE(sender.Running());
    sender.SetPath("ignored");
    cancel = ++calls == 1;
  };
  try {
    loop.Run();
    ADD_FAILURE() << "no exception";
  } catch (const EFindFirstLoopCancel& e) {
    EXPECT_STREQ(e.what(), "TFindFirstLoop Cancelled");
  }
  EXPECT_FALSE(loop.Running());
  EXPECT_EQ(loop.Path(), tree.root() + "/*.txt");

  calls = 0;
  loop.OnFind = [&](TFindFirstLoop&, const TFindData&, bool& cancel) { cancel = ++calls == 2; };
  try {
    loop.Run();
    ADD_FAILURE() << "no exception";
  } catch (const EFindFirstLoopCancel& e) {
    EXPECT_STREQ(e.what(), "Search Canceled");
  }

  loop.OnFind = [](TFindFirstLoop&, const TFindData&, bool&) { throw std::runtime_error("handler"); };
  EXPECT_THROW(loop.Run(), std::runtime_error);
  EXPECT_FALSE(loop.Running());
}

TEST(FindFileTest, SizeAndTimeConditions) {
  TestTree tree;
  tree.File("small.txt", "1234");
  const std::string old_file = tree.File("old.txt", "123456789");
  // 2001-02-03 04:05:06 local time.
  const std::uint32_t packed = (21U << 25) | (2U << 21) | (3U << 16) | (4U << 11) | (5U << 5) | 3U;
  const FileTime old_time = PackedLocalTimeToFileTime(packed);
  EXPECT_EQ(FileTimeToPackedLocalTime(old_time), packed);
  const timespec times[2] = {{static_cast<time_t>(old_time / 10000000 - 11644473600), 0},
                             {static_cast<time_t>(old_time / 10000000 - 11644473600), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, old_file.c_str(), times, 0), 0);

  TFindFile finder;
  finder.SetBaseDir(tree.root());
  finder.Conditions = {fcSize};
  finder.MinSize = 5;
  EXPECT_EQ(Paths(Walk(finder)), std::set<std::string>{old_file});

  finder.Conditions = {fcLastWriteTime};
  finder.SetFromLastWriteTime(0);
  finder.SetToLastWriteTime(packed);
  EXPECT_EQ(finder.FromLastWriteTime(), 0x00210000U);
  EXPECT_EQ(Paths(Walk(finder)), std::set<std::string>{old_file});
  finder.SetToLastWriteTime(0);
  EXPECT_EQ(finder.ToLastWriteTime(), (119U << 25) | (12U << 21) | (31U << 16) | (23U << 11) | (59U << 5) | 29U);
  EXPECT_EQ(Walk(finder).size(), 2U);
}

TEST(FindFileTest, NamesOutsideCp932KeepTheirNativeForm) {
  TestTree tree;
  const std::string native = "snow\xE2\x98\x83.txt";  // U+2603 has no CP932 form
  tree.File(native, "x\n");
  tree.File("\xE6\x9D\xB1\xE4\xBA\xAC.txt");  // "東京.txt" in UTF-8
  TFindFile finder;
  finder.SetBaseDir(tree.root());
  std::set<std::string> names;
  finder.OnFind = [&](TFindFile& sender, const TFindData& data, const std::string&, bool&) {
    names.insert(data.FileName);
    EXPECT_TRUE(std::filesystem::exists(sender.CurrentNativeDir() + "/" + data.NativeFileName));
  };
  EXPECT_EQ(finder.Run(), 0);
  EXPECT_EQ(names, (std::set<std::string>{"snow?.txt", "\x93\x8C\x8B\x9E.txt"}));
}

// Records what each of a directory's two passes is handed.
class PassRecorder : public TFindFile {
 public:
  std::vector<std::string> file_pass;
  std::vector<std::string> dir_pass;

 protected:
  void FileEntryFound(const TFindData& data, bool& cancel) override {
    file_pass.push_back(CurrentDir() + "/" + data.FileName);
    TFindFile::FileEntryFound(data, cancel);
  }
  void DirEntryFound(const TFindData& data, bool& cancel) override {
    dir_pass.push_back(CurrentDir() + "/" + data.FileName);
    TFindFile::DirEntryFound(data, cancel);
  }
};

std::vector<std::string> SystemListing(const std::string& dir) {
  std::vector<std::string> names;
  DIR* stream = opendir(dir.c_str());
  if (stream == nullptr) return names;
  while (const dirent* entry = readdir(stream)) names.push_back(dir + "/" + entry->d_name);
  closedir(stream);
  return names;
}

TEST(FindFileTest, BothPassesSeeEveryEntryInTheSystemsOrderAndWhatTheHandlerChanged) {
  TestTree tree;
  tree.File("first.txt");
  for (int i = 0; i < 300; ++i) tree.File("sub/f" + std::to_string(i) + ".txt");
  tree.Dir("sub/inner");
  tree.Dir("gone");
  PassRecorder finder;
  finder.SetBaseDir(tree.root());
  finder.SearchSubDir = true;
  finder.FileMask = "*.txt";
  int messages = 0;
  finder.ProcessMessages = [&] { ++messages; };
  std::vector<std::string> found;
  // The base's file is reported before its sub-directories are looked for: what its handler
  // changes in the base shows in the second pass.
  finder.OnFind = [&](TFindFile&, const TFindData& data, const std::string& dir, bool&) {
    found.push_back(dir + "/" + data.FileName);
    if (dir != tree.root()) return;
    std::filesystem::remove(tree.root() + "/gone");
    tree.File("late/f.txt");
  };
  const std::vector<std::string> base_before = SystemListing(tree.root());
  ASSERT_EQ(finder.Run(), 0);

  // Breadth first over the tree as it is now; the base's file pass saw it as it was before.
  // The file pass is handed the names that match the mask, the sub-directory pass every name.
  std::vector<std::string> expected_dir_pass;
  std::vector<std::string> expected_found;
  std::vector<std::string> dirs{tree.root()};
  for (std::size_t i = 0; i < dirs.size(); ++i) {
    const std::vector<std::string> listing = SystemListing(dirs[i]);
    expected_dir_pass.insert(expected_dir_pass.end(), listing.begin(), listing.end());
    for (const std::string& path : i > 0 ? listing : base_before) {
      if (path.ends_with(".txt")) expected_found.push_back(path);
    }
    for (const std::string& path : listing) {
      if (!path.ends_with("/.") && !path.ends_with("/..") && std::filesystem::is_directory(path)) dirs.push_back(path);
    }
  }
  EXPECT_EQ(dirs.size(), 4U);  // the base, sub, late, sub/inner; not gone
  EXPECT_EQ(finder.file_pass, expected_found);
  EXPECT_EQ(finder.dir_pass, expected_dir_pass);
  EXPECT_EQ(found, expected_found);
  EXPECT_EQ(messages, static_cast<int>(expected_found.size() + expected_dir_pass.size()));
}

}  // namespace
}  // namespace tarn::search

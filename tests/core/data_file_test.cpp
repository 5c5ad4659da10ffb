#include "core/data_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "file_test_support.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;

class AtomicFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarn-core-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::size_t Entries(const fs::path& dir) { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {})); }

  fs::path dir_;
};

TEST_F(AtomicFile, ReplacesTheTargetOfALinkAndKeepsItsPermissions) {
  fs::create_directory(dir_ / "real");
  const fs::path target = dir_ / "real" / "Synonym.Dic";
  std::ofstream(target) << "old";
  ::chmod(target.c_str(), 0600);
  fs::create_symlink(target, dir_ / "link");
  ASSERT_TRUE(ReplaceFile(dir_ / "link", "new"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link"));
  EXPECT_EQ(Read(target), "new");
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Entries(dir_ / "real"), 1u);  // no temporary file left
}

// A data file another user linked elsewhere is replaced where it stands.
TEST_F(AtomicFile, ALinkAnotherUserMadeIsReplacedNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "making a link of another user needs root";
  std::ofstream(dir_ / "private") << "secret";
  fs::create_symlink(dir_ / "private", dir_ / "tarn.ini");
  ASSERT_EQ(::lchown((dir_ / "tarn.ini").c_str(), 65534, 65534), 0);
  ASSERT_TRUE(ReplaceFile(dir_ / "tarn.ini", "[FindResultHistory]"));
  EXPECT_EQ(Read(dir_ / "private"), "secret");
  EXPECT_EQ(Read(dir_ / "tarn.ini"), "[FindResultHistory]");
}

TEST_F(AtomicFile, AFailedWriteLeavesTheOldFileWhole) {
  const fs::path path = dir_ / "String.txt";
  std::ofstream(path) << "old";
  {
    testing::FileSizeLimit limit(4096);
    EXPECT_FALSE(ReplaceFile(path, std::string(8192, 'x')));
    TAtomicFile file(path);
    EXPECT_TRUE(file.Write(std::string(4096, 'x')));
    EXPECT_FALSE(file.Write("y"));
    EXPECT_FALSE(file.Commit());
  }
  EXPECT_EQ(Read(path), "old");
  EXPECT_EQ(Entries(dir_), 1u);
  EXPECT_FALSE(ReplaceFile(dir_ / "missing" / "x", "new"));
}

// A program started while a file is being written (the editor) never holds it.
TEST_F(AtomicFile, ChildProcessesDoNotInheritTheFile) {
  TAtomicFile file(dir_ / "String.txt");
  ASSERT_TRUE(file.Write("x"));
  const std::string listing = testing::ChildDescriptors(dir_ / "fds");
  EXPECT_NE(listing.find("fds"), std::string::npos) << listing;  // its own output
  EXPECT_EQ(listing.find("String.txt"), std::string::npos) << listing;
}

}  // namespace
}  // namespace tarn

// tarngrep end to end, on the bundled samples and on files made here. Skipped when the program
// has not been built beside this test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../pattern/random_sjis_text.h"
#include "test_tree.h"

namespace tarn::search {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

class TarngrepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = fs::canonical("/proc/self/exe").parent_path() / "../../src/app/tarngrep";
    if (!fs::exists(program_)) GTEST_SKIP() << "tarngrep not built";
  }

  // Runs tarngrep in the source directory with the given (shell-quoted) arguments.
  Outcome Run(const std::string& args) {
    const std::string out = tree_.root() + "/stdout";
    const std::string err = tree_.root() + "/stderr";
    const std::string command = "cd '" TARN_SOURCE_DIR "' && '" + program_.string() + "' " + args + " >'" + out +
                                "' 2>'" + err + "'";
    Outcome outcome;
    const int raw = std::system(command.c_str());
    outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    outcome.out = Slurp(out);
    outcome.err = Slurp(err);
    return outcome;
  }

  // Runs tarngrep with exactly these arguments (any bytes), without NO_COLOR in its environment
  // unless env sets it ("NAME=value" entries), its stdout a file or a terminal.
  Outcome RunArgs(const std::vector<std::string>& args, const std::vector<std::string>& env = {}, bool tty = false) {
    const std::string out = tree_.root() + "/stdout";
    const std::string err = tree_.root() + "/stderr";
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e)
      if (std::strncmp(*e, "NO_COLOR=", 9) != 0) environment.emplace_back(*e);
    environment.insert(environment.end(), env.begin(), env.end());
    std::vector<char*> argv{const_cast<char*>(program_.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    auto exec = [&] {
      const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(err_fd, 2);
      if (!tty) {
        const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out_fd, 1);
      }
      if (chdir(TARN_SOURCE_DIR) == 0) execve(argv[0], argv.data(), envp.data());
      _exit(127);
    };
    Outcome outcome;
    int status = 0;
    if (tty) {
      int master = -1;
      const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
      if (pid == 0) exec();
      char buffer[4096];
      for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n > 0)
          outcome.out.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR)
          break;  // EIO once the program has closed its side
      }
      close(master);
      waitpid(pid, &status, 0);
      // The terminal writes each line end as CR LF.
      outcome.out.erase(std::remove(outcome.out.begin(), outcome.out.end(), '\r'), outcome.out.end());
    } else {
      const pid_t pid = fork();
      if (pid == 0) exec();
      waitpid(pid, &status, 0);
      outcome.out = Slurp(out);
    }
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.err = Slurp(err);
    return outcome;
  }

  testing::TestTree tree_;
  fs::path program_;
};

TEST_F(TarngrepTest, SearchesTheSamples) {
  const Outcome o = Run("--encoding utf-8 東京 samples '*.txt'");
  EXPECT_EQ(o.status, 0);
  EXPECT_NE(o.out.find("samples/東京案内.txt(3): ① 東京駅から丸の内へ歩く。\n"), std::string::npos);
  EXPECT_NE(o.out.find("samples/old_mac.txt(3): 最後の行には改行がない：東京都庁\n"), std::string::npos);
  EXPECT_NE(o.out.find("samples/sub/日記.txt(2): 東京へ出張。\n"), std::string::npos);
  EXPECT_EQ(o.out.find("page.htm"), std::string::npos);
  EXPECT_EQ(o.out.find("binary"), std::string::npos);
  EXPECT_EQ(o.err.rfind(" 8個検索しました。(Elapsed time ", 0), 0U) << o.err;
}

TEST_F(TarngrepTest, InfoResultTypesAndEncodings) {
  Outcome o = Run("--encoding utf-8 -q --no-subdirs 出張 samples");
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "");
  o = Run("--encoding utf-8 --info -q 出張 samples/sub");
  EXPECT_EQ(o.status, 0);
  // Full paths, whatever form the directory was given in; the hit column counts the path shown.
  const std::string source = fs::canonical(TARN_SOURCE_DIR).string();
  EXPECT_EQ(o.out, std::to_string(33 + source.size()) + ",4,出張," + source + "/samples/sub/日記.txt,2\n");
  EXPECT_EQ(o.err, "");
  o = Run("--encoding utf-8 --result-type 0 -F '0x5C。' samples");
  EXPECT_EQ(o.out, "表示と表現：「表」の2バイト目は0x5C。\n");
  o = Run("--encoding cp932 --result-type 2 -q \"$(printf '\\217\\157\\222\\243')\" samples");
  EXPECT_EQ(o.out, "\x93\xFA\x8B\x4C.txt(2): \x93\x8C\x8B\x9E\x82\xD6\x8F\x6F\x92\xA3\x81\x42\n");
}

TEST_F(TarngrepTest, BadRequestsAndMalformedPatterns) {
  Outcome o = Run("'' samples");
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("empty"), std::string::npos);
  o = Run("x ' no-such-dir '");
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("no such directory"), std::string::npos);
  o = Run("x samples ' '");
  EXPECT_EQ(o.status, 2);
  o = Run("--encoding utf-8 'a(' samples");
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("右(閉じ)括弧が必要です\nposition 3"), std::string::npos);
  o = Run("--result-type 7 x samples");
  EXPECT_EQ(o.status, 2);
}

TEST_F(TarngrepTest, LinesThatDoNotConvertAreStillPrinted) {
  tree_.File("bad.txt", "ok \x85\x40 hit\n");  // 0x85 0x40 has no character
  const Outcome o = Run("--encoding utf-8 --result-type 0 -q hit '" + tree_.root() + "'");
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, "ok \xEF\xBF\xBD hit\n");
}

TEST_F(TarngrepTest, NamesOutsideCp932AreSearchedAndKeepTheirNativePath) {
  tree_.File("snow\xE2\x98\x83.txt", "hit\n");  // U+2603 has no CP932 form
  const Outcome o = Run("--encoding utf-8 --info -q --result-type 0 hit '" + tree_.root() + "' '*.txt'");
  EXPECT_EQ(o.status, 0);
  const std::string path = tree_.root() + "/snow";
  EXPECT_EQ(o.out, "1,3,hit," + path + "?.txt,1," + path + "\xE2\x98\x83.txt\n");
}

TEST_F(TarngrepTest, DictionariesWidenTheSearch) {
  Outcome o = Run("--encoding utf-8 -q --result-type 0 コンピューター samples computer.txt");
  EXPECT_EQ(o.status, 1);
  o = Run("--encoding utf-8 -q --result-type 0 --fuzzy コンピューター samples computer.txt");
  EXPECT_EQ(o.out, "新しいコンピュータを買った。\n古いｺﾝﾋﾟｭｰﾀｰは職場にある。\nこんぴゅーたと平仮名で書く人もいる。\n");
  const std::string dic = tree_.File("syn.dic", "// \x8F\xE6\x82\xE8\x95\xA8\r\n\x8E\xD4,\x8E\xA9\x93\xAE\x8E\xD4\r\n");
  o = Run("--encoding utf-8 -q --result-type 0 --synonym-file '" + dic + "' 車 samples computer.txt");
  EXPECT_EQ(o.out, "赤い自動車とクルマと車。\n");
  o = Run("--encoding utf-8 -q --synonym-file /no/such.dic x samples");
  EXPECT_EQ(o.status, 2);
  // --synonym reads the data directory's dictionary; none there widens nothing.
  o = Run("--encoding utf-8 -q --result-type 0 --synonym --data-dir '" + tree_.Dir("data") + "' クルマ samples computer.txt");
  EXPECT_EQ(o.out, "赤い自動車とクルマと車。\n");
}

// A data directory another user made, whose tarn.ini leads into the user's own private files, is
// refused before anything is read or written.
TEST_F(TarngrepTest, RefusesADataDirectoryAnotherUserControls) {
  if (::geteuid() != 0) GTEST_SKIP() << "a folder of another user needs root";
  const std::string secret = tree_.File("private/secret", "mine");
  const std::string theirs = tree_.Dir("theirs");
  fs::create_symlink(secret, theirs + "/tarn.ini");
  ASSERT_EQ(::lchown((theirs + "/tarn.ini").c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
  const Outcome o = Run("--encoding utf-8 -q --history --data-dir '" + theirs + "' abc samples computer.txt");
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("another user can change " + theirs), std::string::npos) << o.err;
  EXPECT_EQ(Slurp(secret), "mine");
}

TEST_F(TarngrepTest, SavesTheResultAndKeepsItInTheHistory) {
  const std::string data = tree_.Dir("data");
  const std::string html = tree_.root() + "/result.htm";
  Outcome o = Run("--encoding utf-8 -q --fuzzy --save '" + html + "' --history --data-dir '" + data +
                  "' abc samples computer.txt");
  EXPECT_EQ(o.status, 0);
  const std::string page = Slurp(html);
  // "ＡＢＣ" in CP932, marked as the hit.
  EXPECT_NE(page.find(">\x82\x60\x82\x61\x82\x62</"), std::string::npos) << page;
  EXPECT_TRUE(fs::exists(data + "/Tmp/ResultList.1"));
  EXPECT_NE(Slurp(data + "/tarn.ini").find("Last=1"), std::string::npos);
  o = Run("--encoding utf-8 -q --history --data-dir '" + data + "' no-such-text samples");
  EXPECT_EQ(o.status, 1);
  EXPECT_FALSE(fs::exists(data + "/Tmp/ResultList.2"));
  const std::string text = tree_.root() + "/result.txt";
  o = Run("--encoding utf-8 -q --save '" + text + "' --data-dir '" + data + "' abc samples computer.txt");
  EXPECT_EQ(Slurp(text), fs::canonical(TARN_SOURCE_DIR).string() +
                             "/samples/computer.txt(5): \x82\x60\x82\x61\x82\x62\x82\xC6" "abc\x81\x42\r\n");
}

// --save and --history each do their part whatever became of the other, and each failure is
// named.
TEST_F(TarngrepTest, ASaveOrHistoryThatFailsLeavesTheOtherDone) {
  const std::string data = tree_.Dir("data");
  Outcome o = Run("-q --save '" + tree_.Dir("a-folder") + "' --history --data-dir '" + data + "' abc samples computer.txt");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err.rfind("tarngrep: the result was not saved: ", 0), 0U) << o.err;
  EXPECT_TRUE(fs::exists(data + "/Tmp/ResultList.1"));
  const std::string saved = tree_.root() + "/saved.txt";
  o = Run("-q --save '" + saved + "' --history --data-dir '" + tree_.File("a-file") + "' abc samples computer.txt");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.err.rfind("tarngrep: the result was not kept in the history: ", 0), 0U) << o.err;
  EXPECT_TRUE(fs::exists(saved));
}

// The hit of "ab東京cd" painted or not, by --color, the terminal, NO_COLOR and the settings file.
struct ColourCase {
  const char* name;
  std::vector<std::string> args;
  std::string ini;  // the data directory's [FindResult] keys; none: no settings file
  std::vector<std::string> env;
  bool tty;
  std::string out;
  std::string pattern = "\xE6\x9D\xB1\xE4\xBA\xAC";  // 東京 in UTF-8
};

class TarngrepColourTest : public TarngrepTest, public ::testing::WithParamInterface<ColourCase> {};

TEST_P(TarngrepColourTest, PaintsTheHitAsTheWindowDoes) {
  const ColourCase& c = GetParam();
  tree_.File("t/a.txt", "ab\x93\x8C\x8B\x9E" "cd\r\n");
  const std::string data = tree_.Dir("data");
  if (!c.ini.empty()) tree_.File("data/tarn.ini", "[FindResult]\r\n" + c.ini);
  std::vector<std::string> args = {"-q", "--data-dir", data};
  args.insert(args.end(), c.args.begin(), c.args.end());
  args.insert(args.end(), {c.pattern, tree_.root() + "/t"});
  const Outcome o = RunArgs(args, c.env, c.tty);
  std::string expected = c.out;
  if (const std::size_t tree = expected.find("TREE"); tree != std::string::npos) expected.replace(tree, 4, tree_.root());
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, expected);
}

const std::string kTokyo = "\xE6\x9D\xB1\xE4\xBA\xAC";
const std::string kDefaultHit = "\x1B[38;2;0;0;255;48;2;255;255;0m";  // blue on yellow
const std::string kReset = "\x1B[m\x1B[K";
const std::vector<std::string> kLineOnly = {"--encoding", "utf-8", "--result-type", "0"};

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

INSTANTIATE_TEST_SUITE_P(
    WhenAndStyle, TarngrepColourTest,
    ::testing::Values(
        ColourCase{"NeverIsTheDefault", kLineOnly, "", {}, true, "ab" + kTokyo + "cd\n"},
        ColourCase{"Always", With(kLineOnly, {"--color=always"}), "", {}, false, "ab" + kDefaultHit + kTokyo + kReset + "cd\n"},
        ColourCase{"AlwaysDespiteNoColor", With(kLineOnly, {"--colour=always"}), "", {"NO_COLOR=1"}, false,
                   "ab" + kDefaultHit + kTokyo + kReset + "cd\n"},
        ColourCase{"NeverOnATerminal", With(kLineOnly, {"--color=never"}), "", {}, true, "ab" + kTokyo + "cd\n"},
        ColourCase{"AloneIsAutoOnATerminal", With(kLineOnly, {"--color"}), "", {}, true,
                   "ab" + kDefaultHit + kTokyo + kReset + "cd\n"},
        ColourCase{"AutoIntoAFile", With(kLineOnly, {"--colour=auto"}), "", {}, false, "ab" + kTokyo + "cd\n"},
        ColourCase{"AutoWithNoColor", With(kLineOnly, {"--color=auto"}), "", {"NO_COLOR=1"}, true, "ab" + kTokyo + "cd\n"},
        ColourCase{"AutoWithEmptyNoColor", With(kLineOnly, {"--color=auto"}), "", {"NO_COLOR="}, true,
                   "ab" + kDefaultHit + kTokyo + kReset + "cd\n"},
        ColourCase{"SettingsColoursAndStyle", With(kLineOnly, {"--color=always"}),
                   "StringFontColor=$000000FF\r\nStringBackColor=$1FFFFFFF\r\nStringStyleBold=1\r\n"
                   "StringStyleUnderline=1\r\n",
                   {}, false, "ab\x1B[1;4;38;2;255;0;0m" + kTokyo + kReset + "cd\n"},
        ColourCase{"SystemColoursAreTheTerminals", With(kLineOnly, {"--color=always"}),
                   "StringFontColor=$80000008\r\nStringBackColor=$80000005\r\nStringStyleItalic=1\r\n", {}, false,
                   "ab\x1B[3m" + kTokyo + kReset + "cd\n"},
        ColourCase{"NothingToPaint", With(kLineOnly, {"--color=always"}),
                   "StringFontColor=$1FFFFFFF\r\nStringBackColor=$1FFFFFFF\r\n", {}, false, "ab" + kTokyo + "cd\n"},
        ColourCase{"Cp932AfterTheFileName", {"--encoding", "cp932", "--result-type", "2", "--color=always"}, "", {}, false,
                   "a.txt(1): ab" + kDefaultHit + "\x93\x8C\x8B\x9E" + kReset + "cd\n", "\x93\x8C\x8B\x9E"},
        ColourCase{"NotInRecords", {"--encoding", "utf-8", "--info", "--color=always", "--result-type", "0"}, "", {}, false,
                   "3,4," + kTokyo + ",TREE/t/a.txt,1\n"}),
    [](const ::testing::TestParamInfo<ColourCase>& info) { return std::string(info.param.name); });

TEST_F(TarngrepTest, CountsAndListsFilesInWalkOrder) {
  // One file per directory: the walk order is the same on every file system.
  tree_.File("t/a.txt", "hit 1\nmiss\nhit 2\n");
  tree_.File("t/s/b.txt", "miss\nhit\n");
  tree_.File("t/s/u/c.txt", "miss\n");
  tree_.File("t/s/u/v/d.txt", "hit\nhit\nhit");
  tree_.File("t/s/u/v/w/e.txt", std::string("hit\0", 4));  // binary
  const std::string t = tree_.root() + "/t";
  Outcome o = RunArgs({"-c", "--color=always", "--encoding", "utf-8", "hit", t});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, t + "/a.txt:2\n" + t + "/s/b.txt:1\n" + t + "/s/u/v/d.txt:3\n");
  EXPECT_EQ(o.err.rfind(" 6\xE5\x80\x8B", 0), 0U) << o.err;  // " 6個": the status counts lines
  o = RunArgs({"--files-with-matches", "--color=always", "--encoding", "utf-8", "hit", t});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, t + "/a.txt\n" + t + "/s/b.txt\n" + t + "/s/u/v/d.txt\n");
  // A file is read only up to its first match: one line each.
  EXPECT_EQ(o.err.rfind(" 3\xE5\x80\x8B", 0), 0U) << o.err;
  o = RunArgs({"-l", "-q", "--history", "--data-dir", tree_.Dir("data"), "nothing", t});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "");
  o = RunArgs({"--count", "-q", "--no-subdirs", "--save", tree_.root() + "/saved.txt", "--color=always", "--encoding",
               "utf-8", "hit", t + "/s", "*.txt"});
  EXPECT_EQ(o.out, t + "/s/b.txt:1\n");
  EXPECT_EQ(Slurp(tree_.root() + "/saved.txt"), t + "/s/b.txt(2): hit\r\n");
}

// Makes the directories dirs under top, and in the last the file name unless it is empty, each
// by name from the directory above: their paths may run far past what the system opens.
void MakeByName(const std::string& top, const std::vector<std::string>& dirs, const std::string& name,
                const std::string& bytes) {
  int fd = open(top.c_str(), O_RDONLY | O_DIRECTORY);
  for (const std::string& dir : dirs) {
    mkdirat(fd, dir.c_str(), 0755);
    const int next = openat(fd, dir.c_str(), O_RDONLY | O_DIRECTORY);
    close(fd);
    fd = next;
  }
  if (const int file = name.empty() ? -1 : openat(fd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644); file >= 0) {
    EXPECT_EQ(write(file, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(file);
  }
  close(fd);
}

// Every file of a tree whose paths run past PATH_MAX is listed and searched, also when the grep
// reads a file twice (a line end inside a character) and when the directories above one are
// no longer open (more were listed since than the walk keeps open); a file that cannot be read
// is named and the run goes on, ending with status 2. One thread and workers alike.
TEST_F(TarngrepTest, DeepTreesAreSearchedWholeAndUnreadableFilesNamed) {
  const std::string t = tree_.Dir("t");
  std::vector<std::string> down;
  std::string deep = t;
  for (char c = 'a'; c < 'a' + 20; ++c) deep += "/" + down.emplace_back(250, c);
  ASSERT_GT(deep.size(), std::size_t{PATH_MAX});
  MakeByName(t, {down[0]}, "a.txt", "hit a\n");
  MakeByName(t, down, "b.txt", "hit b\n\x82\nhit b2\n");
  for (int i = 0; i < 66; ++i) {
    std::vector<std::string> dirs = down;
    dirs.insert(dirs.end(), {"w" + std::to_string(i), "x"});
    MakeByName(t, dirs, i == 0 ? "c.txt" : "", "hit c\n");
  }
  fs::create_symlink("/proc/self/mem", t + "/mem.txt");  // opens, but its first byte cannot be read
  for (const char* threads : {"-j1", "-j4"}) {
    SCOPED_TRACE(threads);
    const Outcome o = RunArgs({threads, "-q", "hit", t});
    EXPECT_EQ(o.status, 2);
    EXPECT_TRUE(o.out == t + "/" + down[0] + "/a.txt(1): hit a\n" + deep + "/b.txt(1): hit b\n" + deep +
                             "/b.txt(3): hit b2\n" + deep + "/w0/x/c.txt(1): hit c\n")
        << o.out.size() << " bytes";
    EXPECT_EQ(o.err, "tarngrep: " + t + "/mem.txt: Input/output error\n");
  }
}

// Bad usage: the reason and the usage on stderr, exit status 2, nothing searched.
class TarngrepUsageTest : public TarngrepTest, public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(TarngrepUsageTest, ExplainsAndExitsWithTwo) {
  std::vector<std::string> args = GetParam();
  const Outcome o = RunArgs(args);
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err.rfind("tarngrep: ", 0), 0U) << o.err;
  EXPECT_NE(o.err.find("\nusage: tarngrep"), std::string::npos) << o.err;
}

INSTANTIATE_TEST_SUITE_P(
    BadOptions, TarngrepUsageTest,
    ::testing::Values(std::vector<std::string>{"--frobnicate", "x", "samples"},
                      std::vector<std::string>{"-j", "0", "x", "samples"}, std::vector<std::string>{"-jx", "x", "samples"},
                      std::vector<std::string>{"-j", "4x", "x", "samples"},
                      std::vector<std::string>{"--threads=", "x", "samples"},
                      std::vector<std::string>{"--threads", "99999999999", "x", "samples"},
                      std::vector<std::string>{"x", "samples", "-j"},
                      std::vector<std::string>{"--color=sometimes", "x", "samples"},
                      std::vector<std::string>{"--colour=", "x", "samples"},
                      std::vector<std::string>{"-c", "-l", "x", "samples"},
                      std::vector<std::string>{"--info", "--count", "x", "samples"},
                      std::vector<std::string>{"--info", "-l", "x", "samples"},
                      std::vector<std::string>{"-C", "-1", "x", "samples"},
                      std::vector<std::string>{"--after-context=", "x", "samples"},
                      std::vector<std::string>{"-c", "-B2", "x", "samples"},
                      std::vector<std::string>{"-o", "-C", "1", "x", "samples"},
                      std::vector<std::string>{"-c"}));

// What a run leaves behind, with the status line's elapsed time cut off.
struct RunTrace {
  Outcome outcome;
  std::string saved;
  std::string history;

};

std::string WithoutElapsedTime(std::string err) {
  const std::size_t elapsed = err.find("(Elapsed time ");
  if (elapsed != std::string::npos) err.erase(elapsed, err.find(')', elapsed) + 1 - elapsed);
  return err;
}

bool operator==(const Outcome& a, const Outcome& b) {
  return a.status == b.status && a.out == b.out && WithoutElapsedTime(a.err) == WithoutElapsedTime(b.err);
}

// A random tree: nested folders, names with CP932 and UTF-8 bytes, Shift-JIS texts with and
// without hits, every kind of line end, lines longer than a block, files without a final line
// end, empty and binary files.
void MakeRandomTree(pattern::testing::Rng& rng, const testing::TestTree& tree, const std::string& top) {
  using pattern::testing::Chance;
  using pattern::testing::PickOf;
  const std::vector<std::string> names = {"a", "b1", "\x93\xFA\x96\x7B", "\x95\x5C", "\xE6\x9D\xB1\xE4\xBA\xAC", "x y", ".dot"};
  std::vector<std::string> dirs = {top};
  for (int i = 0; i < 8; ++i) dirs.push_back(PickOf(rng, dirs) + "/" + PickOf(rng, names) + std::to_string(i));
  for (int i = 0; i < 36; ++i) {
    std::string text;
    if (Chance(rng, 10)) {
      // empty
    } else if (Chance(rng, 10)) {
      text = std::string("\0", 1) + pattern::testing::RandomText(rng, false);
    } else {
      const pattern::testing::TextShape shape{40, Chance(rng, 20) ? std::size_t{150000} : std::size_t{300}, 5, 10};
      text = pattern::testing::RandomText(rng, shape);
      // Past the text test's head, a NUL makes no binary file.
      if (Chance(rng, 5)) text = std::string(3000, 'a') + "\n" + text;
    }
    const std::string name = PickOf(rng, names) + std::to_string(i) + (Chance(rng, 70) ? ".txt" : ".dat");
    tree.File(PickOf(rng, dirs).substr(tree.root().size() + 1) + "/" + name, text);
  }
}

TEST_F(TarngrepTest, WorkerThreadsPrintWhatOneThreadPrints) {
  pattern::testing::Rng rng(20261209);
  using pattern::testing::Chance;
  using pattern::testing::Pick;
  const std::string dic = tree_.File("syn.dic", SystemText("ア,a,表\r\nbc,日,ー\r\n"));
  const int rounds = pattern::testing::Rounds(12);
  for (int round = 0; round < rounds; ++round) {
    const std::string top = tree_.Dir("tree" + std::to_string(round));
    MakeRandomTree(rng, tree_, top);
    for (int k = 0; k < 4; ++k) {
      std::vector<std::string> args = {"--encoding", "cp932", "--result-type", std::to_string(Pick(rng, 3))};
      const char* forms[] = {"", "-c", "-l", "--info"};
      const std::string form = forms[Chance(rng, 50) ? 0 : 1 + Pick(rng, 3)];
      if (!form.empty()) args.push_back(form);
      if (form.empty() && Chance(rng, 30)) args.insert(args.end(), {"-C", std::to_string(Pick(rng, 4))});
      if (form.empty() && Chance(rng, 20)) args.insert(args.end(), {"-B", std::to_string(Pick(rng, 3)), "-A1"});
      if (form.empty() && args.size() == 4 && Chance(rng, 20)) args.push_back("-o");
      if (Chance(rng, 40)) args.push_back("--color=always");
      if (Chance(rng, 15)) args.push_back("-F");
      if (Chance(rng, 20)) args.push_back("--fuzzy");
      if (Chance(rng, 20)) args.insert(args.end(), {"--synonym-file", dic});
      if (Chance(rng, 10)) args.push_back("--no-subdirs");
      const bool save = Chance(rng, 40);
      const bool html = Chance(rng, 50);
      const bool history = Chance(rng, 40);
      // Half of them a single piece, which finds lines in most files.
      const std::string pattern = SystemText(Chance(rng, 50) ? pattern::testing::PickOf(rng, pattern::testing::kAtoms)
                                                             : pattern::testing::RandomPattern(rng));
      const char* masks[] = {"*.txt", "*.*", "*.txt,*.dat"};
      const std::string mask = masks[Pick(rng, 3)];
      auto run = [&](const char* threads) {
        const std::string name = "run" + std::string(threads);
        fs::remove_all(tree_.root() + "/" + name);
        const std::string data = tree_.Dir(name);
        const std::string saved = data + (html ? "/saved.htm" : "/saved.txt");
        std::vector<std::string> all = {"-j", threads, "--data-dir", data};
        if (save) all.insert(all.end(), {"--save", saved});
        if (history) all.push_back("--history");
        all.insert(all.end(), args.begin(), args.end());
        all.insert(all.end(), {"--", pattern, top, mask});
        return RunTrace{RunArgs(all), Slurp(saved), Slurp(data + "/Tmp/ResultList.1")};
      };
      const RunTrace one = run("1");
      const RunTrace four = run("4");
      std::string command;
      for (const std::string& arg : args) command += arg + " ";
      SCOPED_TRACE("round " + std::to_string(round) + ": " + command + pattern::testing::Printable(pattern) + " " + mask +
                   (save ? " --save" : "") + (history ? " --history" : ""));
      EXPECT_EQ(four.outcome.status, one.outcome.status);
      EXPECT_EQ(four.outcome.out, one.outcome.out);
      EXPECT_EQ(WithoutElapsedTime(four.outcome.err), WithoutElapsedTime(one.outcome.err));
      EXPECT_EQ(four.saved, one.saved);
      EXPECT_EQ(four.history, one.history);
    }
  }
}

// A line of tarngrep in display mode 2 ("f.txt(3): text", context "f.txt(3)- text") or of grep -H
// -n ("f.txt:3:text", "f.txt-3-text") as "f.txt|3|:|text"; "--" as it is.
std::vector<std::string> Rows(const std::string& out, bool grep) {
  std::vector<std::string> rows;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    const std::size_t name_end = line.find_first_of(grep ? ":-" : "(");
    if (line == "--" || name_end == std::string::npos) {
      rows.push_back(line);
      continue;
    }
    const std::size_t number_end = grep ? line.find(line[name_end], name_end + 1) : line.find(')', name_end);
    const char kind = grep ? line[name_end] : line[number_end + 1];
    rows.push_back(line.substr(0, name_end) + "|" + line.substr(name_end + 1, number_end - name_end - 1) + "|" + kind +
                   "|" + line.substr(number_end + (grep ? 1 : 3)));
  }
  return rows;
}

// Context lines and hits as GNU grep gives them for the same text in UTF-8: the same lines, in the
// same groups, with the same numbers. Lines end in LF, CR LF or a lone CR (LF in grep's copy);
// now and then one is long enough to cross the reader's windows.
TEST_F(TarngrepTest, ContextLinesAndHitsAreThoseGrepGives) {
  if (std::system("grep --version 2>/dev/null | grep -q GNU") != 0) GTEST_SKIP() << "no GNU grep";
  pattern::testing::Rng rng(20261210);
  using pattern::testing::Chance;
  using pattern::testing::Pick;
  using pattern::testing::PickOf;
  const std::vector<std::string> words = {"猫", "犬", "東京", "ア", "ー", "日本", "表", "a", "b", " "};
  const std::vector<std::string> patterns = {"猫", "犬|東京", "アー*", "^日本", "a b|表", "(猫|犬)+"};
  const std::vector<std::string> ends = {"\n", "\r\n", "\r"};
  const int rounds = pattern::testing::Rounds(40);
  for (int round = 0; round < rounds; ++round) {
    const std::string sjis = tree_.Dir("sjis" + std::to_string(round));
    const std::string utf8 = tree_.Dir("utf8" + std::to_string(round));
    for (int i = 0; i < 4; ++i) {
      std::string text;
      std::string text_utf8;
      const std::size_t lines = Pick(rng, 40);
      for (std::size_t k = 0; k < lines; ++k) {
        std::string line;
        const std::size_t length = Chance(rng, 3) ? 5000 + Pick(rng, 40000) : Pick(rng, 6);
        for (std::size_t w = 0; w < length; ++w) line += PickOf(rng, words);
        const bool end = k + 1 < lines || Chance(rng, 50);
        std::string line_end = end ? PickOf(rng, ends) : "";
        if (line.empty() && line_end == "\n" && text.ends_with('\r')) line_end = "\r\n";  // not one CR LF
        text += SystemText(line) + line_end;
        text_utf8 += line + (end ? "\n" : "");
      }
      const std::string name = "/f" + std::to_string(i) + ".txt";
      tree_.File(sjis.substr(tree_.root().size() + 1) + name, text);
      tree_.File(utf8.substr(tree_.root().size() + 1) + name, text_utf8);
    }
    std::vector<std::string> options = {"-o"};
    if (Chance(rng, 40))
      options = {"-C", std::to_string(Pick(rng, 4))};
    else if (Chance(rng, 70))
      options = {"-A", std::to_string(Pick(rng, 4)), "-B", std::to_string(Pick(rng, 4))};
    const std::string pattern = PickOf(rng, patterns);
    std::vector<std::string> args = {"-j1", "--encoding", "utf-8", "--result-type", "2", "--no-subdirs"};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {"--", pattern, sjis, "*.txt"});
    const Outcome tarn = RunArgs(args);
    // The files in the order the walk lists them.
    std::string command = "cd '" + utf8 + "' && LC_ALL=C.UTF-8 grep -H -n -E";
    for (const std::string& option : options) command += " " + option;
    command += " -e '" + pattern + "'";
    for (const auto& entry : fs::directory_iterator(sjis)) command += " " + entry.path().filename().string();
    command += " >'" + tree_.root() + "/grep.out'";
    const int status = std::system(command.c_str());
    SCOPED_TRACE("round " + std::to_string(round) + ": " + command);
    EXPECT_EQ(tarn.status, WEXITSTATUS(status)) << tarn.err;
    EXPECT_EQ(Rows(tarn.out, false), Rows(Slurp(tree_.root() + "/grep.out"), true));
  }
}

// Files whose lines wait for an earlier file hold a bounded amount each; then their workers wait.
TEST_F(TarngrepTest, ManyLinesOfLaterFilesWaitTheirTurn) {
  for (int i = 0; i < 5; ++i) {
    std::string text;
    for (int line = 0; line < 40000; ++line) text += "hit " + std::to_string(i) + " " + std::to_string(line) + " ..........\n";
    tree_.File("big/d" + std::to_string(i) + "/f.txt", text);
  }
  const Outcome one = RunArgs({"-j1", "-q", "--result-type", "2", "hit", tree_.root() + "/big"});
  const Outcome four = RunArgs({"-j4", "-q", "--result-type", "2", "hit", tree_.root() + "/big"});
  EXPECT_EQ(one.status, 0);
  EXPECT_EQ(std::count(one.out.begin(), one.out.end(), '\n'), 200000);
  EXPECT_TRUE(four == one);
}

}  // namespace
}  // namespace tarn::search

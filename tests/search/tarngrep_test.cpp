// tarngrep end to end, on the bundled samples and on files made here. Skipped when the program
// has not been built beside this test.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

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

}  // namespace
}  // namespace tarn::search

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "core/system_text.h"
#include "pattern/fuzzy_char_dic.h"
#include "pattern/synonym_dic.h"

using namespace tarn;
using namespace tarn::pattern;

TEST(FuzzyCharDic, TableHasItsRowsInOrder) {
  const TREDictionary& dic = FuzzyCharDic();
  ASSERT_EQ(dic.size(), 145u);
  EXPECT_EQ(dic.front(), (TREDicGroup{"\x82\x60", "\x82\x81", "A", "a"}));
  EXPECT_EQ(dic.back(), (TREDicGroup{"\xDF", "\x81\x4B"}));
  EXPECT_EQ(&dic, &FuzzyCharDic());  // one shared table
}

TEST(FuzzyCharDic, SpecialRowsSplitIntoTheirWords) {
  const TREDictionary& dic = FuzzyCharDic();
  EXPECT_EQ(dic[36], (TREDicGroup{"\x81\x40", " "}));
  EXPECT_EQ(dic[38], (TREDicGroup{"\"", "\x81\x68"}));
  EXPECT_EQ(dic[48], (TREDicGroup{"\x81\x5B", "\x81\x60", "\xB0", ""}));
  EXPECT_EQ(dic[60], (TREDicGroup{"\\", "\x81\x8F"}));
  EXPECT_EQ(dic[65], (TREDicGroup{"|", "\x81\x62"}));
  EXPECT_EQ(dic[68], (TREDicGroup{",", "\xA4", "\x81\x41", "\x81\x43"}));
  ASSERT_EQ(dic[80].size(), 10u);
  EXPECT_EQ(dic[80][3], SystemText("す゛"));
  EXPECT_EQ(dic[27], (TREDicGroup{"1", SystemText("１"), SystemText("一"), "\x87\x40", "\x87\x54", SystemText("壱")}));
  EXPECT_EQ(dic[73][2], "\xB6\xDE");  // ｶﾞ as two half-width bytes
}

TEST(SynonymDic, LinesCommentsAndLineEnds) {
  const std::string text = SystemText("// note\r\n  //x\r\n\r\n   \r\n1/2,半分\n/x,y\r車,自動車,クルマ\r\n") + "\x81\x40" "a b,\"c,d\",\r\n";
  const TREDictionary dic = ParseSynonymDic(text);
  ASSERT_EQ(dic.size(), 4u);
  EXPECT_EQ(dic[0], (TREDicGroup{"1/2", SystemText("半分")}));
  EXPECT_EQ(dic[1], (TREDicGroup{"/x", "y"}));
  EXPECT_EQ(dic[2], (TREDicGroup{SystemText("車"), SystemText("自動車"), SystemText("クルマ")}));
  // A full-width space is not trimmed; blanks split words; a trailing comma adds an empty word.
  EXPECT_EQ(dic[3], (TREDicGroup{"\x81\x40" "a", "b", "c,d", ""}));
}

TEST(SynonymDic, MissingFileIsNoDictionaryUnreadableIsAnError) {
  EXPECT_FALSE(ReadSynonymDic("/nonexistent/Synonym.Dic").has_value());
  EXPECT_THROW(ReadSynonymDic("/"), std::runtime_error);
  const std::string path = testing::TempDir() + "MissingFileIsNoDictionary.Synonym.Dic";
  std::ofstream(path, std::ios::binary) << "a,b\r\n";
  const auto dic = ReadSynonymDic(path);
  ASSERT_TRUE(dic.has_value());
  EXPECT_EQ(*dic, (TREDictionary{{"a", "b"}}));
  // A FIFO in its place is an error at once; the alarm ends the run should the read block.
  std::remove(path.c_str());
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  ::alarm(20);
  EXPECT_THROW(ReadSynonymDic(path), std::runtime_error);
  ::alarm(0);
  std::remove(path.c_str());
}

TEST(SynonymDic, OwnerAttachesOneListToEveryComponentAndFreesIt) {
  TAWKStr grep_like, awk;
  const std::string path = testing::TempDir() + "OwnerAttachesOneList.Synonym.Dic";
  std::ofstream(path, std::ios::binary) << SystemText("車,自動車,クルマ\r\n");
  {
    TSynonymDicOwner owner({&grep_like, &awk});
    owner.LoadSynonymDic("/nonexistent/Synonym.Dic");
    EXPECT_TRUE(awk.SynonymDicList().empty());
    owner.LoadSynonymDic(path);
    ASSERT_EQ(awk.SynonymDicList().size(), 1u);
    EXPECT_EQ(awk.SynonymDicList()[0], grep_like.SynonymDicList()[0]);
    awk.SetRegExp(SystemText("自動車"));
    awk.SetUseSynonymDic(true);
    int start = 0, length = 0;
    EXPECT_EQ(awk.Match(SystemText("赤いクルマ"), start, length), 5);
    owner.LoadSynonymDic(path);  // reloading replaces, never stacks
    EXPECT_EQ(awk.SynonymDicList().size(), 1u);
  }
  EXPECT_TRUE(awk.SynonymDicList().empty());
  EXPECT_TRUE(grep_like.SynonymDicList().empty());
  std::remove(path.c_str());
}

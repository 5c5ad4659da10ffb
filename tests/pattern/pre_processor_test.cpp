#include "pattern/pre_processor.h"

#include <gtest/gtest.h>

#include "core/system_text.h"
#include "pattern/fuzzy_char_dic.h"
#include "pattern/regular_expression.h"

using namespace tarn;
using namespace tarn::pattern;

namespace {

// Runs the pre-processor on a UTF-8 pattern and gives the result back in UTF-8 terms (CP932).
std::string Process(std::string_view pattern, const TREDictionary* synonyms, bool fuzzy) {
  TREPreProcessor pp;
  if (synonyms) {
    pp.SynonymDicList().push_back(synonyms);
    pp.UseSynonymDic = true;
  }
  if (fuzzy) {
    pp.FuzzyCharDicList().push_back(&FuzzyCharDic());
    pp.UseFuzzyCharDic = true;
  }
  pp.SetSource(SystemText(pattern));
  pp.ProcessPattern();
  return pp.Output();
}

TREDictionary Dic(std::initializer_list<std::string_view> lines) {
  TREDictionary dic;
  for (const auto line : lines) dic.push_back(SplitDictionaryLine(SystemText(line)));
  return dic;
}

}  // namespace

TEST(PreProcessor, SwitchesOffHandThePatternOnUnchanged) {
  TREPreProcessor pp;
  pp.FuzzyCharDicList().push_back(&FuzzyCharDic());
  pp.SetSource("a([");  // malformed, but not scanned
  pp.ProcessPattern();
  EXPECT_EQ(pp.Output(), "a([");
}

TEST(PreProcessor, FuzzyPassReplacesLiteralsOnly) {
  EXPECT_EQ(Process("[ab]", nullptr, true), "[ab]");
  EXPECT_EQ(Process("[^ab]", nullptr, true), "[^ab]");
  EXPECT_EQ(Process("ab", nullptr, true), SystemText("(Ａ|ａ|A|a)(Ｂ|ｂ|B|b)"));
  EXPECT_EQ(Process("\\.", nullptr, true), SystemText("(｡|\\.|。|．)"));
  EXPECT_EQ(Process("a*", nullptr, true), SystemText("(Ａ|ａ|A|a)*"));
  EXPECT_EQ(Process("ー", nullptr, true), SystemText("(ー|～|ｰ|)"));
  // The voiced row comes before the plain kana row, so "か゛" is taken whole.
  EXPECT_EQ(Process("か゛", nullptr, true), SystemText("(が|ガ|ｶﾞ|か゛|カ゛)"));
  EXPECT_EQ(Process("^.$|(x)", nullptr, true), SystemText("^.$|((Ｘ|ｘ|X|x))"));
}

TEST(PreProcessor, SynonymGroupsReplaceWordsInLiteralRuns) {
  const TREDictionary cats = Dic({"cat,dog"});
  EXPECT_EQ(Process("cat?", &cats, false), "(cat|dog)?");
  EXPECT_EQ(Process("cats?", &cats, false), "(cat|dog)s?");
  EXPECT_EQ(Process("concatenate", &cats, false), "con(cat|dog)enate");
  EXPECT_EQ(Process("c(at)", &cats, false), "c(at)");  // a word never spans an operator

  const TREDictionary order = Dic({"自動,オート", "自動車,車"});
  EXPECT_EQ(Process("自動車", &order, false), SystemText("(自動|オート)(自動車|車)"));

  const TREDictionary quoted = Dic({"a+b,足し算"});
  EXPECT_EQ(Process("a\\+b", &quoted, false), SystemText("(a\\+b|足し算)"));
  EXPECT_EQ(Process("a+b", &quoted, false), "a+b");

  const TREDictionary cars = Dic({"車,自動車,クルマ"});
  EXPECT_EQ(Process("赤い自動車.*", &cars, false), SystemText("赤い(車|自動車|クルマ).*"));
  EXPECT_EQ(Process("赤い自動車.*", &cars, true),
            SystemText("赤(い|イ|ｲ|ぃ|ィ|ｨ)(車|自動車|(く|ク|ｸ)(る|ル|ﾙ)(ま|マ|ﾏ))") + ".*");
}

TEST(PreProcessor, ErrorsComeFromTheScannerWhenASwitchIsOn) {
  const TREDictionary cats = Dic({"cat,dog"});
  EXPECT_THROW(Process("[abc", &cats, false), ERegExpParser);
  // A dictionary word ending in a lone lead byte is reported, not read past its end.
  const TREDictionary broken{{std::string("x\x82")}};
  EXPECT_THROW(Process("x", &broken, false), ERegExpParser);
}

TEST(PreProcessor, ComponentsMatchThroughTheDictionaries) {
  TAWKStr awk;
  int start = 0, length = 0;
  awk.SetRegExp("a");
  awk.SetUseFuzzyCharDic(true);
  EXPECT_EQ(awk.Match(SystemText("xＡy"), start, length), 2);
  EXPECT_EQ(length, 2);
  awk.SetUseFuzzyCharDic(false);
  EXPECT_EQ(awk.Match(SystemText("xＡy"), start, length), 0);

  awk.SetRegExp(SystemText("コンピューター"));
  awk.SetUseFuzzyCharDic(true);
  EXPECT_EQ(awk.Match(SystemText("新しいコンピュータ"), start, length), 7);
  EXPECT_EQ(length, 12);
  EXPECT_EQ(awk.Match(SystemText("ｺﾝﾋﾟｭｰﾀｰを"), start, length), 1);
  EXPECT_EQ(length, 8);

  // A failing pre-processing keeps the previous pattern.
  EXPECT_THROW(awk.SetRegExp("[abc"), ERegExpParser);
  EXPECT_EQ(awk.RegExp(), SystemText("コンピューター"));

  TAWKStr other;
  EXPECT_EQ(other.FuzzyCharDicList().front(), awk.FuzzyCharDicList().front());
}

// The fast file scan against the character-by-character scans on random Shift-JIS texts and
// random patterns: both must report the same lines, numbers and texts. The seeds are fixed;
// TARN_DIFF_ROUNDS=<n> runs n rounds per case instead of the quick default.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <unistd.h>
#include <string>
#include <vector>

#include "core/system_text.h"
#include "pattern/fast_line_scan.h"
#include "pattern/grep.h"
#include "pattern/synonym_dic.h"

namespace tarn::pattern {
namespace {

namespace fs = std::filesystem;
using Rng = std::mt19937;
using namespace std::string_literals;

int Rounds(int quick) {
  const char* env = std::getenv("TARN_DIFF_ROUNDS");
  return env != nullptr && std::atoi(env) > 0 ? std::atoi(env) : quick;
}

std::size_t Pick(Rng& rng, std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); }
bool Chance(Rng& rng, int percent) { return static_cast<int>(Pick(rng, 100)) < percent; }

// Characters chosen to trap byte-level matching: trail bytes equal to "A", "[", "\", lead bytes
// of common kana, a half-width kana, a NUL and a space.
const std::vector<std::string> kTextChars = {
    "a", "b", "c", "A", "[", "\\", "]", " ", "1", "*", "\0"s, "\x83\x41", "\x81\x5B", "\x83\x5C",
    "\x95\x5C", "\x82\xA0", "\x93\xFA", "\xB1", "\xE0\x40", "\x82\x60"};
const std::vector<std::string> kLineEnds = {"\n", "\r\n", "\r"};

std::string RandomText(Rng& rng, bool broken) {
  std::string text;
  const std::size_t lines = Pick(rng, 12);
  for (std::size_t i = 0; i < lines; ++i) {
    const std::size_t length = Chance(rng, 10) ? 40 + Pick(rng, 300) : Pick(rng, 12);
    for (std::size_t k = 0; k < length; ++k) text += kTextChars[Pick(rng, kTextChars.size())];
    if (broken && Chance(rng, 15)) text += "\x83";  // a lead byte right before the line end
    if (i + 1 < lines || Chance(rng, 60)) text += kLineEnds[Pick(rng, kLineEnds.size())];
  }
  if (broken && Chance(rng, 10)) text += "\x95";
  return text;
}

// Pattern pieces: characters (escaped where they are metacharacters), classes with ranges that
// cover the line feed, anchors and escapes.
const std::vector<std::string> kAtoms = {
    "a", "b", "c", "A", "\\[", "\\\\", "\\]", " ", "1", "ア", "ー", "ソ", "表", "あ", "日", "ｱ", ".", "^", "$",
    "\\n", "\\r", "\\t", "\\x41", "\\x8341", "[ab]", "[^a]", "[^\\n]", "[\\x01-\\x20]", "[ア-ソ]", "[a-cA]",
    "[^ア-ソb]", "[ー\\\\]", "[\\t-\\r]", "[^ ]", "[0-9]"};

std::string RandomPattern(Rng& rng, int depth = 0) {
  std::string pattern;
  const std::size_t branches = Chance(rng, 25) ? 2 + Pick(rng, 2) : 1;
  for (std::size_t b = 0; b < branches; ++b) {
    if (b > 0) pattern += "|";
    const std::size_t pieces = 1 + Pick(rng, 4);
    for (std::size_t i = 0; i < pieces; ++i) {
      if (depth < 2 && Chance(rng, 12))
        pattern += "(" + RandomPattern(rng, depth + 1) + ")";
      else
        pattern += kAtoms[Pick(rng, kAtoms.size())];
      if (Chance(rng, 20)) pattern += "*+?"[Pick(rng, 3)];
    }
  }
  return pattern;
}

class DiffGrep {
 public:
  DiffGrep() : dir_(fs::temp_directory_path() / ("tarn-diff-" + std::to_string(getpid()))) {
    fs::create_directories(dir_);
    synonyms_ = ParseSynonymDic(SystemTextOf("ア,a,表\nbc,日,ー\n"));
    grep_.SynonymDicList().push_back(&synonyms_);
  }
  ~DiffGrep() { fs::remove_all(dir_); }

  // Loads a pattern; false when it does not compile.
  bool Set(const std::string& utf8_pattern, bool fuzzy, bool synonyms) {
    try {
      grep_.SetUseFuzzyCharDic(fuzzy);
      grep_.SetUseSynonymDic(synonyms);
      grep_.SetRegExp(SystemTextOf(utf8_pattern));
      return true;
    } catch (const ERegExpParser&) {
      return false;
    }
  }
  bool Fast() const { return grep_.UsesFastScan(); }

  std::string Run(const std::string& bytes, std::size_t block_size, bool reference) {
    const std::string path = (dir_ / "t.txt").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    std::string out;
    grep_.OnMatch = [&](TGrep&, RE_LineInfo_t info) { out += std::to_string(info.LineNo) + ":" + info.Line + "|"; };
    grep_.BlockSize = block_size;
    grep_.ForceReferenceScan = reference;
    grep_.Grep(path);
    return out;
  }

 private:
  static std::string SystemTextOf(const std::string& utf8) { return tarn::SystemText(utf8); }

  fs::path dir_;
  TREDictionary synonyms_;
  TGrep grep_;
};

std::string Printable(const std::string& bytes) {
  std::string out;
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F && b != '\\') {
      out += c;
    } else {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

void Compare(std::uint32_t seed, int rounds, bool broken_texts) {
  Rng rng(seed);
  DiffGrep grep;
  int fast_cases = 0;
  for (int round = 0; round < rounds; ++round) {
    const std::string pattern = RandomPattern(rng);
    const bool fuzzy = Chance(rng, 20);
    const bool synonyms = Chance(rng, 20);
    if (!grep.Set(pattern, fuzzy, synonyms)) continue;
    if (grep.Fast()) ++fast_cases;
    for (int t = 0; t < 4; ++t) {
      const std::string text = RandomText(rng, broken_texts);
      const std::size_t block = std::vector<std::size_t>{1, 2, 3, 7, 16, 64, 102400}[Pick(rng, 7)];
      const std::string want = grep.Run(text, block, true);
      const std::string got = grep.Run(text, block, false);
      ASSERT_EQ(got, want) << "pattern «" << pattern << "» fuzzy " << fuzzy << " synonyms " << synonyms
                           << " block " << block << " text " << Printable(text);
    }
  }
  EXPECT_GT(fast_cases, rounds / 4) << "too few patterns took the fast scan";
}

TEST(FastScanDifferential, WellFormedTexts) { Compare(20261209, Rounds(100), false); }

TEST(FastScanDifferential, LeadBytesBeforeLineEnds) { Compare(7, Rounds(50), true); }

TEST(FastScanDifferential, LiteralsFoundByTheirBytesOnlyAtCharacterBoundaries) {
  DiffGrep grep;
  // "A" inside ア, "[" inside ー, "\" inside ソ and 表; line ends of every kind; a NUL.
  const std::string text = "\x83\x41\r\nx[\x81\x5B\r\x83\x5C\\\n\x95\x5C\0A\nq1\\^\n"s + std::string(300, 'z') + "A";
  for (const char* pattern : {"A", "\\[", "\\\\", "ア", "^A", "A$", "z*A$", "[^a]A", "表", "[ー\\\\]^|1*"}) {
    ASSERT_TRUE(grep.Set(pattern, false, false)) << pattern;
    EXPECT_TRUE(grep.Fast()) << pattern;
    for (const std::size_t block : {1, 5, 64, 102400})
      EXPECT_EQ(grep.Run(text, block, false), grep.Run(text, block, true)) << pattern << " block " << block;
  }
}

TEST(FastScanDifferential, LineEndInsideACharacterIsLeftToTheExactScan) {
  DiffGrep grep;
  // The reference scan reads the CR after the lead byte 0x83 as its trail byte and runs on into
  // the next line; the skipped first line must not hide that.
  const std::string text = "x\x83\r\x95\x5C\nab\n";
  ASSERT_TRUE(grep.Set("x.表", false, false));
  EXPECT_TRUE(grep.Fast());
  EXPECT_EQ(grep.Run(text, 102400, true), "1:x\x83|");
  EXPECT_EQ(grep.Run(text, 102400, false), "1:x\x83|");
  EXPECT_EQ(grep.Run(text, 2, false), "1:x\x83|");
  // The same inside a long stretch of lines that the prefilter skips.
  std::string padded;
  for (int i = 0; i < 30; ++i) padded += "zzz\r\n";
  padded += text;
  for (int i = 0; i < 30; ++i) padded += "\x95zz\n";
  EXPECT_EQ(grep.Run(padded, 102400, true), "31:x\x83|");
  EXPECT_EQ(grep.Run(padded, 102400, false), "31:x\x83|");
}

TEST(FastScanDifferential, MatchesAcrossLineEndsKeepTheExactScan) {
  DiffGrep grep;
  for (const char* pattern : {"a\\nb", "a[\\x01-\\x20]*b", "a(\\n|x)*b", "[\\x01-\\x20]+b"}) {
    ASSERT_TRUE(grep.Set(pattern, false, false));
    EXPECT_FALSE(grep.Fast()) << pattern;
  }
  for (const char* pattern : {".*ship$", "^日本", "[ァ-ヶ]+ー", "猫|犬", "^$", "^", "a[^x]b", "a*"}) {
    ASSERT_TRUE(grep.Set(pattern, false, false));
    EXPECT_TRUE(grep.Fast()) << pattern;
  }
}

TEST(FastScan, CountsEveryKindOfLineEnd) {
  const std::string text = std::string(40, 'x') + "\r\n\n\r\rab\r" + std::string(33, '\n') + "\r\n\r";
  EXPECT_EQ(CountLineEnds(text.data(), text.data() + text.size()), 39u);
  EXPECT_EQ(CountLineEnds(text.data(), text.data()), 0u);
  // Long enough for every vector width, at every offset.
  Rng rng(3);
  std::string mixed;
  for (int i = 0; i < 3000; ++i) mixed += "\r\nab\x83"[Pick(rng, 5)];
  for (std::size_t offset = 0; offset < 40; ++offset) {
    std::size_t want = 0;
    for (std::size_t i = offset; i < mixed.size(); ++i)
      want += mixed[i] == '\n' || (mixed[i] == '\r' && (i + 1 == mixed.size() || mixed[i + 1] != '\n'));
    EXPECT_EQ(CountLineEnds(mixed.data() + offset, mixed.data() + mixed.size()), want) << offset;
  }
}

TEST(FastScan, FindsBytesWithTheRarestByteFirst) {
  const TByteFinder finder("computer");
  const std::string hay = "compute computes comp computer!";
  EXPECT_EQ(finder.Find(hay.data(), hay.data() + hay.size()), hay.data() + 22);
  EXPECT_EQ(finder.Find(hay.data(), hay.data() + 29), nullptr);
}

}  // namespace
}  // namespace tarn::pattern

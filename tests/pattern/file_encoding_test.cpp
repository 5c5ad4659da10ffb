// Files in every Japanese encoding are searched as their CP932 copy is: the same lines, numbers
// and texts, plain, fuzzy and with synonyms; broken input is searched with placeholders.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <vector>

#include "core/cp932_decoder.h"
#include "core/encoding.h"
#include "core/file_encoding.h"
#include "core/system_text.h"
#include "random_sjis_text.h"

namespace tarn::pattern::testing {
namespace {

std::string Iconv(const std::string& utf8, const char* to) {
  iconv_t cd = iconv_open(to, "UTF-8");
  std::string out(utf8.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(utf8.data());
  char* dst = out.data();
  std::size_t left = utf8.size(), room = out.size();
  const std::size_t rc = iconv(cd, &src, &left, &dst, &room);
  iconv(cd, nullptr, nullptr, &dst, &room);  // back to ASCII at the end (ISO-2022-JP)
  iconv_close(cd);
  EXPECT_NE(rc, static_cast<std::size_t>(-1)) << to;
  out.resize(out.size() - room);
  return out;
}

// The seven forms of one text: CP932 first.
std::vector<std::pair<std::string, std::string>> Copies(const std::string& utf8) {
  return {{"cp932", Utf8ToCp932(utf8)},
          {"utf-8", utf8},
          {"utf-8 mark", "\xEF\xBB\xBF" + utf8},
          {"utf-16le", Iconv(utf8, "UTF-16")},  // glibc writes a mark, little-endian here
          {"utf-16be", "\xFE\xFF" + Iconv(utf8, "UTF-16BE")},
          {"euc-jp", Iconv(utf8, "EUC-JP")},
          {"iso-2022-jp", Iconv(utf8, "ISO-2022-JP")}};
}

// JIS X 0208 characters, spelt alike in every form, and the ASCII that traps byte matching.
const std::vector<std::string> kJapanese = {"あ", "い", "の", "は", "ア", "イ", "フ", "ァ", "ル", "ー", "表", "日",
                                            "本", "語", "検", "索", "「", "」", "。", "、", "Ａ", "ａ", "１", "ソ",
                                            "a", "A", "1", " ", "[", "\\", "*", "\t"};
const std::vector<std::string> kJapaneseAtoms = {"あ", "ア", "ー", "表", "日本", "ファイル", "a", "A", "Ａ", "ａ",
                                                 "１", ".", "^", "$", "[^a]", "[ぁ-ん]", "[ァ-ヶ]+", "[^ア-ソ]",
                                                 "\\n", "(.|\\n)", "「[^」]*」", "ソ", "^これ", "^ア"};

std::string RandomJapanese(Rng& rng) {
  std::string text = "これはファイル\n";  // prose has kana: the EUC-JP copy must read as EUC-JP
  for (std::size_t line = Pick(rng, 12); line > 0; --line) {
    for (std::size_t n = Pick(rng, 30); n > 0; --n) text += PickOf(rng, kJapanese);
    text += Chance(rng, 30) ? "\r\n" : "\n";
  }
  if (Chance(rng, 50)) text += "ファイル";  // no line end at the end
  return text;
}

std::string GrepCopy(DiffGrep& diff, const std::string& bytes, std::size_t block_size, bool reference) {
  TGrep& grep = diff.Grep();
  const std::string path = diff.Write(bytes);
  std::string out;
  grep.OnMatch = [&](TGrep&, RE_LineInfo_t info) { out += std::to_string(info.LineNo) + ":" + info.Line + "|"; };
  grep.BlockSize = block_size;
  grep.ForceReferenceScan = reference;
  return grep.GrepIfText(path) ? out : "binary";
}

TEST(FileEncoding, EveryFormGivesTheLinesOfTheCp932Copy) {
  Rng rng(20261210);
  DiffGrep diff;
  for (int round = 0; round < Rounds(60); ++round) {
    const auto copies = Copies(RandomJapanese(rng));
    const std::string pattern = RandomPattern(rng, kJapaneseAtoms);
    const bool fuzzy = Chance(rng, 40), synonyms = Chance(rng, 40);
    if (!diff.Set(pattern, fuzzy, synonyms)) continue;
    const std::size_t block = Chance(rng, 50) ? TTxtFile::kDefaultBlockSize : 1 + Pick(rng, 64);
    const bool reference = Chance(rng, 20);
    const std::string expected = GrepCopy(diff, copies[0].second, block, reference);
    for (const auto& [name, bytes] : copies)
      EXPECT_EQ(GrepCopy(diff, bytes, block, reference), expected)
          << name << " pattern " << pattern << " fuzzy " << fuzzy << " synonyms " << synonyms << " text "
          << Printable(copies[0].second);
  }
}

TEST(FileEncoding, Cp932TextsAreNeverReadAsAnotherEncoding) {
  Rng rng(932);
  for (int round = 0; round < Rounds(300); ++round) {
    const std::string text = RandomText(rng, round % 2 == 0);
    EXPECT_EQ(DetectFileEncoding(text, true).Encoding, FileEncoding::kCp932) << Printable(text);
  }
}

// Broken input is searched to its end, each broken sequence one placeholder that "." and a
// negated class match and no literal does.
TEST(FileEncoding, BrokenInputShowsPlaceholders) {
  const std::string mark = "\x85\x40";
  const struct {
    const char* name;
    std::string bytes;
    const char* pattern;
    std::string expected;  // "" for no line
  } cases[] = {
      {"utf-8 cut at the end", "\xEF\xBB\xBF" "a\n\xE3\x83\x86\xE3\x83", "\xE3\x83\x86.$",
       "2:" + SystemText("テ") + mark + "|"},
      {"utf-8 stray byte", "\xEF\xBB\xBFx\xFFy\n", "x[^a]y", "1:x" + mark + "y|"},
      {"utf-8 without a CP932 form", "caf\xC3\xA9 \xF0\x9F\x98\x80\n", "f. .$", "1:caf" + mark + " " + mark + "|"},
      {"utf-16 odd length", std::string("\xFF\xFE" "a\0\n\0b", 7), "^[^a]$", "2:" + mark + "|"},
      {"utf-16 surrogate pair", std::string("\xFE\xFF\xD8\x3D\xDE\x00\0z", 8), "^.z", "1:" + mark + "z|"},
      {"iso-2022-jp escape cut off", "\x1B$B%F\x1B(B\nxy\x1B$", "y.\\$", "2:xy" + mark + "$|"},
      {"placeholder is no literal", "\xEF\xBB\xBF\xC3\xA9\n", "〓|\\?", ""},
  };
  DiffGrep diff;
  for (const auto& c : cases) {
    ASSERT_TRUE(diff.Set(c.pattern, false, false)) << c.name;
    for (const std::size_t block : {std::size_t{3}, TTxtFile::kDefaultBlockSize})
      EXPECT_EQ(GrepCopy(diff, c.bytes, block, false), c.expected) << c.name << " block " << block;
  }
}

// The text comes in blocks that cut characters and escapes anywhere; the result is the same.
TEST(FileEncoding, BlockEndsCutNoCharacter) {
  Rng rng(16);
  for (int round = 0; round < Rounds(40); ++round) {
    for (auto [name, bytes] : Copies(RandomJapanese(rng))) {
      const auto encoding = DetectFileEncoding(bytes, true);
      bytes += "\x1B$\xE3";  // an escape cut off, a byte that ends nothing
      auto decode = [&](std::size_t cut) {
        TCp932Decoder decoder(encoding.Encoding);
        std::string in = bytes.substr(encoding.MarkLength), out;
        std::string pending;
        for (std::size_t at = 0; at < in.size() || !pending.empty();) {
          const std::size_t take = std::min(cut, in.size() - at);
          pending += in.substr(at, take);
          at += take;
          const bool last = at == in.size();
          std::string chunk(2 * pending.size(), '\0');
          std::size_t written = 0;
          const std::size_t used = decoder.Decode(pending.data(), pending.size(), last, chunk.data(), written);
          out.append(chunk, 0, written);
          pending.erase(0, used);
          if (last) break;
        }
        return out;
      };
      const std::string whole = decode(bytes.size() + 1);
      EXPECT_EQ(decode(1 + Pick(rng, 5)), whole) << name;
      EXPECT_EQ(decode(1), whole) << name;
    }
  }
}

}  // namespace
}  // namespace tarn::pattern::testing

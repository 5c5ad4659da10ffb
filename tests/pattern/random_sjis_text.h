// Random Shift-JIS texts and patterns for the differential tests of the file grep, and a grep
// that runs one file through the exact or the reference scan. The texts trap byte-level matching
// (trail bytes equal to "A", "[", "\"), hold every kind of line end, NUL bytes and, when asked,
// lead bytes right before line ends. TARN_DIFF_ROUNDS=<n> runs n rounds instead of the quick
// default.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/system_text.h"
#include "pattern/grep.h"
#include "pattern/synonym_dic.h"

namespace tarn::pattern::testing {

using Rng = std::mt19937;
using namespace std::string_literals;

inline int Rounds(int quick) {
  const char* env = std::getenv("TARN_DIFF_ROUNDS");
  return env != nullptr && std::atoi(env) > 0 ? std::atoi(env) : quick;
}

inline std::size_t Pick(Rng& rng, std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); }
inline bool Chance(Rng& rng, int percent) { return static_cast<int>(Pick(rng, 100)) < percent; }
template <typename T>
const T& PickOf(Rng& rng, const std::vector<T>& items) {
  return items[Pick(rng, items.size())];
}

// Characters chosen to trap byte-level matching: trail bytes equal to "A", "[", "\", lead bytes
// of common kana, a half-width kana, a NUL and a space.
inline const std::vector<std::string> kTextChars = {
    "a", "b", "c", "A", "[", "\\", "]", " ", "1", "*", "\0"s, "\x83\x41", "\x81\x5B", "\x83\x5C",
    "\x95\x5C", "\x82\xA0", "\x93\xFA", "\xB1", "\xE0\x40", "\x82\x60"};
inline const std::vector<std::string> kLineEnds = {"\n", "\r\n", "\r"};

struct TextShape {
  std::size_t max_lines = 12;
  std::size_t long_line = 300;  // a tenth of the lines are up to this long
  int broken_percent = 0;       // lines that end right after a lead byte
  int empty_run_percent = 0;    // line ends followed by more line ends
};

inline std::string RandomText(Rng& rng, const TextShape& shape) {
  std::string text;
  const std::size_t lines = Pick(rng, shape.max_lines + 1);
  for (std::size_t i = 0; i < lines; ++i) {
    const std::size_t length = Chance(rng, 10) ? 40 + Pick(rng, shape.long_line) : Pick(rng, 12);
    for (std::size_t k = 0; k < length; ++k) text += PickOf(rng, kTextChars);
    if (Chance(rng, shape.broken_percent)) text += "\x83";  // a lead byte right before the line end
    if (i + 1 < lines || Chance(rng, 60)) text += PickOf(rng, kLineEnds);
    while (Chance(rng, shape.empty_run_percent)) text += PickOf(rng, kLineEnds);
  }
  if (Chance(rng, shape.broken_percent)) text += "\x95";
  return text;
}

inline std::string RandomText(Rng& rng, bool broken) { return RandomText(rng, TextShape{12, 300, broken ? 15 : 0, 0}); }

// Pattern pieces: characters (escaped where they are metacharacters), classes with ranges that
// cover the line feed, anchors and escapes.
inline const std::vector<std::string> kAtoms = {
    "a", "b", "c", "A", "\\[", "\\\\", "\\]", " ", "1", "ア", "ー", "ソ", "表", "あ", "日", "ｱ", ".", "^", "$",
    "\\n", "\\r", "\\t", "\\x41", "\\x8341", "[ab]", "[^a]", "[^\\n]", "[\\x01-\\x20]", "[ア-ソ]", "[a-cA]",
    "[^ア-ソb]", "[ー\\\\]", "[\\t-\\r]", "[^ ]", "[0-9]"};

// Pieces whose runs go on over line ends: line feeds, ranges that hold them, and the codes a lead
// byte makes with the line end after it.
inline const std::vector<std::string> kCrossAtoms = {
    "\\n", "\\x0A", "[\\x01-\\x20]", "[\\t-\\r]", "(.|\\n)", "[\\x01-\\x7f]", "([^a]|\\n)", "[\\x0a-\\x8341]",
    "\\x830A", "\\x830D", "[\\x8300-\\x83ff]", "(\\n|\\r)"};

inline std::string RandomPattern(Rng& rng, const std::vector<std::string>& atoms, int depth = 0) {
  std::string pattern;
  const std::size_t branches = Chance(rng, 25) ? 2 + Pick(rng, 2) : 1;
  for (std::size_t b = 0; b < branches; ++b) {
    if (b > 0) pattern += "|";
    const std::size_t pieces = 1 + Pick(rng, 4);
    for (std::size_t i = 0; i < pieces; ++i) {
      if (depth < 2 && Chance(rng, 12))
        pattern += "(" + RandomPattern(rng, atoms, depth + 1) + ")";
      else
        pattern += PickOf(rng, atoms);
      if (Chance(rng, 20)) pattern += "*+?"[Pick(rng, 3)];
    }
  }
  return pattern;
}

inline std::string RandomPattern(Rng& rng) { return RandomPattern(rng, kAtoms); }

// A pattern with at least one piece that crosses line ends, mostly under a closure.
inline std::string RandomCrossLinePattern(Rng& rng) {
  std::vector<std::string> atoms = kAtoms;
  atoms.insert(atoms.end(), kCrossAtoms.begin(), kCrossAtoms.end());
  std::string cross = "(" + PickOf(rng, kCrossAtoms) + ")";
  if (Chance(rng, 70)) cross += "*+?"[Pick(rng, 3)];
  std::string before = Chance(rng, 70) ? RandomPattern(rng, atoms, 1) : "";
  std::string after = Chance(rng, 70) ? RandomPattern(rng, atoms, 1) : "";
  if (!before.empty()) before = "(" + before + ")";
  if (!after.empty()) after = "(" + after + ")";
  std::string pattern = before + cross + after;
  if (Chance(rng, 20)) pattern += "|" + RandomPattern(rng, atoms, 1);
  if (Chance(rng, 10)) pattern = "^" + pattern;
  if (Chance(rng, 10)) pattern += "$";
  return pattern;
}

inline std::string Printable(const std::string& bytes) {
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

// A grep with a small synonym dictionary attached, writing each text to one temporary file.
class DiffGrep {
 public:
  DiffGrep() : dir_(std::filesystem::temp_directory_path() / ("tarn-diff-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(dir_);
    synonyms_ = ParseSynonymDic(tarn::SystemText("ア,a,表\nbc,日,ー\n"));
    grep_.SynonymDicList().push_back(&synonyms_);
  }
  ~DiffGrep() { std::filesystem::remove_all(dir_); }
  DiffGrep(const DiffGrep&) = delete;
  DiffGrep& operator=(const DiffGrep&) = delete;

  // Loads a pattern; false when it does not compile.
  bool Set(const std::string& utf8_pattern, bool fuzzy, bool synonyms) {
    try {
      grep_.SetUseFuzzyCharDic(fuzzy);
      grep_.SetUseSynonymDic(synonyms);
      grep_.SetRegExp(tarn::SystemText(utf8_pattern));
      return true;
    } catch (const ERegExpParser&) {
      return false;
    }
  }
  bool Fast() const { return grep_.UsesFastScan(); }
  TGrep& Grep() { return grep_; }

  std::string Write(const std::string& bytes) const {
    const std::string path = (dir_ / "t.txt").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    return path;
  }

  // if_text: the file goes through the text test first, IsTextFile for the reference and
  // GrepIfText otherwise; a binary file gives "binary".
  std::string Run(const std::string& bytes, std::size_t block_size, bool reference, bool if_text = false) {
    const std::string path = Write(bytes);
    std::string out;
    grep_.OnMatch = [&](TGrep&, RE_LineInfo_t info) { out += std::to_string(info.LineNo) + ":" + info.Line + "|"; };
    grep_.BlockSize = block_size;
    grep_.ForceReferenceScan = reference;
    if (if_text && !reference) return grep_.GrepIfText(path) ? out : "binary";
    if (if_text && !IsTextFile(path)) return "binary";
    grep_.Grep(path);
    return out;
  }

 private:
  std::filesystem::path dir_;
  TREDictionary synonyms_;
  TGrep grep_;
};

}  // namespace tarn::pattern::testing

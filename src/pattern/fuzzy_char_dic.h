// The built-in fuzzy-character dictionary: 145 groups of characters and short sequences that a
// search with the fuzzy switch on treats as the same (width, case, kana forms, voicing marks,
// numerals, look-alike punctuation).
#pragma once

#include <string>
#include <vector>

namespace tarn::pattern {

// A group of words (CP932 byte strings) that stand for one another, in the order written.
using RE_WordGroup = std::vector<std::string>;
// A dictionary: groups in the order they are tried.
using RE_Dictionary = std::vector<RE_WordGroup>;

// Number of rows of the table.
inline constexpr std::size_t kFuzzyCharRowCount = 145;

// The one dictionary of the program, built from the table on first use and shared by every
// matching component for the rest of the run. Never modified after it is built.
const RE_Dictionary& FuzzyCharDic();

// Splits one dictionary line into its words: words are separated by commas or bytes 0x01-0x20,
// a quoted word may hold both, and empty words are kept (a trailing comma adds one).
RE_WordGroup SplitDictionaryLine(const std::string& line);

}  // namespace tarn::pattern

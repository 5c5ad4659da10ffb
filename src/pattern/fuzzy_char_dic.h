// The built-in fuzzy-character dictionary: 145 groups of characters and short sequences that a
// search with the fuzzy switch on treats as the same (width, case, kana forms, voicing marks,
// numerals, look-alike punctuation).
#pragma once

#include <cstddef>
#include <string>

#include "pattern/pre_processor.h"

namespace tarn::pattern {

// Number of rows of the table.
inline constexpr std::size_t kFuzzyCharRowCount = 145;

// The one dictionary of the program, built from the table on first use and shared by every
// matching component for the rest of the run. Never modified after it is built.
const TREDictionary& FuzzyCharDic();

// Splits one dictionary line into its words: words are separated by commas or bytes 0x01-0x20,
// a quoted word may hold both, and empty words are kept (a trailing comma adds one).
TREDicGroup SplitDictionaryLine(const std::string& line);

}  // namespace tarn::pattern

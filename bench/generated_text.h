// Shift-JIS text for the benchmarks when no corpus file is given: lines of random words.
#pragma once

#include <cstddef>
#include <random>
#include <span>
#include <string>

#include "core/system_text.h"

namespace tarn::bench {

// CR LF lines of min_words to min_words + spread - 1 words from words (UTF-8), until size bytes.
inline std::string GeneratedText(std::span<const char* const> words, unsigned seed, std::size_t size, int min_words,
                                 int spread) {
  std::mt19937 rng(seed);
  std::string text;
  while (text.size() < size) {
    const int n = min_words + static_cast<int>(rng() % static_cast<unsigned>(spread));
    for (int i = 0; i < n; ++i) text += SystemText(words[rng() % words.size()]) + (rng() % 3 ? " " : "");
    text += "\r\n";
  }
  return text;
}

}  // namespace tarn::bench

// The hits of a result line after the one its record keeps: the record names only the first, so
// the result view and the HTML form find the others again with the run's matcher.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "pattern/regular_expression.h"

namespace tarn::search {

struct TLineHit {
  std::size_t Start = 0;  // 0-based byte of the line
  std::size_t Length = 0;
};

// The hits that follow the recorded one (0-based start, length) in line, each the longest match
// at the leftmost place after the previous hit, as the search would find them one after another.
// Only hits starting before `until` are looked for, and only bytes up to a little past it are
// read, so that the cost follows the part of a line that is shown, not the line. Nothing when
// the matcher does not give the recorded hit itself (a result searched with another pattern),
// or when the recorded hit is empty.
std::vector<TLineHit> LaterHits(const pattern::TAWKStr& matcher, std::string_view line, std::size_t first_start,
                                std::size_t first_length, std::size_t until);

// Every hit of a whole line of a file (not a result row), one after another from its start, as
// far as hits starting before `until`; only bytes up to a little past it are read.
std::vector<TLineHit> LineHits(const pattern::TAWKStr& matcher, std::string_view line, std::size_t until);

}  // namespace tarn::search

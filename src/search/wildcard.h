// The file finder's name patterns: "*" stands for any run of characters (none included), "?" for
// exactly one character, ASCII letter case is ignored, a double-byte character is one character,
// and a pattern ending in ".*" also matches names without that extension, so "*.*" matches
// every name.
#pragma once

#include <string_view>
#include <vector>

#include "core/sjis.h"

namespace tarn::search {

// Both texts are CP932. An empty pattern matches nothing.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

// The same for one pattern and many names: the pattern is read once, and the names share one
// buffer.
class Wildcard {
 public:
  explicit Wildcard(std::string_view pattern);
  bool Matches(std::string_view name);

 private:
  std::vector<RE_Char_t> pattern_;
  std::vector<RE_Char_t> name_;
};

}  // namespace tarn::search

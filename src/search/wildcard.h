// The file finder's name patterns: "*" stands for any run of characters (none included), "?" for
// exactly one character, ASCII letter case is ignored, a double-byte character is one character,
// and a pattern ending in ".*" also matches names without that extension, so "*.*" matches
// every name.
#pragma once

#include <string_view>

namespace tarn::search {

// Both texts are CP932. An empty pattern matches nothing.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

}  // namespace tarn::search

#include "search/wildcard.h"

namespace tarn::search {
namespace {

// Character codes of a text with ASCII letters folded to lower case.
void FoldCodes(std::string_view text, std::vector<RE_Char_t>& codes) {
  codes.clear();
  for (std::size_t i = 0; i < text.size(); i += CharLengthAt(text, i)) {
    RE_Char_t c = CharCodeAt(text, i);
    if (c >= 'A' && c <= 'Z') c = static_cast<RE_Char_t>(c + ('a' - 'A'));
    codes.push_back(c);
  }
}

// Greedy match with one backtrack point per "*": linear in practice, never exponential.
bool Match(const std::vector<RE_Char_t>& pattern, std::size_t pattern_end, const std::vector<RE_Char_t>& name) {
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::string_view::npos;
  std::size_t star_name = 0;
  while (n < name.size()) {
    if (p < pattern_end && (pattern[p] == '?' || (pattern[p] != '*' && pattern[p] == name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern_end && pattern[p] == '*') {
      star = p++;
      star_name = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++star_name;
    } else {
      return false;
    }
  }
  while (p < pattern_end && pattern[p] == '*') ++p;
  return p == pattern_end;
}

}  // namespace

bool MatchesWildcard(std::string_view pattern, std::string_view name) { return Wildcard(pattern).Matches(name); }

Wildcard::Wildcard(std::string_view pattern) { FoldCodes(pattern, pattern_); }

bool Wildcard::Matches(std::string_view name) {
  if (pattern_.empty()) return false;
  FoldCodes(name, name_);
  if (Match(pattern_, pattern_.size(), name_)) return true;
  const std::size_t size = pattern_.size();
  return size >= 2 && pattern_[size - 2] == '.' && pattern_[size - 1] == '*' && Match(pattern_, size - 2, name_);
}

}  // namespace tarn::search

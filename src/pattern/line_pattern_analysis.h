// What the fast file scan needs to know about a compiled pattern: whether every match stays
// inside one line (so that lines can be searched one by one), and a string of bytes that every
// match must contain (so that lines without it can be skipped with a memchr-speed search).
#pragma once

#include <string>
#include <vector>

#include "pattern/dfa.h"

namespace tarn::pattern {

// True when no run of the automaton can go on after reading a line feed, other than by the
// first character of the match: "^" can only begin a match and "$" only end it.
bool MatchesStayInLine(const TRE_DFA& dfa);

// The bytes of a run of characters that every match holds, chosen to be long and rare; empty
// when the analysis finds none (or the automaton is too large to analyse cheaply).
std::string RequiredBytes(const TRE_DFA& dfa);

// The characters a match can begin with, as their bytes (one or two each). Empty when there are
// more than max_count or one of them is a line end.
std::vector<std::string> FirstCharacters(const TRE_DFA& dfa, std::size_t max_count);

// A few bytes one of which every match holds: for each character a match can begin with, its
// rarer byte. Empty when there are more than max_bytes or a match can begin with a line end.
std::string FirstCharacterBytes(const TRE_DFA& dfa, std::size_t max_bytes);

// The bytes K when the pattern is a line start followed by the plain characters K: every match
// is then a line that begins with K's bytes. Empty for every other pattern, and when a
// character of K could not be told by its bytes alone (a lone lead byte, a pair whose first
// byte is no lead byte, a line end, a NUL).
std::string LineStartLiteral(const TRE_DFA& dfa);

}  // namespace tarn::pattern

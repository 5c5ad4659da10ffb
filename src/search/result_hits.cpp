#include "search/result_hits.h"

#include <algorithm>
#include <string>

#include "core/sjis.h"
#include "pattern/scanner.h"

namespace tarn::search {
namespace {

// How far past `until` a hit that starts before it is followed.
constexpr std::size_t kHitTail = 256;

}  // namespace

std::vector<TLineHit> LaterHits(const pattern::TAWKStr& matcher, std::string_view line, std::size_t first_start,
                                std::size_t first_length, std::size_t until) {
  std::vector<TLineHit> hits;
  if (first_length == 0 || first_start >= line.size() || first_start >= until) return hits;
  // The matcher reads NUL-terminated text: a copy of the stretch that matters, from the recorded
  // hit on. A line holding a NUL byte is searched only up to it, as the run did.
  const std::size_t end = std::min(line.size(), until + kHitTail);
  if (end <= first_start) return hits;
  std::string text(line.substr(first_start, end - first_start));
  text.resize(std::min(text.size(), text.find('\0')));
  const char* const s = text.c_str();
  const pattern::RE_DFAState initial = matcher.CurrentDFA().InitialState();
  const bool line_head = matcher.UsesLineHead();
  const auto match_at = [&](const char* p) -> const char* {
    return line_head && p[-1] == '\n' ? matcher.MatchAtLineHead(p, initial) : matcher.MatchAt(p, initial);
  };
  // The record's own hit: a row searched with another pattern gets no more than it. The line
  // head of the hit's line is unknown here (a row starts with its file and line number).
  const char* first_end = line_head ? matcher.MatchAtLineHead(s, initial) : matcher.MatchAt(s, initial);
  if (first_end == nullptr || static_cast<std::size_t>(first_end - s) != first_length) return hits;
  const std::size_t limit = until - first_start;
  // A literal needs no automaton: its next occurrence that starts a character.
  if (matcher.IsLiteral() && !matcher.UsesLineHead() && !matcher.UsesLineTail() && !matcher.LiteralText().empty()) {
    const std::string_view literal = matcher.LiteralText();
    const std::string_view t(text);
    std::size_t q = first_length;  // a character boundary
    while (q < limit) {
      const std::size_t f = t.find(literal, q);
      if (f == std::string_view::npos || f >= limit) break;
      while (q < f) q += CharLengthAt(t, q);
      if (q != f) continue;  // inside a double-byte character: on from the next one
      hits.push_back({first_start + f, literal.size()});
      q = f + literal.size();
    }
    return hits;
  }
  const char* p = s + first_length;
  while (*p != 0 && static_cast<std::size_t>(p - s) < limit) {
    const char* r = match_at(p);
    if (r != nullptr && r > p) {
      hits.push_back({first_start + static_cast<std::size_t>(p - s), static_cast<std::size_t>(r - p)});
      p = r;
      continue;
    }
    pattern::RENextSubjectChar(p);
  }
  return hits;
}

std::vector<TLineHit> LineHits(const pattern::TAWKStr& matcher, std::string_view line, std::size_t until) {
  std::vector<TLineHit> hits;
  const std::string text(line.substr(0, std::min(line.size(), until + kHitTail)));
  std::size_t from = 0;
  while (from < text.size() || (from == 0 && text.empty())) {
    int start = 0;
    int length = 0;
    if (matcher.Match(text, from, start, length) == 0 || start < 1) break;
    const auto at = static_cast<std::size_t>(start - 1);
    if (at >= until) break;
    if (length > 0) {
      hits.push_back({at, static_cast<std::size_t>(length)});
      from = at + static_cast<std::size_t>(length);
    } else {
      if (at >= text.size()) break;
      from = at + CharLengthAt(text, at);
    }
  }
  return hits;
}

}  // namespace tarn::search

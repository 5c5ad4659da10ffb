// Compiles random patterns and matches them on random subjects. Besides crashes, hangs and
// sanitizer reports it checks the automaton against a direct simulation of the NFA: the DFA must
// accept exactly the prefixes the NFA accepts (with both anchor symbol sets), and a search
// without anchors must find the leftmost-longest match.
//
// Input: byte 0 = flags, byte 1 = pattern length n, then n pattern bytes, then the subject.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "pattern/regular_expression.h"

namespace {

using namespace tarn::pattern;

class NfaSimulation {
 public:
  explicit NfaSimulation(const TRE_NFA& nfa) : nfa_(nfa), mark_(nfa.StateList().size(), 0) {}

  std::vector<std::uint32_t> Start() { return Close({nfa_.EntryState}); }
  std::vector<std::uint32_t> Step(const std::vector<std::uint32_t>& set, RE_Char_t ch) {
    std::vector<std::uint32_t> next;
    for (const std::uint32_t s : set)
      for (const auto& t : nfa_.StateList()[s])
        if (!(t.Low == kEmptyMoveSymbol && t.High == kEmptyMoveSymbol) && t.Low <= ch && ch <= t.High)
          next.push_back(t.Target);
    return Close(std::move(next));
  }
  bool Accepts(const std::vector<std::uint32_t>& set) const {
    for (const std::uint32_t s : set)
      if (s == nfa_.FinalState) return true;
    return false;
  }

 private:
  std::vector<std::uint32_t> Close(std::vector<std::uint32_t> set) {
    ++generation_;
    std::vector<std::uint32_t> out;
    while (!set.empty()) {
      const std::uint32_t s = set.back();
      set.pop_back();
      if (mark_[s] == generation_) continue;
      mark_[s] = generation_;
      out.push_back(s);
      for (const auto& t : nfa_.StateList()[s])
        if (t.Low == kEmptyMoveSymbol && t.High == kEmptyMoveSymbol) set.push_back(t.Target);
    }
    return out;
  }
  const TRE_NFA& nfa_;
  std::vector<std::uint32_t> mark_;
  std::uint32_t generation_ = 0;
};

std::vector<RE_Char_t> Codes(const char* s) {
  std::vector<RE_Char_t> codes;
  while (RE_Char_t c = RENextSubjectChar(s)) codes.push_back(c);
  return codes;
}

// Compares DFA and NFA on every prefix of the subject, also when anchors are real characters.
void CheckAgainstNfa(const std::string& pattern, const std::vector<RE_Char_t>& codes, RE_Char_t head,
                     RE_Char_t tail) {
  TREParser parser(pattern);
  parser.Parse();
  TRE_NFA nfa(parser, tail, head);
  nfa.Build();
  TRE_DFA dfa(nfa);
  try {
    dfa.Build();
  } catch (const ERegExpParser&) {
    return;  // too complex: refused, fine
  }
  NfaSimulation sim(nfa);
  auto set = sim.Start();
  RE_DFAState state = dfa.InitialState();
  for (std::size_t i = 0;; ++i) {
    if (sim.Accepts(set) != dfa.Accepting(state)) std::abort();
    // The DFA may keep a dead state where the NFA set is empty, never the reverse.
    if (!set.empty() && state == kNoState) std::abort();
    if (i == codes.size()) break;
    set = sim.Step(set, codes[i]);
    state = dfa.NextState(state, codes[i]);
  }
}

// Reference leftmost-longest search by NFA simulation (for patterns without anchors).
std::pair<int, int> ReferenceSearch(const std::string& pattern, const std::string& subject) {
  TREParser parser(pattern);
  parser.Parse();
  TRE_NFA nfa(parser, 0xFFFE, 0xFFFD);
  nfa.Build();
  NfaSimulation sim(nfa);
  const char* s = subject.c_str();
  for (const char* p = s;;) {
    auto set = sim.Start();
    const char* cursor = p;
    const char* end = nullptr;
    while (!set.empty()) {
      if (sim.Accepts(set)) end = cursor;
      const RE_Char_t c = RENextSubjectChar(cursor);
      if (c == 0) break;
      set = sim.Step(set, c);
    }
    if (end != nullptr) return {static_cast<int>(p - s) + 1, static_cast<int>(end - p)};
    if (*p == 0) break;
    RENextSubjectChar(p);
    if (*p == 0 && p != s) break;  // the end of a non-empty subject is no start position
  }
  return {0, 0};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t flags = data[0];
  const std::size_t n = std::min<std::size_t>(data[1], size - 2);
  const std::string pattern(reinterpret_cast<const char*>(data + 2), n);
  const std::string subject(reinterpret_cast<const char*>(data + 2 + n), size - 2 - n);

  TAWKStr awk;
  awk.SetLineSeparator((flags & 1) ? mcls_LF : mcls_CRLF);
  try {
    awk.SetRegExp(pattern);
  } catch (const ERegExpParser&) {
    if (awk.CurrentIndex() != 0 || !awk.RegExp().empty()) std::abort();
  }
  int start = -1, length = -1;
  const int result = awk.Match(subject, start, length);
  const std::size_t limit = subject.find('\0') == std::string::npos ? subject.size() : subject.find('\0');
  if (result != start || start < 0 || length < 0) std::abort();
  if (start == 0 && length != 0) std::abort();
  if (start > 0 && static_cast<std::size_t>(start - 1 + length) > limit) std::abort();

  if (awk.CurrentIndex() == 0 && !pattern.empty()) return 0;  // malformed or too complex
  const auto codes = Codes(subject.c_str());
  CheckAgainstNfa(pattern, codes, 0xFFFD, 0xFFFE);
  CheckAgainstNfa(pattern, codes, 10, 10);
  if (!awk.UsesLineHead() && !awk.UsesLineTail()) {
    if (ReferenceSearch(pattern, subject) != std::make_pair(start, length)) std::abort();
  }
  return 0;
}

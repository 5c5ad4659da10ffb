#include "pattern/line_pattern_analysis.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/sjis.h"

namespace tarn::pattern {
namespace {

constexpr std::size_t kMaxAnalysedStates = 512;

// The states a run can be in after at least one character, before it accepts.
std::vector<bool> Reachable(const TRE_DFA& dfa) {
  std::vector<bool> seen(dfa.StateCount(), false);
  std::vector<RE_DFAState> todo{dfa.InitialState()};
  bool first = true;
  while (!todo.empty()) {
    const RE_DFAState state = todo.back();
    todo.pop_back();
    if (!first && dfa.Accepting(state)) continue;
    first = false;
    for (const auto& move : dfa.Transitions(state)) {
      if (move.Target < seen.size() && !seen[move.Target]) {
        seen[move.Target] = true;
        todo.push_back(move.Target);
      }
    }
  }
  return seen;
}

// Whether an accepting state can be reached from the initial state without passing the state
// avoided and without using a move whose single code is the code avoided.
bool CanAccept(const TRE_DFA& dfa, RE_DFAState avoided_state, int avoided_code) {
  std::vector<bool> seen(dfa.StateCount(), false);
  std::vector<RE_DFAState> todo{dfa.InitialState()};
  seen[dfa.InitialState()] = true;
  bool first = true;
  while (!todo.empty()) {
    const RE_DFAState state = todo.back();
    todo.pop_back();
    if (!first && dfa.Accepting(state)) return true;
    first = false;
    for (const auto& move : dfa.Transitions(state)) {
      if (move.Low == move.High && move.Low == avoided_code) continue;
      if (move.Target == avoided_state || move.Target >= seen.size() || seen[move.Target]) continue;
      seen[move.Target] = true;
      todo.push_back(move.Target);
    }
  }
  return false;
}

// States on some path from the initial state to acceptance. The initial state counts even when
// accepting: a run starts there and stops only at an accepting state it moves into.
std::vector<bool> LiveStates(const TRE_DFA& dfa, const std::vector<bool>& reachable) {
  const std::size_t n = dfa.StateCount();
  auto expandable = [&](RE_DFAState s) {
    return s == dfa.InitialState() || (reachable[s] && !dfa.Accepting(s));
  };
  std::vector<bool> live(n, false);
  for (RE_DFAState s = 0; s < n; ++s) {
    if (!expandable(s)) continue;
    for (const auto& move : dfa.Transitions(s))
      if (dfa.Accepting(move.Target)) live[s] = true;
  }
  for (bool changed = true; changed;) {
    changed = false;
    for (RE_DFAState s = 0; s < n; ++s) {
      if (live[s] || !expandable(s)) continue;
      for (const auto& move : dfa.Transitions(s))
        if (move.Target < n && live[move.Target]) {
          live[s] = changed = true;
          break;
        }
    }
  }
  return live;
}

// How common a byte is in Shift-JIS text with English in it: higher is more common.
int Commonness(unsigned char b) {
  static constexpr char kLetters[] = "etaoinshrdlcumwfgypbvkjxqz";
  if (b == ' ') return 300;
  if (b >= 0x81 && b <= 0x83) return 290;
  if (b >= 'a' && b <= 'z') return 280 - static_cast<int>(std::strchr(kLetters, b) - kLetters) * 4;
  if (b >= 'A' && b <= 'Z') return 120;
  if (IsLeadByte(b)) return 150;
  if (b >= '0' && b <= '9') return 110;
  if (b < 0x80) return 100;
  return 60;
}

int Rarity(const std::string& bytes) {
  int best = 0;
  for (const char c : bytes) best = std::max(best, 400 - Commonness(static_cast<unsigned char>(c)));
  return best + static_cast<int>(bytes.size()) * 40;
}

void AppendCode(std::string& bytes, RE_Char_t code) {
  if (code > 0xFF) bytes += static_cast<char>(code >> 8);
  bytes += static_cast<char>(code & 0xFF);
}

}  // namespace

bool MatchesStayInLine(const TRE_DFA& dfa) {
  const std::vector<bool> reachable = Reachable(dfa);
  for (RE_DFAState state = 0; state < reachable.size(); ++state) {
    if (!reachable[state] || dfa.Accepting(state)) continue;
    const RE_DFAState next = dfa.NextState(state, 10);
    if (next != kNoState && !dfa.Accepting(next)) return false;
  }
  return true;
}

std::string RequiredBytes(const TRE_DFA& dfa) {
  const std::size_t n = dfa.StateCount();
  if (n == 0 || n > kMaxAnalysedStates || !CanAccept(dfa, kNoState, -1)) return {};
  const std::vector<bool> reachable = Reachable(dfa);
  const std::vector<bool> live = LiveStates(dfa, reachable);
  // A state every accepting run passes, whose only way on towards acceptance is one code.
  auto single_exit = [&](RE_DFAState s, RE_DFAState& target) -> int {
    int code = -1;
    for (const auto& move : dfa.Transitions(s)) {
      if (!(dfa.Accepting(move.Target) || (move.Target < n && live[move.Target]))) continue;
      if (code >= 0 || move.Low != move.High) return -1;
      code = move.Low;
      target = move.Target;
    }
    return code;
  };
  std::vector<bool> dominates(n, false);
  for (RE_DFAState s = 0; s < n; ++s)
    dominates[s] = live[s] && (s == dfa.InitialState() || !CanAccept(dfa, s, -1));

  std::string best;
  auto consider = [&](const std::string& bytes) {
    if (!bytes.empty() && (best.empty() || Rarity(bytes) > Rarity(best))) best = bytes;
  };
  for (RE_DFAState s = 0; s < n; ++s) {
    if (!dominates[s]) continue;
    std::string bytes;
    RE_DFAState state = s;
    for (std::size_t steps = 0; steps < n; ++steps) {
      RE_DFAState target = kNoState;
      const int code = single_exit(state, target);
      if (code < 0 || code == 10 || code == 13 || code == 0) break;
      AppendCode(bytes, static_cast<RE_Char_t>(code));
      if (dfa.Accepting(target)) break;
      state = target;
    }
    consider(bytes);
  }
  // The characters every accepting run ends with: walk back from the accepting states while
  // every move into the states reached so far reads one and the same code.
  {
    std::vector<bool> here(n, false);
    for (RE_DFAState t = 0; t < n; ++t) here[t] = dfa.Accepting(t);
    std::vector<RE_Char_t> suffix;
    for (std::size_t steps = 0; steps < n; ++steps) {
      int code = -1;
      bool single = true;
      std::vector<bool> sources(n, false);
      for (RE_DFAState from = 0; from < n && single; ++from) {
        if (!live[from]) continue;
        for (const auto& move : dfa.Transitions(from)) {
          if (move.Target >= n || !here[move.Target]) continue;
          if (move.Low != move.High || (code >= 0 && move.Low != code)) {
            single = false;
            break;
          }
          code = move.Low;
          sources[from] = true;
        }
      }
      if (!single || code < 0) break;
      if (code == 10 || code == 13 || code == 0) {
        if (!suffix.empty()) break;  // a line end before the suffix: what follows is enough
      } else {
        suffix.push_back(static_cast<RE_Char_t>(code));
      }
      // A run may start in the initial state: nothing before it is required.
      if (sources[dfa.InitialState()]) break;
      here = std::move(sources);
    }
    std::string bytes;
    for (auto it = suffix.rbegin(); it != suffix.rend(); ++it) AppendCode(bytes, *it);
    consider(bytes);
  }
  // Single codes that no accepting run can do without, wherever they stand.
  std::vector<int> codes;
  for (RE_DFAState s = 0; s < n; ++s) {
    if (!live[s]) continue;
    for (const auto& move : dfa.Transitions(s))
      if (move.Low == move.High && move.Low != 10 && move.Low != 13 && move.Low != 0) codes.push_back(move.Low);
  }
  std::sort(codes.begin(), codes.end());
  codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
  for (const int code : codes) {
    if (codes.size() > 64) break;
    if (CanAccept(dfa, kNoState, code)) continue;
    std::string bytes;
    AppendCode(bytes, static_cast<RE_Char_t>(code));
    consider(bytes);
  }
  return best;
}

std::vector<std::string> FirstCharacters(const TRE_DFA& dfa, std::size_t max_count) {
  const std::size_t n = dfa.StateCount();
  if (n == 0 || n > kMaxAnalysedStates) return {};
  const std::vector<bool> live = LiveStates(dfa, Reachable(dfa));
  std::vector<std::string> chars;
  for (const auto& move : dfa.Transitions(dfa.InitialState())) {
    if (!(dfa.Accepting(move.Target) || (move.Target < n && live[move.Target]))) continue;
    if (static_cast<std::size_t>(move.High - move.Low) >= max_count) return {};
    for (unsigned code = move.Low; code <= move.High; ++code) {
      // A line end, or a character made of a lead byte and a line end (as the scan reads a
      // broken line end): the line counting of a prefilter cannot look for it.
      const unsigned low = code & 0xFF;
      if (code == 0 || low == 10 || low == 13) return {};
      std::string bytes;
      if (code > 0xFF) bytes += static_cast<char>(code >> 8);
      bytes += static_cast<char>(code & 0xFF);
      chars.push_back(std::move(bytes));
      if (chars.size() > max_count) return {};
    }
  }
  return chars;
}

std::string FirstCharacterBytes(const TRE_DFA& dfa, std::size_t max_bytes) {
  std::string bytes;
  for (const std::string& ch : FirstCharacters(dfa, 64)) {
    // The rarer byte of the character: usually the trail byte of a double-byte one.
    auto byte = static_cast<unsigned char>(ch.back());
    if (ch.size() == 2 && Commonness(static_cast<unsigned char>(ch[0])) < Commonness(byte))
      byte = static_cast<unsigned char>(ch[0]);
    if (bytes.find(static_cast<char>(byte)) == std::string::npos) bytes += static_cast<char>(byte);
    if (bytes.size() > max_bytes) return {};
  }
  return bytes;
}

std::string LineStartLiteral(const TRE_DFA& dfa) {
  RE_DFAState state = dfa.InitialState();
  std::string bytes;
  for (std::size_t steps = 0; steps <= dfa.StateCount(); ++steps) {
    if (dfa.Accepting(state)) return steps > 1 ? bytes : std::string();
    const auto moves = dfa.Transitions(state);
    if (moves.size() != 1 || moves[0].Low != moves[0].High) return {};
    const RE_Char_t code = moves[0].Low;
    if (steps == 0) {
      if (code != 10) return {};
    } else if (code <= 0xFF) {
      if (code == 0 || code == 10 || code == 13 || IsLeadByte(static_cast<char>(code))) return {};
      bytes += static_cast<char>(code);
    } else {
      const auto lead = static_cast<char>(code >> 8);
      const auto trail = static_cast<char>(code & 0xFF);
      if (!IsLeadByte(lead) || trail == 0 || trail == 10 || trail == 13) return {};
      bytes += lead;
      bytes += trail;
    }
    state = moves[0].Target;
  }
  return {};
}

}  // namespace tarn::pattern

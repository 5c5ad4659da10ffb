#include "pattern/dfa.h"

#include <algorithm>
#include <unordered_map>

#include "core/system_text.h"

namespace tarn::pattern {

namespace {

struct SetHash {
  std::size_t operator()(const std::vector<std::uint32_t>& set) const noexcept {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (const std::uint32_t s : set) h = (h ^ s) * 0x100000001b3ull;
    return static_cast<std::size_t>(h ^ (h >> 29));
  }
};

struct Label {
  std::uint32_t Low;
  std::uint32_t High;
  std::uint32_t Target;
};

[[noreturn]] void RaiseTooComplex() { throw ERegExpParser(SystemText("正規表現が複雑すぎます"), 1); }

}  // namespace

void TRE_DFA::Build() {
  const TRE_NFA& nfa = *NFA_;
  const auto& chains = nfa.StateList();
  States_.clear();
  Transitions_.clear();
  UsesLineHead_ = nfa.UsesLineHead;
  UsesLineTail_ = nfa.UsesLineTail;

  TRE_NFAStateSet seen(chains.size());
  std::vector<std::uint32_t> stack;
  // Closes `set` over empty moves; the result is sorted, which makes equal sets equal vectors.
  auto close = [&](std::vector<std::uint32_t>& set) {
    std::size_t kept = 0;
    for (const std::uint32_t s : set) {
      if (seen.Contains(s)) continue;
      seen.Include(s);
      set[kept++] = s;
    }
    set.resize(kept);
    stack.assign(set.begin(), set.end());
    while (!stack.empty()) {
      const std::uint32_t s = stack.back();
      stack.pop_back();
      for (const RE_NFATransition_t& t : chains[s]) {
        if (t.Low != kEmptyMoveSymbol || t.High != kEmptyMoveSymbol || seen.Contains(t.Target)) continue;
        seen.Include(t.Target);
        set.push_back(t.Target);
        stack.push_back(t.Target);
      }
    }
    for (const std::uint32_t s : set) seen.Exclude(s);
    std::sort(set.begin(), set.end());
  };

  std::unordered_map<std::vector<std::uint32_t>, RE_DFAState, SetHash> registry;
  std::vector<const std::vector<std::uint32_t>*> sets;  // by state; keys of registry are stable
  std::size_t cells = 0;
  auto registerSet = [&](std::vector<std::uint32_t>&& set) -> RE_DFAState {
    const auto found = registry.find(set);
    if (found != registry.end()) return found->second;
    cells += set.size();
    if (States_.size() >= kMaxDFAStates || cells > kMaxDFABuildCells) RaiseTooComplex();
    const auto state = static_cast<RE_DFAState>(States_.size());
    const bool accepting = std::binary_search(set.begin(), set.end(), nfa.FinalState);
    const auto inserted = registry.emplace(std::move(set), state).first;
    sets.push_back(&inserted->first);
    States_.push_back(StateRecord{0, 0, accepting});
    return state;
  };

  std::vector<std::uint32_t> initial{nfa.EntryState};
  close(initial);
  registerSet(std::move(initial));

  std::vector<Label> labels;
  std::vector<std::uint32_t> points;
  std::vector<std::vector<std::uint32_t>> buckets;
  std::unordered_map<std::vector<std::uint32_t>, RE_DFAState, SetHash> known;  // per state
  for (std::size_t current = 0; current < States_.size(); ++current) {
    labels.clear();
    for (const std::uint32_t s : *sets[current])
      for (const RE_NFATransition_t& t : chains[s])
        if (t.Low != kEmptyMoveSymbol || t.High != kEmptyMoveSymbol) labels.push_back({t.Low, t.High, t.Target});
    States_[current].First = static_cast<std::uint32_t>(Transitions_.size());
    if (labels.empty()) continue;

    // Cut the labels into disjoint pieces; each piece moves to the closure of every target whose
    // label covers it. So an anchor that is a real character (the file grep's line feed) and a
    // pattern range holding it both take effect.
    points.clear();
    for (const Label& l : labels) {
      points.push_back(l.Low);
      points.push_back(l.High + 1);
    }
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    if (buckets.size() < points.size()) buckets.resize(points.size());
    for (std::size_t i = 0; i + 1 < points.size(); ++i) buckets[i].clear();
    for (const Label& l : labels) {
      const auto first = std::lower_bound(points.begin(), points.end(), l.Low) - points.begin();
      const auto last = std::lower_bound(points.begin(), points.end(), l.High + 1) - points.begin();
      for (auto i = first; i < last; ++i) buckets[static_cast<std::size_t>(i)].push_back(l.Target);
    }
    known.clear();
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
      if (buckets[i].empty()) continue;
      // The pieces of one class ("." has three) usually lead to the same targets: close once.
      std::sort(buckets[i].begin(), buckets[i].end());
      RE_DFAState target = kNoState;
      if (const auto hit = known.find(buckets[i]); hit != known.end()) {
        target = hit->second;
      } else {
        std::vector<std::uint32_t> set = buckets[i];
        close(set);
        target = registerSet(std::move(set));
        known.emplace(buckets[i], target);
      }
      const auto low = static_cast<RE_Char_t>(points[i]);
      const auto high = static_cast<RE_Char_t>(points[i + 1] - 1);
      const std::uint32_t first = States_[current].First;
      if (Transitions_.size() > first && Transitions_.back().Target == target &&
          std::uint32_t{Transitions_.back().High} + 1 == low) {
        Transitions_.back().High = high;
      } else {
        Transitions_.push_back({low, high, target});
        if (++cells > kMaxDFABuildCells) RaiseTooComplex();
      }
    }
    States_[current].Count = static_cast<std::uint32_t>(Transitions_.size() - States_[current].First);
  }
  Transitions_.shrink_to_fit();
  NFA_ = nullptr;
  RunLiteralTest();
}

void TRE_DFA::RunLiteralTest() {
  IsLiteral_ = false;
  LiteralText_.clear();
  std::vector<bool> met(States_.size(), false);
  RE_DFAState state = InitialState();
  while (!met[state]) {
    met[state] = true;
    const auto moves = Transitions(state);
    if (moves.empty()) {
      // A state without moves that does not accept matches nothing: no literal.
      IsLiteral_ = Accepting(state);
      break;
    }
    if (moves.size() > 1 || moves[0].Low != moves[0].High || Accepting(state)) break;
    LiteralText_ += RECharToText(moves[0].Low);
    state = moves[0].Target;
  }
  if (!IsLiteral_) LiteralText_.clear();
}

}  // namespace tarn::pattern

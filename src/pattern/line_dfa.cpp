#include "pattern/line_dfa.h"

#include <algorithm>
#include <cstring>

namespace tarn::pattern {
namespace {

constexpr std::size_t kMaxRunEntries = 1 << 20;

std::string KeyOf(const std::vector<RE_DFAState>& runs, unsigned char lead) {
  std::string key(1, static_cast<char>(lead));
  key.append(reinterpret_cast<const char*>(runs.data()), runs.size() * sizeof(RE_DFAState));
  return key;
}

}  // namespace

TLineDFA::TLineDFA(const TRE_DFA& dfa, std::size_t max_states) : dfa_(dfa), max_states_(std::max<std::size_t>(max_states, 4)) {
  // A lead byte where some move's range begins or ends (or the one after it) starts a class.
  bool starts[257] = {};
  auto split = [&](unsigned code) {
    const unsigned lead = code >> 8;
    starts[std::min(lead, 256u)] = starts[std::min(lead + 1, 256u)] = true;
  };
  for (RE_DFAState state = 0; state < dfa.StateCount(); ++state)
    for (const auto& move : dfa.Transitions(state)) {
      split(move.Low);
      split(static_cast<unsigned>(move.High) + 1);
    }
  unsigned char first = 0;
  for (unsigned b = 0; b < 256; ++b) {
    if (starts[b] || !IsLeadByte(static_cast<unsigned char>(b)) || !IsLeadByte(first)) first = static_cast<unsigned char>(b);
    lead_class_[b] = first;
  }
  Reset();
}

void TLineDFA::Reset() {
  ++generation_;
  states_.clear();
  table_.clear();
  index_.clear();
  run_entries_ = 0;
  std::vector<RE_DFAState> start;
  const RE_DFAState after_lf = dfa_.NextState(dfa_.InitialState(), 10);
  line_start_matches_ = after_lf != kNoState && dfa_.Accepting(after_lf);
  if (after_lf != kNoState && !line_start_matches_) start.push_back(after_lf);
  line_start_ = Intern(std::move(start), 0);
}

std::uint32_t TLineDFA::Intern(std::vector<RE_DFAState> runs, unsigned char lead) {
  std::string key = KeyOf(runs, lead);
  if (const auto it = index_.find(key); it != index_.end()) return it->second;
  const auto offset = static_cast<std::uint32_t>(states_.size() << 8);
  State state;
  state.lead = lead;
  for (const RE_DFAState run : runs) {
    const RE_DFAState next = dfa_.NextState(run, 10);
    if (next != kNoState && dfa_.Accepting(next)) state.line_end_matches = true;
  }
  run_entries_ += runs.size();
  state.runs = std::move(runs);
  states_.push_back(std::move(state));
  table_.resize(table_.size() + 256, kUnknown);
  const std::uint32_t end = lead != 0 ? kBrokenEnd : kLineEnd;
  table_[offset + '\n'] = end;
  table_[offset + '\r'] = end;
  index_.emplace(std::move(key), offset);
  return offset;
}

std::uint32_t TLineDFA::Resolve(std::uint32_t& state, unsigned char byte) {
  if (table_[state + byte] != kUnknown) return table_[state + byte];
  const State& from = states_[state >> 8];
  unsigned char lead = 0;
  std::vector<RE_DFAState>& next = scratch_;
  next.clear();
  if (from.lead == 0 && IsLeadByte(byte)) {
    next = from.runs;
    lead = lead_class_[byte];
  } else {
    const auto code = static_cast<RE_Char_t>(from.lead != 0 ? (from.lead << 8 | byte) : byte);
    // Every character is also a new start position.
    const RE_DFAState initial = dfa_.InitialState();
    for (std::size_t i = 0; i <= from.runs.size(); ++i) {
      const RE_DFAState run = i < from.runs.size() ? from.runs[i] : initial;
      const RE_DFAState target = dfa_.NextState(run, code);
      if (target == kNoState) continue;
      if (dfa_.Accepting(target)) {
        table_[state + byte] = kMatch;
        return kMatch;
      }
      next.push_back(target);
    }
    std::sort(next.begin(), next.end());
    next.erase(std::unique(next.begin(), next.end()), next.end());
  }
  if (states_.size() >= max_states_ || run_entries_ + next.size() > kMaxRunEntries) {
    // Drop every row; keep the state being left so that the caller can go on from it.
    State keep = states_[state >> 8];
    Reset();
    state = Intern(std::move(keep.runs), keep.lead);
  }
  std::uint32_t target = Intern(std::vector<RE_DFAState>(next), lead);
  if (states_[target >> 8].skip_usable) target |= kSkip;
  table_[state + byte] = target;
  return target;
}

void TLineDFA::PrepareSkip(std::uint32_t state) {
  const std::size_t index = state >> 8;
  if (states_[index].skip_known) return;
  states_[index].skip_known = true;
  if (states_[index].lead != 0) return;
  const std::uint64_t generation = generation_;
  std::string bytes = "\n\r";
  // Follows one move; false when the cache was dropped meanwhile (state numbers changed).
  auto follow = [&](std::uint32_t from, unsigned char byte, std::uint32_t& to) {
    to = Resolve(from, byte);
    return generation_ == generation;
  };
  for (unsigned x = 0; x < 256 && bytes.size() <= kMaxSkipBytes; ++x) {
    if (x == '\n' || x == '\r') continue;
    std::uint32_t to = 0;
    if (!follow(state, static_cast<unsigned char>(x), to)) return;
    if (!IsLeadByte(static_cast<unsigned char>(x)) || (to & kStop)) {
      if ((to & ~kSkip) != state) bytes += static_cast<char>(x);
      continue;
    }
    const std::uint32_t pending = to & ~kSkip;
    for (unsigned y = 0; y < 256; ++y) {
      if (y == '\n' || y == '\r') continue;
      if (!follow(pending, static_cast<unsigned char>(y), to)) return;
      if ((to & ~kSkip) != state) {
        bytes += static_cast<char>(x);
        break;
      }
    }
  }
  if (bytes.size() > kMaxSkipBytes) return;
  // Hiragana and katakana lead bytes stop a skip too often for it to pay.
  if (bytes.find('\x82') != std::string::npos || bytes.find('\x83') != std::string::npos) return;
  states_[index].skip_usable = true;
  states_[index].skip_bytes = std::move(bytes);
  for (std::uint32_t& entry : table_)
    if (entry == state) entry |= kSkip;
}

}  // namespace tarn::pattern

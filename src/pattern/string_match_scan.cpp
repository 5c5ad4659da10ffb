#include "pattern/string_match_scan.h"

#include <algorithm>
#include <cstring>
#include <map>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "core/sjis.h"

namespace tarn::pattern {
namespace {

// The character at q (not the terminator), read as the reference searches read it: a lead byte
// before the terminator is a character of its own. Moves q past it.
inline RE_Char_t ReadChar(const unsigned char* u, std::size_t& q) noexcept {
  const unsigned char b = u[q];
  if (IsLeadByte(b) && u[q + 1] != 0) {
    q += 2;
    return static_cast<RE_Char_t>(b << 8 | u[q - 1]);
  }
  ++q;
  return b;
}

}  // namespace

TStringMatchScan::TStringMatchScan(const TRE_DFA& dfa, const TStringMatchOptions& options, std::size_t max_rows)
    : dfa_(dfa), options_(options), max_rows_(std::max<std::size_t>(max_rows, 1)) {
  const std::size_t states = dfa.StateCount();
  accepting_.resize(states);
  has_tail_.resize(states);
  for (RE_DFAState state = 0; state < states; ++state) {
    accepting_[state] = dfa.Accepting(state) ? 1 : 0;
    has_tail_[state] = dfa.NextState(state, options.LineTail) != kNoState ? 1 : 0;
  }
  MergeEquivalentStates();
  row_of_.assign(states, kNoRow);
  seen_.assign(states, 0);
  // The runs alive at one place are in distinct states.
  runs_.resize(states + 1);
  next_.resize(states + 1);

  const RE_DFAState initial = dfa.InitialState();
  initial_ = canon_[initial];
  absorbs_restart_.resize(states);
  for (RE_DFAState state = 0; state < states; ++state) absorbs_restart_[state] = AbsorbsRestart(state) ? 1 : 0;
  if (options.Anchored && dfa.UsesLineHead()) head_state_ = Canonical(dfa.NextState(initial, options.LineHead));
  initial_accepts_ = dfa.Accepting(initial);

  // A position whose first byte is not marked can neither start a match nor keep a run from it.
  for (const RE_DFATransition_t& move : dfa.Transitions(initial)) {
    for (unsigned b = 1; b < 256; ++b) {
      const unsigned low = IsLeadByte(static_cast<unsigned char>(b)) ? b << 8 : b;
      const unsigned high = IsLeadByte(static_cast<unsigned char>(b)) ? (b << 8 | 0xFF) : b;
      const bool lone_lead = IsLeadByte(static_cast<unsigned char>(b)) && move.Low <= b && b <= move.High;
      if (lone_lead || (move.Low <= high && low <= move.High)) can_start_[b] = true;
    }
  }
  if (options.Anchored && has_tail_[initial] && options.Separator != 0 && options.Separator < 256)
    can_start_[options.Separator] = true;
  // The position after a line feed starts a line-head run.
  if (head_state_ != kNoState) can_start_['\n'] = true;
  skip_usable_ = !initial_accepts_;
  for (unsigned b = 1; b < 256; ++b) {
    if (!can_start_[b]) continue;
    if (start_byte_count_ == std::size(start_bytes_)) {
      start_byte_count_ = 0;  // too many for the vector search
      break;
    }
    start_bytes_[start_byte_count_++] = static_cast<unsigned char>(b);
  }
}

std::size_t TStringMatchScan::SkipToStart(const unsigned char* u, std::size_t p, std::size_t n) const noexcept {
  if (start_byte_count_ == 0) {
    while (p < n && !can_start_[u[p]]) p += (IsLeadByte(u[p]) && p + 1 < n) ? 2 : 1;
    return std::min(p, n);
  }
  // Any byte equal to a start byte is a candidate; it counts only at a character position. p
  // is one; so is every byte after a byte outside the lead range, and lead-range bytes after
  // it pair off, so the parity of the lead-range bytes right before a candidate tells.
  std::size_t q = p;
  for (;;) {
#ifdef __SSE2__
    const __m128i b0 = _mm_set1_epi8(static_cast<char>(start_bytes_[0]));
    const __m128i b1 = _mm_set1_epi8(static_cast<char>(start_bytes_[start_byte_count_ > 1 ? 1 : 0]));
    const __m128i b2 = _mm_set1_epi8(static_cast<char>(start_bytes_[start_byte_count_ > 2 ? 2 : 0]));
    while (n - q >= 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + q));
      const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, b0), _mm_cmpeq_epi8(v, b1)), _mm_cmpeq_epi8(v, b2));
      const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
      if (mask != 0) {
        q += static_cast<std::size_t>(__builtin_ctz(mask));
        break;
      }
      q += 16;
    }
#endif
    while (q < n && !can_start_[u[q]]) ++q;
    if (q >= n) return n;
    std::size_t r = q;
    while (r > p && IsLeadByte(u[r - 1])) --r;
    if (((q - r) & 1) == 0) return q;
    // q is the trail byte of the character that begins just before it.
    p = ++q;
  }
}

std::vector<std::uint32_t> TStringMatchScan::Bounds(RE_DFAState state) const {
  std::vector<std::uint32_t> bounds;
  for (const RE_DFATransition_t& move : dfa_.Transitions(state)) {
    bounds.push_back(move.Low);
    bounds.push_back(static_cast<std::uint32_t>(move.High) + 1);
  }
  std::sort(bounds.begin(), bounds.end());
  bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
  if (!bounds.empty() && bounds.back() > 0xFFFF) bounds.pop_back();
  return bounds;
}

void TStringMatchScan::MergeEquivalentStates() {
  // States that accept alike, end alike at a separator and move to equivalent states on every
  // character have the same future: refine classes until no class splits (Moore), then let
  // each class's first state stand for it. Automata too large to refine cheaply keep every state.
  const std::size_t states = dfa_.StateCount();
  canon_.resize(states);
  for (RE_DFAState state = 0; state < states; ++state) canon_[state] = state;
  std::vector<std::vector<std::uint32_t>> bounds(states);
  std::size_t work = 0;
  for (RE_DFAState state = 0; state < states; ++state) {
    bounds[state] = Bounds(state);
    work += bounds[state].size() + 1;
  }
  constexpr std::size_t kMaxWork = 1'000'000;
  std::vector<std::uint32_t> class_of(states);
  for (RE_DFAState state = 0; state < states; ++state) class_of[state] = accepting_[state] * 2u + has_tail_[state];
  std::size_t classes = 0;
  std::vector<std::uint32_t> next_class(states);
  std::map<std::vector<std::uint32_t>, std::uint32_t> ids;
  std::vector<std::uint32_t> signature;
  for (std::size_t spent = 0;; spent += work) {
    if (spent > kMaxWork) return;
    ids.clear();
    for (RE_DFAState state = 0; state < states; ++state) {
      signature.assign(1, class_of[state]);
      for (const std::uint32_t code : bounds[state]) {
        const RE_DFAState target = dfa_.NextState(state, static_cast<RE_Char_t>(code));
        const std::uint32_t target_class = target == kNoState ? 0xFFFFFFFFu : class_of[target];
        if (signature.size() > 1 && signature.back() == target_class) continue;  // same as the piece before
        signature.push_back(code);
        signature.push_back(target_class);
      }
      next_class[state] = ids.emplace(signature, static_cast<std::uint32_t>(ids.size())).first->second;
    }
    class_of.swap(next_class);
    if (ids.size() == classes) break;
    classes = ids.size();
  }
  std::vector<RE_DFAState> first(classes, kNoState);
  for (RE_DFAState state = 0; state < states; ++state) {
    if (first[class_of[state]] == kNoState) first[class_of[state]] = state;
    canon_[state] = first[class_of[state]];
  }
}

bool TStringMatchScan::AbsorbsRestart(RE_DFAState state) const {
  const RE_DFAState initial = dfa_.InitialState();
  if (canon_[state] == initial_) return true;
  std::vector<std::uint32_t> bounds = Bounds(state);
  const std::vector<std::uint32_t> more = Bounds(initial);
  bounds.insert(bounds.end(), more.begin(), more.end());
  for (const std::uint32_t code : bounds) {
    const RE_DFAState restart = Canonical(dfa_.NextState(initial, static_cast<RE_Char_t>(code)));
    if (restart != kNoState && restart != Canonical(dfa_.NextState(state, static_cast<RE_Char_t>(code)))) return false;
  }
  return true;
}

std::uint32_t TStringMatchScan::MakeRow(RE_DFAState state) {
  if (rows_.size() / 256 >= max_rows_) return kNoRow;
  const auto row = static_cast<std::uint32_t>(rows_.size());
  rows_.resize(rows_.size() + 256);
  for (unsigned code = 0; code < 256; ++code) rows_[row + code] = Canonical(dfa_.NextState(state, static_cast<RE_Char_t>(code)));
  row_of_[state] = row;
  return row;
}

void TStringMatchScan::RunAlone(const unsigned char* u, std::size_t& p, bool& line_head) {
  Run& run = runs_[0];
  RE_DFAState state = run.state;
  const std::size_t from = p;
  auto keep = [&] {
    if (p == from) return;
    line_head = false;
    run.state = state;
    NextStamp();
    seen_[state] = stamp_;
  };
  if (best_start_ == kNone) {
    if (line_head && head_state_ != kNoState) return;
    // No match yet: while the run from each new position dies at once or joins the live one,
    // and nothing ends at a separator, only the live run's state moves.
    const RE_DFAState initial = initial_;
    const bool initial_tail = EndsAtTail(initial);
    while (u[p] != 0) {
      std::size_t q = p;
      const RE_Char_t code = ReadChar(u, q);
      if (code == '\n' && head_state_ != kNoState) break;
      if (code == options_.Separator && initial_tail) break;
      const RE_DFAState target = Next(state, code);
      if (target == kNoState) break;
      if (!absorbs_restart_[state]) {
        const RE_DFAState restart = Next(initial, code);
        if (restart != kNoState && restart != target) break;
      }
      state = target;
      p = q;
      if (accepting_[target]) {
        Candidate(run.start, p);
        break;
      }
    }
    if (best_start_ == kNone) return keep();
  }
  // Only the longest end of a known start is left to find.
  while (u[p] != 0) {
    std::size_t q = p;
    const RE_Char_t code = ReadChar(u, q);
    const RE_DFAState target = Next(state, code);
    if (target == kNoState) {
      if (code == options_.Separator && EndsAtTail(state)) Candidate(run.start, p);
      run_count_ = 0;
      return;
    }
    state = target;
    p = q;
    if (accepting_[target]) Candidate(run.start, p);
  }
  keep();
}

bool TStringMatchScan::Search(const char* s, std::size_t& start, std::size_t& end, std::size_t begin) {
  const auto* u = reinterpret_cast<const unsigned char*>(s);
  std::size_t n = kNone;  // the terminator's offset, measured only when the skip needs it
  const RE_DFAState initial = initial_;
  best_start_ = kNone;
  best_end_ = 0;
  run_count_ = 0;
  NextStamp();

  std::size_t p = begin;
  bool line_head = begin == 0 || u[begin - 1] == '\n';  // p is the start of the subject or follows a line feed
  while (u[p] != 0) {
    if (run_count_ == 0) {
      if (best_start_ != kNone) break;
      if (skip_usable_ && !can_start_[u[p]] && !(line_head && head_state_ != kNoState)) {
        if (n == kNone) n = p + std::strlen(s + p);
        const std::size_t from = p;
        p = SkipToStart(u, p, n);
        if (p != from) line_head = false;
        if (p >= n) break;
      }
    }
    if (best_start_ == kNone) {
      if (line_head) Start(head_state_, p);
      Start(initial, p);
    }
    if (run_count_ == 1) {
      const std::size_t from = p;
      RunAlone(u, p, line_head);
      if (p != from || run_count_ == 0) continue;
    }

    std::size_t q = p;
    const RE_Char_t code = ReadChar(u, q);
    NextStamp();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < run_count_; ++i) {
      const Run& run = runs_[i];
      if (run.start > best_start_) break;  // runs are in start order; later starts cannot win
      const RE_DFAState target = Next(run.state, code);
      if (target == kNoState) {
        if (code == options_.Separator && EndsAtTail(run.state)) Candidate(run.start, p);
        continue;
      }
      if (seen_[target] == stamp_) continue;  // an earlier start holds the same future
      seen_[target] = stamp_;
      next_[kept++] = Run{target, run.start};
      if (accepting_[target]) Candidate(run.start, q);
    }
    runs_.swap(next_);
    run_count_ = kept;
    line_head = code == '\n';
    p = q;
    if (best_start_ != kNone && (run_count_ == 0 || runs_[0].start > best_start_)) break;
  }

  if (u[p] == 0) {
    n = p;
    // Every run still alive dies on the terminator.
    for (std::size_t i = 0; i < run_count_; ++i)
      if (runs_[i].start <= best_start_ && EndsAtTail(runs_[i].state)) Candidate(runs_[i].start, n);
    if (best_start_ == kNone) {
      bool empty_at_end = false;
      if (!options_.Anchored) {
        empty_at_end = n == 0 && initial_accepts_;
      } else {
        const bool head = line_head && head_state_ != kNoState &&
                          (accepting_[head_state_] != 0 || has_tail_[head_state_] != 0);
        const bool empty_subject = n == 0 && !dfa_.UsesLineHead() && (initial_accepts_ || has_tail_[initial] != 0);
        const bool tail = dfa_.UsesLineTail() && has_tail_[initial] != 0;
        empty_at_end = head || empty_subject || tail;
      }
      if (empty_at_end) Candidate(n, n);
    }
  }
  if (best_start_ == kNone) return false;
  start = best_start_;
  end = best_end_;
  return true;
}

}  // namespace tarn::pattern

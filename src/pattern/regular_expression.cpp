#include "pattern/regular_expression.h"

#include <algorithm>

#include "pattern/fuzzy_char_dic.h"
#include "pattern/parser.h"
#include "pattern/string_match_scan.h"

namespace tarn::pattern {

TRegularExpression::TRegularExpression() {
  PatternCache_.push_back(CacheEntry{});
  CurrentIndex_ = 0;
  // The empty pattern has no anchors, so this (non-virtual) compilation gives the same automaton
  // that a derived component's symbols would.
  TRegularExpression::Compile(std::string());
}

TRegularExpression::~TRegularExpression() = default;

void TRegularExpression::SetUseFuzzyCharDic(bool value) {
  PreProcessor_.UseFuzzyCharDic = value;
  AssignPattern(std::string(PatternText_));
}

void TRegularExpression::SetUseSynonymDic(bool value) {
  PreProcessor_.UseSynonymDic = value;
  AssignPattern(std::string(PatternText_));
}

void TRegularExpression::AssignPattern(std::string_view value) {
  std::string kept(value);
  PreProcessor_.SetSource(kept);
  PreProcessor_.ProcessPattern();  // an error here keeps the current pattern
  const std::string& p = PreProcessor_.Output();
  try {
    const auto found = std::find_if(PatternCache_.begin(), PatternCache_.end(),
                                    [&p](const CacheEntry& e) { return e.Pattern == p; });
    if (found != PatternCache_.end()) {
      CurrentIndex_ = static_cast<std::size_t>(found - PatternCache_.begin());
    } else {
      if (PatternCache_.size() >= CacheCapacity) PatternCache_.pop_back();
      PatternCache_.insert(PatternCache_.begin() + 1, CacheEntry{p, nullptr});
      CurrentIndex_ = 1;
      Compile(p);
    }
    PatternText_ = std::move(kept);
  } catch (...) {
    CurrentIndex_ = 0;
    PatternText_.clear();
    throw;
  }
}

void TRegularExpression::Compile(const std::string& p) {
  try {
    TREParser parser(p);
    parser.Parse();
    TRE_NFA nfa(parser, LineTailSymbol(), LineHeadSymbol());
    nfa.Build();
    auto dfa = std::make_unique<TRE_DFA>(nfa);
    dfa->Build();
    PatternCache_[CurrentIndex_].DFA = std::move(dfa);
  } catch (...) {
    if (CurrentIndex_ != 0) PatternCache_.erase(PatternCache_.begin() + static_cast<std::ptrdiff_t>(CurrentIndex_));
    CurrentIndex_ = 0;
    throw;
  }
}

bool TMatchCORE::IsLineSeparator(RE_Char_t ch) const noexcept {
  switch (LineSeparator_) {
    case mcls_CRLF: return ch == 13;
    case mcls_LF: return ch == 10;
  }
  return false;
}

const char* TMatchCORE::MatchAt(const char* p, RE_DFAState state) const noexcept {
  const TRE_DFA& dfa = CurrentDFA();
  if (state == kNoState) return nullptr;
  const char* result = nullptr;
  const char* cursor = p;
  RE_DFAState last = state;
  const char* before = cursor;
  RE_Char_t ch = 0;
  do {
    if (dfa.Accepting(state)) result = cursor;
    last = state;
    before = cursor;
    ch = RENextSubjectChar(cursor);
    // Code 0 never labels a transition, so every run ends at the terminator.
    state = dfa.NextState(state, ch);
  } while (state != kNoState);
  if ((IsLineSeparator(ch) || ch == 0) && dfa.NextState(last, LineTailSymbol()) != kNoState) return before;
  return result;
}

const char* TMatchCORE::MatchAtLineHead(const char* p, RE_DFAState state) const noexcept {
  const TRE_DFA& dfa = CurrentDFA();
  if (!dfa.UsesLineHead()) return MatchAt(p, state);
  const char* h = MatchAt(p, dfa.NextState(state, LineHeadSymbol()));
  if (h == nullptr) return nullptr;
  const char* q = MatchAt(p, state);
  return (q != nullptr && q >= h) ? q : h;
}

namespace {

// The next character position of a NUL-terminated subject; never past the terminator.
const char* NextCharPosition(const char* p) noexcept {
  RENextSubjectChar(p);
  return p;
}

}  // namespace

void TMatchCORE::SearchPlain(const char* s, const char*& start, const char*& end) const noexcept {
  const TRE_DFA& dfa = CurrentDFA();
  start = end = nullptr;
  if (*s == 0) {
    if (dfa.Accepting(dfa.InitialState())) start = end = s;
    return;
  }
  for (const char* p = s; *p != 0; p = NextCharPosition(p)) {
    RE_DFAState state = dfa.InitialState();
    const char* cursor = p;
    do {
      if (dfa.Accepting(state)) {
        start = p;
        end = cursor;
      }
      const RE_Char_t ch = RENextSubjectChar(cursor);
      state = dfa.NextState(state, ch);
    } while (state != kNoState);
    if (start != nullptr) return;
  }
}

void TMatchCORE::SearchAnchored(const char* s, const char*& start, const char*& end) const noexcept {
  const TRE_DFA& dfa = CurrentDFA();
  start = s;
  end = MatchAtLineHead(s, dfa.InitialState());
  if (end != nullptr) return;
  start = nullptr;
  const char* p = s;
  for (; *p != 0; p = NextCharPosition(p)) {
    if (const char* r = MatchAt(p, dfa.InitialState())) {
      start = p;
      end = r;
      return;
    }
    if (*p == '\n' && dfa.UsesLineHead()) {
      if (const char* r = MatchAtLineHead(p + 1, dfa.InitialState())) {
        start = p + 1;
        end = r;
        return;
      }
    }
  }
  if (dfa.UsesLineTail() && dfa.NextState(dfa.InitialState(), LineTailSymbol()) != kNoState) start = end = p;
}

TAWKStr::TAWKStr() { FuzzyCharDicList().push_back(&FuzzyCharDic()); }

TAWKStr::~TAWKStr() = default;

void TAWKStr::AssignPattern(std::string_view value) {
  // The automaton the scan reads may be freed by the assignment, also when it fails.
  Scan_.reset();
  TMatchCORE::AssignPattern(value);
  Search_ = (UsesLineHead() || UsesLineTail()) ? &TMatchCORE::SearchAnchored : &TMatchCORE::SearchPlain;
}

int TAWKStr::Match(const std::string& S, int& Start, int& Length) const {
  if (!ForceReferenceMatch) return Match(S, 0, Start, Length);
  const char* s = S.c_str();
  const char* start = nullptr;
  const char* end = nullptr;
  (this->*Search_)(s, start, end);
  if (start == nullptr || end == nullptr) {
    Start = Length = 0;
    return 0;
  }
  Start = static_cast<int>(start - s) + 1;
  Length = static_cast<int>(end - start);
  return Start;
}

int TAWKStr::Match(const std::string& S, std::size_t From, int& Start, int& Length) const {
  TStringMatchOptions options;
  options.LineHead = LineHeadSymbol();
  options.LineTail = LineTailSymbol();
  options.Separator = LineSeparator() == mcls_CRLF ? 13 : LineSeparator() == mcls_LF ? 10 : 0;
  options.Anchored = Search_ == &TMatchCORE::SearchAnchored;
  if (!Scan_ || &Scan_->DFA() != &CurrentDFA() || !(Scan_->Options() == options))
    Scan_ = std::make_unique<TStringMatchScan>(CurrentDFA(), options);
  std::size_t start = 0;
  std::size_t end = 0;
  if (From > S.size() || !Scan_->Search(S.c_str(), start, end, From)) {
    Start = Length = 0;
    return 0;
  }
  Start = static_cast<int>(start) + 1;
  Length = static_cast<int>(end - start);
  return Start;
}

}  // namespace tarn::pattern

#include "pattern/pre_processor.h"

namespace tarn::pattern {

void TREPreProcessor::ProcessPattern() {
  Output_ = Scanner_.Text();
  if (UseSynonymDic) {
    ProcessPass(&TREPreProcessor::LookupSynonym);
    Scanner_.SetText(std::string(Output_));
  }
  if (UseFuzzyCharDic) ProcessPass(&TREPreProcessor::LookupFuzzyChar);
}

void TREPreProcessor::Tokenise() {
  TokenList_.clear();
  // Every pass reads the whole current text, also when an earlier call left the scanner at its end.
  Scanner_.SetText(std::string(Scanner_.Text()));
  int p0 = Scanner_.Position;
  while (Scanner_.GetToken() != retk_End) {
    TokenList_.push_back({Scanner_.Token, Scanner_.Symbol, Scanner_.RangeEnd, p0, Scanner_.Position});
    p0 = Scanner_.Position;
  }
  TokenList_.push_back({retk_End, 0, 0, 0, 0});
}

std::string_view TREPreProcessor::SourceText(const RE_Token_t& token) const {
  if (token.EndPos <= token.StartPos) return {};  // the closing end-of-pattern record
  return std::string_view(Scanner_.Text()).substr(token.StartPos - 1, token.EndPos - token.StartPos);
}

void TREPreProcessor::ProcessPass(Lookup lookup) {
  Output_.clear();
  Tokenise();
  bool in_class = false;
  std::size_t i = 0;
  const std::size_t count = TokenList_.size();
  while (i < count) {
    const RE_Token_t& token = TokenList_[i];
    if (token.Kind == retk_LBra || token.Kind == retk_LBraNegative) in_class = true;
    if (token.Kind == retk_RBra) in_class = false;
    if (token.Kind != retk_Char || in_class) {
      Output_ += SourceText(token);
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < count && TokenList_[j].Kind == retk_Char) ++j;
    std::size_t k = i;
    while (k < j) {
      const int r = (this->*lookup)(static_cast<int>(k), static_cast<int>(j));
      if (r == -1) {
        Output_ += SourceText(TokenList_[k]);
        ++k;
      } else {
        Output_ += ReplaceText_;
        k = static_cast<std::size_t>(r);
      }
    }
    i = j;
  }
}

int TREPreProcessor::LookupSynonym(int first, int stop) { return LookupIn(SynonymDicList_, first, stop); }
int TREPreProcessor::LookupFuzzyChar(int first, int stop) { return LookupIn(FuzzyCharDicList_, first, stop); }

int TREPreProcessor::LookupIn(const TREDicList& list, int first, int stop) {
  for (const TREDictionary* dic : list) {
    for (const TREDicGroup& group : *dic) {
      for (const std::string& word : group) {
        const int m = MatchWord(word, first, stop);
        if (m == -1) continue;
        ReplaceText_.assign(1, '(');
        for (std::size_t n = 0; n < group.size(); ++n) {
          if (n > 0) ReplaceText_ += '|';
          ReplaceText_ += REQuoteMetaChars(group[n]);
        }
        ReplaceText_ += ')';
        return m;
      }
    }
  }
  return -1;
}

int TREPreProcessor::MatchWord(std::string_view word, int k, int stop) const {
  if (word.empty()) return -1;
  int pos = 1;
  int n = 0;
  while (pos <= static_cast<int>(word.size())) {
    const RE_Char_t c = REReadChar(word, pos);
    if (c == 0) break;  // a NUL inside a word ends it, as it ends a pattern
    if (k + n >= stop || TokenList_[k + n].Symbol != c) return -1;
    ++n;
  }
  return n == 0 ? -1 : k + n;
}

}  // namespace tarn::pattern

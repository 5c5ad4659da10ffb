#include "pattern/pre_processor.h"

namespace tarn::pattern {

void TREPreProcessor::ProcessPattern() {
  Output_ = Scanner_.Text();
  if (!UseSynonymDic && !UseFuzzyCharDic) return;
  // No dictionary rewriting yet: a switched-on pass still scans the pattern, so a malformed one
  // is reported here, before the component gives up its current pattern.
  Scanner_.SetText(Output_);
  while (Scanner_.GetToken() != retk_End) {
  }
}

}  // namespace tarn::pattern

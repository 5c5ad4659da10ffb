// TGrep: the file grep. It runs the compiled pattern over the character stream of one file
// (TTxtFile) and reports every line that holds a match once, through OnMatch. "^" and "$" read
// as the line feed of the stream, so they match at line ends, and before the first line.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/regular_expression.h"
#include "pattern/txt_file.h"

namespace tarn::pattern {

class TGrep : public TRegularExpression {
 public:
  using TGrepOnMatch = std::function<void(TGrep& sender, RE_LineInfo_t line_info)>;

  // Attaches the fuzzy-character dictionary, as the string matcher does.
  TGrep();

  void AssignPattern(std::string_view value) override;
  RE_Char_t LineHeadSymbol() const override { return 10; }
  RE_Char_t LineTailSymbol() const override { return 10; }

  // Searches one file (its name as the system stores it). Raises EGrepCancel when Cancel is
  // found set, EFileNotFound when the file cannot be opened, EInOutError when it cannot be read.
  void Grep(const std::string& native_path);

  // True when the pattern is a plain string, matched by comparing character codes.
  bool UsesLiteralScan() const noexcept { return literal_scan_; }

  TGrepOnMatch OnMatch;
  bool Cancel = false;
  // Lets pending window messages run after every block and before every reported line.
  std::function<void()> ProcessMessages;
  // Bytes read per block.
  std::size_t BlockSize = TTxtFile::kDefaultBlockSize;

 protected:
  virtual void ScanLiteral(const std::string& native_path);
  virtual void ScanAutomaton(const std::string& native_path);

 private:
  bool literal_scan_ = false;
};

}  // namespace tarn::pattern

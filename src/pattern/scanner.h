// Reading Shift-JIS characters out of patterns and subjects, escapes, and the token scanner that
// feeds the parser and the dictionary pre-processor.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/sjis.h"

namespace tarn::pattern {

using tarn::RE_Char_t;

// A malformed pattern. The message is CP932; ErrorPos is the 1-based byte position at which the
// fault was found (clamped to 65535 for longer patterns).
class ERegExpParser : public std::runtime_error {
 public:
  ERegExpParser(const std::string& message, int errorPos);
  std::uint16_t ErrorPos;
};

// Character helpers. pos is a 1-based byte position into text, pointing at the next byte.
// REReadChar returns 0 (without moving) at or past the end; a NUL byte reads as 0 as well, so a
// NUL ends a pattern.
RE_Char_t REReadChar(std::string_view text, int& pos);
void REUnreadChar(std::string_view text, int& pos);
// Reads one character of a NUL-terminated subject. At the terminator it returns 0 and stays; a
// lead byte directly before the terminator is returned alone (as its byte value), so a cursor
// never passes the terminator.
RE_Char_t RENextSubjectChar(const char*& cursor) noexcept;
std::string RECharToText(RE_Char_t code);
// Reads the escape that follows a backslash (pos is just past the backslash).
RE_Char_t REReadEscape(std::string_view text, int& pos);
// Puts a backslash before each of the twelve metacharacters ^ ( | ) + * ? . [ ] $ and backslash.
std::string REQuoteMetaChars(std::string_view text);

enum TREScanner_Token : std::uint8_t {
  retk_Char = 0,
  retk_CharRange = 1,
  retk_Union = 2,
  retk_LPar = 3,
  retk_RPar = 4,
  retk_Star = 5,
  retk_Plus = 6,
  retk_QMark = 7,
  retk_LBra = 8,
  retk_LBraNegative = 9,
  retk_RBra = 10,
  retk_Dot = 11,
  retk_LHead = 12,
  retk_LTail = 13,
  retk_End = 14,
};

// Cuts a pattern into tokens. Callers read Token, Symbol, RangeEnd and Position after each
// GetToken. Inside a bracket class only "]", backslash and "-" between two members are special.
class TREScanner {
 public:
  TREScanner() = default;
  explicit TREScanner(std::string_view text) { SetText(text); }
  virtual ~TREScanner() = default;

  void SetText(std::string_view text);
  TREScanner_Token GetToken();

  const std::string& Text() const noexcept { return Text_; }

  int Position = 1;
  TREScanner_Token Token = retk_End;
  RE_Char_t Symbol = 0;
  RE_Char_t RangeEnd = 0;
  bool InCharClass = false;

 protected:
  virtual TREScanner_Token ScanToken();
  virtual TREScanner_Token ScanCharClassToken();

 private:
  [[noreturn]] void RaiseMissingBracket() const;
  std::string Text_;
};

}  // namespace tarn::pattern

#include "pattern/scanner.h"

#include <algorithm>

#include "core/system_text.h"

namespace tarn::pattern {

ERegExpParser::ERegExpParser(const std::string& message, int errorPos)
    : std::runtime_error(message),
      ErrorPos(static_cast<std::uint16_t>(std::clamp(errorPos, 0, 0xFFFF))) {}

namespace {

unsigned char ByteAt(std::string_view text, int pos) {  // pos is 1-based
  return static_cast<unsigned char>(text[static_cast<std::size_t>(pos - 1)]);
}

int HexDigitValue(RE_Char_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsOctalDigit(RE_Char_t c) { return c >= '0' && c <= '7'; }

}  // namespace

RE_Char_t REReadChar(std::string_view text, int& pos) {
  const auto length = static_cast<long long>(text.size());
  if (pos <= 0 || pos > length) return 0;
  const unsigned char b = ByteAt(text, pos);
  if (IsLeadByte(b)) {
    if (pos == length) throw ERegExpParser(SystemText("不正な２バイト文字コードです。"), pos);
    const RE_Char_t code = static_cast<RE_Char_t>(b << 8 | ByteAt(text, pos + 1));
    pos += 2;
    return code;
  }
  pos += 1;
  return b;
}

void REUnreadChar(std::string_view text, int& pos) {
  if (pos < 2) return;
  if (pos == 2 || pos > static_cast<long long>(text.size()) + 1) {
    pos -= 1;
    return;
  }
  // The last byte read (at pos - 1) is a trail byte when an odd number of lead bytes stand
  // directly before it.
  int leads = 0;
  for (int k = pos - 2; k >= 1 && IsLeadByte(ByteAt(text, k)); --k) ++leads;
  pos -= (leads % 2 == 1) ? 2 : 1;
}

RE_Char_t RENextSubjectChar(const char*& cursor) noexcept {
  const auto b = static_cast<unsigned char>(*cursor);
  if (b == 0) return 0;
  const auto trail = static_cast<unsigned char>(cursor[1]);
  if (IsLeadByte(b) && trail != 0) {
    cursor += 2;
    return static_cast<RE_Char_t>(b << 8 | trail);
  }
  cursor += 1;
  return b;
}

std::string RECharToText(RE_Char_t code) { return CharCodeToText(code); }

RE_Char_t REReadEscape(std::string_view text, int& pos) {
  const RE_Char_t c = REReadChar(text, pos);
  switch (c) {
    case 0:
      throw ERegExpParser(SystemText("\"\\\"の次には文字が必要です。"), pos);
    case 'b':
      return 8;
    case 'r':
      return 13;
    case 'n':
      return 10;
    case 't':
      return 9;
    case 'x': {
      unsigned value = 0;
      int digits = 0;
      int stopPos = pos;  // where the character that ended the digits begins
      while (digits < 4) {
        stopPos = pos;
        const int v = HexDigitValue(REReadChar(text, pos));
        if (v < 0) break;
        value = (value * 16 + static_cast<unsigned>(v)) & 0xFFFF;
        ++digits;
      }
      if (digits == 0) throw ERegExpParser(SystemText("不正な１６進数コード表記です。"), pos);
      // Give back the character that ended the digits; a NUL byte too, so that it ends the
      // pattern as it does everywhere else.
      if (digits < 4) pos = stopPos;
      return static_cast<RE_Char_t>(value);
    }
    default:
      break;
  }
  if (IsOctalDigit(c)) {
    REUnreadChar(text, pos);
    unsigned value = 0;
    for (int digits = 0; digits < 6; ++digits) {
      const int before = pos;
      const RE_Char_t d = REReadChar(text, pos);
      if (!IsOctalDigit(d)) {
        pos = before;
        break;
      }
      value = value * 8 + (d - '0');
      if (value > 0xFFFF) throw ERegExpParser(SystemText("不正な８進数コード表記です。"), pos);
    }
    return static_cast<RE_Char_t>(value);
  }
  return c;
}

std::string REQuoteMetaChars(std::string_view text) {
  static constexpr std::string_view kMeta = "^(|)+*?.[]$\\";
  std::string out;
  out.reserve(text.size() * 2);
  int pos = 1;
  while (pos <= static_cast<long long>(text.size())) {
    const int before = pos;
    const RE_Char_t c = REReadChar(text, pos);
    if (c < 0x80 && c != 0 && kMeta.find(static_cast<char>(c)) != std::string_view::npos) out += '\\';
    out.append(text.substr(static_cast<std::size_t>(before - 1), static_cast<std::size_t>(pos - before)));
  }
  return out;
}

void TREScanner::SetText(std::string_view text) {
  Text_.assign(text);
  Position = 1;
  InCharClass = false;
}

TREScanner_Token TREScanner::GetToken() {
  if (!InCharClass) {
    Token = ScanToken();
    if (Token == retk_LBra || Token == retk_LBraNegative) InCharClass = true;
  } else {
    Token = ScanCharClassToken();
    if (Token == retk_RBra) InCharClass = false;
  }
  return Token;
}

void TREScanner::RaiseMissingBracket() const {
  throw ERegExpParser(SystemText("右ブラケット\"]\"が必要です"), Position);
}

TREScanner_Token TREScanner::ScanToken() {
  Symbol = REReadChar(Text_, Position);
  switch (Symbol) {
    case 0: return retk_End;
    case '$': return retk_LTail;
    case '(': return retk_LPar;
    case ')': return retk_RPar;
    case '*': return retk_Star;
    case '+': return retk_Plus;
    case '.': return retk_Dot;
    case '?': return retk_QMark;
    case ']': return retk_RBra;
    case '^': return retk_LHead;
    case '|': return retk_Union;
    case '[': {
      const RE_Char_t next = REReadChar(Text_, Position);
      if (next == 0) RaiseMissingBracket();
      if (next == '^') return retk_LBraNegative;
      REUnreadChar(Text_, Position);
      return retk_LBra;
    }
    case '\\':
      Symbol = REReadEscape(Text_, Position);
      return retk_Char;
    default:
      return retk_Char;
  }
}

TREScanner_Token TREScanner::ScanCharClassToken() {
  RE_Char_t a = REReadChar(Text_, Position);
  Symbol = a;
  if (a == 0) RaiseMissingBracket();
  if (a == ']') return retk_RBra;
  if (a == '\\') a = REReadEscape(Text_, Position);
  Symbol = a;
  const RE_Char_t b = REReadChar(Text_, Position);
  if (b == 0) RaiseMissingBracket();
  if (b != '-') {
    REUnreadChar(Text_, Position);
    return retk_Char;
  }
  RE_Char_t c = REReadChar(Text_, Position);
  if (c == 0) RaiseMissingBracket();
  if (c == ']') {
    REUnreadChar(Text_, Position);
    REUnreadChar(Text_, Position);
    return retk_Char;
  }
  if (c == '\\') c = REReadEscape(Text_, Position);
  if (c < a) throw ERegExpParser(SystemText("不正なキャラクタ範囲です"), Position);
  RangeEnd = c;
  return retk_CharRange;
}

}  // namespace tarn::pattern

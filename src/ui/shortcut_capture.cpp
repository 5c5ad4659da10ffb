#include "ui/shortcut_capture.h"

namespace tarn::ui {
namespace {

namespace key = settings::key;
using settings::TShortCut;

// The OEM keys of the key table: ";", "=", ",", "-", ".", "/", "`", "[", "\", "]", "'".
constexpr TShortCut kSemicolon = 186, kEqual = 187, kComma = 188, kMinus = 189, kPeriod = 190, kSlash = 191,
                    kQuoteLeft = 192, kBracketLeft = 219, kBackslash = 220, kBracketRight = 221, kApostrophe = 222;

struct TKeyCode {
  TShortCut Code = 0;
  bool Shifted = false;  // the key is a shifted symbol: the combination holds Shift
};

TKeyCode KeypadCode(int k) noexcept {
  if (k >= Qt::Key_0 && k <= Qt::Key_9) return {static_cast<TShortCut>(key::Keypad0 + (k - Qt::Key_0))};
  switch (k) {
    case Qt::Key_Asterisk: return {key::KeypadMultiply};
    case Qt::Key_Plus: return {key::KeypadAdd};
    case Qt::Key_Minus: return {key::KeypadSubtract};
    case Qt::Key_Period:
    case Qt::Key_Comma: return {key::KeypadDecimal};
    case Qt::Key_Slash: return {key::KeypadDivide};
    case Qt::Key_Enter:
    case Qt::Key_Return: return {key::Enter};
    default: return {};
  }
}

TKeyCode MainKeyCode(int k) noexcept {
  if (k >= Qt::Key_A && k <= Qt::Key_Z) return {static_cast<TShortCut>(key::LetterA + (k - Qt::Key_A))};
  if (k >= Qt::Key_0 && k <= Qt::Key_9) return {static_cast<TShortCut>(key::Digit0 + (k - Qt::Key_0))};
  if (k >= Qt::Key_F1 && k <= Qt::Key_F24) return {static_cast<TShortCut>(key::F1 + (k - Qt::Key_F1))};
  switch (k) {
    case Qt::Key_Backspace: return {key::BackSpace};
    case Qt::Key_Tab: return {key::Tab};
    case Qt::Key_Backtab: return {key::Tab, true};
    case Qt::Key_Return:
    case Qt::Key_Enter: return {key::Enter};
    case Qt::Key_Pause: return {key::Pause};
    case Qt::Key_CapsLock: return {key::CapsLock};
    case Qt::Key_Escape: return {key::Escape};
    case Qt::Key_Space: return {key::Space};
    case Qt::Key_PageUp: return {key::PageUp};
    case Qt::Key_PageDown: return {key::PageDown};
    case Qt::Key_End: return {key::End};
    case Qt::Key_Home: return {key::Home};
    case Qt::Key_Left: return {key::Left};
    case Qt::Key_Up: return {key::Up};
    case Qt::Key_Right: return {key::Right};
    case Qt::Key_Down: return {key::Down};
    case Qt::Key_Print: return {key::PrintScreen};
    case Qt::Key_Insert: return {key::Insert};
    case Qt::Key_Delete: return {key::Delete};
    case Qt::Key_Menu: return {key::Menu};
    case Qt::Key_NumLock: return {key::NumLock};
    case Qt::Key_ScrollLock: return {key::ScrollLock};
    case Qt::Key_Semicolon: return {kSemicolon};
    case Qt::Key_Equal: return {kEqual};
    case Qt::Key_Comma: return {kComma};
    case Qt::Key_Minus: return {kMinus};
    case Qt::Key_Period: return {kPeriod};
    case Qt::Key_Slash: return {kSlash};
    case Qt::Key_QuoteLeft: return {kQuoteLeft};
    case Qt::Key_BracketLeft: return {kBracketLeft};
    case Qt::Key_Backslash: return {kBackslash};
    case Qt::Key_BracketRight: return {kBracketRight};
    case Qt::Key_Apostrophe: return {kApostrophe};
    // The keys of a Japanese keyboard, with what the layout gives them with Shift or Alt.
    case Qt::Key_Zenkaku_Hankaku:
    case Qt::Key_Zenkaku:
    case Qt::Key_Hankaku:
    case Qt::Key_Kanji: return {key::Kanji};
    case Qt::Key_Hiragana_Katakana:
    case Qt::Key_Hiragana:
    case Qt::Key_Katakana:
    case Qt::Key_Romaji:
    case Qt::Key_Kana_Lock:
    case Qt::Key_Kana_Shift: return {key::Kana};
    case Qt::Key_Henkan: return {key::Convert};
    case Qt::Key_Muhenkan: return {key::NonConvert};
    case Qt::Key_Eisu_toggle:
    case Qt::Key_Eisu_Shift: return {key::Eisu};
    // Shifted symbols, by the key that carries them on a US layout.
    case Qt::Key_Exclam: return {key::Digit0 + 1, true};
    case Qt::Key_At: return {key::Digit0 + 2, true};
    case Qt::Key_NumberSign: return {key::Digit0 + 3, true};
    case Qt::Key_Dollar: return {key::Digit0 + 4, true};
    case Qt::Key_Percent: return {key::Digit0 + 5, true};
    case Qt::Key_AsciiCircum: return {key::Digit0 + 6, true};
    case Qt::Key_Ampersand: return {key::Digit0 + 7, true};
    case Qt::Key_Asterisk: return {key::Digit0 + 8, true};
    case Qt::Key_ParenLeft: return {key::Digit0 + 9, true};
    case Qt::Key_ParenRight: return {key::Digit0, true};
    case Qt::Key_Colon: return {kSemicolon, true};
    case Qt::Key_Plus: return {kEqual, true};
    case Qt::Key_Less: return {kComma, true};
    case Qt::Key_Underscore: return {kMinus, true};
    case Qt::Key_Greater: return {kPeriod, true};
    case Qt::Key_Question: return {kSlash, true};
    case Qt::Key_AsciiTilde: return {kQuoteLeft, true};
    case Qt::Key_BraceLeft: return {kBracketLeft, true};
    case Qt::Key_Bar: return {kBackslash, true};
    case Qt::Key_BraceRight: return {kBracketRight, true};
    case Qt::Key_QuoteDbl: return {kApostrophe, true};
    default: return {};
  }
}

}  // namespace

settings::TShortCut ShortCutOfKey(int key, Qt::KeyboardModifiers modifiers) noexcept {
  // Keypad keys other than digits and operators (arrows with Num Lock off) are the main ones.
  TKeyCode code = (modifiers & Qt::KeypadModifier) ? KeypadCode(key) : TKeyCode{};
  if (code.Code == 0) code = MainKeyCode(key);
  if (code.Code == 0) return 0;
  TShortCut shortcut = code.Code;
  if ((modifiers & Qt::ShiftModifier) || code.Shifted) shortcut |= settings::scShift;
  if (modifiers & Qt::ControlModifier) shortcut |= settings::scCtrl;
  if (modifiers & Qt::AltModifier) shortcut |= settings::scAlt;
  return shortcut;
}

TCapture CaptureOfKey(int key, Qt::KeyboardModifiers modifiers) {
  const TShortCut shortcut = ShortCutOfKey(key, modifiers);
  const bool tab = (shortcut & ~settings::scShift) == settings::key::Tab;
  return {settings::FormatShortcut(shortcut), tab};
}

bool FieldTakesCapture(const TCapture& capture, std::string_view currentShortCut, bool commandField) noexcept {
  return !commandField || capture.Tab || capture.Text != currentShortCut;
}

}  // namespace tarn::ui

#include "settings/shortcut_text.h"

#include <array>

#include "core/system_text.h"

namespace tarn::settings {
namespace {

using KeyNames = std::array<std::string_view, 256>;

constexpr KeyNames BuildKeyNames() {
  KeyNames names{};
  names[key::BackSpace] = "BkSp";
  names[key::Tab] = "Tab";
  names[key::Enter] = "Enter";
  names[key::Pause] = "Pause";
  names[key::CapsLock] = "Caps Lock";
  names[key::Escape] = "Esc";
  names[key::Space] = "Space";
  names[key::PageUp] = "PgUp";
  names[key::PageDown] = "PgDn";
  names[key::End] = "End";
  names[key::Home] = "Home";
  names[key::Left] = "Left";
  names[key::Up] = "Up";
  names[key::Right] = "Right";
  names[key::Down] = "Down";
  names[key::PrintScreen] = "Print Screen";
  names[key::Insert] = "Ins";
  names[key::Delete] = "Del";
  constexpr std::string_view digits = "0123456789";
  constexpr std::string_view letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  for (std::size_t i = 0; i < digits.size(); ++i) {
    names[key::Digit0 + i] = digits.substr(i, 1);
    names[key::Keypad0 + i] = digits.substr(i, 1);
  }
  for (std::size_t i = 0; i < letters.size(); ++i) names[key::LetterA + i] = letters.substr(i, 1);
  names[key::Menu] = "Menu";
  names[key::KeypadMultiply] = "Num *";
  names[key::KeypadAdd] = "Num +";
  names[key::KeypadSubtract] = "Num -";
  names[key::KeypadDecimal] = "Num Del";
  names[key::KeypadDivide] = "Num /";
  constexpr std::array<std::string_view, 24> functionKeys = {
      "F1",  "F2",  "F3",  "F4",  "F5",  "F6",  "F7",  "F8",  "F9",  "F10", "F11", "F12",
      "F13", "F14", "F15", "F16", "F17", "F18", "F19", "F20", "F21", "F22", "F23", "F24"};
  for (std::size_t i = 0; i < functionKeys.size(); ++i) names[key::F1 + i] = functionKeys[i];
  names[key::NumLock] = "Num Lock";
  names[key::ScrollLock] = "Scroll Lock";
  names[186] = ";";
  names[187] = "=";
  names[188] = ",";
  names[189] = "-";
  names[190] = ".";
  names[191] = "/";
  names[192] = "`";
  names[219] = "[";
  names[220] = "\\";
  names[221] = "]";
  names[222] = "'";
  return names;
}

constexpr KeyNames kKeyNames = BuildKeyNames();

// The Japanese keys are named as the keyboard labels them; the names are CP932 like every text
// of the settings file.
struct TJapaneseKey {
  TShortCut Code;
  std::string_view Utf8Name;
};
constexpr std::array<TJapaneseKey, 5> kJapaneseKeys = {{
    {key::Kanji, "半角/全角"},
    {key::Kana, "ひらがな"},
    {key::Convert, "変換"},
    {key::NonConvert, "無変換"},
    {key::Eisu, "英数"},
}};

std::string_view KeyName(std::size_t code) {
  if (!kKeyNames[code].empty()) return kKeyNames[code];
  static const std::array<std::string, kJapaneseKeys.size()> names = [] {
    std::array<std::string, kJapaneseKeys.size()> cp932;
    for (std::size_t i = 0; i < kJapaneseKeys.size(); ++i) cp932[i] = SystemText(kJapaneseKeys[i].Utf8Name);
    return cp932;
  }();
  for (std::size_t i = 0; i < kJapaneseKeys.size(); ++i)
    if (kJapaneseKeys[i].Code == code) return names[i];
  return {};
}

bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

bool StartsWithAscii(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameAscii(text.substr(0, prefix.size()), prefix);
}

}  // namespace

std::string FormatShortcut(TShortCut shortcut) {
  const std::string_view name = KeyName(shortcut & kKeyMask);
  if (name.empty()) return {};
  std::string text;
  if (shortcut & scShift) text += "Shift+";
  if (shortcut & scCtrl) text += "Ctrl+";
  if (shortcut & scAlt) text += "Alt+";
  text += name;
  return text;
}

TShortCut ParseShortcut(std::string_view text) {
  TShortCut modifiers = 0;
  for (;;) {
    if (StartsWithAscii(text, "Shift+")) {
      modifiers |= scShift;
      text.remove_prefix(6);
    } else if (StartsWithAscii(text, "Ctrl+")) {
      modifiers |= scCtrl;
      text.remove_prefix(5);
    } else if (StartsWithAscii(text, "Alt+")) {
      modifiers |= scAlt;
      text.remove_prefix(4);
    } else if (StartsWithAscii(text, "^")) {
      modifiers |= scCtrl;
      text.remove_prefix(1);
    } else {
      break;
    }
  }
  if (text.empty()) return 0;
  for (std::size_t code = key::BackSpace; code < kKeyNames.size(); ++code)
    if (const std::string_view name = KeyName(code); !name.empty() && SameAscii(name, text))
      return static_cast<TShortCut>(modifiers | code);
  return 0;
}

}  // namespace tarn::settings

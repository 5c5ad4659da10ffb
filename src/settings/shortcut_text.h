// Keyboard shortcuts as plain values and their text form ("Ctrl+O", "Shift+F3", "Ctrl+Del").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tarn::settings {

// A key code in the low byte plus modifier bits; 0 is no shortcut. The key codes are Tarn's own
// table below; the window maps its toolkit's keys onto them.
using TShortCut = std::uint16_t;

inline constexpr TShortCut scShift = 0x2000;
inline constexpr TShortCut scCtrl = 0x4000;
inline constexpr TShortCut scAlt = 0x8000;
inline constexpr TShortCut kKeyMask = 0x00FF;

namespace key {
inline constexpr TShortCut BackSpace = 8, Tab = 9, Enter = 13, Pause = 19, CapsLock = 20, Escape = 27,
                           Space = 32, PageUp = 33, PageDown = 34, End = 35, Home = 36, Left = 37,
                           Up = 38, Right = 39, Down = 40, PrintScreen = 44, Insert = 45, Delete = 46,
                           Digit0 = 48, LetterA = 65, Menu = 93, Keypad0 = 96, KeypadMultiply = 106,
                           KeypadAdd = 107, KeypadSubtract = 109, KeypadDecimal = 110, KeypadDivide = 111,
                           F1 = 112, NumLock = 144, ScrollLock = 145;
// The keys of a Japanese keyboard: ひらがな/カタカナ, 半角/全角, 変換, 無変換, 英数.
inline constexpr TShortCut Kana = 21, Kanji = 25, Convert = 28, NonConvert = 29, Eisu = 240;
}  // namespace key

// Modifiers "Shift+", "Ctrl+", "Alt+" in this order, then the key's name; the empty text for no
// shortcut or a key without a name.
std::string FormatShortcut(TShortCut shortcut);

// Modifier prefixes in any order and repetition ("^" stands for "Ctrl+"), then a key name, all
// without letter case. Text naming no key gives 0.
TShortCut ParseShortcut(std::string_view text);

}  // namespace tarn::settings

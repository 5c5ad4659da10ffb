// What a key pressed in a shortcut capture field stands for, and whether the field takes it.
#pragma once

#include <QtCore/qnamespace.h>
#include <string>
#include <string_view>

#include "settings/shortcut_text.h"

namespace tarn::ui {

// The combination of a key and the Shift, Ctrl and Alt held with it, in Tarn's key codes. Shift,
// Ctrl, Alt (and the other modifier keys) by themselves, and keys without a name, give 0. A
// shifted symbol counts as Shift and the key that carries it on a US layout ("Shift+1" for "!").
settings::TShortCut ShortCutOfKey(int key, Qt::KeyboardModifiers modifiers) noexcept;

struct TCapture {
  std::string Text;  // FormatShortcut text; empty for no key
  bool Tab = false;  // Tab or Shift+Tab, which every capture field takes as it comes
};
TCapture CaptureOfKey(int key, Qt::KeyboardModifiers modifiers);

// The help page's field takes every capture; the command page's field keeps what it shows when
// the key is the command's present shortcut, unless the key is Tab or Shift+Tab.
bool FieldTakesCapture(const TCapture& capture, std::string_view currentShortCut, bool commandField) noexcept;

}  // namespace tarn::ui

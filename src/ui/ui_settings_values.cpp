#include "ui/ui_settings_values.h"

#include <QApplication>
#include <QFontDatabase>

#include "ui/ui_text.h"

namespace tarn::ui {

QColor ColorOf(std::uint32_t value, const QPalette& palette) {
  if ((value & 0xFF000000u) == 0x80000000u) {
    // System colour indexes of the settings file, mapped onto the palette roles they stand for.
    switch (value & 0xFFu) {
      case 0: return palette.color(QPalette::Window);       // scroll bar
      case 1: return palette.color(QPalette::Dark);         // desktop
      case 4: return palette.color(QPalette::Window);       // menu
      case 5: return palette.color(QPalette::Base);         // window background
      case 6: return palette.color(QPalette::Shadow);       // window frame
      case 7: return palette.color(QPalette::WindowText);   // menu text
      case 8: return palette.color(QPalette::Text);         // window text
      case 9: return palette.color(QPalette::HighlightedText);  // caption text
      case 12: return palette.color(QPalette::Dark);        // application workspace
      case 13: return palette.color(QPalette::Highlight);
      case 14: return palette.color(QPalette::HighlightedText);
      case 15: return palette.color(QPalette::Button);      // button face
      case 16: return palette.color(QPalette::Mid);         // button shadow
      case 17: return palette.color(QPalette::Disabled, QPalette::Text);  // grey text
      case 18: return palette.color(QPalette::ButtonText);
      case 20: return palette.color(QPalette::Light);       // button highlight
      case 21: return palette.color(QPalette::Shadow);      // dark shadow
      case 22: return palette.color(QPalette::Midlight);    // light
      case 23: return palette.color(QPalette::ToolTipText);
      case 24: return palette.color(QPalette::ToolTipBase);
      default: return palette.color(QPalette::Window);
    }
  }
  if ((value & 0xFF000000u) != 0) return {};
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

QString InstalledFace(std::string_view cp932_name, bool fixed_pitch) {
  const QString name = FromCp932(cp932_name);
  const QStringList families = QFontDatabase::families();
  if (!name.isEmpty() && families.contains(name, Qt::CaseInsensitive)) return name;
  const char* const preferred[] = {fixed_pitch ? "IPAGothic" : "IPAPGothic", fixed_pitch ? "IPAPGothic" : "IPAGothic"};
  for (const char* face : preferred)
    if (families.contains(QLatin1String(face))) return QLatin1String(face);
  return fixed_pitch ? QFontDatabase::systemFont(QFontDatabase::FixedFont).family() : QApplication::font().family();
}

QFont SettingsFont(std::string_view cp932_name, int points, bool fixed_pitch) {
  QFont font(InstalledFace(cp932_name, fixed_pitch));
  if (points >= 1 && points <= 200) font.setPointSize(points);
  if (fixed_pitch) font.setStyleHint(QFont::TypeWriter);
  return font;
}

QKeySequence KeySequenceOf(settings::TShortCut shortcut) {
  namespace key = settings::key;
  const int code = shortcut & settings::kKeyMask;
  int qt = 0;
  if (code >= 'A' && code <= 'Z') {
    qt = Qt::Key_A + (code - 'A');
  } else if (code >= '0' && code <= '9') {
    qt = Qt::Key_0 + (code - '0');
  } else if (code >= key::Keypad0 && code <= key::Keypad0 + 9) {
    qt = Qt::Key_0 + (code - key::Keypad0);
  } else if (code >= key::F1 && code < key::F1 + 24) {
    qt = Qt::Key_F1 + (code - key::F1);
  } else {
    switch (code) {
      case key::BackSpace: qt = Qt::Key_Backspace; break;
      case key::Tab: qt = Qt::Key_Tab; break;
      case key::Enter: qt = Qt::Key_Return; break;
      case key::Pause: qt = Qt::Key_Pause; break;
      case key::Escape: qt = Qt::Key_Escape; break;
      case key::Space: qt = Qt::Key_Space; break;
      case key::PageUp: qt = Qt::Key_PageUp; break;
      case key::PageDown: qt = Qt::Key_PageDown; break;
      case key::End: qt = Qt::Key_End; break;
      case key::Home: qt = Qt::Key_Home; break;
      case key::Left: qt = Qt::Key_Left; break;
      case key::Up: qt = Qt::Key_Up; break;
      case key::Right: qt = Qt::Key_Right; break;
      case key::Down: qt = Qt::Key_Down; break;
      case key::Insert: qt = Qt::Key_Insert; break;
      case key::Delete: qt = Qt::Key_Delete; break;
      case key::KeypadMultiply: qt = Qt::Key_Asterisk; break;
      case key::KeypadAdd: qt = Qt::Key_Plus; break;
      case key::KeypadSubtract: qt = Qt::Key_Minus; break;
      case key::KeypadDecimal: qt = Qt::Key_Period; break;
      case key::KeypadDivide: qt = Qt::Key_Slash; break;
      case key::Kanji: qt = Qt::Key_Zenkaku_Hankaku; break;
      case key::Kana: qt = Qt::Key_Hiragana_Katakana; break;
      case key::Convert: qt = Qt::Key_Henkan; break;
      case key::NonConvert: qt = Qt::Key_Muhenkan; break;
      case key::Eisu: qt = Qt::Key_Eisu_toggle; break;
      default: return {};
    }
  }
  int mods = 0;
  if (shortcut & settings::scShift) mods |= Qt::SHIFT;
  if (shortcut & settings::scCtrl) mods |= Qt::CTRL;
  if (shortcut & settings::scAlt) mods |= Qt::ALT;
  return QKeySequence(qt | mods);
}

}  // namespace tarn::ui

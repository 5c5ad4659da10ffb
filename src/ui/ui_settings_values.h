// Settings values in the toolkit's terms: colour values, font faces and shortcut keys.
#pragma once

#include <QColor>
#include <QFont>
#include <QKeySequence>
#include <QPalette>
#include <cstdint>
#include <string_view>

#include "settings/shortcut_text.h"

namespace tarn::ui {

// The "no colour" value: a hit painted on the row's own background.
inline constexpr std::uint32_t clNone = 0x1FFFFFFF;

// 0x00BBGGRR, or 0x80000000 plus a system colour index taken from the palette; an invalid
// colour for clNone and for values of neither form.
QColor ColorOf(std::uint32_t value, const QPalette& palette);

// The face to draw a font name with: the name itself when it is installed; else, for the
// fixed-pitch faces the settings name by default, a fixed-pitch Japanese face whose full-width
// glyphs take two cells, and for other faces a proportional Japanese face or the desktop's own.
QString InstalledFace(std::string_view cp932_name, bool fixed_pitch);
// A font of that face at a size in points (a size below 1 keeps the default size).
QFont SettingsFont(std::string_view cp932_name, int points, bool fixed_pitch);

QKeySequence KeySequenceOf(settings::TShortCut shortcut);

}  // namespace tarn::ui

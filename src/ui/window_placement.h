// Where the main window and its floating toolbars open, and how the directory panel shares the
// window: saved values that fit no screen (a monitor since removed, a hand-edited or damaged
// settings file) are brought back to places and sizes a user can reach.
#pragma once

#include <QList>
#include <QRect>
#include <cstdint>

namespace tarn::ui {

// Saved bounds of any 32-bit values made usable on the screens' work areas. The screen is the one
// the bounds overlap most; bounds on none go to the top-left corner of the first. The size is at
// most that screen's work area (a width or height below 1 takes the whole of it); a window that
// reaches past the work area is moved in until it lies wholly on it. No screens: the bounds kept
// to what a window system can place.
QRect PlacedOnScreens(std::int32_t left, std::int32_t top, std::int32_t width, std::int32_t height,
                      const QList<QRect>& screens);

// The directory panel's width in a window this wide: the saved width, kept to at least
// kMinPanelWidth and to no more than leaves boxesWidth for the request panel; in a window too
// narrow for both, a third of it.
inline constexpr int kMinPanelWidth = 40;
int LeftPanelWidth(std::int32_t saved, int windowWidth, int boxesWidth);

}  // namespace tarn::ui

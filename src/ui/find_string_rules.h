// The registered search words window's rules that need no widget: the line a double-click picks,
// the caret status, the keys its editor keeps from the main window, and where the window opens.
#pragma once

#include <QList>
#include <QRect>
#include <optional>
#include <string>
#include <string_view>

namespace tarn::ui {

// What a double-clicked row hands to the search-string box: the row without leading and trailing
// bytes 0-32 (a full-width blank is no such byte and stays). Nothing for a row that holds no more
// than such bytes: a blank-looking line must not wipe the search string.
std::optional<std::string> PickedFindString(std::string_view row);

// "%4.d: %4.d ": the caret's line counted from 1, its column counted from 0, each right-aligned
// to 4 (column 0 shows as "0").
std::string CaretStatusText(int row, int col);

// Keys the editor acts on itself, which the main window's shortcuts (Ctrl+Left goes back in the
// result history) must not take from it while the window is active.
bool EditorKeepsKey(int key);

// Where the window opens when no position is stored: beside its owner's frame on the screen,
// right or else left. When the owner leaves no room (it fills the screen on a first start), at
// the screen's right edge below `keepClear` (the owner's menus and request boxes, whose search
// box the window fills), as tall as the room there allows but not below `minimum`.
QRect PlacedBeside(QSize size, const QRect& owner, const QRect& keepClear, const QRect& screen, QSize minimum);

}  // namespace tarn::ui

// What a hand-edited settings file may hold that the window cannot use as it stands: help entries
// that open nothing ("Count" above the items present) and one key given to two holders, which
// the toolkit would then run for neither.
#pragma once

#include "settings/settings_records.h"

class QWidget;

namespace tarn::ui {

// Leaves out the help entries without a file and takes each doubled key from all but its first
// holder; the next save writes the settings so. When a key was taken, `window` says so once it
// is on the screen.
void SettleHandEditedSettings(settings::TTarnSettings& s, QWidget& window);

}  // namespace tarn::ui

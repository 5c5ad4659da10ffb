// The look of a disabled command's icon.
#pragma once

#include <QIcon>

namespace tarn::ui {

// The icon with a disabled form of its own: a faint, flat grey. Styles grey a disabled icon by its
// lightness alone, so that a white or a grey picture would look the same enabled and disabled.
QIcon WithDisabledLook(const QIcon& icon);

}  // namespace tarn::ui

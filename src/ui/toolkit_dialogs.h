// The toolkit's own dialogs (file, folder, colour and message boxes) made to fit a Japanese
// program: their texts in Japanese, and the file dialog's columns shown whole.
#pragma once

class QCoreApplication;
class QFileDialog;

namespace tarn::ui {

// Installs the toolkit's Japanese translations from its translations folder, owned by app.
// Returns false when they are not installed (the dialogs then stay in English).
bool InstallToolkitTranslations(QCoreApplication& app);

// Sizes the toolkit's own file dialog so that sizes, types and dates show without being cut;
// a dialog of the desktop is left as it is.
void FitFileDialog(QFileDialog& dialog);

}  // namespace tarn::ui

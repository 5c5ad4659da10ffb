#include "ui/hand_edited_settings.h"

#include <QTimer>
#include <QWidget>

#include "ui/help_rows.h"
#include "ui/message_box.h"
#include "ui/shortcut_info.h"
#include "ui/ui_text.h"

namespace tarn::ui {

void SettleHandEditedSettings(settings::TTarnSettings& s, QWidget& window) {
  s.HelpEntries = UsableHelpEntries(s.HelpEntries);
  const std::vector<TShortCutClash> clashes = ResolveShortCutClashes(s.ShortCuts, s.HelpEntries);
  if (clashes.empty()) return;
  QTimer::singleShot(0, &window, [&window, message = FromCp932(ShortCutClashMessage(clashes))] {
    ShowMessageBox(&window, QMessageBox::Information, QStringLiteral("Tarn"), message);
  });
}

}  // namespace tarn::ui

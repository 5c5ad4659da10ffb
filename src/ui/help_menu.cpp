#include "ui/help_menu.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QStyle>

#include "core/system_text.h"
#include "search/native_path.h"
#include "settings/settings_records.h"
#include "ui/help_rows.h"
#include "ui/ui_settings_values.h"
#include "ui/ui_text.h"

namespace tarn::ui {

void BuildHelpMenu(QMenu& menu, const std::vector<std::string>& helpEntries,
                   const std::function<void(std::size_t index)>& run) {
  menu.clear();
  const QIcon icon = QIcon::fromTheme(QStringLiteral("help-contents"), menu.style()->standardIcon(QStyle::SP_DialogHelpButton));
  if (helpEntries.empty()) {
    QAction* none = menu.addAction(icon, QStringLiteral("（なし）"));
    none->setObjectName(QStringLiteral("miHelpDummy"));
    none->setData(0);
    none->setEnabled(false);
    return;
  }
  for (std::size_t i = 0; i < helpEntries.size(); ++i) {
    const settings::THelpEntry entry = settings::ParseHelpEntry(helpEntries[i]);
    QAction* item = menu.addAction(icon, FromCp932(entry.Title));
    if (i == 0) item->setObjectName(QStringLiteral("miHelpDummy"));
    item->setData(static_cast<qulonglong>(i));
    item->setShortcut(KeySequenceOf(settings::ParseShortcut(entry.ShortCut)));
    item->setEnabled(!entry.FileName.empty());
    QObject::connect(item, &QAction::triggered, &menu, [run, i] { run(i); });
  }
}

std::optional<QUrl> HelpTarget(std::string_view file) {
  if (IsHelpAddress(file)) {
    QUrl url(FromCp932(file));
    if (url.isValid()) return url;
    return std::nullopt;
  }
  if (!HelpFileExists(file)) return std::nullopt;
  return QUrl::fromLocalFile(QFileInfo(QString::fromStdString(search::Cp932ToNative(file))).absoluteFilePath());
}

void ActionHelpShowExecute(QWidget* parent, const std::string& helpEntry) {
  const settings::THelpEntry entry = settings::ParseHelpEntry(helpEntry);
  const std::optional<QUrl> target = HelpTarget(entry.FileName);
  if (target && QDesktopServices::openUrl(*target)) return;
  std::string message = SystemText("%s を開けません");
  message.replace(message.find("%s"), 2, entry.FileName);
  QMessageBox::warning(parent, QStringLiteral("Tarn"), FromCp932(message));
}

}  // namespace tarn::ui

#include "ui/toolkit_dialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLibraryInfo>
#include <QListView>
#include <QLocale>
#include <QSplitter>
#include <QTranslator>
#include <QTreeView>
#include <algorithm>
#include <memory>

namespace tarn::ui {

bool InstallToolkitTranslations(QCoreApplication& app) {
  // The program speaks Japanese whatever the session's language, so its dialogs do too.
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) return false;
  translator->setParent(&app);
  // Sizes, dates and file types in the dialogs follow the default locale; a session without a
  // language (the C locale) gets Japanese ones, as the folder panel's collation does.
  if (QLocale().language() == QLocale::C) QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
  return QCoreApplication::installTranslator(translator.release());
}

void FitFileDialog(QFileDialog& dialog) {
  // The toolkit's dialog names its detail view "treeView"; a dialog of the desktop has none.
  auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
  if (!details) return;
  QHeaderView& header = *details->header();
  header.setStretchLastSection(false);
  header.setSectionResizeMode(0, QHeaderView::Stretch);
  for (int column = 1; column < header.count(); ++column) header.setSectionResizeMode(column, QHeaderView::ResizeToContents);
  // The places on the left show their names whole ("コンピュータ" and the like).
  auto* places = dialog.findChild<QListView*>(QStringLiteral("sidebar"));
  auto* splitter = dialog.findChild<QSplitter*>(QStringLiteral("splitter"));
  const QFontMetrics metrics(dialog.font());
  int placesWidth = 0;
  if (places && splitter && splitter->count() == 2) {
    const QAbstractItemView& view = *places;
    placesWidth = view.sizeHintForColumn(0) + 2 * places->frameWidth() + metrics.averageCharWidth() * 2;
  }
  // Room for the names beside the other columns.
  dialog.resize(std::max(dialog.width(), placesWidth + metrics.averageCharWidth() * 100),
                std::max(dialog.height(), metrics.height() * 28));
  if (placesWidth > 0) splitter->setSizes({placesWidth, std::max(1, splitter->width() - placesWidth)});
}

}  // namespace tarn::ui

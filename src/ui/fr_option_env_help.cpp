// The options dialog's page "ヘルプ設定": the help entries as rows of title, file and shortcut,
// edited through the fields below the list.
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/fr_option_env.h"
#include "ui/shortcut_edit.h"
#include "ui/ui_text.h"

namespace tarn::ui {
namespace {

enum HelpButton { kUp, kDown, kAdd, kModify, kDelete };

}  // namespace

QWidget* TFormOptionEnv::CreatePageHelp() {
  auto* page = new QWidget;
  listViewHelp_ = new QTreeWidget;
  listViewHelp_->setObjectName(QStringLiteral("ListViewHelp"));
  listViewHelp_->setColumnCount(3);
  listViewHelp_->setHeaderLabels({QStringLiteral("タイトル"), QStringLiteral("ファイル名"), QStringLiteral("ショートカット")});
  listViewHelp_->setRootIsDecorated(false);
  listViewHelp_->setUniformRowHeights(true);
  listViewHelp_->setSelectionMode(QAbstractItemView::SingleSelection);
  listViewHelp_->setSelectionBehavior(QAbstractItemView::SelectRows);
  listViewHelp_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  listViewHelp_->header()->setSectionsClickable(false);
  // All three columns in sight: the file column takes what the title and shortcut leave.
  QHeaderView* header = listViewHelp_->header();
  header->setStretchLastSection(false);
  header->setSectionResizeMode(1, QHeaderView::Stretch);

  const std::pair<const char*, const char*> buttons[] = {
      {"KoFlatButtonHelpUp", "上へ"},       {"KoFlatButtonHelpDown", "下へ"},   {"KoFlatButtonHelpAdd", "追加"},
      {"KoFlatButtonHelpModify", "変更"}, {"KoFlatButtonHelpDelete", "削除"},
  };
  for (std::size_t i = 0; i < helpButtons_.size(); ++i) {
    helpButtons_[i] = new QPushButton(QString::fromUtf8(buttons[i].second));
    helpButtons_[i]->setObjectName(QLatin1String(buttons[i].first));
  }
  helpTitle_ = new QLineEdit;
  helpTitle_->setObjectName(QStringLiteral("FlatEditHelpTitle"));
  helpFile_ = new QLineEdit;
  helpFile_->setObjectName(QStringLiteral("FlatEditHelpFile"));
  auto* browse = new QToolButton;
  browse->setObjectName(QStringLiteral("FlatSpeedButtonHelpFile"));
  browse->setText(QStringLiteral("..."));
  helpShortCut_ = new TShortCutEdit;
  helpShortCut_->setObjectName(QStringLiteral("FlatEditHelpShortCut"));
  auto* clear = new QToolButton;
  clear->setObjectName(QStringLiteral("FlatSpeedButtonHelpShortCut"));
  clear->setText(QStringLiteral("×"));

  auto* grid = new QGridLayout(page);
  grid->addWidget(listViewHelp_, 0, 0, 3, 3);
  grid->addWidget(helpButtons_[kUp], 0, 3);
  grid->addWidget(helpButtons_[kDown], 1, 3, Qt::AlignTop);
  const std::pair<const char*, QWidget*> fields[] = {
      {"タイトル", helpTitle_}, {"ファイル名", helpFile_}, {"ショートカット", helpShortCut_}};
  QToolButton* const fieldButtons[] = {nullptr, browse, clear};
  for (int i = 0; i < 3; ++i) {
    auto* label = new QLabel(QString::fromUtf8(fields[i].first));
    label->setBuddy(fields[i].second);
    grid->addWidget(label, 3 + i, 0);
    grid->addWidget(fields[i].second, 3 + i, 1, 1, fieldButtons[i] ? 1 : 2);
    if (fieldButtons[i]) grid->addWidget(fieldButtons[i], 3 + i, 2);
    grid->addWidget(helpButtons_[kAdd + i], 3 + i, 3);
  }
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(2, 1);

  connect(listViewHelp_, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateHelpButtons(); });
  connect(listViewHelp_, &QTreeWidget::itemDoubleClicked, this, [this] { ListViewHelpDblClick(); });
  connect(helpTitle_, &QLineEdit::textChanged, this, [this] { UpdateHelpButtons(); });
  connect(helpFile_, &QLineEdit::textChanged, this, [this] { UpdateHelpButtons(); });
  connect(helpShortCut_, &TShortCutEdit::Captured, this,
          [this](const TCapture& capture) { CaptureKey(*helpShortCut_, capture, false); });
  connect(helpShortCut_, &TShortCutEdit::CaptureActive, this, [this](bool active) { SetCaptureActive(active); });
  connect(clear, &QToolButton::clicked, helpShortCut_, &QLineEdit::clear);
  connect(browse, &QToolButton::clicked, this, [this] {
    const QString chosen = QFileDialog::getOpenFileName(
        this, QStringLiteral("ヘルプファイルを指定してください。"), helpFile_->text(),
        QStringLiteral("WinHelp/HtmlHelp/Html File (*.hlp *.chm *.htm *.html);;すべてのファイル (*)"));
    if (!chosen.isEmpty()) helpFile_->setText(chosen);
  });
  connect(helpButtons_[kUp], &QPushButton::clicked, this, [this] { KoFlatButtonHelpMoveClick(true); });
  connect(helpButtons_[kDown], &QPushButton::clicked, this, [this] { KoFlatButtonHelpMoveClick(false); });
  connect(helpButtons_[kAdd], &QPushButton::clicked, this, [this] { KoFlatButtonHelpAddClick(); });
  connect(helpButtons_[kModify], &QPushButton::clicked, this, [this] { KoFlatButtonHelpModifyClick(); });
  connect(helpButtons_[kDelete], &QPushButton::clicked, this, [this] { KoFlatButtonHelpDeleteClick(); });
  return page;
}

void TFormOptionEnv::FillHelpList(std::optional<std::size_t> select) {
  const QSignalBlocker block(listViewHelp_);
  listViewHelp_->clear();
  for (const settings::THelpEntry& row : helpRows_)
    listViewHelp_->addTopLevelItem(new QTreeWidgetItem(
        {FromCp932(row.Title), FromCp932(row.FileName), FromCp932(row.ShortCut)}));
  if (select && *select < helpRows_.size()) {
    QTreeWidgetItem* item = listViewHelp_->topLevelItem(static_cast<int>(*select));
    listViewHelp_->setCurrentItem(item);
    item->setSelected(true);
  }
  FitHelpColumns();
  UpdateHelpButtons();
}

// The title and shortcut columns are as wide as their headings and texts in the page's font (the
// title column at least eight full-width characters, and no more than a third of the list unless
// its heading needs it); the file column takes the rest.
void TFormOptionEnv::FitHelpColumns() {
  const QFontMetrics metrics(listViewHelp_->font());
  QHeaderView* header = listViewHelp_->header();
  const int padding = 2 * metrics.averageCharWidth();
  int title = std::max(header->sectionSizeHint(0), metrics.horizontalAdvance(QString(8, QChar(0x3042))) + padding);
  int shortCut = header->sectionSizeHint(2);
  for (int row = 0; row < listViewHelp_->topLevelItemCount(); ++row) {
    const QTreeWidgetItem* item = listViewHelp_->topLevelItem(row);
    title = std::max(title, metrics.horizontalAdvance(item->text(0)) + padding);
    shortCut = std::max(shortCut, metrics.horizontalAdvance(item->text(2)) + padding);
  }
  const int third = listViewHelp_->viewport()->width() / 3;
  header->resizeSection(0, std::max(header->sectionSizeHint(0), std::min(title, third)));
  header->resizeSection(2, shortCut);
}

std::optional<std::size_t> TFormOptionEnv::SelectedHelpRow() const {
  const QList<QTreeWidgetItem*> selected = listViewHelp_->selectedItems();
  if (selected.isEmpty()) return std::nullopt;
  const int row = listViewHelp_->indexOfTopLevelItem(selected.front());
  if (row < 0) return std::nullopt;
  return static_cast<std::size_t>(row);
}

void TFormOptionEnv::UpdateHelpButtons() {
  const THelpButtons states = HelpButtons(helpRows_.size(), SelectedHelpRow(), ToCp932(helpTitle_->text()),
                                          ToCp932(helpFile_->text()));
  helpButtons_[kUp]->setEnabled(states.Up);
  helpButtons_[kDown]->setEnabled(states.Down);
  helpButtons_[kAdd]->setEnabled(states.Add);
  helpButtons_[kModify]->setEnabled(states.Modify);
  helpButtons_[kDelete]->setEnabled(states.Delete);
}

void TFormOptionEnv::ListViewHelpDblClick() {
  if (const std::optional<std::size_t> row = SelectedHelpRow()) {
    const settings::THelpEntry& entry = helpRows_[*row];
    helpTitle_->setText(FromCp932(entry.Title));
    helpFile_->setText(FromCp932(entry.FileName));
    helpShortCut_->SetText(entry.ShortCut);
  }
  UpdateHelpButtons();
}

settings::THelpEntry TFormOptionEnv::HelpFields() const {
  return {ToCp932(helpTitle_->text()), ToCp932(helpFile_->text()), helpShortCut_->Text()};
}

bool TFormOptionEnv::CheckHelpFields() {
  if (RefuseTextWithoutCp932({{"タイトル", helpTitle_}, {"ファイル名", helpFile_}})) return false;
  const settings::THelpEntry fields = HelpFields();
  const THelpField refused = tarn::ui::CheckHelpFields(fields.Title, fields.FileName, HelpFileExists);
  switch (refused) {
    case THelpField::Title:
      Refuse(pageControl_->currentIndex(), helpTitle_, HelpFieldRefusal(refused, fields.FileName));
      return false;
    case THelpField::File:
      Refuse(pageControl_->currentIndex(), helpFile_, HelpFieldRefusal(refused, fields.FileName));
      return false;
    case THelpField::None:
      return true;
  }
  return true;
}

void TFormOptionEnv::KoFlatButtonHelpAddClick() {
  if (!CheckHelpFields()) return;
  const settings::THelpEntry entry = HelpFields();
  if (const auto owner = FindShortCutOwner(shortCuts_, helpRows_, entry.ShortCut))
    if (!ConfirmShortCutReplace(entry.ShortCut, *owner)) return;
  const std::optional<std::size_t> selected = SelectedHelpRow();
  helpRows_.push_back(entry);
  FillHelpList(selected);
}

void TFormOptionEnv::KoFlatButtonHelpModifyClick() {
  const std::optional<std::size_t> row = SelectedHelpRow();
  if (!row) {
    Beep();
    return;
  }
  if (!CheckHelpFields()) return;
  const settings::THelpEntry entry = HelpFields();
  const std::optional<TShortCutOwner> owner = FindShortCutOwner(shortCuts_, helpRows_, entry.ShortCut);
  if (owner && *owner != TShortCutOwner{-1, static_cast<int>(*row)} && !ConfirmShortCutReplace(entry.ShortCut, *owner))
    return;
  helpRows_[*row] = entry;
  FillHelpList(row);
}

void TFormOptionEnv::KoFlatButtonHelpDeleteClick() {
  const std::optional<std::size_t> row = SelectedHelpRow();
  if (!row) return;
  helpRows_.erase(helpRows_.begin() + static_cast<std::ptrdiff_t>(*row));
  FillHelpList(std::nullopt);
}

void TFormOptionEnv::KoFlatButtonHelpMoveClick(bool up) {
  const std::optional<std::size_t> row = SelectedHelpRow();
  if (!row) return;
  if (const std::optional<std::size_t> moved = MoveHelpRow(helpRows_, *row, up)) FillHelpList(moved);
}

}  // namespace tarn::ui

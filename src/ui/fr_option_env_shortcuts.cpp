// The options dialog's page "ショートカット設定": the commands of each category, the capture
// of a new combination, and taking a combination from the command or help entry that has it.
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/fr_option_env.h"
#include "ui/message_box.h"
#include "ui/shortcut_edit.h"
#include "ui/ui_text.h"

namespace tarn::ui {

QWidget* TFormOptionEnv::CreatePageShortCut() {
  auto* page = new QWidget;
  category_ = new QComboBox;
  category_->setObjectName(QStringLiteral("FlatComboBoxCate"));
  commands_ = new QListWidget;
  commands_->setObjectName(QStringLiteral("FlatListBoxCmd"));
  commands_->setSelectionMode(QAbstractItemView::SingleSelection);
  newShortCut_ = new TShortCutEdit;
  newShortCut_->setObjectName(QStringLiteral("FlatEditNewShortCut"));
  currentShortCut_ = new QLineEdit;
  currentShortCut_->setObjectName(QStringLiteral("FlatEditCurrentShortCut"));
  currentShortCut_->setReadOnly(true);
  currentShortCut_->setFocusPolicy(Qt::ClickFocus);
  modifyShortCut_ = new QPushButton(QStringLiteral("変更"));
  modifyShortCut_->setObjectName(QStringLiteral("KoFlatButtonModifyShortCut"));
  deleteShortCut_ = new QPushButton(QStringLiteral("削除"));
  deleteShortCut_->setObjectName(QStringLiteral("KoFlatButtonDeleteShortCut"));

  auto label = [](const char* text, QWidget* buddy) {
    auto* l = new QLabel(QString::fromUtf8(text));
    l->setBuddy(buddy);
    return l;
  };
  auto* grid = new QGridLayout(page);
  grid->addWidget(label("カテゴリ", category_), 0, 0);
  grid->addWidget(category_, 1, 0);
  grid->addWidget(label("コマンド", commands_), 2, 0);
  grid->addWidget(commands_, 3, 0, 5, 1);
  grid->addWidget(label("新しいショートカット", newShortCut_), 2, 1, 1, 2);
  grid->addWidget(newShortCut_, 3, 1);
  grid->addWidget(modifyShortCut_, 3, 2);
  grid->addWidget(label("ショートカット", currentShortCut_), 4, 1, 1, 2);
  grid->addWidget(currentShortCut_, 5, 1);
  grid->addWidget(deleteShortCut_, 5, 2);
  grid->setRowStretch(7, 1);
  grid->setColumnStretch(0, 3);
  grid->setColumnStretch(1, 2);

  connect(commands_, &QListWidget::itemSelectionChanged, this, [this] { FlatListBoxCmdClick(); });
  connect(newShortCut_, &TShortCutEdit::Captured, this,
          [this](const TCapture& capture) { CaptureKey(*newShortCut_, capture, true); });
  connect(newShortCut_, &TShortCutEdit::CaptureActive, this, [this](bool active) { SetCaptureActive(active); });
  connect(modifyShortCut_, &QPushButton::clicked, this, [this] { KoFlatButtonModifyShortCutClick(); });
  connect(deleteShortCut_, &QPushButton::clicked, this, [this] { KoFlatButtonDeleteShortCutClick(); });
  return page;
}

void TFormOptionEnv::FlatComboBoxCateChange() {
  const int category = category_->currentIndex();
  if (category < 0 || static_cast<std::size_t>(category) >= shortCuts_.Categories.size()) return;
  const QSignalBlocker block(commands_);
  commands_->clear();
  for (const TCommandRec& command : shortCuts_.Categories[static_cast<std::size_t>(category)].Commands)
    commands_->addItem(FromCp932(command.Name));
  if (commands_->count() > 0) commands_->setCurrentRow(0);
  FlatListBoxCmdClick();
}

std::optional<std::size_t> TFormOptionEnv::SelectedCommand() const {
  const int category = category_->currentIndex();
  const int row = commands_->currentRow();
  if (category < 0 || row < 0 || !commands_->item(row)->isSelected()) return std::nullopt;
  return static_cast<std::size_t>(row);
}

void TFormOptionEnv::ShowSelectedCommandShortCut() {
  const std::optional<std::size_t> row = SelectedCommand();
  currentShortCut_->setText(
      row ? FromCp932(shortCuts_.Categories[static_cast<std::size_t>(category_->currentIndex())].Commands[*row].ShortCut)
          : QString());
}

void TFormOptionEnv::FlatListBoxCmdClick() {
  ShowSelectedCommandShortCut();
  newShortCut_->clear();
  UpdateShortCutButtons();
}

void TFormOptionEnv::UpdateShortCutButtons() {
  const TShortCutButtons buttons = ShortCutButtons(newShortCut_->Text(), ToCp932(currentShortCut_->text()));
  modifyShortCut_->setEnabled(buttons.Modify);
  deleteShortCut_->setEnabled(buttons.Delete);
}

void TFormOptionEnv::CaptureKey(TShortCutEdit& field, const TCapture& capture, bool commandField) {
  if (!FieldTakesCapture(capture, ToCp932(currentShortCut_->text()), commandField)) return;
  field.SetText(capture.Text);
  UpdateShortCutButtons();
}

// Enter, Esc and Ctrl+Tab belong to the capture field while it has the focus.
void TFormOptionEnv::SetCaptureActive(bool active) {
  okButton_->setDefault(!active);
  actionTabChange_->setEnabled(!active);
}

bool TFormOptionEnv::ConfirmShortCutReplace(const std::string& text, TShortCutOwner owner) {
  QMessageBox question(QMessageBox::Question, windowTitle(),
                       FromCp932(ShortCutReplaceQuestion(shortCuts_, helpRows_, text, owner)),
                       QMessageBox::Yes | QMessageBox::No, this);
  KeepLinesWhole(question);
  if (question.exec() != QMessageBox::Yes) return false;
  ClearShortCutOwner(shortCuts_, helpRows_, owner);
  if (owner.IsHelpRow()) {
    if (QTreeWidgetItem* item = listViewHelp_->topLevelItem(owner.Index)) item->setText(2, QString());
  } else {
    ShowSelectedCommandShortCut();
    UpdateShortCutButtons();
  }
  return true;
}

void TFormOptionEnv::KoFlatButtonModifyShortCutClick() {
  const std::string text = newShortCut_->Text();
  const std::optional<std::size_t> row = SelectedCommand();
  if (text.empty() || !row) return;
  const TShortCutOwner self{category_->currentIndex(), static_cast<int>(*row)};
  const std::optional<TShortCutOwner> owner = FindShortCutOwner(shortCuts_, helpRows_, text);
  if (owner && *owner != self && !ConfirmShortCutReplace(text, *owner)) return;
  shortCuts_.Categories[static_cast<std::size_t>(self.Category)].Commands[*row].ShortCut = text;
  FlatListBoxCmdClick();
}

void TFormOptionEnv::KoFlatButtonDeleteShortCutClick() {
  const std::optional<std::size_t> row = SelectedCommand();
  if (!row) return;
  shortCuts_.Categories[static_cast<std::size_t>(category_->currentIndex())].Commands[*row].ShortCut.clear();
  currentShortCut_->clear();
  UpdateShortCutButtons();
}

}  // namespace tarn::ui

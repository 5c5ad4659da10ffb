#include "ui/fr_synonym_dic.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>

#include "core/system_text.h"
#include "editor/ko_editor.h"
#include "settings/ini_file.h"
#include "ui/aux_editor.h"
#include "ui/editor_file.h"

namespace tarn::ui {
namespace {

// What a new dictionary shows: a comment and one group, a name in four spellings and an address.
constexpr const char* kSampleLines[] = {
    "//コメント",
    "yamada,山田,ヤマダ,やまだ,yamada@example.jp",
};

}  // namespace

TFormSynonymDic::TFormSynonymDic(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("FormSynonymDic"));
  setWindowTitle(QStringLiteral("同意語辞書"));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* flatPanelEditor = new QWidget(this);
  flatPanelEditor->setObjectName(QStringLiteral("FlatPanelEditor"));
  auto* editorLayout = new QVBoxLayout(flatPanelEditor);
  editorLayout->setContentsMargins(0, 0, 0, 0);
  koEditor1_ = new editor::TKoEditor(flatPanelEditor);
  koEditor1_->setObjectName(QStringLiteral("KoEditor1"));
  SetUpAuxEditor(*koEditor1_);
  koEditor1_->Caret.LockScroll = true;
  koEditor1_->Caret.SelDragMode = editor::TSelDragMode::dm_Manual;
  koEditor1_->DblClkLine = false;
  koEditor1_->Marks.WrapMark = true;
  koEditor1_->View.Commenter = "//";
  koEditor1_->View.Colors.Comment = {QColor(), QColor(0, 128, 0)};
  koEditor1_->Refresh();
  editorLayout->addWidget(koEditor1_);
  layout->addWidget(flatPanelEditor, 1);

  auto* panelStatus = new QWidget(this);
  panelStatus->setObjectName(QStringLiteral("PanelStatus"));
  panelStatus->setMinimumHeight(43);
  panelStatus->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  auto* buttons = new QHBoxLayout(panelStatus);
  buttons->setContentsMargins(8, 8, 8, 8);
  buttons->addStretch(1);
  koFlatButtonOK_ = new QPushButton(QStringLiteral("保存"), panelStatus);
  koFlatButtonOK_->setObjectName(QStringLiteral("KoFlatButtonOK"));
  koFlatButtonOK_->setDefault(true);
  koFlatButtonCancel_ = new QPushButton(QStringLiteral("キャンセル"), panelStatus);
  koFlatButtonCancel_->setObjectName(QStringLiteral("KoFlatButtonCancel"));
  for (QPushButton* button : {koFlatButtonOK_, koFlatButtonCancel_}) {
    button->setMinimumWidth(75);
    buttons->addWidget(button);
  }
  layout->addWidget(panelStatus);

  new TEditCommands(*koEditor1_, *this);  // a child of the window
  connect(koFlatButtonOK_, &QPushButton::clicked, this, [this] { KoFlatButtonOKClick(); });
  connect(koFlatButtonCancel_, &QPushButton::clicked, this, &QDialog::reject);

  for (const char* line : kSampleLines) koEditor1_->Lines.Add(SystemText(line));
}

bool TFormSynonymDic::Edit(QWidget* mainWindow, const std::filesystem::path& synonymDicPath, const QFont& baseFont) {
  TFormSynonymDic form(mainWindow);
  form.setFont(baseFont);
  // Not resizable: the design's client area, taller only when a large font needs it.
  form.setFixedSize(QSize(529, 393).expandedTo(form.minimumSizeHint()));
  form.DicFileName = synonymDicPath;
  if (!form.FormShow()) return false;
  form.koEditor1_->setFocus();
  return form.exec() == QDialog::Accepted;
}

bool TFormSynonymDic::FormShow() {
  if (ReadEditorFile(DicFileName, koEditor1_->Lines) != TFileRead::fr_Failed) return true;
  ShowFileError(parentWidget(), settings::CannotOpenFileMessage(DicFileName));
  return false;
}

void TFormSynonymDic::KoFlatButtonOKClick() {
  koEditor1_->CommitComposition();
  try {
    WriteEditorFile(DicFileName, koEditor1_->Lines);
  } catch (const std::exception& e) {
    ShowFileError(this, e.what());
    return;
  }
  accept();
}

}  // namespace tarn::ui

#include "ui/aux_editor.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>

#include "core/system_text.h"
#include "ui/ui_settings_values.h"
#include "ui/ui_text.h"

namespace tarn::ui {

void SetUpAuxEditor(editor::TKoEditor& editor) {
  editor.ReadOnly = false;
  editor.WantReturns = true;
  editor.WantTabs = true;
  editor.Caret.TabSpaceCount = 8;
  editor.Caret.RowSelect = true;
  editor.Caret.FreeCaret = true;
  editor.Caret.AutoIndent = true;
  editor.Caret.BackSpaceUnIndent = true;
  editor.Caret.SelMove = true;
  editor.LineIndent = true;
  editor.UndoListMax = 32767;
  editor.Margin = {6, 4, 0, 0};
  editor.Marks.EofMark = true;
  editor.Marks.RetMark = true;
  editor.ExMarks.TabMark = true;
  editor.ExMarks.DBSpaceMark = true;
  editor.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  editor.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Its own face: the window's base font does not reach it.
  QFont font(InstalledFace(SystemText("ＭＳ ゴシック"), true));
  font.setPixelSize(15);
  editor.setFont(font);
  ScrollPagesByWheel(editor);
  editor.Refresh();
}

void ScrollPagesByWheel(editor::TKoEditor& editor) {
  editor.OnMouseWheelUp = [](editor::TKoEditor& sender, Qt::KeyboardModifiers, QPoint, bool& handled) {
    sender.ScrollPageUp();
    handled = true;
  };
  editor.OnMouseWheelDown = [](editor::TKoEditor& sender, Qt::KeyboardModifiers, QPoint, bool& handled) {
    sender.ScrollPageDown();
    handled = true;
  };
}

TEditCommandStates EditCommandStates(bool canUndo, bool canRedo, bool selected, bool clipboardHasText) {
  return {canUndo, canRedo, selected, selected, clipboardHasText, true};
}

bool ClipboardHoldsText() {
  const QMimeData* mime = QApplication::clipboard()->mimeData();
  return mime != nullptr && mime->hasText();
}

TEditCommands::TEditCommands(editor::TKoEditor& editor, QWidget& window) : QObject(&window), editor_(editor) {
  auto action = [&window](const char* name, const char* caption, const char* hint, QKeyCombination key) {
    auto* a = new QAction(QString::fromUtf8(caption), &window);
    a->setObjectName(QLatin1String(name));
    a->setToolTip(QString::fromUtf8(hint));
    a->setStatusTip(QString::fromUtf8(hint));
    a->setShortcut(QKeySequence(key));
    window.addAction(a);
    return a;
  };
  undo_ = action("ActionEditUndo", "元に戻す(&U)", "元に戻す", Qt::CTRL | Qt::Key_Z);
  redo_ = action("ActionEditRedo", "やり直し(&R)", "やり直し", Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
  cut_ = action("ActionEditCut", "切り取り(&T)", "切り取り", Qt::CTRL | Qt::Key_X);
  copy_ = action("ActionEditCopy", "コピー(&C)", "コピー", Qt::CTRL | Qt::Key_C);
  paste_ = action("ActionEditPaste", "貼り付け(&P)", "貼り付け", Qt::CTRL | Qt::Key_V);
  selectAll_ = action("ActionEditSelectAll", "すべて選択(&A)", "すべて選択", Qt::CTRL | Qt::Key_A);
  connect(undo_, &QAction::triggered, this, [this] { ActionEditUndoExecute(); });
  connect(redo_, &QAction::triggered, this, [this] { ActionEditRedoExecute(); });
  connect(cut_, &QAction::triggered, this, [this] { ActionEditCutExecute(); });
  connect(copy_, &QAction::triggered, this, [this] { ActionEditCopyExecute(); });
  connect(paste_, &QAction::triggered, this, [this] { ActionEditPasteExecute(); });
  connect(selectAll_, &QAction::triggered, this, [this] { ActionEditSelectAllExecute(); });

  popupMenuEdit_ = new QMenu(&window);
  popupMenuEdit_->setObjectName(QStringLiteral("PopupMenuEdit"));
  popupMenuEdit_->addAction(undo_);
  popupMenuEdit_->addAction(redo_);
  popupMenuEdit_->addSeparator();
  popupMenuEdit_->addAction(cut_);
  popupMenuEdit_->addAction(copy_);
  popupMenuEdit_->addAction(paste_);
  popupMenuEdit_->addSeparator();
  popupMenuEdit_->addAction(selectAll_);
  connect(popupMenuEdit_, &QMenu::aboutToShow, this, [this] { ActionEditPopupExecute(); });
  // A disabled action would swallow its shortcut's key (or leave it to whatever has the focus):
  // once the menu is gone every command is there again and tests its own condition.
  connect(popupMenuEdit_, &QMenu::aboutToHide, this, [this] {
    for (QAction* a : {undo_, redo_, cut_, copy_, paste_, selectAll_}) a->setEnabled(true);
  });
  editor_.setContextMenuPolicy(Qt::CustomContextMenu);
  connect(&editor_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& pos) { popupMenuEdit_->popup(editor_.viewport()->mapToGlobal(pos)); });
}

void TEditCommands::ActionEditPopupExecute() {
  const TEditCommandStates states =
      EditCommandStates(editor_.CanUndo(), editor_.CanRedo(), HasSelection(), ClipboardHoldsText());
  undo_->setEnabled(states.Undo);
  redo_->setEnabled(states.Redo);
  cut_->setEnabled(states.Cut);
  copy_->setEnabled(states.Copy);
  paste_->setEnabled(states.Paste);
  selectAll_->setEnabled(states.SelectAll);
}

void TEditCommands::ActionEditUndoExecute() {
  if (editor_.CanUndo()) editor_.Undo();
}

void TEditCommands::ActionEditRedoExecute() {
  if (editor_.CanRedo()) editor_.Redo();
}

void TEditCommands::ActionEditCutExecute() {
  if (HasSelection()) editor_.CutToClipboard();
}

void TEditCommands::ActionEditCopyExecute() {
  if (HasSelection()) editor_.CopyToClipboard();
}

void TEditCommands::ActionEditPasteExecute() {
  if (ClipboardHoldsText()) editor_.PasteFromClipboard();
}

void TEditCommands::ActionEditSelectAllExecute() { editor_.SelectAll(); }

void ShowFileError(QWidget* parent, const std::string& cp932Message) {
  QMessageBox::critical(parent, QStringLiteral("Tarn"), FromCp932(cp932Message));
}

}  // namespace tarn::ui

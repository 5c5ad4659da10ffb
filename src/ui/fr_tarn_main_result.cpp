// The result view of the main window: its fixed properties, the hit painting, the popup menu and
// opening a row in the editor.
#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QUrl>

#include "editor/row_layout.h"
#include "search/editor_launch.h"
#include "settings/settings_records.h"
#include "ui/aux_editor.h"
#include "ui/fr_tarn_main.h"
#include "ui/result_hit.h"
#include "ui/ui_settings_values.h"
#include "ui/ui_text.h"

namespace tarn::ui {
namespace {

bool OpenWithDesktop(const std::string& native_target) {
  const QString target = QString::fromUtf8(native_target.data(), static_cast<qsizetype>(native_target.size()));
  return QDesktopServices::openUrl(target.contains(QLatin1String("://")) ? QUrl(target) : QUrl::fromLocalFile(target));
}

}  // namespace

void TFormTarnMain::CreateResultView() {
  editor::TKoEditor& view = *result_;
  view.setObjectName(QStringLiteral("KoEditorResult"));
  view.ReadOnly = true;
  view.Caret.TabSpaceCount = 8;
  view.Caret.RowSelect = true;
  view.Caret.FreeCaret = true;
  view.DblClkLine = true;
  view.View.Colors.Select = {palette().color(QPalette::Highlight), QColor(Qt::white)};
  view.Margin = {6, 4, 0, 0};
  view.Marks = {};
  view.ExMarks = {};
  view.WantReturns = false;
  view.WantTabs = false;
  // Copy and Select all belong to the popup menu; their keys act as the view stands when pressed.
  view.HandleCopyKeys = false;
  view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QFont font(InstalledFace(settings::TFindResultInfo().FontName, true));
  font.setPixelSize(13);
  view.setFont(font);
  view.Refresh();

  view.OnDrawLine = [this](editor::TKoEditor& sender, const std::string& line, int x, int y, int index,
                           const QRect& rect, bool selected) {
    KoEditorResultDrawLine(sender, line, x, y, index, rect, selected);
  };
  view.OnDblClick = [this](editor::TKoEditor&) { ActionResultEditorExecute(); };
  view.OnKeyPress = [this](editor::TKoEditor&, char& key) {
    if (key != '\r') return;
    key = 0;
    ActionResultEditorExecute();
  };
  ScrollPagesByWheel(view);

  // The two items of the popup that are no window commands: their keys act on the view alone.
  auto item = [&view](const char* name, const QString& caption, const QString& hint, QKeyCombination key) {
    auto* action = new QAction(caption, &view);
    action->setObjectName(QLatin1String(name));
    action->setToolTip(hint);
    action->setStatusTip(hint);
    action->setShortcut(QKeySequence(key));
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    view.addAction(action);
    return action;
  };
  pmiEditCopy_ = item("pmiEditCopy", QStringLiteral("コピー(&C)"), QStringLiteral("コピー"), Qt::CTRL | Qt::Key_C);
  connect(pmiEditCopy_, &QAction::triggered, this, [this] {
    if (result_->Selected()) result_->CopyToClipboard();
  });
  pmiEditSelectAll_ =
      item("pmiEditSelectAll", QStringLiteral("すべて選択(&A)"), QStringLiteral("すべて選択"), Qt::CTRL | Qt::Key_A);
  connect(pmiEditSelectAll_, &QAction::triggered, this, [this] { result_->SelectAll(); });

  popupMenuEdit_ = new QMenu(this);
  popupMenuEdit_->setObjectName(QStringLiteral("PopupMenuEdit"));
  popupMenuEdit_->addAction(Action(ActionId::ResultEditor));
  popupMenuEdit_->addSeparator();
  popupMenuEdit_->addAction(pmiEditCopy_);
  popupMenuEdit_->addAction(pmiEditSelectAll_);
  popupMenuEdit_->addSeparator();
  popupMenuEdit_->addAction(Action(ActionId::ResultClear));
  popupMenuEdit_->addAction(Action(ActionId::ResultSave));
  view.setContextMenuPolicy(Qt::CustomContextMenu);
  connect(&view, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    PopupMenuEditPopup();
    popupMenuEdit_->popup(result_->viewport()->mapToGlobal(pos));
  });
}

void TFormTarnMain::PopupMenuEditPopup() {
  ActionResultPopupExecute();
  RefreshEditPopupItems();
}

void TFormTarnMain::RefreshEditPopupItems() {
  const TEditPopupState state = EditPopupState(run_->Busy() != 0, result_->Selected(), result_->Lines.Count() > 0);
  pmiEditCopy_->setEnabled(state.CopyEnabled);
  pmiEditSelectAll_->setEnabled(state.SelectAllEnabled);
}

void TFormTarnMain::KoEditorResultDrawLine(editor::TKoEditor& sender, const std::string& line, int x, int y, int index,
                                           const QRect& rect, bool selected) {
  const std::vector<std::string>& infos = run_->ResultLineInfos();
  if (infos.empty() || index < 0 || static_cast<std::size_t>(index) >= infos.size()) return;
  const int tab = sender.Caret.TabSpaceCount;
  const TRowToDraw row = RowToDraw(infos[static_cast<std::size_t>(index)], sender.Lines.Get(index), tab, &run_->AWKStr1());
  if (row.Cut) {
    // The row around its hit replaces what the control drew, blanks covering the rest of it.
    std::string cells = editor::ExpandTabs(row.Text, tab);
    cells.resize(std::max(cells.size(), static_cast<std::size_t>(editor::RowCells(line, tab))), ' ');
    sender.DrawTextRect(rect, x, y, cells, editor::TKoEditor::dto_Clipped);
  }
  if (selected || row.Hits.empty()) return;
  const settings::TFindResultInfo& style = settings_.FindResult;
  const QColor color = ColorOf(style.StringFontColor, palette());
  if (color.isValid()) sender.Canvas.FontColor = color;
  sender.Canvas.Font.setBold(style.StringStyle & settings::fsBold);
  sender.Canvas.Font.setItalic(style.StringStyle & settings::fsItalic);
  sender.Canvas.Font.setUnderline(style.StringStyle & settings::fsUnderline);
  const QColor back = ColorOf(style.StringBackColor, palette());
  sender.Canvas.BrushSolid = style.StringBackColor != clNone && back.isValid();
  if (sender.Canvas.BrushSolid) sender.Canvas.BrushColor = back;
  for (const THitToDraw& hit : row.Hits)
    sender.DrawTextRect(rect, x + hit.Column * sender.ColWidth(), y, hit.Text, editor::TKoEditor::dto_Clipped);
}

void TFormTarnMain::ActionResultEditorExecute() {
  const int row = result_->Row();
  const std::string line = row < result_->Lines.Count() ? result_->RowString(row) : std::string();
  if (!line.empty()) {
    const std::vector<std::string>& infos = run_->ResultLineInfos();
    const std::string info =
        static_cast<std::size_t>(row) < infos.size() ? infos[static_cast<std::size_t>(row)] : std::string();
    try {
      if (settings_.Editor.ExeName.empty()) {
        // Without an editor the desktop opens the file; the status line says what that could not do.
        const search::TLaunchResult opened = search::OpenResultLineWithoutEditor(info, OpenWithDesktop);
        SetStatusText(opened.Message);
        if (!opened.Started) Beep();
      } else {
        const search::TLaunchResult launched =
            search::OpenResultLineInEditor(settings_.Editor.ExeName, settings_.Editor.CmdLine, info, OpenWithDesktop);
        if (!launched.Started && !launched.Message.empty()) ShowError(launched.Message);
      }
    } catch (const std::exception& e) {
      ShowError(e.what());
      return;
    }
    // The row and its line break selected, the caret at its start, ready for the next Enter.
    result_->SetCol(0);
    result_->SetSelLength(static_cast<std::int64_t>(line.size()) + 2);
    result_->SetRowCol(row, 0);
  }
  ActionResultPopupExecute();
}

void TFormTarnMain::ActionResultClearExecute() { run_->ActionResultClearExecute(); }

}  // namespace tarn::ui

// The result view of the main window: its fixed properties, the hit painting, the popup menu,
// opening a row in the editor, and the preview of the selected row.
#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QTimer>
#include <QUrl>

#include "core/comma_text.h"

#include "editor/row_layout.h"
#include "search/editor_launch.h"
#include "settings/settings_records.h"
#include "ui/aux_editor.h"
#include "ui/fr_tarn_main.h"
#include "ui/preview_pane.h"
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

  // Holding an arrow key down moves faster than files are read: the preview reads the row the
  // caret rests on.
  previewTimer_ = new QTimer(this);
  previewTimer_->setSingleShot(true);
  previewTimer_->setInterval(15);
  connect(previewTimer_, &QTimer::timeout, this, [this] { UpdatePreview(); });
  view.OnCaretMoved = [this](editor::TKoEditor&) { SchedulePreview(); };
  preview_->Matcher = &run_->AWKStr1();
  preview_->SetHitCanvas = [this](editor::TKoEditor& sender) { SetHitCanvas(sender); };
  preview_->OnOpenLine = [this](std::int32_t lineNo) { PreviewOpenLine(lineNo); };
  preview_->Editor().setFont(view.font());

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
  SetHitCanvas(sender);
  for (const THitToDraw& hit : row.Hits)
    sender.DrawTextRect(rect, x + hit.Column * sender.ColWidth(), y, hit.Text, editor::TKoEditor::dto_Clipped);
}

void TFormTarnMain::SetHitCanvas(editor::TKoEditor& view) const {
  const settings::TFindResultInfo& style = settings_.FindResult;
  const QColor color = ColorOf(style.StringFontColor, palette());
  if (color.isValid()) view.Canvas.FontColor = color;
  view.Canvas.Font.setBold(style.StringStyle & settings::fsBold);
  view.Canvas.Font.setItalic(style.StringStyle & settings::fsItalic);
  view.Canvas.Font.setUnderline(style.StringStyle & settings::fsUnderline);
  const QColor back = ColorOf(style.StringBackColor, palette());
  view.Canvas.BrushSolid = style.StringBackColor != clNone && back.isValid();
  if (view.Canvas.BrushSolid) view.Canvas.BrushColor = back;
}

void TFormTarnMain::ActionResultEditorExecute() {
  const int row = result_->Row();
  const std::string line = row < result_->Lines.Count() ? result_->RowString(row) : std::string();
  if (!line.empty()) {
    const std::vector<std::string>& infos = run_->ResultLineInfos();
    const std::string info =
        static_cast<std::size_t>(row) < infos.size() ? infos[static_cast<std::size_t>(row)] : std::string();
    if (!OpenInEditor(info)) return;
    // The row and its line break selected, the caret at its start, ready for the next Enter.
    result_->SetCol(0);
    result_->SetSelLength(static_cast<std::int64_t>(line.size()) + 2);
    result_->SetRowCol(row, 0);
  }
  ActionResultPopupExecute();
}

bool TFormTarnMain::OpenInEditor(const std::string& info) {
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
    return false;
  }
  return true;
}

void TFormTarnMain::ActionResultClearExecute() { run_->ActionResultClearExecute(); }

void TFormTarnMain::SchedulePreview() { previewTimer_->start(); }

void TFormTarnMain::UpdatePreview() {
  if (preview_->isHidden()) return;
  const int row = result_->Row();
  if (row == previewRow_ && previewResult_ == resultGeneration_) return;
  previewResult_ = resultGeneration_;
  const std::vector<std::string>& infos = run_->ResultLineInfos();
  if (row < 0 || row >= result_->Lines.Count() || static_cast<std::size_t>(row) >= infos.size()) {
    previewRow_ = -1;
    preview_->Clear();
    return;
  }
  previewRow_ = row;
  const auto at = static_cast<std::size_t>(row);
  preview_->ShowRow(std::string(result_->Lines.Get(row)), infos[at], at < rowOffsets_.size() ? rowOffsets_[at] : -1);
}

// The row's record, told the clicked line instead of its own, goes the way Enter sends a row.
void TFormTarnMain::PreviewOpenLine(std::int32_t lineNo) {
  const std::vector<std::string>& infos = run_->ResultLineInfos();
  if (previewRow_ < 0 || static_cast<std::size_t>(previewRow_) >= infos.size()) return;
  std::vector<std::string> fields = ParseCommaText(infos[static_cast<std::size_t>(previewRow_)]);
  if (fields.size() < 5) return;
  fields[4] = std::to_string(lineNo);
  OpenInEditor(ToCommaText(fields));
}

}  // namespace tarn::ui

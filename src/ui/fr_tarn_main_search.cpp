// The main window's side of a search run: the request it hands over, and what the run asks of
// the window while it goes on.
#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <optional>
#include <system_error>

#include "core/encoding.h"
#include "pattern/scanner.h"
#include "search/native_path.h"
#include "search/result_lines.h"
#include "ui/fr_tarn_main.h"
#include "ui/ko_flat_combo_box.h"
#include "ui/request_panel.h"
#include "ui/ui_text.h"

namespace tarn::ui {
namespace {

// Letting pending events run costs far more than reporting a line; between two pumps the run
// works at least this long, so that a result of many lines is not slowed down by its own window.
constexpr std::uint32_t kPumpIntervalMs = 20;
// How often rows and the status are drawn during a run: five times a second and more.
constexpr std::uint32_t kShowIntervalMs = 100;

QString TrimmedBlanks(const QString& text) {
  qsizetype from = 0, to = text.size();
  while (from < to && text[from].unicode() <= 32) ++from;
  while (to > from && text[to - 1].unicode() <= 32) --to;
  return text.mid(from, to - from);
}

}  // namespace

void TFormTarnMain::ActionFindStartExecute() {
  if (run_->Busy() != 0) return;
  using search::RequestBox;
  // Such a character would turn into "?", which searches for something else; the directory is
  // searched by its own name and needs no CP932 form.
  for (const RequestBox box : {RequestBox::kFindString, RequestBox::kFileMask, RequestBox::kDirectoryMask}) {
    const std::string utf8 = Box(box).currentText().toStdString();
    const std::string_view refused = FirstCharWithoutCp932(utf8);
    if (refused.empty()) continue;
    Beep();
    QMessageBox::warning(this, QStringLiteral("Tarn"),
                         QStringLiteral("「%1」は Shift-JIS で表せないため検索できません。")
                             .arg(QString::fromUtf8(refused.data(), static_cast<qsizetype>(refused.size()))));
    FocusRequestBox(box);
    return;
  }
  search::SearchRequest request;
  request.FindString = Box(RequestBox::kFindString).Text();
  request.Directory = Box(RequestBox::kDirectory).Text();
  // The directory as the system names it, so that a name outside CP932 is still found.
  request.NativeDirectory = search::DisplayToNative(Box(RequestBox::kDirectory).currentText().toStdString());
  request.FileMask = Box(RequestBox::kFileMask).Text();
  request.DirectoryMask = Box(RequestBox::kDirectoryMask).Text();
  request.SearchSubDirectory = flatCheckBoxFindSubDirectory_->isChecked();
  request.UseFuzzyCharDic = flatCheckBoxUseFuzzyCharDic_->isChecked();
  request.UseSynonymDic = flatCheckBoxUseSynonymDic_->isChecked();
  search::SearchSettings run_settings{settings_.FindRequest.NoRegExp, settings_.FindResult.ShowRealtime,
                                      settings_.FindResult.ResultType};
  run_settings.FileEncoding = settings_.FindResult.FileEncoding;
  std::optional<std::string> error;
  try {
    run_->SetWorkerThreads(static_cast<unsigned>(settings_.FindResult.WorkerThreads));
  } catch (const std::system_error&) {
    // No more threads to be had: the window's own thread searches, as with one worker.
  }
  try {
    run_->ActionFindStartExecute(request, run_settings);
  } catch (const std::exception& e) {
    // A malformed pattern (before the run began) or an error that ended the run.
    error = e.what();
  }
  // A run that stopped, failed or found nothing leaves no part of an entry behind.
  historyWriter_.reset();
  EndRealtimeBatch();
  SchedulePreview();
  ApplyPendingHandOvers();
  if (error) ShowError(*error);
}

// Adding rows one by one to a view that is drawn would re-lay it out for every row; the view is
// only drawn at the pumps anyway.
void TFormTarnMain::EndRealtimeBatch() {
  if (!realtimeBatch_) return;
  realtimeBatch_ = false;
  result_->Lines.EndUpdate();
}

void TFormTarnMain::ShowPendingStatus() {
  // During a run the line count alone says too little: the status tells how far the walk got.
  if (run_->Busy() != 0) {
    pendingStatus_ = run_->ProgressStatus();
    statusPending_ = true;
  }
  if (!statusPending_) return;
  statusPending_ = false;
  std::string utf8;
  statusConverter_.Append(pendingStatus_, utf8);
  panelStatusBar_->SetText(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

void TFormTarnMain::ActionFindStopExecute() { run_->ActionFindStopExecute(); }

void TFormTarnMain::ProcessMessages() {
  const std::uint32_t now = search::TickCount();
  if (now - lastPump_ < kPumpIntervalMs) return;
  // A frame of the view costs about as much as the pump interval: rows and status are drawn
  // less often than keys are heard, except the first rows, which show at once.
  const bool first_rows = !rowsShown_ && result_->Lines.Count() > 0;
  if (first_rows || now - lastShown_ >= kShowIntervalMs) {
    rowsShown_ = rowsShown_ || first_rows;
    lastShown_ = now;
    ShowPendingStatus();
    EndRealtimeBatch();
  }
  QCoreApplication::processEvents();
  if (run_->Busy() != 0 && settings_.FindResult.ShowRealtime && !realtimeBatch_) {
    realtimeBatch_ = true;
    result_->Lines.BeginUpdate();
  }
  lastPump_ = search::TickCount();
}

void TFormTarnMain::Beep() {
  ++beepCount_;
  QApplication::beep();
}

void TFormTarnMain::FocusRequestBox(search::RequestBox box) { Box(box).setFocus(); }

void TFormTarnMain::SetRequestBoxText(search::RequestBox which, const std::string& text) {
  TKoFlatComboBox& box = Box(which);
  // The box keeps the user's own characters where its trimmed text says the same.
  const QString trimmed = TrimmedBlanks(box.currentText());
  const QString shown = ToCp932(trimmed) == text ? trimmed : FromCp932(text);
  if (shown != box.currentText()) box.setEditText(shown);
}

void TFormTarnMain::AddToHistory(search::RequestBox box) { Box(box).AddToHistory(); }

void TFormTarnMain::SetBusyCursor(bool busy) {
  if (busy)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

void TFormTarnMain::SetPanelsEnabled(bool enabled) {
  // The request is locked from here to the run's end: what the boxes say now is what it searches.
  if (!enabled) runRequest_ = CurrentRequest();
  panelFindRequest_->setEnabled(enabled);
  flatPanelTreeView_->setEnabled(enabled);
}

// A run sets the status once per reported line; it is converted and shown only when the window
// next gets to draw it.
void TFormTarnMain::SetStatusText(const std::string& text) {
  pendingStatus_ = text;
  statusPending_ = true;
  if (run_->Busy() == 0) ShowPendingStatus();
}

void TFormTarnMain::ClearResultView() {
  result_->Lines.Clear();
  rowsShown_ = false;
  rowOffsets_.clear();
  ++resultGeneration_;
  SchedulePreview();
  historyWriter_.reset();
  if (run_->Busy() != 0) historyWriter_ = std::make_unique<search::TResultHistoryWriter>(locations_.TmpDirectoryPath());
}

void TFormTarnMain::SetResultViewUpdating(bool updating) {
  if (updating)
    result_->Lines.EndUpdate();
  else
    result_->Lines.BeginUpdate();
}

void TFormTarnMain::AppendResultLine(std::string line, const std::string& info) {
  if (historyWriter_) historyWriter_->Add(line, info);
  result_->Lines.Add(std::move(line));
  // The preview reads the file from here rather than counting its lines from the start.
  rowOffsets_.push_back(run_->CurrentLinePlace().Offset);
  // The first row is previewed while the run goes on, as the caret stands on it.
  if (rowOffsets_.size() == 1) SchedulePreview();
}

void TFormTarnMain::ResetResultViewPosition() {
  // A run clears the view, so a caret or a scroll away from the start is the user's, made while
  // the rows came in: the view stays on what the user is looking at.
  if (result_->Row() != 0 || result_->Col() != 0 || result_->TopRow() != 0 || result_->TopCol() != 0) return;
  result_->SetTopRow(0);
  result_->SetTopCol(0);
  result_->SetRowCol(0, 0);
}

void TFormTarnMain::FocusResultView() { result_->setFocus(); }

void TFormTarnMain::ShowStopMessage(const std::string& message) {
  // The message box lets the window draw: the rows and the count so far show behind it.
  ShowPendingStatus();
  EndRealtimeBatch();
  QMessageBox::information(this, QStringLiteral("Tarn"), FromCp932(message));
}

void TFormTarnMain::ShowRefusal(const std::string& message) {
  QMessageBox::warning(this, QStringLiteral("Tarn"), FromCp932(message));
}

}  // namespace tarn::ui

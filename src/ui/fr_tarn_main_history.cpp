// The main window's result history (Back, Forward, clearing) and saving a result to a file.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <algorithm>

#include "core/system_text.h"
#include "search/native_path.h"
#include "search/result_export.h"
#include "storage/result_storage.h"
#include "settings/settings_file.h"
#include "ui/fr_tarn_main.h"
#include "ui/ko_flat_combo_box.h"
#include "ui/toolkit_dialogs.h"
#include "ui/ui_text.h"

namespace tarn::ui {
namespace {

const QString kTextFilter = QStringLiteral("Text File (*.txt)");
const QString kHtmlFilter = QStringLiteral("Html File (*.htm)");

}  // namespace

search::TResultHistoryRequest TFormTarnMain::CurrentRequest() const {
  using search::RequestBox;
  search::TResultHistoryRequest r;
  r.FindString = Box(RequestBox::kFindString).Text();
  r.FindDirectory = Box(RequestBox::kDirectory).Text();
  r.FindFileMask = Box(RequestBox::kFileMask).Text();
  r.FindSubDirectory = flatCheckBoxFindSubDirectory_->isChecked();
  r.FindDirectoryMask = Box(RequestBox::kDirectoryMask).Text();
  r.UseFuzzyCharDic = flatCheckBoxUseFuzzyCharDic_->isChecked();
  r.UseSynonymDic = flatCheckBoxUseSynonymDic_->isChecked();
  return r;
}

std::vector<std::string> TFormTarnMain::ResultLines() const {
  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(result_->Lines.Count()));
  for (int i = 0; i < result_->Lines.Count(); ++i) lines.emplace_back(result_->Lines.Get(i));
  return lines;
}

// The number is taken under the lock tarngrep uses as well, so that entries it stores while the
// window is open never share a number with the window's.
void TFormTarnMain::SaveNewResultHistoryEntry() {
  const std::vector<std::string>& infos = run_->ResultLineInfos();
  const editor::TEditorLines& lines = result_->Lines;
  const search::TResultHistoryRequest& request = runRequest_;
  // The entry written while the rows came in holds them all unless rows went past it.
  const auto rows = static_cast<std::size_t>(lines.Count());
  const bool written = historyWriter_ && historyWriter_->Count() == rows && infos.size() == rows;
  const std::int32_t n = storage::AllocateResultHistoryEntry(locations_, [&](std::int32_t entry) {
    if (written) return historyWriter_->Finish(entry, request);
    search::SaveResultHistory(locations_.TmpDirectoryPath(), entry, request,
                              {infos.size(), [&infos](std::size_t i) { return std::string_view(infos[i]); }},
                              {static_cast<std::size_t>(lines.Count()),
                               [&lines](std::size_t i) { return lines.Get(static_cast<int>(i)); }});
  });
  const std::int32_t first =
      history_.First() > 0 ? history_.First() : settings::LoadResultHistoryCounters(locations_.SettingsFilePath()).First;
  history_ = search::TResultHistoryIndex::AtStartUp(first, n - 1);
  history_.AddEntry();
}

void TFormTarnMain::LoadResultHistoryEntry(std::int32_t n) {
  search::TResultHistoryEntry entry;
  try {
    entry = search::LoadResultHistory(locations_.TmpDirectoryPath(), n);
  } catch (const std::exception& e) {
    ShowError(e.what());
    return;
  }
  run_->ResultLineInfos() = std::move(entry.ResultLineInfos);
  rowOffsets_.clear();
  ++resultGeneration_;
  SchedulePreview();
  editor::TEditorLines& lines = result_->Lines;
  lines.BeginUpdate();
  lines.Clear();
  for (const std::string& line : entry.ResultLines) lines.Add(line);
  lines.EndUpdate();
  ResetResultViewPosition();
  // The count of the result shown, not of the run before it.
  SetStatusText(SystemText(" " + std::to_string(lines.Count()) + "個の検索結果 (履歴 " +
                           std::to_string(n - history_.First() + 1) + "/" +
                           std::to_string(history_.Last() - history_.First() + 1) + ")"));

  using search::RequestBox;
  const search::TResultHistoryRequest& r = entry.Request;
  Box(RequestBox::kFindString).SetText(r.FindString);
  Box(RequestBox::kDirectory).SetText(r.FindDirectory);
  Box(RequestBox::kFileMask).SetText(r.FindFileMask);
  Box(RequestBox::kDirectoryMask).SetText(r.FindDirectoryMask);
  flatCheckBoxFindSubDirectory_->setChecked(r.FindSubDirectory);
  flatCheckBoxUseFuzzyCharDic_->setChecked(r.UseFuzzyCharDic);
  flatCheckBoxUseSynonymDic_->setChecked(r.UseSynonymDic);
  // The entry's own pattern finds the later hits of its rows again.
  try {
    pattern::TAWKStr& matcher = run_->AWKStr1();
    matcher.SetUseFuzzyCharDic(r.UseFuzzyCharDic);
    matcher.SetUseSynonymDic(r.UseSynonymDic);
    matcher.SetRegExp(settings_.FindRequest.NoRegExp ? search::EscapeSearchString(r.FindString) : r.FindString);
  } catch (const std::exception&) {
    // Rows keep their recorded hit painted; the matcher's own check drops the others.
  }
}

void TFormTarnMain::ActionResultGoBackExecute() {
  if (run_->Busy() == 0)
    if (const auto n = history_.GoBack()) LoadResultHistoryEntry(*n);
  ActionResultPopupExecute();
}

void TFormTarnMain::ActionResultGoForwardExecute() {
  if (run_->Busy() == 0)
    if (const auto n = history_.GoForward()) LoadResultHistoryEntry(*n);
  ActionResultPopupExecute();
}

void TFormTarnMain::ActionResultHistClearExecute() {
  if (run_->Busy() == 0) {
    search::ClearResultHistoryFiles(locations_.TmpDirectoryPath());
    history_.Clear();
    try {
      settings::SaveResultHistoryCounters(locations_.SettingsFilePath(), 0, 0);
    } catch (const std::exception& e) {
      ShowError(e.what());
    }
  }
  ActionResultPopupExecute();
}

void TFormTarnMain::ActionResultSaveExecute() {
  if (run_->Busy() != 0 || result_->Lines.Count() == 0) {
    ActionResultPopupExecute();
    return;
  }
  QFileDialog dialog(this, QStringLiteral("検索結果を保存"));
  dialog.setObjectName(QStringLiteral("SaveDialog1"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // Replacing is asked below, about the name the extension rule gives.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setNameFilters({kTextFilter, kHtmlFilter});
  dialog.selectNameFilter(saveType_ == 1 ? kHtmlFilter : kTextFilter);
  if (!saveDirectory_.isEmpty()) dialog.setDirectory(saveDirectory_);
  FitFileDialog(dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    ActionResultPopupExecute();
    return;
  }
  const auto type = dialog.selectedNameFilter() == kHtmlFilter ? search::TSaveType::Html : search::TSaveType::Text;
  const std::filesystem::path path =
      search::SaveFileNameFor(std::filesystem::path(ToNative(dialog.selectedFiles().front())), type);
  const QString shown = QString::fromStdString(path.string());
  std::error_code ec;
  if (std::filesystem::exists(path, ec) &&
      QMessageBox::question(this, QStringLiteral("Tarn"),
                            QStringLiteral("%1 は既に存在します。\n置き換えますか?").arg(shown),
                            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes) {
    ActionResultPopupExecute();
    return;
  }
  try {
    search::SaveResult(path, type, ResultLines(), run_->ResultLineInfos(), storage::HtmlStyleOf(settings_.FindResult),
                       &run_->AWKStr1());
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
  saveDirectory_ = QString::fromStdString(path.parent_path().string());
  saveType_ = type == search::TSaveType::Html ? 1 : 0;
  ActionResultPopupExecute();
}

}  // namespace tarn::ui

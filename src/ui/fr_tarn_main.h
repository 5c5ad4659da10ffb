// TFormTarnMain: the main window. It holds the search request, the directory panel, the result
// view and the status bar, owns the menus, toolbars and commands, and drives the search run.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <memory>
#include <string>
#include <vector>

#include "core/encoding.h"
#include "editor/ko_editor.h"
#include "pattern/synonym_dic.h"
#include "search/result_history.h"
#include "search/search_run.h"
#include "settings/data_locations.h"
#include "settings/settings_records.h"
#include "ui/command_states.h"

class QAction;
class QCheckBox;
class QKeyEvent;
class QLabel;
class QMenu;
class QSplitter;
class QTimer;
class QToolBar;
class QToolButton;

namespace tarn::ui {

class TDirectoryPanel;
class TFormFindString;
class TKoFlatComboBox;
class TPreviewPane;
class TRequestPanel;
class TStatusPanel;

class TFormTarnMain : public QMainWindow, private search::SearchWindow {
  Q_OBJECT

 public:
  // Runs the window's creation: synonym dictionary, settings, the boxes' start values from the
  // settings and the command line (directory, search string, file mask).
  TFormTarnMain(settings::DataLocations locations, std::vector<std::string> arguments, QWidget* parent = nullptr);
  ~TFormTarnMain() override;

  QAction* Action(ActionId id) const { return actions_[static_cast<std::size_t>(id)]; }
  editor::TKoEditor& KoEditorResult() const { return *result_; }
  const std::vector<std::string>& ResultLineInfos() const { return run_->ResultLineInfos(); }
  int Busy() const noexcept { return run_->Busy(); }
  // The search run, for what a caller sets beyond the settings (how folders are opened).
  search::SearchRun& SearchRun1() const { return *run_; }
  // What the status bar shows, as the user reads it.
  QString StatusText() const;
  bool LeftPanelVisible() const;
  bool PreviewVisible() const;
  TPreviewPane& PreviewPane() const { return *preview_; }
  // How often the window has beeped at a rejected request.
  int BeepCount() const noexcept { return beepCount_; }
  // The popup menu of the result view, as it opens.
  QMenu& PopupMenuEdit() const { return *popupMenuEdit_; }
  TDirectoryPanel& DirectoryPanel() const { return *directoryPanel_; }
  TFormFindString& FormFindString() const { return *formFindString_; }
  // The list of help entries: the Help menu's submenu and the help button's drop-down.
  QMenu& PopupMenuHelp() const { return *popupMenuHelp_; }

  // --- Commands ------------------------------------------------------------------------------
  void ActionFindStartExecute();
  void ActionFindStopExecute();
  void ActionResultEditorExecute();
  void ActionResultClearExecute();
  void ActionResultGoBackExecute();
  void ActionResultGoForwardExecute();
  void ActionResultHistClearExecute();
  void ActionResultSaveExecute();
  void ActionOptionLeftPanelExecute();
  void ActionOptionPreviewExecute();
  void ActionFindStringExecute();
  void ActionFindRefreshExecute();
  void ActionOptionEnvExecute();
  void ActionOptionSynonymDicExecute();
  void ActionHelpShowExecute(std::size_t index);
  void ActionHelpVersionExecute();
  // The five enabling rules.
  void ActionFilePopupExecute() { RunRule(CommandRule::File); }
  void ActionFindPopupExecute() { RunRule(CommandRule::Find); }
  void ActionResultPopupExecute() { RunRule(CommandRule::Result); }
  void ActionOptionPopupExecute() { RunRule(CommandRule::Option); }
  void ActionHelpPopupExecute() { RunRule(CommandRule::Help); }
  void PopupMenuEditPopup();

  // A message from a second copy: the window comes to the front, and a command line (record
  // value 100) fills the boxes; during a run, once the run has ended.
  void HandOver(quint64 record, const QByteArray& text);
  void WMCopyData(std::string_view text);
  // Runs once, when the window is first shown (the splash closes then).
  std::function<void()> OnFirstShow;

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  // Sees the shortcut checks of every widget, so that the window's commands win over the keys
  // its boxes would take for themselves.
  bool eventFilter(QObject* watched, QEvent* e) override;
  QMenu* createPopupMenu() override { return nullptr; }
  // A folder (or a file, for its folder) dropped anywhere on the window fills the directory box.
  bool FolderDropEvent(QEvent* e);

 private:
  // Creation
  void CreateActions();
  void CreateMenus();
  void CreateToolBars();
  void CreateRequestPanel();
  void LayOutRequestPanel();
  void CreateResultView();
  QToolBar* ToolBar(ToolBarId id) const { return toolBars_[static_cast<std::size_t>(id)]; }

  // Settings
  void LoadSettings();
  void ApplySettings();
  // Writes the settings file; false (after the message) when it cannot be written.
  bool SaveSettings();
  settings::TTarnSettings CurrentSettings() const;
  void PlaceToolBars();

  // Commands and their states
  void RunRule(CommandRule rule);
  void RunAllRules();
  void PushActionStates();
  TWindowState WindowState() const;
  void FlatCheckBoxFindSubDirectoryClick();
  void FocusOnShow();
  void KoTreeView1Change();
  void BuildHelpMenu();
  void ApplyShortCuts();
  // Whether the key is the current shortcut of one of the window's commands.
  bool IsCommandShortCut(const QKeyEvent& key) const;
  // A menu of the menu bar closed: the bar gives the keyboard and the status line back.
  void MenuBarMenuHidden();
  void ApplyPendingHandOvers();
  void SelectInPanel(const QString& path);
  // The directory box's path, or the initial directory when the box is empty.
  QString PathToSelect() const;
  void KoEditorResultDrawLine(editor::TKoEditor& sender, const std::string& line, int x, int y, int index,
                              const QRect& rect, bool selected);
  void ShowError(const std::string& cp932_message);
  // Sets a view's canvas to the hit style of the settings.
  void SetHitCanvas(editor::TKoEditor& view) const;
  // Opens the file of a record in the editor (or with the desktop's program); false when nothing
  // could be started.
  bool OpenInEditor(const std::string& info);
  // The preview follows the selected row once the selection rests for a moment.
  void SchedulePreview();
  void UpdatePreview();
  void PreviewOpenLine(std::int32_t lineNo);
  // Result history
  search::TResultHistoryRequest CurrentRequest() const;
  void LoadResultHistoryEntry(std::int32_t n);
  std::vector<std::string> ResultLines() const;
  // Copy and Select all as the view stands now.
  void RefreshEditPopupItems();
  void ProcessMessages();
  void ShowPendingStatus();
  void EndRealtimeBatch();

  // SearchWindow
  void Beep() override;
  void FocusRequestBox(search::RequestBox box) override;
  void SetRequestBoxText(search::RequestBox box, const std::string& text) override;
  void AddToHistory(search::RequestBox box) override;
  void SetBusyCursor(bool busy) override;
  void SetPanelsEnabled(bool enabled) override;
  void RefreshCommandStates() override { RunAllRules(); }
  void RefreshResultCommands() override { RunRule(CommandRule::Result); }
  void SetStatusText(const std::string& text) override;
  void ClearResultView() override;
  void SetResultViewUpdating(bool updating) override;
  void AppendResultLine(std::string line, const std::string& info) override;
  void ResetResultViewPosition() override;
  void FocusResultView() override;
  void ShowStopMessage(const std::string& message) override;
  void ShowRefusal(const std::string& message) override;
  void SaveNewResultHistoryEntry() override;
  TKoFlatComboBox& Box(search::RequestBox box) const;

  settings::DataLocations locations_;
  std::vector<std::string> arguments_;
  settings::TTarnSettings settings_;
  std::unique_ptr<search::SearchRun> run_;
  // Attached to the run's two pattern components, so it goes before them.
  std::unique_ptr<pattern::TSynonymDicOwner> synonyms_;
  search::TResultHistoryIndex history_;
  // Where the save dialog opens, and with which form chosen.
  QString saveDirectory_;
  int saveType_ = 0;
  std::uint32_t lastPump_ = 0;
  bool shown_ = false;
  // The request the running search was started with, as its history entry records it.
  search::TResultHistoryRequest runRequest_;
  // Command lines handed over during a run, applied in order when it has ended.
  std::vector<QByteArray> pendingHandOvers_;
  // Where the keyboard was before a menu of the menu bar opened.
  QPointer<QWidget> focusBeforeMenu_;
  int beepCount_ = 0;

  std::array<QAction*, kActionCount> actions_{};
  TActionStates actionStates_{};
  std::array<QToolBar*, kToolBarCount> toolBars_{};
  QAction* pmiEditCopy_ = nullptr;
  QAction* pmiEditSelectAll_ = nullptr;
  QMenu* popupMenuEdit_ = nullptr;
  QMenu* popupMenuHelp_ = nullptr;

  QSplitter* splitter1_ = nullptr;
  QWidget* flatPanelTreeView_ = nullptr;
  TDirectoryPanel* directoryPanel_ = nullptr;
  TFormFindString* formFindString_ = nullptr;
  // The settings file did not exist when the window read it.
  bool firstStart_ = false;
  TRequestPanel* panelFindRequest_ = nullptr;
  std::array<QLabel*, 5> labels_{};
  std::array<TKoFlatComboBox*, 4> boxes_{};
  QCheckBox* flatCheckBoxFindSubDirectory_ = nullptr;
  QCheckBox* flatCheckBoxUseFuzzyCharDic_ = nullptr;
  QCheckBox* flatCheckBoxUseSynonymDic_ = nullptr;
  editor::TKoEditor* result_ = nullptr;
  QSplitter* splitterResult_ = nullptr;
  TPreviewPane* preview_ = nullptr;
  QTimer* previewTimer_ = nullptr;
  // Where the line of each row of the run just made starts in its file (-1: not told); empty
  // for a result from the history.
  std::vector<std::int64_t> rowOffsets_;
  // The run's history entry, written as its rows come in; gone once the run has ended.
  std::unique_ptr<search::TResultHistoryWriter> historyWriter_;
  // The row the preview shows, and the result it belongs to (counted up at every new result).
  int previewRow_ = -1;
  std::uint64_t previewResult_ = 0;
  std::uint64_t resultGeneration_ = 0;
  TStatusPanel* panelStatusBar_ = nullptr;
  TCp932ToUtf8 statusConverter_;
  // During a run the status text is shown only when the window gets to repaint, at the pumps.
  std::string pendingStatus_;
  bool statusPending_ = false;
  // With ShowRealtime on, the rows found between two pumps go into the view as one batch.
  bool realtimeBatch_ = false;
  // When the rows and status were last drawn during a run, and whether any row was yet.
  std::uint32_t lastShown_ = 0;
  bool rowsShown_ = false;
};

}  // namespace tarn::ui

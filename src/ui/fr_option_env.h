// TFormOptionEnv: the options dialog "環境設定". It edits a copy of the main window's settings on
// five pages (editor and fonts, result view, start-up, shortcuts, help entries), writes its own
// three input histories when confirmed, and hands the edited copy back through Result().
#pragma once

#include <QDialog>
#include <array>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
#include <utility>

#include "settings/settings_records.h"
#include "ui/help_rows.h"
#include "ui/history_editor.h"
#include "ui/option_env_rules.h"
#include "ui/shortcut_info.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QToolButton;
class QTreeWidget;

namespace tarn::ui {

class TColorPickerButton;
class TKoFlatComboBox;
class TShortCutEdit;
struct TCapture;

class TFormOptionEnv : public QDialog {
  Q_OBJECT

 public:
  // settings: a copy of the main window's settings, with FindRequest.FindString/FindDirectory/
  // FindFileMask/FindDirectoryMask holding the four boxes' histories as CommaText and ShortCuts
  // and HelpEntries the current ones. settingsFile: where the dialog's own three history keys live.
  TFormOptionEnv(const settings::TTarnSettings& settings, std::filesystem::path settingsFile, QWidget* parent);
  ~TFormOptionEnv() override;

  // After exec() returned Accepted: the edited settings (histories as CommaText as above).
  const settings::TTarnSettings& Result() const { return settings_; }
  // How often the dialog has beeped at a refused input.
  int BeepCount() const noexcept { return beepCount_; }

  // --- Commands --------------------------------------------------------------------------
  void KoFlatButtonOkClick();
  void ActionTabChangeExecute();
  void KoFlatButtonDelHistoryClick();
  void KoFlatButtonModifyShortCutClick();
  void KoFlatButtonDeleteShortCutClick();
  void KoFlatButtonHelpAddClick();
  void KoFlatButtonHelpModifyClick();
  void KoFlatButtonHelpDeleteClick();
  void KoFlatButtonHelpMoveClick(bool up);

 protected:
  void changeEvent(QEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  void FitSize();
  void FitMenuFonts();
  // Pages
  QWidget* CreatePageBasic1();
  QWidget* CreatePageBasic2();
  QWidget* CreatePageBasic3();
  QWidget* CreatePageShortCut();
  QWidget* CreatePageHelp();
  void ShowSettings();
  void StoreSettings();
  void Beep();
  // Beeps, shows the page and says why (when there are words for it), then puts the focus on
  // the field.
  void Refuse(int page, QWidget* field, const std::string& cp932Reason = {});
  // Refuses the first of the boxes (label, box) whose text storing would turn a character into "?".
  bool RefuseTextWithoutCp932(std::initializer_list<std::pair<const char*, QWidget*>> boxes);

  // Browse buttons
  void FlatSpeedButtonEditorProgramClick();
  void ChooseFolder(const QString& title, QLineEdit& field);

  // History editor
  void KoFlatComboBoxFindHistoryChange();
  void UpdateDelHistoryButton();

  // Shortcut page
  void FlatComboBoxCateChange();
  void FlatListBoxCmdClick();
  void UpdateShortCutButtons();
  void CaptureKey(TShortCutEdit& field, const TCapture& capture, bool commandField);
  void SetCaptureActive(bool active);
  bool ConfirmShortCutReplace(const std::string& text, TShortCutOwner owner);
  std::optional<std::size_t> SelectedCommand() const;
  void ShowSelectedCommandShortCut();

  // Help page
  void FillHelpList(std::optional<std::size_t> select);
  void FitHelpColumns();
  std::optional<std::size_t> SelectedHelpRow() const;
  void ListViewHelpDblClick();
  void UpdateHelpButtons();
  bool CheckHelpFields();
  settings::THelpEntry HelpFields() const;

  settings::TTarnSettings settings_;
  std::filesystem::path settingsFile_;
  THistoryEditor historyEditor_;
  TShortCutInfo shortCuts_;
  THelpRows helpRows_;
  int maxHistoryShown_ = 0;
  int beepCount_ = 0;

  QTabWidget* pageControl_ = nullptr;
  QPushButton* okButton_ = nullptr;
  QAction* actionTabChange_ = nullptr;

  // Page 1
  TKoFlatComboBox* editorExeName_ = nullptr;
  TKoFlatComboBox* editorCmdLine_ = nullptr;
  QComboBox* basicFontName_ = nullptr;
  QComboBox* basicFontSize_ = nullptr;
  QComboBox* leftPanelFontName_ = nullptr;
  QComboBox* leftPanelFontSize_ = nullptr;
  QLineEdit* leftPanelInitialDir_ = nullptr;
  QCheckBox* findAutoComplete_ = nullptr;
  QCheckBox* findNoRegExp_ = nullptr;
  QSpinBox* findMaxHistory_ = nullptr;
  QComboBox* findHistory_ = nullptr;
  QListWidget* findHistoryList_ = nullptr;
  QPushButton* delHistory_ = nullptr;

  // Page 2
  QComboBox* resultFontName_ = nullptr;
  QComboBox* resultFontSize_ = nullptr;
  TColorPickerButton* resultFontColor_ = nullptr;
  TColorPickerButton* resultBackColor_ = nullptr;
  TColorPickerButton* styleFontColor_ = nullptr;
  TColorPickerButton* styleBackColor_ = nullptr;
  QCheckBox* styleBold_ = nullptr;
  QCheckBox* styleItalic_ = nullptr;
  QCheckBox* styleUnderline_ = nullptr;
  QButtonGroup* resultType_ = nullptr;
  QCheckBox* showRealtime_ = nullptr;
  QSpinBox* workerThreads_ = nullptr;
  QComboBox* fileEncoding_ = nullptr;
  TKoFlatComboBox* saveDirectory_ = nullptr;
  QButtonGroup* saveType_ = nullptr;

  // Page 3
  std::array<QCheckBox*, 3> runTime_{};

  // Page 4
  QComboBox* category_ = nullptr;
  QListWidget* commands_ = nullptr;
  TShortCutEdit* newShortCut_ = nullptr;
  QLineEdit* currentShortCut_ = nullptr;
  QPushButton* modifyShortCut_ = nullptr;
  QPushButton* deleteShortCut_ = nullptr;

  // Page 5
  QTreeWidget* listViewHelp_ = nullptr;
  std::array<QPushButton*, 5> helpButtons_{};  // up, down, add, modify, delete
  QLineEdit* helpTitle_ = nullptr;
  QLineEdit* helpFile_ = nullptr;
  TShortCutEdit* helpShortCut_ = nullptr;
};

}  // namespace tarn::ui

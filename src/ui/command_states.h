// The main window's commands: their names, captions, hints and default shortcuts, and the five
// enabling rules that decide which of them can run. Plain data and functions, so the rules are
// tested without a window.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "settings/shortcut_text.h"

namespace tarn::ui {

enum class ActionId : std::size_t {
  FilePopup,
  FileExit,
  FindPopup,
  FindStart,
  FindStop,
  FindHistClear,
  FindHistClearAll,
  FindHistClearString,
  FindHistClearDirectory,
  FindHistClearFileMask,
  FindHistClearDirectoryMask,
  FindString,
  FindRefresh,
  ResultPopup,
  ResultGoBack,
  ResultGoForward,
  ResultEditor,
  ResultClear,
  ResultSave,
  ResultHistClear,
  OptionPopup,
  OptionEnv,
  OptionSynonymDic,
  OptionLeftPanel,
  OptionPreview,
  OptionToolBar,
  OptionToolBarFind,
  OptionToolBarResult,
  OptionToolBarOption,
  OptionToolBarHelp,
  HelpPopup,
  HelpHelp,
  HelpVersion,
  HelpShow,
  Count
};
inline constexpr std::size_t kActionCount = static_cast<std::size_t>(ActionId::Count);

struct ActionDef {
  ActionId Id;
  std::string_view Name;     // "ActionFindStart"
  std::string_view Caption;  // UTF-8, with its "&" accelerator
  std::string_view Hint;     // UTF-8; tool tip and status tip
  settings::TShortCut DefaultShortCut;
};

// Every action, in the order of ActionId.
const std::array<ActionDef, kActionCount>& ActionTable();
const ActionDef& ActionDefOf(ActionId id);

// The settings key ("FindStart") of a customisable command's shortcut, by position in the
// "ShortCut" section; the action it belongs to.
ActionId ShortCutAction(std::size_t index);

// The four toolbars, in the order of their settings keys.
enum class ToolBarId : std::size_t { Find, Result, Option, Help };
inline constexpr std::size_t kToolBarCount = 4;

// The request boxes whose histories the Find rule looks at.
inline constexpr std::size_t kRequestBoxCount = 4;

// What the rules read of the window.
struct TWindowState {
  bool Busy = false;
  bool ResultHasRows = false;
  int HistoryFirst = 0;
  int HistoryCurrent = 0;
  int HistoryLast = 0;
  // Search string, directory, file mask, directory mask.
  std::array<bool, kRequestBoxCount> HistoryNotEmpty{};
  std::array<bool, kToolBarCount> ToolBarVisible{true, true, true, true};
};

struct TActionState {
  bool Enabled = true;
  std::optional<bool> Checked;  // set only by the rules that check the action
};
using TActionStates = std::array<TActionState, kActionCount>;

enum class CommandRule { File, Find, Result, Option, Help };

// Sets the states of the rule's actions from the window's state; the others stay as they are.
void RunCommandRule(CommandRule rule, const TWindowState& window, TActionStates& states);
void RunAllCommandRules(const TWindowState& window, TActionStates& states);

// The result view's popup items that are not actions.
struct TEditPopupState {
  bool CopyEnabled = true;
  bool SelectAllEnabled = true;
};
TEditPopupState EditPopupState(bool busy, bool has_selection, bool has_rows);

// A toolbar button's tool tip, CP932: the command's hint and, when it has one, its current
// shortcut in the shortcut page's words ("検索開始 (F3)").
std::string ActionToolTip(ActionId id, settings::TShortCut shortcut);

}  // namespace tarn::ui

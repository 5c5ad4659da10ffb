#include "ui/command_states.h"

#include "core/system_text.h"
#include "settings/settings_records.h"

namespace tarn::ui {
namespace {

using settings::scCtrl;
namespace key = settings::key;

constexpr std::array<ActionDef, kActionCount> kActions = {{
    {ActionId::FilePopup, "ActionFilePopup", "ファイル(&F)", "ファイル", 0},
    {ActionId::FileExit, "ActionFileExit", "終了(&X)", "終了", scCtrl | 'Q'},
    {ActionId::FindPopup, "ActionFindPopup", "検索(&S)", "検索", 0},
    {ActionId::FindStart, "ActionFindStart", "検索開始(&S)", "検索開始", key::F1 + 2},
    {ActionId::FindStop, "ActionFindStop", "検索中止(&C)", "検索中止", key::Escape},
    {ActionId::FindHistClear, "ActionFindHistClear", "検索履歴の消去(&D)", "検索履歴の消去", 0},
    {ActionId::FindHistClearAll, "ActionFindHistClearAll", "すべて(&A)", "すべての履歴を消去する", 0},
    {ActionId::FindHistClearString, "ActionFindHistClearString", "検索文字列(&S)", "検索文字列の履歴を消去する", 0},
    {ActionId::FindHistClearDirectory, "ActionFindHistClearDirectory", "検索ディレクトリ(&D)",
     "検索ディレクトリの履歴をクリアする", 0},
    {ActionId::FindHistClearFileMask, "ActionFindHistClearFileMask", "ファイルマスク(&F)",
     "ファイルマスクの履歴をクリアする", 0},
    {ActionId::FindHistClearDirectoryMask, "ActionFindHistClearDirectoryMask", "ディレクトリマスク(&M)",
     "ディレクトリマスクの履歴を消去する", 0},
    {ActionId::FindString, "ActionFindString", "検索語の登録・呼び出し(&E)...", "検索語の登録・呼び出し", key::F1 + 3},
    {ActionId::FindRefresh, "ActionFindRefresh", "最新情報に更新(&R)", "ディレクトリツリーを最新情報に更新", key::F1 + 4},
    {ActionId::ResultPopup, "ActionResultPopup", "結果(&R)", "結果", 0},
    {ActionId::ResultGoBack, "ActionResultGoBack", "戻る(&B)", "戻る", scCtrl | key::Left},
    {ActionId::ResultGoForward, "ActionResultGoForward", "進む(&F)", "進む", scCtrl | key::Right},
    {ActionId::ResultEditor, "ActionResultEditor", "エディタで開く(&O)", "エディタで開く", scCtrl | 'O'},
    {ActionId::ResultClear, "ActionResultClear", "検索結果を消去(&D)", "検索結果を消去", scCtrl | key::Delete},
    {ActionId::ResultSave, "ActionResultSave", "検索結果を保存(&S)...", "検索結果を保存", scCtrl | 'S'},
    {ActionId::ResultHistClear, "ActionResultHistClear", "検索結果履歴を消去(&H)", "検索結果履歴を消去", scCtrl | 'H'},
    {ActionId::OptionPopup, "ActionOptionPopup", "設定(&O)", "設定", 0},
    {ActionId::OptionEnv, "ActionOptionEnv", "環境設定(&O)...", "環境設定", key::F1 + 9},
    {ActionId::OptionSynonymDic, "ActionOptionSynonymDic", "同意語辞書を編集(&E)...", "同意語辞書を編集", key::F1 + 10},
    {ActionId::OptionLeftPanel, "ActionOptionLeftPanel", "ディレクトリパネル(&L)", "ディレクトリパネルの表示/非表示",
     key::F1 + 11},
    {ActionId::OptionPreview, "ActionOptionPreview", "プレビュー(&P)", "プレビューの表示/非表示", key::F1 + 7},
    {ActionId::OptionToolBar, "ActionOptionToolBar", "ツールバー(&T)", "", 0},
    {ActionId::OptionToolBarFind, "ActionOptionToolBarFind", "検索(&S)", "", 0},
    {ActionId::OptionToolBarResult, "ActionOptionToolBarResult", "結果(&R)", "", 0},
    {ActionId::OptionToolBarOption, "ActionOptionToolBarOption", "設定(&O)", "", 0},
    {ActionId::OptionToolBarHelp, "ActionOptionToolBarHelp", "ヘルプ(&H)", "", 0},
    {ActionId::HelpPopup, "ActionHelpPopup", "ヘルプ(&H)", "", 0},
    {ActionId::HelpHelp, "ActionHelpHelp", "ヘルプ(&H)", "ヘルプ", 0},
    {ActionId::HelpVersion, "ActionHelpVersion", "バージョン情報(&A)...", "バージョン情報", 0},
    {ActionId::HelpShow, "ActionHelpShow", "ActionHelpShow", "", 0},
}};

// The customisable commands, in the order of their "ShortCut" keys.
constexpr std::array<ActionId, settings::kShortCutCommands.size()> kShortCutActions = {
    ActionId::FileExit,        ActionId::FindStart,    ActionId::FindStop,    ActionId::FindString,
    ActionId::FindRefresh,     ActionId::ResultGoBack, ActionId::ResultGoForward, ActionId::ResultEditor,
    ActionId::ResultClear,     ActionId::ResultSave,   ActionId::ResultHistClear, ActionId::OptionEnv,
    ActionId::OptionSynonymDic, ActionId::OptionLeftPanel, ActionId::OptionPreview,
};

constexpr bool TableInOrder() {
  for (std::size_t i = 0; i < kActions.size(); ++i)
    if (static_cast<std::size_t>(kActions[i].Id) != i) return false;
  for (std::size_t i = 0; i < kShortCutActions.size(); ++i)
    if (kActions[static_cast<std::size_t>(kShortCutActions[i])].DefaultShortCut !=
        settings::kShortCutCommands[i].DesignShortCut)
      return false;
  return true;
}
static_assert(TableInOrder(), "action table out of step with ActionId or the ShortCut section");

void Set(TActionStates& states, ActionId id, bool enabled) { states[static_cast<std::size_t>(id)].Enabled = enabled; }

}  // namespace

const std::array<ActionDef, kActionCount>& ActionTable() { return kActions; }

const ActionDef& ActionDefOf(ActionId id) { return kActions[static_cast<std::size_t>(id)]; }

ActionId ShortCutAction(std::size_t index) { return kShortCutActions.at(index); }

void RunCommandRule(CommandRule rule, const TWindowState& w, TActionStates& states) {
  const bool idle = !w.Busy;
  switch (rule) {
    case CommandRule::File:
      Set(states, ActionId::FileExit, idle);
      break;
    case CommandRule::Find: {
      for (ActionId id : {ActionId::FindStart, ActionId::FindString, ActionId::FindHistClear,
                          ActionId::FindHistClearAll, ActionId::FindRefresh})
        Set(states, id, idle);
      Set(states, ActionId::FindStop, w.Busy);
      constexpr std::array<ActionId, kRequestBoxCount> kSingle = {
          ActionId::FindHistClearString, ActionId::FindHistClearDirectory, ActionId::FindHistClearFileMask,
          ActionId::FindHistClearDirectoryMask};
      for (std::size_t i = 0; i < kSingle.size(); ++i) Set(states, kSingle[i], idle && w.HistoryNotEmpty[i]);
      break;
    }
    case CommandRule::Result:
      Set(states, ActionId::ResultGoBack, idle && w.HistoryCurrent > w.HistoryFirst);
      Set(states, ActionId::ResultGoForward, idle && w.HistoryCurrent < w.HistoryLast);
      for (ActionId id : {ActionId::ResultEditor, ActionId::ResultClear, ActionId::ResultSave})
        Set(states, id, idle && w.ResultHasRows);
      Set(states, ActionId::ResultHistClear, idle);
      break;
    case CommandRule::Option: {
      for (ActionId id : {ActionId::OptionEnv, ActionId::OptionSynonymDic, ActionId::OptionLeftPanel, ActionId::OptionPreview})
        Set(states, id, idle);
      constexpr std::array<ActionId, kToolBarCount> kToolBars = {
          ActionId::OptionToolBarFind, ActionId::OptionToolBarResult, ActionId::OptionToolBarOption,
          ActionId::OptionToolBarHelp};
      for (std::size_t i = 0; i < kToolBars.size(); ++i) {
        auto& state = states[static_cast<std::size_t>(kToolBars[i])];
        state.Enabled = idle;
        state.Checked = w.ToolBarVisible[i];
      }
      break;
    }
    case CommandRule::Help:
      Set(states, ActionId::HelpHelp, idle);
      Set(states, ActionId::HelpVersion, idle);
      break;
  }
}

void RunAllCommandRules(const TWindowState& window, TActionStates& states) {
  for (CommandRule rule :
       {CommandRule::File, CommandRule::Find, CommandRule::Result, CommandRule::Option, CommandRule::Help})
    RunCommandRule(rule, window, states);
}

TEditPopupState EditPopupState(bool busy, bool has_selection, bool has_rows) {
  return {has_selection && !busy, !busy && has_rows};
}

std::string ActionToolTip(ActionId id, settings::TShortCut shortcut) {
  std::string tip = SystemText(ActionDefOf(id).Hint);
  const std::string keys = settings::FormatShortcut(shortcut);
  if (!keys.empty()) tip += " (" + keys + ")";
  return tip;
}

}  // namespace tarn::ui

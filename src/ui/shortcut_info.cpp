#include "ui/shortcut_info.h"

#include "core/system_text.h"
#include "ui/command_states.h"
#include "ui/help_rows.h"

namespace tarn::ui {
namespace {

struct TCategoryDef {
  ActionId Menu;
  std::size_t Count;
};
constexpr std::array<TCategoryDef, 4> kCategories = {{
    {ActionId::FilePopup, 1},
    {ActionId::FindPopup, 4},
    {ActionId::ResultPopup, 6},
    {ActionId::OptionPopup, 4},
}};

constexpr bool CategoriesCoverEveryCommand() {
  std::size_t total = 0;
  for (const TCategoryDef& c : kCategories) total += c.Count;
  return total == settings::kShortCutCommands.size();
}
static_assert(CategoriesCoverEveryCommand());

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto fold = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

const TCommandRec* CommandAt(const TShortCutInfo& info, TShortCutOwner owner) {
  if (owner.Category < 0 || static_cast<std::size_t>(owner.Category) >= info.Categories.size()) return nullptr;
  const TCategoryRec& category = info.Categories[static_cast<std::size_t>(owner.Category)];
  if (owner.Index < 0 || static_cast<std::size_t>(owner.Index) >= category.Commands.size()) return nullptr;
  return &category.Commands[static_cast<std::size_t>(owner.Index)];
}

// "category：command" or "ヘルプ設定：title", as the questions name an owner.
std::string OwnerName(const TShortCutInfo& info, const std::vector<settings::THelpEntry>& helpRows,
                      TShortCutOwner owner) {
  if (owner.IsHelpRow()) {
    std::string name = SystemText("ヘルプ設定：");
    if (owner.Index >= 0 && static_cast<std::size_t>(owner.Index) < helpRows.size())
      name += helpRows[static_cast<std::size_t>(owner.Index)].Title;
    return name;
  }
  if (const TCommandRec* command = CommandAt(info, owner))
    return info.Categories[static_cast<std::size_t>(owner.Category)].Name + SystemText("：") + command->Name;
  return {};
}

}  // namespace

TShortCutInfo CollectShortCuts(const TShortCuts& shortCuts) {
  TShortCutInfo info;
  std::size_t position = 0;
  for (const TCategoryDef& def : kCategories) {
    TCategoryRec category{SystemText(ActionDefOf(def.Menu).Hint), {}};
    for (std::size_t i = 0; i < def.Count; ++i, ++position)
      category.Commands.push_back(
          {SystemText(ActionDefOf(ShortCutAction(position)).Hint), settings::FormatShortcut(shortCuts[position])});
    info.Categories.push_back(std::move(category));
  }
  return info;
}

TShortCuts ApplyShortCuts(const TShortCutInfo& info) {
  TShortCuts shortCuts{};
  std::size_t position = 0;
  for (const TCategoryRec& category : info.Categories)
    for (const TCommandRec& command : category.Commands)
      if (position < shortCuts.size()) shortCuts[position++] = settings::ParseShortcut(command.ShortCut);
  return shortCuts;
}

std::optional<TShortCutOwner> FindShortCutOwner(const TShortCutInfo& info,
                                                const std::vector<settings::THelpEntry>& helpRows,
                                                std::string_view text) {
  if (text.empty()) return std::nullopt;
  for (std::size_t c = 0; c < info.Categories.size(); ++c) {
    const auto& commands = info.Categories[c].Commands;
    for (std::size_t i = 0; i < commands.size(); ++i)
      if (SameText(commands[i].ShortCut, text)) return TShortCutOwner{static_cast<int>(c), static_cast<int>(i)};
  }
  for (std::size_t row = 0; row < helpRows.size(); ++row)
    if (SameText(helpRows[row].ShortCut, text)) return TShortCutOwner{-1, static_cast<int>(row)};
  return std::nullopt;
}

std::string ShortCutReplaceQuestion(const TShortCutInfo& info, const std::vector<settings::THelpEntry>& helpRows,
                                    std::string_view text, TShortCutOwner owner) {
  const std::string where = OwnerName(info, helpRows, owner);
  // A line break in a message box is LF here; the two lines stay apart as the question asks.
  return SystemText("ショートカット ") + std::string(text) + SystemText(" は［") + where +
         SystemText("］で使用されています。\n\n設定を置き換えますか？");
}

void ClearShortCutOwner(TShortCutInfo& info, std::vector<settings::THelpEntry>& helpRows, TShortCutOwner owner) {
  if (owner.IsHelpRow()) {
    if (owner.Index >= 0 && static_cast<std::size_t>(owner.Index) < helpRows.size())
      helpRows[static_cast<std::size_t>(owner.Index)].ShortCut.clear();
  } else if (CommandAt(info, owner)) {
    info.Categories[static_cast<std::size_t>(owner.Category)].Commands[static_cast<std::size_t>(owner.Index)].ShortCut.clear();
  }
}

std::vector<TShortCutClash> ResolveShortCutClashes(TShortCuts& shortCuts, std::vector<std::string>& helpEntries) {
  TShortCutInfo info = CollectShortCuts(shortCuts);
  THelpRows rows = HelpRowsOf(helpEntries);
  // Compared as keys, not texts: "^O" in a help entry is the Ctrl+O of a command.
  std::vector<std::pair<settings::TShortCut, TShortCutOwner>> holders;
  std::vector<TShortCutClash> clashes;
  auto hold = [&](std::string& text, TShortCutOwner owner) {
    const settings::TShortCut key = settings::ParseShortcut(text);
    if (key == 0) return;
    for (const auto& [held, keeper] : holders) {
      if (held != key) continue;
      clashes.push_back({settings::FormatShortcut(key), OwnerName(info, rows, keeper), OwnerName(info, rows, owner)});
      text.clear();
      if (owner.IsHelpRow()) {
        const auto row = static_cast<std::size_t>(owner.Index);
        helpEntries[row] = settings::FormatHelpEntry(rows[row]);
      }
      return;
    }
    holders.emplace_back(key, owner);
  };
  for (std::size_t c = 0; c < info.Categories.size(); ++c)
    for (std::size_t i = 0; i < info.Categories[c].Commands.size(); ++i)
      hold(info.Categories[c].Commands[i].ShortCut, {static_cast<int>(c), static_cast<int>(i)});
  for (std::size_t row = 0; row < rows.size(); ++row) hold(rows[row].ShortCut, {-1, static_cast<int>(row)});
  shortCuts = ApplyShortCuts(info);
  return clashes;
}

std::string ShortCutClashMessage(const std::vector<TShortCutClash>& clashes) {
  std::string message = SystemText(
      "設定ファイルで同じショートカットが複数の項目に割り当てられていました。\n"
      "最初の項目だけに残し、ほかの項目からは外しました。\n\n");
  for (const TShortCutClash& clash : clashes)
    message += clash.Text + SystemText(" ［") + clash.Keeper + SystemText("］に残し、［") + clash.Loser +
               SystemText("］から外しました。\n");
  return message + SystemText("\n割り当ては［環境設定］の［ショートカット設定］と［ヘルプ設定］で変更できます。");
}

TShortCutButtons ShortCutButtons(std::string_view captured, std::string_view current) noexcept {
  return {!captured.empty(), !current.empty()};
}

}  // namespace tarn::ui

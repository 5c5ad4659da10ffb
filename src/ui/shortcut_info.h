// The customisable commands' shortcut texts as the options dialog edits them, grouped by menu,
// and who already uses a combination: a command or a help entry.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_records.h"

namespace tarn::ui {

// Names are the hints of the main window's commands and menus, as CP932.
struct TCommandRec {
  std::string Name;
  std::string ShortCut;  // FormatShortcut text, empty for none
};
struct TCategoryRec {
  std::string Name;
  std::vector<TCommandRec> Commands;
};
struct TShortCutInfo {
  std::vector<TCategoryRec> Categories;
};

// The shortcuts in the order of the "ShortCut" section.
using TShortCuts = std::array<settings::TShortCut, settings::kShortCutCommands.size()>;

// Four categories ("ファイル", "検索", "結果", "設定") of 1, 4, 6 and 3 commands, in table order.
TShortCutInfo CollectShortCuts(const TShortCuts& shortCuts);
// Each command's text read back with ParseShortcut, by position.
TShortCuts ApplyShortCuts(const TShortCutInfo& info);

// A command (Category, Index) or, with Category -1, the help row Index.
struct TShortCutOwner {
  int Category = -1;
  int Index = 0;
  bool IsHelpRow() const noexcept { return Category < 0; }
  bool operator==(const TShortCutOwner&) const = default;
};

// The first command in table order, then the first help row from the top, whose shortcut text
// equals `text` without regard to letter case; nothing for an empty text.
std::optional<TShortCutOwner> FindShortCutOwner(const TShortCutInfo& info,
                                                const std::vector<settings::THelpEntry>& helpRows,
                                                std::string_view text);

// The question asked before the combination is taken from its owner (CP932).
std::string ShortCutReplaceQuestion(const TShortCutInfo& info, const std::vector<settings::THelpEntry>& helpRows,
                                    std::string_view text, TShortCutOwner owner);

// The owner gives its shortcut up.
void ClearShortCutOwner(TShortCutInfo& info, std::vector<settings::THelpEntry>& helpRows, TShortCutOwner owner);

// A combination held by more than one command or help entry, as a hand-edited settings file may
// have it: the first holder in the order FindShortCutOwner looks keeps it, the later ones lose it.
struct TShortCutClash {
  std::string Text;    // the combination (CP932)
  std::string Keeper;  // "category：command" or "ヘルプ設定：title" (CP932)
  std::string Loser;
};
// Clears the later holders' shortcuts (a help entry is rewritten only when it loses its shortcut)
// and says what was taken from whom.
std::vector<TShortCutClash> ResolveShortCutClashes(TShortCuts& shortCuts, std::vector<std::string>& helpEntries);
// What the user is told about the clashes resolved at start-up (CP932).
std::string ShortCutClashMessage(const std::vector<TShortCutClash>& clashes);

// "変更" needs a captured combination, "削除" a shortcut to remove.
struct TShortCutButtons {
  bool Modify = false;
  bool Delete = false;
};
TShortCutButtons ShortCutButtons(std::string_view captured, std::string_view current) noexcept;

}  // namespace tarn::ui

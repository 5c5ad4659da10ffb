// The rows of the options dialog's help page (title, file, shortcut of each help entry) and the
// rules of its buttons.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings_records.h"

namespace tarn::ui {

using THelpRows = std::vector<settings::THelpEntry>;

// The entries the menu can offer, as read from a settings file that may have been edited by hand
// ("Count" above the items present, an item without a file): an entry without a file is left
// out, one without a title is titled with its file. The others stay byte for byte.
std::vector<std::string> UsableHelpEntries(const std::vector<std::string>& helpEntries);

// Entries with fewer than three items get an empty shortcut.
THelpRows HelpRowsOf(const std::vector<std::string>& helpEntries);
std::vector<std::string> HelpEntriesOf(const THelpRows& rows);

// A text the help menu hands to the desktop as an address rather than a file: it begins with
// "http://" or "https://", in lower case.
bool IsHelpAddress(std::string_view file) noexcept;

// Which field Add and Modify refuse: an empty title, or a file that is neither an existing file
// nor an address.
enum class THelpField { None, Title, File };
THelpField CheckHelpFields(std::string_view title, std::string_view file,
                           const std::function<bool(std::string_view file)>& fileExists);
// Why Add and Modify refuse the field, in words (CP932).
std::string HelpFieldRefusal(THelpField field, std::string_view file);
// Whether a CP932 path names an existing regular file.
bool HelpFileExists(std::string_view file);

struct THelpButtons {
  bool Add = false;
  bool Modify = false;
  bool Delete = false;
  bool Up = false;
  bool Down = false;
};
THelpButtons HelpButtons(std::size_t rowCount, std::optional<std::size_t> selected, std::string_view title,
                         std::string_view file) noexcept;

// Exchanges the title and file of a row with its neighbour above or below; the shortcuts stay with
// their positions. The neighbour's index, or nothing when there is none.
std::optional<std::size_t> MoveHelpRow(THelpRows& rows, std::size_t row, bool up);

}  // namespace tarn::ui

// The help menu's entries: the menu built from the help entries, and opening an entry's file or
// address with the desktop's program for it.
#pragma once

#include <QUrl>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QMenu;
class QWidget;

namespace tarn::ui {

// Replaces the menu's items by one per entry (caption the title, shortcut the entry's shortcut
// text, data the entry's index) that calls `run` with its index; with no entries the menu holds
// only "（なし）", disabled. An entry without a file is shown disabled.
void BuildHelpMenu(QMenu& menu, const std::vector<std::string>& helpEntries,
                   const std::function<void(std::size_t index)>& run);

// What the desktop is asked to open for an entry's file (CP932): an "http://" or "https://"
// address as it stands, an existing file as a file address; nothing for anything else.
std::optional<QUrl> HelpTarget(std::string_view file);

// Opens the entry's file or address; says so in a message box when there is nothing to open or
// the desktop cannot open it.
void ActionHelpShowExecute(QWidget* parent, const std::string& helpEntry);

}  // namespace tarn::ui

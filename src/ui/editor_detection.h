// The editors Tarn knows on Linux desktops, each with the parameter template that opens a file at
// a line, and the search for one of them at the first start.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "settings/settings_records.h"

namespace tarn::ui {

struct TKnownEditor {
  std::string_view Caption;  // as the parameter help window names it
  std::string_view Program;
  std::string_view CmdLine;
};

// In the order they are looked for. Only editors that open a window of their own: a terminal
// editor started from the desktop has no terminal to run in, so "Vim" stands for gvim.
inline constexpr std::array<TKnownEditor, 6> kKnownEditors = {{
    {"gedit", "gedit", "+%L %F"},
    {"Kate", "kate", "-l %L %F"},
    {"Mousepad", "mousepad", "--line=%L %F"},
    {"VS Code", "code", "-g %F:%L"},
    {"Emacs", "emacs", "+%L %F"},
    {"Vim", "gvim", "+%L %F"},
}};

// The first known editor `onPath` finds, with its program name as ExeName (started from PATH)
// and its template as CmdLine; nothing when none is installed.
std::optional<settings::TEditorInfo> FindInstalledEditor(const std::function<bool(const std::string& program)>& onPath);

// Whether PATH holds an executable file of that name.
bool ProgramOnPath(const std::string& program);

}  // namespace tarn::ui

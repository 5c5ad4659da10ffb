#include "ui/editor_detection.h"

#include <QStandardPaths>

namespace tarn::ui {

std::optional<settings::TEditorInfo> FindInstalledEditor(const std::function<bool(const std::string& program)>& onPath) {
  for (const TKnownEditor& editor : kKnownEditors)
    if (onPath(std::string(editor.Program))) return settings::TEditorInfo{std::string(editor.Program), std::string(editor.CmdLine)};
  return std::nullopt;
}

bool ProgramOnPath(const std::string& program) {
  return !program.empty() && !QStandardPaths::findExecutable(QString::fromStdString(program)).isEmpty();
}

}  // namespace tarn::ui

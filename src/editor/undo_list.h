// Undo and redo of the control's edits, bounded to a number of steps.
#pragma once

#include <string>
#include <vector>

#include "editor/editor_lines.h"

namespace tarn::editor {

// One replacement: at From, Removed was replaced by Inserted.
struct TUndoEdit {
  TEditorPos From;
  std::string Removed;
  std::string Inserted;
};

// One user action: its replacements in the order they were made, and the caret before and after.
struct TUndoStep {
  std::vector<TUndoEdit> Edits;
  TEditorPos CaretBefore;
  TEditorPos CaretAfter;
};

class TEditorUndoList {
 public:
  // Records a step; the oldest steps go once there are more than maxSteps. Clears redo, unless
  // the step has no edits (it is then dropped and nothing changes).
  void Push(TUndoStep step, int maxSteps);
  bool CanUndo() const noexcept { return !undo_.empty(); }
  bool CanRedo() const noexcept { return !redo_.empty(); }
  // Undoes the last step on lines; returns the caret to restore.
  TEditorPos Undo(TEditorLines& lines);
  TEditorPos Redo(TEditorLines& lines);
  void Clear() noexcept;
  int UndoCount() const noexcept { return static_cast<int>(undo_.size()); }

 private:
  std::vector<TUndoStep> undo_;
  std::vector<TUndoStep> redo_;
};

}  // namespace tarn::editor

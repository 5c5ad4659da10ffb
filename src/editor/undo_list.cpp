#include "editor/undo_list.h"

#include <algorithm>

namespace tarn::editor {

void TEditorUndoList::Push(TUndoStep step, int maxSteps) {
  // A step that changed nothing leaves both lists as they are.
  if (step.Edits.empty()) return;
  redo_.clear();
  if (maxSteps <= 0) {
    // No steps are kept; older ones no longer fit the text.
    undo_.clear();
    return;
  }
  undo_.push_back(std::move(step));
  if (undo_.size() > static_cast<std::size_t>(maxSteps)) {
    undo_.erase(undo_.begin(), undo_.end() - maxSteps);
  }
}

TEditorPos TEditorUndoList::Undo(TEditorLines& lines) {
  if (undo_.empty()) return {};
  TUndoStep step = std::move(undo_.back());
  undo_.pop_back();
  for (auto it = step.Edits.rbegin(); it != step.Edits.rend(); ++it) {
    lines.Replace(it->From, TEditorLines::PosAfter(it->From, it->Inserted), it->Removed);
  }
  const TEditorPos caret = step.CaretBefore;
  redo_.push_back(std::move(step));
  return caret;
}

TEditorPos TEditorUndoList::Redo(TEditorLines& lines) {
  if (redo_.empty()) return {};
  TUndoStep step = std::move(redo_.back());
  redo_.pop_back();
  for (const auto& e : step.Edits) {
    lines.Replace(e.From, TEditorLines::PosAfter(e.From, e.Removed), e.Inserted);
  }
  const TEditorPos caret = step.CaretAfter;
  undo_.push_back(std::move(step));
  return caret;
}

void TEditorUndoList::Clear() noexcept {
  undo_.clear();
  redo_.clear();
}

}  // namespace tarn::editor

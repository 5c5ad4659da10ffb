// What the two auxiliary windows (registered search words, synonym editor) share: the settings of
// their editable editor, page scrolling by wheel, the six edit commands with their popup menu,
// and the message of a file they cannot read or write.
#pragma once

#include <QObject>
#include <string>

#include "editor/ko_editor.h"

class QAction;
class QMenu;
class QWidget;

namespace tarn::ui {

// One wheel notch scrolls one page, as a page request of the scroll bar; the caret stays.
void ScrollPagesByWheel(editor::TKoEditor& editor);

// An editable editor with both scroll bars, Return and Tab going into the text, marks for line
// ends, the end of the text, tabs and full-width blanks, the fixed-pitch face 15 pixels high of
// its own, and one page scrolled per wheel notch.
void SetUpAuxEditor(editor::TKoEditor& editor);

// Which edit commands the popup menu offers when it opens.
struct TEditCommandStates {
  bool Undo = false;
  bool Redo = false;
  bool Cut = false;
  bool Copy = false;
  bool Paste = false;
  bool SelectAll = true;
};
// A box selection (Alt+drag) counts as a selection: the user made it to copy it.
TEditCommandStates EditCommandStates(bool canUndo, bool canRedo, bool selected, bool clipboardHasText);

// The actions ActionEditUndo, ActionEditRedo, ActionEditCut, ActionEditCopy, ActionEditPaste and
// ActionEditSelectAll on `window`, acting on `editor`, and the editor's PopupMenuEdit. Their
// shortcuts work in the window at any time and each command tests its condition when it runs;
// the enabled states are what the menu shows while it is open.
class TEditCommands : public QObject {
 public:
  TEditCommands(editor::TKoEditor& editor, QWidget& window);

  // Refreshes the enabled states (the menu does it as it opens).
  void ActionEditPopupExecute();
  QMenu& PopupMenuEdit() const { return *popupMenuEdit_; }

  void ActionEditUndoExecute();
  void ActionEditRedoExecute();
  void ActionEditCutExecute();
  void ActionEditCopyExecute();
  void ActionEditPasteExecute();
  void ActionEditSelectAllExecute();

 private:
  bool HasSelection() const { return editor_.Selected() || editor_.BoxSelected(); }

  editor::TKoEditor& editor_;
  QAction* undo_ = nullptr;
  QAction* redo_ = nullptr;
  QAction* cut_ = nullptr;
  QAction* copy_ = nullptr;
  QAction* paste_ = nullptr;
  QAction* selectAll_ = nullptr;
  QMenu* popupMenuEdit_ = nullptr;
};

// True when the clipboard holds text to paste.
bool ClipboardHoldsText();

// A file's CP932 message ("ファイル %s を作成できません" and the like) in a message box.
void ShowFileError(QWidget* parent, const std::string& cp932Message);

}  // namespace tarn::ui

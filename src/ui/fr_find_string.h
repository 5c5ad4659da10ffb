// TFormFindString: the registered search words window, a notebook of search strings kept in
// String.txt that stays above the other windows; a double-clicked line goes into the main
// window's search-string box.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "settings/data_locations.h"
#include "settings/settings_records.h"

class QLabel;

namespace tarn::editor {
class TKoEditor;
}

namespace tarn::ui {

class TFormFindString : public QWidget {
  Q_OBJECT

 public:
  // Created hidden at start-up, as a tool window of mainWindow, which owns it: bounds from the
  // "StringWindow" keys, text from String.txt (the six default lines when there is none).
  TFormFindString(settings::DataLocations locations, QWidget* mainWindow);
  ~TFormFindString() override;

  // What a double-clicked line hands to the main window's search-string box (CP932, already
  // trimmed).
  std::function<void(const std::string& findString)> OnPick;
  // Where the owner's request boxes are on the screen: a window opened beside the owner keeps
  // clear of them.
  std::function<QRect()> RequestBoxesArea;

  // Writes the "StringWindow" keys and String.txt. False (after the message) when String.txt
  // cannot be written; a settings file that cannot be written is reported but does not hold the
  // window, as the bounds are no user's work.
  bool SaveAll();
  editor::TKoEditor& KoEditor1() { return *koEditor1_; }
  // Font of the window (the base font of the settings); the editor keeps its own.
  void ApplyBaseFont(const QFont& font);
  // Shows the window in front, restoring it when minimised.
  void BringForward();
  // What the status field shows.
  QString StatusText() const;

 protected:
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void KoEditor1CaretMoved();
  void KoEditor1DblClick();
  void SetBounds(const settings::TStringWindowPlacement& placement);
  // With no stored position (a first start), the window goes beside its owner the first time it
  // is shown or saved.
  void PlaceBesideOwner();
  settings::TStringWindowPlacement Bounds() const;

  settings::DataLocations locations_;
  editor::TKoEditor* koEditor1_ = nullptr;
  QLabel* flatPanelStatus1_ = nullptr;
  // Set when String.txt exists but could not be read: the text shown then is not the file's, and
  // writing it back unchanged would destroy the file.
  bool unreadFile_ = false;
  bool placed_ = false;
  std::string textShownInstead_;
};

}  // namespace tarn::ui

// The directory panel: the folder tree of the main window's left pane. Folders are listed when a
// node is first expanded, and every move of the selection is checked against the disk first.
// Both go to the disk on threads of their own: a folder that answers at once is shown at once,
// one that does not (a network volume gone away) shows as loading, or lets the move go ahead,
// and its answer is taken in when it comes, should it ever come.
#pragma once

#include <QPersistentModelIndex>
#include <QTreeView>
#include <QWidget>
#include <chrono>
#include <functional>
#include <span>
#include <vector>

#include "search/background_call.h"

#include "ui/folder_namespace.h"

class QTimer;

namespace tarn::ui {

class TGuardedSelection;
class TFolderModel;

// The folder tree control: read-only, one selected node, and a guard that may refuse a move of
// the selection before it happens.
class TKoTreeView : public QTreeView {
  Q_OBJECT

 public:
  explicit TKoTreeView(QWidget* parent = nullptr);
  void setModel(QAbstractItemModel* model) override;
  // Also sideways: the node's label (with its expand button) comes into view, however deep the
  // node lies; the view's own scrolling knows only the one column as wide as the deepest label.
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  // Asked before the selection moves to another node; false keeps the selection where it is.
  std::function<bool(const QModelIndex& node)> OnChanging;

 protected:
  void focusInEvent(QFocusEvent* e) override;

 private:
  TGuardedSelection* selection_ = nullptr;
};

class TDirectoryPanel : public QWidget {
  Q_OBJECT

 public:
  // The namespace of this machine: home folder, "/" and the volumes mounted when the tree is built.
  explicit TDirectoryPanel(QWidget* parent = nullptr);
  explicit TDirectoryPanel(TFolderRoots roots, QWidget* parent = nullptr);

  // Discards every node and builds the root with its first level; selects nothing and does not
  // run OnChange.
  void BuildTree();
  // Selects the deepest folder along an absolute path that exists, every level above it
  // expanded; an empty or relative path leaves the selection as it is.
  void SelectPath(const QString& path);
  // The selected folder's path; the virtual root's display name, which names no directory;
  // empty when nothing is selected.
  QString SelectedPath() const;
  // The selected folder's path, or empty for the virtual root and for no selection.
  QString SelectedDirectory() const;
  // Runs after the selection has moved.
  std::function<void()> OnChange;
  // Lists a folder's sub-folders, as ListSubFolders does (another lister can stand in for the
  // disk). Called on another thread: it must hold nothing of the panel's.
  std::function<std::optional<std::vector<TFolderEntry>>(const std::string& path, std::span<const TFolderId> ancestors)>
      ListFolders = ListSubFolders;
  // How long the panel waits for the disk before it shows a folder as loading, or lets a move go
  // ahead unchecked.
  std::chrono::milliseconds Patience{200};

  TKoTreeView& KoTreeView1() const { return *tree_; }

 private:
  bool KoTreeView1Changing(const QModelIndex& index);
  void KoTreeView1Expanded(const QModelIndex& index);
  void KoTreeView1Collapsed(const QModelIndex& index);
  void RemoveNode(const QModelIndex& index);

  // What a listing found: the folder's identity (when the node had none) and its sub-folders.
  struct Listing {
    std::optional<TFolderId> Id;
    std::optional<std::vector<TFolderEntry>> Folders;
  };
  void ShowListing(const QModelIndex& index, Listing listing);
  void ApplyVerdict(const QModelIndex& index, TMoveVerdict verdict);
  bool Loading(const QModelIndex& index) const;
  // Takes in the answers that have come.
  void TakeAnswers();

  template <class T>
  struct Pending {
    QPersistentModelIndex Node;
    search::TBackgroundCall<T> Call;
  };
  std::vector<Pending<Listing>> listings_;
  std::vector<Pending<TMoveVerdict>> verdicts_;
  QTimer* answers_ = nullptr;
  // A path SelectPath is to select once the folders along it are listed.
  QString pendingPath_;

  TFolderRoots roots_;
  bool systemRoots_ = false;  // the roots are read again at each build, so F5 finds a new volume
  TFolderModel* model_ = nullptr;
  TKoTreeView* tree_ = nullptr;
  QIcon rootIcon_;
  QIcon homeIcon_;
  QIcon fileSystemIcon_;
  QIcon removableIcon_;
  QIcon networkIcon_;
  QIcon folderIcon_;
};

}  // namespace tarn::ui

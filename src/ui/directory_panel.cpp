#include "ui/directory_panel.h"

#include <QAbstractItemDelegate>
#include <QFocusEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPersistentModelIndex>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyleOptionViewItem>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "search/native_path.h"

namespace tarn::ui {

// Only the current node is ever selected, and the current node moves only when the guard agrees,
// so a node the guard refused never lights up, whichever way the view tried to select it.
class TGuardedSelection : public QItemSelectionModel {
 public:
  using QItemSelectionModel::QItemSelectionModel;
  using QItemSelectionModel::select;

  std::function<bool(const QModelIndex&)> Guard;
  bool Frozen = false;  // no move at all, whatever the guard says

  void setCurrentIndex(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override {
    if (index != currentIndex() && (Frozen || (index.isValid() && Guard && !Guard(index)))) return;
    if (!index.isValid()) {
      QItemSelectionModel::setCurrentIndex(index, command);
      return;
    }
    const QPersistentModelIndex outer = moving_;
    moving_ = index;
    QItemSelectionModel::setCurrentIndex(index, ClearAndSelect | Rows);
    moving_ = outer;
  }

  void select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command) override {
    if (command & (Deselect | Toggle)) return;
    if (selection.isEmpty() && currentIndex().isValid()) return;
    for (const QModelIndex& i : selection.indexes())
      if (i != moving_ && i != currentIndex()) return;
    QItemSelectionModel::select(selection, command);
  }

 private:
  QPersistentModelIndex moving_;
};

namespace {

class TFolderNode : public QStandardItem {
 public:
  static constexpr int kType = QStandardItem::UserType + 1;
  TFolderNode(TFolderKind kind, std::string path, const QString& name, const QIcon& icon)
      : QStandardItem(icon, name), Kind(kind), Path(std::move(path)) {
    setEditable(false);
  }
  int type() const override { return kType; }
  // The view asks again whether the node has children.
  void Refresh() { emitDataChanged(); }

  const TFolderKind Kind;
  const std::string Path;
  std::optional<TFolderId> Id;
  // Listed, or known to show no sub-folders (a loop): no listing on expansion.
  bool Loaded = false;
};

TFolderNode* Node(QStandardItem* item) {
  return item && item->type() == TFolderNode::kType ? static_cast<TFolderNode*>(item) : nullptr;
}

// Stands under a folder while its listing has not come; it cannot be selected.
QStandardItem* LoadingItem() {
  auto* item = new QStandardItem(QStringLiteral("読み込み中..."));
  item->setFlags(Qt::NoItemFlags);
  return item;
}


bool Contains(const QModelIndex& ancestor, QModelIndex index) {
  for (; index.isValid(); index = index.parent())
    if (index == ancestor) return true;
  return false;
}

QIcon ThemeIcon(const char* name, const QStyle& style, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(QLatin1String(name), style.standardIcon(fallback));
}

// A folder shows its open picture while it is selected.
QIcon FolderIcon(const QStyle& style) {
  const QIcon closed = ThemeIcon("folder", style, QStyle::SP_DirIcon);
  const QIcon open = ThemeIcon("folder-open", style, QStyle::SP_DirOpenIcon);
  QIcon icon;
  for (const int size : {16, 22, 24, 32, 48}) {
    icon.addPixmap(closed.pixmap(size), QIcon::Normal);
    icon.addPixmap(open.pixmap(size), QIcon::Selected);
  }
  return icon;
}

}  // namespace

// A folder not listed yet shows an expand button: whether it has sub-folders is only learnt by
// listing it, on its first expansion.
class TFolderModel : public QStandardItemModel {
 public:
  using QStandardItemModel::QStandardItemModel;
  bool hasChildren(const QModelIndex& parent) const override {
    if (const TFolderNode* node = Node(itemFromIndex(parent)); node && !node->Loaded) return true;
    return QStandardItemModel::hasChildren(parent);
  }
  TFolderNode* NodeAt(const QModelIndex& index) const { return Node(itemFromIndex(index)); }
};

TKoTreeView::TKoTreeView(QWidget* parent) : QTreeView(parent) {
  setObjectName(QStringLiteral("KoTreeView1"));
  setFrameShape(QFrame::NoFrame);
  setIndentation(19);
  setRootIsDecorated(true);
  setHeaderHidden(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setFocusPolicy(Qt::StrongFocus);
  setUniformRowHeights(true);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  viewport()->setBackgroundRole(QPalette::Base);
  // One column as wide as its longest visible name: long names bring a horizontal scroll bar.
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
}

void TKoTreeView::setModel(QAbstractItemModel* model) {
  QTreeView::setModel(model);
  QItemSelectionModel* old = selectionModel();
  selection_ = new TGuardedSelection(model, this);
  selection_->Guard = [this](const QModelIndex& index) { return !OnChanging || OnChanging(index); };
  setSelectionModel(selection_);
  if (old) old->deleteLater();
}

void TKoTreeView::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (!index.isValid() || !model()) return QTreeView::scrollTo(index, hint);
  // The column is sized to its contents only later on its own, and a scroll bar that comes with a
  // wider row takes height from the view: both first, so that the row is not hidden again.
  executeDelayedItemsLayout();
  resizeColumnToContents(0);
  updateGeometries();
  // As little sideways movement as shows the label, so that the folders above stay in sight.
  const int offset = horizontalOffset();
  QTreeView::scrollTo(index, hint);
  QStyleOptionViewItem option;
  initViewItemOption(&option);
  const int label = itemDelegateForIndex(index)->sizeHint(option, index).width();
  const int left = visualRect(index).left() + horizontalOffset();
  const int from = std::max(0, left - indentation());
  const int view = viewport()->width();
  int to = offset;
  if (left + label - from > view)
    to = left;  // wider than the panel: its start
  else if (from < offset)
    to = from;
  else if (left + label > offset + view)
    to = left + label - view;
  horizontalScrollBar()->setValue(to);
}

void TKoTreeView::focusInEvent(QFocusEvent* e) {
  // The view would make the first node current when focus arrives with none; that would empty
  // the directory box the user has just typed into.
  if (selection_) selection_->Frozen = !currentIndex().isValid();
  QTreeView::focusInEvent(e);
  if (selection_) selection_->Frozen = false;
}

TDirectoryPanel::TDirectoryPanel(QWidget* parent) : TDirectoryPanel(TFolderRoots{}, parent) { systemRoots_ = true; }

TDirectoryPanel::TDirectoryPanel(TFolderRoots roots, QWidget* parent) : QWidget(parent), roots_(std::move(roots)) {
  setObjectName(QStringLiteral("DirectoryPanel"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  model_ = new TFolderModel(this);
  tree_ = new TKoTreeView(this);
  tree_->setModel(model_);
  layout->addWidget(tree_);
  setFocusProxy(tree_);

  const QStyle& s = *style();
  rootIcon_ = ThemeIcon("computer", s, QStyle::SP_ComputerIcon);
  homeIcon_ = ThemeIcon("user-home", s, QStyle::SP_DirHomeIcon);
  fileSystemIcon_ = ThemeIcon("drive-harddisk", s, QStyle::SP_DriveHDIcon);
  removableIcon_ = ThemeIcon("drive-removable-media", s, QStyle::SP_DriveHDIcon);
  networkIcon_ = ThemeIcon("folder-remote", s, QStyle::SP_DriveNetIcon);
  folderIcon_ = FolderIcon(s);

  answers_ = new QTimer(this);
  answers_->setInterval(30);
  connect(answers_, &QTimer::timeout, this, &TDirectoryPanel::TakeAnswers);

  tree_->OnChanging = [this](const QModelIndex& index) { return KoTreeView1Changing(index); };
  connect(tree_, &QTreeView::expanded, this, &TDirectoryPanel::KoTreeView1Expanded);
  connect(tree_, &QTreeView::collapsed, this, &TDirectoryPanel::KoTreeView1Collapsed);
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
    pendingPath_.clear();  // the user chose meanwhile
    if (current.isValid() && OnChange) OnChange();
  });
}

void TDirectoryPanel::BuildTree() {
  if (systemRoots_) roots_ = DefaultFolderRoots();
  // Answers still to come are for nodes that go now.
  listings_.clear();
  verdicts_.clear();
  pendingPath_.clear();
  model_->clear();
  auto root = std::make_unique<TFolderNode>(TFolderKind::kRoot, std::string(), roots_.DisplayName, rootIcon_);
  QList<QStandardItem*> children;
  for (const TFolderRoot& r : roots_.Children) {
    const QIcon* icon = &folderIcon_;
    switch (r.Kind) {
      case TFolderKind::kHome: icon = &homeIcon_; break;
      case TFolderKind::kFileSystemRoot: icon = &fileSystemIcon_; break;
      case TFolderKind::kRemovable: icon = &removableIcon_; break;
      case TFolderKind::kNetwork: icon = &networkIcon_; break;
      default: break;
    }
    children.append(new TFolderNode(r.Kind, r.Path, r.DisplayName, *icon));
  }
  root->appendRows(children);
  root->Loaded = true;
  model_->appendRow(root.release());
  tree_->expand(model_->index(0, 0));
}

void TDirectoryPanel::KoTreeView1Expanded(const QModelIndex& index) {
  TFolderNode* node = model_->NodeAt(index);
  if (!node || node->Loaded) return;
  node->Loaded = true;

  std::vector<TFolderId> ancestors;
  for (QStandardItem* i = node; i; i = i->parent())
    if (const TFolderNode* n = Node(i); n && n->Id) ancestors.push_back(*n->Id);
  std::function<Listing()> list = [path = node->Path, id = node->Id, ancestors, lister = ListFolders]() mutable {
    Listing listing{id ? id : FolderIdOf(path), std::nullopt};
    if (!listing.Id) return listing;
    if (!id) ancestors.push_back(*listing.Id);
    listing.Folders = lister(path, ancestors);
    return listing;
  };
  std::optional<Listing> answer;
  std::optional<search::TBackgroundCall<Listing>> call = search::CallWithPatience(std::move(list), Patience, answer);
  if (answer) return ShowListing(index, std::move(*answer));
  node->appendRow(LoadingItem());
  listings_.push_back({QPersistentModelIndex(index), std::move(*call)});
  answers_->start();
}

void TDirectoryPanel::ShowListing(const QModelIndex& index, Listing listing) {
  TFolderNode* node = model_->NodeAt(index);
  if (!node) return;
  if (!node->Id) node->Id = listing.Id;
  if (Loading(index)) node->removeRow(0);
  if (!listing.Folders || listing.Folders->empty()) {
    tree_->collapse(index);
    node->Refresh();  // its expand button goes
    return;
  }

  std::vector<std::unique_ptr<TFolderNode>> children;
  children.reserve(listing.Folders->size());
  for (const TFolderEntry& f : *listing.Folders) {
    auto child = std::make_unique<TFolderNode>(TFolderKind::kFolder, ChildPath(node->Path, f.Name), f.DisplayName,
                                               folderIcon_);
    child->Id = f.Id;
    child->Loaded = f.Loop;
    children.push_back(std::move(child));
  }
  QList<QStandardItem*> items;
  items.reserve(static_cast<qsizetype>(children.size()));
  for (auto& child : children) items.append(child.release());
  node->appendRows(items);
}

bool TDirectoryPanel::Loading(const QModelIndex& index) const {
  const QStandardItem* item = model_->itemFromIndex(index);
  return item && item->rowCount() > 0 && !Node(item->child(0));
}

void TDirectoryPanel::TakeAnswers() {
  // Taken out first: showing an answer may expand a node and wait for the next.
  std::vector<std::pair<QPersistentModelIndex, Listing>> listings;
  std::erase_if(listings_, [&](Pending<Listing>& p) {
    if (!p.Call.Ready()) return false;
    listings.emplace_back(p.Node, p.Call.Take());
    return true;
  });
  std::vector<std::pair<QPersistentModelIndex, TMoveVerdict>> verdicts;
  std::erase_if(verdicts_, [&](Pending<TMoveVerdict>& p) {
    if (!p.Call.Ready()) return false;
    verdicts.emplace_back(p.Node, p.Call.Take());
    return true;
  });
  if (listings_.empty() && verdicts_.empty()) answers_->stop();
  // A node collapsed meanwhile takes its listing all the same; one removed or rebuilt has none.
  for (auto& [node, listing] : listings)
    if (node.isValid()) ShowListing(node, std::move(listing));
  for (const auto& [node, verdict] : verdicts)
    if (node.isValid() && (node == tree_->currentIndex() || verdict == TMoveVerdict::kRemove)) ApplyVerdict(node, verdict);
  if (!listings.empty() && !pendingPath_.isEmpty()) SelectPath(QString(pendingPath_));
}

void TDirectoryPanel::KoTreeView1Collapsed(const QModelIndex& index) {
  // The selection never hides inside a collapsed branch: the collapsed folder takes it.
  const QModelIndex current = tree_->currentIndex();
  if (current != index && Contains(index, current)) tree_->setCurrentIndex(index);
}

bool TDirectoryPanel::KoTreeView1Changing(const QModelIndex& index) {
  const TFolderNode* node = model_->NodeAt(index);
  if (!node || node->Kind == TFolderKind::kRoot) return true;
  // A folder whose check has not come back yet is not asked about again.
  if (std::any_of(verdicts_.begin(), verdicts_.end(), [&](const auto& p) { return p.Node == index; })) return true;
  std::optional<TMoveVerdict> answer;
  std::optional<search::TBackgroundCall<TMoveVerdict>> call = search::CallWithPatience<TMoveVerdict>(
      [path = node->Path, kind = node->Kind, mounted = roots_.VolumeMounted] {
        return SelectionVerdict(path, kind, mounted);
      },
      Patience, answer);
  if (!answer) {
    // The disk does not answer: the move goes ahead, and the check applies when it comes.
    verdicts_.push_back({QPersistentModelIndex(index), std::move(*call)});
    answers_->start();
    return true;
  }
  ApplyVerdict(index, *answer);
  return *answer == TMoveVerdict::kAllow;
}

void TDirectoryPanel::ApplyVerdict(const QModelIndex& index, TMoveVerdict verdict) {
  switch (verdict) {
    case TMoveVerdict::kAllow: return;
    case TMoveVerdict::kRefuse:
      // Refused after the move went ahead: the folder above takes the selection.
      if (tree_->currentIndex() == index) tree_->setCurrentIndex(index.parent());
      return;
    case TMoveVerdict::kToParent: tree_->setCurrentIndex(index.parent()); return;
    case TMoveVerdict::kRemove:
      // Not at once: the view may still hold the node in the event that asked for the move.
      QTimer::singleShot(0, this, [this, gone = QPersistentModelIndex(index)] {
        if (gone.isValid()) RemoveNode(gone);
      });
      return;
  }
}

void TDirectoryPanel::RemoveNode(const QModelIndex& index) {
  const QModelIndex parent = index.parent();
  if (!parent.isValid()) return;
  if (Contains(index, tree_->currentIndex())) tree_->setCurrentIndex(parent);
  model_->removeRow(index.row(), parent);
}

void TDirectoryPanel::SelectPath(const QString& path) {
  pendingPath_.clear();
  // The nodes hold the names as the disk does; a path shown or typed may name a CP932 folder.
  const std::optional<TPathLevels> levels = SplitPath(search::DisplayToNative(path.toStdString()), roots_.Children);
  QModelIndex node = model_->index(0, 0);
  if (!levels || !node.isValid()) return;
  tree_->expand(node);
  const std::string& rootPath = roots_.Children[levels->Root].Path;
  for (int i = 0; i < model_->rowCount(node); ++i) {
    if (model_->NodeAt(model_->index(i, 0, node))->Path == rootPath) {
      node = model_->index(i, 0, node);
      break;
    }
  }
  std::size_t level = node.parent().isValid() ? 0 : levels->Names.size();
  for (;; ++level) {
    tree_->expand(node);
    if (level == levels->Names.size()) break;
    if (Loading(node)) {
      // Taken up again when the listing comes, rather than selecting a folder above the path.
      pendingPath_ = path;
      return;
    }
    const std::string wanted = ChildPath(model_->NodeAt(node)->Path, levels->Names[level]);
    QModelIndex next;
    for (int i = 0; i < model_->rowCount(node) && !next.isValid(); ++i)
      if (model_->NodeAt(model_->index(i, 0, node))->Path == wanted) next = model_->index(i, 0, node);
    if (!next.isValid()) break;
    node = next;
  }
  tree_->setCurrentIndex(node);
}

QString TDirectoryPanel::SelectedPath() const {
  const TFolderNode* node = model_->NodeAt(tree_->currentIndex());
  if (!node) return {};
  return node->Kind == TFolderKind::kRoot ? node->text() : QString::fromStdString(search::NativeToDisplay(node->Path));
}

QString TDirectoryPanel::SelectedDirectory() const {
  const TFolderNode* node = model_->NodeAt(tree_->currentIndex());
  return node && node->Kind != TFolderKind::kRoot ? QString::fromStdString(search::NativeToDisplay(node->Path))
                                                  : QString();
}

}  // namespace tarn::ui

// The directory panel driven as a user drives it: paths selected, folders expanded with the
// mouse and the keyboard, folders that vanish or loop, and what the tree then shows.
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QVBoxLayout>
#include <unistd.h>

#include <memory>

#include "ui/directory_panel.h"
#include "ui/folder_namespace.h"
#include "window_test_support.h"

using namespace tarn::ui;

namespace {

// A machine of the test's own: "home" and two volumes under a temporary folder, beside the real "/".
struct Machine {
  QTemporaryDir base;
  bool mounted = true;

  QString Path(const QString& rel) const { return base.path() + "/" + rel; }
  TFolderRoots Roots() {
    return {QStringLiteral("テスト機"),
            {{TFolderKind::kHome, QStringLiteral("user"), Path("user").toStdString()},
             {TFolderKind::kFileSystemRoot, QStringLiteral("/"), "/"},
             {TFolderKind::kNetwork, QStringLiteral("NAS"), Path("user/nas").toStdString()},
             {TFolderKind::kRemovable, QStringLiteral("USBメモリ"), Path("usb").toStdString()}},
            [this](const std::string&) { return mounted; }};
  }
};

}  // namespace

class DirectoryPanelTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    machine_ = std::make_unique<Machine>();
    for (const char* dir : {"user/a/b/c", "user/z/deep", "user/nas/共有", "usb/写真/2024", "other/d"})
      QVERIFY(QDir().mkpath(machine_->Path(QString::fromUtf8(dir))));
    QVERIFY(QDir().mkpath(machine_->Path(DeepLevels().join('/'))));
    panel_ = std::make_unique<TDirectoryPanel>(machine_->Roots());
    panel_->OnChange = [this] { ++changes_; };
    panel_->resize(250, 400);
    panel_->show();
    QVERIFY(QTest::qWaitForWindowActive(panel_.get()));
    panel_->BuildTree();
    changes_ = 0;
  }

  void cleanup() {
    panel_.reset();
    if (machine_)
      QFile::setPermissions(machine_->Path("user/z"),
                            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    machine_.reset();
  }

  void selectPath_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("nodes");  // from the root's child down; none: nothing selected
    QTest::addColumn<QString>("selected");
    const QStringList c{"user", "a", "b", "c"};
    QTest::newRow("three levels under home") << "$/user/a/b/c" << c << "user/a/b/c";
    QTest::newRow("deepest existing ancestor") << "$/user/a/b/c/無い/x" << c << "user/a/b/c";
    QTest::newRow("dots and a trailing slash") << "$/user/a/./z/../b//c/" << c << "user/a/b/c";
    QTest::newRow("on a volume") << "$/usb/写真/2024" << QStringList{"USBメモリ", "写真", "2024"}
                                 << "usb/写真/2024";
    QTest::newRow("volume inside home") << "$/user/nas/共有" << QStringList{"NAS", "共有"} << "user/nas/共有";
    QTest::newRow("elsewhere, under /") << "$/other/d" << QStringList{"/", "$", "other", "d"} << "other/d";
    QTest::newRow("empty") << "" << QStringList{} << "";
    QTest::newRow("relative") << "user/a" << QStringList{} << "";
    // Its label lies far past the panel's right edge until the view scrolls sideways.
    QTest::newRow("deep") << "$/" + DeepLevels().join('/') << DeepLevels() << DeepLevels().join('/');
  }

  // At start-up and again after F5's rebuild.
  void selectPath() {
    QFETCH(QString, path);
    QFETCH(QStringList, nodes);
    QFETCH(QString, selected);
    path.replace("$", machine_->base.path());
    const int at = nodes.indexOf("$");
    if (at >= 0) {
      nodes.removeAt(at);
      const QStringList names = machine_->base.path().split('/', Qt::SkipEmptyParts);
      for (int i = 0; i < names.size(); ++i) nodes.insert(at + i, names[i]);
    }
    for (const char* pass : {"start-up", "F5"}) {
      if (QByteArray(pass) == "F5") panel_->BuildTree();
      changes_ = 0;
      panel_->SelectPath(path);
      if (nodes.isEmpty()) {
        QVERIFY(!Tree().currentIndex().isValid());
        QCOMPARE(changes_, 0);
        QCOMPARE(panel_->SelectedPath(), QString());
        continue;
      }
      const QModelIndex node = Item(nodes);
      QVERIFY2(node.isValid(), pass);
      QCOMPARE(Tree().currentIndex(), node);
      QCOMPARE(Tree().selectionModel()->selectedIndexes(), QModelIndexList{node});
      for (QModelIndex up = node.parent(); up.isValid(); up = up.parent()) QVERIFY(Tree().isExpanded(up));
      QVERIFY2(LabelShown(node), pass);
      QCOMPARE(panel_->SelectedPath(), machine_->Path(selected));
      QCOMPARE(changes_, 1);
      // Folders beside the path are not listed.
      if (nodes.front() == "user") QCOMPARE(Tree().model()->rowCount(Item({"user", "z"})), 0);
    }
    // The keyboard moves the view along with the selection.
    Tree().horizontalScrollBar()->setValue(0);
    QTest::keyClick(&Tree(), Qt::Key_Left);
    QVERIFY(!Tree().currentIndex().isValid() || LabelShown(Tree().currentIndex()));
  }

  void rootNamesNoDirectory() {
    const QModelIndex root = Item({});
    QCOMPARE(Texts(root), (QStringList{"user", "/", "NAS", "USBメモリ"}));
    // Focus arriving with nothing selected leaves the selection (and the directory box) alone.
    Tree().clearFocus();
    Tree().setFocus(Qt::TabFocusReason);
    QVERIFY(Tree().hasFocus());
    QVERIFY(!Tree().currentIndex().isValid());
    QTest::keyClick(&Tree(), Qt::Key_Down);
    QCOMPARE(Tree().currentIndex(), root);
    QCOMPARE(changes_, 1);
    QCOMPARE(panel_->SelectedPath(), QString("テスト機"));
    QVERIFY(panel_->SelectedDirectory().isEmpty());
    Click(Item({"user"}));
    QCOMPARE(panel_->SelectedPath(), machine_->Path("user"));
    QCOMPARE(panel_->SelectedDirectory(), machine_->Path("user"));
    QCOMPARE(changes_, 2);
  }

  // As the tree control of the desktop does it: the collapsed folder takes the selection.
  void collapsingMovesTheSelectionUp() {
    panel_->SelectPath(machine_->Path("user/a/b/c"));
    changes_ = 0;
    ClickExpander(Item({"user", "a"}));
    QCOMPARE(Tree().currentIndex(), Item({"user", "a"}));
    QCOMPARE(panel_->SelectedPath(), machine_->Path("user/a"));
    QCOMPARE(changes_, 1);
  }

  void listsFoldersInFileManagerOrder() {
    const QString list = machine_->Path("user/list");
    for (const char* dir : {"file10", "file2", ".hidden", "a", "A", "b/sub", "ファイル", "空"})
      QVERIFY(QDir().mkpath(list + "/" + QString::fromUtf8(dir)));
    QVERIFY(QFile(list + "/note.txt").open(QIODevice::WriteOnly));
    QCOMPARE(symlink("b", QFile::encodeName(list + "/link").constData()), 0);
    QCOMPARE(symlink("nowhere", QFile::encodeName(list + "/broken").constData()), 0);
    QCOMPARE(symlink("note.txt", QFile::encodeName(list + "/to-file").constData()), 0);

    ClickExpander(Item({"user"}));
    QVERIFY(Tree().isExpanded(Item({"user"})));
    const QModelIndex node = Item({"user", "list"});
    QVERIFY(HasExpandButton(node));
    Click(node);
    QTest::keyClick(&Tree(), Qt::Key_Right);
    QVERIFY(Tree().isExpanded(node));
    QCOMPARE(Texts(node), (QStringList{".hidden", "a", "A", "b", "file2", "file10", "link", "ファイル", "空"}));
    // A link to a folder is followed.
    Click(Item({"user", "list", "link"}));
    QTest::keyClick(&Tree(), Qt::Key_Plus);
    QCOMPARE(Texts(Item({"user", "list", "link"})), QStringList{"sub"});
    QCOMPARE(panel_->SelectedPath(), list + "/link");
  }

  void expansionWithoutSubFolders_data() {
    QTest::addColumn<QString>("why");
    QTest::newRow("empty") << "empty";
    QTest::newRow("unreadable") << "unreadable";
    QTest::newRow("vanished") << "vanished";
  }

  // The folder loses its expand button when its first expansion finds nothing to show.
  void expansionWithoutSubFolders() {
    QFETCH(QString, why);
    if (why == "unreadable" && geteuid() == 0) QSKIP("root reads every folder");
    const QString dir = machine_->Path("user/z");
    if (why == "empty") QVERIFY(QDir(dir + "/deep").removeRecursively());
    if (why == "unreadable") QVERIFY(QFile::setPermissions(dir, QFileDevice::WriteOwner));
    ClickExpander(Item({"user"}));
    const QModelIndex node = Item({"user", "z"});
    QVERIFY(HasExpandButton(node));
    if (why == "vanished") QVERIFY(QDir(dir).removeRecursively());
    ClickExpander(node);
    QVERIFY(!HasExpandButton(node));
    QCOMPARE(Tree().model()->rowCount(node), 0);
    QVERIFY(!Tree().isExpanded(node));
  }

  void selectionGuard_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("remove");
    QTest::addColumn<bool>("mounted");
    QTest::addColumn<QStringList>("click");
    QTest::addColumn<QString>("selected");  // empty: the virtual root
    QTest::addColumn<bool>("gone");
    QTest::addColumn<int>("changes");
    QTest::newRow("folder") << "user/a" << "" << true << QStringList{"user", "z"} << "user/z" << false << 1;
    QTest::newRow("vanished folder") << "user/a" << "user/z" << true << QStringList{"user", "z"} << "user/a" << true
                                     << 0;
    QTest::newRow("vanished folder holding the selection")
        << "user/a/b/c" << "user/a" << true << QStringList{"user", "a"} << "user" << true << 1;
    QTest::newRow("volume taken out") << "user/a" << "usb" << true << QStringList{"USBメモリ"} << "" << false << 1;
    QTest::newRow("volume unmounted") << "user/a" << "" << false << QStringList{"USBメモリ"} << "" << false << 1;
  }

  void selectionGuard() {
    QFETCH(QString, start);
    QFETCH(QString, remove);
    QFETCH(bool, mounted);
    QFETCH(QStringList, click);
    QFETCH(QString, selected);
    QFETCH(bool, gone);
    QFETCH(int, changes);
    panel_->SelectPath(machine_->Path(start));
    changes_ = 0;
    if (!remove.isEmpty()) QVERIFY(QDir(machine_->Path(remove)).removeRecursively());
    machine_->mounted = mounted;
    Click(Item(click));
    QCoreApplication::processEvents();
    QCOMPARE(!Item(click).isValid(), gone);
    QCOMPARE(panel_->SelectedPath(), selected.isEmpty() ? QString("テスト機") : machine_->Path(selected));
    QCOMPARE(Tree().selectionModel()->selectedIndexes(), QModelIndexList{Tree().currentIndex()});
    QCOMPARE(changes_, changes);
  }

  void linkLoopEnds() {
    const QString loop = machine_->Path("user/loop");
    QVERIFY(QDir().mkpath(loop + "/real"));
    QCOMPARE(symlink(".", QFile::encodeName(loop + "/self").constData()), 0);
    QCOMPARE(symlink("../..", QFile::encodeName(loop + "/real/home").constData()), 0);
    panel_->SelectPath(loop + "/real");
    const QModelIndex self = Item({"user", "loop", "self"});
    const QModelIndex home = Item({"user", "loop", "real", "home"});
    QVERIFY(self.isValid() && home.isValid());
    for (const QModelIndex& node : {self, home}) {
      QVERIFY(!HasExpandButton(node));
      Click(node);
      QTest::keyClick(&Tree(), Qt::Key_Right);
      QCOMPARE(Tree().model()->rowCount(node), 0);
    }
    panel_->SelectPath(loop + "/self/self/self/real/home/loop");
    QCOMPARE(Tree().currentIndex(), self);
    QCOMPARE(panel_->SelectedPath(), loop + "/self");
  }

  void volumesOfTheMountList_data() {
    QTest::addColumn<QString>("mountPoint");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("listed");
    QTest::newRow("USB stick") << "/media/user/USB" << "vfat" << true;
    QTest::newRow("USB stick, udisks") << "/run/media/user/写真" << "exfat" << true;
    QTest::newRow("disk under /mnt") << "/mnt/data" << "ext4" << true;
    QTest::newRow("NFS anywhere") << "/srv/share" << "nfs4" << true;
    QTest::newRow("SMB") << "/home/user/nas" << "cifs" << true;
    QTest::newRow("sshfs") << "/home/user/remote" << "fuse.sshfs" << true;
    QTest::newRow("root") << "/" << "ext4" << false;
    QTest::newRow("boot") << "/boot/efi" << "vfat" << false;
    QTest::newRow("separate /home") << "/home" << "ext4" << false;
    QTest::newRow("snap") << "/snap/core22/1033" << "squashfs" << false;
    QTest::newRow("tmpfs under /mnt") << "/mnt/ram" << "tmpfs" << false;
    QTest::newRow("automount point") << "/media/cdrom" << "autofs" << false;
    QTest::newRow("desktop's own fuse") << "/run/user/1000/gvfs" << "fuse.gvfsd-fuse" << false;
    QTest::newRow("look-alike prefix") << "/mediaserver" << "ext4" << false;
  }

  void volumesOfTheMountList() {
    QFETCH(QString, mountPoint);
    QFETCH(QString, type);
    QFETCH(bool, listed);
    QCOMPARE(IsListedVolume(mountPoint.toStdString(), type.toStdString()), listed);
  }

  // A folder that does not answer shows as loading while the panel goes on; its listing shows
  // when it comes (the node collapsed meanwhile), and a path to select through it is selected
  // then. A listing that comes after a rebuild is dropped.
  void aFolderThatDoesNotAnswerShowsAsLoading() {
    auto gate = std::make_shared<testing::Gate>();
    panel_->ListFolders = [gate](const std::string& path, std::span<const TFolderId> ancestors) {
      if (path.ends_with("/user/a") || path.ends_with("/user/z")) gate->Pass();
      return ListSubFolders(path, ancestors);
    };
    panel_->SelectPath(machine_->Path("user/a/b"));
    QCOMPARE(Texts(Item({"user", "a"})), QStringList{"読み込み中..."});
    QCOMPARE(changes_, 0);
    testing::Screenshot(*panel_, "directory-panel-loading");
    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(5);
    QTest::qWait(200);
    QVERIFY(ticks >= 10);
    Tree().collapse(Item({"user", "a"}));
    gate->Release();
    QTRY_COMPARE(panel_->SelectedPath(), machine_->Path("user/a/b"));
    QCOMPARE(Texts(Item({"user", "a"})), QStringList{"b"});
    QCOMPARE(changes_, 1);

    gate->Close();
    Click(Item({"user"}));
    ClickExpander(Item({"user", "z"}));
    QTRY_COMPARE(gate->Waiting(), 1);
    QCOMPARE(Texts(Item({"user", "z"})), QStringList{"読み込み中..."});
    panel_->BuildTree();
    gate->Release();
    QTRY_COMPARE(gate->Waiting(), 0);
    QTest::qWait(100);
    QCOMPARE(Texts(Item({"user"})), QStringList{});
  }

  void screenshot() {
    if (qEnvironmentVariable("TARN_SCREENSHOT_DIR").isEmpty()) QSKIP("TARN_SCREENSHOT_DIR not set");
    const QString deep = machine_->Path("user/資料/2024年度/議事録");
    for (const char* dir : {"資料/2024年度/議事録/第10回", "資料/2024年度/議事録/第2回", "資料/2023年度", "ダウンロード",
                            ".config", "デスクトップ", "プロジェクト/とても長い名前のフォルダーで横スクロールが出るかどうか"})
      QVERIFY(QDir().mkpath(machine_->Path("user/") + QString::fromUtf8(dir)));
    panel_->SelectPath(machine_->Path("user/プロジェクト"));
    panel_->SelectPath(deep);
    tarn::ui::testing::Screenshot(*panel_, "directory-panel");

    QTemporaryDir data;
    auto window = tarn::ui::testing::OpenWindow(data.path());
    QVERIFY(window);
    auto* pane = window->findChild<QWidget*>(QStringLiteral("FlatPanelTreeView"));
    QVERIFY(pane);
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    panel_->setParent(pane);
    layout->addWidget(panel_.get());
    panel_->show();
    QCoreApplication::processEvents();
    Tree().scrollTo(Tree().currentIndex());
    tarn::ui::testing::Screenshot(*window, "directory-panel-in-main-window");
    layout->removeWidget(panel_.get());
    panel_->setParent(nullptr);
  }

 private:
  QTreeView& Tree() const { return panel_->KoTreeView1(); }

  static QStringList DeepLevels() { return QStringLiteral("user/深い/1/2/3/4/5/6/7/8/9/10/11/12/13/14/目当て").split('/'); }

  // The node's icon and whole name lie inside the panel.
  bool LabelShown(const QModelIndex& node) const {
    const QRect row = Tree().visualRect(node);
    const int label = Tree().style()->pixelMetric(QStyle::PM_SmallIconSize) +
                      Tree().fontMetrics().horizontalAdvance(node.data().toString());
    return Tree().viewport()->rect().contains(QRect(row.topLeft(), QSize(label, row.height())));
  }

  // The node reached from the root by the names the user sees.
  QModelIndex Item(const QStringList& texts) const {
    const QAbstractItemModel& m = *Tree().model();
    QModelIndex node = m.index(0, 0);
    for (const QString& text : texts) {
      QModelIndex next;
      for (int i = 0; node.isValid() && i < m.rowCount(node) && !next.isValid(); ++i)
        if (m.index(i, 0, node).data().toString() == text) next = m.index(i, 0, node);
      node = next;
    }
    return node;
  }

  QStringList Texts(const QModelIndex& node) const {
    QStringList texts;
    const QAbstractItemModel& m = *Tree().model();
    for (int i = 0; i < m.rowCount(node); ++i) texts << m.index(i, 0, node).data().toString();
    return texts;
  }

  // What the view asks before it draws the button.
  bool HasExpandButton(const QModelIndex& node) const { return Tree().model()->hasChildren(node); }

  void Click(const QModelIndex& node) {
    QVERIFY(node.isValid());
    Tree().scrollTo(node);
    QTest::mouseClick(Tree().viewport(), Qt::LeftButton, {}, Tree().visualRect(node).center());
  }

  void ClickExpander(const QModelIndex& node) {
    QVERIFY(node.isValid());
    Tree().scrollTo(node);
    const QRect row = Tree().visualRect(node);
    const QPoint button(row.left() - Tree().indentation() / 2, row.center().y());
    QTest::mouseClick(Tree().viewport(), Qt::LeftButton, {}, button);
  }

  std::unique_ptr<Machine> machine_;
  std::unique_ptr<TDirectoryPanel> panel_;
  int changes_ = 0;
};

QTEST_MAIN(DirectoryPanelTest)
#include "directory_panel_test.moc"

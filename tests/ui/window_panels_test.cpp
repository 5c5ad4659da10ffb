// The main window with its directory panel and its two auxiliary windows, as a user reaches
// them: the tree in step with the directory box (start-up, F5, the root), F4 and a picked search
// word, F11 and a saved synonym group that the very next search uses.
#include <QAbstractButton>
#include <QDesktopServices>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeView>
#include <QUrl>
#include <sys/stat.h>

#include <cstdio>

#include "ui/directory_panel.h"
#include "ui/fr_find_string.h"
#include "ui/fr_synonym_dic.h"
#include "window_test_support.h"

using tarn::ui::ActionId;
using tarn::ui::TFormTarnMain;
using namespace tarn::ui::testing;

// Stands for the desktop's browser.
class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  QStringList urls;

 public slots:
  void open(const QUrl& url) { urls.push_back(url.toString()); }
};

class WindowPanelsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> data_;

 private slots:
  void init() { data_ = std::make_unique<QTemporaryDir>(); }

  void directoryPanelFollowsTheBox() {
    const QString deep = data_->path() + "/資料/2026/十二月";
    QVERIFY(QDir().mkpath(deep));
    auto w = OpenWindow(data_->path() + "/data", {deep.toStdString()});
    QVERIFY(w);
    tarn::ui::TDirectoryPanel& panel = w->DirectoryPanel();
    QCOMPARE(panel.SelectedDirectory(), deep);
    QTreeView& tree = panel.KoTreeView1();
    auto shown = [&tree] {
      const QRect row = tree.visualRect(tree.currentIndex());
      return row.top() >= 0 && row.bottom() < tree.viewport()->height();
    };
    QTRY_VERIFY(shown());
    Screenshot(*w, "main-window-directory-panel");

    // F5 rebuilds the tree and selects the box's directory again.
    Box(*w, "KoFlatComboBoxFindDirectory").setEditText(data_->path() + "/資料");
    QTest::keyClick(w.get(), Qt::Key_F5);
    QCOMPARE(panel.SelectedDirectory(), data_->path() + "/資料");
    QCOMPARE(Box(*w, "KoFlatComboBoxFindDirectory").currentText(), data_->path() + "/資料");

    // A directory that does not exist leaves tree and box alone; the root empties the box.
    Box(*w, "KoFlatComboBoxFindDirectory").setEditText(data_->path() + "/none");
    QTest::keyClick(w.get(), Qt::Key_F5);
    QCOMPARE(Box(*w, "KoFlatComboBoxFindDirectory").currentText(), data_->path() + "/none");
    tree.setFocus();
    tree.setCurrentIndex(tree.model()->index(0, 0));
    QCOMPARE(Box(*w, "KoFlatComboBoxFindDirectory").currentText(), QString());
  }

  // Old archives unpack with CP932 names: the tree and the box name such a folder (below a UTF-8
  // one) so that the search opens it.
  void cp932NamedFolderIsSearched() {
    const QString shown = data_->path() + "/資料/日本";
    const QByteArray folder = QFile::encodeName(data_->path() + "/資料") + "/\x93\xfa\x96\x7b";
    QVERIFY(QDir().mkpath(data_->path() + "/資料") && mkdir(folder.constData(), 0700) == 0);
    std::FILE* memo = std::fopen(folder + "/memo.txt", "wb");
    QVERIFY(memo && std::fputs("\x93\x8c\x8b\x9e\r\n", memo) >= 0 && std::fclose(memo) == 0);  // 東京
    auto w = OpenWindow(data_->path() + "/data", {folder.toStdString()});
    QVERIFY(w);
    QTreeView& tree = w->DirectoryPanel().KoTreeView1();
    QCOMPARE(tree.currentIndex().data().toString(), QStringLiteral("日本"));
    // Up and back down with the keyboard: the box follows the tree.
    tree.setFocus();
    QTest::keyClick(&tree, Qt::Key_Left);
    QTest::keyClick(&tree, Qt::Key_Down);
    QCOMPARE(Box(*w, "KoFlatComboBoxFindDirectory").currentText(), shown);
    Request(*w, QStringLiteral("東京"), shown, QStringLiteral("*.txt"));
    QTest::keyClick(w.get(), Qt::Key_F3);
    QCOMPARE(w->KoEditorResult().Lines.Count(), 1);
    QVERIFY(w->ResultLineInfos()[0].find(tarn::Utf8ToCp932((shown + "/memo.txt").toStdString())) != std::string::npos);
  }

  void registeredWordsReachTheSearchBox() {
    auto w = OpenWindow(data_->path());
    QVERIFY(w);
    tarn::ui::TFormFindString& words = w->FormFindString();
    QVERIFY(!words.isVisible());
    QTest::keyClick(w.get(), Qt::Key_F4);
    QTRY_VERIFY(words.isVisible());
    tarn::editor::TKoEditor& editor = words.KoEditor1();
    editor.Lines.Clear();
    editor.Lines.Add(tarn::Utf8ToCp932("  アルゴリズム|ソート  "));
    const QPoint cell(editor.TextLeft() + editor.ColWidth(), editor.TextTop() + editor.RowHeight() / 2);
    QTest::mouseDClick(editor.viewport(), Qt::LeftButton, {}, cell);
    QCOMPARE(Box(*w, "KoFlatComboBoxFindString").currentText(), QStringLiteral("アルゴリズム|ソート"));
    Screenshot(words, "registered-search-words");
    // Closing the program writes the words.
    QVERIFY(w->close());
    QVERIFY(QFile::exists(data_->path() + "/String.txt"));
  }

  void savedSynonymsReachTheNextSearch() {
    auto w = OpenWindow(data_->path());
    QVERIFY(w);
    bool saved = false;
    QTimer::singleShot(0, w.get(), [&] {
      QTRY_VERIFY(qobject_cast<tarn::ui::TFormSynonymDic*>(QApplication::activeModalWidget()));
      auto* dialog = qobject_cast<tarn::ui::TFormSynonymDic*>(QApplication::activeModalWidget());
      dialog->KoEditor1().Lines.Clear();
      dialog->KoEditor1().Lines.Add(tarn::Utf8ToCp932("東京,とうきょう"));
      dialog->findChild<QPushButton*>("KoFlatButtonOK")->click();
      saved = true;
    });
    QTest::keyClick(w.get(), Qt::Key_F11);
    QVERIFY(saved);
    Reactivate(*w);
    w->findChild<QAbstractButton*>("FlatCheckBoxUseSynonymDic")->setChecked(true);
    Request(*w, QStringLiteral("とうきょう"), kSamples, QStringLiteral("*.txt"));
    QTest::keyClick(w.get(), Qt::Key_F3);
    QCOMPARE(w->KoEditorResult().Lines.Count(), 8);
  }

  void confirmedOptionsReachTheWindow() {
    WriteCp932(data_->path() + "/tarn.ini",
               "[Tarn]\r\nVersion=1.1.9\r\n[FindRequest]\r\nFindString=a,b,c,d,e,f,g\r\n"
               "[Help]\r\nCount=1\r\nItem0=手引き,https://example.jp/tarn/guide,Ctrl+F1\r\n");
    auto w = OpenWindow(data_->path());
    QVERIFY(w);
    // The help entry is in the menu and its shortcut runs it.
    QCOMPARE(w->PopupMenuHelp().actions().size(), 1);
    QCOMPARE(w->PopupMenuHelp().actions().front()->text(), QStringLiteral("手引き"));
    UrlRecorder browser;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
    QTest::keyClick(w.get(), Qt::Key_F1, Qt::ControlModifier);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(browser.urls, QStringList{QStringLiteral("https://example.jp/tarn/guide")});

    // F10: five history items at most, and F3 moved to F6.
    QTimer::singleShot(0, w.get(), [&] {
      QTRY_VERIFY(QApplication::activeModalWidget());
      QWidget* dialog = QApplication::activeModalWidget();
      dialog->findChild<QSpinBox*>("FlatSpinEditIntegerFindMaxHistory")->setValue(5);
      dialog->findChild<QPushButton*>("KoFlatButtonOk")->click();
    });
    QTest::keyClick(w.get(), Qt::Key_F10);
    QCOMPARE(Box(*w, "KoFlatComboBoxFindString").HistoryItems().size(), std::size_t{5});
    QFile ini(data_->path() + "/tarn.ini");
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains("MaxHistory=5"));
  }
};

QTEST_MAIN(WindowPanelsTest)
#include "window_panels_test.moc"

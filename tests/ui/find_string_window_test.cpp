// The registered search words window as a user drives it, under the offscreen platform: the line
// a double-click picks, String.txt and the window keys written at close, the caret status, the
// wheel, the popup and its shortcuts, and files that cannot be read or written.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QMenu>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <sys/stat.h>

#include "core/encoding.h"
#include "editor/ko_editor.h"
#include "settings/data_locations.h"
#include "settings/ini_file.h"
#include "ui/find_string_rules.h"
#include "ui/fr_find_string.h"

#include "window_test_support.h"

using tarn::Utf8ToCp932;
using tarn::editor::TKoEditor;
using tarn::ui::TFormFindString;
using namespace tarn::ui::testing;

namespace {

QByteArray Cp932(const char* utf8) { return QByteArray::fromStdString(Utf8ToCp932(utf8)); }

QByteArray ReadBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QPoint CellPoint(const TKoEditor& ed, int row, int col) {
  return {ed.TextLeft() - ed.LeftScrollWidth() + col * ed.ColWidth() + 1,
          ed.TextTop() + (row - ed.TopRow()) * ed.RowHeight() + ed.RowHeight() / 2};
}

void Commit(TKoEditor& ed, const QString& text) {
  QInputMethodEvent e;
  e.setCommitString(text);
  QApplication::sendEvent(&ed, &e);
}

// The program as the window sees it: a main window that owns the registered words window.
struct Program {
  explicit Program(const QString& data) : main(std::make_unique<QWidget>()) {
    main->resize(300, 200);
    form = new TFormFindString(tarn::settings::DataLocations::InDirectory(data.toStdString()), main.get());
    form->OnPick = [this](const std::string& s) { picks.push_back(s); };
  }
  // Shown and active with the focus in the editor, as after F4 and a click.
  bool Show() {
    form->BringForward();
    form->KoEditor1().setFocus();
    return QTest::qWaitForWindowActive(form) && QTest::qWaitFor([this] { return form->KoEditor1().hasFocus(); });
  }
  std::unique_ptr<QWidget> main;
  TFormFindString* form = nullptr;
  std::vector<std::string> picks;
};

}  // namespace

class FindStringWindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> data_;
  QString StringFile() const { return data_->filePath(QStringLiteral("String.txt")); }
  QString SettingsFile() const { return data_->filePath(QStringLiteral("tarn.ini")); }

 private slots:
  void init() { data_ = std::make_unique<QTemporaryDir>(); }

  void firstCloseWritesTheDefaultTextAndOnlyItsKeys() {
    WriteCp932(SettingsFile(), "[Tarn]\r\nFontName=IPAGothic\r\n[Mine]\r\nkey=value\r\n");
    {
      Program p(data_->path());
      TKoEditor& ed = p.form->KoEditor1();
      QCOMPARE(ed.Lines.Count(), 6);
      QCOMPARE(ed.RowString(5), Utf8ToCp932("アルゴリズム|ソート"));
      QCOMPARE(p.form->StatusText(), QStringLiteral("   1:    0 "));
      QCOMPARE(p.form->size(), QSize(517, 403));
      QVERIFY(!p.form->isVisible());
      // Never shown, yet saved at exit.
      QVERIFY(p.form->SaveAll());
    }
    QCOMPARE(ReadBytes(StringFile()),
             Cp932("ここによく使用する検索語を登録してください。\r\n１行に１個です。ダブルクリックするとその行の\r\n"
                   "検索語が検索文字列に入力されます。\r\nまたコピー＆ペーストもできます。\r\n使用例\r\n"
                   "アルゴリズム|ソート"));
    const auto ini = tarn::settings::IniFile::Load(SettingsFile().toStdString());
    QCOMPARE(ini.ReadString("Tarn", "FontName", ""), std::string("IPAGothic"));
    QCOMPARE(ini.ReadString("Mine", "key", ""), std::string("value"));
    QCOMPARE(ini.ReadInteger("StringWindow", "Width", 0), 517);
    QCOMPARE(ini.ReadInteger("StringWindow", "Height", 0), 403);
  }

  void doubleClickPicksTheLine_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("picked");  // null: nothing handed over
    QTest::newRow("pattern unchanged") << QStringLiteral("アルゴリズム|ソート") << QStringLiteral("アルゴリズム|ソート");
    QTest::newRow("blanks around") << QStringLiteral(" \tfoo  ") << QStringLiteral("foo");
    QTest::newRow("full-width blanks stay") << QStringLiteral("　語　") << QStringLiteral("　語　");
    QTest::newRow("empty line") << QString("") << QString();
    QTest::newRow("blanks only") << QStringLiteral("  \t ") << QString();
  }
  void doubleClickPicksTheLine() {
    QFETCH(QString, line);
    QFETCH(QString, picked);
    WriteCp932(StringFile(), "first\r\n" + line.toStdString() + "\r\nlast\r\n");
    Program p(data_->path());
    QVERIFY(p.Show());
    TKoEditor& ed = p.form->KoEditor1();
    QTest::mouseDClick(ed.viewport(), Qt::LeftButton, {}, CellPoint(ed, 1, 1));
    if (picked.isNull()) {
      QVERIFY(p.picks.empty());
    } else {
      QCOMPARE(p.picks, std::vector<std::string>{Utf8ToCp932(picked.toStdString())});
      // The whole row is selected afterwards, line break included.
      QCOMPARE(ed.SelText(), Utf8ToCp932(line.toStdString()) + "\r\n");
    }
    QCOMPARE(ed.Row(), 1);
  }

  void lfFileIsWrittenBackWithCrLf() {
    WriteCp932(StringFile(), "abc\n東京\n\nno break");
    Program p(data_->path());
    TKoEditor& ed = p.form->KoEditor1();
    QCOMPARE(ed.Lines.Count(), 4);
    QCOMPARE(ed.RowString(1), Utf8ToCp932("東京"));
    QVERIFY(p.Show());
    // An emoji the input method commits stays out (it has no CP932 form), and a composition
    // still open when the window saves goes in as the user sees it.
    ed.SetRowCol(1, 2);
    Commit(ed, QString::fromUtf8("\xF0\x9F\x98\x80"));
    QInputMethodEvent composing(QStringLiteral("の"), {});
    QApplication::sendEvent(&ed, &composing);
    p.form->close();
    QVERIFY(!p.form->isVisible());
    QCOMPARE(ReadBytes(StringFile()), Cp932("abc\r\n東の京\r\n\r\nno break"));
  }

  void boundsComeBackAfterARestart_data() {
    QTest::addColumn<QRect>("set");
    QTest::addColumn<bool>("onScreen");
    QTest::newRow("moved and resized") << QRect(120, 90, 400, 300) << true;
    QTest::newRow("on no screen any more") << QRect(9000, 7000, 350, 250) << false;
  }
  void boundsComeBackAfterARestart() {
    QFETCH(QRect, set);
    QFETCH(bool, onScreen);
    {
      Program p(data_->path());
      QVERIFY(p.Show());
      p.form->move(set.topLeft());
      p.form->resize(set.size());
      QTRY_COMPARE(p.form->pos(), set.topLeft());
      p.form->close();
    }
    Program p(data_->path());
    const QPoint expected = onScreen ? set.topLeft() : QGuiApplication::screens().front()->availableGeometry().topLeft();
    QCOMPARE(p.form->pos(), expected);
    QCOMPARE(p.form->size(), set.size());
  }

  // Where the window opens with no position stored: beside its owner, else below the owner's boxes.
  void opensBesideItsOwner() {
    using tarn::ui::PlacedBeside;
    const QRect screen(0, 0, 1600, 1000);
    const QRect boxes(0, 50, 1600, 750);
    QCOMPARE(PlacedBeside({517, 403}, {100, 100, 800, 600}, boxes, screen, {160, 100}), QRect(900, 100, 517, 403));
    QCOMPARE(PlacedBeside({517, 403}, {700, 800, 800, 600}, boxes, screen, {160, 100}), QRect(183, 597, 517, 403));
    QCOMPARE(PlacedBeside({517, 403}, screen, boxes, screen, {160, 100}), QRect(1083, 800, 517, 200));
  }

  void statusFollowsTheCaretAndTheWheelScrollsPages() {
    std::string text;
    for (int i = 1; i <= 200; ++i) text += "line " + std::to_string(i) + "\r\n";
    WriteCp932(StringFile(), text);
    Program p(data_->path());
    QVERIFY(p.Show());
    TKoEditor& ed = p.form->KoEditor1();
    QTest::keyClick(&ed, Qt::Key_Down);
    Commit(ed, QStringLiteral("東京"));
    QCOMPARE(p.form->StatusText(), QStringLiteral("   2:    4 "));
    const QPointF at(20, 20);
    QWheelEvent down(at, ed.viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(ed.viewport(), &down);
    QCOMPARE(ed.TopRow(), ed.PageRows());
    QCOMPARE(ed.Row(), 1);  // the view moves, the caret stays
  }

  void popupShowsWhatCanRunAndShortcutsAlwaysWork() {
    QApplication::clipboard()->setText(QStringLiteral("貼る"));
    Program p(data_->path());
    QVERIFY(p.Show());
    TKoEditor& ed = p.form->KoEditor1();
    Screenshot(*p.form, "find-string-window");
    auto action = [&](const char* name) { return p.form->findChild<QAction*>(QLatin1String(name)); };
    auto popup = [&]() -> QMenu& {
      QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(30, 30), ed.viewport()->mapToGlobal(QPoint(30, 30)));
      QApplication::sendEvent(ed.viewport(), &e);
      return *p.form->findChild<QMenu*>(QStringLiteral("PopupMenuEdit"));
    };
    QMenu& menu = popup();
    QVERIFY(menu.isVisible());
    QStringList captions;
    for (QAction* a : menu.actions()) captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(captions.join(' '), QStringLiteral("元に戻す(&U) やり直し(&R) - 切り取り(&T) コピー(&C) 貼り付け(&P) - すべて選択(&A)"));
    for (const char* name : {"ActionEditUndo", "ActionEditRedo", "ActionEditCut", "ActionEditCopy"})
      QVERIFY2(!action(name)->isEnabled(), name);
    QVERIFY(action("ActionEditPaste")->isEnabled() && action("ActionEditSelectAll")->isEnabled());
    menu.close();
    Reactivate(*p.form);

    // Ctrl+V and Ctrl+Z act although the menu showed nothing to undo.
    QTest::keyClick(&ed, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(ed.RowString(0).substr(0, 4), Utf8ToCp932("貼る"));
    QTest::keyClick(&ed, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(ed.RowString(0), Utf8ToCp932("ここによく使用する検索語を登録してください。"));
    QTest::keyClick(&ed, Qt::Key_A, Qt::ControlModifier);
    QMenu& again = popup();
    for (const char* name : {"ActionEditRedo", "ActionEditCut", "ActionEditCopy"}) QVERIFY2(action(name)->isEnabled(), name);
    Screenshot(*p.form, "find-string-popup", &again);
    again.close();
    Reactivate(*p.form);
    QTest::keyClick(&ed, Qt::Key_C, Qt::ControlModifier);
    QVERIFY(QApplication::clipboard()->text().endsWith(QStringLiteral("アルゴリズム|ソート")));
  }

  void mainWindowShortcutsLeaveTheEditorItsKeys() {
    WriteCp932(StringFile(), "abc def");
    Program p(data_->path());
    int back = 0;
    auto* goBack = new QAction(p.main.get());
    goBack->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left));
    p.main->addAction(goBack);
    connect(goBack, &QAction::triggered, [&back] { ++back; });
    p.main->show();
    QVERIFY(p.Show());
    TKoEditor& ed = p.form->KoEditor1();
    QTest::keyClick(&ed, Qt::Key_End);
    QTest::keyClick(&ed, Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(ed.Col(), 4);
    QCOMPARE(back, 0);
  }

  void unwritableStringFileKeepsTheWindowOpen() {
    Program p(data_->path());
    QVERIFY(p.Show());
    Commit(p.form->KoEditor1(), QStringLiteral("新しい語"));
    QVERIFY(QDir().mkpath(StringFile() + "/in-the-way"));
    {
      MessageBoxAnswerer answer;
      QVERIFY(!p.form->close());
      QCOMPARE(answer.texts, QStringList{QStringLiteral("ファイル %1 を作成できません").arg(StringFile())});
    }
    QVERIFY(p.form->isVisible());
    QCOMPARE(p.form->KoEditor1().RowString(0).substr(0, 8), Utf8ToCp932("新しい語"));
    QVERIFY(QDir(StringFile()).removeRecursively());
    QVERIFY(p.form->close());
    QVERIFY(ReadBytes(StringFile()).startsWith(Cp932("新しい語")));
  }

  // The file is kept, not replaced by the default text the window shows instead, unless the user
  // writes something new.
  void unreadableStringFileIsNotOverwritten() {
    QVERIFY(::mkfifo(StringFile().toLocal8Bit().constData(), 0644) == 0);
    MessageBoxAnswerer answer;
    Program p(data_->path());
    QCOMPARE(answer.texts, QStringList{QStringLiteral("ファイル %1 は開けません").arg(StringFile())});
    QCOMPARE(p.form->KoEditor1().Lines.Count(), 6);
    QVERIFY(p.form->SaveAll());
    struct stat st {};
    QVERIFY(::stat(StringFile().toLocal8Bit().constData(), &st) == 0 && S_ISFIFO(st.st_mode));
    QVERIFY(p.Show());
    Commit(p.form->KoEditor1(), QStringLiteral("新"));
    QVERIFY(p.form->SaveAll());
    QVERIFY(ReadBytes(StringFile()).startsWith(Cp932("新")));
  }
};

QTEST_MAIN(FindStringWindowTest)
#include "find_string_window_test.moc"

// The history combo boxes as a user types into them: completion from the history, Backspace after
// a completion, the bound of the history, and the commands that clear the histories.
#include <QLineEdit>
#include <QListView>

#include "ui/history_completion.h"
#include "window_test_support.h"

using tarn::ui::ActionId;
using tarn::ui::TKoFlatComboBox;
using namespace tarn::ui::testing;

class HistoryComboBoxTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> data_;

 private slots:
  void init() { data_ = std::make_unique<QTemporaryDir>(); }

  void completionRules() {
    using tarn::ui::StandardCompletion;
    const std::string kanji = tarn::Utf8ToCp932("表示");  // trail byte 0x5C, lead of 示 0x8E
    const std::vector<std::string> items = {"Program Files", "prog", kanji + "abc"};
    QCOMPARE(StandardCompletion(items, "p")->Item, 0);
    QCOMPARE(StandardCompletion(items, "PROG")->CompleteWith, std::string("ram Files"));
    QCOMPARE(StandardCompletion(items, tarn::Utf8ToCp932("表"))->Item, 2);
    QVERIFY(!StandardCompletion(items, "x"));
    // A trail byte that looks like a letter is not folded: 0x83 0x61 (ャ) and 0x83 0x41 (ア) differ.
    QVERIFY(!StandardCompletion({"\x83\x41"}, "\x83\x61"));
    QCOMPARE(tarn::ui::OwnCompletion({"abc", "ABCD"}, "AB", 0, 0)->Item, 0);
    QVERIFY(!tarn::ui::OwnCompletion({"abc"}, "ab", 0, tarn::ui::kKeyBackSpace));
    QVERIFY(!tarn::ui::OwnCompletion({"abc"}, "ab", 3, 0));
  }

  void typingFollowsTheNewestItemAndBackspaceRemovesTheAddition() {
    WriteCp932(data_->path() + "/tarn.ini",
               "[Tarn]\r\nVersion=1.1.9\r\n[FindRequest]\r\nAutoComplete=1\r\n"
               "FindDirectory=\"Program Files\",prog\r\nFindString=東京タワー,\"Tokyo tower\",tok,東京駅\r\n");
    auto w = OpenWindow(data_->path());
    QVERIFY(w);
    TKoFlatComboBox& dir = Box(*w, "KoFlatComboBoxFindDirectory");
    dir.setEditText(QString());
    dir.setFocus();
    QLineEdit& edit = *dir.lineEdit();
    // Keys go where the keyboard sends them: to the box that has the focus, not its edit field.
    QTest::keyClick(&dir, Qt::Key_P);
    QCOMPARE(edit.text(), QStringLiteral("program Files"));
    QCOMPARE(edit.selectedText(), QStringLiteral("rogram Files"));
    QTest::keyClicks(&dir, QStringLiteral("rogr"));
    QCOMPARE(edit.text(), QStringLiteral("program Files"));
    QCOMPARE(edit.selectedText(), QStringLiteral("am Files"));
    QTest::keyClick(&dir, Qt::Key_Backspace);
    QCOMPARE(edit.text(), QStringLiteral("progr"));

    // Japanese comes from the input method; the completion follows it the same way.
    TKoFlatComboBox& find = Box(*w, "KoFlatComboBoxFindString");
    find.setEditText(QString());
    find.setFocus();
    QTest::keyClick(&find, 'T', Qt::ShiftModifier);
    QCOMPARE(find.currentText(), QStringLiteral("Tokyo tower"));
    QCOMPARE(find.lineEdit()->selectedText(), QStringLiteral("okyo tower"));
    find.setEditText(QString());
    QInputMethodEvent typed;
    typed.setCommitString(QStringLiteral("東京"));
    QApplication::sendEvent(&find, &typed);
    QCOMPARE(find.lineEdit()->text(), QStringLiteral("東京タワー"));
    QCOMPARE(find.lineEdit()->selectedText(), QStringLiteral("タワー"));
    find.showPopup();
    QWidget* list = find.view()->window();
    QTRY_VERIFY(list->isVisible());
    if (!qEnvironmentVariableIsEmpty("TARN_SCREENSHOT_DIR")) {
      QImage image = w->grab().toImage();
      QPainter p(&image);
      // Where the list drops down on a desktop: right under the box.
      p.drawPixmap(find.mapTo(w.get(), QPoint(0, find.height())), list->grab());
      p.end();
      image.save(qEnvironmentVariable("TARN_SCREENSHOT_DIR") + "/history-box-completion.png");
    }
    find.hidePopup();
  }

  void withoutAutoCompleteTypingIsPlain() {
    WriteCp932(data_->path() + "/tarn.ini", "[Tarn]\r\nVersion=1.1.9\r\n[FindRequest]\r\nFindDirectory=prog\r\n");
    auto w = OpenWindow(data_->path());
    QVERIFY(w);
    TKoFlatComboBox& dir = Box(*w, "KoFlatComboBoxFindDirectory");
    dir.setEditText(QString());
    dir.setFocus();
    QTest::keyClicks(&dir, QStringLiteral("pr"));
    QCOMPARE(dir.lineEdit()->text(), QStringLiteral("pr"));
  }

  void boundsAndClearingKeepTheEditText() {
    WriteCp932(data_->path() + "/tarn.ini",
               "[Tarn]\r\nVersion=1.1.9\r\n[FindRequest]\r\nMaxHistory=2\r\nFindString=a,b,c\r\nFindFileMask=*.txt\r\n");
    auto w = OpenWindow(data_->path());
    QVERIFY(w);
    TKoFlatComboBox& find = Box(*w, "KoFlatComboBoxFindString");
    QCOMPARE(find.HistoryItems(), (std::vector<std::string>{"a", "b"}));
    QCOMPARE(find.count(), 2);
    find.setEditText(QStringLiteral("abc"));
    QMenu* menu = w->Action(ActionId::FindPopup)->menu();
    menu->popup(w->mapToGlobal(QPoint(60, 20)));
    QVERIFY(w->Action(ActionId::FindHistClearString)->isEnabled());
    QVERIFY(!w->Action(ActionId::FindHistClearDirectoryMask)->isEnabled());
    ClosePopup(*w, *menu);
    w->Action(ActionId::FindHistClearAll)->trigger();
    QVERIFY(find.HistoryItems().empty() && Box(*w, "KoFlatComboBoxFindFileMask").HistoryItems().empty());
    QCOMPARE(find.currentText(), QStringLiteral("abc"));
  }
};

QTEST_MAIN(HistoryComboBoxTest)
#include "history_combo_box_test.moc"

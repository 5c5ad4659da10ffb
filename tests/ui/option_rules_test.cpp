// The options dialog's rules that need no window: which key press gives which shortcut text, who
// owns a shortcut, the command table the shortcut page shows, the help rows and the history
// editor.
#include <QTest>

#include "core/encoding.h"
#include "ui/help_rows.h"
#include "ui/history_editor.h"
#include "ui/option_env_rules.h"
#include "ui/shortcut_capture.h"
#include "ui/shortcut_info.h"
#include "ui/ui_settings_values.h"
#include "ui/ui_text.h"

using namespace tarn::ui;
namespace settings = tarn::settings;

namespace {

std::string Sjis(const char* utf8) { return tarn::Utf8ToCp932(utf8); }

}  // namespace

class OptionRulesTest : public QObject {
  Q_OBJECT

 private slots:
  void keyPressesGiveShortcutTexts_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::newRow("Ctrl alone") << int(Qt::Key_Control) << int(Qt::ControlModifier) << "";
    QTest::newRow("Shift alone") << int(Qt::Key_Shift) << int(Qt::ShiftModifier) << "";
    QTest::newRow("Alt alone") << int(Qt::Key_Alt) << int(Qt::AltModifier) << "";
    QTest::newRow("modifier order") << int(Qt::Key_O) << int(Qt::AltModifier | Qt::ControlModifier | Qt::ShiftModifier)
                                    << "Shift+Ctrl+Alt+O";
    QTest::newRow("F24") << int(Qt::Key_F24) << 0 << "F24";
    QTest::newRow("Ctrl+Del") << int(Qt::Key_Delete) << int(Qt::ControlModifier) << "Ctrl+Del";
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << "Enter";
    QTest::newRow("keypad digit") << int(Qt::Key_7) << int(Qt::KeypadModifier) << "7";
    QTest::newRow("keypad plus") << int(Qt::Key_Plus) << int(Qt::KeypadModifier) << "Num +";
    QTest::newRow("keypad arrow") << int(Qt::Key_Left) << int(Qt::KeypadModifier | Qt::ControlModifier) << "Ctrl+Left";
    QTest::newRow("Backtab") << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << "Shift+Tab";
    QTest::newRow("shifted symbol") << int(Qt::Key_Question) << int(Qt::ShiftModifier) << "Shift+/";
    QTest::newRow("punctuation") << int(Qt::Key_BracketLeft) << int(Qt::ControlModifier) << "Ctrl+[";
    QTest::newRow("変換") << int(Qt::Key_Henkan) << 0 << "変換";
    QTest::newRow("Alt+半角/全角") << int(Qt::Key_Kanji) << int(Qt::AltModifier) << "Alt+半角/全角";
    QTest::newRow("ひらがな/カタカナ") << int(Qt::Key_Hiragana_Katakana) << int(Qt::ControlModifier) << "Ctrl+ひらがな";
    QTest::newRow("英数") << int(Qt::Key_Eisu_toggle) << 0 << "英数";
  }
  void keyPressesGiveShortcutTexts() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    const settings::TShortCut shortcut = ShortCutOfKey(key, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(FromCp932(settings::FormatShortcut(shortcut)), text);
    // What is captured reads back as the same text (keypad digits read back as the main ones).
    QCOMPARE(FromCp932(settings::FormatShortcut(settings::ParseShortcut(ToCp932(text)))), text);
    // The Japanese keys work as the window's shortcuts too.
    if (key >= Qt::Key_Kanji && key <= Qt::Key_Eisu_toggle) QVERIFY(!KeySequenceOf(shortcut).isEmpty());
  }

  void commandFieldKeepsThePresentShortcut() {
    const TCapture f3 = CaptureOfKey(Qt::Key_F3, {});
    QVERIFY(!FieldTakesCapture(f3, "F3", true));
    QVERIFY(FieldTakesCapture(f3, "F3", false));
    QVERIFY(FieldTakesCapture(f3, "F4", true));
    const TCapture tab = CaptureOfKey(Qt::Key_Tab, {});
    QVERIFY(tab.Tab && FieldTakesCapture(tab, "Tab", true));
    QVERIFY(!CaptureOfKey(Qt::Key_Tab, Qt::ControlModifier).Tab);
    QCOMPARE(ShortCutButtons("", "F3").Modify, false);
    QCOMPARE(ShortCutButtons("Ctrl+Q", "").Delete, false);
  }

  void commandTableAndOwners() {
    TShortCuts design{};
    for (std::size_t i = 0; i < design.size(); ++i) design[i] = settings::kShortCutCommands[i].DesignShortCut;
    TShortCutInfo info = CollectShortCuts(design);
    QCOMPARE(info.Categories.size(), std::size_t(4));
    const std::size_t counts[] = {1, 4, 6, 4};
    const char* const names[] = {"ファイル", "検索", "結果", "設定"};
    for (std::size_t c = 0; c < 4; ++c) {
      QCOMPARE(info.Categories[c].Commands.size(), counts[c]);
      QCOMPARE(info.Categories[c].Name, Sjis(names[c]));
    }
    QCOMPARE(info.Categories[1].Commands[3].Name, Sjis("ディレクトリツリーを最新情報に更新"));
    QCOMPARE(info.Categories[2].Commands[3].ShortCut, std::string("Ctrl+Del"));
    QVERIFY(ApplyShortCuts(info) == design);

    // Commands first, in table order, then help rows; letter case does not matter.
    THelpRows rows = {{"a", "http://a/", "Ctrl+F1"}, {"b", "http://b/", "ctrl+f2"}, {"c", "http://c/", "Ctrl+F2"}};
    QCOMPARE(FindShortCutOwner(info, rows, "ctrl+q"), std::optional(TShortCutOwner{0, 0}));
    QCOMPARE(FindShortCutOwner(info, rows, "F12"), std::optional(TShortCutOwner{3, 2}));
    QCOMPARE(FindShortCutOwner(info, rows, "Ctrl+F2"), std::optional(TShortCutOwner{-1, 1}));
    QVERIFY(!FindShortCutOwner(info, rows, ""));
    QVERIFY(!FindShortCutOwner(info, rows, "Ctrl+F3"));
    rows[0].ShortCut = "F3";
    QCOMPARE(FindShortCutOwner(info, rows, "F3"), std::optional(TShortCutOwner{1, 0}));

    QCOMPARE(ShortCutReplaceQuestion(info, rows, "F12", {3, 2}),
             Sjis("ショートカット F12 は［設定：ディレクトリパネルの表示/非表示］で使用されています。\n\n"
                  "設定を置き換えますか？"));
    ClearShortCutOwner(info, rows, {3, 2});
    ClearShortCutOwner(info, rows, {-1, 2});
    ClearShortCutOwner(info, rows, {-1, 9});  // a row that is not there changes nothing
    QCOMPARE(ApplyShortCuts(info)[13], settings::TShortCut(0));
    QCOMPARE(rows[2].ShortCut, std::string());
    QCOMPARE(rows[1].ShortCut, std::string("ctrl+f2"));
  }

  void helpRowRules() {
    auto exists = [](std::string_view file) { return file == "/doc/a.html"; };
    QCOMPARE(CheckHelpFields("", "http://x/", exists), THelpField::Title);
    QCOMPARE(CheckHelpFields("t", "HTTP://x/", exists), THelpField::File);
    QCOMPARE(CheckHelpFields("t", "http:/x/", exists), THelpField::File);
    QCOMPARE(CheckHelpFields("t", "", exists), THelpField::File);
    QCOMPARE(CheckHelpFields("t", "http://x/", exists), THelpField::None);
    QCOMPARE(CheckHelpFields("t", "https://x/", exists), THelpField::None);
    QCOMPARE(CheckHelpFields("t", "/doc/a.html", exists), THelpField::None);

    const THelpButtons none = HelpButtons(2, std::nullopt, "t", "f");
    QVERIFY(none.Add && !none.Modify && !none.Delete && !none.Up && !none.Down);
    const THelpButtons first = HelpButtons(2, 0, "", "f");
    QVERIFY(!first.Add && !first.Modify && first.Delete && !first.Up && first.Down);
    const THelpButtons last = HelpButtons(2, 1, "t", "f");
    QVERIFY(last.Add && last.Modify && last.Up && !last.Down);


    THelpRows rows = HelpRowsOf({Sjis("一,http://1/,F5"), Sjis("二,http://2/")});
    QCOMPARE(rows[1].ShortCut, std::string());
    QVERIFY(!MoveHelpRow(rows, 0, true));
    QVERIFY(!MoveHelpRow(rows, 1, false));
    QCOMPARE(MoveHelpRow(rows, 1, true), std::optional<std::size_t>(0));
    QCOMPARE(HelpEntriesOf(rows), std::vector<std::string>({Sjis("二,http://2/,F5"), Sjis("一,http://1/,")}));
  }

  void historyEditorWorksOnTheCopies() {
    settings::TFindRequestInfo request;
    request.FindString = "a,b,c";
    request.FindFileMask = "\"x, y\",z";
    THistoryEditor editor(request);
    QVERIFY(!editor.Shown());
    editor.Choose(2);
    QCOMPARE(editor.Items(), std::vector<std::string>({"x, y", "z"}));
    editor.Delete({1, 1, 7});
    editor.Choose(0);
    QCOMPARE(request.FindFileMask, std::string("\"x, y\""));
    editor.Delete({2, 0});
    QCOMPARE(request.FindString, std::string("a,b,c"));
    editor.Store();
    QCOMPARE(request.FindString, std::string("b"));
    editor.Choose(4);  // no such history: nothing changes
    QCOMPARE(editor.Shown(), std::optional<std::size_t>(0));
  }

  void fontFacesAndPaths() {
    const QStringList families = {"Zeta", "@IPAGothic", "IPAGothic", "alpha", "IPAPGothic", "Beta Mono"};
    auto fixed = [](const QString& family) { return family.contains("Gothic") != family.contains("PGothic"); };
    QCOMPARE(FontFaces(families, true, fixed), QStringList({"IPAGothic"}));
    QCOMPARE(FontFaces(families, false, fixed), QStringList({"alpha", "Beta Mono", "IPAPGothic", "Zeta"}));

    auto onPath = [](const std::string& program) { return program == "gedit"; };
    QVERIFY(!InvalidOptionPath("", "", "", onPath));
    QVERIFY(!InvalidOptionPath("gedit", "/", "/", onPath));
    QCOMPARE(InvalidOptionPath("kate", "/", "/", onPath), std::optional(TOptionPath::EditorExeName));
    QCOMPARE(InvalidOptionPath("./gedit", "", "", onPath), std::optional(TOptionPath::EditorExeName));
    QCOMPARE(InvalidOptionPath("", "/nowhere", "/nowhere", onPath), std::optional(TOptionPath::LeftPanelInitialDir));
    QCOMPARE(InvalidOptionPath("", "/", "/nowhere", onPath), std::optional(TOptionPath::FindResultSaveDirectory));
    QCOMPARE(PageOf(TOptionPath::FindResultSaveDirectory), 1);
  }
};

QTEST_MAIN(OptionRulesTest)
#include "option_rules_test.moc"

// The main window's rules that need no window: which commands are enabled, where a row's hit is
// painted, what the boxes hold at start-up, how a history grows, and the settings' key and
// colour values.
#include <QTest>
#include <filesystem>

#include "core/encoding.h"
#include "settings/settings_records.h"
#include "ui/command_states.h"
#include "ui/history_list.h"
#include "ui/result_hit.h"
#include "ui/start_values.h"
#include "ui/ui_settings_values.h"

using namespace tarn::ui;

Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(std::vector<std::string>)

namespace {

std::string Sjis(const char* utf8) { return tarn::Utf8ToCp932(utf8); }

bool On(const TActionStates& s, ActionId id) { return s[static_cast<std::size_t>(id)].Enabled; }

}  // namespace

class WindowRulesTest : public QObject {
  Q_OBJECT

 private slots:
  void busyLeavesOnlyStop() {
    TWindowState w;
    w.Busy = true;
    w.ResultHasRows = true;
    w.HistoryNotEmpty = {true, true, true, true};
    w.HistoryFirst = 1, w.HistoryCurrent = 2, w.HistoryLast = 3;
    TActionStates s{};
    RunAllCommandRules(w, s);
    for (const ActionDef& def : ActionTable()) {
      const bool ruled = !def.Name.ends_with("Popup") && def.Id != ActionId::OptionToolBar && def.Id != ActionId::HelpShow;
      if (ruled) QCOMPARE(On(s, def.Id), def.Id == ActionId::FindStop);
    }
    w.Busy = false;
    RunAllCommandRules(w, s);
    for (ActionId id : {ActionId::FindStart, ActionId::FileExit, ActionId::ResultGoBack, ActionId::ResultGoForward,
                        ActionId::ResultEditor, ActionId::OptionEnv, ActionId::HelpVersion})
      QVERIFY(On(s, id));
    QVERIFY(!On(s, ActionId::FindStop));
  }

  void idleRulesFollowContents() {
    TWindowState w;
    w.HistoryNotEmpty = {true, true, true, false};
    w.ToolBarVisible = {true, false, true, true};
    w.HistoryFirst = 1, w.HistoryCurrent = 1, w.HistoryLast = 1;
    TActionStates s{};
    RunCommandRule(CommandRule::Find, w, s);
    QVERIFY(On(s, ActionId::FindHistClearFileMask));
    QVERIFY(!On(s, ActionId::FindHistClearDirectoryMask));
    RunCommandRule(CommandRule::Result, w, s);
    QVERIFY(!On(s, ActionId::ResultGoBack) && !On(s, ActionId::ResultGoForward));
    QVERIFY(!On(s, ActionId::ResultEditor) && !On(s, ActionId::ResultClear) && !On(s, ActionId::ResultSave));
    QVERIFY(On(s, ActionId::ResultHistClear));
    // Only the Option rule checks the toolbar entries.
    QVERIFY(!s[static_cast<std::size_t>(ActionId::OptionToolBarResult)].Checked);
    RunCommandRule(CommandRule::Option, w, s);
    QCOMPARE(s[static_cast<std::size_t>(ActionId::OptionToolBarResult)].Checked, std::optional<bool>(false));
    QCOMPARE(s[static_cast<std::size_t>(ActionId::OptionToolBarFind)].Checked, std::optional<bool>(true));

    const TEditPopupState empty = EditPopupState(false, false, false);
    QVERIFY(!empty.CopyEnabled && !empty.SelectAllEnabled);
    const TEditPopupState busy = EditPopupState(true, true, true);
    QVERIFY(!busy.CopyEnabled && !busy.SelectAllEnabled);
  }

  void hitColumn_data() {
    QTest::addColumn<std::string>("info");
    QTest::addColumn<std::string>("row");
    QTest::addColumn<int>("column");  // -1: nothing painted
    QTest::addColumn<std::string>("text");
    QTest::newRow("tabs before the hit") << std::string("5,3,hit,/a,1") << std::string("a\tb\thit") << 16 << std::string("hit");
    QTest::newRow("tab inside the prefix") << std::string("8,1,X,/f,1") << std::string("f(1): \tX") << 8 << std::string("X");
    QTest::newRow("double-byte before the hit") << "5,1,X," + Sjis("/東京,1") << Sjis("東京X") << 4 << std::string("X");
    QTest::newRow("quoted hit text") << std::string("2,3,\"a,b\",/f,1") << std::string("xa,b") << 1 << std::string("a,b");
    QTest::newRow("no hit") << std::string("4,0,,/f,1") << std::string("abc") << -1 << std::string();
    QTest::newRow("position not a number") << std::string("x,1,a,/f,1") << std::string("abc") << -1 << std::string();
    QTest::newRow("position past the row") << std::string("9,1,a,/f,1") << std::string("abc") << -1 << std::string();
    QTest::newRow("record cut short") << std::string("1,1") << std::string("abc") << -1 << std::string();
    // A hit of a row without line ends: the record holds all of it, the view shows 1000 bytes.
    QTest::newRow("hit longer than the row shows")
        << "3,5000000," + std::string(5000000, 'h') + ",/f,1" << "ab" + std::string(998, 'h') << 2
        << std::string(998, 'h');
  }
  void hitColumn() {
    QFETCH(std::string, info);
    QFETCH(std::string, row);
    QFETCH(int, column);
    QFETCH(std::string, text);
    const auto hit = HitToDraw(info, row, 8);
    QCOMPARE(hit.has_value(), column >= 0);
    if (!hit) return;
    QCOMPARE(hit->Column, column);
    QCOMPARE(hit->Text, text);
  }

  void startBoxes_data() {
    const std::string here = std::filesystem::current_path().string();
    QTest::addColumn<std::vector<std::string>>("args");
    QTest::addColumn<bool>("lastFlags");
    QTest::addColumn<std::string>("find");
    QTest::addColumn<std::string>("dir");
    QTest::addColumn<std::string>("mask");
    QTest::newRow("blank search string") << std::vector<std::string>{" " + here + "/./ ", "$$BLANK$$", " *.txt "} << false
                                         << std::string() << here << std::string("*.txt");
    QTest::newRow("blanks kept around a search string")
        << std::vector<std::string>{here, " a b "} << true << std::string(" a b ") << here << std::string("mask-h");
    QTest::newRow("missing directory emptied") << std::vector<std::string>{"/no/such/dir", "x"} << false
                                               << std::string("x") << std::string() << std::string();
    QTest::newRow("flags without arguments") << std::vector<std::string>{} << true << std::string("find-h") << std::string()
                                             << std::string("mask-h");
    QTest::newRow("initial directory without the flag") << std::vector<std::string>{} << false << std::string() << here
                                                        << std::string();
  }
  void startBoxes() {
    QFETCH(std::vector<std::string>, args);
    QFETCH(bool, lastFlags);
    QFETCH(std::string, find);
    QFETCH(std::string, dir);
    QFETCH(std::string, mask);
    TStartSources s;
    s.LastFindString = s.LastFindDirectory = s.LastFindFileMask = lastFlags;
    s.NewestFindString = "find-h";
    s.NewestDirectory = "/no/such/history/dir";
    s.NewestFileMask = "mask-h";
    s.InitialDir = std::filesystem::current_path().string();
    s.Arguments = args;
    const TStartBoxes boxes =
        StartBoxes(s, [](const std::string& d) { return std::filesystem::is_directory(std::filesystem::path(d)); });
    QCOMPARE(boxes.FindString, find);
    QCOMPARE(boxes.Directory, dir);
    QCOMPARE(boxes.FileMask, mask);
  }

  void commandLineAndCanonicalPath() {
    const TTarnCommandLine c = ParseTarnCommandLine({"--data-dir", "/d", "--", "--dir", "b"});
    QVERIFY(c.Error.empty());
    QCOMPARE(c.DataDirectory.value_or(""), std::string("/d"));
    QCOMPARE(c.Arguments, (std::vector<std::string>{"--dir", "b"}));
    QVERIFY(!ParseTarnCommandLine({"--bogus"}).Error.empty());
    QVERIFY(!ParseTarnCommandLine({"--data-dir"}).Error.empty());
    QCOMPARE(CanonicalPath("/a/./b/../c//"), std::string("/a/c"));
    QCOMPARE(CanonicalPath("/.."), std::string("/"));
    QCOMPARE(CanonicalPath("rel"), (std::filesystem::current_path() / "rel").string());
  }

  void historyList() {
    THistoryList h;
    h.SetItems({"xyz", "abc", "ABC"});
    QVERIFY(h.AddToHistory("abc"));
    QCOMPARE(h.Items(), (std::vector<std::string>{"abc", "xyz", "ABC"}));
    QVERIFY(!h.AddToHistory("   "));
    QVERIFY(!h.AddToHistory("a\tb"));
    QVERIFY(!h.AddToHistory("a\r\nb"));
    h.SetItems({"a", "b", "c"});
    h.SetMaxHistory(3);
    h.AddToHistory("d");
    QCOMPARE(h.Items(), (std::vector<std::string>{"d", "a", "b"}));
    h.SetMaxHistory(0);
    h.AddToHistory("e");
    QVERIFY(h.Items().empty());
  }

  void shortcutsAndColours() {
    const QStringList expected = {"Ctrl+Q", "F3",        "Esc",    "F4",     "F5",  "Ctrl+Left", "Ctrl+Right",
                                  "Ctrl+O", "Ctrl+Del", "Ctrl+S", "Ctrl+H", "F10", "F11",       "F12",
                                  "F8"};
    for (std::size_t i = 0; i < tarn::settings::kShortCutCommands.size(); ++i)
      QCOMPARE(KeySequenceOf(ActionDefOf(ShortCutAction(i)).DefaultShortCut).toString(), expected[static_cast<int>(i)]);
    QCOMPARE(KeySequenceOf(tarn::settings::scShift | tarn::settings::scAlt | 'K').toString(), QStringLiteral("Alt+Shift+K"));
    QVERIFY(KeySequenceOf(0).isEmpty());

    QPalette palette;
    palette.setColor(QPalette::Base, QColor(1, 2, 3));
    QCOMPARE(ColorOf(0x00FF0000, palette), QColor(Qt::blue));
    QCOMPARE(ColorOf(0x0000FFFF, palette), QColor(Qt::yellow));
    QCOMPARE(ColorOf(0x80000005, palette), QColor(1, 2, 3));
    QVERIFY(!ColorOf(clNone, palette).isValid());
  }
};

QTEST_MAIN(WindowRulesTest)
#include "window_rules_test.moc"

// The main window as a user drives it, under the offscreen platform: requests typed into the
// boxes, F3 and Enter, Esc during a run, the result view's keys and popup menu, the menus and
// toolbars, and the settings file it leaves behind.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QFile>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QPainter>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <functional>
#include <memory>

#include "core/comma_text.h"
#include "core/encoding.h"
#include "settings/data_locations.h"
#include "settings/settings_file.h"
#include "ui/fr_tarn_main.h"
#include "ui/ko_flat_combo_box.h"
#include "ui/preview_pane.h"
#include "ui/result_hit.h"
#include "ui/single_instance.h"

#include "window_test_support.h"

using tarn::ui::ActionId;
using tarn::ui::TFormTarnMain;
using tarn::ui::TKoFlatComboBox;
using namespace tarn::ui::testing;

// Stands in for the desktop's opener of local files.
class FileOpener : public QObject {
  Q_OBJECT
 public slots:
  void open(const QUrl& url) { opened << url; }
 public:
  QList<QUrl> opened;
};

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> data_;

  std::unique_ptr<TFormTarnMain> Open(std::vector<std::string> args = {}) { return OpenWindow(data_->path(), std::move(args)); }
  static bool Enabled(TFormTarnMain& w, ActionId id) { return w.Action(id)->isEnabled(); }
  // Pixels of the hit style's yellow in a cell of the result view.
  static int YellowIn(const QImage& image, const tarn::editor::TKoEditor& view, int row, int col) {
    int n = 0;
    for (int x = 0; x < view.ColWidth(); ++x)
      for (int y = 0; y < view.RowHeight(); ++y)
        n += image.pixelColor(view.TextLeft() + col * view.ColWidth() + x, view.TextTop() + row * view.RowHeight() + y) ==
             QColor(Qt::yellow);
    return n;
  }
  // A tree whose search lists many lines and takes a while.
  QString MakeLongTree() {
    const QString root = data_->path() + "/long";
    QDir().mkpath(root);
    std::string text;
    for (int i = 0; i < 400; ++i) text += "東京タワーの行 " + std::to_string(i) + "\r\n";
    for (int f = 0; f < 150; ++f) WriteCp932(root + QString("/f%1.txt").arg(f), text);
    return root;
  }

 private slots:
  void init() { data_ = std::make_unique<QTemporaryDir>(); }

  void searchListsHitsAndEnablesResultCommands() {
    auto w = Open();
    QVERIFY(w);
    QVERIFY(!Enabled(*w, ActionId::FindStop));
    QVERIFY(!Enabled(*w, ActionId::ResultEditor));
    // Japanese reaches a box as the input method's committed text.
    QInputMethodEvent typed;
    typed.setCommitString(QStringLiteral("東京"));
    QApplication::sendEvent(&Box(*w, "KoFlatComboBoxFindString"), &typed);
    Box(*w, "KoFlatComboBoxFindDirectory").setEditText("  " + kSamples + " ");
    Box(*w, "KoFlatComboBoxFindFileMask").setEditText(QStringLiteral("*.txt"));
    QTest::keyClick(w.get(), Qt::Key_F3);

    const tarn::editor::TKoEditor& view = w->KoEditorResult();
    QVERIFY(w->StatusText().startsWith(QStringLiteral(" 8個検索しました。(Elapsed time 0:")));
    QCOMPARE(view.Lines.Count(), 8);
    QCOMPARE(w->ResultLineInfos().size(), std::size_t{8});
    QCOMPARE(Box(*w, "KoFlatComboBoxFindDirectory").currentText(), kSamples);
    QCOMPARE(Box(*w, "KoFlatComboBoxFindDirectoryMask").currentText(), QStringLiteral("*.*"));
    QCOMPARE(Box(*w, "KoFlatComboBoxFindString").itemText(0), QStringLiteral("東京"));
    QCOMPARE(QApplication::focusWidget(), &w->KoEditorResult());
    QVERIFY(Enabled(*w, ActionId::FindStart) && !Enabled(*w, ActionId::FindStop));
    for (ActionId id : {ActionId::ResultEditor, ActionId::ResultClear, ActionId::ResultSave})
      QVERIFY(Enabled(*w, id));
    QVERIFY(!Enabled(*w, ActionId::ResultGoForward));
    QVERIFY(Enabled(*w, ActionId::FindHistClearDirectoryMask));

    // The hit of the first row is painted in the hit style: yellow behind its cells, not before.
    const std::string row = view.RowString(0);
    const auto hit = tarn::ui::HitToDraw(w->ResultLineInfos()[0], row, 8);
    QVERIFY(hit && hit->Column > 0);
    const QImage image = w->KoEditorResult().viewport()->grab().toImage();
    auto yellowIn = [&](int col) { return YellowIn(image, view, 0, col); };
    QVERIFY(yellowIn(hit->Column) > 0);
    QVERIFY(yellowIn(hit->Column + static_cast<int>(hit->Text.size()) - 1) > 0);
    QCOMPARE(yellowIn(hit->Column - 1), 0);
    QCOMPARE(yellowIn(hit->Column + static_cast<int>(hit->Text.size())), 0);
    Screenshot(*w, "main-window-after-search");
  }

  void everyHitPaintedAndLongRowShownAroundItsHit() {
    const QString dir = data_->path() + "/hits";
    QDir().mkpath(dir);
    // Three hits in a row, and a 3,000-byte line whose hit starts at byte 2,900.
    WriteCp932(dir + "/a.txt", "東京と東京と東京\r\n" + std::string(2900, 'x') + "東京" + std::string(96, 'y') + "\r\n");
    auto w = Open();
    QVERIFY(w);
    Request(*w, QStringLiteral("東京"), dir, QStringLiteral("a.txt"));
    QTest::keyClick(w.get(), Qt::Key_F3);
    const tarn::editor::TKoEditor& view = w->KoEditorResult();
    QVERIFY(w->StatusText().startsWith(QStringLiteral(" 2個検索しました。")));
    QCOMPARE(view.RowString(1).size(), std::size_t{10 + 3000});
    QCOMPARE(w->ResultLineInfos()[0].substr(0, 5), std::string("11,4,"));

    const QImage image = w->KoEditorResult().viewport()->grab().toImage();
    auto yellowIn = [&](int row, int col) { return YellowIn(image, view, row, col); };
    // "a.txt(1): " then each 東京 four cells, と between them.
    for (const int col : {10, 16, 22}) {
      QVERIFY2(yellowIn(0, col) > 0 && yellowIn(0, col + 3) > 0, qPrintable(QString::number(col)));
      QCOMPARE(yellowIn(0, col + 4), 0);
    }
    // The long row: its head, the cut mark "…", 40 bytes before the hit, the hit.
    Screenshot(*w, "every-hit-and-long-row");
    QCOMPARE(yellowIn(1, 51), 0);
    QVERIFY(yellowIn(1, 52) > 0 && yellowIn(1, 55) > 0);
    QCOMPARE(yellowIn(1, 56), 0);
    QTest::keyClick(&w->KoEditorResult(), Qt::Key_Down);
    QTest::keyClick(&w->KoEditorResult(), Qt::Key_End);
    QTest::keyClick(&w->KoEditorResult(), Qt::Key_Home, Qt::ShiftModifier);
    Screenshot(*w, "long-row-selected");
  }

  void filesInEveryEncodingAreListedAndPainted() {
    const QString dir = data_->path() + "/encodings";
    QDir().mkpath(dir);
    auto write = [&](const char* name, const QByteArray& bytes) {
      QFile f(dir + "/" + name);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(bytes);
    };
    WriteCp932(dir + "/cp932.txt", "first\r\ncp932 東京へ\r\n");
    // U+1F600 has no CP932 form: a placeholder before the hit, which must still be painted exactly.
    write("utf8.txt", QByteArray("first\nutf-8 \xF0\x9F\x98\x80\xE6\x9D\xB1\xE4\xBA\xAC\xE3\x81\xB8\n"));
    const QString utf16 = QStringLiteral("first\r\nutf-16 東京へ\r\n");
    write("utf16.txt", QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char*>(utf16.utf16()), utf16.size() * 2));
    write("euc.txt", QByteArray("first\neuc-jp \xC5\xEC\xB5\xFE\xA4\xD8\n"));
    write("jis.txt", QByteArray("first\niso-2022-jp \x1B$BEl5~$X\x1B(B\n"));
    auto w = Open();
    QVERIFY(w);
    Request(*w, QStringLiteral("東京"), dir, QStringLiteral("*.txt"));
    QTest::keyClick(w.get(), Qt::Key_F3);
    const tarn::editor::TKoEditor& view = w->KoEditorResult();
    QVERIFY(w->StatusText().startsWith(QStringLiteral(" 5個検索しました。")));
    QCOMPARE(view.Lines.Count(), 5);
    const QImage image = w->KoEditorResult().viewport()->grab().toImage();
    QStringList encodings;
    for (int row = 0; row < 5; ++row) {
      const std::string& info = w->ResultLineInfos()[static_cast<std::size_t>(row)];
      const std::vector<std::string> fields = tarn::ParseCommaText(info);
      QCOMPARE(fields[4], std::string("2"));
      encodings << QString::fromStdString(fields.size() > 6 ? fields[6] : "cp932");
      const auto hit = tarn::ui::HitToDraw(info, view.RowString(row), 8);
      QVERIFY(hit && hit->Text == tarn::Utf8ToCp932("東京"));
      QVERIFY(YellowIn(image, view, row, hit->Column) > 0 && YellowIn(image, view, row, hit->Column + 3) > 0);
      QCOMPARE(YellowIn(image, view, row, hit->Column - 1), 0);
      QCOMPARE(YellowIn(image, view, row, hit->Column + 4), 0);
    }
    encodings.sort();
    QCOMPARE(encodings, QStringList({"cp932", "euc-jp", "iso-2022-jp", "utf-16le", "utf-8"}));
    // The preview shows each row's file as the search read it, the row's line marked.
    const tarn::ui::TPreviewPane& pane = w->PreviewPane();
    for (int row = 0; row < 5; ++row) {
      if (row > 0) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
      QTRY_VERIFY(!pane.Loading() && pane.HitRow() == 1 &&
                  std::string(view.RowString(row)).ends_with("): " + std::string(pane.Editor().Lines.Get(1))));
      QVERIFY(pane.Message().isEmpty());
    }
    Screenshot(*w, "mixed-encodings");
  }

  void droppedFolderFillsDirectoryBox_data() {
    QTest::addColumn<QString>("dropped");
    QTest::addColumn<QString>("directory");
    QTest::newRow("folder") << "/sub" << "/sub";
    QTest::newRow("file: its folder") << "/sub/a.txt" << "/sub";
    QTest::newRow("gone: nothing") << "/none" << "";
  }
  void droppedFolderFillsDirectoryBox() {
    QFETCH(QString, dropped);
    QFETCH(QString, directory);
    QDir().mkpath(data_->path() + "/sub");
    WriteCp932(data_->path() + "/sub/a.txt", "x");
    auto w = Open();
    QVERIFY(w);
    Box(*w, "KoFlatComboBoxFindDirectory").setEditText(QString());
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(data_->path() + dropped)});
    // Dropped on the search string box: the folder still goes to the directory box.
    QWidget* target = Box(*w, "KoFlatComboBoxFindString").lineEdit();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    QCOMPARE(enter.isAccepted(), !directory.isEmpty());
    if (directory.isEmpty()) return;
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(Box(*w, "KoFlatComboBoxFindDirectory").currentText(), data_->path() + directory);
    QCOMPARE(Box(*w, "KoFlatComboBoxFindString").currentText(), QString());
  }

  void enterInEachBoxStartsSearch_data() {
    QTest::addColumn<QString>("box");
    for (const char* name : {"KoFlatComboBoxFindString", "KoFlatComboBoxFindDirectory", "KoFlatComboBoxFindFileMask",
                             "KoFlatComboBoxFindDirectoryMask"})
      QTest::newRow(name) << QString::fromLatin1(name);
  }
  void enterInEachBoxStartsSearch() {
    QFETCH(QString, box);
    auto w = Open();
    QVERIFY(w);
    Request(*w, QStringLiteral("コンピュータ"), kSamples, QStringLiteral("*.txt"));
    auto& target = Box(*w, box.toLatin1().constData());
    target.setFocus();
    QTest::keyClick(&target, Qt::Key_Return);
    QVERIFY(w->StatusText().contains(QStringLiteral("個検索しました。")));
    QVERIFY(w->KoEditorResult().Lines.Count() > 0);
  }

  void badRequestBeepsAndFocusesBox_data() {
    QTest::addColumn<QString>("find");
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("focused");
    QTest::addColumn<QString>("named");  // the character a message names; empty: no message
    QTest::newRow("empty search string") << "" << "  nowhere  " << "*.txt" << "KoFlatComboBoxFindString" << "";
    QTest::newRow("missing directory") << "a" << kSamples + "/none" << "*.txt" << "KoFlatComboBoxFindDirectory" << "";
    QTest::newRow("empty mask") << "a" << kSamples << "   " << "KoFlatComboBoxFindFileMask" << "";
    // A character without a CP932 form would search for "?" instead.
    const QString yoshi = QString::fromUtf8("\xF0\xA0\xAE\xB7"), emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
    QTest::newRow("search string outside CP932") << yoshi + "野家" << kSamples << "*.txt" << "KoFlatComboBoxFindString" << yoshi;
    QTest::newRow("mask outside CP932") << "東京" << kSamples << emoji + "*.txt" << "KoFlatComboBoxFindFileMask" << emoji;
  }
  void badRequestBeepsAndFocusesBox() {
    QFETCH(QString, find);
    QFETCH(QString, dir);
    QFETCH(QString, mask);
    QFETCH(QString, focused);
    QFETCH(QString, named);
    auto w = Open();
    QVERIFY(w);
    Request(*w, find, dir, mask);
    w->KoEditorResult().setFocus();
    {
      MessageBoxAnswerer answerer;
      QTest::keyClick(w.get(), Qt::Key_F3);
      const QString message = QStringLiteral("「%1」は Shift-JIS で表せないため検索できません。").arg(named);
      QCOMPARE(answerer.texts, named.isEmpty() ? QStringList() : QStringList{message});
    }
    Reactivate(*w);
    QCOMPARE(w->BeepCount(), 1);
    QVERIFY(HasFocus(Box(*w, focused.toLatin1().constData())));
    QCOMPARE(w->StatusText(), QString());
    QCOMPARE(w->KoEditorResult().Lines.Count(), 0);
    QVERIFY(Box(*w, "KoFlatComboBoxFindString").HistoryItems().empty());
    QCOMPARE(Box(*w, "KoFlatComboBoxFindString").currentText(), find);
    // Boxes after the failing one are left as typed.
    if (find.isEmpty()) QCOMPARE(Box(*w, "KoFlatComboBoxFindDirectory").currentText(), dir);
  }

  void malformedPatternShowsItsMessage() {
    auto w = Open();
    QVERIFY(w);
    Request(*w, QStringLiteral("東京("), kSamples, QStringLiteral("*.txt"));
    MessageBoxAnswerer answerer;
    QTest::keyClick(w.get(), Qt::Key_F3);
    QCOMPARE(answerer.texts.size(), 1);
    QVERIFY(!answerer.texts[0].isEmpty() && answerer.texts[0].contains(QRegularExpression("[\\x{3040}-\\x{30FF}\\x{4E00}-\\x{9FFF}]")));
    QCOMPARE(w->StatusText(), QString());
    QCOMPARE(w->Busy(), 0);
  }

  void escapeStopsLongRunWhileOnlyStopIsEnabled_data() {
    QTest::addColumn<bool>("realtime");
    QTest::newRow("rows shown at the end") << false;
    QTest::newRow("rows shown as found") << true;
  }
  void escapeStopsLongRunWhileOnlyStopIsEnabled() {
    QFETCH(bool, realtime);
    const QString tree = MakeLongTree();
    WriteCp932(data_->path() + "/tarn.ini", std::string("[FindResult]\r\nShowRealtime=") + (realtime ? "1" : "0") + "\r\n");
    auto w = Open();
    QVERIFY(w);
    Request(*w, QStringLiteral("東京"), tree, QStringLiteral("*.txt"));
    bool checked = false;
    // The stop message stays open a while, as it does until the user has read it.
    MessageBoxAnswerer answerer(QMessageBox::Ok, 1500);
    // Looks at the window once the run has listed some rows.
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, w.get(), [&] {
      tarn::editor::TKoEditor& view = w->KoEditorResult();
      if (checked || view.Lines.Count() < 40) return;
      checked = true;
      poll.stop();
      QCOMPARE(w->Busy(), 1);
      QVERIFY(w->StatusText().startsWith(QStringLiteral(" 検索中（")));
      QVERIFY(Enabled(*w, ActionId::FindStop));
      for (const auto& def : tarn::ui::ActionTable()) {
        if (def.Id == ActionId::FindStop || !w->Action(def.Id)) continue;
        // Every action a rule covers; the menus themselves and the toolbar submenu stay open.
        const bool ruled = !def.Name.ends_with("Popup") && def.Id != ActionId::OptionToolBar &&
                           def.Id != ActionId::HelpShow;
        if (ruled) QVERIFY2(!Enabled(*w, def.Id), def.Name.data());
      }
      QVERIFY(!w->findChild<QWidget*>("PanelFindRequest")->isEnabled());
      // Rows found so far are painted only when the setting asks for it.
      const QImage shown = view.viewport()->grab().toImage();
      bool ink = false;
      for (int y = view.TextTop(); y < view.TextTop() + view.RowHeight() && !ink; ++y)
        for (int x = view.TextLeft(); x < view.TextLeft() + 10 * view.ColWidth() && !ink; ++x)
          ink = qGray(shown.pixel(x, y)) < 128;
      QCOMPARE(ink, realtime);
      QMenu& popup = OpenPopup(*w);
      QVERIFY(popup.isVisible());
      for (QAction* item : popup.actions()) QVERIFY(item->isSeparator() || !item->isEnabled());
      if (realtime) Screenshot(*w, "main-window-during-run");
      ClosePopup(*w, popup);
      QVERIFY(!w->close());
      // A second copy's request waits for the run's end; the window comes forward at once.
      w->HandOver(tarn::ui::kHandOverRecord,
                  QByteArray::fromStdString(tarn::ui::HandOverText({tarn::Utf8ToCp932(kSamples.toStdString()),
                                                                    tarn::Utf8ToCp932("大阪"), "*.htm"})));
      QCOMPARE(Box(*w, "KoFlatComboBoxFindString").currentText(), QStringLiteral("東京"));
      QTest::keyClick(w.get(), Qt::Key_Escape);
    });
    poll.start();
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(w.get(), Qt::Key_F3);
    const qint64 runEnded = clock.elapsed();
    QVERIFY(checked);
    QCOMPARE(answerer.texts, QStringList{QStringLiteral("検索を中断しました。")});
    const int rows = w->KoEditorResult().Lines.Count();
    QVERIFY(rows < 150 * 400);
    // The run's own time, without the time its message was open, and a mark that it was stopped.
    const QString status = w->StatusText();
    QCOMPARE(status.section(QChar(0x500B), 0, 0), QStringLiteral(" %1").arg(rows));
    QVERIFY2(status.contains(QStringLiteral("中断")), qPrintable(status));
    const QTime shown = QTime::fromString(status.section("Elapsed time ", 1).section(')', 0, 0), "m:ss.zzz");
    QVERIFY2(shown.isValid() && shown.msecsSinceStartOfDay() <= runEnded - 1500, qPrintable(status));
    if (!realtime) Screenshot(*w, "main-window-after-stop");
    QVERIFY(Enabled(*w, ActionId::FindStart) && !Enabled(*w, ActionId::FindStop));

    // The entry holds the request that found its rows; the handed-over one fills the boxes now.
    QFile param(data_->path() + "/Tmp/ParamList.1");
    QVERIFY(param.open(QIODevice::ReadOnly));
    const QStringList request = QString::fromStdString(tarn::Cp932ToUtf8(param.readAll().toStdString())).split("\r\n");
    QCOMPARE(request.mid(0, 3), (QStringList{QStringLiteral("東京"), tree, QStringLiteral("*.txt")}));
    QCOMPARE(Box(*w, "KoFlatComboBoxFindString").currentText(), QStringLiteral("大阪"));
    QCOMPARE(Box(*w, "KoFlatComboBoxFindFileMask").currentText(), QStringLiteral("*.htm"));

    // Select all was disabled by the popup opened during the run; its key acts as the view is now.
    Reactivate(*w);
    tarn::editor::TKoEditor& view = w->KoEditorResult();
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
    QVERIFY(view.Selected());
    QVERIFY(w->close());
  }

  void menuClosedFromKeyboardGivesBackKeysAndStatus() {
    auto w = Open();
    QVERIFY(w);
    auto& findBox = Box(*w, "KoFlatComboBoxFindString");
    findBox.setFocus();
    QTest::keyClick(&findBox, Qt::Key_R, Qt::AltModifier);
    QTRY_VERIFY(QApplication::activePopupWidget());
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    Reactivate(*w);
    // The menu bar does not keep the keyboard, nor its hint the status line.
    QTRY_VERIFY(HasFocus(findBox));
    QCOMPARE(w->statusBar()->currentMessage(), QString());
  }

  void withoutEditorTheDesktopOpensTheFile() {
    WriteCp932(data_->path() + "/tarn.ini", "[Editor]\r\nExeName=\r\n");
    FileOpener opener;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");
    auto w = Open();
    QVERIFY(w);
    Request(*w, QStringLiteral("東京"), kSamples, QStringLiteral("*.txt"));
    QTest::keyClick(w.get(), Qt::Key_F3);
    QTest::keyClick(&w->KoEditorResult(), Qt::Key_Return);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    const std::vector<std::string> fields = tarn::ParseCommaText(w->ResultLineInfos()[0]);
    QCOMPARE(opener.opened, QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(tarn::Cp932ToUtf8(fields[3])))});
    QVERIFY2(w->StatusText().contains(QStringLiteral("行番号は渡せません")), qPrintable(w->StatusText()));
  }

  void enterOnRowRunsEditorAndSelectsRow() {
    WriteEditorStub(data_->path(), "+%l %F %S");
    auto w = Open();
    QVERIFY(w);
    Request(*w, QStringLiteral("東京"), kSamples, QStringLiteral("*.txt"));
    QTest::keyClick(w.get(), Qt::Key_F3);
    tarn::editor::TKoEditor& view = w->KoEditorResult();
    QTest::keyClick(&view, Qt::Key_Down);
    QTest::keyClick(&view, Qt::Key_Return);

    const std::vector<std::string> fields = tarn::ParseCommaText(w->ResultLineInfos()[1]);
    QTRY_VERIFY(QFile::exists(data_->path() + "/argv.txt"));
    QFile argv(data_->path() + "/argv.txt");
    QVERIFY(argv.open(QIODevice::ReadOnly));
    const QStringList got = QString::fromUtf8(argv.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(got, (QStringList{"+" + QString::fromStdString(fields[4]),
                               QString::fromStdString(tarn::Cp932ToUtf8(fields[3])), QStringLiteral("東京")}));
    QCOMPARE(view.Row(), 1);
    QCOMPARE(view.Col(), 0);
    QCOMPARE(view.SelText(), view.RowString(1) + "\r\n");
  }

  void popupFollowsStateAndGuardsCopyKeys() {
    auto w = Open();
    QVERIFY(w);
    QMenu& empty = OpenPopup(*w);
    for (QAction* item : empty.actions()) QVERIFY(item->isSeparator() || !item->isEnabled());
    ClosePopup(*w, empty);

    Request(*w, QStringLiteral("東京"), kSamples, QStringLiteral("*.txt"));
    QTest::keyClick(w.get(), Qt::Key_F3);
    QMenu& after = OpenPopup(*w);
    Screenshot(*w, "result-popup-menu", &after);
    auto item = [&](const char* name) {
      for (QAction* a : after.actions())
        if (a->objectName() == QLatin1String(name)) return a;
      return static_cast<QAction*>(nullptr);
    };
    QVERIFY(item("ActionResultEditor")->isEnabled() && item("ActionResultClear")->isEnabled());
    QVERIFY(!item("pmiEditCopy")->isEnabled());
    QVERIFY(item("pmiEditSelectAll")->isEnabled());
    ClosePopup(*w, after);

    // The popup left Copy disabled, with nothing selected; once rows are selected Ctrl+C copies them.
    QApplication::clipboard()->setText(QStringLiteral("before"));
    tarn::editor::TKoEditor& view = w->KoEditorResult();
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
    QVERIFY(view.Selected());
    QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
    QVERIFY(QApplication::clipboard()->text().contains(QStringLiteral("東京")));

    // Clear empties the view and the status line.
    QTest::keyClick(w.get(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(view.Lines.Count(), 0);
    QCOMPARE(w->StatusText(), QString());
    QVERIFY(!Enabled(*w, ActionId::ResultClear));
  }

  void panelToolbarsAndBoxesFollowTheirRules() {
    auto w = Open();
    QVERIFY(w);
    // F12 twice: the panel and its splitter go, then come back.
    auto* splitter = w->findChild<QSplitter*>("Splitter1");
    QTest::keyClick(w.get(), Qt::Key_F12);
    QVERIFY(!w->LeftPanelVisible() && !w->Action(ActionId::OptionLeftPanel)->isChecked());
    QTRY_VERIFY(splitter->handle(1)->isHidden());
    QTest::keyClick(w.get(), Qt::Key_F12);
    QVERIFY(w->LeftPanelVisible() && w->Action(ActionId::OptionLeftPanel)->isChecked());
    QTRY_VERIFY(!splitter->handle(1)->isHidden());

    // A tool tip names the command and its key.
    auto* findBar = w->findChild<QToolBar*>("ToolBarFind");
    QCOMPARE(findBar->widgetForAction(w->Action(ActionId::FindStart))->toolTip(), QStringLiteral("検索開始 (F3)"));
    // Hiding the result toolbar from the menu: unchecked at the next opening of the menu.
    w->Action(ActionId::OptionToolBarResult)->trigger();
    QVERIFY(w->findChild<QToolBar*>("ToolBarResult")->isHidden());
    QMenu* options = w->Action(ActionId::OptionPopup)->menu();
    options->popup(w->mapToGlobal(QPoint(50, 20)));
    QVERIFY(!w->Action(ActionId::OptionToolBarResult)->isChecked());
    QVERIFY(w->Action(ActionId::OptionToolBarFind)->isChecked());
    ClosePopup(*w, *options);

    // The directory-mask box follows the sub-directory check box, also when set from code.
    auto* sub = w->findChild<QAbstractButton*>("FlatCheckBoxFindSubDirectory");
    sub->setChecked(false);
    QVERIFY(!Box(*w, "KoFlatComboBoxFindDirectoryMask").isEnabled());
    QTest::mouseClick(sub, Qt::LeftButton, {}, QPoint(6, sub->height() / 2));
    QVERIFY(Box(*w, "KoFlatComboBoxFindDirectoryMask").isEnabled());

    // Widening the window widens the four boxes to the panel's right edge.
    auto* panel = w->findChild<QWidget*>("PanelFindRequest");
    for (int width : {900, 1200}) {
      w->resize(width, 600);
      QTRY_COMPARE(panel->width() > 0, true);
      for (auto* box : panel->findChildren<TKoFlatComboBox*>()) QTRY_COMPARE(box->geometry().right() + 1, panel->width());
    }
  }

  void settingsWrittenAtCloseAndReadBack() {
    {
      auto w = Open({kSamples.toStdString(), "$$BLANK$$", "*.txt"});
      QVERIFY(w);
      QCOMPARE(Box(*w, "KoFlatComboBoxFindString").currentText(), QString());
      QVERIFY(HasFocus(Box(*w, "KoFlatComboBoxFindString")));
      Box(*w, "KoFlatComboBoxFindString").setEditText(QStringLiteral("晴れ, \"雨\""));
      QTest::keyClick(w.get(), Qt::Key_F3);
      QTest::keyClick(w.get(), Qt::Key_F12);
      w->Action(ActionId::OptionToolBarHelp)->trigger();
      QVERIFY(w->close());
    }
    QFile ini(data_->path() + "/tarn.ini");
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QString text = QString::fromStdString(tarn::Cp932ToUtf8(ini.readAll().toStdString()));
    for (const char* section : {"[Tarn]", "[LeftPanel]", "[Editor]", "[FindRequest]", "[FindResult]", "[RunTime]",
                                "[FindResultHistory]", "[ToolBar]", "[ShortCut]", "[Help]"})
      QVERIFY2(text.contains(QLatin1String(section)), section);
    QVERIFY(text.contains(QStringLiteral("FindStart=F3")));

    auto w = Open({"/no/such/dir", "x"});
    QVERIFY(w);
    QCOMPARE(Box(*w, "KoFlatComboBoxFindString").itemText(0), QStringLiteral("晴れ, \"雨\""));
    QCOMPARE(Box(*w, "KoFlatComboBoxFindDirectory").currentText(), QString());
    QVERIFY(HasFocus(Box(*w, "KoFlatComboBoxFindDirectory")));
    QVERIFY(!w->LeftPanelVisible());
    QVERIFY(w->findChild<QToolBar*>("ToolBarHelp")->isHidden());
    QVERIFY(!w->findChild<QToolBar*>("ToolBarFind")->isHidden());
  }

  // Saved values off every screen, larger than any, a panel wider than the window, and a history
  // longer than the design bound of 32 under its own bound: the window opens usable, keeps the
  // history, and is saved so.
  void savedValuesComeBackUsable_data() {
    QTest::addColumn<QString>("keys");
    QTest::addColumn<int>("history");
    QTest::newRow("off every screen") << "Top=-3000\r\nLeft=99999\r\nWidth=700\r\nHeight=500" << 0;
    QTest::newRow("larger than any screen") << "Top=10\r\nLeft=10\r\nWidth=2147483647\r\nHeight=2147483647" << 0;
    QTest::newRow("panel wider than the window") << "Width=700\r\n[LeftPanel]\r\nWidth=100000" << 0;
    std::vector<std::string> items;
    for (int i = 0; i < 50; ++i) items.push_back("item" + std::to_string(i));
    const std::string history = "[FindRequest]\r\nMaxHistory=100\r\nFindString=" + tarn::ToCommaText(items);
    QTest::newRow("history above 32") << QString::fromStdString(history) << 50;
  }
  void savedValuesComeBackUsable() {
    QFETCH(QString, keys);
    QFETCH(int, history);
    WriteCp932(data_->path() + "/tarn.ini", "[Tarn]\r\nVersion=1.1.9\r\n" + keys.toStdString() + "\r\n");
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    {
      TFormTarnMain w(tarn::settings::DataLocations::InDirectory(data_->path().toStdString()), {});
      w.show();
      QVERIFY(QTest::qWaitForWindowExposed(&w));
      // The frame's corner on the screen, and no larger than the screen.
      QVERIFY(screen.contains(w.frameGeometry().topLeft()));
      QVERIFY(w.width() <= screen.width() && w.height() <= screen.height());
      QTRY_VERIFY(w.findChild<QWidget*>("FlatPanelTreeView")->width() >= 40);
      QVERIFY(Box(w, "KoFlatComboBoxFindString").width() >= 150);
      QCOMPARE(Box(w, "KoFlatComboBoxFindString").count(), history);
      Screenshot(w, QTest::currentDataTag());
      QVERIFY(w.close());
    }
    const auto saved = tarn::settings::LoadSettingsFile(data_->path().toStdString() + "/tarn.ini");
    QVERIFY(screen.contains(QPoint(saved.Window.Left, saved.Window.Top)));
    QVERIFY(saved.Window.Width <= screen.width() && saved.Window.Height <= screen.height());
    QVERIFY(saved.LeftPanelState.Width <= saved.Window.Width - 300);
    QCOMPARE(saved.RequestBoxes.FindString.size(), std::size_t(history));
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"

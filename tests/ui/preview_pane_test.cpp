// The preview pane as a user drives it: it follows the result row through a held arrow key,
// marks the row's line and paints the hits around it, hides and shows with its shortcut (and
// stays so in the settings), opens the editor at a double-clicked line or on Enter, says why
// when the row's file is gone or has changed, and reads a slow file without holding the window up.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>

#include "core/comma_text.h"
#include "core/encoding.h"
#include "ui/fr_tarn_main.h"
#include "ui/preview_pane.h"
#include "window_test_support.h"

using tarn::ui::ActionId;
using tarn::ui::TFormTarnMain;
using tarn::ui::TPreviewPane;
using namespace tarn::ui::testing;

class PreviewPaneTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> data_;

  // Ten thousand lines, every tenth with two hits: a thousand rows.
  QString MakeTree() {
    const QString root = data_->path() + "/tree";
    QDir().mkpath(root);
    std::string text;
    for (int i = 1; i <= 10000; ++i)
      text += i % 10 == 0 ? "東京タワーの行 " + std::to_string(i) + " と東京駅\r\n" : "ただの行 " + std::to_string(i) + "\n";
    WriteCp932(root + "/都市.txt", text);
    return root;
  }

  std::unique_ptr<TFormTarnMain> Search(const QString& root) {
    auto w = OpenWindow(data_->path());
    if (!w) return w;
    Request(*w, QStringLiteral("東京"), root, QStringLiteral("*.txt"));
    QTest::keyClick(w.get(), Qt::Key_F3);
    return w;
  }

  // The pane shows the row's line, marked, under the row's own line number.
  static void ExpectPaneOnRow(TFormTarnMain& w, int row) {
    const TPreviewPane& pane = w.PreviewPane();
    const std::vector<std::string> fields = tarn::ParseCommaText(w.ResultLineInfos()[static_cast<std::size_t>(row)]);
    QTRY_COMPARE(pane.LineNoOfRow(pane.HitRow()), std::stoi(fields[4]));
    const std::string line(pane.Editor().Lines.Get(pane.HitRow()));
    QVERIFY(std::string(w.KoEditorResult().Lines.Get(row)).ends_with("): " + line));
    const std::string selected = pane.Editor().SelText();
    QVERIFY(selected == line + "\r\n" || (selected == line && pane.HitRow() + 1 == pane.Editor().Lines.Count()));
    QVERIFY(pane.Message().isEmpty());
  }

  // Pixels of the hit style's yellow in cells [col, col + cells) of a row of the pane.
  static int YellowIn(const TPreviewPane& pane, int row, int col, int cells) {
    const tarn::editor::TKoEditor& view = pane.Editor();
    const QImage image = view.viewport()->grab().toImage();
    int n = 0;
    const int top = view.TextTop() + (row - view.TopRow()) * view.RowHeight();
    const int left = view.TextLeft() + (col - view.TopCol()) * view.ColWidth();
    for (int y = top; y < top + view.RowHeight(); ++y)
      for (int x = left; x < left + cells * view.ColWidth(); ++x) n += image.pixelColor(x, y) == QColor(Qt::yellow);
    return n;
  }

 private slots:
  void init() { data_ = std::make_unique<QTemporaryDir>(); }

  void followsHeldArrowKeyMarksHitsTogglesAndOpensClickedLine() {
    WriteEditorStub(data_->path(), "+%l %F");
    auto w = Search(MakeTree());
    QVERIFY(w);
    QTRY_COMPARE(w->KoEditorResult().Lines.Count(), 1000);
    QVERIFY(w->PreviewVisible());
    ExpectPaneOnRow(*w, 0);

    // Down held through the rows: auto-repeated presses, the window drawing between them.
    tarn::editor::TKoEditor& view = w->KoEditorResult();
    view.setFocus();
    for (int row = 1; row < 1000; ++row) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
      QApplication::sendEvent(&view, &press);
      QCoreApplication::processEvents();
      if (row % 250 == 0) ExpectPaneOnRow(*w, row);
    }
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier);
    QApplication::sendEvent(&view, &release);
    QCOMPARE(view.Row(), 999);
    ExpectPaneOnRow(*w, 999);

    // Both hits of the marked line are painted ("東京タワーの行 10000 と東京駅"), nothing between.
    TPreviewPane& pane = w->PreviewPane();
    QVERIFY(YellowIn(pane, pane.HitRow(), 0, 4) > 0);
    QCOMPARE(YellowIn(pane, pane.HitRow(), 5, 16), 0);
    QVERIFY(YellowIn(pane, pane.HitRow(), 23, 4) > 0);
    Screenshot(*w, "preview-pane");

    // The shortcut hides the pane and shows it again on the same row.
    QTest::keyClick(&view, Qt::Key_F8);
    QVERIFY(!w->PreviewVisible() && !w->Action(ActionId::OptionPreview)->isChecked());
    QTest::keyClick(&view, Qt::Key_F8);
    QVERIFY(w->PreviewVisible() && w->Action(ActionId::OptionPreview)->isChecked());
    ExpectPaneOnRow(*w, 999);

    // A double-click on a line of the pane opens the editor at that line.
    const int row = pane.HitRow() - 3;
    const tarn::editor::TKoEditor& text = pane.Editor();
    const QPoint at(text.TextLeft() + 2 * text.ColWidth(), text.TextTop() + (row - text.TopRow()) * text.RowHeight() + 3);
    QTest::mouseDClick(text.viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTRY_VERIFY(QFile::exists(data_->path() + "/argv.txt"));
    QFile argv(data_->path() + "/argv.txt");
    QVERIFY(argv.open(QIODevice::ReadOnly));
    const QStringList got = QString::fromUtf8(argv.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(got.value(0), QStringLiteral("+%1").arg(pane.LineNoOfRow(row)));
    QVERIFY(got.value(1).endsWith(QStringLiteral("/都市.txt")));
    argv.close();

    // So does Enter on the caret's line.
    QVERIFY(QFile::remove(data_->path() + "/argv.txt"));
    QTest::keyClick(&pane.Editor(), Qt::Key_Down);
    QTest::keyClick(&pane.Editor(), Qt::Key_Down);
    QTest::keyClick(&pane.Editor(), Qt::Key_Return);
    QTRY_VERIFY(QFile::exists(data_->path() + "/argv.txt"));
    QVERIFY(argv.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(argv.readAll()).split('\n').value(0), QStringLiteral("+%1").arg(pane.LineNoOfRow(row + 2)));

    // Hidden when the window closes, hidden when it opens again.
    QTest::keyClick(&view, Qt::Key_F8);
    QVERIFY(w->close());
    w.reset();
    auto again = OpenWindow(data_->path());
    QVERIFY(again);
    QVERIFY(!again->PreviewVisible() && !again->Action(ActionId::OptionPreview)->isChecked());
  }

  // A hit past the 1,000 bytes a row shows: the marked line is shown from shortly before it.
  void longLineShowsAroundItsHit() {
    const QString root = data_->path() + "/long";
    QDir().mkpath(root);
    std::string line;
    for (int i = 0; i < 1450; ++i) line += "あ";
    WriteCp932(root + "/長い.txt", "前の行\n" + line + "東京" + "いいい\n後の行\n");
    auto w = Search(root);
    QVERIFY(w);
    QTRY_COMPARE(w->KoEditorResult().Lines.Count(), 1);
    const TPreviewPane& pane = w->PreviewPane();
    QTRY_COMPARE(pane.HitRow(), 1);
    const std::string marked(pane.Editor().Lines.Get(1));
    QCOMPARE(QString::fromStdString(tarn::Cp932ToUtf8(marked)),
             QStringLiteral("…ああああああああああああああああああああ東京いいい"));
    QVERIFY(YellowIn(pane, 1, 42, 4) > 0);
    QCOMPARE(pane.LineNoOfRow(0), 1);
    Screenshot(*w, "preview-long-line");
  }

  void rowOfGoneOrChangedFileShowsWhy_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("message");
    QTest::newRow("line inserted above") << "insert" << QStringLiteral("検索の後でファイルが変更されたため表示できません: ");
    QTest::newRow("hit edited") << "edit" << QStringLiteral("検索の後でファイルが変更されたため表示できません: ");
    QTest::newRow("file removed") << "remove" << QStringLiteral("ファイルが見つかりません: ");
  }

  void rowOfGoneOrChangedFileShowsWhy() {
    QFETCH(QString, change);
    QFETCH(QString, message);
    const QString root = data_->path() + "/small";
    QDir().mkpath(root);
    const QString file = root + "/メモ.txt";
    WriteCp932(file, "一行目\r\n東京の二行目\r\n三行目 東京\r\n");
    auto w = Search(root);
    QVERIFY(w);
    QTRY_COMPARE(w->KoEditorResult().Lines.Count(), 2);
    ExpectPaneOnRow(*w, 0);
    if (change == "insert") WriteCp932(file, "零行目\r\n一行目\r\n東京の二行目\r\n三行目 東京\r\n");
    if (change == "edit") WriteCp932(file, "一行目\r\n東京の二行目\r\n三行目 京東\r\n");
    if (change == "remove") QVERIFY(QFile::remove(file));
    tarn::editor::TKoEditor& view = w->KoEditorResult();
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_Down);
    const TPreviewPane& pane = w->PreviewPane();
    QTRY_COMPARE(pane.Message(), message + file);
    QCOMPARE(pane.Editor().Lines.Count(), 0);
    Screenshot(*w, qPrintable("preview-" + change));
  }

  // A file that takes longer than the pane waits (here: any file) is read while the pane says so,
  // and what a read gives back after another row was asked for is dropped.
  void slowReadShowsLoadingAndDropsLateText() {
    const QString root = data_->path() + "/slow";
    QDir().mkpath(root);
    WriteCp932(root + "/a.txt", "東京の一行目\r\n");
    WriteCp932(root + "/b.txt", "二行目\r\n東京の二行目\r\n");
    auto w = Search(root);
    QVERIFY(w);
    QTRY_COMPARE(w->KoEditorResult().Lines.Count(), 2);
    ExpectPaneOnRow(*w, 0);
    QTest::qWait(100);  // the window's own following of the caret is done
    TPreviewPane& pane = w->PreviewPane();
    pane.Patience = std::chrono::milliseconds{0};
    const auto row = [&](int i) { return std::string(w->KoEditorResult().Lines.Get(i)); };
    const std::vector<std::string>& infos = w->ResultLineInfos();

    pane.ShowRow(row(1), infos[1], -1);
    QVERIFY(pane.Loading());
    QCOMPARE(pane.Message(), QStringLiteral("読み込み中..."));
    Screenshot(*w, "preview-loading");
    QTRY_VERIFY(!pane.Loading());
    QCOMPARE(pane.LineNoOfRow(pane.HitRow()), 1);  // a.txt (b.txt's row comes first)

    // Row 0 asked for while row 1 is read: row 0 shows, whichever read ends last.
    for (int round = 0; round < 20; ++round) {
      pane.ShowRow(row(1), infos[1], -1);
      pane.ShowRow(row(0), infos[0], -1);
      QTRY_VERIFY(!pane.Loading());
      QTest::qWait(5);
      QCOMPARE(pane.LineNoOfRow(pane.HitRow()), 2);
      QCOMPARE(pane.Editor().Lines.Count(), 2);
    }
  }
};

QTEST_MAIN(PreviewPaneTest)
#include "preview_pane_test.moc"

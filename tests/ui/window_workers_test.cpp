// The window's search with one thread and with workers on random trees: the same rows, records,
// status and history entry; Esc at any moment keeps the rows found before it, in walk order; a
// folder that does not answer holds up neither the window nor Esc.
#include <QDirIterator>
#include <algorithm>
#include <map>
#include <random>
#include <thread>

#include "search/dir_listing.h"

#include "search/result_history.h"
#include "window_test_support.h"

using tarn::ui::TFormTarnMain;
using namespace tarn::ui::testing;

namespace {

struct RunResult {
  std::vector<std::string> rows, infos;
  QString status;  // without the elapsed time
  std::map<QString, QByteArray> history;
  bool entry_holds_rows = false;  // the history entry holds exactly the rows and records shown
  int row = 0;                    // the view's caret at the end
  bool operator==(const RunResult&) const = default;
};

void MakeRandomTree(const QString& root, std::mt19937& rng, int files) {
  static const char* const kLines[] = {"東京タワー", "大阪城と東京", "plain", "ｶﾀｶﾅ 大阪", "日本語", ""};
  static const char* const kEnds[] = {"\r\n", "\n", "\r"};
  for (int f = 0; f < files; ++f) {
    QString dir = root;
    for (auto depth = rng() % 4; depth > 0; --depth) dir += QString("/d%1").arg(rng() % 3);
    QDir().mkpath(dir);
    std::string body = rng() % 8 ? "" : std::string(1, '\0');  // no text
    for (auto n = rng() % 200; n > 0; --n) body += std::string(kLines[rng() % 6]) + kEnds[rng() % 3];
    WriteCp932(dir + QString("/f%1.%2").arg(f).arg(rng() % 6 ? "txt" : "dat"), body);
  }
}

// Runs the search in a new window; during runs at the pumps.
RunResult Search(int workers, const QString& tree, const std::function<void(TFormTarnMain&)>& during = {}) {
  QTemporaryDir data;
  WriteCp932(data.path() + "/tarn.ini", "[FindResult]\r\nWorkerThreads=" + std::to_string(workers) + "\r\n");
  auto w = OpenWindow(data.path());
  // A walk slow enough that rows come in while it goes on, however the machine is loaded.
  if (during)
    w->SearchRun1().FindFile1().DirectoryOpener = [](int at_fd, const char* name) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      return tarn::search::OpenDirectory(at_fd, name);
    };
  Request(*w, QStringLiteral("東京|大阪"), tree, QStringLiteral("*.txt"));
  MessageBoxAnswerer answerer;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, w.get(), [&] { during(*w); });
  if (during) poll.start(1);
  QTest::keyClick(w.get(), Qt::Key_F3);
  poll.stop();
  RunResult r;
  r.infos = w->ResultLineInfos();
  r.status = w->StatusText().section(QStringLiteral("(Elapsed"), 0, 0);
  r.row = w->KoEditorResult().Row();
  for (int i = 0; i < w->KoEditorResult().Lines.Count(); ++i) r.rows.emplace_back(w->KoEditorResult().Lines.Get(i));
  for (QDirIterator it(data.path() + "/Tmp", QDir::Files); it.hasNext();) {
    QFile file(it.next());
    if (file.open(QIODevice::ReadOnly)) r.history[it.fileName()] = file.readAll();
  }
  const auto entry = tarn::search::LoadResultHistory((data.path() + "/Tmp").toStdString(), 1);
  // Nothing but the entry's three files: no temporary file stays after an end or a stop.
  const QStringList files = QDir(data.path() + "/Tmp").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
  r.entry_holds_rows = entry.ResultLines == r.rows && entry.ResultLineInfos == r.infos &&
                       files == QStringList{"GerpList.1", "ParamList.1", "ResultList.1"};
  return r;
}

}  // namespace

class WindowWorkersTest : public QObject {
  Q_OBJECT

 private slots:
  void workersListWhatOneThreadLists() {
    for (unsigned seed = 1; seed <= 4; ++seed) {
      QTemporaryDir tree;
      std::mt19937 rng(seed);
      MakeRandomTree(tree.path(), rng, 40);
      const RunResult one = Search(1, tree.path());
      QVERIFY(!one.rows.empty() && one.entry_holds_rows);
      QVERIFY(Search(4, tree.path()) == one);
    }
  }

  // The user also moves to a row while rows come in: the view stays on it.
  void escapeKeepsTheRowsFoundBeforeIt() {
    QTemporaryDir tree;
    std::mt19937 rng(99);
    // Enough files that the run spans several pumps: rows show while it goes on.
    MakeRandomTree(tree.path(), rng, 3000);
    const RunResult all = Search(1, tree.path());
    for (int stop = 0; stop < 5; ++stop) {
      const int at = 10 + static_cast<int>(rng() % (all.rows.size() - 10));
      QString progress;
      const RunResult got = Search(4, tree.path(), [&](TFormTarnMain& w) {
        tarn::editor::TKoEditor& view = w.KoEditorResult();
        if (progress.isEmpty() && view.Lines.Count() >= 10) {
          progress = w.StatusText();
          for (int i = 0; i < 3; ++i) QTest::keyClick(&view, Qt::Key_Down);
        }
        if (w.Busy() && view.Lines.Count() >= at) QTest::keyClick(&w, Qt::Key_Escape);
      });
      const auto n = static_cast<std::ptrdiff_t>(got.rows.size());
      QVERIFY(got.rows.size() <= all.rows.size() && std::equal(got.rows.begin(), got.rows.end(), all.rows.begin()));
      QVERIFY(std::equal(got.infos.begin(), got.infos.end(), all.infos.begin()) && std::ssize(got.infos) == n);
      QVERIFY2(got.status.startsWith(QStringLiteral(" %1個").arg(n)), qPrintable(got.status));
      QVERIFY(got.entry_holds_rows);
      QVERIFY2(progress.contains(QStringLiteral("ファイル")), qPrintable(progress));
      QCOMPARE(got.row, 3);
    }
  }

  void aFolderThatDoesNotAnswerHoldsUpNeitherTheWindowNorEscape() {
    QTemporaryDir tree, data;
    WriteCp932(tree.path() + "/a.txt", "東京\n大阪\n");
    QVERIFY(QDir().mkpath(tree.path() + QStringLiteral("/応答なし")));
    WriteCp932(tree.path() + QStringLiteral("/応答なし/b.txt"), "東京\n");
    auto gate = std::make_shared<Gate>();
    auto w = OpenWindow(data.path());
    w->SearchRun1().FindFile1().DirectoryOpener = [gate](int at_fd, const char* name) {
      if (QByteArray(name).endsWith("応答なし")) gate->Pass();
      return tarn::search::OpenDirectory(at_fd, name);
    };
    Request(*w, QStringLiteral("東京|大阪"), tree.path(), QStringLiteral("*.txt"));
    MessageBoxAnswerer answerer;
    int ticks = 0;
    QString waiting;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, w.get(), [&] {
      ticks += gate->Waiting();  // the window's events run while the folder has not answered
      if (!waiting.isEmpty() || !w->StatusText().contains(QStringLiteral("応答を待っています"))) return;
      waiting = w->StatusText();
      Screenshot(*w, "search-waiting-for-a-folder");
      QTest::keyClick(w.get(), Qt::Key_Escape);
    });
    timer.start(5);
    QTest::keyClick(w.get(), Qt::Key_F3);
    timer.stop();
    QVERIFY2(waiting.contains(tree.path() + QStringLiteral("/応答なし")), qPrintable(waiting));
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    // The run ended while the folder still had not answered.
    QCOMPARE(gate->Waiting(), 1);
    QCOMPARE(w->Busy(), 0);
    QVERIFY2(w->StatusText().startsWith(QStringLiteral(" 2個")), qPrintable(w->StatusText()));
    QCOMPARE(w->KoEditorResult().Lines.Count(), 2);
    const auto entry = tarn::search::LoadResultHistory((data.path() + "/Tmp").toStdString(), 1);
    QCOMPARE(entry.ResultLineInfos, w->ResultLineInfos());
    QCOMPARE(static_cast<int>(entry.ResultLines.size()), 2);

    // Let go, the walk ends on its own; the window searches again, the folder answering now.
    gate->Release();
    QTRY_COMPARE(gate->Waiting(), 0);
    Reactivate(*w);
    QTest::keyClick(w.get(), Qt::Key_F3);
    QVERIFY2(w->KoEditorResult().Lines.Count() == 3, qPrintable(w->StatusText()));
  }
};

QTEST_MAIN(WindowWorkersTest)
#include "window_workers_test.moc"

// The window's search with one thread and with workers, as a user runs it: the same rows,
// records, status text and history entry on random trees, and Esc at any moment keeps the rows
// found before it, in walk order, in the view and in the history entry alike.
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "search/result_history.h"
#include "ui/fr_tarn_main.h"

#include "window_test_support.h"

using tarn::ui::TFormTarnMain;
using namespace tarn::ui::testing;

namespace {

struct RunResult {
  std::vector<std::string> rows;
  std::vector<std::string> infos;
  QString status;  // without the elapsed time
  std::map<QString, QByteArray> history;  // the files of the data folder's Tmp
};

// Folders three deep, text files with hits on some lines and every kind of line end, files the
// mask leaves out and files that are no text.
void MakeRandomTree(const QString& root, std::mt19937& rng, int files) {
  static const char* const kLines[] = {"東京タワー", "大阪城と東京", "plain ascii", "ｶﾀｶﾅ 大阪", "日本語のテキスト", ""};
  static const char* const kEnds[] = {"\r\n", "\n", "\r"};
  for (int f = 0; f < files; ++f) {
    QString dir = root;
    for (int depth = static_cast<int>(rng() % 4); depth > 0; --depth) dir += QString("/d%1").arg(rng() % 3);
    QDir().mkpath(dir);
    const bool text = rng() % 8 != 0;
    const QString name = dir + QString("/f%1.%2").arg(f).arg(rng() % 6 == 0 ? "dat" : "txt");
    std::string body;
    for (int n = static_cast<int>(rng() % 200); n > 0; --n)
      body += std::string(kLines[rng() % std::size(kLines)]) + kEnds[rng() % std::size(kEnds)];
    if (!text) body.insert(0, std::string("\0", 1));
    WriteCp932(name, body);
  }
}

std::unique_ptr<TFormTarnMain> OpenWith(const QTemporaryDir& data, int workers) {
  WriteCp932(data.path() + "/tarn.ini",
             "[FindResult]\r\nShowRealtime=1\r\nWorkerThreads=" + std::to_string(workers) + "\r\n");
  return OpenWindow(data.path());
}

RunResult Result(TFormTarnMain& w, const QTemporaryDir& data) {
  RunResult r;
  const tarn::editor::TKoEditor& view = w.KoEditorResult();
  for (int i = 0; i < view.Lines.Count(); ++i) r.rows.emplace_back(view.Lines.Get(i));
  r.infos = w.ResultLineInfos();
  r.status = w.StatusText().section(QStringLiteral("(Elapsed"), 0, 0);
  for (QDirIterator it(data.path() + "/Tmp", QDir::Files); it.hasNext();) {
    QFile file(it.next());
    if (file.open(QIODevice::ReadOnly)) r.history[it.fileName()] = file.readAll();
  }
  return r;
}

RunResult Search(int workers, const QString& tree) {
  QTemporaryDir data;
  auto w = OpenWith(data, workers);
  if (!w) return {};
  Request(*w, QStringLiteral("東京|大阪"), tree, QStringLiteral("*.txt"));
  QTest::keyClick(w.get(), Qt::Key_F3);
  return Result(*w, data);
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
      const RunResult four = Search(4, tree.path());
      QVERIFY2(!one.rows.empty() && !one.history.empty(), qPrintable(QString::number(seed)));
      QVERIFY(four.rows == one.rows);
      QVERIFY(four.infos == one.infos);
      QCOMPARE(four.status, one.status);
      QVERIFY(four.history == one.history);
    }
  }

  void escapeKeepsTheRowsFoundBeforeIt() {
    QTemporaryDir tree;
    std::mt19937 rng(99);
    MakeRandomTree(tree.path(), rng, 600);
    const RunResult all = Search(1, tree.path());
    QVERIFY(all.rows.size() > 2000);
    for (int stop = 0; stop < 5; ++stop) {
      QTemporaryDir data;
      auto w = OpenWith(data, 4);
      QVERIFY(w);
      Request(*w, QStringLiteral("東京|大阪"), tree.path(), QStringLiteral("*.txt"));
      tarn::editor::TKoEditor& view = w->KoEditorResult();
      const int at = 10 + static_cast<int>(rng() % (all.rows.size() - 10));
      bool moved = false;
      bool escaped = false;
      QString progress;
      MessageBoxAnswerer answerer;
      QTimer poll;
      poll.setInterval(1);
      QObject::connect(&poll, &QTimer::timeout, w.get(), [&] {
        if (!moved && view.Lines.Count() >= 10) {
          // The user looks at a row while more come in.
          moved = true;
          progress = w->StatusText();
          view.setFocus();
          for (int i = 0; i < 3; ++i) QTest::keyClick(&view, Qt::Key_Down);
        }
        if (!escaped && view.Lines.Count() >= at) {
          escaped = true;
          QTest::keyClick(w.get(), Qt::Key_Escape);
        }
      });
      poll.start();
      QTest::keyClick(w.get(), Qt::Key_F3);
      poll.stop();
      const RunResult got = Result(*w, data);
      const auto n = static_cast<std::ptrdiff_t>(got.rows.size());
      QVERIFY2(got.rows.size() <= all.rows.size() && std::equal(got.rows.begin(), got.rows.end(), all.rows.begin()),
               qPrintable(QString("stop at %1: %2 rows").arg(at).arg(n)));
      QVERIFY(got.infos == std::vector<std::string>(all.infos.begin(), all.infos.begin() + n));
      QVERIFY2(got.status.startsWith(QStringLiteral(" %1個").arg(n)), qPrintable(got.status));
      // The entry holds exactly the rows the view shows.
      const auto entry = tarn::search::LoadResultHistory((data.path() + "/Tmp").toStdString(), 1);
      QVERIFY(entry.ResultLines == got.rows);
      QVERIFY(entry.ResultLineInfos == got.infos);
      QVERIFY(moved);
      QVERIFY2(progress.contains(QStringLiteral("ファイル")), qPrintable(progress));
      QCOMPARE(view.Row(), 3);
    }
  }
};

QTEST_MAIN(WindowWorkersTest)
#include "window_workers_test.moc"

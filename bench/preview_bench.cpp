// The preview pane following the selection in the main window: the time from a caret move in the
// result view to the pane painted with the row's file, over rows spread through the Q4 result on
// big/edict.txt (its first and last row included) and a result over the manual-page tree; the
// same rows once more from the result history (no offsets: the file's lines are counted), and the
// last row of the big file read cold without an offset by the reading module alone.
//
// usage: preview_bench [--corpus DIR] [--rows N] [--shot FILE]
//
// The figures include the pane's deliberate rest of 15 ms after a caret move, which lets a held
// arrow key pass over rows without reading them. QT_QPA_PLATFORM defaults to offscreen.
#include <QApplication>
#include <QCheckBox>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/comma_text.h"
#include "core/system_text.h"
#include "search/preview_text.h"
#include "settings/data_locations.h"
#include "ui/fr_tarn_main.h"
#include "ui/ko_flat_combo_box.h"
#include "ui/preview_pane.h"

namespace {

using Clock = std::chrono::steady_clock;
using tarn::ui::TFormTarnMain;

double MsSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "preview_bench: %s\n", why.c_str());
  std::exit(2);
}

void Search(TFormTarnMain& w, const char* find, const std::string& dir, const char* mask, bool sub) {
  auto box = [&w](const char* name) {
    auto* b = w.findChild<tarn::ui::TKoFlatComboBox*>(QLatin1String(name));
    if (b == nullptr) Fail(std::string("no box ") + name);
    return b;
  };
  box("KoFlatComboBoxFindString")->setEditText(QString::fromUtf8(find));
  box("KoFlatComboBoxFindDirectory")->setEditText(QString::fromStdString(dir));
  box("KoFlatComboBoxFindFileMask")->setEditText(QString::fromUtf8(mask));
  w.findChild<QCheckBox*>(QStringLiteral("FlatCheckBoxFindSubDirectory"))->setChecked(sub);
  QTest::keyClick(&w, Qt::Key_F3);
  if (w.KoEditorResult().Lines.Count() == 0) Fail(std::string("no rows for ") + find);
}

// Rows 0 and last and `count` more spread evenly between them.
std::vector<int> Sample(int rows, int count) {
  std::vector<int> at{0};
  for (int i = 1; i <= count; ++i) at.push_back(static_cast<int>(static_cast<long long>(rows - 1) * i / (count + 1)));
  at.push_back(rows - 1);
  return at;
}

// The caret moved to each row in turn; until the pane shows that row's file and has painted it.
std::vector<double> Follow(TFormTarnMain& w, const std::vector<int>& rows) {
  tarn::editor::TKoEditor& view = w.KoEditorResult();
  tarn::ui::TPreviewPane& pane = w.PreviewPane();
  view.setFocus();
  // The caret elsewhere first: the pane may show the first row already.
  view.SetRowCol(rows.size() > 1 ? rows[1] : 0, 0);
  QTest::qWait(100);
  std::vector<double> ms;
  for (const int row : rows) {
    pane.Clear();
    QCoreApplication::processEvents();
    const auto t0 = Clock::now();
    view.SetRowCol(row, 0);
    while ((pane.HitRow() < 0 && pane.Message().isEmpty()) || pane.Loading()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      if (MsSince(t0) > 60000) Fail("the pane did not follow row " + std::to_string(row));
    }
    pane.Editor().viewport()->repaint();
    ms.push_back(MsSince(t0));
    if (!pane.Message().isEmpty()) Fail("row " + std::to_string(row) + ": " + pane.Message().toStdString());
  }
  return ms;
}

void Report(const char* what, const std::vector<double>& ms) {
  std::printf("| %s | %zu | %.1f ms | %.1f ms | %.1f ms | %.1f ms |\n", what, ms.size(), Median(ms), ms.front(), ms.back(),
              *std::max_element(ms.begin(), ms.end()));
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::string corpus = "/tmp/cp932corpus";
  int count = 199;
  std::string shot;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--corpus") corpus = argv[i + 1];
    else if (key == "--rows") count = std::atoi(argv[i + 1]);
    else if (key == "--shot") shot = argv[i + 1];
    else Fail("usage: preview_bench [--corpus DIR] [--rows N] [--shot FILE]");
  }
  const std::string big = corpus + "/big/edict.txt";
  if (!std::filesystem::is_regular_file(big)) Fail(big + " is missing");
  QApplication app(argc, argv);
  QTemporaryDir data;
  auto w = std::make_unique<TFormTarnMain>(tarn::settings::DataLocations::InDirectory(data.path().toStdString()),
                                           std::vector<std::string>{});
  w->resize(1280, 800);
  w->show();
  if (!QTest::qWaitForWindowActive(w.get())) Fail("the window did not become active");
  double load[3] = {};
  getloadavg(load, 3);
  std::printf("load average %.2f %.2f %.2f; %d rows spread over each result, first and last included\n\n", load[0],
              load[1], load[2], count);
  std::printf("| result | rows | median | first row | last row | slowest |\n|---|---|---|---|---|---|\n");

  Search(*w, "[ァ-ヶ]+ー", corpus + "/big", "edict.txt", false);
  const int q4Rows = w->KoEditorResult().Lines.Count();
  const std::vector<int> q4 = Sample(q4Rows, count);
  Report("Q4 on big/edict.txt, rows of the run", Follow(*w, q4));
  const std::string lastRow(w->KoEditorResult().Lines.Get(q4Rows - 1));
  const std::string lastInfo = w->ResultLineInfos().back();

  Search(*w, "ファイル", corpus + "/tree", "*.*", true);
  const int treeRows = w->KoEditorResult().Lines.Count();
  Report("ファイル on the manual-page tree, rows of the run", Follow(*w, Sample(treeRows, count)));
  if (!shot.empty()) {
    w->KoEditorResult().SetRowCol(treeRows / 2, 0);
    QTest::qWait(100);
    w->grab().save(QString::fromStdString(shot));
  }

  // The Q4 result again from the history: its rows know no offsets.
  QTest::keyClick(&w->KoEditorResult(), Qt::Key_Left, Qt::ControlModifier);
  if (w->KoEditorResult().Lines.Count() != q4Rows) Fail("the history did not give the Q4 result back");
  Report("Q4 from the history, rows in order", Follow(*w, q4));

  std::vector<double> cold;
  for (int i = 0; i < 3; ++i) {
    tarn::search::TPreviewReader reader;
    const auto t0 = Clock::now();
    const tarn::search::TRowPreview preview = tarn::search::PreviewRow(reader, lastRow, lastInfo, -1);
    cold.push_back(MsSince(t0));
    if (preview.Text.Problem != tarn::search::TPreviewProblem::kNone) Fail("the last row cannot be read");
  }
  std::printf("\nlast Q4 row without offset, first read of the file (reading module alone): median %.1f ms of 3\n",
              Median(cold));
  w->close();
  return 0;
}

// The control's text model, row layout and undo list, without a widget.
#include <QTest>
#include <random>
#include <sstream>

#include "core/sjis.h"
#include "editor/editor_lines.h"
#include "editor/row_layout.h"
#include "editor/undo_list.h"

using namespace tarn::editor;

namespace {

const std::string kA = "\x82\xa0";  // あ

std::string Load(TEditorLines& lines, const std::string& bytes, std::size_t block) {
  std::istringstream in(bytes);
  lines.LoadFromStream(in, block);
  return lines.Text();
}

}  // namespace

class EditorLinesTest : public QObject {
  Q_OBJECT

 private slots:
  void LoadsEveryBreakKindAtEveryBlockSize() {
    const std::string file = "one\r\ntwo\rthree\nfour\r\n\r\nsix";
    for (std::size_t block : {1u, 2u, 3u, 4u, 5u, 7u, 65536u}) {
      TEditorLines lines;
      Load(lines, file, block);
      QCOMPARE(lines.Count(), 6);
      QCOMPARE(std::string(lines.Get(0)), std::string("one"));
      QCOMPARE(std::string(lines.Get(2)), std::string("three"));
      QCOMPARE(std::string(lines.Get(4)), std::string());
      QCOMPARE(std::string(lines.Get(5)), std::string("six"));
      QVERIFY(lines.EndType(4) == TLineEnd::le_Break);
      QVERIFY(lines.EndType(5) == TLineEnd::le_Eof);
    }
  }

  void CrAtBlockEndAndLfAtNextStartAreOneBreak() {
    TEditorLines lines;
    Load(lines, "ab\r\ncd", 3);  // blocks "ab\r" and "\ncd"
    QCOMPARE(lines.Count(), 2);
    QCOMPARE(lines.Text(), std::string("ab\r\ncd"));
  }

  // A 0x1A is text, also at the end of a block; only one that is the file's last byte is dropped.
  void KeepsEveryByteButAFinalEndMark() {
    TEditorLines lines;
    for (std::size_t block : {1u, 4u, 16u}) {
      QCOMPARE(Load(lines, "abc\r\nde\x1a" "fg\r\n\x1a\x1a", block), std::string("abc\r\nde\x1a" "fg\r\n\x1a"));
      QCOMPARE(Load(lines, "ab\x1a", block), std::string("ab"));
    }
  }

  void SavesLastLineBreakOnlyWhenLoadedWithOne() {
    TEditorLines lines;
    QCOMPARE(Load(lines, "a\r\nb", 16), std::string("a\r\nb"));
    QCOMPARE(Load(lines, "a\r\nb\r\n", 16), std::string("a\r\nb\r\n"));
    QCOMPARE(Load(lines, "a\nb\r", 16), std::string("a\r\nb\r\n"));
    QCOMPARE(lines.RowCount(), 3);  // the caret may stand on the row after a final break
  }

  void FileRoundTrip() {
    const auto dir = std::filesystem::temp_directory_path() / ("tarn_editor_lines_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto path = dir / "text.txt";
    TEditorLines lines;
    lines.Add("x" + kA);
    lines.Add("y");
    lines.SaveToFile(path);
    TEditorLines back;
    back.LoadFromFile(path);
    QCOMPARE(back.Text(), std::string("x" + kA + "\r\ny"));
    std::filesystem::remove_all(dir);
    QVERIFY_THROWS_EXCEPTION(std::system_error, back.LoadFromFile(dir / "missing.txt"));
  }

  void StringListOperationsKeepTheLastEndType() {
    TEditorLines lines;
    lines.Add("a");
    lines.Add("bc");
    lines.Add("d");
    QCOMPARE(lines.TextLength(), std::int64_t(8));  // 1 + 2 + 2 + 2 + 1
    lines.Insert(0, "z");
    lines.Delete(3);
    QCOMPARE(lines.Text(), std::string("z\r\na\r\nbc"));
    lines.Put(2, "BC");
    QCOMPARE(std::string(lines.Get(2)), std::string("BC"));
    QCOMPARE(std::string(lines.Get(9)), std::string());
    lines.Clear();
    QCOMPARE(lines.RowCount(), 1);
  }

  void NestedBulkUpdateReportsOnceAtTheEnd() {
    TEditorLines lines;
    int changes = 0;
    lines.OnChanged = [&](TEditorLines::TChange) { ++changes; };
    lines.BeginUpdate();
    lines.BeginUpdate();
    lines.Add("a");
    lines.EndUpdate();
    lines.Add("b");
    QCOMPARE(changes, 0);
    lines.EndUpdate();
    QCOMPARE(changes, 1);
    lines.EndUpdate();  // unbalanced: ignored
    QCOMPARE(changes, 1);
  }

  void OffsetsCountBreaksAsTwo() {
    TEditorLines lines;
    lines.SetText("ab\r\n" + kA + "c");
    QCOMPARE(lines.OffsetOf({1, 0}), std::int64_t(4));
    QCOMPARE(lines.OffsetOf({1, 3}), std::int64_t(7));
    QVERIFY((lines.PosOf(3) == TEditorPos{0, 2}));
    QVERIFY((lines.PosOf(3, true) == TEditorPos{1, 0}));
    QVERIFY((lines.PosOf(5) == TEditorPos{1, 0}));  // inside あ: back to its start
    QVERIFY((lines.PosOf(5, true) == TEditorPos{1, 2}));
    QVERIFY((lines.PosOf(99) == TEditorPos{1, 3}));
  }

  void OffsetsFromEitherEndAgreeWithAWalkFromTheStart() {
    // Places near the end are counted back from the text's length, which is kept between
    // changes: after every change each place and offset must come out as a plain walk gives it.
    auto check = [](const TEditorLines& lines) {
      std::vector<std::int64_t> starts;
      std::int64_t total = 0;
      for (int r = 0; r < lines.Count(); ++r) {
        starts.push_back(total);
        total += static_cast<std::int64_t>(lines.Get(r).size()) + lines.EndLength(r);
      }
      starts.push_back(total);
      QCOMPARE(lines.TextLength(), total);
      for (int r = 0; r < lines.RowCount(); ++r) {
        for (int b = 0; b <= static_cast<int>(lines.Get(r).size()); ++b) {
          QCOMPARE(lines.OffsetOf({r, b}), starts[r] + b);
        }
      }
      for (std::int64_t o = -1; o <= total + 1; ++o) {
        for (const bool up : {false, true}) {
          TEditorPos want = lines.EndPos();
          for (int r = 0; r < lines.Count(); ++r) {
            const std::string_view s = lines.Get(r);
            const std::int64_t at = std::max<std::int64_t>(0, o) - starts[r];
            if (at <= static_cast<std::int64_t>(s.size())) {
              auto b = static_cast<std::size_t>(at);
              if (b < s.size() && !tarn::IsCharBoundary(s, b)) b = up ? b + 1 : b - 1;
              want = {r, static_cast<int>(b)};
              break;
            }
            if (o < starts[r + 1]) {
              want = up ? TEditorPos{r + 1, 0} : TEditorPos{r, static_cast<int>(s.size())};
              break;
            }
          }
          QVERIFY((lines.PosOf(o, up) == want));
        }
      }
    };
    std::mt19937 rng(3);
    const std::string pieces[] = {"a", kA, "\r\n", "\t"};
    auto text = [&] {
      std::string s;
      for (unsigned n = rng() % 10; n > 0; --n) s += pieces[rng() % 4];
      return s;
    };
    TEditorLines lines;
    for (int round = 0; round < 60; ++round) {
      switch (rng() % 4) {
        case 0:
          lines.SetText(text());
          break;
        case 1:
          lines.Add(text());
          break;
        case 2:
          lines.Delete(static_cast<int>(rng() % 3));
          break;
        case 3:
          lines.Replace(lines.PosOf(rng() % 8), lines.EndPos(), text());
          break;
      }
      check(lines);
      if (QTest::currentTestFailed()) return;
    }
  }

  void ReplaceAcrossLinesAndUndo() {
    TEditorLines lines;
    lines.SetText("one\r\ntwo\r\nthree");
    TEditorUndoList undo;
    TUndoStep step;
    step.CaretBefore = {0, 1};
    const TEditorPos a{0, 1}, b{2, 2};
    step.Edits.push_back({a, lines.TextRange(a, b), "X\r\nY"});
    QVERIFY((lines.Replace(a, b, "X\r\nY") == TEditorPos{1, 1}));
    QCOMPARE(lines.Text(), std::string("oX\r\nYree"));
    undo.Push(std::move(step), 10);
    undo.Undo(lines);
    QCOMPARE(lines.Text(), std::string("one\r\ntwo\r\nthree"));
    undo.Redo(lines);
    QCOMPARE(lines.Text(), std::string("oX\r\nYree"));
  }

  void TypingOnTheRowAfterAFinalBreak() {
    TEditorLines lines;
    lines.SetText("a\r\n");
    lines.Replace({1, 0}, {1, 0}, "b");
    QCOMPARE(lines.Text(), std::string("a\r\nb"));
    lines.Replace({1, 0}, {1, 1}, "");
    QCOMPARE(lines.Text(), std::string("a\r\n"));
    QCOMPARE(lines.RowCount(), 2);
    // Everything, up to that row, replaced (select all and type).
    lines.Replace({0, 0}, lines.EndPos(), "z");
    QCOMPARE(lines.Text(), std::string("z"));
    QCOMPARE(lines.Count(), 1);
  }

  void UndoListKeepsAtMostMaxSteps() {
    TEditorLines lines;
    TEditorUndoList undo;
    for (int i = 0; i < 5; ++i) {
      const TEditorPos at = lines.EndPos();
      lines.Replace(at, at, "x");
      undo.Push({{{at, "", "x"}}, at, {}}, 3);
    }
    QCOMPARE(undo.UndoCount(), 3);
    while (undo.CanUndo()) undo.Undo(lines);
    QCOMPARE(lines.Text(), std::string("xx"));
  }

  void RandomEditsUndoBackToTheStart() {
    // Edits at random places with random texts (breaks of every kind, double-byte characters),
    // then undone and redone as a whole: the text must come back byte for byte each way.
    std::mt19937 rng(7);
    const std::vector<std::string> pieces = {"", "a", kA, "\r\n", "\n", "\r", "xy" + kA + "\r\nz", "\t"};
    TEditorLines lines;
    lines.SetText("one\r\n" + kA + "two\r\n\r\nthree");
    const std::string start = lines.Text();
    TEditorUndoList undo;
    std::vector<std::string> texts{start};
    for (int i = 0; i < 300; ++i) {
      auto pick = [&] {
        const int row = static_cast<int>(rng() % static_cast<unsigned>(lines.RowCount()));
        const auto len = static_cast<unsigned>(lines.Get(row).size());
        return lines.PosOf(lines.OffsetOf({row, static_cast<int>(rng() % (len + 1))}));
      };
      TEditorPos a = pick(), b = pick();
      if (b < a) std::swap(a, b);
      const std::string& text = pieces[rng() % pieces.size()];
      TUndoStep step;
      step.Edits.push_back({a, lines.TextRange(a, b), text});
      lines.Replace(a, b, text);
      undo.Push(std::move(step), 1000);
      texts.push_back(lines.Text());
    }
    for (std::size_t i = texts.size() - 1; i > 0; --i) {
      QCOMPARE(lines.Text(), texts[i]);
      undo.Undo(lines);
    }
    QCOMPARE(lines.Text(), start);
    while (undo.CanRedo()) undo.Redo(lines);
    QCOMPARE(lines.Text(), texts.back());
  }

  void RowShowsAtMost1000Bytes() {
    QCOMPARE(VisibleLength(std::string(1200, 'a')), std::size_t(1000));
    std::string dbcs = std::string(999, 'a') + kA + "bbb";
    QCOMPARE(VisibleLength(dbcs), std::size_t(1001));
    QCOMPARE(ExpandTabs(dbcs, 8).size(), std::size_t(1001));
    // A lead byte earlier in the row shifts where byte 1000 falls.
    std::string shifted = kA + std::string(997, 'a') + kA + "b";
    QCOMPARE(VisibleLength(shifted), std::size_t(1001));
    QCOMPARE(VisibleLength(std::string(998, 'a') + kA + kA), std::size_t(1000));
  }

  void TabsAndDoubleByteCells() {
    const std::string row = "a\tb" + kA + "\tc";
    QCOMPARE(CellOfByte(row, 2, 8), 8);   // b after the tab
    QCOMPARE(CellOfByte(row, 3, 8), 9);   // あ
    QCOMPARE(CellOfByte(row, 6, 8), 16);  // c
    QCOMPARE(RowCells(row, 8), 17);
    QCOMPARE(ByteOfCell(row, 10, 8), std::size_t(3));  // second half of あ
    QCOMPARE(SnapCol(row, 10, 8, false), 9);
    QCOMPARE(SnapCol(row, 4, 8, false), 1);  // inside the tab
    QCOMPARE(SnapCol(row, 4, 8, true), 4);
    QCOMPARE(CellOfByte(row, 10, 8), 20);  // beyond the end: one cell per byte
    QCOMPARE(ExpandTabs(row, 8), std::string("a       b" + kA + "     c"));
  }
};

QTEST_APPLESS_MAIN(EditorLinesTest)
#include "editor_lines_test.moc"

// TKoEditor as its three users drive it, under the offscreen platform.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <memory>
#include <random>

#include "core/encoding.h"
#include "editor/ko_editor.h"
#include "editor/row_layout.h"

using namespace tarn::editor;

namespace {

const std::string kA = "\x82\xa0";       // あ
const std::string kKan = "\x8a\xbf";     // 漢
const std::string kSquare = "\x81\xa1";  // ■
const std::string kWideSpace = "\x81\x40";

std::unique_ptr<TKoEditor> MakeEditor(int width = 420, int height = 260) {
  auto ed = std::make_unique<TKoEditor>();
  ed->resize(width, height);
  ed->show();
  if (!QTest::qWaitForWindowExposed(ed.get())) return nullptr;
  return ed;
}

void AddLines(TKoEditor& ed, std::initializer_list<std::string> lines) {
  for (const auto& s : lines) ed.Lines.Add(s);
}

QPoint CellPoint(const TKoEditor& ed, int row, int col) {
  return {ed.TextLeft() - ed.LeftScrollWidth() + col * ed.ColWidth() + 1,
          ed.TextTop() + (row - ed.TopRow()) * ed.RowHeight() + ed.RowHeight() / 2};
}

void Wheel(TKoEditor& ed, int notches) {
  const QPointF at(20, 20);
  QWheelEvent e(at, ed.viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(ed.viewport(), &e);
}

void Commit(TKoEditor& ed, const QString& commit, const QString& preedit = {}) {
  QInputMethodEvent e(preedit, {});
  e.setCommitString(commit);
  QApplication::sendEvent(&ed, &e);
}

// Columns of the image that hold pixels darker than mid-grey, within the rows [top, bottom).
std::vector<int> InkColumns(const QImage& img, int top, int bottom, int left, int right) {
  std::vector<int> cols;
  for (int x = std::max(0, left); x < std::min(img.width(), right); ++x) {
    for (int y = top; y < bottom; ++y) {
      if (qGray(img.pixel(x, y)) < 128) {
        cols.push_back(x);
        break;
      }
    }
  }
  return cols;
}

void SaveScreenshot(TKoEditor& ed, const QString& name) {
  const QByteArray dir = qgetenv("TARN_SCREENSHOT_DIR");
  if (dir.isEmpty()) return;
  QDir().mkpath(QString::fromLocal8Bit(dir));
  const QImage img = ed.grab().toImage();
  QVERIFY(img.save(QDir(QString::fromLocal8Bit(dir)).filePath(name + ".png")));
  // Magnified, so that every glyph can be checked against its cells by eye.
  const QImage big = img.scaled(img.size() * 3, Qt::IgnoreAspectRatio, Qt::FastTransformation);
  QVERIFY(big.save(QDir(QString::fromLocal8Bit(dir)).filePath(name + "_x3.png")));
}

struct DrawCall {
  int Index;
  QRect Rect;
  bool Selected;
  int X;
};

void RecordDrawCalls(TKoEditor& ed, std::vector<DrawCall>& calls) {
  ed.OnDrawLine = [&calls](TKoEditor&, const std::string&, int x, int, int index, const QRect& rect, bool selected) {
    calls.push_back({index, rect, selected, x});
  };
}

// The rectangle of the cells [col, col + cols) of a row.
QRect CellsRect(const TKoEditor& ed, int row, int col, int cols) {
  return {ed.TextLeft() + col * ed.ColWidth(), ed.TextTop() + (row - ed.TopRow()) * ed.RowHeight(),
          cols * ed.ColWidth(), ed.RowHeight()};
}

}  // namespace

class KoEditorTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QApplication::clipboard()->clear(); }

  void SelectAllCountsLineBreaksAsTwo() {
    auto ed = MakeEditor();
    AddLines(*ed, {"a", "bc", "d"});
    ed->SelectAll();
    QVERIFY(ed->Selected());
    QCOMPARE(ed->SelStart(), std::int64_t(0));
    QCOMPARE(ed->SelLength(), std::int64_t(8));
    QCOMPARE(ed->SelText(), std::string("a\r\nbc\r\nd"));
    QCOMPARE(ed->Row(), 2);
    QCOMPARE(ed->Col(), 1);
    ed->Lines.Add("e");  // the program appending drops the selection
    QVERIFY(!ed->Selected());
  }

  void SelStartAndSelLengthMoveTheCaret() {
    auto ed = MakeEditor();
    AddLines(*ed, {"ab", kA + "c", "d"});
    ed->SetSelStart(4);
    QCOMPARE(ed->Row(), 1);
    QCOMPARE(ed->Col(), 0);
    ed->SetSelLength(3);  // あ and c
    QCOMPARE(ed->SelText(), kA + "c");
    QCOMPARE(ed->Col(), 3);
    ed->SetRowCol(0, 1);  // the caret moves, the selection stays
    QCOMPARE(ed->SelLength(), std::int64_t(3));
    ed->SetSelLength(100);  // stops at the end of the text
    QCOMPARE(ed->SelText(), std::string("b\r\n" + kA + "c\r\nd"));
  }

  void SetRowColClamps() {
    auto ed = MakeEditor();
    AddLines(*ed, {"a\t" + kA + "b", std::string(1200, 'x'), std::string(999, 'y') + kKan + "zz"});
    ed->SetRowCol(0, 9);  // second half of あ
    QCOMPARE(ed->Col(), 8);
    ed->SetRowCol(0, 4);  // inside the tab
    QCOMPARE(ed->Col(), 1);
    ed->Caret.InTab = true;
    ed->SetRowCol(0, 4);
    QCOMPARE(ed->Col(), 4);
    ed->SetRowCol(0, 50);
    QCOMPARE(ed->Col(), 11);
    ed->Caret.FreeCaret = true;
    ed->SetRowCol(0, 50);
    QCOMPARE(ed->Col(), 50);
    ed->SetRowCol(1, 5000);  // a row shows 1000 bytes, and the caret goes no further
    QCOMPARE(ed->Col(), 1000);
    ed->Caret.FreeCaret = false;
    ed->SetRowCol(2, 5000);  // byte 1000 starts 漢: 1001 bytes
    QCOMPARE(ed->Col(), 1001);
    ed->SetRowCol(99, 0);
    QCOMPARE(ed->Row(), 2);
    QCOMPARE(ed->RowString(1).size(), std::size_t(1200));
    QCOMPARE(ed->RowString(3), std::string());
    QCOMPARE(ed->RowString(-1), std::string());
  }

  void RowShowsItsFirst1000Bytes() {
    auto ed = MakeEditor(300, 120);
    ed->Color = Qt::white;
    ed->FontColor = Qt::black;
    AddLines(*ed, {std::string(1200, 'x'), std::string(999, 'y') + kKan + "zz", std::string(200, '\t') + "t"});
    ed->clearFocus();
    ed->SetTopCol(990);
    const QImage img = ed->grab().toImage();
    const QPoint origin = ed->viewport()->pos();
    const int cw = ed->ColWidth(), rh = ed->RowHeight();
    const int x0 = origin.x() + ed->TextLeft() - 990 * cw;
    auto inkIn = [&](int row, int fromCell, int toCell) {
      const int top = origin.y() + ed->TextTop() + row * rh;
      return !InkColumns(img, top, top + rh, x0 + fromCell * cw, x0 + toCell * cw).empty();
    };
    QVERIFY(inkIn(0, 990, 1000));
    QVERIFY(!inkIn(0, 1000, 1010));
    QVERIFY(inkIn(1, 999, 1001));  // byte 1000 starts 漢: its trail is shown too
    QVERIFY(!inkIn(1, 1001, 1010));
    ed->SetTopCol(1600);  // tabs expand beyond 1000 cells; the byte after them still shows
    const QImage tabs = ed->grab().toImage();
    const int top = origin.y() + ed->TextTop() + 2 * rh, tx = origin.x() + ed->TextLeft();
    QVERIFY(!InkColumns(tabs, top, top + rh, tx, tx + cw).empty());
  }

  void DoubleClickWithDblClkLineSelectsTheRow() {
    auto ed = MakeEditor();
    ed->DblClkLine = true;
    AddLines(*ed, {"first", "second", "", "last"});
    int calls = 0;
    bool selectedBefore = true;
    ed->OnDblClick = [&](TKoEditor& sender) {
      ++calls;
      selectedBefore = sender.Selected();
    };
    QTest::mouseDClick(ed->viewport(), Qt::LeftButton, {}, CellPoint(*ed, 1, 3));
    QCOMPARE(calls, 1);
    QVERIFY(!selectedBefore);
    QCOMPARE(ed->SelStart(), std::int64_t(7));
    QCOMPARE(ed->SelLength(), std::int64_t(8));  // "second" and its line break
    QCOMPARE(ed->Row(), 1);
    QCOMPARE(ed->Col(), 0);
    QTest::mouseDClick(ed->viewport(), Qt::LeftButton, {}, CellPoint(*ed, 3, 1));
    QCOMPARE(ed->SelText(), std::string("last"));  // the last row: up to the end of the text
    QCOMPARE(ed->Row(), 3);
    QCOMPARE(ed->Col(), 0);
    QTest::mouseDClick(ed->viewport(), Qt::LeftButton, {}, CellPoint(*ed, 2, 0));
    QVERIFY(!ed->Selected());  // an empty row: nothing to select
    QCOMPARE(ed->Row(), 2);
  }

  void DoubleClickWithoutDblClkLine() {
    auto ed = MakeEditor();
    AddLines(*ed, {"abc def" + kA + kA + "x"});
    QTest::mouseDClick(ed->viewport(), Qt::LeftButton, {}, CellPoint(*ed, 0, 5));
    QCOMPARE(ed->SelText(), std::string("def"));
    QTest::mouseDClick(ed->viewport(), Qt::LeftButton, {}, CellPoint(*ed, 0, 8));
    QCOMPARE(ed->SelText(), kA + kA);
    QTest::mouseDClick(ed->viewport(), Qt::LeftButton, Qt::ControlModifier, CellPoint(*ed, 0, 1));
    QCOMPARE(ed->SelText(), "abc def" + kA + kA + "x");
  }

  void TripleClickSelectsTheRow() {
    auto ed = MakeEditor();
    AddLines(*ed, {"one two", "three"});
    QTest::mouseClick(ed->viewport(), Qt::LeftButton, {}, CellPoint(*ed, 0, 5));
    QTest::mouseDClick(ed->viewport(), Qt::LeftButton, {}, CellPoint(*ed, 0, 5));
    QCOMPARE(ed->SelText(), std::string("two"));
    QTest::mousePress(ed->viewport(), Qt::LeftButton, {}, CellPoint(*ed, 0, 5));
    QTest::mouseRelease(ed->viewport(), Qt::LeftButton, {}, CellPoint(*ed, 0, 5));
    QCOMPARE(ed->SelText(), std::string("one two\r\n"));
    QCOMPARE(ed->Col(), 0);
  }

  void CaretMovedOnlyWithFocus() {
    auto ed = MakeEditor();
    AddLines(*ed, {"abc", "def"});
    int moves = 0;
    ed->OnCaretMoved = [&](TKoEditor&) { ++moves; };
    ed->clearFocus();
    ed->SetRowCol(1, 1);
    QCOMPARE(moves, 0);
    ed->setFocus();
    QTRY_VERIFY(ed->hasFocus());
    QTest::keyClick(ed.get(), Qt::Key_Up);
    QTest::keyClick(ed.get(), Qt::Key_End, Qt::ShiftModifier);
    QCOMPARE(moves, 2);
    QCOMPARE(ed->SelText(), std::string("bc"));
  }

  void MouseSelection() {
    auto ed = MakeEditor();
    AddLines(*ed, {"0123456789", "abcdefghij", "ABCDEFGHIJ"});
    QTest::mouseClick(ed->viewport(), Qt::LeftButton, {}, CellPoint(*ed, 0, 2));
    QCOMPARE(ed->Col(), 2);
    QTest::mouseClick(ed->viewport(), Qt::LeftButton, Qt::ShiftModifier, CellPoint(*ed, 1, 4));
    QCOMPARE(ed->SelText(), std::string("23456789\r\nabcd"));
    // The left margin selects whole rows.
    QTest::mouseClick(ed->viewport(), Qt::LeftButton, {}, QPoint(2, CellPoint(*ed, 1, 0).y()));
    QCOMPARE(ed->SelText(), std::string("abcdefghij\r\n"));
    // Alt+drag: a box.
    QTest::mousePress(ed->viewport(), Qt::LeftButton, Qt::AltModifier, CellPoint(*ed, 0, 1));
    QMouseEvent move(QEvent::MouseMove, CellPoint(*ed, 2, 3), ed->viewport()->mapToGlobal(CellPoint(*ed, 2, 3)),
                     Qt::NoButton, Qt::LeftButton, Qt::AltModifier);
    QApplication::sendEvent(ed->viewport(), &move);
    QTest::mouseRelease(ed->viewport(), Qt::LeftButton, Qt::AltModifier, CellPoint(*ed, 2, 3));
    QVERIFY(ed->BoxSelected());
    QVERIFY(!ed->Selected());
    QCOMPARE(ed->SelText(), std::string("12\r\nbc\r\nBC"));
  }

  void DraggingASelectionMovesItUnlessReadOnlyOrManual() {
    for (const int mode : {0, 1, 2}) {
      const bool readOnly = mode == 1;
      auto ed = MakeEditor();
      ed->ReadOnly = readOnly;
      if (mode == 2) ed->Caret.SelDragMode = TSelDragMode::dm_Manual;
      AddLines(*ed, {"abcdef"});
      ed->SetRowCol(0, 0);
      ed->SetSelLength(2);
      QTest::mousePress(ed->viewport(), Qt::LeftButton, {}, CellPoint(*ed, 0, 1));
      QMouseEvent move(QEvent::MouseMove, CellPoint(*ed, 0, 5), ed->viewport()->mapToGlobal(CellPoint(*ed, 0, 5)),
                       Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(ed->viewport(), &move);
      QTest::mouseRelease(ed->viewport(), Qt::LeftButton, {}, CellPoint(*ed, 0, 5));
      QCOMPARE(ed->RowString(0), std::string(mode == 0 ? "cdeabf" : "abcdef"));
      if (mode == 0) QCOMPARE(ed->SelText(), std::string("ab"));
    }
  }

  void ReadOnlyIgnoresTheUsersChanges() {
    auto ed = MakeEditor();
    ed->ReadOnly = true;
    AddLines(*ed, {"abc", kA});
    QApplication::clipboard()->setText(QStringLiteral("pasted"));
    ed->setFocus();
    ed->SetRowCol(0, 1);
    QTest::keyClicks(ed.get(), "xy");
    QTest::keyClick(ed.get(), Qt::Key_Delete);
    QTest::keyClick(ed.get(), Qt::Key_Backspace);
    QTest::keyClick(ed.get(), Qt::Key_Return);
    QTest::keyClick(ed.get(), Qt::Key_V, Qt::ControlModifier);
    Commit(*ed, QStringLiteral("漢字"));
    QTest::keyClick(ed.get(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(ed.get(), Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(ed.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(ed->Lines.Text(), std::string("abc\r\n" + kA));
    QVERIFY(ed->Selected());
    QTest::keyClick(ed.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("abc\r\nあ"));
    ed->Lines.Put(0, "program");  // the program's own calls still work
    ed->Lines.Delete(1);
    QCOMPARE(ed->Lines.Text(), std::string("program"));
  }

  void HandleCopyKeysFalseLeavesCopyAndSelectAllToActions_data() {
    QTest::addColumn<bool>("handle");
    QTest::addColumn<int>("actions");  // 0: none on the control, 1: enabled, 2: disabled
    QTest::addColumn<bool>("acts");
    QTest::newRow("the control's own keys") << true << 0 << true;
    QTest::newRow("left to no action") << false << 0 << false;
    QTest::newRow("enabled actions") << false << 1 << true;
    QTest::newRow("disabled actions swallow them") << false << 2 << false;
  }

  void HandleCopyKeysFalseLeavesCopyAndSelectAllToActions() {
    QFETCH(bool, handle);
    QFETCH(int, actions);
    QFETCH(bool, acts);
    auto ed = MakeEditor();
    ed->ReadOnly = true;
    ed->HandleCopyKeys = handle;
    AddLines(*ed, {"abc", "def"});
    QAction copy, selectAll;
    copy.setShortcut(QKeySequence::Copy);
    selectAll.setShortcut(QKeySequence::SelectAll);
    for (QAction* a : {&copy, &selectAll}) {
      a->setShortcutContext(Qt::WidgetShortcut);
      a->setEnabled(actions == 1);
      if (actions != 0) ed->addAction(a);
    }
    QObject::connect(&copy, &QAction::triggered, [&] { ed->CopyToClipboard(); });
    QObject::connect(&selectAll, &QAction::triggered, [&] { ed->SelectAll(); });
    ed->activateWindow();
    ed->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(ed.get()));
    QTRY_VERIFY(ed->hasFocus());

    ed->SetRowCol(0, 0);
    ed->SetSelLength(3);
    QTest::keyClick(ed.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text() == QStringLiteral("abc"), acts);
    ed->CleanSelection();
    QTest::keyClick(ed.get(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(ed->Selected(), acts);
    for (const Qt::Key key : {Qt::Key_C, Qt::Key_A}) {
      QKeyEvent over(QEvent::ShortcutOverride, key, Qt::ControlModifier);
      over.ignore();
      QApplication::sendEvent(ed.get(), &over);
      QVERIFY(!over.isAccepted());  // the control never keeps them from the window's shortcuts
    }
  }

  void DroppedTextIsInsertedUnlessReadOnly() {
    for (const bool readOnly : {false, true}) {
      auto ed = MakeEditor();
      ed->ReadOnly = readOnly;
      AddLines(*ed, {"abcd"});
      QMimeData mime;
      mime.setText(QStringLiteral("漢"));
      QDragEnterEvent enter(CellPoint(*ed, 0, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(ed->viewport(), &enter);
      QCOMPARE(enter.isAccepted(), !readOnly);
      QDropEvent drop(CellPoint(*ed, 0, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(ed->viewport(), &drop);
      QCOMPARE(ed->Lines.Text(), readOnly ? std::string("abcd") : "ab" + kKan + "cd");
    }
  }

  void TypingEnterAndUndo() {
    auto ed = MakeEditor();
    ed->setFocus();
    QTest::keyClicks(ed.get(), "ab");
    Commit(*ed, QStringLiteral("漢"));
    QTest::keyClick(ed.get(), Qt::Key_Return);
    QTest::keyClicks(ed.get(), "c");
    QCOMPARE(ed->Lines.Text(), std::string("ab" + kKan + "\r\nc"));
    QTest::keyClick(ed.get(), Qt::Key_Left);
    QTest::keyClick(ed.get(), Qt::Key_Left);
    QTest::keyClick(ed.get(), Qt::Key_Backspace);  // the double-byte character goes whole
    QCOMPARE(ed->Lines.Text(), std::string("ab\r\nc"));
    QTest::keyClick(ed.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(ed->Lines.Text(), std::string("ab" + kKan + "\r\nc"));
    QTest::keyClick(ed.get(), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(ed->Lines.Text(), std::string("ab\r\nc"));
    QTest::keyClick(ed.get(), Qt::Key_Insert);
    QTest::keyClick(ed.get(), Qt::Key_Home);
    Commit(*ed, QStringLiteral("あ"));  // overwrite: one double-byte character over two bytes
    QCOMPARE(ed->Lines.Text(), std::string(kA + "\r\nc"));
  }

  void CtrlArrowsMoveByWords() {
    auto ed = MakeEditor();
    AddLines(*ed, {"ab  cd" + kKan + kKan + kA + "!", "x"});
    ed->setFocus();
    ed->SetRowCol(0, 0);
    std::vector<int> cols;
    for (int i = 0; i < 5; ++i) {
      QTest::keyClick(ed.get(), Qt::Key_Right, Qt::ControlModifier);
      cols.push_back(ed->Row() * 100 + ed->Col());
    }
    QCOMPARE(cols, (std::vector<int>{4, 6, 10, 12, 13}));
    QTest::keyClick(ed.get(), Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(ed->Row(), 1);
    QTest::keyClick(ed.get(), Qt::Key_Left, Qt::ControlModifier);
    QTest::keyClick(ed.get(), Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(ed->SelText(), std::string("!"));
    QTest::keyClick(ed.get(), Qt::Key_Left, Qt::ControlModifier);
    QTest::keyClick(ed.get(), Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(ed->Col(), 6);
  }

  void RandomUserActionsUndoToTheStart() {
    // Keys, clipboard, box and free-caret edits at random: nothing may crash, and undoing every
    // step brings back the text byte for byte.
    auto ed = MakeEditor();
    ed->LineIndent = true;
    ed->Lines.SetText("ab\tc\r\n" + kA + kKan + "x\r\n    ind\r\n\r\n");
    const std::string start = ed->Lines.Text();
    ed->setFocus();
    std::mt19937 rng(11);
    const Qt::Key keys[] = {Qt::Key_Left,  Qt::Key_Right,     Qt::Key_Up,     Qt::Key_Down,   Qt::Key_Home,
                            Qt::Key_End,   Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Return, Qt::Key_Tab,
                            Qt::Key_Space, Qt::Key_PageDown,  Qt::Key_Insert};
    for (int i = 0; i < 600; ++i) {
      switch (rng() % 10) {
        case 0:
        case 1:
        case 2: {
          const Qt::KeyboardModifiers mods = rng() % 3 == 0 ? Qt::ShiftModifier : Qt::NoModifier;
          QTest::keyClick(ed.get(), keys[rng() % std::size(keys)], mods);
          break;
        }
        case 3:
          Commit(*ed, rng() % 2 ? QStringLiteral("漢") : QStringLiteral("z"));
          break;
        case 4:
          ed->SetRowCol(static_cast<int>(rng() % 8), static_cast<int>(rng() % 14));
          break;
        case 5:
          ed->SetSelStart(static_cast<int>(rng() % 40));
          ed->SetSelLength(static_cast<int>(rng() % 20));
          break;
        case 6:
          ed->SetBoxSelection(static_cast<int>(rng() % 6), static_cast<int>(rng() % 8), static_cast<int>(rng() % 6),
                              static_cast<int>(rng() % 8));
          break;
        case 7:
          if (rng() % 2) {
            ed->CutToClipboard();
          } else {
            ed->PasteFromClipboard();
          }
          break;
        case 8:
          ed->Caret.FreeCaret = !ed->Caret.FreeCaret;
          ed->grab();
          break;
        case 9: {
          // A drag, which moves (or with Ctrl copies) the text when it starts inside the selection.
          const Qt::KeyboardModifiers mods = rng() % 3 == 0 ? Qt::ControlModifier : Qt::NoModifier;
          const QPoint from = CellPoint(*ed, static_cast<int>(rng() % 6), static_cast<int>(rng() % 12));
          const QPoint to = CellPoint(*ed, static_cast<int>(rng() % 6), static_cast<int>(rng() % 12));
          QTest::mousePress(ed->viewport(), Qt::LeftButton, {}, from);
          QMouseEvent move(QEvent::MouseMove, to, ed->viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, mods);
          QApplication::sendEvent(ed->viewport(), &move);
          QTest::mouseRelease(ed->viewport(), Qt::LeftButton, mods, to);
          break;
        }
      }
    }
    ed->grab();
    while (ed->CanUndo()) ed->Undo();
    QCOMPARE(ed->Lines.Text(), start);
  }

  void UndoListMaxBoundsTheSteps() {
    auto ed = MakeEditor();
    ed->UndoListMax = 2;
    ed->setFocus();
    QTest::keyClicks(ed.get(), "abcd");
    while (ed->CanUndo()) ed->Undo();
    QCOMPARE(ed->Lines.Text(), std::string("ab"));
    QVERIFY(ed->CanRedo());
  }

  void AutoIndentUnindentAndLineIndent() {
    auto ed = MakeEditor();
    ed->LineIndent = true;
    AddLines(*ed, {"top", "    four", "        eight"});
    ed->setFocus();
    ed->SetRowCol(2, 13);
    QTest::keyClick(ed.get(), Qt::Key_Return);
    QCOMPARE(ed->RowString(3), std::string("        "));
    QTest::keyClick(ed.get(), Qt::Key_Backspace);  // back to the indentation of "four"
    QCOMPARE(ed->RowString(3), std::string("    "));
    QCOMPARE(ed->Col(), 4);
    QTest::keyClick(ed.get(), Qt::Key_Backspace);
    QCOMPARE(ed->RowString(3), std::string());
    // Whole lines selected: Tab and Space indent them and keep them selected.
    ed->SetRowCol(0, 0);
    ed->SetSelLength(4 + 10);
    QTest::keyClick(ed.get(), Qt::Key_Tab);
    QCOMPARE(ed->RowString(0), std::string("\ttop"));
    QCOMPARE(ed->RowString(1), std::string("\t    four"));
    QCOMPARE(ed->RowString(2), std::string("        eight"));
    QTest::keyClick(ed.get(), Qt::Key_Space);
    QCOMPARE(ed->RowString(0), std::string(" \ttop"));
    QVERIFY(ed->Selected());
    QCOMPARE(ed->SelText(), std::string(" \ttop\r\n \t    four\r\n"));
  }

  void KeyPressHookAndWantReturns() {
    auto ed = MakeEditor();
    ed->WantReturns = false;
    ed->WantTabs = false;
    std::string seen;
    ed->OnKeyPress = [&](TKoEditor&, char& key) {
      seen.push_back(key);
      if (key == 'q') key = 0;
      if (key == 'u') key = 'U';
    };
    ed->setFocus();
    QTest::keyClicks(ed.get(), "quiz");
    QTest::keyClick(ed.get(), Qt::Key_Return);
    QCOMPARE(seen, std::string("quiz\r"));
    QCOMPARE(ed->Lines.Text(), std::string("Uiz"));  // Enter did not break the line
  }

  void ClipboardConvertsAndKeepsBytes() {
    auto ed = MakeEditor();
    const std::string odd = "\x85\x40";  // no Unicode form
    AddLines(*ed, {"x" + kA + odd, "y"});
    ed->SelectAll();
    ed->CopyToClipboard();
    QCOMPARE(QApplication::clipboard()->text(), QString::fromUtf8("xあ\uFFFD\r\ny"));
    auto other = MakeEditor();
    other->PasteFromClipboard();
    QCOMPARE(other->Lines.Text(), ed->Lines.Text());
    QApplication::clipboard()->setText(QStringLiteral("①\nⅠ"));
    other->SelectAll();
    other->PasteFromClipboard();
    QCOMPARE(other->Lines.Text(), tarn::Utf8ToCp932("①\r\nⅠ"));
    other->SelectAll();
    other->CutToClipboard();
    QCOMPARE(other->Lines.Text(), std::string());
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("①\r\nⅠ"));
  }

  void BoxCopyAndPaste() {
    auto ed = MakeEditor();
    AddLines(*ed, {"abcd", "e" + kA + "f", "ghij"});
    ed->SetBoxSelection(0, 1, 2, 3);
    ed->CopyToClipboard();
    QVERIFY(QApplication::clipboard()->mimeData()->hasFormat(TKoEditor::kBoxMimeType));
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("bc\r\nあ\r\nhi"));
    auto other = MakeEditor();
    AddLines(*other, {"12345", "12"});
    other->SetRowCol(0, 3);
    other->PasteFromClipboard();
    QCOMPARE(other->Lines.Text(), std::string("123bc45\r\n12 " + kA + "\r\n   hi"));
    ed->CutToClipboard();
    QCOMPARE(ed->Lines.Text(), std::string("ad\r\nef\r\ngj"));
  }

  void WheelScrollsByPagesAndLockScrollTakesTheCaret() {
    for (const bool lock : {false, true}) {
      auto ed = MakeEditor();
      ed->Caret.LockScroll = lock;
      ed->Lines.BeginUpdate();
      for (int i = 0; i < 100; ++i) ed->Lines.Add("row " + std::to_string(i));
      ed->Lines.EndUpdate();
      ed->OnMouseWheelDown = [](TKoEditor& sender, Qt::KeyboardModifiers, QPoint, bool& handled) {
        sender.ScrollPageDown();
        handled = true;
      };
      ed->OnMouseWheelUp = [](TKoEditor& sender, Qt::KeyboardModifiers, QPoint, bool& handled) {
        sender.ScrollPageUp();
        handled = true;
      };
      ed->SetRowCol(2, 1);
      const int page = ed->PageRows();
      QVERIFY(page > 3);
      QCOMPARE(page, (ed->viewport()->height() - ed->TextTop()) / ed->RowHeight());
      Wheel(*ed, -1);
      QCOMPARE(ed->TopRow(), page);
      QCOMPARE(ed->Row(), lock ? 2 + page : 2);
      QCOMPARE(ed->Col(), 1);
      Wheel(*ed, 1);
      QCOMPARE(ed->TopRow(), 0);
      QCOMPARE(ed->Row(), 2);
      for (int i = 0; i < 20; ++i) Wheel(*ed, -1);
      QCOMPARE(ed->TopRow(), 100 - page);  // clamped: the last row at the bottom
      ed->SetTopRow(-5);
      QCOMPARE(ed->TopRow(), 0);
    }
  }

  void ScrollRangeFollowsTheWidestRowThroughEveryChange() {
    // Random program and user changes, in and out of bulk updates: the horizontal range must
    // always be what a full rescan of the rows gives.
    auto ed = MakeEditor(200, 120);
    std::mt19937 rng(5);
    const std::string pieces[] = {"a", "bcd", "\t", kA, std::string(30, 'w'), "\r\n"};
    auto text = [&](bool breaks) {
      std::string s;
      for (unsigned n = rng() % 6; n > 0; --n) {
        const std::string& piece = pieces[rng() % (breaks ? 6 : 5)];
        s += piece;
      }
      return s;
    };
    auto row = [&] { return static_cast<int>(rng() % static_cast<unsigned>(ed->Lines.Count() + 1)); };
    auto change = [&] {
      switch (rng() % 8) {
        case 0:
          ed->Lines.Add(text(false));
          break;
        case 1:
          ed->Lines.Insert(row(), text(false));
          break;
        case 2:
          ed->Lines.Delete(row());
          break;
        case 3:
          ed->Lines.Put(row(), text(false));
          break;
        case 4:
          ed->SetSelStart(static_cast<int>(rng() % 200));
          ed->SetSelLength(static_cast<int>(rng() % 60));
          ed->TypeText(text(true));
          break;
        case 5:
          ed->Undo();
          break;
        case 6:
          if (rng() % 8 == 0) ed->Lines.SetText(text(true) + "\r\n" + text(true));
          break;
        case 7:
          if (rng() % 8 == 0) {
            ed->Caret.TabSpaceCount = 2 + static_cast<int>(rng() % 8);
            ed->Refresh();
          }
          break;
      }
    };
    for (int i = 0; i < 500; ++i) {
      if (rng() % 10 == 0) {
        ed->Lines.BeginUpdate();
        for (unsigned n = rng() % 20; n > 0; --n) change();
        ed->Lines.EndUpdate();
      } else {
        change();
      }
      int widest = 0;
      for (int r = 0; r < ed->Lines.Count(); ++r) {
        widest = std::max(widest, RowCells(ed->Lines.Get(r), ed->Caret.TabSpaceCount));
      }
      QCOMPARE(ed->horizontalScrollBar()->maximum(), std::max({0, widest + 1 - ed->PageCols(), ed->TopCol()}));
    }
  }

  void DrawLineRunsOncePerPieceAroundTheSelection() {
    auto ed = MakeEditor();
    AddLines(*ed, {"zero", "one two", "three"});
    std::vector<DrawCall> calls;
    ed->OnDrawLine = [&](TKoEditor& sender, const std::string& line, int x, int y, int index, const QRect& rect,
                         bool selected) {
      QCOMPARE(line, sender.RowString(index));
      QCOMPARE(y, sender.TextTop() + index * sender.RowHeight());
      calls.push_back({index, rect, selected, x});
    };
    ed->SetRowCol(1, 2);
    ed->SetSelLength(3);
    ed->grab();
    const int cw = ed->ColWidth(), left = ed->TextLeft();
    QCOMPARE(calls.size(), std::size_t(5));
    QCOMPARE(calls[0].Index, 0);
    QVERIFY(!calls[0].Selected);
    QCOMPARE(calls[1].Index, 1);
    QCOMPARE(calls[1].Rect.left(), left);
    QCOMPARE(calls[1].Rect.right(), left + 2 * cw - 1);
    QVERIFY(!calls[1].Selected);
    QCOMPARE(calls[2].Rect.left(), left + 2 * cw);
    QCOMPARE(calls[2].Rect.width(), 3 * cw);
    QVERIFY(calls[2].Selected);
    QCOMPARE(calls[3].Rect.left(), left + 5 * cw);
    QVERIFY(!calls[3].Selected);
    QCOMPARE(calls[4].Index, 2);
    QCOMPARE(calls[1].X, left);

    // A whole row selected is one selected piece; scrolled right, X moves and the pieces stay
    // inside the text area.
    calls.clear();
    ed->SetRowCol(1, 0);
    ed->SetSelLength(9);
    ed->SetTopCol(2);
    ed->grab();
    QCOMPARE(calls.size(), std::size_t(3));
    QVERIFY(calls[1].Selected);
    QCOMPARE(calls[1].X, left - 2 * cw);
    for (const auto& c : calls) QVERIFY(c.Rect.left() >= left);
  }

  void BulkUpdateShowsNothingNewUntilItEnds() {
    auto ed = MakeEditor(300, 120);
    for (int i = 0; i < 20; ++i) ed->Lines.Add("row " + std::to_string(i));
    ed->SetRowCol(10, 2);
    const int vmax = ed->verticalScrollBar()->maximum(), hmax = ed->horizontalScrollBar()->maximum();
    QVERIFY(vmax > 0);
    std::vector<DrawCall> calls;
    RecordDrawCalls(*ed, calls);
    ed->Lines.BeginUpdate();
    ed->Lines.Clear();
    ed->grab();
    ed->resize(300, 200);
    for (int i = 0; i < 40; ++i) ed->Lines.Add(std::string(90, 'x'));
    ed->SetTopRow(1);
    ed->grab();
    QVERIFY(calls.empty());
    QCOMPARE(ed->verticalScrollBar()->maximum(), vmax);
    QCOMPARE(ed->horizontalScrollBar()->maximum(), hmax);
    ed->Lines.EndUpdate();
    QCOMPARE(ed->Row(), 10);  // painting did not clamp the caret to the emptied text
    QCOMPARE(ed->Col(), 2);
    QCOMPARE(ed->verticalScrollBar()->maximum(), 40 - ed->PageRows());
    QCOMPARE(ed->horizontalScrollBar()->maximum(), 91 - ed->PageCols());
    ed->grab();
    QVERIFY(!calls.empty());
  }

  void PaintEventPaintsOnlyTheRowsAndCellsOfItsRegion_data() {
    QTest::addColumn<QList<QRect>>("cells");  // row, column, columns, rows as x, y, width, height
    QTest::addColumn<QList<int>>("rows");
    QTest::newRow("one cell") << QList<QRect>{{3, 2, 1, 1}} << QList<int>{2};
    QTest::newRow("two rows apart") << QList<QRect>{{5, 1, 2, 1}, {40, 4, 3, 1}} << QList<int>{1, 4};
    QTest::newRow("across the selection's edge") << QList<QRect>{{8, 2, 6, 2}} << QList<int>{2, 3};
  }

  void PaintEventPaintsOnlyTheRowsAndCellsOfItsRegion() {
    QFETCH(QList<QRect>, cells);
    QFETCH(QList<int>, rows);
    auto ed = MakeEditor(520, 200);
    for (int i = 0; i < 8; ++i) ed->Lines.Add(std::string(1000, static_cast<char>('a' + i)));
    ed->SetRowCol(2, 10);
    ed->SetSelLength(50);  // row 2 is painted in two pieces, the selected one from cell 10
    ed->clearFocus();
    QApplication::processEvents();
    std::vector<DrawCall> calls;
    RecordDrawCalls(*ed, calls);
    QRegion region;
    for (const QRect& c : cells) {
      for (int r = c.y(); r < c.y() + c.height(); ++r) region += CellsRect(*ed, r, c.x(), c.width());
    }
    ed->viewport()->repaint(region);
    QList<int> painted;
    for (const DrawCall& c : calls) {
      QVERIFY2(region.contains(c.Rect), "a piece is painted only inside the region");
      QCOMPARE(c.Selected, c.Index == 2 && c.Rect.left() >= CellsRect(*ed, 2, 10, 1).left());
      if (!painted.contains(c.Index)) painted.append(c.Index);
    }
    QCOMPARE(painted, rows);
  }

  void CaretMovesRepaintOnlyTheCaret() {
    auto ed = MakeEditor(520, 200);
    for (int i = 0; i < 8; ++i) ed->Lines.Add(std::string(300, 'r'));
    ed->setFocus();
    ed->SetRowCol(2, 5);
    QTRY_VERIFY(ed->hasFocus());
    QApplication::processEvents();
    std::vector<DrawCall> calls;
    RecordDrawCalls(*ed, calls);
    QTest::keyClick(ed.get(), Qt::Key_Right);
    ed->SetRowCol(5, 20);
    QApplication::processEvents();
    QVERIFY(!calls.empty());
    const QRegion caretCells = QRegion(CellsRect(*ed, 2, 5, 2)) + CellsRect(*ed, 2, 6, 2) + CellsRect(*ed, 5, 20, 1);
    for (const DrawCall& c : calls) QVERIFY2(caretCells.contains(c.Rect), "only the caret's cells are painted");
  }

  void DrawTextRectPlacesEachByteOneCellApart() {
    auto ed = MakeEditor();
    ed->Color = Qt::white;
    ed->FontColor = Qt::black;
    AddLines(*ed, {kSquare + kSquare + "ii", ""});
    ed->clearFocus();
    // The hook paints a run of its own as the result view paints a hit: clipped, opaque.
    ed->OnDrawLine = [](TKoEditor& sender, const std::string&, int x, int y, int index, const QRect& rect, bool) {
      if (index != 1) return;
      sender.Canvas.BrushColor = Qt::yellow;
      sender.DrawTextRect(rect, x + 2 * sender.ColWidth(), y, kSquare + "i", TKoEditor::dto_Clipped);
    };
    const QImage img = ed->grab().toImage();
    const int cw = ed->ColWidth(), rh = ed->RowHeight(), left = ed->TextLeft();
    const QPoint origin = ed->viewport()->pos();
    const int top = origin.y() + ed->TextTop(), x0 = origin.x() + left;
    // Each full-width square covers its own two cells, not less and not more.
    for (int i = 0; i < 2; ++i) {
      const auto ink = InkColumns(img, top, top + rh, x0 + i * 2 * cw, x0 + (i + 1) * 2 * cw);
      QVERIFY(!ink.empty());
      const int leftGap = ink.front() - (x0 + i * 2 * cw), rightGap = x0 + (i + 1) * 2 * cw - 1 - ink.back();
      QVERIFY2(ink.back() - ink.front() + 1 > cw, "a full-width glyph spans two cells");
      QVERIFY2(qAbs(leftGap - rightGap) <= 2, "and sits centred on them");
    }
    const auto all = InkColumns(img, top, top + rh, x0, x0 + 6 * cw + cw);
    QVERIFY(all.back() < x0 + 6 * cw);
    // The hook's background: exactly three cells, from cell 2.
    const int y1 = top + rh + rh / 2;
    int first = -1, last = -1;
    for (int x = 0; x < img.width(); ++x) {
      if (img.pixelColor(x, y1) == QColor(Qt::yellow)) {
        if (first < 0) first = x;
        last = x;
      }
    }
    QCOMPARE(first, x0 + 2 * cw);
    QCOMPARE(last, x0 + 5 * cw - 1);
  }

  void HitStyleRunOverTabsAndDoubleByteText() {
    // The result view's way of painting a hit: a run of its own at the hit's cell, in the hit
    // style, clipped to each piece and skipped on selected pieces.
    auto ed = MakeEditor(520, 120);
    ed->ReadOnly = true;
    ed->Color = Qt::white;
    ed->FontColor = Qt::black;
    ed->View.Colors.Select = {QColor(0, 0, 128), Qt::white};
    const std::string hit = tarn::Utf8ToCp932("検索");
    ed->Lines.Add(tarn::Utf8ToCp932("a\tb\t検索語の行"));
    ed->Lines.Add(tarn::Utf8ToCp932("全角の後の検索と半角"));
    ed->Lines.Add(tarn::Utf8ToCp932("選択の中の検索"));
    const int hitCell[] = {16, 10, 10};
    ed->OnDrawLine = [&](TKoEditor& sender, const std::string&, int x, int y, int index, const QRect& rect,
                         bool selected) {
      if (selected) return;
      sender.Canvas.FontColor = Qt::blue;
      sender.Canvas.Font.setBold(true);
      sender.Canvas.BrushColor = Qt::yellow;
      sender.DrawTextRect(rect, x + hitCell[index] * sender.ColWidth(), y, hit, TKoEditor::dto_Clipped);
    };
    ed->SetRowCol(2, 0);
    ed->SetSelLength(12);  // up to the middle of the hit
    ed->clearFocus();
    const QImage img = ed->grab().toImage();
    const QPoint origin = ed->viewport()->pos();
    const int cw = ed->ColWidth(), rh = ed->RowHeight(), x0 = origin.x() + ed->TextLeft();
    auto yellowCells = [&](int row) {
      std::vector<int> cells;
      const int y = origin.y() + ed->TextTop() + row * rh;
      for (int c = 0; c < 30; ++c) {
        int yellow = 0;
        for (int yy = y; yy < y + rh; ++yy) {
          for (int x = x0 + c * cw; x < x0 + (c + 1) * cw; ++x) yellow += img.pixelColor(x, yy) == QColor(Qt::yellow);
        }
        if (yellow > 0) cells.push_back(c);
      }
      return cells;
    };
    QCOMPARE(yellowCells(0), (std::vector<int>{16, 17, 18, 19}));
    QCOMPARE(yellowCells(1), (std::vector<int>{10, 11, 12, 13}));
    QCOMPARE(yellowCells(2), (std::vector<int>{12, 13}));  // the selected half keeps the selection colours
    SaveScreenshot(*ed, "editor_hit_painting");
  }

  void FallbackFontKeepsFullWidthAtTwoCells() {
    auto ed = MakeEditor();
    QFont f(QStringLiteral("No Such Face 12345"));
    f.setPixelSize(15);
    ed->setFont(f);
    QCOMPARE(ed->EditorFont().family(), QStringLiteral("IPAGothic"));
    QFont named(QString::fromUtf8("ＭＳ ゴシック"));
    named.setPixelSize(15);
    ed->setFont(named);
    QCOMPARE(ed->EditorFont().family(), QStringLiteral("IPAGothic"));
    const QFontMetrics fm(ed->EditorFont());
    QVERIFY(qAbs(fm.horizontalAdvance(QStringLiteral("漢")) - 2 * ed->ColWidth()) <= 1);
    QCOMPARE(ed->RowHeight(), fm.height() + std::max(0, fm.leading()));
    ed->Margin.Character = 2;
    ed->Margin.Line = 3;
    ed->Refresh();
    QCOMPARE(ed->ColWidth(), fm.horizontalAdvance(QLatin1Char('0')) + 2);
    QCOMPARE(ed->RowHeight(), fm.height() + std::max(0, fm.leading()) + 3);
  }

  void CommentColouringAndScreenshots() {
    auto ed = MakeEditor(520, 240);
    QFont f(QString::fromUtf8("ＭＳ ゴシック"));
    f.setPixelSize(15);
    ed->setFont(f);
    ed->Color = Qt::white;
    ed->FontColor = Qt::black;
    ed->View.Commenter = "//";
    ed->View.Colors.Comment.Color = Qt::green;
    ed->View.Colors.Select = {QColor(0, 0, 128), Qt::white};
    ed->Marks.EofMark = ed->Marks.RetMark = ed->Marks.WrapMark = true;
    ed->ExMarks.TabMark = ed->ExMarks.DBSpaceMark = true;
    ed->Lines.SetText(tarn::Utf8ToCp932(
        "// 同義語グループ\r\n"
        "漢字,かな,カナ,ｶﾅ\r\n"
        "a\tb\tc\t漢\tend\r\n"
        "全角　空白とhalf幅の混在 // コメント\r\n"
        "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\r\n"
        "最後の行"));
    ed->setFocus();
    ed->SetRowCol(4, 3);
    ed->SetSelLength(10);
    const QImage img = ed->grab().toImage();
    const QPoint origin = ed->viewport()->pos();
    const int cw = ed->ColWidth(), rh = ed->RowHeight();
    // Row 3: the text from "//" on is green, the text before it is not.
    const int y = origin.y() + ed->TextTop() + 3 * rh;
    const int commentCell = 25;
    auto greenIn = [&](int fromCell, int toCell) {
      for (int x = origin.x() + ed->TextLeft() + fromCell * cw; x < origin.x() + ed->TextLeft() + toCell * cw; ++x) {
        for (int yy = y; yy < y + rh; ++yy) {
          const QColor c = img.pixelColor(x, yy);
          if (c.green() > 120 && c.red() < 100 && c.blue() < 100) return true;
        }
      }
      return false;
    };
    QVERIFY(!greenIn(0, commentCell));
    QVERIFY(greenIn(commentCell, commentCell + 12));
    SaveScreenshot(*ed, "editor_marks_comment_selection");

    ed->SetBoxSelection(1, 2, 3, 9);
    Commit(*ed, {}, QStringLiteral("へんかん"));
    SaveScreenshot(*ed, "editor_box_selection_composition");
  }
};

QTEST_MAIN(KoEditorTest)
#include "ko_editor_test.moc"

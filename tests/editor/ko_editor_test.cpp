// TKoEditor as its three users drive it, under the offscreen platform.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QInputMethodQueryEvent>
#include <QTextCharFormat>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <QWheelEvent>
#include <functional>
#include <map>
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

// What the control answers an input method's query.
QVariant Query(TKoEditor& ed, Qt::InputMethodQuery query) {
  QInputMethodQueryEvent e(query);
  QApplication::sendEvent(&ed, &e);
  return e.value(query);
}

void Compose(TKoEditor& ed, const QString& preedit, const QList<QInputMethodEvent::Attribute>& attributes) {
  QInputMethodEvent e(preedit, attributes);
  QApplication::sendEvent(&ed, &e);
}

void CommitReplacing(TKoEditor& ed, const QString& commit, int from, int length) {
  QInputMethodEvent e;
  e.setCommitString(commit, from, length);
  QApplication::sendEvent(&ed, &e);
}

// The top left of the caret standing at a cell, in the control's own coordinates (as the input
// method is told it).
QPoint CaretTopLeft(const TKoEditor& ed, int row, int col) {
  return ed.viewport()->pos() + QPoint(ed.TextLeft() - ed.LeftScrollWidth() + col * ed.ColWidth(),
                                       ed.TextTop() + (row - ed.TopRow()) * ed.RowHeight());
}

// Makes the control the application's focus object, as it is when the user types into it.
bool Activate(TKoEditor& ed) {
  ed.activateWindow();
  ed.setFocus();
  return QTest::qWaitForWindowActive(&ed) && QTest::qWaitFor([&] { return ed.hasFocus(); }) &&
         QGuiApplication::focusObject() == &ed;
}

// Cells [0, cells) of a row in which some pixel has exactly the colour c.
std::vector<int> CellsWithColour(const TKoEditor& ed, const QImage& img, int row, int cells, const QColor& c) {
  std::vector<int> out;
  const QPoint origin = ed.viewport()->pos();
  const int cw = ed.ColWidth(), rh = ed.RowHeight();
  const int x0 = origin.x() + ed.TextLeft() - ed.LeftScrollWidth();
  const int y0 = origin.y() + ed.TextTop() + (row - ed.TopRow()) * rh;
  for (int cell = 0; cell < cells; ++cell) {
    bool found = false;
    for (int y = y0; y < y0 + rh && !found; ++y) {
      for (int x = x0 + cell * cw; x < x0 + (cell + 1) * cw && !found; ++x) found = img.pixelColor(x, y) == c;
    }
    if (found) out.push_back(cell);
  }
  return out;
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
    std::size_t longest = 0;  // a hook is handed only what can show
    ed->OnDrawLine = [&longest](TKoEditor&, const std::string& line, int, int, int, const QRect&, bool) {
      longest = std::max(longest, line.size());
    };
    ed->clearFocus();
    ed->SetTopCol(990);
    const QImage img = ed->grab().toImage();
    QCOMPARE(longest, std::size_t(1001));
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
    // An empty row: its length (0) plus 2 characters, its line break.
    QCOMPARE(ed->SelStart(), std::int64_t(15));
    QCOMPARE(ed->SelLength(), std::int64_t(2));
    QCOMPARE(ed->SelText(), std::string("\r\n"));
    QCOMPARE(ed->Row(), 2);
    QCOMPARE(ed->Col(), 0);
    ed->Lines.Add("");  // the empty last row has no line break: nothing to select
    QTest::mouseDClick(ed->viewport(), Qt::LeftButton, {}, CellPoint(*ed, 4, 0));
    QVERIFY(!ed->Selected());
    QCOMPARE(ed->Row(), 4);
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
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("abc\nあ"));
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
    QCOMPARE(QApplication::clipboard()->text(), QString::fromUtf8("xあ\uFFFD\ny"));
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
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("①\nⅠ"));

    // A character without a CP932 form is named at the caret, and nothing of its text goes in
    // (pasted, committed or typed): no "?" the user did not type.
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"), yoshi = QString::fromUtf8("\xF0\xA0\xAE\xB7");
    QApplication::clipboard()->setText(QStringLiteral("東京") + emoji);
    other->PasteFromClipboard();
    QVERIFY(QToolTip::text().contains(emoji));
    Commit(*other, yoshi + QStringLiteral("野家"));
    QVERIFY(QToolTip::text().contains(yoshi));
    QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, emoji);
    QApplication::sendEvent(other.get(), &typed);
    QCOMPARE(other->Lines.Text(), std::string());
  }

  void BoxCopyAndPaste() {
    auto ed = MakeEditor();
    AddLines(*ed, {"abcd", "e" + kA + "f", "ghij"});
    ed->SetBoxSelection(0, 1, 2, 3);
    ed->CopyToClipboard();
    QVERIFY(QApplication::clipboard()->mimeData()->hasFormat(TKoEditor::kBoxMimeType));
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("bc\nあ\nhi"));
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
    // Rows of many tabs are wider than most, thousands of cells.
    const std::string pieces[] = {"a", "bcd", "\t", kA, std::string(30, 'w'), std::string(400, '\t'), "\r\n"};
    auto text = [&](bool breaks) {
      std::string s;
      for (unsigned n = rng() % 6; n > 0; --n) {
        const std::string& piece = pieces[rng() % (breaks ? 7 : 6)];
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

  void DoubleClickOnTheRightHalfOfACharacterSelectsItsWord() {
    auto ed = MakeEditor();
    AddLines(*ed, {"abc def" + kA + kA + "x", "ab"});
    const int cw = ed->ColWidth();
    // The point 3/4 into a character's cells: nearer its right edge than its left.
    auto rightHalf = [&](int row, int cell, int cells) {
      return QPoint(ed->TextLeft() + cell * cw + cells * cw * 3 / 4, CellPoint(*ed, row, 0).y());
    };
    QTest::mouseDClick(ed->viewport(), Qt::LeftButton, {}, rightHalf(0, 2, 1));  // c, before a blank
    QCOMPARE(ed->SelText(), std::string("abc"));
    QTest::mouseDClick(ed->viewport(), Qt::LeftButton, {}, rightHalf(0, 6, 1));  // f, before あ
    QCOMPARE(ed->SelText(), std::string("def"));
    QTest::mouseDClick(ed->viewport(), Qt::LeftButton, {}, rightHalf(0, 9, 2));  // the second あ, before x
    QCOMPARE(ed->SelText(), kA + kA);
    QTest::mouseDClick(ed->viewport(), Qt::LeftButton, {}, rightHalf(0, 3, 1));  // the blank, before d
    QCOMPARE(ed->SelText(), std::string(" "));
    QTest::mouseDClick(ed->viewport(), Qt::LeftButton, {}, rightHalf(1, 1, 1));  // b, the row's last
    QCOMPARE(ed->SelText(), std::string("ab"));
    // A press and then the double-click, as a real double-click arrives.
    QTest::mouseClick(ed->viewport(), Qt::LeftButton, {}, rightHalf(0, 2, 1));
    QTest::mouseDClick(ed->viewport(), Qt::LeftButton, {}, rightHalf(0, 2, 1));
    QCOMPARE(ed->SelText(), std::string("abc"));
  }

  void NoOpEditsKeepTheRedoList() {
    auto ed = MakeEditor();
    ed->setFocus();
    QTest::keyClicks(ed.get(), "ab");
    QTest::keyClick(ed.get(), Qt::Key_Return);
    QTest::keyClicks(ed.get(), "cd");
    QTest::keyClick(ed.get(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(ed->Lines.Text(), std::string("ab\r\nc"));
    QVERIFY(ed->CanRedo());
    const auto noOp = [&](const char* what, const std::function<void()>& act) {
      act();
      QVERIFY2(ed->Lines.Text() == "ab\r\nc", what);
      QVERIFY2(ed->CanRedo(), what);
    };
    noOp("Delete at the end of the text", [&] {
      ed->SetRowCol(1, 1);
      QTest::keyClick(ed.get(), Qt::Key_Delete);
    });
    noOp("Delete at the end of the text, the caret beyond it", [&] {
      ed->Caret.FreeCaret = true;
      ed->SetRowCol(1, 5);
      QTest::keyClick(ed.get(), Qt::Key_Delete);
      ed->Caret.FreeCaret = false;
    });
    noOp("Backspace at row 0 column 0", [&] {
      ed->SetRowCol(0, 0);
      QTest::keyClick(ed.get(), Qt::Key_Backspace);
    });
    noOp("Cut without a selection", [&] { QTest::keyClick(ed.get(), Qt::Key_X, Qt::ControlModifier); });
    noOp("Delete and Backspace on an empty box", [&] {
      ed->SetBoxSelection(1, 0, 0, 0);  // the caret at row 0, column 0
      QTest::keyClick(ed.get(), Qt::Key_Backspace);
      ed->SetBoxSelection(0, 2, 1, 2);
      ed->SetRowCol(1, 1);
      QTest::keyClick(ed.get(), Qt::Key_Delete);
    });
    noOp("A box beyond the ends of its rows", [&] {
      ed->Caret.FreeCaret = true;
      ed->SetBoxSelection(0, 5, 1, 7);
      QTest::keyClick(ed.get(), Qt::Key_Delete);
      ed->Caret.FreeCaret = false;
    });
    noOp("Pasting empty text", [&] {
      QApplication::clipboard()->setText(QString());
      ed->PasteFromClipboard();
    });
    noOp("An input-method commit of nothing", [&] { Commit(*ed, QString()); });
    QTest::keyClick(ed.get(), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(ed->Lines.Text(), std::string("ab\r\ncd"));
    // A real edit still clears it.
    QTest::keyClick(ed.get(), Qt::Key_Z, Qt::ControlModifier);
    ed->SetRowCol(0, 0);
    QTest::keyClick(ed.get(), Qt::Key_Delete);
    QCOMPARE(ed->Lines.Text(), std::string("b\r\nc"));
    QVERIFY(!ed->CanRedo());
  }

  void BoxSelectionPaintsTheCharactersItHolds() {
    auto ed = MakeEditor(420, 160);
    ed->Color = Qt::white;
    ed->FontColor = Qt::black;
    const QColor selBack(0, 0, 128);
    ed->View.Colors.Select = {selBack, Qt::white};
    AddLines(*ed, {"abcdef", kA + kKan + kA, "a" + kA + "bcd", "\tx"});
    ed->clearFocus();
    std::vector<DrawCall> calls;
    RecordDrawCalls(*ed, calls);
    // Cells 1 to 4: the edges fall inside the first あ of row 1 and inside its second.
    ed->SetBoxSelection(0, 1, 3, 5);
    QCOMPARE(ed->SelText(), "bcde\r\n" + kKan + kA + "\r\n" + kA + "bc\r\n");
    const QImage img = ed->grab().toImage();
    // Each row shows selected exactly the cells of the characters the box holds: a character
    // is held when it starts inside the box, and then shows whole.
    QCOMPARE(CellsWithColour(*ed, img, 0, 12, selBack), (std::vector<int>{1, 2, 3, 4}));
    QCOMPARE(CellsWithColour(*ed, img, 1, 12, selBack), (std::vector<int>{2, 3, 4, 5}));
    QCOMPARE(CellsWithColour(*ed, img, 2, 12, selBack), (std::vector<int>{1, 2, 3, 4}));
    QCOMPARE(CellsWithColour(*ed, img, 3, 12, selBack), std::vector<int>{});  // the tab starts before it
    // The draw hook's selected pieces are those cells.
    const int cw = ed->ColWidth();
    std::map<int, QRect> selected;
    for (const DrawCall& c : calls) {
      if (c.Selected) selected[c.Index] = c.Rect;
    }
    QCOMPARE(selected.size(), std::size_t(3));
    QCOMPARE(selected[1].left(), ed->TextLeft() + 2 * cw);
    QCOMPARE(selected[1].width(), 4 * cw);
    QCOMPARE(selected[2].left(), ed->TextLeft() + cw);
    QCOMPARE(selected[2].width(), 4 * cw);
    // A box that holds a tab shows the tab's cells.
    ed->SetBoxSelection(3, 0, 3, 1);
    QCOMPARE(ed->SelText(), std::string("\t"));
    const QImage tab = ed->grab().toImage();
    QCOMPARE(CellsWithColour(*ed, tab, 3, 12, selBack), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  }

  void EmptyBoxEditsAtTheCaret() {
    auto ed = MakeEditor();
    AddLines(*ed, {"abcd", "efgh", "ijkl"});
    ed->setFocus();
    ed->SetBoxSelection(0, 2, 2, 2);  // zero width: the caret stands on row 2
    QVERIFY(!ed->BoxSelected());
    QCOMPARE(ed->Row(), 2);
    QTest::keyClicks(ed.get(), "x");
    QCOMPARE(ed->Lines.Text(), std::string("abcd\r\nefgh\r\nijxkl"));
    QCOMPARE(ed->Row(), 2);
    QCOMPARE(ed->Col(), 3);
    ed->SetBoxSelection(0, 3, 2, 3);
    QTest::keyClick(ed.get(), Qt::Key_Delete);
    QCOMPARE(ed->Lines.Text(), std::string("abcd\r\nefgh\r\nijxl"));
    QCOMPARE(ed->Row(), 2);
    QCOMPARE(ed->Col(), 3);
    ed->SetBoxSelection(2, 3, 0, 3);  // zero width upwards: the caret stands on row 0
    QTest::keyClick(ed.get(), Qt::Key_Backspace);
    QCOMPARE(ed->Lines.Text(), std::string("abd\r\nefgh\r\nijxl"));
    QCOMPARE(ed->Row(), 0);
    QCOMPARE(ed->Col(), 2);
    ed->SetBoxSelection(1, 1, 2, 1);
    Commit(*ed, QStringLiteral("漢"));
    QCOMPARE(ed->Lines.Text(), "abd\r\nefgh\r\ni" + kKan + "jxl");
    QCOMPARE(ed->Row(), 2);
    QCOMPARE(ed->Col(), 3);
    // A box with width still takes what it holds, and the caret goes to its top left.
    ed->SetBoxSelection(0, 1, 1, 2);
    QTest::keyClicks(ed.get(), "y");
    QCOMPARE(ed->Lines.Text(), "ayd\r\negh\r\ni" + kKan + "jxl");
    QCOMPARE(ed->Row(), 0);
    QCOMPARE(ed->Col(), 2);
  }

  void CaretMovedFollowsEveryCaretChange() {
    auto ed = MakeEditor();
    AddLines(*ed, {"0123456789", "abcdefghij", "ABCDEFGHIJ", "klmnopqrst"});
    QVERIFY(Activate(*ed));
    std::vector<QPoint> reported;  // column, row
    ed->OnCaretMoved = [&](TKoEditor& sender) { reported.push_back({sender.Col(), sender.Row()}); };
    const auto expect = [&](const char* what, int row, int col) {
      QVERIFY2(ed->Row() == row && ed->Col() == col, what);
      QVERIFY2(!reported.empty(), what);
      QVERIFY2(reported.back() == QPoint(col, row), what);
      reported.clear();
    };
    const auto move = [&](QPoint to, Qt::KeyboardModifiers mods) {
      QMouseEvent e(QEvent::MouseMove, to, ed->viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, mods);
      QApplication::sendEvent(ed->viewport(), &e);
    };

    // A box by the mouse.
    QTest::mousePress(ed->viewport(), Qt::LeftButton, Qt::AltModifier, CellPoint(*ed, 0, 1));
    expect("Alt+press", 0, 1);
    move(CellPoint(*ed, 2, 4), Qt::AltModifier);
    expect("Alt+drag", 2, 4);
    QTest::mouseRelease(ed->viewport(), Qt::LeftButton, Qt::AltModifier, CellPoint(*ed, 2, 4));
    QVERIFY(ed->BoxSelected());

    // A box by the keyboard: Alt+Shift with the arrows.
    ed->CleanSelection();
    ed->SetRowCol(1, 2);
    expect("SetRowCol", 1, 2);
    QTest::keyClick(ed.get(), Qt::Key_Right, Qt::AltModifier | Qt::ShiftModifier);
    expect("Alt+Shift+Right", 1, 3);
    QTest::keyClick(ed.get(), Qt::Key_Down, Qt::AltModifier | Qt::ShiftModifier);
    expect("Alt+Shift+Down", 2, 3);
    QVERIFY(ed->BoxSelected());
    QCOMPARE(ed->SelText(), std::string("c\r\nC"));
    QTest::keyClick(ed.get(), Qt::Key_Right, Qt::AltModifier | Qt::ShiftModifier);
    QCOMPARE(ed->SelText(), std::string("cd\r\nCD"));
    reported.clear();
    QTest::keyClick(ed.get(), Qt::Key_Delete);
    expect("Delete of the box", 1, 2);
    QCOMPARE(ed->Lines.Text(), std::string("0123456789\r\nabefghij\r\nABEFGHIJ\r\nklmnopqrst"));

    // A box set by the program.
    ed->SetBoxSelection(0, 1, 3, 4);
    expect("SetBoxSelection", 3, 4);

    // Moving a selection by drag and drop.
    ed->SetRowCol(3, 0);
    ed->SetSelLength(2);
    reported.clear();
    QTest::mousePress(ed->viewport(), Qt::LeftButton, {}, CellPoint(*ed, 3, 1));
    move(CellPoint(*ed, 3, 6), Qt::NoModifier);
    expect("dragging the selection", 3, 6);
    QTest::mouseRelease(ed->viewport(), Qt::LeftButton, {}, CellPoint(*ed, 3, 6));
    QCOMPARE(ed->RowString(3), std::string("mnopklqrst"));
    expect("dropping the selection", 3, 6);

    // Text dragged in from another program: the caret follows the pointer, goes back when the
    // drag leaves, and stands after the text dropped.
    ed->SetRowCol(0, 0);
    reported.clear();
    QMimeData mime;
    mime.setText(QStringLiteral("XY"));
    QDragEnterEvent enter(CellPoint(*ed, 1, 3), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(ed->viewport(), &enter);
    QDragMoveEvent over(CellPoint(*ed, 1, 3), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(ed->viewport(), &over);
    expect("a drag over the text", 1, 3);
    QDragLeaveEvent leave;
    QApplication::sendEvent(ed->viewport(), &leave);
    expect("the drag leaving", 0, 0);
    QApplication::sendEvent(ed->viewport(), &enter);
    QApplication::sendEvent(ed->viewport(), &over);
    reported.clear();
    QDropEvent drop(CellPoint(*ed, 1, 3), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(ed->viewport(), &drop);
    QCOMPARE(ed->RowString(1), std::string("abeXYfghij"));
    expect("the drop", 1, 5);

    // The program taking away the row the caret stands on.
    ed->SetRowCol(3, 8);
    reported.clear();
    ed->Lines.Delete(3);
    expect("the caret's row deleted", 2, 8);
  }

  void InputMethodQueryReportsTheCaretAndTheSurroundingText() {
    auto ed = MakeEditor(300, 150);
    AddLines(*ed, {"ab" + kA + "cd", "x" + kKan + "yz"});
    for (int i = 0; i < 40; ++i) ed->Lines.Add("row " + std::to_string(i) + std::string(60, '-'));
    QVERIFY(Activate(*ed));
    QCOMPARE(Query(*ed, Qt::ImEnabled).toBool(), true);
    QVERIFY(Query(*ed, Qt::ImHints).toInt() & Qt::ImhMultiLine);
    QCOMPARE(Query(*ed, Qt::ImFont).value<QFont>().family(), ed->EditorFont().family());
    ed->SetRowCol(0, 4);  // after あ
    QCOMPARE(Query(*ed, Qt::ImSurroundingText).toString(), QStringLiteral("abあcd"));
    QCOMPARE(Query(*ed, Qt::ImCursorPosition).toInt(), 3);
    QCOMPARE(Query(*ed, Qt::ImAnchorPosition).toInt(), 3);
    QCOMPARE(Query(*ed, Qt::ImTextBeforeCursor).toString(), QStringLiteral("abあ"));
    QCOMPARE(Query(*ed, Qt::ImTextAfterCursor).toString(), QStringLiteral("cd"));
    QCOMPARE(Query(*ed, Qt::ImCurrentSelection).toString(), QString());
    QCOMPARE(Query(*ed, Qt::ImCursorRectangle).toRect().topLeft(), CaretTopLeft(*ed, 0, 4));
    QCOMPARE(Query(*ed, Qt::ImCursorRectangle).toRect().height(), ed->RowHeight());
    QCOMPARE(Query(*ed, Qt::ImAnchorRectangle).toRect().topLeft(), CaretTopLeft(*ed, 0, 4));
    // A selection made backwards over あ and b: the anchor stays where it began.
    QTest::keyClick(ed.get(), Qt::Key_Left, Qt::ShiftModifier);
    QTest::keyClick(ed.get(), Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(Query(*ed, Qt::ImCursorPosition).toInt(), 1);
    QCOMPARE(Query(*ed, Qt::ImAnchorPosition).toInt(), 3);
    QCOMPARE(Query(*ed, Qt::ImCurrentSelection).toString(), QStringLiteral("bあ"));
    QCOMPARE(Query(*ed, Qt::ImCursorRectangle).toRect().topLeft(), CaretTopLeft(*ed, 0, 1));
    QCOMPARE(Query(*ed, Qt::ImAnchorRectangle).toRect().topLeft(), CaretTopLeft(*ed, 0, 4));
    // Down the rows: the anchor on the row above counts from the start of the caret's row.
    QTest::keyClick(ed.get(), Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(Query(*ed, Qt::ImSurroundingText).toString(), QStringLiteral("x漢yz"));
    QCOMPARE(Query(*ed, Qt::ImCursorPosition).toInt(), 1);
    QCOMPARE(Query(*ed, Qt::ImAnchorPosition).toInt(), 0);
    ed->ReadOnly = true;
    QCOMPARE(Query(*ed, Qt::ImEnabled).toBool(), false);
    QCOMPARE(Query(*ed, Qt::ImReadOnly).toBool(), true);
    ed->ReadOnly = false;

    // Every move of the caret, and every scroll, tells the input method where the caret is now,
    // so that its candidate window follows.
    std::vector<QRectF> told;
    const QMetaObject::Connection c = QObject::connect(
        QGuiApplication::inputMethod(), &QInputMethod::cursorRectangleChanged,
        [&] { told.push_back(QGuiApplication::inputMethod()->cursorRectangle()); });
    const auto caretOnWindow = [&](int row, int col) { return ed->mapTo(ed->window(), CaretTopLeft(*ed, row, col)); };
    const auto expect = [&](const char* what, int row, int col) {
      QVERIFY2(ed->Row() == row && ed->Col() == col, what);
      QVERIFY2(!told.empty(), what);
      QVERIFY2(told.back().topLeft().toPoint() == caretOnWindow(row, col), what);
      QVERIFY2(told.back().height() == ed->RowHeight(), what);
      told.clear();
    };
    ed->CleanSelection();
    told.clear();
    QTest::keyClick(ed.get(), Qt::Key_Right);
    expect("Right", 1, 3);
    QTest::keyClick(ed.get(), Qt::Key_End);
    expect("End", 1, 5);
    QTest::keyClick(ed.get(), Qt::Key_Down);
    expect("Down", 2, 5);
    ed->SetRowCol(0, 2);
    expect("SetRowCol", 0, 2);
    QTest::mouseClick(ed->viewport(), Qt::LeftButton, {}, CellPoint(*ed, 3, 5));
    expect("a click", 3, 5);
    Commit(*ed, QStringLiteral("漢"));
    expect("a commit", 3, 7);
    Wheel(*ed, -1);  // the view scrolls, the caret stays on its row
    QVERIFY(ed->TopRow() > 0);
    expect("the wheel", 3, 7);
    ed->SetTopCol(3);
    expect("a scroll to the right", 3, 7);
    ed->verticalScrollBar()->setValue(1);  // the user dragging the scroll bar
    expect("the scroll bar", 3, 7);
    QTest::keyClick(ed.get(), Qt::Key_PageDown);
    expect("Page Down", 3 + ed->PageRows(), 7);
    QTest::keyClick(ed.get(), Qt::Key_Insert);  // the overwrite caret is a cell wide
    QVERIFY(!told.empty());
    QCOMPARE(told.back().width(), qreal(ed->ColWidth()));
    QObject::disconnect(c);
  }

  void InputMethodCommitReplacesItsRange() {
    auto ed = MakeEditor();
    AddLines(*ed, {tarn::Utf8ToCp932("xかんじy"), "z"});
    ed->SetRowCol(0, 7);  // after じ
    // A reconversion: the three characters before the caret become 漢字.
    CommitReplacing(*ed, QStringLiteral("漢字"), -3, 3);
    QCOMPARE(ed->RowString(0), tarn::Utf8ToCp932("x漢字y"));
    QCOMPARE(ed->Row(), 0);
    QCOMPARE(ed->Col(), 5);
    // Deleting surrounding text: an empty commit with a range after the caret.
    CommitReplacing(*ed, QString(), 0, 1);
    QCOMPARE(ed->RowString(0), tarn::Utf8ToCp932("x漢字"));
    QCOMPARE(ed->Col(), 5);
    // A range apart from the caret: the commit stands there, and the caret after it.
    CommitReplacing(*ed, QStringLiteral("ab"), -2, 1);
    QCOMPARE(ed->RowString(0), tarn::Utf8ToCp932("xab字"));
    QCOMPARE(ed->Col(), 3);
    // Insertion after the caret without a range.
    CommitReplacing(*ed, QStringLiteral("-"), 1, 0);
    QCOMPARE(ed->RowString(0), tarn::Utf8ToCp932("xab字-"));
    QCOMPARE(ed->Col(), 6);
    // A range reaching beyond the row stops at its end; the next row stays.
    ed->SetRowCol(0, 1);
    CommitReplacing(*ed, QStringLiteral("Q"), 1, 40);
    QCOMPARE(ed->Lines.Text(), std::string("xaQ\r\nz"));
    // Each commit is one undo step.
    ed->Undo();
    QCOMPARE(ed->RowString(0), tarn::Utf8ToCp932("xab字-"));
    ed->Undo();
    ed->Undo();
    ed->Undo();
    QCOMPARE(ed->RowString(0), tarn::Utf8ToCp932("x漢字y"));
    ed->Undo();
    QCOMPARE(ed->RowString(0), tarn::Utf8ToCp932("xかんじy"));
    // A selection goes first, as with typed text; the range counts from the caret after that.
    ed->SetRowCol(0, 1);
    ed->SetSelLength(4);  // かん
    CommitReplacing(*ed, QStringLiteral("漢"), 0, 1);  // じ replaced too
    QCOMPARE(ed->RowString(0), tarn::Utf8ToCp932("x漢y"));
    // A read-only control changes nothing.
    ed->ReadOnly = true;
    CommitReplacing(*ed, QStringLiteral("w"), -1, 1);
    QCOMPARE(ed->RowString(0), tarn::Utf8ToCp932("x漢y"));
  }

  void InputMethodBlankOverWholeLinesReplacesThem() {
    for (const QString& blank : {QStringLiteral(" "), QStringLiteral("　")}) {
      auto ed = MakeEditor();
      ed->LineIndent = true;
      AddLines(*ed, {"one", "two", "three"});
      ed->setFocus();
      ed->SetRowCol(0, 0);
      ed->SetSelLength(10);  // "one" and "two" with their line breaks
      Commit(*ed, blank);
      QCOMPARE(ed->Lines.Text(), tarn::Utf8ToCp932(blank.toStdString()) + "three");
      QVERIFY(!ed->Selected());
      QCOMPARE(ed->Col(), blank == QStringLiteral(" ") ? 1 : 2);
      // The Space key still indents them.
      ed->SetRowCol(0, 0);
      ed->SetSelLength(ed->Lines.TextLength());
      QTest::keyClick(ed.get(), Qt::Key_Space);
      QCOMPARE(ed->RowString(0), " " + tarn::Utf8ToCp932(blank.toStdString()) + "three");
    }
  }

  void PreeditIsDrawnWithItsAttributes() {
    auto ed = MakeEditor(420, 120);
    ed->Color = Qt::white;
    ed->FontColor = Qt::black;
    QFont f(QString::fromUtf8("ＭＳ ゴシック"));
    f.setPixelSize(15);
    ed->setFont(f);
    AddLines(*ed, {"ab", tarn::Utf8ToCp932("次の行")});
    QVERIFY(Activate(*ed));
    ed->SetRowCol(0, 2);
    // かんじへんかん: the clause へんかん is the one being converted (highlighted), the rest
    // is underlined; the cursor stands at the start of the clause, hidden while the candidates
    // are shown.
    const QColor clauseBack(0, 0, 160), clauseText(255, 255, 255);
    QTextCharFormat underline;
    underline.setUnderlineStyle(QTextCharFormat::SingleUnderline);
    QTextCharFormat clause;
    clause.setBackground(clauseBack);
    clause.setForeground(clauseText);
    const QString text = QStringLiteral("かんじへんかん");
    Compose(*ed, text,
            {{QInputMethodEvent::TextFormat, 0, 3, underline},
             {QInputMethodEvent::TextFormat, 3, 4, clause},
             {QInputMethodEvent::Cursor, 3, 0, QVariant()}});
    QCOMPARE(ed->Lines.Text(), std::string("ab\r\n") + tarn::Utf8ToCp932("次の行"));  // nothing committed yet
    const QImage img = ed->grab().toImage();
    SaveScreenshot(*ed, "editor_composition_clause");
    // The clause's cells (8 to 15: four full-width characters from the caret's cell 2 on
    // after three) carry its background; no other cell does.
    QCOMPARE(CellsWithColour(*ed, img, 0, 24, clauseBack),
             (std::vector<int>{8, 9, 10, 11, 12, 13, 14, 15}));
    // The clause's glyphs are drawn in its foreground: white ink inside the background.
    const QPoint origin = ed->viewport()->pos();
    const int cw = ed->ColWidth(), rh = ed->RowHeight();
    const int x0 = origin.x() + ed->TextLeft(), y0 = origin.y() + ed->TextTop();
    int white = 0, back = 0;
    for (int y = y0; y < y0 + rh; ++y) {
      for (int x = x0 + 8 * cw; x < x0 + 16 * cw; ++x) {
        const QColor c = img.pixelColor(x, y);
        white += c.lightness() > 200;
        back += c == clauseBack;
      }
    }
    QVERIFY(white > 20);
    QVERIFY(back > 8 * cw * rh / 2);
    // The first clause is underlined and the highlighted one is not: an unbroken line of
    // black pixels below the glyphs across the cells of かんじ, none in the clause's cells.
    const auto underlined = [&](const QImage& im, int fromCell, int toCell) {
      for (int y = y0 + rh / 2; y < y0 + rh; ++y) {
        bool line = true;
        for (int x = x0 + fromCell * cw; x < x0 + toCell * cw && line; ++x) {
          const QColor c = im.pixelColor(x, y);
          line = c.red() < 80 && c.green() < 80 && c.blue() < 80;
        }
        if (line) return true;
      }
      return false;
    };
    QVERIFY(underlined(img, 2, 8));
    for (int cell = 8; cell < 16; ++cell) QVERIFY2(!underlined(img, cell, cell + 1), qPrintable(QString::number(cell)));
    // The input method is told the cursor inside the composition, at the clause.
    QCOMPARE(Query(*ed, Qt::ImCursorRectangle).toRect().topLeft(), CaretTopLeft(*ed, 0, 8));
    QCOMPARE(Query(*ed, Qt::ImCursorPosition).toInt(), 2);  // the text around it is the row's own
    QCOMPARE(Query(*ed, Qt::ImSurroundingText).toString(), QStringLiteral("ab"));

    // A visible cursor at the end of the composition: a bar over the whole row height there.
    const auto bar = [&](const QImage& im, int cell) {
      for (int x = x0 + cell * cw - 1; x <= x0 + cell * cw + 1; ++x) {
        bool full = true;
        for (int y = y0; y < y0 + rh && full; ++y) {
          const QColor c = im.pixelColor(x, y);
          full = c.red() < 80 && c.green() < 80 && c.blue() < 80;
        }
        if (full) return true;
      }
      return false;
    };
    QVERIFY(!bar(img, 16));
    Compose(*ed, text,
            {{QInputMethodEvent::TextFormat, 0, 7, underline}, {QInputMethodEvent::Cursor, 7, 1, QVariant()}});
    const QImage end = ed->grab().toImage();
    QVERIFY(bar(end, 16));
    QCOMPARE(CellsWithColour(*ed, end, 0, 24, clauseBack), std::vector<int>{});
    QVERIFY(underlined(end, 2, 16));
    QVERIFY(!underlined(end, 2, 17));
    QCOMPARE(Query(*ed, Qt::ImCursorRectangle).toRect().topLeft(), CaretTopLeft(*ed, 0, 16));

    // The commit: the text goes in and the composition's colours go.
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("漢字変換"));
    QApplication::sendEvent(ed.get(), &commit);
    QCOMPARE(ed->RowString(0), "ab" + tarn::Utf8ToCp932("漢字変換"));
    QCOMPARE(ed->Col(), 10);
    const QImage done = ed->grab().toImage();
    QVERIFY(!underlined(done, 2, 10));
  }

  void CompositionPushesTheRestOfItsRowRight() {
    auto ed = MakeEditor(420, 80);
    ed->Color = Qt::white;
    ed->FontColor = Qt::black;
    AddLines(*ed, {tarn::Utf8ToCp932("アルゴリズム|ソート")});
    ed->SetRowCol(0, 13);
    Compose(*ed, QStringLiteral("かな"), {});
    const QImage composing = ed->grab().toImage();
    SaveScreenshot(*ed, "editor_composition_mid_row");
    Commit(*ed, QStringLiteral("かな"));
    const QImage committed = ed->grab().toImage();
    // Right of the composition the row shows as it does once the text is in: ソート four cells on.
    const QPoint origin = ed->viewport()->pos();
    const int cw = ed->ColWidth(), x0 = origin.x() + ed->TextLeft(), y0 = origin.y() + ed->TextTop();
    QCOMPARE(composing.copy(x0 + 17 * cw, y0, 8 * cw, ed->RowHeight()),
             committed.copy(x0 + 17 * cw, y0, 8 * cw, ed->RowHeight()));
    QVERIFY(!InkColumns(committed, y0, y0 + ed->RowHeight(), x0 + 21 * cw, x0 + 23 * cw).empty());
  }

  void RandomInputMethodEventsUndoToTheStart() {
    // Commits with ranges anywhere, compositions with attributes out of range, selections set by
    // the input method, queries and painting in between: nothing may crash, and undoing every
    // step brings back the text byte for byte.
    auto ed = MakeEditor();
    ed->Lines.SetText(tarn::Utf8ToCp932("ab\tかな漢字\r\n半角ｶﾅと全角\r\n\r\nxyz") + "\x85\x40!");
    const std::string start = ed->Lines.Text();
    ed->setFocus();
    std::mt19937 rng(7);
    const QString pieces[] = {QStringLiteral("漢"), QStringLiteral("z"), QStringLiteral("　"), QStringLiteral(" "),
                              QStringLiteral("𠮷"), QStringLiteral("ｶ"), QString()};
    const auto piece = [&] { return pieces[rng() % std::size(pieces)]; };
    const auto any = [&](int span) { return static_cast<int>(rng() % static_cast<unsigned>(2 * span + 1)) - span; };
    QTextCharFormat format;
    format.setBackground(Qt::blue);
    format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    for (int i = 0; i < 400; ++i) {
      switch (rng() % 6) {
        case 0:
          CommitReplacing(*ed, piece() + piece(), any(8), any(4));
          break;
        case 1: {
          const QString text = piece() + piece() + piece();
          Compose(*ed, text,
                  {{QInputMethodEvent::TextFormat, any(4), any(6), format},
                   {QInputMethodEvent::Cursor, any(6), static_cast<int>(rng() % 2), QVariant()}});
          break;
        }
        case 2: {
          QInputMethodEvent e(piece(), {{QInputMethodEvent::Selection, any(10), any(6), QVariant()}});
          e.setCommitString(piece(), any(3), any(2));
          QApplication::sendEvent(ed.get(), &e);
          break;
        }
        case 3:
          ed->Caret.FreeCaret = rng() % 2;
          ed->SetRowCol(static_cast<int>(rng() % 6), static_cast<int>(rng() % 20));
          if (rng() % 3 == 0) ed->SetSelLength(static_cast<int>(rng() % 12));
          if (rng() % 5 == 0) {
            ed->SetBoxSelection(static_cast<int>(rng() % 5), static_cast<int>(rng() % 12), static_cast<int>(rng() % 5),
                                static_cast<int>(rng() % 12));
          }
          break;
        case 4:
          for (const Qt::InputMethodQuery q :
               {Qt::ImCursorRectangle, Qt::ImAnchorRectangle, Qt::ImSurroundingText, Qt::ImCursorPosition,
                Qt::ImAnchorPosition, Qt::ImCurrentSelection, Qt::ImTextBeforeCursor, Qt::ImTextAfterCursor}) {
            Query(*ed, q);
          }
          break;
        case 5:
          ed->grab();
          break;
      }
      const int pos = Query(*ed, Qt::ImCursorPosition).toInt();
      QVERIFY(pos >= 0 && pos <= Query(*ed, Qt::ImSurroundingText).toString().size());
    }
    Compose(*ed, QString(), {});
    while (ed->CanUndo()) ed->Undo();
    QCOMPARE(ed->Lines.Text(), start);
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

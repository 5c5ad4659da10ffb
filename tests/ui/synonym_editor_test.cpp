// The synonym dictionary editor as a user drives it, under the offscreen platform: the sample of
// a new dictionary, saving, the three ways to cancel, an empty save, and files that cannot be
// read or written.
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>

#include "core/encoding.h"
#include "editor/ko_editor.h"
#include "pattern/synonym_dic.h"
#include "ui/fr_synonym_dic.h"

#include "window_test_support.h"

using tarn::Utf8ToCp932;
using tarn::editor::TKoEditor;
using tarn::ui::TFormSynonymDic;
using namespace tarn::ui::testing;

namespace {

QByteArray ReadBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QPushButton& Button(TFormSynonymDic& form, const char* name) {
  auto* button = form.findChild<QPushButton*>(QLatin1String(name));
  Q_ASSERT(button);
  return *button;
}

// Runs `act` on the editor once it is open and active; closes it afterwards whatever `act` did,
// so that a failed check cannot leave the test waiting on a modal window.
class WhenOpen {
 public:
  explicit WhenOpen(std::function<void(TFormSynonymDic&)> act) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this, act = std::move(act)] {
      auto* form = qobject_cast<TFormSynonymDic*>(QApplication::activeModalWidget());
      if (!form || ran) return;
      ran = true;
      timer_.stop();
      form->activateWindow();
      if (QTest::qWaitForWindowActive(form)) act(*form);
      if (form->isVisible()) form->reject();
    });
    timer_.start();
  }
  bool ran = false;

 private:
  QTimer timer_;
};

bool Edit(const QString& path) {
  return TFormSynonymDic::Edit(nullptr, path.toStdString(), QFont(QStringLiteral("IPAPGothic"), 10));
}

}  // namespace

class SynonymEditorTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> data_;
  QString DicFile() const { return data_->filePath(QStringLiteral("Synonym.Dic")); }

 private slots:
  void init() { data_ = std::make_unique<QTemporaryDir>(); }

  void firstSaveCreatesTheDirectoryAndTheFile() {
    const QString path = data_->filePath(QStringLiteral("new/data/Synonym.Dic"));
    WhenOpen open([](TFormSynonymDic& form) {
      TKoEditor& ed = form.KoEditor1();
      QCOMPARE(ed.Lines.Count(), 2);
      QCOMPARE(ed.RowString(0), Utf8ToCp932("//コメント"));
      QCOMPARE(form.size(), QSize(529, 393));
      // The comment row is drawn green, the group row is not.
      const QImage image = ed.viewport()->grab().toImage();
      auto greenInRow = [&](int row) {
        int n = 0;
        for (int x = ed.TextLeft(); x < ed.TextLeft() + 10 * ed.ColWidth(); ++x)
          for (int y = ed.TextTop() + row * ed.RowHeight(); y < ed.TextTop() + (row + 1) * ed.RowHeight(); ++y)
            n += image.pixelColor(x, y) == QColor(0, 128, 0);
        return n;
      };
      QVERIFY(greenInRow(0) > 0);
      QCOMPARE(greenInRow(1), 0);
      Screenshot(form, "synonym-editor");
      // A composition not yet committed is saved as the user sees it.
      ed.SetRowCol(1, 0);
      QInputMethodEvent composing(QStringLiteral("京都,"), {});
      QApplication::sendEvent(&ed, &composing);
      Button(form, "KoFlatButtonOK").click();
    });
    QVERIFY(Edit(path));
    QVERIFY(open.ran);
    QCOMPARE(ReadBytes(path),
             QByteArray::fromStdString(Utf8ToCp932("//コメント\r\n京都,yamada,山田,ヤマダ,やまだ,yamada@example.jp")));
    // The comment is skipped when the dictionary is loaded: one group of six words.
    const auto dic = tarn::pattern::ReadSynonymDic(path.toStdString());
    QVERIFY(dic && dic->size() == 1 && dic->front().size() == 6);
  }

  void cancelLeavesTheFileAsItWas_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("キャンセル") << QStringLiteral("button");
    QTest::newRow("Escape") << QStringLiteral("escape");
    QTest::newRow("close box") << QStringLiteral("close");
  }
  void cancelLeavesTheFileAsItWas() {
    QFETCH(QString, how);
    WriteCp932(DicFile(), "東京,とうきょう\n");
    WhenOpen open([how](TFormSynonymDic& form) {
      TKoEditor& ed = form.KoEditor1();
      QCOMPARE(ed.RowString(0), Utf8ToCp932("東京,とうきょう"));
      QInputMethodEvent typed;
      typed.setCommitString(QStringLiteral("大阪,"));
      QApplication::sendEvent(&ed, &typed);
      if (how == "button")
        Button(form, "KoFlatButtonCancel").click();
      else if (how == "escape")
        QTest::keyClick(&ed, Qt::Key_Escape);
      else
        form.close();
      QVERIFY(!form.isVisible());
    });
    QVERIFY(!Edit(DicFile()));
    QVERIFY(open.ran);
    QCOMPARE(ReadBytes(DicFile()), QByteArray::fromStdString(Utf8ToCp932("東京,とうきょう\n")));
  }

  void emptyTextSavesAnEmptyFile() {
    WriteCp932(DicFile(), "a,b\r\n");
    WhenOpen open([](TFormSynonymDic& form) {
      TKoEditor& ed = form.KoEditor1();
      QTest::keyClick(&ed, Qt::Key_A, Qt::ControlModifier);
      QTest::keyClick(&ed, Qt::Key_Delete);
      Button(form, "KoFlatButtonOK").click();
    });
    QVERIFY(Edit(DicFile()));
    QVERIFY(QFileInfo::exists(DicFile()));
    QCOMPARE(ReadBytes(DicFile()), QByteArray());
    const auto dic = tarn::pattern::ReadSynonymDic(DicFile().toStdString());
    QVERIFY(dic && dic->empty());
  }

  void unwritableFileKeepsTheEditorOpenWithTheText() {
    WriteCp932(data_->filePath(QStringLiteral("blocker")), "");
    const QString path = data_->filePath(QStringLiteral("blocker/Synonym.Dic"));
    QStringList messages;
    WhenOpen open([&](TFormSynonymDic& form) {
      QInputMethodEvent typed;
      typed.setCommitString(QStringLiteral("京都,きょうと"));
      QApplication::sendEvent(&form.KoEditor1(), &typed);
      {
        MessageBoxAnswerer answer;
        Button(form, "KoFlatButtonOK").click();
        messages = answer.texts;
      }
      QVERIFY(form.isVisible());
      QVERIFY(form.KoEditor1().RowString(0).starts_with(Utf8ToCp932("京都,きょうと")));
      Button(form, "KoFlatButtonCancel").click();
    });
    QVERIFY(!Edit(path));
    QCOMPARE(messages, QStringList{QStringLiteral("ファイル %1 を作成できません").arg(path)});
  }

  void unreadableFileIsNotOpened() {
    QVERIFY(QDir().mkpath(DicFile()));
    WhenOpen open([](TFormSynonymDic&) {});
    MessageBoxAnswerer answer;
    QVERIFY(!Edit(DicFile()));
    QVERIFY(!open.ran);
    QCOMPARE(answer.texts, QStringList{QStringLiteral("ファイル %1 は開けません").arg(DicFile())});
  }

  void popupOffersNoUndoBeforeAnEdit() {
    WhenOpen open([](TFormSynonymDic& form) {
      TKoEditor& ed = form.KoEditor1();
      QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(30, 30), ed.viewport()->mapToGlobal(QPoint(30, 30)));
      QApplication::sendEvent(ed.viewport(), &e);
      auto* undo = form.findChild<QAction*>(QStringLiteral("ActionEditUndo"));
      QCOMPARE(undo->text(), QStringLiteral("元に戻す(&U)"));
      QVERIFY(!undo->isEnabled());
      form.findChild<QMenu*>(QStringLiteral("PopupMenuEdit"))->close();
    });
    QVERIFY(!Edit(DicFile()));
    QVERIFY(open.ran);
  }
};

QTEST_MAIN(SynonymEditorTest)
#include "synonym_editor_test.moc"

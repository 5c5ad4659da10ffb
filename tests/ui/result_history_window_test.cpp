// Back, Forward and clearing of the result history, and saving a result, as a user does them in
// the window.
#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <optional>

#include "../core/file_test_support.h"
#include "settings/settings_file.h"
#include "ui/toolkit_dialogs.h"
#include "window_test_support.h"

using tarn::ui::ActionId;
using tarn::ui::TFormTarnMain;
using namespace tarn::ui::testing;

namespace {

// Chooses a file name and a filter in the save dialog as soon as it opens.
class SaveDialogAnswerer {
 public:
  SaveDialogAnswerer(QString name, QString filter) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this, name, filter] {
      if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
        timer_.stop();
        for (QAbstractButton* button : dialog->findChild<QDialogButtonBox*>()->buttons()) buttons << button->text();
        dialog->selectNameFilter(filter);
        dialog->selectFile(name);
        Screenshot(*dialog, "save-dialog");
        QMetaObject::invokeMethod(dialog, "accept");
      }
    });
    timer_.start();
  }
  QStringList buttons;

 private:
  QTimer timer_;
};

QString FindText(TFormTarnMain& w) { return Box(w, "KoFlatComboBoxFindString").currentText(); }

}  // namespace

class ResultHistoryWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> data_;

  void Run(TFormTarnMain& w, const QString& find) {
    Request(w, find, kSamples, QStringLiteral("*.txt"));
    QTest::keyClick(&w, Qt::Key_F3);
  }
  QString Tmp() const { return data_->path() + "/Tmp"; }

 private slots:
  void initTestCase() { QVERIFY(tarn::ui::InstallToolkitTranslations(*qApp)); }
  void init() { data_ = std::make_unique<QTemporaryDir>(); }

  void backAndForwardRestoreResultsAndRequests() {
    {
      auto w = OpenWindow(data_->path());
      QVERIFY(w);
      Run(*w, QStringLiteral("東京"));
      const int tokyoRows = w->KoEditorResult().Lines.Count();
      auto* sub = w->findChild<QAbstractButton*>("FlatCheckBoxFindSubDirectory");
      sub->setChecked(false);
      Run(*w, QStringLiteral("コンピュータ"));
      Run(*w, QStringLiteral("zzz-none"));  // no lines: no entry
      QVERIFY(QFile::exists(Tmp() + "/ResultList.2") && !QFile::exists(Tmp() + "/ResultList.3"));
      QVERIFY(!w->Action(ActionId::ResultGoForward)->isEnabled());

      // Back answers its key also in a box, which would take it as a word move.
      auto& findBox = Box(*w, "KoFlatComboBoxFindString");
      findBox.setFocus();
      QTest::keyClick(&findBox, Qt::Key_Left, Qt::ControlModifier);
      QCOMPARE(FindText(*w), QStringLiteral("東京"));
      QCOMPARE(w->KoEditorResult().Lines.Count(), tokyoRows);
      QVERIFY2(w->StatusText().startsWith(QStringLiteral(" %1個").arg(tokyoRows)), qPrintable(w->StatusText()));
      Screenshot(*w, "main-window-after-back");
      QCOMPARE(w->ResultLineInfos().size(), static_cast<std::size_t>(tokyoRows));
      QVERIFY(sub->isChecked() && Box(*w, "KoFlatComboBoxFindDirectoryMask").isEnabled());
      QVERIFY(!w->Action(ActionId::ResultGoBack)->isEnabled());

      QTest::keyClick(w.get(), Qt::Key_Right, Qt::ControlModifier);
      QCOMPARE(FindText(*w), QStringLiteral("コンピュータ"));
      QVERIFY(!sub->isChecked() && !Box(*w, "KoFlatComboBoxFindDirectoryMask").isEnabled());
      QVERIFY(!w->Action(ActionId::ResultGoForward)->isEnabled());
      QVERIFY(w->close());
    }
    // A restart shows an empty view; Back shows the newest entry. Back twice, then a run: entry 3.
    auto w = OpenWindow(data_->path());
    QVERIFY(w);
    QCOMPARE(w->KoEditorResult().Lines.Count(), 0);
    QTest::keyClick(w.get(), Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(FindText(*w), QStringLiteral("コンピュータ"));
    QTest::keyClick(w.get(), Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(FindText(*w), QStringLiteral("東京"));
    Run(*w, QStringLiteral("大阪"));
    QVERIFY(QFile::exists(Tmp() + "/ParamList.3") && QFile::exists(Tmp() + "/ParamList.2"));
    QVERIFY(w->Action(ActionId::ResultGoBack)->isEnabled() && !w->Action(ActionId::ResultGoForward)->isEnabled());

    // A damaged entry shows its error and leaves the window as it was.
    QFile::remove(Tmp() + "/GerpList.2");
    MessageBoxAnswerer answerer;
    QTest::keyClick(w.get(), Qt::Key_Left, Qt::ControlModifier);
    QCOMPARE(answerer.texts.size(), 1);
    QCOMPARE(FindText(*w), QStringLiteral("大阪"));
    Reactivate(*w);

    // Clearing the history empties Tmp, files the program did not write included.
    QFile stray(Tmp() + "/stray.txt");
    QVERIFY(stray.open(QIODevice::WriteOnly));
    stray.close();
    QTest::keyClick(w.get(), Qt::Key_H, Qt::ControlModifier);
    QVERIFY(QDir(Tmp()).isEmpty());
    QVERIFY(!w->Action(ActionId::ResultGoBack)->isEnabled());
    QVERIFY(w->KoEditorResult().Lines.Count() > 0);
  }

  // An entry that cannot be stored is reported and leaves none of its files, temporary or not.
  void aFailedEntryShowsItsErrorAndLeavesNoFile() {
    auto w = OpenWindow(data_->path());
    MessageBoxAnswerer answerer;
    std::optional<tarn::testing::FileSizeLimit> fullDisk(100);
    Run(*w, QStringLiteral("東京"));
    fullDisk.reset();
    QCOMPARE(answerer.texts.size(), 1);
    QVERIFY2(answerer.texts[0].contains(QStringLiteral("List.1")), qPrintable(answerer.texts[0]));
    QCOMPARE(QDir(Tmp()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{});
    QVERIFY(w->KoEditorResult().Lines.Count() > 0);
  }

  void sharesEntryNumbersWithTarngrep() {
    auto w = OpenWindow(data_->path());
    QVERIFY(w);
    Run(*w, QStringLiteral("東京"));
    // Another program stored entries 2 and 3 meanwhile.
    tarn::settings::SaveResultHistoryCounters((data_->path() + "/tarn.ini").toStdString(), 1, 3);
    Run(*w, QStringLiteral("大阪"));
    QVERIFY(QFile::exists(Tmp() + "/ParamList.4"));
    QVERIFY(w->close());
    const auto counters = tarn::settings::LoadResultHistoryCounters((data_->path() + "/tarn.ini").toStdString());
    QCOMPARE(counters.Last, 4);
  }

  void saveAppliesExtensionRuleAndAsksBeforeReplacing_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("written");
    QTest::newRow("html") << "result.html" << "Html File (*.htm)" << "result.htm";
    QTest::newRow("text") << "result" << "Text File (*.txt)" << "result.txt";
  }
  void saveAppliesExtensionRuleAndAsksBeforeReplacing() {
    QFETCH(QString, chosen);
    QFETCH(QString, filter);
    QFETCH(QString, written);
    auto w = OpenWindow(data_->path());
    QVERIFY(w);
    Run(*w, QStringLiteral("東京"));
    const QString target = data_->path() + "/" + written;
    {
      SaveDialogAnswerer dialog(data_->path() + "/" + chosen, filter);
      QTest::keyClick(w.get(), Qt::Key_S, Qt::ControlModifier);
      // The toolkit's dialog speaks Japanese, as the program does.
      QCOMPARE(dialog.buttons, (QStringList{QStringLiteral("保存(&S)"), QStringLiteral("キャンセル")}));
    }
    Reactivate(*w);
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromStdString(tarn::Cp932ToUtf8(file.readAll().toStdString()));
    file.close();
    QVERIFY(text.contains(QStringLiteral("東京")));
    QCOMPARE(text.startsWith(QStringLiteral("<html>")), written.endsWith(QStringLiteral(".htm")));

    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("keep");
    file.close();
    for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
      SaveDialogAnswerer dialog(data_->path() + "/" + chosen, filter);
      MessageBoxAnswerer question(answer);
      QTest::keyClick(w.get(), Qt::Key_S, Qt::ControlModifier);
      QCOMPARE(question.texts.size(), 1);
      QCOMPARE(QFileInfo(target).size() == 4, answer == QMessageBox::No);
      Reactivate(*w);
    }
  }
};

QTEST_MAIN(ResultHistoryWindowTest)
#include "result_history_window_test.moc"

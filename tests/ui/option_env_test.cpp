// The options dialog as a user drives it: the confirmation's path checks, the history editor, the
// shortcut page's capture and conflicts, the help page, and the help menu the entries make.
#include <QCheckBox>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QHeaderView>
#include <QMenuBar>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

#include "core/comma_text.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"
#include "ui/color_picker_button.h"
#include "ui/editor_detection.h"
#include "ui/fr_cmd_line_help.h"
#include "ui/fr_find_string.h"
#include "ui/fr_option_env.h"
#include "ui/help_menu.h"
#include "ui/shortcut_edit.h"
#include "ui/ui_settings_values.h"
#include "window_test_support.h"

using namespace tarn::ui;
using namespace tarn::ui::testing;
namespace settings = tarn::settings;

namespace {

std::string Sjis(const char* utf8) { return tarn::Utf8ToCp932(utf8); }

// Receives what the help menu hands to the desktop.
class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> urls;
 public slots:
  void Open(const QUrl& url) { urls.append(url); }
};

}  // namespace

class OptionEnvTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  QString ini_;

  QString Path(const char* name) const { return dir_->path() + "/" + QString::fromUtf8(name); }

  static settings::TTarnSettings Sample() {
    settings::TTarnSettings s;
    s.FindRequest.FindString = Sjis("東京,大阪,\"a b\"");
    s.FindRequest.FindDirectory = "/tmp";
    s.FindRequest.FindFileMask = "*.txt,*.c,*.h,*.md";
    s.FindRequest.FindDirectoryMask = "*";
    s.HelpEntries = {Sjis("マニュアル,http://example.com/manual.html,Ctrl+F1"), Sjis("更新履歴,/nowhere/history.txt")};
    return s;
  }

  std::unique_ptr<TFormOptionEnv> Open(const settings::TTarnSettings& s = Sample()) {
    auto form = std::make_unique<TFormOptionEnv>(s, ini_.toStdString(), nullptr);
    form->show();
    if (!QTest::qWaitForWindowActive(form.get())) return nullptr;
    return form;
  }

  template <typename T = QWidget>
  static T& Get(QWidget& form, const char* name) {
    auto* widget = form.findChild<T*>(QLatin1String(name));
    Q_ASSERT(widget);
    return *widget;
  }
  static QTabWidget& Pages(QWidget& form) { return Get<QTabWidget>(form, "PageControl"); }
  static void Click(QWidget& form, const char* button) { QTest::mouseClick(&Get(form, button), Qt::LeftButton); }

  static QStringList Items(QListWidget& list) {
    QStringList items;
    for (int i = 0; i < list.count(); ++i) items << list.item(i)->text();
    return items;
  }

  static void ChooseCommand(QWidget& form, int category, int row) {
    Get<QComboBox>(form, "FlatComboBoxCate").setCurrentIndex(category);
    auto& commands = Get<QListWidget>(form, "FlatListBoxCmd");
    QTest::mouseClick(commands.viewport(), Qt::LeftButton, {}, commands.visualItemRect(commands.item(row)).center());
  }

  // Presses a combination in a capture field, as the user does once the field has the focus.
  static TShortCutEdit& Press(QWidget& form, const char* field, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    auto& edit = Get<TShortCutEdit>(form, field);
    if (!edit.hasFocus()) QTest::mouseClick(&edit, Qt::LeftButton);
    // Without a text: QTest knows none for the Japanese keys, and the field reads only the key.
    QTest::sendKeyEvent(QTest::Click, &edit, key, QString(), modifiers);
    return edit;
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    ini_ = Path("tarn.ini");
  }

  void confirmationChecksPathsInOrder_data() {
    QTest::addColumn<QString>("exe");
    QTest::addColumn<QString>("initialDir");
    QTest::addColumn<QString>("saveDir");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("focused");
    QTest::addColumn<QString>("reason");  // the message's first line
    QTest::newRow("all empty") << "" << "" << "" << -1 << "" << "";
    QTest::newRow("editor found on PATH") << "sh" << "" << "" << -1 << "" << "";
    QTest::newRow("missing editor first") << "/nowhere/editor" << "/nowhere" << "/nowhere" << 0
                                          << "KoFlatComboBoxEditorExeName"
                                          << "エディタプログラム「/nowhere/editor」が見つかりません。";
    QTest::newRow("editor is a folder") << "/tmp" << "" << "" << 0 << "KoFlatComboBoxEditorExeName" << "エディタプログラム「/tmp」はフォルダです。";
    QTest::newRow("missing start directory") << "" << "/nowhere" << "/nowhere" << 0 << "FlatEditLeftPanelInitialDir"
                                             << "起動時ディレクトリ「/nowhere」が見つかりません。";
    QTest::newRow("missing save directory") << "" << "/tmp" << "/nowhere" << 1
                                            << "KoFlatComboBoxFindResultSaveDirectory"
                                            << "検索結果の保存ディレクトリ「/nowhere」が見つかりません。";
    // A character without a CP932 form would be stored as "?": refused before any path check.
    QTest::newRow("editor outside CP932") << "/tmp/편집기" << "/nowhere" << "" << 0 << "KoFlatComboBoxEditorExeName"
                                          << "エディタプログラムの「편」は Shift-JIS で表せないため設定できません。";
    QTest::newRow("save directory outside CP932") << "" << "/tmp" << "/tmp/😀" << 1
                                                  << "KoFlatComboBoxFindResultSaveDirectory"
                                                  << "検索結果の保存ディレクトリの「😀」は Shift-JIS で表せないため設定できません。";
  }
  void confirmationChecksPathsInOrder() {
    QFETCH(QString, exe);
    QFETCH(QString, initialDir);
    QFETCH(QString, saveDir);
    QFETCH(int, page);
    QFETCH(QString, focused);
    QFETCH(QString, reason);
    auto form = Open();
    QVERIFY(form);
    Get<TKoFlatComboBox>(*form, "KoFlatComboBoxEditorExeName").setEditText(exe);
    Get<QLineEdit>(*form, "FlatEditLeftPanelInitialDir").setText(initialDir);
    Get<TKoFlatComboBox>(*form, "KoFlatComboBoxFindResultSaveDirectory").setEditText(saveDir);
    Pages(*form).setCurrentIndex(2);
    MessageBoxAnswerer answerer;
    Click(*form, "KoFlatButtonOk");
    if (page < 0) {
      QVERIFY(answerer.texts.isEmpty());
      QCOMPARE(form->result(), int(QDialog::Accepted));
      QCOMPARE(form->BeepCount(), 0);
      QCOMPARE(QString::fromStdString(form->Result().Editor.ExeName), exe);
      QVERIFY(QFile::exists(ini_));
      return;
    }
    QVERIFY(form->isVisible());
    QCOMPARE(form->BeepCount(), 1);
    QCOMPARE(answerer.texts.size(), 1);
    QCOMPARE(answerer.texts[0].section('\n', 0, 0), reason);
    QCOMPARE(Pages(*form).currentIndex(), page);
    Reactivate(*form);
    QWidget& field = Get(*form, focused.toLatin1().constData());
    QVERIFY(QApplication::focusWidget() == &field || QApplication::focusWidget()->parentWidget() == &field);
    // Nothing was stored: no history written, the box's history as it was.
    QVERIFY(!QFile::exists(ini_));
    QVERIFY(Get<TKoFlatComboBox>(*form, "KoFlatComboBoxEditorExeName").HistoryItems().empty());
  }

  void deletedHistoryItemsSurviveSwitchingAndCancelDiscardsThem() {
    auto form = Open();
    QVERIFY(form);
    auto& selector = Get<QComboBox>(*form, "KoFlatComboBoxFindHistory");
    auto& list = Get<QListWidget>(*form, "FlatListBoxFindHistory");
    auto& del = Get<QPushButton>(*form, "KoFlatButtonDelHistory");
    QCOMPARE(selector.currentText(), QStringLiteral("検索文字列"));
    QCOMPARE(Items(list), QStringList({"東京", "大阪", "a b"}));
    QVERIFY(!del.isEnabled());

    selector.setCurrentIndex(selector.findText(QStringLiteral("ファイルマスク")));
    QCOMPARE(Items(list), QStringList({"*.txt", "*.c", "*.h", "*.md"}));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(1)).center());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, list.visualItemRect(list.item(3)).center());
    QVERIFY(del.isEnabled());
    QTest::mouseClick(&del, Qt::LeftButton);
    QCOMPARE(Items(list), QStringList({"*.txt", "*.h"}));
    QVERIFY(!del.isEnabled());

    selector.setCurrentIndex(0);
    selector.setCurrentIndex(2);
    QCOMPARE(Items(list), QStringList({"*.txt", "*.h"}));
    QTest::keyClick(&list, Qt::Key_Escape);
    QCOMPARE(form->result(), int(QDialog::Rejected));
    QVERIFY(!form->isVisible());
    QVERIFY(!QFile::exists(ini_));

    // Confirmed, the same deletion reaches the result; the other histories keep their bytes.
    form = Open();
    QVERIFY(form);
    auto& list2 = Get<QListWidget>(*form, "FlatListBoxFindHistory");
    Get<QComboBox>(*form, "KoFlatComboBoxFindHistory").setCurrentIndex(2);
    list2.item(0)->setSelected(true);
    Click(*form, "KoFlatButtonDelHistory");
    Click(*form, "KoFlatButtonOk");
    QCOMPARE(form->result(), int(QDialog::Accepted));
    QCOMPARE(form->Result().FindRequest.FindFileMask, std::string("*.c,*.h,*.md"));
    QCOMPARE(form->Result().FindRequest.FindString, Sample().FindRequest.FindString);
  }

  void cancelByButtonOrCloseBoxKeepsEverything_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("キャンセル") << false;
    QTest::newRow("close box") << true;
  }
  void cancelByButtonOrCloseBoxKeepsEverything() {
    QFETCH(bool, closeBox);
    auto form = Open();
    QVERIFY(form);
    Get<TKoFlatComboBox>(*form, "KoFlatComboBoxEditorExeName").setEditText(QStringLiteral("sh"));
    Get<QSpinBox>(*form, "FlatSpinEditIntegerFindMaxHistory").setValue(3);
    if (closeBox)
      form->close();
    else
      Click(*form, "KoFlatButtonCancel");
    QCOMPARE(form->result(), int(QDialog::Rejected));
    QVERIFY(!QFile::exists(ini_));
  }

  void confirmationStoresEveryPage() {
    settings::TTarnSettings s = Sample();
    s.FindResult.ResultType = 7;  // no radio button stands for it
    s.FindResult.FileEncoding = tarn::FileEncodingChoice::kEucJp;  // written by hand: an item of its own
    s.Basic.FontSize = 13;        // no size the box offers
    auto form = Open(s);
    QVERIFY(form);
    // The faces the settings name are not installed here: the boxes show the faces drawn instead.
    QCOMPARE(Get<QComboBox>(*form, "KoFlatFontNameComboBoxBasic").currentText(), InstalledFace(s.Basic.FontName, false));
    QCOMPARE(Get<QComboBox>(*form, "KoFlatFontNameComboBoxFindResult").currentText(),
             InstalledFace(s.FindResult.FontName, true));
    QCOMPARE(Get<QComboBox>(*form, "KoFlatFontSizeComboBoxBasic").currentText(), QStringLiteral("13"));
    QCOMPARE(Get<QComboBox>(*form, "KoFlatFontSizeComboBoxFindResult").currentText(), QStringLiteral("10"));

    auto& maxHistory = Get<QSpinBox>(*form, "FlatSpinEditIntegerFindMaxHistory");
    QCOMPARE(maxHistory.value(), 32);
    maxHistory.setFocus();
    QTest::keyClick(&maxHistory, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(&maxHistory, QStringLiteral("5"));
    auto& panelSize = Get<QComboBox>(*form, "KoFlatFontSizeComboBoxLeftPanel");
    panelSize.setCurrentIndex(panelSize.findText(QStringLiteral("14")));
    QTest::mouseClick(&Get(*form, "FlatCheckBoxFindNoRegExp"), Qt::LeftButton);

    auto& panelFont = Get<QComboBox>(*form, "KoFlatFontNameComboBoxLeftPanel");
    const int otherFace = panelFont.findText(QStringLiteral("IPAPMincho"));
    if (otherFace >= 0) panelFont.setCurrentIndex(otherFace);
    Pages(*form).setCurrentIndex(1);
    // The hit background from the palette: the system window colour, then back to the default.
    auto& back = Get<TColorPickerButton>(*form, "ColorPickerButtonFindResultStyleBack");
    Get<QToolButton>(*back.menu(), "Color80000005").click();
    QCOMPARE(back.Value(), 0x80000005u);
    auto& fore = Get<TColorPickerButton>(*form, "ColorPickerButtonFindResultStyleFont");
    fore.SetValue(0x000000FF);
    Get<QPushButton>(*fore.menu(), "ColorDefault").click();
    QTest::mouseClick(&Get(*form, "FlatCheckBoxFindResultStyleUnderline"), Qt::LeftButton);
    QTest::mouseClick(&Get(*form, "FlatRadioButtonFindResultSaveTypeHtml"), Qt::LeftButton);
    auto& encoding = Get<QComboBox>(*form, "ComboBoxFindResultFileEncoding");
    QCOMPARE(encoding.currentText(), QStringLiteral("euc-jp"));
    encoding.setFocus();
    QTest::keyClick(&encoding, Qt::Key_Up);
    QCOMPARE(encoding.currentText(), QStringLiteral("Shift-JIS のみ"));
    Pages(*form).setCurrentIndex(2);
    QTest::mouseClick(&Get(*form, "FlatCheckBoxRunTimeLastFindDirectory"), Qt::LeftButton);

    Click(*form, "KoFlatButtonOk");
    QCOMPARE(form->result(), int(QDialog::Accepted));
    const settings::TTarnSettings& r = form->Result();
    QCOMPARE(r.FindRequest.MaxHistory, 5);
    QVERIFY(r.FindRequest.NoRegExp && !r.FindRequest.AutoComplete);
    QCOMPARE(r.Basic.FontName, s.Basic.FontName);
    QCOMPARE(r.Basic.FontSize, 13);
    QCOMPARE(r.FindResult.FontName, s.FindResult.FontName);
    QCOMPARE(r.LeftPanel.FontSize, 14);
    if (otherFace >= 0) QCOMPARE(r.LeftPanel.FontName, std::string("IPAPMincho"));
    QCOMPARE(r.FindResult.StringBackColor, 0x80000005u);
    QCOMPARE(r.FindResult.StringFontColor, settings::clBlue);
    QVERIFY(r.FindResult.StringStyleUnderline && !r.FindResult.StringStyleBold);
    QCOMPARE(r.FindResult.StringStyle, settings::fsUnderline);
    QCOMPARE(r.FindResult.ResultType, 7);
    QCOMPARE(r.FindResult.SaveType, 1);
    QCOMPARE(r.FindResult.FileEncoding, tarn::FileEncodingChoice::kCp932);
    QVERIFY(r.RunTime.LastFindDirectory && !r.RunTime.LastFindString);
    QCOMPARE(r.HelpEntries.size(), std::size_t(2));
    QCOMPARE(r.HelpEntries[1], Sjis("更新履歴,/nowhere/history.txt,"));
  }

  void fontBoxesOfferJapaneseFacesByPitch() {
    auto form = Open();
    QVERIFY(form);
    for (const char* name : {"KoFlatFontNameComboBoxBasic", "KoFlatFontNameComboBoxLeftPanel",
                             "KoFlatFontNameComboBoxFindResult"}) {
      auto& box = Get<QComboBox>(*form, name);
      const bool fixed = QLatin1String(name).endsWith(QLatin1String("FindResult"));
      QStringList faces;
      for (int i = 0; i < box.count(); ++i) {
        faces << box.itemText(i);
        QVERIFY(!faces.back().startsWith('@'));
        QCOMPARE(IsFixedPitchFace(faces.back()), fixed);
        QVERIFY(QFontDatabase::families(QFontDatabase::Japanese).contains(faces.back()));
      }
      QStringList sorted = faces;
      sorted.sort(Qt::CaseInsensitive);
      QCOMPARE(faces, sorted);
    }
    if (QFontDatabase::families().contains(QStringLiteral("IPAPGothic"))) {
      QVERIFY(Get<QComboBox>(*form, "KoFlatFontNameComboBoxBasic").findText(QStringLiteral("IPAPGothic")) >= 0);
      QVERIFY(Get<QComboBox>(*form, "KoFlatFontNameComboBoxFindResult").findText(QStringLiteral("IPAGothic")) >= 0);
    }
    auto& sizes = Get<QComboBox>(*form, "KoFlatFontSizeComboBoxBasic");
    QCOMPARE(sizes.count(), 15);
    QCOMPARE(sizes.itemText(14), QStringLiteral("48"));
  }

  void confirmedEditorAndSaveDirectoryHeadTheirHistoriesNextTime() {
    const QString editor = Path("editor");
    {
      QFile f(editor);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("#!/bin/sh\n");
    }
    QFile::setPermissions(editor, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    WriteCp932(ini_, "[Editor]\r\nHistoryExeName=/usr/bin/old,\"" + editor.toStdString() +
                         "\"\r\nHistoryCmdLine=-n%L\r\n[Other]\r\nKeep=1\r\n");
    auto form = Open();
    QVERIFY(form);
    auto& exe = Get<TKoFlatComboBox>(*form, "KoFlatComboBoxEditorExeName");
    QCOMPARE(exe.HistoryItems().size(), std::size_t(2));
    exe.setEditText(editor);
    Get<TKoFlatComboBox>(*form, "KoFlatComboBoxEditorCmdLine").setEditText(QStringLiteral("+%L %F"));
    Get<TKoFlatComboBox>(*form, "KoFlatComboBoxFindResultSaveDirectory").setEditText(dir_->path());
    // Enter in a history box confirms as the default button does.
    exe.setFocus();
    QTest::keyClick(&exe, Qt::Key_Return);
    QCOMPARE(form->result(), int(QDialog::Accepted));
    QCOMPARE(QString::fromStdString(form->Result().Editor.ExeName), editor);
    QCOMPARE(form->Result().Editor.CmdLine, std::string("+%L %F"));
    QCOMPARE(QString::fromStdString(form->Result().FindResult.SaveDirectory), dir_->path());

    const settings::TOptionHistories stored = settings::LoadOptionHistories(ini_.toStdString());
    QCOMPARE(tarn::ParseCommaText(stored.ExeName), std::vector<std::string>({editor.toStdString(), "/usr/bin/old"}));
    QCOMPARE(tarn::ParseCommaText(stored.CmdLine), std::vector<std::string>({"+%L %F", "-n%L"}));
    QCOMPARE(tarn::ParseCommaText(stored.SaveDirectory), std::vector<std::string>({dir_->path().toStdString()}));
    QCOMPARE(settings::IniFile::Load(ini_.toStdString()).ReadString("Other", "Keep", ""), std::string("1"));

    form = Open(form->Result());
    QVERIFY(form);
    QCOMPARE(Get<TKoFlatComboBox>(*form, "KoFlatComboBoxEditorCmdLine").itemText(0), QStringLiteral("+%L %F"));
    QCOMPARE(Get<TKoFlatComboBox>(*form, "KoFlatComboBoxFindResultSaveDirectory").itemText(0), dir_->path());
    QCOMPARE(Get<TKoFlatComboBox>(*form, "KoFlatComboBoxEditorExeName").itemText(0), editor);
  }

  void ctrlTabCyclesThePages() {
    auto form = Open();
    QVERIFY(form);
    QCOMPARE(Pages(*form).currentIndex(), 0);
    QVERIFY(HasFocus(Get<TKoFlatComboBox>(*form, "KoFlatComboBoxEditorExeName")));
    for (int expected : {1, 2, 3, 4, 0}) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
      QCOMPARE(Pages(*form).currentIndex(), expected);
    }
  }

  void capturedShortcutIsTakenFromItsCommand_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("No") << false;
    QTest::newRow("Yes") << true;
  }
  void capturedShortcutIsTakenFromItsCommand() {
    QFETCH(bool, yes);
    auto form = Open();
    QVERIFY(form);
    Pages(*form).setCurrentIndex(3);
    ChooseCommand(*form, 1, 0);
    auto& current = Get<QLineEdit>(*form, "FlatEditCurrentShortCut");
    auto& modify = Get<QPushButton>(*form, "KoFlatButtonModifyShortCut");
    QCOMPARE(Get<QListWidget>(*form, "FlatListBoxCmd").currentItem()->text(), QStringLiteral("検索開始"));
    QCOMPARE(current.text(), QStringLiteral("F3"));
    QVERIFY(!modify.isEnabled());
    QCOMPARE(Press(*form, "FlatEditNewShortCut", Qt::Key_Q, Qt::ControlModifier).text(), QStringLiteral("Ctrl+Q"));
    QVERIFY(modify.isEnabled());
    {
      MessageBoxAnswerer answerer(yes ? QMessageBox::Yes : QMessageBox::No);
      QTest::mouseClick(&modify, Qt::LeftButton);
      QCOMPARE(answerer.texts, QStringList({"ショートカット Ctrl+Q は［ファイル：終了］で使用されています。\n\n"
                                            "設定を置き換えますか？"}));
    }
    QCOMPARE(current.text(), yes ? QStringLiteral("Ctrl+Q") : QStringLiteral("F3"));
    ChooseCommand(*form, 0, 0);
    QCOMPARE(current.text(), yes ? QString() : QStringLiteral("Ctrl+Q"));
    Click(*form, "KoFlatButtonOk");
    const auto& shortCuts = form->Result().ShortCuts;
    QCOMPARE(shortCuts[0], yes ? settings::TShortCut(0) : settings::TShortCut(settings::scCtrl | 'Q'));
    QCOMPARE(shortCuts[1], yes ? settings::TShortCut(settings::scCtrl | 'Q') : settings::TShortCut(settings::key::F1 + 2));
  }

  void capturedShortcutIsTakenFromAHelpEntry() {
    auto form = Open();
    QVERIFY(form);
    Pages(*form).setCurrentIndex(3);
    ChooseCommand(*form, 2, 2);  // 結果：エディタで開く
    Press(*form, "FlatEditNewShortCut", Qt::Key_F1, Qt::ControlModifier);
    {
      MessageBoxAnswerer answerer(QMessageBox::Yes);
      Click(*form, "KoFlatButtonModifyShortCut");
      QCOMPARE(answerer.texts, QStringList({"ショートカット Ctrl+F1 は［ヘルプ設定：マニュアル］で使用されています。\n\n"
                                            "設定を置き換えますか？"}));
    }
    QCOMPARE(Get<QTreeWidget>(*form, "ListViewHelp").topLevelItem(0)->text(2), QString());
    Click(*form, "KoFlatButtonOk");
    QCOMPARE(form->Result().ShortCuts[7], settings::TShortCut(settings::scCtrl | settings::key::F1));
    QCOMPARE(form->Result().HelpEntries[0], Sjis("マニュアル,http://example.com/manual.html,"));
  }

  void captureFieldTakesTheDialogsKeysWhileFocused_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("captured");
    QTest::newRow("Enter") << int(Qt::Key_Return) << 0 << "Enter";
    QTest::newRow("Esc") << int(Qt::Key_Escape) << 0 << "Esc";
    QTest::newRow("Tab") << int(Qt::Key_Tab) << 0 << "Tab";
    QTest::newRow("Shift+Tab") << int(Qt::Key_Backtab) << int(Qt::ShiftModifier) << "Shift+Tab";
    QTest::newRow("Ctrl+Tab") << int(Qt::Key_Tab) << int(Qt::ControlModifier) << "Ctrl+Tab";
    QTest::newRow("Ctrl alone") << int(Qt::Key_Control) << int(Qt::ControlModifier) << "";
    QTest::newRow("Shift+!") << int(Qt::Key_Exclam) << int(Qt::ShiftModifier) << "Shift+1";
    QTest::newRow("変換") << int(Qt::Key_Henkan) << 0 << "変換";
  }
  void captureFieldTakesTheDialogsKeysWhileFocused() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, captured);
    auto form = Open();
    QVERIFY(form);
    Pages(*form).setCurrentIndex(3);
    ChooseCommand(*form, 0, 0);
    auto& ok = Get<QPushButton>(*form, "KoFlatButtonOk");
    auto& modify = Get<QPushButton>(*form, "KoFlatButtonModifyShortCut");
    Press(*form, "FlatEditNewShortCut", Qt::Key_X, Qt::AltModifier);
    QVERIFY(!ok.isDefault());
    auto& field = Press(*form, "FlatEditNewShortCut", Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(field.text(), captured);
    QCOMPARE(modify.isEnabled(), !captured.isEmpty());
    QVERIFY(form->isVisible());
    QVERIFY(field.hasFocus());
    QCOMPARE(Pages(*form).currentIndex(), 3);

    // Once the focus has left the field, Enter confirms and Esc cancels again.
    QTest::mouseClick(&Get(*form, "FlatListBoxCmd"), Qt::LeftButton);
    QVERIFY(ok.isDefault());
    QTest::keyClick(QApplication::focusWidget(), key == Qt::Key_Escape ? Qt::Key_Escape : Qt::Key_Return);
    QVERIFY(!form->isVisible());
    QCOMPARE(form->result(), key == Qt::Key_Escape ? int(QDialog::Rejected) : int(QDialog::Accepted));
  }

  void replaceQuestionKeepsItsLinesWhole() {
    auto form = Open();
    QVERIFY(form);
    Pages(*form).setCurrentIndex(3);
    ChooseCommand(*form, 0, 0);
    Press(*form, "FlatEditNewShortCut", Qt::Key_F5);  // held by ディレクトリツリーを最新情報に更新
    MessageBoxAnswerer answerer(QMessageBox::No);
    Click(*form, "KoFlatButtonModifyShortCut");
    QCOMPARE(answerer.texts.size(), qsizetype(1));
    QCOMPARE(answerer.brokenLines, QStringList());
  }

  // A settings file edited by hand: help entries past the ones present, and one key given twice.
  void handEditedSettingsAreSettledOnceAtStart() {
    WriteCp932(ini_, "[Tarn]\r\nVersion=1.1.9\r\nFontName=IPAPGothic\r\nFontSize=16\r\n[ShortCut]\r\nFindStart=Ctrl+O\r\nFindString=変換\r\n"
                     "[Help]\r\nCount=3\r\nItem0=マニュアル,http://example.com/,^S\r\nItem2=,,\r\n");
    const auto locations = settings::DataLocations::InDirectory(dir_->path().toStdString());
    {
      MessageBoxAnswerer answerer;
      TFormTarnMain w(locations, {});
      w.show();
      QTRY_COMPARE(answerer.texts.size(), qsizetype(1));
      QVERIFY(answerer.texts[0].contains(QStringLiteral("Ctrl+O ［検索：検索開始］に残し、［結果：エディタで開く］から外しました。")));
      QVERIFY(answerer.texts[0].contains(QStringLiteral("Ctrl+S ［結果：検索結果を保存］に残し、［ヘルプ設定：マニュアル］から外しました。")));
      QCOMPARE(answerer.brokenLines, QStringList());
      QCOMPARE(w.Action(ActionId::FindStart)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
      QVERIFY(w.Action(ActionId::ResultEditor)->shortcut().isEmpty());
      const QList<QAction*> entries = w.PopupMenuHelp().actions();
      QCOMPARE(entries.size(), qsizetype(1));
      QVERIFY(entries[0]->shortcut().isEmpty());
      for (const QMenu* menu : w.findChildren<QMenu*>()) QCOMPARE(menu->font().pointSize(), 16);

      // 変換 opens the words window; with no position stored it opens clear of the menus and the search box.
      Reactivate(w);
      QTest::sendKeyEvent(QTest::Click, &w, Qt::Key_Henkan, QString(), {});
      QVERIFY(QTest::qWaitForWindowExposed(&w.FormFindString()));
      const QRect placed = w.FormFindString().frameGeometry();
      const TKoFlatComboBox& box = Box(w, "KoFlatComboBoxFindString");
      QVERIFY(!placed.intersects(QRect(w.menuBar()->mapToGlobal(QPoint(0, 0)), w.menuBar()->size())));
      QVERIFY(!placed.intersects(QRect(box.mapToGlobal(QPoint(0, 0)), box.size())));
      QVERIFY(w.screen()->availableGeometry().contains(placed));
      QVERIFY(w.close());
    }
    const settings::IniFile ini = settings::IniFile::Load(ini_.toStdString());
    QCOMPARE(ini.ReadInteger("Help", "Count", -1), 1);
    QCOMPARE(ini.ReadString("Help", "Item0", ""), Sjis("マニュアル,http://example.com/,"));
    QCOMPARE(ini.ReadString("ShortCut", "ResultEditor", "?"), std::string());
    // Settled for good: the next start says nothing.
    MessageBoxAnswerer answerer;
    QVERIFY(OpenWindow(dir_->path()));
    QVERIFY(answerer.texts.isEmpty());
  }

  void helpPageChecksItsFields_data() {
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("refused");
    QTest::addColumn<QString>("reason");  // the message's first line
    QTest::newRow("address") << "Web" << "http://example.com/q?a=1" << "" << "";
    QTest::newRow("secure address") << "Web" << "https://example.com/" << "" << "";
    QTest::newRow("existing file") << "ファイル" << "%1/help.html" << "" << "";
    QTest::newRow("upper-case prefix") << "Web" << "HTTP://example.com/" << "FlatEditHelpFile" << "ファイル名「HTTP://example.com/」が見つかりません。";
    QTest::newRow("missing file") << "Web" << "%1/none.html" << "FlatEditHelpFile" << "ファイル名「%1/none.html」が見つかりません。";
    QTest::newRow("a folder") << "Web" << "%1" << "FlatEditHelpFile" << "ファイル名「%1」はファイルではありません。";
    QTest::newRow("empty title") << "" << "http://example.com/" << "FlatEditHelpTitle" << "タイトルを入力してください。";
    QTest::newRow("title outside CP932") << "도움말" << "http://example.com/" << "FlatEditHelpTitle"
                                         << "タイトルの「도」は Shift-JIS で表せないため設定できません。";
  }
  void helpPageChecksItsFields() {
    QFETCH(QString, title);
    QFETCH(QString, file);
    QFETCH(QString, refused);
    QFETCH(QString, reason);
    WriteCp932(Path("help.html"), "<p>ヘルプ</p>");
    file.replace(QStringLiteral("%1"), dir_->path());
    reason.replace(QStringLiteral("%1"), dir_->path());
    auto form = Open();
    QVERIFY(form);
    Pages(*form).setCurrentIndex(4);
    auto& list = Get<QTreeWidget>(*form, "ListViewHelp");
    QCOMPARE(list.topLevelItemCount(), 2);
    QCOMPARE(list.topLevelItem(0)->text(2), QStringLiteral("Ctrl+F1"));
    QCOMPARE(list.topLevelItem(1)->text(2), QString());
    auto& add = Get<QPushButton>(*form, "KoFlatButtonHelpAdd");
    QVERIFY(!add.isEnabled());
    Get<QLineEdit>(*form, "FlatEditHelpTitle").setText(title);
    Get<QLineEdit>(*form, "FlatEditHelpFile").setText(file);
    Press(*form, "FlatEditHelpShortCut", Qt::Key_F2, Qt::ShiftModifier);
    QCOMPARE(Get<QLineEdit>(*form, "FlatEditHelpShortCut").text(), QStringLiteral("Shift+F2"));
    MessageBoxAnswerer answerer;
    // An empty title leaves "追加" disabled; the check still holds for a press that gets through.
    if (title.isEmpty()) {
      QVERIFY(!add.isEnabled());
      form->KoFlatButtonHelpAddClick();
    } else {
      QVERIFY(add.isEnabled());
      QTest::mouseClick(&add, Qt::LeftButton);
    }
    QCOMPARE(answerer.texts.isEmpty() ? QString() : answerer.texts[0].section('\n', 0, 0), reason);
    if (refused.isEmpty()) {
      QCOMPARE(form->BeepCount(), 0);
      QCOMPARE(list.topLevelItemCount(), 3);
      QCOMPARE(list.topLevelItem(2)->text(0), title);
      QCOMPARE(list.topLevelItem(2)->text(1), file);
      QCOMPARE(list.topLevelItem(2)->text(2), QStringLiteral("Shift+F2"));
    } else {
      QCOMPARE(form->BeepCount(), 1);
      QCOMPARE(list.topLevelItemCount(), 2);
      Reactivate(*form);
      QCOMPARE(QApplication::focusWidget(), &Get(*form, refused.toLatin1().constData()));
    }
  }

  void helpRowsMoveModifyAndDelete() {
    auto form = Open();
    QVERIFY(form);
    Pages(*form).setCurrentIndex(4);
    auto& list = Get<QTreeWidget>(*form, "ListViewHelp");
    auto& up = Get<QPushButton>(*form, "KoFlatButtonHelpUp");
    auto& down = Get<QPushButton>(*form, "KoFlatButtonHelpDown");
    auto rowText = [&](int row) {
      QTreeWidgetItem* item = list.topLevelItem(row);
      return QStringList({item->text(0), item->text(1), item->text(2)});
    };
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.topLevelItem(1)).center());
    QVERIFY(up.isEnabled() && !down.isEnabled());
    QTest::mouseClick(&up, Qt::LeftButton);
    QCOMPARE(rowText(0), QStringList({"更新履歴", "/nowhere/history.txt", "Ctrl+F1"}));
    QCOMPARE(rowText(1), QStringList({"マニュアル", "http://example.com/manual.html", ""}));
    QCOMPARE(list.currentItem(), list.topLevelItem(0));
    QVERIFY(!up.isEnabled() && down.isEnabled());

    // Modify: a double-click fills the fields; the row keeps its own shortcut without a question.
    const QPoint first = list.visualItemRect(list.topLevelItem(0)).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, first);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, first);
    QCOMPARE(Get<QLineEdit>(*form, "FlatEditHelpShortCut").text(), QStringLiteral("Ctrl+F1"));
    Get<QLineEdit>(*form, "FlatEditHelpFile").setText(QStringLiteral("https://example.com/history"));
    MessageBoxAnswerer answerer;
    Click(*form, "KoFlatButtonHelpModify");
    QVERIFY(answerer.texts.isEmpty());
    QCOMPARE(rowText(0), QStringList({"更新履歴", "https://example.com/history", "Ctrl+F1"}));
    // "×" empties the shortcut field.
    Click(*form, "FlatSpeedButtonHelpShortCut");
    QCOMPARE(Get<QLineEdit>(*form, "FlatEditHelpShortCut").text(), QString());

    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.topLevelItem(1)).center());
    Click(*form, "KoFlatButtonHelpDelete");
    QCOMPARE(list.topLevelItemCount(), 1);
    QVERIFY(!Get<QPushButton>(*form, "KoFlatButtonHelpDelete").isEnabled());
    Click(*form, "KoFlatButtonOk");
    QCOMPARE(form->Result().HelpEntries, std::vector<std::string>({Sjis("更新履歴,https://example.com/history,Ctrl+F1")}));
  }

  void helpMenuOpensEntries() {
    QMenu menu;
    std::vector<std::size_t> run;
    auto record = [&run](std::size_t i) { run.push_back(i); };
    BuildHelpMenu(menu, {}, record);
    QCOMPARE(menu.actions().size(), 1);
    QCOMPARE(menu.actions()[0]->text(), QStringLiteral("（なし）"));
    QVERIFY(!menu.actions()[0]->isEnabled());

    const std::vector<std::string> entries = {Sjis("マニュアル,https://example.com/manual,Ctrl+F1"),
                                              Sjis("古い形式,/nowhere/old.txt"), Sjis("ファイルなし")};
    BuildHelpMenu(menu, entries, record);
    const QList<QAction*> items = menu.actions();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items[0]->text(), QStringLiteral("マニュアル"));
    QCOMPARE(items[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F1));
    QCOMPARE(items[1]->shortcut(), QKeySequence());
    QCOMPARE(items[1]->data().toULongLong(), 1ull);
    QVERIFY(items[1]->isEnabled() && !items[2]->isEnabled());
    items[1]->trigger();
    QCOMPARE(run, std::vector<std::size_t>({1}));

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "Open");
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
    WriteCp932(Path("手引き.html"), "<p>手引き</p>");
    ActionHelpShowExecute(nullptr, entries[0]);
    ActionHelpShowExecute(nullptr, Sjis("手引き,") + tarn::Utf8ToCp932(Path("手引き.html").toStdString()));
    QCOMPARE(catcher.urls, QList<QUrl>({QUrl(QStringLiteral("https://example.com/manual")),
                                        QUrl::fromLocalFile(Path("手引き.html"))}));
    {
      MessageBoxAnswerer answerer;
      ActionHelpShowExecute(nullptr, entries[1]);
      QCOMPARE(answerer.texts, QStringList({"/nowhere/old.txt を開けません"}));
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
  }

  void installedEditorIsFoundOnPath() {
    auto onPath = [](std::initializer_list<const char*> installed) {
      return [names = std::vector<std::string>(installed.begin(), installed.end())](const std::string& program) {
        return std::find(names.begin(), names.end(), program) != names.end();
      };
    };
    QVERIFY(!FindInstalledEditor(onPath({})));
    // A terminal editor is never chosen: the desktop gives it no terminal.
    QVERIFY(!FindInstalledEditor(onPath({"vim", "vi", "nano"})));
    auto found = FindInstalledEditor(onPath({"gvim", "kate", "code"}));
    QVERIFY(found);
    QCOMPARE(found->ExeName, std::string("kate"));
    QCOMPARE(found->CmdLine, std::string("-l %L %F"));
    found = FindInstalledEditor(onPath({"gvim"}));
    QCOMPARE(found->CmdLine, std::string("+%L %F"));
    QVERIFY(ProgramOnPath("sh"));
    QVERIFY(!ProgramOnPath("tarn-no-such-program"));
  }

  void parameterHelpWindowAndPageScreenshots() {
    settings::TTarnSettings s = Sample();
    s.Editor = {"gedit", "+%L %F"};
    s.LeftPanel.InitialDir = "/tmp";
    s.FindResult.FontName = "IPAGothic";
    s.FindResult.StringStyleBold = true;
    s.FindResult.SaveDirectory = "/tmp";
    s.RunTime.LastFindString = true;
    auto form = Open(s);
    QVERIFY(form);
    const char* const names[] = {"option-env-1-basic1", "option-env-2-basic2", "option-env-3-basic3",
                                 "option-env-4-shortcuts", "option-env-5-help"};
    Get<QComboBox>(*form, "KoFlatComboBoxFindHistory").setCurrentIndex(2);
    for (int page = 0; page < 5; ++page) {
      Pages(*form).setCurrentIndex(page);
      if (page == 3) ChooseCommand(*form, 1, 0);
      Screenshot(*form, names[page]);
    }
    QMenu& palette = *Get<TColorPickerButton>(*form, "ColorPickerButtonFindResultStyleBack").menu();
    palette.adjustSize();
    Screenshot(palette, "option-env-color-palette");
    // Every page fits the dialog, also in the larger base font the owner may give it: nothing is
    // cut off at the right or the bottom.
    auto pagesFit = [&] {
      for (int page = 0; page < 5; ++page) {
        QWidget* widget = Pages(*form).widget(page);
        if (widget->minimumSizeHint().width() > widget->width() || widget->minimumSizeHint().height() > widget->height())
          return false;
      }
      return true;
    };
    QVERIFY(pagesFit());
    const QSize designFontSize = form->size();
    form->setFont(SettingsFont("IPAPGothic", 16, false));
    QTRY_VERIFY(form->height() > designFontSize.height() && form->size() == form->sizeHint().expandedTo(designFontSize));
    QVERIFY(pagesFit());
    // The help page's columns grow with the font: no heading and no title is cut.
    Pages(*form).setCurrentIndex(4);
    auto& helpList = Get<QTreeWidget>(*form, "ListViewHelp");
    for (int column : {0, 2}) QVERIFY(helpList.header()->sectionSize(column) >= helpList.header()->sectionSizeHint(column));
    for (int row = 0; row < helpList.topLevelItemCount(); ++row)
      QVERIFY(helpList.header()->sectionSize(0) > helpList.fontMetrics().horizontalAdvance(helpList.topLevelItem(row)->text(0)));
    Screenshot(*form, "option-env-5-help-large-font");

    QStringList lines = CmdLineHelpLines();
    QCOMPARE(lines.size(), 13);
    QCOMPARE(lines[1], QStringLiteral("  起動オプションには次のキーワードが指定できます。"));
    QCOMPARE(lines[7], QStringLiteral("  geditの例：           +%L %F"));
    for (int i = 7; i < 13; ++i) QVERIFY2(lines[i].indexOf(QStringLiteral("の例：")) > 0, qPrintable(lines[i]));

    QTimer::singleShot(0, [&] {
      auto* help = qobject_cast<TFormCmdLineHelp*>(QApplication::activeModalWidget());
      QVERIFY(help);
      QVERIFY(QTest::qWaitForWindowExposed(help));
      QCOMPARE(help->windowTitle(), QStringLiteral("エディタの起動パラメータについて"));
      auto& memo = Get<QPlainTextEdit>(*help, "Memo");
      QCOMPARE(memo.toPlainText().split('\n'), lines);
      // Every line is in sight without scrolling.
      QVERIFY(!memo.horizontalScrollBar()->isVisible() && !memo.verticalScrollBar()->isVisible());
      Screenshot(*help, "cmd-line-help");
      help->close();
    });
    Pages(*form).setCurrentIndex(0);
    Click(*form, "FlatSpeedButtonEditorCmdLine");
  }
};

QTEST_MAIN(OptionEnvTest)
#include "option_env_test.moc"

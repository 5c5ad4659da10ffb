#include "ui/fr_option_env.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/comma_text.h"
#include "settings/settings_file.h"
#include "ui/color_picker_button.h"
#include "ui/editor_detection.h"
#include "ui/fr_cmd_line_help.h"
#include "ui/ko_flat_combo_box.h"
#include "ui/message_box.h"
#include "ui/ui_settings_values.h"
#include "ui/ui_text.h"

namespace tarn::ui {
namespace {

// The design size of the client area; larger fonts make it grow.
constexpr QSize kDesignSize(545, 393);

QLabel* Label(const char* text, QWidget* buddy) {
  auto* label = new QLabel(QString::fromUtf8(text));
  label->setBuddy(buddy);
  return label;
}

template <typename T>
T* Named(T* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

QToolButton* SpeedButton(const char* name, const QString& text) {
  auto* button = Named(new QToolButton, name);
  button->setText(text);
  return button;
}

QComboBox* FontNameBox(const char* name, bool fixedPitch) {
  auto* box = Named(new QComboBox, name);
  box->addItems(InstalledJapaneseFaces(fixedPitch));
  box->setMinimumContentsLength(12);
  box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  return box;
}

QComboBox* FontSizeBox(const char* name) {
  auto* box = Named(new QComboBox, name);
  for (int size : kFontSizes) box->addItem(QString::number(size));
  return box;
}

// A box shows the face the window draws with: the stored face when it is installed, else the face
// it falls back to, added to the box when the box does not offer it. A stored size that is not
// offered is added too.
void ShowFont(QComboBox& name, QComboBox& size, const std::string& fontName, std::int32_t fontSize, bool fixedPitch) {
  const QString face = InstalledFace(fontName, fixedPitch);
  int index = name.findText(face, Qt::MatchFixedString);
  if (index < 0 && !face.isEmpty()) {
    index = 0;
    while (index < name.count() && name.itemText(index).compare(face, Qt::CaseInsensitive) < 0) ++index;
    name.insertItem(index, face);
  }
  name.setCurrentIndex(index);
  index = size.findText(QString::number(fontSize));
  if (index < 0 && fontSize >= 1 && fontSize <= 200) {
    index = 0;
    while (index < size.count() && size.itemText(index).toInt() < fontSize) ++index;
    size.insertItem(index, QString::number(fontSize));
  }
  size.setCurrentIndex(index);
}

// A box that still shows the face the stored name falls back to keeps the stored name, so that
// a settings file shared with a desktop that has the face keeps it; a blank box keeps the setting.
void StoreFont(const QComboBox& name, const QComboBox& size, std::string& fontName, std::int32_t& fontSize,
               bool fixedPitch) {
  if (name.currentIndex() >= 0 && name.currentText() != InstalledFace(fontName, fixedPitch))
    fontName = ToCp932(name.currentText());
  if (size.currentIndex() >= 0) fontSize = size.currentText().toInt();
}

void CheckButton(QButtonGroup& group, int id) {
  if (QAbstractButton* button = group.button(id)) button->setChecked(true);
}

}  // namespace

TFormOptionEnv::TFormOptionEnv(const settings::TTarnSettings& settings, std::filesystem::path settingsFile,
                               QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      settingsFile_(std::move(settingsFile)),
      historyEditor_(settings_.FindRequest),
      shortCuts_(CollectShortCuts(settings.ShortCuts)),
      helpRows_(HelpRowsOf(settings.HelpEntries)) {
  setObjectName(QStringLiteral("FormOptionEnv"));
  setWindowTitle(QStringLiteral("環境設定"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setModal(true);
  // The file and folder choosers and the message boxes take the dialog's font too.
  setAttribute(Qt::WA_WindowPropagation);
  setFont(SettingsFont(settings_.Basic.FontName, settings_.Basic.FontSize, false));

  pageControl_ = Named(new QTabWidget(this), "PageControl");
  pageControl_->addTab(CreatePageBasic1(), QStringLiteral("基本設定１"));
  pageControl_->addTab(CreatePageBasic2(), QStringLiteral("基本設定２"));
  pageControl_->addTab(CreatePageBasic3(), QStringLiteral("基本設定３"));
  pageControl_->addTab(CreatePageShortCut(), QStringLiteral("ショートカット設定"));
  pageControl_->addTab(CreatePageHelp(), QStringLiteral("ヘルプ設定"));

  okButton_ = Named(new QPushButton(QStringLiteral("設定")), "KoFlatButtonOk");
  auto* cancel = Named(new QPushButton(QStringLiteral("キャンセル")), "KoFlatButtonCancel");
  okButton_->setDefault(true);
  cancel->setAutoDefault(false);
  connect(okButton_, &QPushButton::clicked, this, [this] { KoFlatButtonOkClick(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(okButton_);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pageControl_);
  layout->addLayout(buttons);

  actionTabChange_ = Named(new QAction(this), "ActionTabChange");
  actionTabChange_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab));
  addAction(actionTabChange_);
  connect(actionTabChange_, &QAction::triggered, this, [this] { ActionTabChangeExecute(); });

  ShowSettings();
  pageControl_->setCurrentIndex(0);
  editorExeName_->setFocus();
  FitMenuFonts();
  FitSize();
}

// The colour palettes are windows of their own: the dialog's font does not reach them by itself.
void TFormOptionEnv::FitMenuFonts() {
  for (QMenu* menu : findChildren<QMenu*>()) menu->setFont(font());
}

// A fixed size, the design size or what the pages need in the dialog's font.
void TFormOptionEnv::FitSize() {
  layout()->activate();
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  const QSize hint = sizeHint();
  setFixedSize(std::max(kDesignSize.width(), hint.width()), std::max(kDesignSize.height(), hint.height()));
}

void TFormOptionEnv::changeEvent(QEvent* e) {
  QDialog::changeEvent(e);
  // The owner may give the dialog the base font after creating it: the pages settle first.
  if (e->type() == QEvent::FontChange && pageControl_) QTimer::singleShot(0, this, [this] {
      FitMenuFonts();
      FitSize();
      FitHelpColumns();
    });
}

void TFormOptionEnv::showEvent(QShowEvent* e) {
  FitSize();
  QDialog::showEvent(e);
  FitHelpColumns();
}

TFormOptionEnv::~TFormOptionEnv() = default;

// --- Pages -----------------------------------------------------------------------------------

QWidget* TFormOptionEnv::CreatePageBasic1() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);

  auto* editor = new QGridLayout;
  editorExeName_ = Named(new TKoFlatComboBox, "KoFlatComboBoxEditorExeName");
  editorCmdLine_ = Named(new TKoFlatComboBox, "KoFlatComboBoxEditorCmdLine");
  auto* browseEditor = SpeedButton("FlatSpeedButtonEditorProgram", QStringLiteral("..."));
  auto* cmdLineHelp = SpeedButton("FlatSpeedButtonEditorCmdLine", QString());
  cmdLineHelp->setIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));
  cmdLineHelp->setToolTip(QStringLiteral("エディタの起動パラメータについて"));
  editor->addWidget(Label("エディタプログラム", editorExeName_), 0, 0);
  editor->addWidget(editorExeName_, 0, 1);
  editor->addWidget(browseEditor, 0, 2);
  editor->addWidget(Label("起動パラメータ", editorCmdLine_), 1, 0);
  editor->addWidget(editorCmdLine_, 1, 1);
  editor->addWidget(cmdLineHelp, 1, 2);
  editor->setColumnStretch(1, 1);
  layout->addLayout(editor);
  for (TKoFlatComboBox* box : {editorExeName_, editorCmdLine_}) {
    box->SetAutoComplete(true);
    connect(box, &TKoFlatComboBox::EnterPressed, this, [this] { KoFlatButtonOkClick(); });
  }
  connect(browseEditor, &QToolButton::clicked, this, [this] { FlatSpeedButtonEditorProgramClick(); });
  connect(cmdLineHelp, &QToolButton::clicked, this, [this] {
    TFormCmdLineHelp help(this);
    help.exec();
  });

  auto* fonts = new QHBoxLayout;
  auto* basic = Named(new QGroupBox(QStringLiteral("基本フォント情報")), "FlatGroupBoxBasic");
  basicFontName_ = FontNameBox("KoFlatFontNameComboBoxBasic", false);
  basicFontSize_ = FontSizeBox("KoFlatFontSizeComboBoxBasic");
  auto* basicGrid = new QGridLayout(basic);
  basicGrid->addWidget(Label("フォント", basicFontName_), 0, 0);
  basicGrid->addWidget(basicFontName_, 0, 1);
  basicGrid->addWidget(Label("サイズ", basicFontSize_), 1, 0);
  basicGrid->addWidget(basicFontSize_, 1, 1, Qt::AlignLeft);
  basicGrid->setRowStretch(2, 1);
  fonts->addWidget(basic);

  auto* panel = Named(new QGroupBox(QStringLiteral("ディレクトリパネル")), "FlatGroupBoxLeftPanel");
  leftPanelFontName_ = FontNameBox("KoFlatFontNameComboBoxLeftPanel", false);
  leftPanelFontSize_ = FontSizeBox("KoFlatFontSizeComboBoxLeftPanel");
  leftPanelInitialDir_ = Named(new QLineEdit, "FlatEditLeftPanelInitialDir");
  auto* browseDir = SpeedButton("FlatSpeedButtonLeftPanelInitialDir", QStringLiteral("..."));
  auto* panelGrid = new QGridLayout(panel);
  panelGrid->addWidget(Label("フォント", leftPanelFontName_), 0, 0);
  panelGrid->addWidget(leftPanelFontName_, 0, 1);
  panelGrid->addWidget(Label("サイズ", leftPanelFontSize_), 0, 2);
  panelGrid->addWidget(leftPanelFontSize_, 0, 3);
  panelGrid->addWidget(Label("起動時ディレクトリ", leftPanelInitialDir_), 1, 0, 1, 4);
  auto* dirRow = new QHBoxLayout;
  dirRow->addWidget(leftPanelInitialDir_);
  dirRow->addWidget(browseDir);
  panelGrid->addLayout(dirRow, 2, 0, 1, 4);
  panelGrid->setColumnStretch(1, 1);
  fonts->addWidget(panel, 1);
  layout->addLayout(fonts);
  connect(browseDir, &QToolButton::clicked, this,
          [this] { ChooseFolder(QStringLiteral("起動時ディレクトリを指定してください。"), *leftPanelInitialDir_); });

  auto* request = Named(new QGroupBox(QStringLiteral("検索条件")), "FlatGroupBoxFindRequest");
  findAutoComplete_ = Named(new QCheckBox(QStringLiteral("自動補完機能を有効にする")), "FlatCheckBoxFindAutoComplete");
  findNoRegExp_ = Named(new QCheckBox(QStringLiteral("正規表現を使用しない")), "FlatCheckBoxFindNoRegExp");
  findMaxHistory_ = Named(new QSpinBox, "FlatSpinEditIntegerFindMaxHistory");
  findMaxHistory_->setRange(0, 128);
  findHistory_ = Named(new QComboBox, "KoFlatComboBoxFindHistory");
  for (const char* item : {"検索文字列", "検索ディレクトリ", "ファイルマスク", "ディレクトリマスク"})
    findHistory_->addItem(QString::fromUtf8(item));
  findHistoryList_ = Named(new QListWidget, "FlatListBoxFindHistory");
  findHistoryList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  delHistory_ = Named(new QPushButton(QStringLiteral("削除")), "KoFlatButtonDelHistory");
  delHistory_->setAutoDefault(false);
  auto* requestGrid = new QGridLayout(request);
  auto* switches = new QHBoxLayout;
  switches->addWidget(findAutoComplete_);
  switches->addWidget(findNoRegExp_);
  switches->addStretch();
  switches->addWidget(Label("履歴数", findMaxHistory_));
  switches->addWidget(findMaxHistory_);
  requestGrid->addLayout(switches, 0, 0, 1, 2);
  requestGrid->addWidget(findHistory_, 1, 0);
  requestGrid->addWidget(findHistoryList_, 2, 0);
  requestGrid->addWidget(delHistory_, 2, 1, Qt::AlignTop);
  requestGrid->setColumnStretch(0, 1);
  layout->addWidget(request, 1);
  connect(findHistoryList_, &QListWidget::itemSelectionChanged, this, [this] { UpdateDelHistoryButton(); });
  connect(delHistory_, &QPushButton::clicked, this, [this] { KoFlatButtonDelHistoryClick(); });
  return page;
}

QWidget* TFormOptionEnv::CreatePageBasic2() {
  using settings::TFindResultInfo;
  const TFindResultInfo design;
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* result = new QGroupBox(QStringLiteral("検索結果"));
  layout->addWidget(result);
  auto* grid = new QVBoxLayout(result);

  auto* fontRow = new QHBoxLayout;
  resultFontName_ = FontNameBox("KoFlatFontNameComboBoxFindResult", true);
  resultFontSize_ = FontSizeBox("KoFlatFontSizeComboBoxFindResult");
  resultFontColor_ = Named(new TColorPickerButton(design.FontColor), "ColorPickerButtonFindResultFont");
  resultBackColor_ = Named(new TColorPickerButton(design.BackColor), "ColorPickerButtonFindResultBack");
  fontRow->addWidget(Label("フォント", resultFontName_));
  fontRow->addWidget(resultFontName_, 1);
  fontRow->addWidget(Label("サイズ", resultFontSize_));
  fontRow->addWidget(resultFontSize_);
  fontRow->addSpacing(8);
  fontRow->addWidget(Label("フォント色", resultFontColor_));
  fontRow->addWidget(resultFontColor_);
  fontRow->addWidget(Label("背景色", resultBackColor_));
  fontRow->addWidget(resultBackColor_);
  grid->addLayout(fontRow);

  auto* middle = new QHBoxLayout;
  auto* style = new QGroupBox(QStringLiteral("検索文字列のスタイル"));
  styleFontColor_ = Named(new TColorPickerButton(design.StringFontColor), "ColorPickerButtonFindResultStyleFont");
  styleBackColor_ = Named(new TColorPickerButton(design.StringBackColor), "ColorPickerButtonFindResultStyleBack");
  styleFontColor_->setToolTip(QStringLiteral("文字色"));
  styleBackColor_->setToolTip(QStringLiteral("背景色"));
  styleBold_ = Named(new QCheckBox(QStringLiteral("太字")), "FlatCheckBoxFindResultStyleBold");
  styleItalic_ = Named(new QCheckBox(QStringLiteral("斜体")), "FlatCheckBoxFindResultStyleItalic");
  styleUnderline_ = Named(new QCheckBox(QStringLiteral("下線")), "FlatCheckBoxFindResultStyleUnderline");
  auto* styleGrid = new QGridLayout(style);
  auto* colors = new QHBoxLayout;
  colors->addWidget(Label("色", styleFontColor_));
  colors->addWidget(styleFontColor_);
  colors->addWidget(styleBackColor_);
  colors->addStretch();
  styleGrid->addLayout(colors, 0, 0, 1, 3);
  styleGrid->addWidget(styleBold_, 1, 0);
  styleGrid->addWidget(styleItalic_, 1, 1);
  styleGrid->addWidget(styleUnderline_, 1, 2);
  styleGrid->setRowStretch(2, 1);
  middle->addWidget(style, 1);

  auto* display = new QGroupBox(QStringLiteral("表示方法"));
  auto* displayLayout = new QVBoxLayout(display);
  resultType_ = new QButtonGroup(this);
  const std::pair<const char*, const char*> types[] = {
      {"FlatRadioButtonFindResultTypeFullPath", "フルパス+行番号+行"},
      {"FlatRadioButtonFindResultTypeFileName", "ファイル名+行番号+行"},
      {"FlatRadioButtonFindResultTypeLineOnly", "行のみ"},
  };
  constexpr int kResultTypes[] = {1, 2, 0};
  for (std::size_t i = 0; i < std::size(types); ++i) {
    auto* radio = Named(new QRadioButton(QString::fromUtf8(types[i].second)), types[i].first);
    resultType_->addButton(radio, kResultTypes[i]);
    displayLayout->addWidget(radio);
  }
  middle->addWidget(display, 1);
  grid->addLayout(middle);

  showRealtime_ = Named(new QCheckBox(QStringLiteral("検索結果を即時に表示する")), "FlatCheckBoxFindResultShowRealtime");
  workerThreads_ = Named(new QSpinBox, "FlatSpinEditIntegerWorkerThreads");
  workerThreads_->setRange(1, settings::kMaxWorkerThreads);
  auto* run = new QHBoxLayout;
  run->addWidget(showRealtime_);
  run->addStretch();
  run->addWidget(Label("検索スレッド数", workerThreads_));
  run->addWidget(workerThreads_);
  // Each item carries the stored name of its choice.
  fileEncoding_ = Named(new QComboBox, "ComboBoxFindResultFileEncoding");
  fileEncoding_->addItem(QStringLiteral("自動判別"), QStringLiteral("auto"));
  fileEncoding_->addItem(QStringLiteral("Shift-JIS のみ"), QStringLiteral("cp932"));
  run->addSpacing(8);
  run->addWidget(Label("文字コード", fileEncoding_));
  run->addWidget(fileEncoding_);
  grid->addLayout(run);

  auto* save = new QGroupBox(QStringLiteral("検索結果の保存指定"));
  saveDirectory_ = Named(new TKoFlatComboBox, "KoFlatComboBoxFindResultSaveDirectory");
  saveDirectory_->SetAutoComplete(true);
  connect(saveDirectory_, &TKoFlatComboBox::EnterPressed, this, [this] { KoFlatButtonOkClick(); });
  auto* browseSave = SpeedButton("FlatSpeedButtonFindResultSaveDirectory", QStringLiteral("..."));
  auto* saveGrid = new QGridLayout(save);
  saveGrid->addWidget(Label("ディレクトリ", saveDirectory_), 0, 0);
  saveGrid->addWidget(saveDirectory_, 0, 1);
  saveGrid->addWidget(browseSave, 0, 2);
  saveType_ = new QButtonGroup(this);
  auto* text = Named(new QRadioButton(QStringLiteral("テキストファイル")), "FlatRadioButtonFindResultSaveTypeText");
  auto* html = Named(new QRadioButton(QStringLiteral("HTMLファイル")), "FlatRadioButtonFindResultSaveTypeHtml");
  saveType_->addButton(text, 0);
  saveType_->addButton(html, 1);
  auto* types2 = new QHBoxLayout;
  types2->addWidget(text);
  types2->addWidget(html);
  types2->addStretch();
  saveGrid->addWidget(Label("保存形式", text), 1, 0);
  saveGrid->addLayout(types2, 1, 1, 1, 2);
  saveGrid->setColumnStretch(1, 1);
  grid->addWidget(save);
  layout->addStretch();
  connect(browseSave, &QToolButton::clicked, this, [this] {
    ChooseFolder(QStringLiteral("検索結果の保存ディレクトリを指定してください。"), *saveDirectory_->lineEdit());
  });
  return page;
}

QWidget* TFormOptionEnv::CreatePageBasic3() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* group = new QGroupBox(QStringLiteral("起動時の設定"));
  auto* groupLayout = new QVBoxLayout(group);
  const std::pair<const char*, const char*> flags[] = {
      {"FlatCheckBoxRunTimeLastFindString", "前回最後に使用された検索文字列を設定する"},
      {"FlatCheckBoxRunTimeLastFindDirectory", "前回最後に使用された検索ディレクトリを設定する"},
      {"FlatCheckBoxRunTimeLastFindFileMask", "前回最後に使用されたファイルマスクを設定する"},
  };
  for (std::size_t i = 0; i < runTime_.size(); ++i) {
    runTime_[i] = Named(new QCheckBox(QString::fromUtf8(flags[i].second)), flags[i].first);
    groupLayout->addWidget(runTime_[i]);
  }
  auto* memo = Named(new QPlainTextEdit, "FlatMemoRunTime");
  memo->setReadOnly(true);
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  memo->setPlainText(QStringLiteral(
      "ここをチェックしても、起動オプションで指定された検索条件\n"
      "が優先されます。また、［基本設定１］の［ディレクトリパネル\n"
      "］［起動時ディレクトリ］を指定している場合は、ここでチェック\n"
      "された検索ディレクトのほうが優先されます。"));
  // Room for the four lines without a scroll bar.
  const QFontMetrics metrics(memo->font());
  memo->setFixedHeight(6 * metrics.lineSpacing() + 2 * memo->frameWidth());
  memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  groupLayout->addWidget(memo);
  layout->addWidget(group);
  layout->addStretch();
  return page;
}

// --- Showing and confirming -----------------------------------------------------------------

void TFormOptionEnv::ShowSettings() {
  const settings::TTarnSettings& s = settings_;
  settings::TOptionHistories histories;
  try {
    histories = settings::LoadOptionHistories(settingsFile_);
  } catch (const std::exception& e) {
    // The dialog still opens; its histories start empty and are written anew on confirmation.
    QMessageBox::warning(parentWidget(), QStringLiteral("環境設定"), FromCp932(e.what()));
  }
  editorExeName_->SetHistoryItems(ParseCommaText(histories.ExeName));
  editorCmdLine_->SetHistoryItems(ParseCommaText(histories.CmdLine));
  saveDirectory_->SetHistoryItems(ParseCommaText(histories.SaveDirectory));
  editorExeName_->SetText(s.Editor.ExeName);
  editorCmdLine_->SetText(s.Editor.CmdLine);

  ShowFont(*basicFontName_, *basicFontSize_, s.Basic.FontName, s.Basic.FontSize, false);
  ShowFont(*leftPanelFontName_, *leftPanelFontSize_, s.LeftPanel.FontName, s.LeftPanel.FontSize, false);
  leftPanelInitialDir_->setText(FromCp932(s.LeftPanel.InitialDir));
  findAutoComplete_->setChecked(s.FindRequest.AutoComplete);
  findNoRegExp_->setChecked(s.FindRequest.NoRegExp);
  findMaxHistory_->setValue(s.FindRequest.MaxHistory);
  maxHistoryShown_ = findMaxHistory_->value();

  ShowFont(*resultFontName_, *resultFontSize_, s.FindResult.FontName, s.FindResult.FontSize, true);
  resultFontColor_->SetValue(s.FindResult.FontColor);
  resultBackColor_->SetValue(s.FindResult.BackColor);
  styleFontColor_->SetValue(s.FindResult.StringFontColor);
  styleBackColor_->SetValue(s.FindResult.StringBackColor);
  styleBold_->setChecked(s.FindResult.StringStyleBold);
  styleItalic_->setChecked(s.FindResult.StringStyleItalic);
  styleUnderline_->setChecked(s.FindResult.StringStyleUnderline);
  CheckButton(*resultType_, s.FindResult.ResultType);
  showRealtime_->setChecked(s.FindResult.ShowRealtime);
  workerThreads_->setValue(s.FindResult.WorkerThreads);
  {
    // A choice written into the settings file by hand is kept as an item of its own.
    const QString name = QString::fromLatin1(FileEncodingChoiceName(s.FindResult.FileEncoding));
    int index = fileEncoding_->findData(name);
    if (index < 0) {
      fileEncoding_->addItem(name, name);
      index = fileEncoding_->count() - 1;
    }
    fileEncoding_->setCurrentIndex(index);
  }
  saveDirectory_->SetText(s.FindResult.SaveDirectory);
  CheckButton(*saveType_, s.FindResult.SaveType);

  runTime_[0]->setChecked(s.RunTime.LastFindString);
  runTime_[1]->setChecked(s.RunTime.LastFindDirectory);
  runTime_[2]->setChecked(s.RunTime.LastFindFileMask);

  findHistory_->setCurrentIndex(0);
  KoFlatComboBoxFindHistoryChange();
  connect(findHistory_, &QComboBox::currentIndexChanged, this, [this] { KoFlatComboBoxFindHistoryChange(); });

  for (const TCategoryRec& category : shortCuts_.Categories) category_->addItem(FromCp932(category.Name));
  category_->setCurrentIndex(0);
  FlatComboBoxCateChange();
  connect(category_, &QComboBox::currentIndexChanged, this, [this] { FlatComboBoxCateChange(); });

  FillHelpList(std::nullopt);
}

void TFormOptionEnv::StoreSettings() {
  settings::TTarnSettings& s = settings_;
  s.Editor.ExeName = editorExeName_->Text();
  s.Editor.CmdLine = editorCmdLine_->Text();
  editorExeName_->AddToHistory();
  editorCmdLine_->AddToHistory();
  StoreFont(*basicFontName_, *basicFontSize_, s.Basic.FontName, s.Basic.FontSize, false);
  StoreFont(*leftPanelFontName_, *leftPanelFontSize_, s.LeftPanel.FontName, s.LeftPanel.FontSize, false);
  s.LeftPanel.InitialDir = ToCp932(leftPanelInitialDir_->text());
  s.FindRequest.AutoComplete = findAutoComplete_->isChecked();
  s.FindRequest.NoRegExp = findNoRegExp_->isChecked();
  // A stored bound outside the box's range stays unless the user changes it.
  if (findMaxHistory_->value() != maxHistoryShown_) s.FindRequest.MaxHistory = findMaxHistory_->value();
  historyEditor_.Store();

  settings::TFindResultInfo& r = s.FindResult;
  StoreFont(*resultFontName_, *resultFontSize_, r.FontName, r.FontSize, true);
  r.FontColor = resultFontColor_->Value();
  r.BackColor = resultBackColor_->Value();
  r.StringFontColor = styleFontColor_->Value();
  r.StringBackColor = styleBackColor_->Value();
  r.StringStyleBold = styleBold_->isChecked();
  r.StringStyleItalic = styleItalic_->isChecked();
  r.StringStyleUnderline = styleUnderline_->isChecked();
  r.StringStyle = settings::ComputeStringStyle(r);
  if (resultType_->checkedId() >= 0) r.ResultType = resultType_->checkedId();
  r.ShowRealtime = showRealtime_->isChecked();
  r.WorkerThreads = workerThreads_->value();
  r.FileEncoding = FileEncodingChoiceFromName(fileEncoding_->currentData().toString().toStdString())
                       .value_or(FileEncodingChoice::kAuto);
  r.SaveDirectory = saveDirectory_->Text();
  saveDirectory_->AddToHistory();
  if (saveType_->checkedId() >= 0) r.SaveType = saveType_->checkedId();

  s.RunTime.LastFindString = runTime_[0]->isChecked();
  s.RunTime.LastFindDirectory = runTime_[1]->isChecked();
  s.RunTime.LastFindFileMask = runTime_[2]->isChecked();

  s.HelpEntries = HelpEntriesOf(helpRows_);
  s.ShortCuts = ApplyShortCuts(shortCuts_);
}

void TFormOptionEnv::KoFlatButtonOkClick() {
  if (RefuseTextWithoutCp932({{"エディタプログラム", editorExeName_},
                              {"起動パラメータ", editorCmdLine_},
                              {"起動時ディレクトリ", leftPanelInitialDir_},
                              {"検索結果の保存ディレクトリ", saveDirectory_}}))
    return;
  const std::optional<TOptionPath> invalid = InvalidOptionPath(
      editorExeName_->Text(), ToCp932(leftPanelInitialDir_->text()), saveDirectory_->Text(), ProgramOnPath);
  if (invalid) {
    QWidget* field = *invalid == TOptionPath::EditorExeName          ? static_cast<QWidget*>(editorExeName_)
                     : *invalid == TOptionPath::LeftPanelInitialDir ? static_cast<QWidget*>(leftPanelInitialDir_)
                                                                     : static_cast<QWidget*>(saveDirectory_);
    const std::string text = *invalid == TOptionPath::EditorExeName          ? editorExeName_->Text()
                             : *invalid == TOptionPath::LeftPanelInitialDir ? ToCp932(leftPanelInitialDir_->text())
                                                                             : saveDirectory_->Text();
    Refuse(PageOf(*invalid), field, OptionPathRefusal(*invalid, text));
    return;
  }
  StoreSettings();
  try {
    settings::SaveOptionHistories(settingsFile_, {ToCommaText(editorExeName_->HistoryItems()),
                                                  ToCommaText(editorCmdLine_->HistoryItems()),
                                                  ToCommaText(saveDirectory_->HistoryItems())});
  } catch (const std::exception& e) {
    // The dialog stays open with everything the user entered.
    QMessageBox::critical(this, windowTitle(), FromCp932(e.what()));
    return;
  }
  accept();
}

bool TFormOptionEnv::RefuseTextWithoutCp932(std::initializer_list<std::pair<const char*, QWidget*>> boxes) {
  std::vector<TOptionText> texts;
  for (const auto& [label, box] : boxes) {
    const auto* combo = qobject_cast<const QComboBox*>(box);
    const auto* edit = qobject_cast<const QLineEdit*>(box);
    texts.push_back({label, (combo ? combo->currentText() : edit ? edit->text() : QString()).toStdString()});
  }
  const auto refused = TextWithoutCp932(texts);
  if (!refused) return false;
  QWidget* field = std::data(boxes)[refused->first].second;
  int page = pageControl_->currentIndex();
  for (int i = 0; i < pageControl_->count(); ++i)
    if (pageControl_->widget(i)->isAncestorOf(field)) page = i;
  Refuse(page, field);
  ShowMessageBox(this, QMessageBox::Warning, windowTitle(), QString::fromStdString(refused->second));
  field->setFocus();
  return true;
}

void TFormOptionEnv::ActionTabChangeExecute() {
  pageControl_->setCurrentIndex((pageControl_->currentIndex() + 1) % pageControl_->count());
}

void TFormOptionEnv::Beep() {
  ++beepCount_;
  QApplication::beep();
}

void TFormOptionEnv::Refuse(int page, QWidget* field, const std::string& cp932Reason) {
  Beep();
  pageControl_->setCurrentIndex(page);
  // A beep alone is often silent on Linux desktops.
  if (!cp932Reason.empty()) ShowMessageBox(this, QMessageBox::Warning, windowTitle(), FromCp932(cp932Reason));
  field->setFocus();
}

// --- Browse buttons --------------------------------------------------------------------------

void TFormOptionEnv::FlatSpeedButtonEditorProgramClick() {
  const QString chosen =
      QFileDialog::getOpenFileName(this, QStringLiteral("エディタプログラムを指定してください。"),
                                   editorExeName_->currentText(), QStringLiteral("実行ファイル (*)"));
  if (chosen.isEmpty()) return;
  // Only a program can be the editor: a chosen file that cannot be run is refused.
  const QFileInfo file(chosen);
  if (!file.isFile() || !file.isExecutable()) {
    Beep();
    return;
  }
  editorExeName_->setEditText(chosen);
}

void TFormOptionEnv::ChooseFolder(const QString& title, QLineEdit& field) {
  const QString chosen = QFileDialog::getExistingDirectory(this, title, field.text());
  if (!chosen.isEmpty()) field.setText(chosen);
}

// --- History editor --------------------------------------------------------------------------

void TFormOptionEnv::KoFlatComboBoxFindHistoryChange() {
  if (findHistory_->currentIndex() < 0) return;
  historyEditor_.Choose(static_cast<std::size_t>(findHistory_->currentIndex()));
  findHistoryList_->clear();
  for (const std::string& item : historyEditor_.Items()) findHistoryList_->addItem(FromCp932(item));
  UpdateDelHistoryButton();
}

void TFormOptionEnv::UpdateDelHistoryButton() { delHistory_->setEnabled(!findHistoryList_->selectedItems().isEmpty()); }

void TFormOptionEnv::KoFlatButtonDelHistoryClick() {
  std::vector<std::size_t> rows;
  for (const QModelIndex& index : findHistoryList_->selectionModel()->selectedRows())
    rows.push_back(static_cast<std::size_t>(index.row()));
  if (rows.empty()) return;
  historyEditor_.Delete(std::move(rows));
  findHistoryList_->clear();
  for (const std::string& item : historyEditor_.Items()) findHistoryList_->addItem(FromCp932(item));
  UpdateDelHistoryButton();
}

}  // namespace tarn::ui

// The main window's creation, layout, commands, menus and toolbars, and its own events.
#include "ui/fr_tarn_main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QTimer>
#include <QScrollBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "core/comma_text.h"
#include "core/system_text.h"
#include "search/native_path.h"
#include "ui/ko_flat_combo_box.h"
#include "ui/directory_panel.h"
#include "ui/disabled_icon.h"
#include "ui/folder_drop.h"
#include "ui/fr_find_string.h"
#include "ui/fr_option_env.h"
#include "ui/fr_synonym_dic.h"
#include "ui/help_menu.h"
#include "ui/preview_pane.h"
#include "ui/request_panel.h"
#include "ui/start_values.h"
#include "ui/ui_settings_values.h"
#include "ui/ui_text.h"

namespace tarn::ui {
namespace {

// Whether a path is there (as a folder, with folder_only). A folder of a network that does not
// answer within a moment counts as there: the window goes on, and a search names it.
bool ThereOrNoAnswer(const std::string& native_path, bool folder_only) {
  const std::function<bool()> check = [native_path, folder_only] {
    std::error_code ec;
    return folder_only ? std::filesystem::is_directory(native_path, ec) : std::filesystem::exists(native_path, ec);
  };
  std::optional<bool> there;
  search::CallWithPatience<bool>(check, std::chrono::milliseconds{500}, there);
  return there.value_or(true);
}

QString Utf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// A theme icon where the desktop has one, else the style's own picture for the command.
QIcon IconFor(ActionId id, const QStyle& style) {
  struct Pick {
    const char* theme;
    QStyle::StandardPixmap fallback;
  };
  Pick pick{nullptr, QStyle::SP_CustomBase};
  switch (id) {
    case ActionId::FileExit: pick = {"application-exit", QStyle::SP_DialogCloseButton}; break;
    case ActionId::FindStart: pick = {"edit-find", QStyle::SP_MediaPlay}; break;
    case ActionId::FindStop: pick = {"process-stop", QStyle::SP_BrowserStop}; break;
    case ActionId::FindHistClear: pick = {"edit-clear-history", QStyle::SP_DialogResetButton}; break;
    case ActionId::FindString: pick = {"accessories-dictionary", QStyle::SP_FileDialogContentsView}; break;
    case ActionId::FindRefresh: pick = {"view-refresh", QStyle::SP_BrowserReload}; break;
    case ActionId::ResultGoBack: pick = {"go-previous", QStyle::SP_ArrowBack}; break;
    case ActionId::ResultGoForward: pick = {"go-next", QStyle::SP_ArrowForward}; break;
    case ActionId::ResultEditor: pick = {"document-edit", QStyle::SP_FileIcon}; break;
    case ActionId::ResultClear: pick = {"edit-clear", QStyle::SP_DialogDiscardButton}; break;
    case ActionId::ResultSave: pick = {"document-save", QStyle::SP_DialogSaveButton}; break;
    case ActionId::ResultHistClear: pick = {"edit-delete", QStyle::SP_TrashIcon}; break;
    case ActionId::OptionEnv: pick = {"preferences-system", QStyle::SP_FileDialogDetailedView}; break;
    case ActionId::OptionSynonymDic: pick = {"accessories-text-editor", QStyle::SP_FileDialogInfoView}; break;
    case ActionId::OptionLeftPanel: pick = {"view-list-tree", QStyle::SP_DirIcon}; break;
    case ActionId::OptionPreview: pick = {"view-preview", QStyle::SP_FileDialogListView}; break;
    case ActionId::HelpHelp: pick = {"help-contents", QStyle::SP_DialogHelpButton}; break;
    case ActionId::HelpVersion: pick = {"help-about", QStyle::SP_MessageBoxInformation}; break;
    default: return {};
  }
  return WithDisabledLook(QIcon::fromTheme(QLatin1String(pick.theme), style.standardIcon(pick.fallback)));
}

constexpr std::array<ActionId, kToolBarCount> kToolBarToggles = {
    ActionId::OptionToolBarFind, ActionId::OptionToolBarResult, ActionId::OptionToolBarOption,
    ActionId::OptionToolBarHelp};

}  // namespace

TFormTarnMain::TFormTarnMain(settings::DataLocations locations, std::vector<std::string> arguments, QWidget* parent)
    : QMainWindow(parent), locations_(std::move(locations)), arguments_(std::move(arguments)) {
  setObjectName(QStringLiteral("FormTarnMain"));
  setWindowTitle(QStringLiteral("Tarn"));
  search::SearchWindow& window = *this;
  run_ = std::make_unique<search::SearchRun>(window, [this] { ProcessMessages(); });
  // A folder that does not answer never holds up the window's events.
  run_->WalkOffThread = true;
  synonyms_ = std::make_unique<pattern::TSynonymDicOwner>(
      std::vector<pattern::TRegularExpression*>{&run_->Grep1(), &run_->AWKStr1()});

  CreateActions();
  CreateMenus();
  CreateToolBars();

  splitter1_ = new QSplitter(Qt::Horizontal, this);
  splitter1_->setObjectName(QStringLiteral("Splitter1"));
  splitter1_->setHandleWidth(4);
  splitter1_->setChildrenCollapsible(false);
  flatPanelTreeView_ = new QWidget(splitter1_);
  flatPanelTreeView_->setObjectName(QStringLiteral("FlatPanelTreeView"));
  flatPanelTreeView_->setMinimumWidth(40);
  auto* treeLayout = new QVBoxLayout(flatPanelTreeView_);
  treeLayout->setContentsMargins(0, 0, 0, 0);
  directoryPanel_ = new TDirectoryPanel(flatPanelTreeView_);
  treeLayout->addWidget(directoryPanel_);
  directoryPanel_->OnChange = [this] { KoTreeView1Change(); };
  auto* panelBase = new QWidget(splitter1_);
  panelBase->setObjectName(QStringLiteral("PanelBase"));
  auto* baseLayout = new QVBoxLayout(panelBase);
  baseLayout->setContentsMargins(0, 0, 0, 0);
  baseLayout->setSpacing(0);
  splitter1_->addWidget(flatPanelTreeView_);
  splitter1_->addWidget(panelBase);
  splitter1_->setStretchFactor(0, 0);
  splitter1_->setStretchFactor(1, 1);
  setCentralWidget(splitter1_);

  panelFindRequest_ = new TRequestPanel(panelBase);
  CreateRequestPanel();
  baseLayout->addWidget(panelFindRequest_);
  // The result above, the preview of its selected row below.
  splitterResult_ = new QSplitter(Qt::Vertical, panelBase);
  splitterResult_->setObjectName(QStringLiteral("SplitterResult"));
  splitterResult_->setHandleWidth(4);
  splitterResult_->setChildrenCollapsible(false);
  auto* flatPanelResult = new QWidget(splitterResult_);
  flatPanelResult->setObjectName(QStringLiteral("FlatPanelResult"));
  auto* resultLayout = new QVBoxLayout(flatPanelResult);
  resultLayout->setContentsMargins(0, 0, 0, 0);
  result_ = new editor::TKoEditor(flatPanelResult);
  resultLayout->addWidget(result_);
  preview_ = new TPreviewPane(splitterResult_);
  preview_->setMinimumHeight(40);
  splitterResult_->addWidget(flatPanelResult);
  splitterResult_->addWidget(preview_);
  splitterResult_->setStretchFactor(0, 1);
  splitterResult_->setStretchFactor(1, 0);
  baseLayout->addWidget(splitterResult_, 1);
  CreateResultView();

  panelStatusBar_ = new TStatusPanel(statusBar());
  panelStatusBar_->setObjectName(QStringLiteral("PanelStatusBar"));
  statusBar()->addWidget(panelStatusBar_, 1);
  statusBar()->setSizeGripEnabled(true);

  // The synonym dictionary first, then the settings, as the window is created.
  try {
    synonyms_->LoadSynonymDic(locations_.SynonymDicPath().string());
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
  LoadSettings();
  panelFindRequest_->PanelFindRequestResize();

  TStartSources sources;
  sources.LastFindString = settings_.RunTime.LastFindString;
  sources.LastFindDirectory = settings_.RunTime.LastFindDirectory;
  sources.LastFindFileMask = settings_.RunTime.LastFindFileMask;
  auto newest = [](const TKoFlatComboBox& box) -> std::optional<std::string> {
    if (box.HistoryItems().empty()) return std::nullopt;
    return FromCp932(box.HistoryItems().front()).toStdString();
  };
  sources.NewestFindString = newest(Box(search::RequestBox::kFindString));
  sources.NewestDirectory = newest(Box(search::RequestBox::kDirectory));
  sources.NewestFileMask = newest(Box(search::RequestBox::kFileMask));
  sources.InitialDir = FromCp932(settings_.LeftPanel.InitialDir).toStdString();
  sources.Arguments = arguments_;
  const TStartBoxes start = StartBoxes(sources, [](const std::string& dir) {
    return ThereOrNoAnswer(search::DisplayToNative(dir), true);
  });
  Box(search::RequestBox::kFindString).setEditText(QString::fromStdString(start.FindString));
  Box(search::RequestBox::kDirectory).setEditText(QString::fromStdString(start.Directory));
  Box(search::RequestBox::kFileMask).setEditText(QString::fromStdString(start.FileMask));

  directoryPanel_->BuildTree();
  SelectInPanel(PathToSelect());

  // The registered search words window lives hidden until F4 asks for it.
  formFindString_ = new TFormFindString(locations_, this);
  formFindString_->ApplyBaseFont(font());
  formFindString_->OnPick = [this](const std::string& findString) {
    Box(search::RequestBox::kFindString).SetText(findString);
  };
  formFindString_->RequestBoxesArea = [this] {
    return QRect(panelFindRequest_->mapToGlobal(QPoint(0, 0)), panelFindRequest_->size());
  };
  setAcceptDrops(true);
  qApp->installEventFilter(this);
}

TFormTarnMain::~TFormTarnMain() { qApp->removeEventFilter(this); }

// --- Creation ------------------------------------------------------------------------------

void TFormTarnMain::CreateActions() {
  for (const ActionDef& def : ActionTable()) {
    QAction* action = nullptr;
    // Menu-bar items and the parents of submenus are the menus' own actions (CreateMenus).
    switch (def.Id) {
      case ActionId::FilePopup:
      case ActionId::FindPopup:
      case ActionId::ResultPopup:
      case ActionId::OptionPopup:
      case ActionId::HelpPopup:
      case ActionId::FindHistClear:
      case ActionId::OptionToolBar:
      case ActionId::HelpHelp:
        continue;
      default:
        action = new QAction(Utf8(def.Caption), this);
    }
    action->setObjectName(Utf8(def.Name));
    action->setToolTip(Utf8(def.Hint));
    action->setStatusTip(Utf8(def.Hint));
    action->setIcon(IconFor(def.Id, *style()));
    action->setShortcut(KeySequenceOf(def.DefaultShortCut));
    actions_[static_cast<std::size_t>(def.Id)] = action;
    addAction(action);
  }
  for (ActionId id : kToolBarToggles) Action(id)->setCheckable(true);
  Action(ActionId::OptionLeftPanel)->setCheckable(true);
  Action(ActionId::OptionLeftPanel)->setChecked(true);
  Action(ActionId::OptionPreview)->setCheckable(true);
  Action(ActionId::OptionPreview)->setChecked(true);

  connect(Action(ActionId::FileExit), &QAction::triggered, this, &QWidget::close);
  connect(Action(ActionId::FindStart), &QAction::triggered, this, [this] { ActionFindStartExecute(); });
  connect(Action(ActionId::FindStop), &QAction::triggered, this, [this] { ActionFindStopExecute(); });
  connect(Action(ActionId::ResultEditor), &QAction::triggered, this, [this] { ActionResultEditorExecute(); });
  connect(Action(ActionId::ResultClear), &QAction::triggered, this, [this] { ActionResultClearExecute(); });
  connect(Action(ActionId::OptionLeftPanel), &QAction::triggered, this, [this] { ActionOptionLeftPanelExecute(); });
  connect(Action(ActionId::OptionPreview), &QAction::triggered, this, [this] { ActionOptionPreviewExecute(); });
  connect(Action(ActionId::HelpVersion), &QAction::triggered, this, [this] { ActionHelpVersionExecute(); });
  connect(Action(ActionId::FindString), &QAction::triggered, this, [this] { ActionFindStringExecute(); });
  connect(Action(ActionId::FindRefresh), &QAction::triggered, this, [this] { ActionFindRefreshExecute(); });
  connect(Action(ActionId::OptionEnv), &QAction::triggered, this, [this] { ActionOptionEnvExecute(); });
  connect(Action(ActionId::OptionSynonymDic), &QAction::triggered, this, [this] { ActionOptionSynonymDicExecute(); });
  for (std::size_t i = 0; i < kToolBarToggles.size(); ++i) {
    connect(Action(kToolBarToggles[i]), &QAction::triggered, this, [this, i] {
      QToolBar* bar = toolBars_[i];
      bar->setVisible(bar->isHidden());
    });
  }
  connect(Action(ActionId::ResultGoBack), &QAction::triggered, this, [this] { ActionResultGoBackExecute(); });
  connect(Action(ActionId::ResultGoForward), &QAction::triggered, this, [this] { ActionResultGoForwardExecute(); });
  connect(Action(ActionId::ResultHistClear), &QAction::triggered, this, [this] { ActionResultHistClearExecute(); });
  connect(Action(ActionId::ResultSave), &QAction::triggered, this, [this] { ActionResultSaveExecute(); });
  using search::RequestBox;
  // Clearing a history leaves the box's text as it is.
  const std::pair<ActionId, std::vector<RequestBox>> histClears[] = {
      {ActionId::FindHistClearAll,
       {RequestBox::kFindString, RequestBox::kDirectory, RequestBox::kFileMask, RequestBox::kDirectoryMask}},
      {ActionId::FindHistClearString, {RequestBox::kFindString}},
      {ActionId::FindHistClearDirectory, {RequestBox::kDirectory}},
      {ActionId::FindHistClearFileMask, {RequestBox::kFileMask}},
      {ActionId::FindHistClearDirectoryMask, {RequestBox::kDirectoryMask}},
  };
  for (const auto& [id, which] : histClears) {
    connect(Action(id), &QAction::triggered, this, [this, which] {
      for (RequestBox box : which) Box(box).ClearHistory();
    });
  }
}

void TFormTarnMain::CreateMenus() {
  auto popup = [this](ActionId id, QMenu* menu, CommandRule rule) {
    const ActionDef& def = ActionDefOf(id);
    menu->setObjectName(QString(Utf8(def.Name)).replace(QLatin1String("Action"), QLatin1String("menu")));
    QAction* action = menu->menuAction();
    action->setObjectName(Utf8(def.Name));
    action->setStatusTip(Utf8(def.Hint));
    actions_[static_cast<std::size_t>(id)] = action;
    connect(menu, &QMenu::aboutToShow, this, [this, rule] {
      QWidget* focus = QApplication::focusWidget();
      if (focus && focus != menuBar() && focus->window() == this) focusBeforeMenu_ = focus;
      RunRule(rule);
    });
    // Once the menu has gone, and the bar has taken what focus it wants.
    connect(menu, &QMenu::aboutToHide, this, [this] { QTimer::singleShot(0, this, [this] { MenuBarMenuHidden(); }); });
  };
  auto submenu = [this](ActionId id, QMenu* parent) {
    const ActionDef& def = ActionDefOf(id);
    QMenu* menu = parent->addMenu(IconFor(id, *style()), Utf8(def.Caption));
    QAction* action = menu->menuAction();
    action->setObjectName(Utf8(def.Name));
    action->setToolTip(Utf8(def.Hint));
    action->setStatusTip(Utf8(def.Hint));
    actions_[static_cast<std::size_t>(id)] = action;
    return menu;
  };
  auto caption = [](ActionId id) { return Utf8(ActionDefOf(id).Caption); };

  QMenu* menuFile = menuBar()->addMenu(caption(ActionId::FilePopup));
  popup(ActionId::FilePopup, menuFile, CommandRule::File);
  menuFile->addAction(Action(ActionId::FileExit));

  QMenu* menuFind = menuBar()->addMenu(caption(ActionId::FindPopup));
  popup(ActionId::FindPopup, menuFind, CommandRule::Find);
  menuFind->addAction(Action(ActionId::FindStart));
  menuFind->addAction(Action(ActionId::FindStop));
  menuFind->addSeparator();
  QMenu* histClear = submenu(ActionId::FindHistClear, menuFind);
  histClear->addAction(Action(ActionId::FindHistClearAll));
  histClear->addSeparator();
  for (ActionId id : {ActionId::FindHistClearString, ActionId::FindHistClearDirectory, ActionId::FindHistClearFileMask,
                      ActionId::FindHistClearDirectoryMask})
    histClear->addAction(Action(id));
  menuFind->addAction(Action(ActionId::FindString));
  menuFind->addAction(Action(ActionId::FindRefresh));

  QMenu* menuResult = menuBar()->addMenu(caption(ActionId::ResultPopup));
  popup(ActionId::ResultPopup, menuResult, CommandRule::Result);
  menuResult->addAction(Action(ActionId::ResultGoBack));
  menuResult->addAction(Action(ActionId::ResultGoForward));
  menuResult->addSeparator();
  menuResult->addAction(Action(ActionId::ResultEditor));
  menuResult->addSeparator();
  menuResult->addAction(Action(ActionId::ResultClear));
  menuResult->addAction(Action(ActionId::ResultSave));
  menuResult->addSeparator();
  menuResult->addAction(Action(ActionId::ResultHistClear));

  QMenu* menuOption = menuBar()->addMenu(caption(ActionId::OptionPopup));
  popup(ActionId::OptionPopup, menuOption, CommandRule::Option);
  menuOption->addAction(Action(ActionId::OptionEnv));
  menuOption->addAction(Action(ActionId::OptionSynonymDic));
  menuOption->addSeparator();
  menuOption->addAction(Action(ActionId::OptionLeftPanel));
  menuOption->addAction(Action(ActionId::OptionPreview));
  QMenu* toolBarMenu = submenu(ActionId::OptionToolBar, menuOption);
  for (ActionId id : kToolBarToggles) toolBarMenu->addAction(Action(id));

  QMenu* menuHelp = menuBar()->addMenu(caption(ActionId::HelpPopup));
  popup(ActionId::HelpPopup, menuHelp, CommandRule::Help);
  QMenu* helpEntries = submenu(ActionId::HelpHelp, menuHelp);
  menuHelp->addSeparator();
  menuHelp->addAction(Action(ActionId::HelpVersion));
  popupMenuHelp_ = helpEntries;
}

void TFormTarnMain::CreateToolBars() {
  struct Bar {
    ToolBarId id;
    const char* name;
    const char* caption;
    std::vector<ActionId> buttons;
  };
  const Bar bars[] = {
      {ToolBarId::Find, "ToolBarFind", "検索",
       {ActionId::FindStart, ActionId::FindStop, ActionId::FindString, ActionId::FindRefresh}},
      {ToolBarId::Result, "ToolBarResult", "結果",
       {ActionId::ResultGoBack, ActionId::ResultGoForward, ActionId::ResultEditor, ActionId::ResultClear,
        ActionId::ResultSave}},
      {ToolBarId::Option, "ToolBarOption", "設定",
       {ActionId::OptionEnv, ActionId::OptionSynonymDic, ActionId::OptionLeftPanel, ActionId::OptionPreview}},
      {ToolBarId::Help, "ToolBarHelp", "ヘルプ", {ActionId::HelpHelp, ActionId::HelpVersion}},
  };
  for (const Bar& bar : bars) {
    auto* toolBar = new QToolBar(QString::fromUtf8(bar.caption), this);
    toolBar->setObjectName(QLatin1String(bar.name));
    toolBar->setMovable(true);
    toolBar->setFloatable(true);
    toolBar->setIconSize(QSize(16, 16));
    toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (ActionId id : bar.buttons) toolBar->addAction(Action(id));
    toolBars_[static_cast<std::size_t>(bar.id)] = toolBar;
    addToolBar(Qt::TopToolBarArea, toolBar);
  }
  // The help button drops down the list of help entries.
  if (auto* button = qobject_cast<QToolButton*>(ToolBar(ToolBarId::Help)->widgetForAction(Action(ActionId::HelpHelp))))
    button->setPopupMode(QToolButton::InstantPopup);
}

void TFormTarnMain::CreateRequestPanel() {
  TRequestPanel& panel = *panelFindRequest_;
  panel.setObjectName(QStringLiteral("PanelFindRequest"));
  const char* const labels[] = {"検索文字列", "検索ディレクトリ", "ファイルマスク", "ディレクトリマスク", "あいまい検索"};
  for (std::size_t i = 0; i < std::size(labels); ++i) {
    auto* label = new QLabel(QString::fromUtf8(labels[i]), &panel);
    label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
    labels_[i] = label;
  }
  const char* const boxes[] = {"KoFlatComboBoxFindString", "KoFlatComboBoxFindDirectory", "KoFlatComboBoxFindFileMask",
                               "KoFlatComboBoxFindDirectoryMask"};
  for (std::size_t i = 0; i < std::size(boxes); ++i) {
    auto* box = new TKoFlatComboBox(&panel);
    box->setObjectName(QLatin1String(boxes[i]));
    box->SetMaxHistory(32);
    panel.AddStretched(box);
    boxes_[i] = box;
    connect(box, &TKoFlatComboBox::EnterPressed, this, [this] { ActionFindStartExecute(); });
  }
  // The search string has its own fixed-pitch face, so that Shift-JIS text lines up as typed.
  QFont fixed(InstalledFace(SystemText("ＭＳ ゴシック"), true));
  fixed.setPixelSize(13);
  boxes_[0]->setFont(fixed);

  flatCheckBoxFindSubDirectory_ = new QCheckBox(QStringLiteral("サブディレクトリも検索対象"), &panel);
  flatCheckBoxFindSubDirectory_->setObjectName(QStringLiteral("FlatCheckBoxFindSubDirectory"));
  flatCheckBoxFindSubDirectory_->setChecked(true);
  flatCheckBoxUseFuzzyCharDic_ = new QCheckBox(QStringLiteral("文字同一視辞書を使用"), &panel);
  flatCheckBoxUseFuzzyCharDic_->setObjectName(QStringLiteral("FlatCheckBoxUseFuzzyCharDic"));
  flatCheckBoxUseSynonymDic_ = new QCheckBox(QStringLiteral("同意語辞書を使用"), &panel);
  flatCheckBoxUseSynonymDic_->setObjectName(QStringLiteral("FlatCheckBoxUseSynonymDic"));
  connect(flatCheckBoxFindSubDirectory_, &QCheckBox::toggled, this, [this] { FlatCheckBoxFindSubDirectoryClick(); });
  FlatCheckBoxFindSubDirectoryClick();

  QWidget* order[] = {boxes_[0], boxes_[1], boxes_[2], flatCheckBoxFindSubDirectory_, boxes_[3],
                      flatCheckBoxUseFuzzyCharDic_, flatCheckBoxUseSynonymDic_};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
  LayOutRequestPanel();
}

// The design places rows 24 pixels apart with the boxes at 120; a larger window font moves the
// boxes right of the widest label and spreads the rows, so that nothing overlaps or is cut.
void TFormTarnMain::LayOutRequestPanel() {
  int boxHeight = 22;
  for (TKoFlatComboBox* box : boxes_) boxHeight = std::max(boxHeight, std::min(box->sizeHint().height(), 40));
  const int step = std::max(24, boxHeight + 2);
  int left = 120;
  for (QLabel* label : labels_) {
    label->adjustSize();
    left = std::max(left, 4 + label->width() + 6);
  }
  for (QCheckBox* check : {flatCheckBoxFindSubDirectory_, flatCheckBoxUseFuzzyCharDic_, flatCheckBoxUseSynonymDic_})
    check->adjustSize();

  const int boxTops[] = {4, 4 + step, 4 + 2 * step, 4 + 4 * step};
  for (std::size_t i = 0; i < boxes_.size(); ++i) boxes_[i]->setGeometry(left, boxTops[i], 200, boxHeight);
  const int labelRows[] = {boxTops[0], boxTops[1], boxTops[2], boxTops[3], 4 + 5 * step};
  for (std::size_t i = 0; i < labels_.size(); ++i)
    labels_[i]->move(4, labelRows[i] + (boxHeight - labels_[i]->height()) / 2);
  auto centred = [boxHeight](QWidget* w, int x, int top) { w->move(x, top + (boxHeight - w->height()) / 2); };
  centred(flatCheckBoxFindSubDirectory_, 4, 4 + 3 * step);
  centred(flatCheckBoxUseFuzzyCharDic_, left, labelRows[4]);
  centred(flatCheckBoxUseSynonymDic_,
          std::max(left + 184, flatCheckBoxUseFuzzyCharDic_->geometry().right() + 16), labelRows[4]);
  panelFindRequest_->setFixedHeight(4 + 6 * step);
  panelFindRequest_->PanelFindRequestResize();
}

TKoFlatComboBox& TFormTarnMain::Box(search::RequestBox box) const { return *boxes_[static_cast<std::size_t>(box)]; }

QString TFormTarnMain::StatusText() const { return panelStatusBar_->Text(); }

bool TFormTarnMain::LeftPanelVisible() const { return !flatPanelTreeView_->isHidden(); }

bool TFormTarnMain::PreviewVisible() const { return !preview_->isHidden(); }

// --- Commands and their states -----------------------------------------------------------------

TWindowState TFormTarnMain::WindowState() const {
  TWindowState s;
  s.Busy = run_->Busy() != 0;
  s.ResultHasRows = result_->Lines.Count() > 0;
  for (std::size_t i = 0; i < boxes_.size(); ++i) s.HistoryNotEmpty[i] = !boxes_[i]->HistoryItems().empty();
  for (std::size_t i = 0; i < toolBars_.size(); ++i) s.ToolBarVisible[i] = !toolBars_[i]->isHidden();
  s.HistoryFirst = history_.First();
  s.HistoryLast = history_.Last();
  s.HistoryCurrent = history_.Current();
  return s;
}

void TFormTarnMain::RunRule(CommandRule rule) {
  RunCommandRule(rule, WindowState(), actionStates_);
  PushActionStates();
}

void TFormTarnMain::RunAllRules() {
  RunAllCommandRules(WindowState(), actionStates_);
  PushActionStates();
}

void TFormTarnMain::PushActionStates() {
  for (std::size_t i = 0; i < kActionCount; ++i) {
    QAction* action = actions_[i];
    if (!action) continue;
    action->setEnabled(actionStates_[i].Enabled);
    if (actionStates_[i].Checked) action->setChecked(*actionStates_[i].Checked);
  }
}

void TFormTarnMain::FlatCheckBoxFindSubDirectoryClick() {
  TKoFlatComboBox& mask = Box(search::RequestBox::kDirectoryMask);
  const bool on = flatCheckBoxFindSubDirectory_->isChecked();
  mask.setEnabled(on);
  // The disabled look of a panel that is itself disabled stays the style's own.
  QPalette pal = mask.palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
    pal.setColor(group, QPalette::Base, palette().color(group, on ? QPalette::Base : QPalette::Button));
  mask.setPalette(pal);
}

void TFormTarnMain::ActionOptionLeftPanelExecute() {
  const bool show = flatPanelTreeView_->isHidden();
  flatPanelTreeView_->setVisible(show);
  Action(ActionId::OptionLeftPanel)->setChecked(show);
}

void TFormTarnMain::ActionOptionPreviewExecute() {
  const bool show = preview_->isHidden();
  preview_->setVisible(show);
  Action(ActionId::OptionPreview)->setChecked(show);
  if (show) SchedulePreview();
}

void TFormTarnMain::ActionHelpVersionExecute() {
  QMessageBox::about(this, QStringLiteral("バージョン情報"),
                     QStringLiteral("<b>Tarn</b> %1<br>Shift-JIS テキストの検索ツール")
                         .arg(QString::fromUtf8(settings::kProductVersion.data(),
                                                static_cast<qsizetype>(settings::kProductVersion.size()))));
}

void TFormTarnMain::FocusOnShow() {
  using search::RequestBox;
  for (RequestBox box : {RequestBox::kFindString, RequestBox::kDirectory, RequestBox::kFileMask}) {
    if (Box(box).currentText().isEmpty()) {
      Box(box).setFocus();
      return;
    }
  }
  Box(RequestBox::kFindString).setFocus();
}

void TFormTarnMain::ShowError(const std::string& cp932_message) {
  QMessageBox::critical(this, QStringLiteral("Tarn"), FromCp932(cp932_message));
}

// --- Window events ---------------------------------------------------------------------------

void TFormTarnMain::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (shown_) return;
  shown_ = true;
  RunAllRules();
  FocusOnShow();
  // The preview keeps the height it had; the result takes the rest.
  const int total = splitterResult_->height();
  const int preview = std::clamp(settings_.PreviewPane.Height, 40, std::max(40, total - 60));
  splitterResult_->setSizes({std::max(0, total - preview), preview});
  // The tree chose its selection before the window had its size: show it once the layout is done.
  QTimer::singleShot(0, this, [this] {
    QTreeView& tree = directoryPanel_->KoTreeView1();
    if (!tree.currentIndex().isValid()) return;
    tree.scrollTo(tree.currentIndex(), QAbstractItemView::PositionAtCenter);
  });
  if (OnFirstShow) OnFirstShow();
}

QString TFormTarnMain::PathToSelect() const {
  const QString box = Box(search::RequestBox::kDirectory).currentText();
  return box.isEmpty() ? FromCp932(settings_.LeftPanel.InitialDir) : box;
}

void TFormTarnMain::KoTreeView1Change() {
  Box(search::RequestBox::kDirectory).setEditText(directoryPanel_->SelectedDirectory());
}

void TFormTarnMain::ActionFindRefreshExecute() {
  directoryPanel_->BuildTree();
  SelectInPanel(PathToSelect());
}

// A path that names nothing on disk leaves the tree as it is, and so the box keeps its text.
void TFormTarnMain::SelectInPanel(const QString& path) {
  if (!path.isEmpty() && ThereOrNoAnswer(search::DisplayToNative(path.toStdString()), false))
    directoryPanel_->SelectPath(path);
}

void TFormTarnMain::ActionFindStringExecute() { formFindString_->BringForward(); }

void TFormTarnMain::ActionOptionSynonymDicExecute() {
  const std::filesystem::path path = locations_.SynonymDicPath();
  if (!TFormSynonymDic::Edit(this, path, font())) return;
  // The very next search uses what was saved.
  synonyms_->FreeSynonymDic();
  try {
    synonyms_->LoadSynonymDic(path.string());
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
}

void TFormTarnMain::ActionOptionEnvExecute() {
  using search::RequestBox;
  settings::TTarnSettings copy = CurrentSettings();
  copy.FindRequest.FindString = ToCommaText(Box(RequestBox::kFindString).HistoryItems());
  copy.FindRequest.FindDirectory = ToCommaText(Box(RequestBox::kDirectory).HistoryItems());
  copy.FindRequest.FindFileMask = ToCommaText(Box(RequestBox::kFileMask).HistoryItems());
  copy.FindRequest.FindDirectoryMask = ToCommaText(Box(RequestBox::kDirectoryMask).HistoryItems());
  TFormOptionEnv dialog(copy, locations_.SettingsFilePath(), this);
  if (dialog.exec() != QDialog::Accepted) return;

  const settings::TTarnSettings& edited = dialog.Result();
  settings_.Editor = edited.Editor;
  settings_.Basic = edited.Basic;
  settings_.LeftPanel = edited.LeftPanel;
  settings_.FindRequest = edited.FindRequest;
  settings_.FindResult = edited.FindResult;
  settings_.RunTime = edited.RunTime;
  settings_.ShortCuts = edited.ShortCuts;
  settings_.HelpEntries = edited.HelpEntries;
  ApplyShortCuts();
  BuildHelpMenu();
  // The new bound first, so that a raised one keeps every edited item.
  ApplySettings();
  Box(RequestBox::kFindString).SetHistoryItems(ParseCommaText(edited.FindRequest.FindString));
  Box(RequestBox::kDirectory).SetHistoryItems(ParseCommaText(edited.FindRequest.FindDirectory));
  Box(RequestBox::kFileMask).SetHistoryItems(ParseCommaText(edited.FindRequest.FindFileMask));
  Box(RequestBox::kDirectoryMask).SetHistoryItems(ParseCommaText(edited.FindRequest.FindDirectoryMask));
  SaveSettings();
}

void TFormTarnMain::ApplyShortCuts() {
  for (std::size_t i = 0; i < settings_.ShortCuts.size(); ++i)
    Action(ShortCutAction(i))->setShortcut(KeySequenceOf(settings_.ShortCuts[i]));
  for (const ActionDef& def : ActionTable()) {
    QAction* action = Action(def.Id);
    if (!action || def.Hint.empty()) continue;
    settings::TShortCut keys = def.DefaultShortCut;
    for (std::size_t i = 0; i < settings_.ShortCuts.size(); ++i)
      if (ShortCutAction(i) == def.Id) keys = settings_.ShortCuts[i];
    action->setToolTip(FromCp932(ActionToolTip(def.Id, keys)));
  }
}

bool TFormTarnMain::IsCommandShortCut(const QKeyEvent& key) const {
  if (key.key() == 0 || key.key() == Qt::Key_unknown) return false;
  const QKeySequence pressed(QKeyCombination(key.modifiers() & ~Qt::KeypadModifier, Qt::Key(key.key())));
  auto bound = [&pressed](const QAction* action) {
    return action && !action->shortcut().isEmpty() && action->shortcut().matches(pressed) == QKeySequence::ExactMatch;
  };
  return std::ranges::any_of(actions_, bound) ||
         std::ranges::any_of(popupMenuHelp_->actions(), bound);
}

// A box would take Ctrl+Left as a word move and the menu bar an Esc as its own: the window's
// commands answer their keys wherever the focus is, and a disabled command leaves the key to the
// widget. Whoever wants a box's own key gives the command another on the shortcut page.
bool TFormTarnMain::eventFilter(QObject* watched, QEvent* e) {
  if (const auto type = e->type(); type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) {
    auto* widget = qobject_cast<QWidget*>(watched);
    return widget && widget->window() == this && FolderDropEvent(e);
  }
  if (e->type() != QEvent::ShortcutOverride) return QMainWindow::eventFilter(watched, e);
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget->window() != this) return false;
  // Copy and Select all follow the view as it is when their keys are pressed.
  RefreshEditPopupItems();
  if (!IsCommandShortCut(*static_cast<QKeyEvent*>(e))) return false;
  e->ignore();
  return true;
}

bool TFormTarnMain::FolderDropEvent(QEvent* e) {
  auto* drop = static_cast<QDropEvent*>(e);
  const std::optional<std::string> folder = run_->Busy() == 0 ? DroppedFolder(*drop->mimeData()) : std::nullopt;
  // Anything else goes to the widget under the mouse as before (text into a box).
  if (!folder) return false;
  drop->acceptProposedAction();
  if (e->type() == QEvent::Drop) {
    Box(search::RequestBox::kDirectory).setEditText(QString::fromStdString(search::NativeToDisplay(*folder)));
    SelectInPanel(Box(search::RequestBox::kDirectory).currentText());
  }
  return true;
}

// Closed from the keyboard, a menu leaves the bar holding the keyboard with its hint in the
// status line, unseen; the keyboard goes back where it was and the status line shows its text.
void TFormTarnMain::MenuBarMenuHidden() {
  if (QApplication::activePopupWidget()) return;
  statusBar()->clearMessage();
  if (!menuBar()->hasFocus()) return;
  if (focusBeforeMenu_ && focusBeforeMenu_->isEnabled() && focusBeforeMenu_->isVisible())
    focusBeforeMenu_->setFocus(Qt::MenuBarFocusReason);
  else
    menuBar()->clearFocus();
}

void TFormTarnMain::BuildHelpMenu() {
  tarn::ui::BuildHelpMenu(*popupMenuHelp_, settings_.HelpEntries, [this](std::size_t index) { ActionHelpShowExecute(index); });
}

void TFormTarnMain::ActionHelpShowExecute(std::size_t index) {
  if (index < settings_.HelpEntries.size()) tarn::ui::ActionHelpShowExecute(this, settings_.HelpEntries[index]);
}

void TFormTarnMain::HandOver(quint64 record, const QByteArray& text) {
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
  if (record != 100) return;
  // The rows of a run and its history entry belong to the request that started it.
  if (run_->Busy() != 0) {
    pendingHandOvers_.push_back(text);
    return;
  }
  WMCopyData(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

void TFormTarnMain::ApplyPendingHandOvers() {
  std::vector<QByteArray> pending;
  pending.swap(pendingHandOvers_);
  for (const QByteArray& text : pending)
    WMCopyData(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
}

void TFormTarnMain::WMCopyData(std::string_view text) {
  using search::RequestBox;
  const THandOverBoxes boxes = HandOverBoxes(text);
  if (boxes.Directory) Box(RequestBox::kDirectory).SetText(*boxes.Directory);
  if (boxes.FindString) Box(RequestBox::kFindString).SetText(*boxes.FindString);
  if (boxes.FileMask) Box(RequestBox::kFileMask).SetText(*boxes.FileMask);
  if (boxes.Directory) SelectInPanel(Box(RequestBox::kDirectory).currentText());
  if (Box(RequestBox::kFindString).currentText() == QLatin1String(kBlankArgument.data(), kBlankArgument.size()))
    Box(RequestBox::kFindString).setEditText(QString());
  // The first empty box takes the focus; with all three filled it stays where it is.
  for (RequestBox box : {RequestBox::kFindString, RequestBox::kDirectory, RequestBox::kFileMask}) {
    if (Box(box).currentText().isEmpty()) {
      Box(box).setFocus();
      return;
    }
  }
}

// The registered search words are saved with the settings; a file that cannot be written keeps
// the program open with everything as it was.
void TFormTarnMain::closeEvent(QCloseEvent* e) {
  if (run_->Busy() != 0 || !SaveSettings() || !formFindString_->SaveAll()) {
    e->ignore();
    return;
  }
  e->accept();
}

}  // namespace tarn::ui

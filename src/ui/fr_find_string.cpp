#include "ui/fr_find_string.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSizeGrip>
#include <QVBoxLayout>
#include <exception>

#include "core/system_text.h"
#include "editor/ko_editor.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"
#include "ui/aux_editor.h"
#include "ui/editor_file.h"
#include "ui/find_string_rules.h"
#include "ui/ui_text.h"
#include "ui/window_placement.h"

namespace tarn::ui {
namespace {

constexpr const char* kDefaultLines[] = {
    "ここによく使用する検索語を登録してください。",
    "１行に１個です。ダブルクリックするとその行の",
    "検索語が検索文字列に入力されます。",
    "またコピー＆ペーストもできます。",
    "使用例",
    "アルゴリズム|ソート",
};

}  // namespace

TFormFindString::TFormFindString(settings::DataLocations locations, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Tool | Qt::WindowStaysOnTopHint), locations_(std::move(locations)) {
  setObjectName(QStringLiteral("FormFindString"));
  setWindowTitle(QStringLiteral("検索語の登録・呼び出し"));
  setMinimumSize(160, 100);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  koEditor1_ = new editor::TKoEditor(this);
  koEditor1_->setObjectName(QStringLiteral("KoEditor1"));
  SetUpAuxEditor(*koEditor1_);
  koEditor1_->DblClkLine = true;
  layout->addWidget(koEditor1_, 1);

  auto* panelStatusBar = new QWidget(this);
  panelStatusBar->setObjectName(QStringLiteral("PanelStatusBar"));
  panelStatusBar->setMinimumHeight(22);
  panelStatusBar->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  auto* statusLayout = new QHBoxLayout(panelStatusBar);
  statusLayout->setContentsMargins(2, 2, 0, 0);
  statusLayout->setSpacing(0);
  flatPanelStatus1_ = new QLabel(panelStatusBar);
  flatPanelStatus1_->setObjectName(QStringLiteral("FlatPanelStatus1"));
  flatPanelStatus1_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  flatPanelStatus1_->setMinimumWidth(81);
  statusLayout->addWidget(flatPanelStatus1_);
  statusLayout->addStretch(1);
  auto* grip = new QSizeGrip(panelStatusBar);
  grip->setObjectName(QStringLiteral("FlatSpeedButtonResize"));
  statusLayout->addWidget(grip, 0, Qt::AlignBottom | Qt::AlignRight);
  layout->addWidget(panelStatusBar);

  new TEditCommands(*koEditor1_, *this);  // a child of the window
  koEditor1_->OnCaretMoved = [this](editor::TKoEditor&) { KoEditor1CaretMoved(); };
  koEditor1_->OnDblClick = [this](editor::TKoEditor&) { KoEditor1DblClick(); };
  koEditor1_->installEventFilter(this);

  settings::TStringWindowPlacement placement;
  try {
    placement = settings::LoadStringWindowPlacement(locations_.SettingsFilePath());
    placed_ = settings::IniFile::Load(locations_.SettingsFilePath()).Find("StringWindow", "Left").has_value();
  } catch (const std::exception&) {
    // The main window has reported an unreadable settings file already; the design bounds do.
  }
  SetBounds(placement);

  for (const char* line : kDefaultLines) koEditor1_->Lines.Add(SystemText(line));
  const std::filesystem::path path = locations_.StringFilePath();
  if (ReadEditorFile(path, koEditor1_->Lines) == TFileRead::fr_Failed) {
    unreadFile_ = true;
    textShownInstead_ = koEditor1_->Lines.Text();
    ShowFileError(this, settings::CannotOpenFileMessage(path));
  }
  KoEditor1CaretMoved();
}

TFormFindString::~TFormFindString() = default;

bool TFormFindString::SaveAll() {
  if (!placed_) PlaceBesideOwner();
  try {
    settings::SaveStringWindowPlacement(locations_.SettingsFilePath(), Bounds());
  } catch (const std::exception& e) {
    ShowFileError(this, e.what());
  }
  koEditor1_->CommitComposition();
  if (unreadFile_ && koEditor1_->Lines.Text() == textShownInstead_) return true;
  try {
    WriteEditorFile(locations_.StringFilePath(), koEditor1_->Lines);
  } catch (const std::exception& e) {
    ShowFileError(this, e.what());
    return false;
  }
  unreadFile_ = false;
  return true;
}

void TFormFindString::ApplyBaseFont(const QFont& font) {
  setFont(font);
  // The editor's menu is a window of its own and does not take the window's font by itself.
  for (QMenu* menu : findChildren<QMenu*>()) menu->setFont(font);
}

void TFormFindString::BringForward() {
  if (!placed_) PlaceBesideOwner();
  if (isMinimized())
    showNormal();
  else
    show();
  raise();
  activateWindow();
}

QString TFormFindString::StatusText() const { return flatPanelStatus1_->text(); }

void TFormFindString::closeEvent(QCloseEvent* e) {
  if (SaveAll())
    e->accept();
  else
    e->ignore();
}

bool TFormFindString::eventFilter(QObject* watched, QEvent* e) {
  if (watched == koEditor1_ && e->type() == QEvent::ShortcutOverride &&
      EditorKeepsKey(static_cast<QKeyEvent*>(e)->key())) {
    e->accept();
    return true;
  }
  return QWidget::eventFilter(watched, e);
}

void TFormFindString::KoEditor1CaretMoved() {
  flatPanelStatus1_->setText(FromCp932(CaretStatusText(koEditor1_->Row(), koEditor1_->Col())));
}

void TFormFindString::KoEditor1DblClick() {
  const std::optional<std::string> picked = PickedFindString(koEditor1_->RowString(koEditor1_->Row()));
  if (picked && OnPick) OnPick(*picked);
}

void TFormFindString::SetBounds(const settings::TStringWindowPlacement& placement) {
  const QSize size = QSize(placement.Width, placement.Height).expandedTo(minimumSize());
  QList<QRect> screens;
  for (const QScreen* screen : QGuiApplication::screens()) screens.append(screen->availableGeometry());
  const QRect bounds = PlacedOnScreens(placement.Left, placement.Top, size.width(), size.height(), screens);
  move(bounds.topLeft());
  resize(bounds.size());
}

void TFormFindString::PlaceBesideOwner() {
  placed_ = true;
  const QWidget* owner = parentWidget();
  const QScreen* screen = owner ? owner->screen() : nullptr;
  if (!screen) return;
  const QRect frame = owner->frameGeometry();
  const QRect keepClear = RequestBoxesArea ? RequestBoxesArea() : QRect(frame.topLeft(), QSize(frame.width(), 0));
  // The title bar and borders count; before the window was first shown, the owner's tell.
  QSize border = frameGeometry().size() - size();
  if (border.isNull()) border = frame.size() - owner->size();
  const QRect bounds = PlacedBeside(size() + border, frame, keepClear, screen->availableGeometry(), minimumSize() + border);
  move(bounds.topLeft());
  resize(bounds.size() - border);
}

settings::TStringWindowPlacement TFormFindString::Bounds() const { return {pos().y(), pos().x(), width(), height()}; }

}  // namespace tarn::ui

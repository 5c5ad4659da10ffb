// The main window's settings: read into the window at creation, pushed into its controls, and
// written whole when it closes.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMenu>
#include <QScreen>
#include <QSplitter>
#include <QToolBar>
#include <QToolTip>
#include <algorithm>

#include "search/native_path.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"
#include "ui/disabled_icon.h"
#include "ui/editor_detection.h"
#include "ui/fr_find_string.h"
#include "ui/fr_tarn_main.h"
#include "ui/hand_edited_settings.h"
#include "ui/ko_flat_combo_box.h"
#include "ui/preview_pane.h"
#include "ui/request_panel.h"
#include "ui/ui_settings_values.h"
#include "ui/ui_text.h"
#include "ui/window_placement.h"

namespace tarn::ui {
namespace {

std::uint16_t HistoryBound(std::int32_t n) { return static_cast<std::uint16_t>(std::clamp(n, 0, 65535)); }

constexpr const char* kToolBarSection = "ToolBar";
constexpr const char* kToolBarLayoutKey = "Layout";

}  // namespace

void TFormTarnMain::LoadSettings() {
  // Keys whose default is the control's current value fall back on these.
  settings::TTarnSettings current;
  const QRect work = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                       : QRect(0, 0, 800, 600);
  current.Window.Width = work.width();
  current.Window.Height = work.height();
  settings::IniFile ini;
  std::error_code ec;
  firstStart_ = !std::filesystem::exists(locations_.SettingsFilePath(), ec);
  try {
    ini = settings::IniFile::Load(locations_.SettingsFilePath());
  } catch (const std::exception& e) {
    ShowError(e.what());
  }
  settings_ = current;
  settings::LoadSettings(ini, settings_);
  settings::TTarnSettings& s = settings_;

  QList<QRect> screens;
  for (const QScreen* screen : QGuiApplication::screens()) screens.append(screen->availableGeometry());
  const QRect bounds = PlacedOnScreens(s.Window.Left, s.Window.Top, s.Window.Width, s.Window.Height, screens);
  setGeometry(bounds);
  // A window closed while minimised opens normally: one that starts minimised looks as if it
  // never started.
  if (s.Window.WindowState == 2) setWindowState(Qt::WindowMaximized);

  flatPanelTreeView_->setVisible(s.LeftPanelState.Visible);
  Action(ActionId::OptionLeftPanel)->setChecked(s.LeftPanelState.Visible);
  preview_->setVisible(s.PreviewPane.Visible);
  Action(ActionId::OptionPreview)->setChecked(s.PreviewPane.Visible);
  // The bound first: the design bound of 32 would cut longer stored histories.
  for (TKoFlatComboBox* box : boxes_) box->SetMaxHistory(HistoryBound(s.FindRequest.MaxHistory));
  using search::RequestBox;
  Box(RequestBox::kFindString).SetHistoryItems(s.RequestBoxes.FindString);
  Box(RequestBox::kDirectory).SetHistoryItems(s.RequestBoxes.FindDirectory);
  Box(RequestBox::kFileMask).SetHistoryItems(s.RequestBoxes.FindFileMask);
  Box(RequestBox::kDirectoryMask).SetHistoryItems(s.RequestBoxes.FindDirectoryMask);
  flatCheckBoxFindSubDirectory_->setChecked(s.RequestBoxes.FindSubDirectory);
  flatCheckBoxUseFuzzyCharDic_->setChecked(s.RequestBoxes.UseFuzzyCharDic);
  flatCheckBoxUseSynonymDic_->setChecked(s.RequestBoxes.UseSynonymDic);

  history_ = search::TResultHistoryIndex::AtStartUp(s.History.First, s.History.Last);
  PlaceToolBars();
  // Where the user left the toolbars, floating ones included, as the toolkit records it; the
  // visibility keys still decide which are shown.
  if (const auto layout = ini.Find(kToolBarSection, kToolBarLayoutKey)) {
    restoreState(QByteArray::fromBase64(QByteArray::fromStdString(*layout)));
    for (std::size_t i = 0; i < toolBars_.size(); ++i) {
      QToolBar* bar = toolBars_[i];
      const QRect at = bar->geometry();
      if (bar->isFloating()) bar->setGeometry(PlacedOnScreens(at.x(), at.y(), at.width(), at.height(), screens));
      bar->setVisible(s.ToolBars[i].Visible);
    }
  }
  SettleHandEditedSettings(s, *this);
  ApplyShortCuts();
  BuildHelpMenu();
  // On a first start the editor of the desktop, when one is known, opens result lines at once.
  if (firstStart_ && s.Editor.ExeName.empty())
    if (const auto editor = FindInstalledEditor(ProgramOnPath)) s.Editor = *editor;
  ApplySettings();
  // Once the fonts are applied: the request panel needs room for its check boxes and a box.
  const int boxesWidth = std::max(flatCheckBoxUseSynonymDic_->geometry().right(), boxes_.front()->x() + 160) + 8;
  const int panelWidth = LeftPanelWidth(s.LeftPanelState.Width, bounds.width(), boxesWidth);
  splitter1_->setSizes({panelWidth, bounds.width() - panelWidth});
}

// Docked toolbars go into rows by their saved top, left to right by their saved left.
void TFormTarnMain::PlaceToolBars() {
  std::array<std::size_t, kToolBarCount> order{0, 1, 2, 3};
  const auto& placements = settings_.ToolBars;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (placements[a].Top != placements[b].Top) return placements[a].Top < placements[b].Top;
    return placements[a].Left < placements[b].Left;
  });
  for (QToolBar* bar : toolBars_) removeToolBar(bar);
  for (std::size_t k = 0; k < order.size(); ++k) {
    const std::size_t i = order[k];
    if (k > 0 && placements[i].Top != placements[order[k - 1]].Top) addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, toolBars_[i]);
    toolBars_[i]->setVisible(placements[i].Visible);
  }
}

void TFormTarnMain::ApplySettings() {
  settings::TTarnSettings& s = settings_;
  QIcon editorIcon = QIcon::fromTheme(QStringLiteral("document-edit"), style()->standardIcon(QStyle::SP_FileIcon));
  if (!s.Editor.ExeName.empty()) {
    const QFileInfo exe(QString::fromStdString(search::Cp932ToNative(s.Editor.ExeName)));
    if (exe.exists()) editorIcon = QFileIconProvider().icon(exe);
  }
  Action(ActionId::ResultEditor)->setIcon(WithDisabledLook(editorIcon));

  const QFont base = SettingsFont(s.Basic.FontName, s.Basic.FontSize, false);
  setFont(base);
  QToolTip::setFont(base);
  // Menus are windows of their own: the window's font does not reach them by itself, nor the
  // menus the boxes make when they are right-clicked.
  QApplication::setFont(base, "QMenu");
  for (QMenu* menu : findChildren<QMenu*>()) menu->setFont(base);
  flatPanelTreeView_->setFont(SettingsFont(s.LeftPanel.FontName, s.LeftPanel.FontSize, false));
  if (formFindString_) formFindString_->ApplyBaseFont(base);
  LayOutRequestPanel();

  for (TKoFlatComboBox* box : boxes_) {
    box->SetMaxHistory(HistoryBound(s.FindRequest.MaxHistory));
    box->SetAutoComplete(s.FindRequest.AutoComplete);
  }

  result_->setFont(SettingsFont(s.FindResult.FontName, s.FindResult.FontSize, true));
  result_->FontColor = ColorOf(s.FindResult.FontColor, palette());
  result_->Color = ColorOf(s.FindResult.BackColor, palette());
  s.FindResult.StringStyle = settings::ComputeStringStyle(s.FindResult);
  result_->Refresh();
  // The preview shows files as the result shows rows.
  editor::TKoEditor& preview = preview_->Editor();
  preview.setFont(result_->font());
  preview.FontColor = result_->FontColor;
  preview.Color = result_->Color;
  preview.View.Colors.Select = result_->View.Colors.Select;
  preview.Refresh();

  saveDirectory_ = FromCp932(s.FindResult.SaveDirectory);
  saveType_ = s.FindResult.SaveType == 1 ? 1 : 0;
}

settings::TTarnSettings TFormTarnMain::CurrentSettings() const {
  settings::TTarnSettings s = settings_;
  const Qt::WindowStates state = windowState();
  if (!(state & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))) {
    s.Window.Top = geometry().top();
    s.Window.Left = geometry().left();
    s.Window.Width = geometry().width();
    s.Window.Height = geometry().height();
  }
  s.Window.WindowState = (state & Qt::WindowMinimized) ? 1 : (state & Qt::WindowMaximized) ? 2 : 0;
  s.History.First = history_.First();
  s.History.Last = history_.Last();
  s.LeftPanelState.Visible = LeftPanelVisible();
  if (LeftPanelVisible()) s.LeftPanelState.Width = flatPanelTreeView_->width();
  s.PreviewPane.Visible = PreviewVisible();
  if (PreviewVisible() && shown_) s.PreviewPane.Height = preview_->height();

  using search::RequestBox;
  s.RequestBoxes.FindString = Box(RequestBox::kFindString).HistoryItems();
  s.RequestBoxes.FindDirectory = Box(RequestBox::kDirectory).HistoryItems();
  s.RequestBoxes.FindFileMask = Box(RequestBox::kFileMask).HistoryItems();
  s.RequestBoxes.FindDirectoryMask = Box(RequestBox::kDirectoryMask).HistoryItems();
  s.RequestBoxes.FindSubDirectory = flatCheckBoxFindSubDirectory_->isChecked();
  s.RequestBoxes.UseFuzzyCharDic = flatCheckBoxUseFuzzyCharDic_->isChecked();
  s.RequestBoxes.UseSynonymDic = flatCheckBoxUseSynonymDic_->isChecked();

  for (std::size_t i = 0; i < toolBars_.size(); ++i) {
    const QToolBar* bar = toolBars_[i];
    settings::TToolBarPlacement& p = s.ToolBars[i];
    p.Visible = !bar->isHidden();
    p.Floating = bar->isFloating();
    // A floating toolbar's place on the screen, a docked one's place in the window.
    p.Top = bar->isFloating() ? bar->pos().y() : bar->geometry().top();
    p.Left = bar->isFloating() ? bar->pos().x() : bar->geometry().left();
  }
  return s;
}

bool TFormTarnMain::SaveSettings() {
  try {
    const settings::TTarnSettings current = CurrentSettings();
    const std::string layout = saveState().toBase64().toStdString();
    settings::UpdateSettingsFile(locations_.SettingsFilePath(), [&](settings::IniFile& ini) {
      // Entries tarngrep stored after the window's last one stay counted.
      settings::TTarnSettings merged = current;
      const std::int32_t storedLast = ini.ReadInteger("FindResultHistory", "Last", 0);
      if (storedLast > merged.History.Last) {
        merged.History.Last = storedLast;
        if (merged.History.First == 0) merged.History.First = ini.ReadInteger("FindResultHistory", "First", 0);
      }
      settings::StoreSettings(ini, merged);
      ini.WriteString(kToolBarSection, kToolBarLayoutKey, layout);
    });
  } catch (const std::exception& e) {
    ShowError(e.what());
    return false;
  }
  return true;
}

}  // namespace tarn::ui

#include "settings/settings_file.h"

#include <algorithm>
#include <limits>
#include <string>
#include <thread>

#include "core/comma_text.h"
#include "core/system_text.h"
#include "settings/value_forms.h"

namespace tarn::settings {
namespace {

constexpr const char* kTarn = "Tarn";
constexpr const char* kLeftPanel = "LeftPanel";
constexpr const char* kEditor = "Editor";
constexpr const char* kFindRequest = "FindRequest";
constexpr const char* kFindResult = "FindResult";
constexpr const char* kRunTime = "RunTime";
constexpr const char* kFindResultHistory = "FindResultHistory";
constexpr const char* kToolBar = "ToolBar";
constexpr const char* kShortCut = "ShortCut";
constexpr const char* kHelp = "Help";
constexpr const char* kStringWindow = "StringWindow";

// A hand-edited "Count" must not make start-up read millions of absent keys.
constexpr std::int32_t kMaxHelpEntries = 1000;

constexpr std::array<const char*, 4> kHistoryKeys = {"FindString", "FindDirectory", "FindFileMask", "FindDirectoryMask"};

std::array<std::vector<std::string>*, 4> HistoryLists(TFindRequestBoxes& boxes) {
  return {&boxes.FindString, &boxes.FindDirectory, &boxes.FindFileMask, &boxes.FindDirectoryMask};
}

std::array<const std::vector<std::string>*, 4> HistoryLists(const TFindRequestBoxes& boxes) {
  return {&boxes.FindString, &boxes.FindDirectory, &boxes.FindFileMask, &boxes.FindDirectoryMask};
}

std::string ToolBarKey(std::size_t bar, const char* what) { return std::string(kToolBarKeyPrefixes[bar]) + what; }

// A hand-edited Last at the top of the range must not overflow.
std::int32_t CurrentAfterLast(std::int32_t last) {
  if (last < 1) return 0;
  return last < std::numeric_limits<std::int32_t>::max() ? last + 1 : last;
}

}  // namespace

std::int32_t DefaultWorkerThreads() noexcept {
  return std::clamp(static_cast<std::int32_t>(std::thread::hardware_concurrency()), 1, kMaxWorkerThreads);
}

TFindResultInfo::TFindResultInfo() : FontName(SystemText("ＭＳ ゴシック")) {}

std::int32_t ComputeStringStyle(const TFindResultInfo& info) noexcept {
  return (info.StringStyleBold ? fsBold : 0) | (info.StringStyleItalic ? fsItalic : 0) |
         (info.StringStyleUnderline ? fsUnderline : 0);
}

TTarnSettings::TTarnSettings() {
  for (std::size_t i = 0; i < kShortCutCommands.size(); ++i) ShortCuts[i] = kShortCutCommands[i].DesignShortCut;
}

THelpEntry ParseHelpEntry(std::string_view commaText) {
  std::vector<std::string> items = ParseCommaText(commaText);
  items.resize(std::max<std::size_t>(items.size(), 3));
  return THelpEntry{std::move(items[0]), std::move(items[1]), std::move(items[2])};
}

std::string FormatHelpEntry(const THelpEntry& entry) {
  return ToCommaText({entry.Title, entry.FileName, entry.ShortCut});
}

void LoadSettings(const IniFile& ini, TTarnSettings& s) {
  s.Version = ini.ReadString(kTarn, "Version", "");
  const bool oldFile = s.Version.empty();
  auto old = [oldFile](std::string value) { return oldFile ? UnquoteOldValue(value) : value; };

  s.Window.Top = ini.ReadInteger(kTarn, "Top", 0);
  s.Window.Left = ini.ReadInteger(kTarn, "Left", 0);
  s.Window.Width = ini.ReadInteger(kTarn, "Width", s.Window.Width);
  s.Window.Height = ini.ReadInteger(kTarn, "Height", s.Window.Height);
  s.Window.WindowState = ini.ReadInteger(kTarn, "WindowState", s.Window.WindowState);
  s.PreviewPane.Visible = ini.ReadBool(kTarn, "PreviewVisible", s.PreviewPane.Visible);
  s.PreviewPane.Height = ini.ReadInteger(kTarn, "PreviewHeight", s.PreviewPane.Height);
  s.Basic.FontName = ini.ReadString(kTarn, "FontName", s.Basic.FontName);
  s.Basic.FontSize = ini.ReadInteger(kTarn, "FontSize", s.Basic.FontSize);

  // The directory panel inherits the base font just read until its own keys say otherwise.
  s.LeftPanel.FontName = ini.ReadString(kLeftPanel, "FontName", s.Basic.FontName);
  s.LeftPanel.FontSize = ini.ReadInteger(kLeftPanel, "FontSize", s.Basic.FontSize);
  s.LeftPanel.InitialDir = ini.ReadString(kLeftPanel, "InitialDir", "");
  s.LeftPanelState.Visible = ini.ReadBool(kLeftPanel, "Visible", s.LeftPanelState.Visible);
  s.LeftPanelState.Width = ini.ReadInteger(kLeftPanel, "Width", s.LeftPanelState.Width);

  s.Editor.ExeName = ini.ReadString(kEditor, "ExeName", "");
  s.Editor.CmdLine = ini.ReadString(kEditor, "CmdLine", "");

  const auto lists = HistoryLists(s.RequestBoxes);
  for (std::size_t i = 0; i < kHistoryKeys.size(); ++i)
    *lists[i] = ParseCommaText(old(ini.ReadString(kFindRequest, kHistoryKeys[i], "")));
  s.FindRequest.AutoComplete = ini.ReadBool(kFindRequest, "AutoComplete", false);
  s.FindRequest.NoRegExp = ini.ReadBool(kFindRequest, "NoRegExp", false);
  s.FindRequest.MaxHistory = ini.ReadInteger(kFindRequest, "MaxHistory", 32);
  s.RequestBoxes.FindSubDirectory = ini.ReadBool(kFindRequest, "FindSubDirectory", s.RequestBoxes.FindSubDirectory);
  s.RequestBoxes.UseFuzzyCharDic = ini.ReadBool(kFindRequest, "UseFuzzyCharDic", s.RequestBoxes.UseFuzzyCharDic);
  s.RequestBoxes.UseSynonymDic = ini.ReadBool(kFindRequest, "UseSynonymDic", s.RequestBoxes.UseSynonymDic);

  TFindResultInfo& r = s.FindResult;
  r.FontName = ini.ReadString(kFindResult, "FontName", r.FontName);
  r.FontSize = ini.ReadInteger(kFindResult, "FontSize", r.FontSize);
  r.FontColor = ini.ReadColor(kFindResult, "FontColor", r.FontColor);
  r.BackColor = ini.ReadColor(kFindResult, "BackColor", r.BackColor);
  r.StringFontColor = ini.ReadColor(kFindResult, "StringFontColor", clBlue);
  r.StringBackColor = ini.ReadColor(kFindResult, "StringBackColor", clYellow);
  r.StringStyleBold = ini.ReadBool(kFindResult, "StringStyleBold", false);
  r.StringStyleItalic = ini.ReadBool(kFindResult, "StringStyleItalic", false);
  r.StringStyleUnderline = ini.ReadBool(kFindResult, "StringStyleUnderline", false);
  r.StringStyle = ComputeStringStyle(r);
  r.ShowRealtime = ini.ReadBool(kFindResult, "ShowRealtime", true);
  r.WorkerThreads = std::clamp(ini.ReadInteger(kFindResult, "WorkerThreads", DefaultWorkerThreads()), 1, kMaxWorkerThreads);
  r.FileEncoding = FileEncodingChoiceFromName(ini.ReadString(kFindResult, "FileEncoding", "auto"))
                       .value_or(FileEncodingChoice::kAuto);
  r.SaveDirectory = ini.ReadString(kFindResult, "SaveDirectory", "");
  r.SaveType = ini.ReadInteger(kFindResult, "SaveType", 0);
  r.ResultType = ini.ReadInteger(kFindResult, "ResultType", 2);

  s.RunTime.LastFindString = ini.ReadBool(kRunTime, "LastFindString", false);
  s.RunTime.LastFindDirectory = ini.ReadBool(kRunTime, "LastFindDirectory", false);
  s.RunTime.LastFindFileMask = ini.ReadBool(kRunTime, "LastFindFileMask", false);

  s.History.First = ini.ReadInteger(kFindResultHistory, "First", 0);
  s.History.Last = ini.ReadInteger(kFindResultHistory, "Last", 0);
  s.History.Current = CurrentAfterLast(s.History.Last);

  for (std::size_t bar = 0; bar < s.ToolBars.size(); ++bar) {
    TToolBarPlacement& t = s.ToolBars[bar];
    t.Top = ini.ReadInteger(kToolBar, ToolBarKey(bar, "Top"), t.Top);
    t.Left = ini.ReadInteger(kToolBar, ToolBarKey(bar, "Left"), t.Left);
    t.Floating = ini.ReadBool(kToolBar, ToolBarKey(bar, "Floating"), t.Floating);
    t.Visible = ini.ReadBool(kToolBar, ToolBarKey(bar, "Visible"), t.Visible);
  }

  for (std::size_t i = 0; i < kShortCutCommands.size(); ++i)
    s.ShortCuts[i] = ParseShortcut(ini.ReadString(kShortCut, kShortCutCommands[i].Key, FormatShortcut(s.ShortCuts[i])));

  s.HelpEntries.clear();
  const std::int32_t count = std::min(ini.ReadInteger(kHelp, "Count", 0), kMaxHelpEntries);
  for (std::int32_t i = 0; i < count; ++i)
    s.HelpEntries.push_back(old(ini.ReadString(kHelp, "Item" + std::to_string(i), "")));
}

TTarnSettings LoadSettingsFile(const std::filesystem::path& path, const TTarnSettings& current) {
  TTarnSettings settings = current;
  LoadSettings(IniFile::Load(path), settings);
  return settings;
}

void StoreSettings(IniFile& ini, const TTarnSettings& s) {
  ini.WriteString(kTarn, "Version", kProductVersion);
  if (s.Window.WindowState == 0) {
    ini.WriteInteger(kTarn, "Top", s.Window.Top);
    ini.WriteInteger(kTarn, "Left", s.Window.Left);
    ini.WriteInteger(kTarn, "Width", s.Window.Width);
    ini.WriteInteger(kTarn, "Height", s.Window.Height);
  }
  ini.WriteInteger(kTarn, "WindowState", s.Window.WindowState);
  ini.WriteBool(kTarn, "PreviewVisible", s.PreviewPane.Visible);
  ini.WriteInteger(kTarn, "PreviewHeight", s.PreviewPane.Height);
  ini.WriteString(kTarn, "FontName", s.Basic.FontName);
  ini.WriteInteger(kTarn, "FontSize", s.Basic.FontSize);

  ini.WriteString(kLeftPanel, "FontName", s.LeftPanel.FontName);
  ini.WriteInteger(kLeftPanel, "FontSize", s.LeftPanel.FontSize);
  ini.WriteString(kLeftPanel, "InitialDir", s.LeftPanel.InitialDir);
  ini.WriteBool(kLeftPanel, "Visible", s.LeftPanelState.Visible);
  ini.WriteInteger(kLeftPanel, "Width", s.LeftPanelState.Width);

  ini.WriteString(kEditor, "ExeName", s.Editor.ExeName);
  ini.WriteString(kEditor, "CmdLine", s.Editor.CmdLine);

  const auto lists = HistoryLists(s.RequestBoxes);
  for (std::size_t i = 0; i < kHistoryKeys.size(); ++i) ini.WriteString(kFindRequest, kHistoryKeys[i], ToCommaText(*lists[i]));
  ini.WriteBool(kFindRequest, "AutoComplete", s.FindRequest.AutoComplete);
  ini.WriteBool(kFindRequest, "NoRegExp", s.FindRequest.NoRegExp);
  ini.WriteInteger(kFindRequest, "MaxHistory", s.FindRequest.MaxHistory);
  ini.WriteBool(kFindRequest, "FindSubDirectory", s.RequestBoxes.FindSubDirectory);
  ini.WriteBool(kFindRequest, "UseFuzzyCharDic", s.RequestBoxes.UseFuzzyCharDic);
  ini.WriteBool(kFindRequest, "UseSynonymDic", s.RequestBoxes.UseSynonymDic);

  const TFindResultInfo& r = s.FindResult;
  ini.WriteString(kFindResult, "FontName", r.FontName);
  ini.WriteInteger(kFindResult, "FontSize", r.FontSize);
  ini.WriteColor(kFindResult, "FontColor", r.FontColor);
  ini.WriteColor(kFindResult, "BackColor", r.BackColor);
  ini.WriteColor(kFindResult, "StringFontColor", r.StringFontColor);
  ini.WriteColor(kFindResult, "StringBackColor", r.StringBackColor);
  ini.WriteBool(kFindResult, "StringStyleBold", r.StringStyleBold);
  ini.WriteBool(kFindResult, "StringStyleItalic", r.StringStyleItalic);
  ini.WriteBool(kFindResult, "StringStyleUnderline", r.StringStyleUnderline);
  ini.WriteBool(kFindResult, "ShowRealtime", r.ShowRealtime);
  ini.WriteInteger(kFindResult, "WorkerThreads", r.WorkerThreads);
  ini.WriteString(kFindResult, "FileEncoding", std::string(FileEncodingChoiceName(r.FileEncoding)));
  ini.WriteString(kFindResult, "SaveDirectory", r.SaveDirectory);
  ini.WriteInteger(kFindResult, "SaveType", r.SaveType);
  ini.WriteInteger(kFindResult, "ResultType", r.ResultType);

  ini.WriteBool(kRunTime, "LastFindString", s.RunTime.LastFindString);
  ini.WriteBool(kRunTime, "LastFindDirectory", s.RunTime.LastFindDirectory);
  ini.WriteBool(kRunTime, "LastFindFileMask", s.RunTime.LastFindFileMask);
  ini.WriteInteger(kFindResultHistory, "First", s.History.First);
  ini.WriteInteger(kFindResultHistory, "Last", s.History.Last);

  for (std::size_t bar = 0; bar < s.ToolBars.size(); ++bar) {
    const TToolBarPlacement& t = s.ToolBars[bar];
    ini.WriteBool(kToolBar, ToolBarKey(bar, "Visible"), t.Visible);
    ini.WriteBool(kToolBar, ToolBarKey(bar, "Floating"), t.Floating);
    ini.WriteInteger(kToolBar, ToolBarKey(bar, "Top"), t.Top);
    ini.WriteInteger(kToolBar, ToolBarKey(bar, "Left"), t.Left);
  }

  for (std::size_t i = 0; i < kShortCutCommands.size(); ++i)
    ini.WriteString(kShortCut, kShortCutCommands[i].Key, FormatShortcut(s.ShortCuts[i]));

  ini.EraseSection(kHelp);
  ini.WriteInteger(kHelp, "Count", static_cast<std::int32_t>(s.HelpEntries.size()));
  for (std::size_t i = 0; i < s.HelpEntries.size(); ++i) ini.WriteString(kHelp, "Item" + std::to_string(i), s.HelpEntries[i]);
}

void UpdateSettingsFile(const std::filesystem::path& path, const std::function<void(IniFile&)>& change) {
  IniFile ini = IniFile::Load(path);
  change(ini);
  ini.Save(path);
}

void SaveSettingsFile(const std::filesystem::path& path, const TTarnSettings& settings) {
  UpdateSettingsFile(path, [&](IniFile& ini) { StoreSettings(ini, settings); });
}

TOptionHistories LoadOptionHistories(const std::filesystem::path& path) {
  const IniFile ini = IniFile::Load(path);
  return {ini.ReadString(kEditor, "HistoryExeName", ""), ini.ReadString(kEditor, "HistoryCmdLine", ""),
          ini.ReadString(kFindResult, "HistorySaveDirectory", "")};
}

void SaveOptionHistories(const std::filesystem::path& path, const TOptionHistories& histories) {
  UpdateSettingsFile(path, [&](IniFile& ini) {
    ini.WriteString(kEditor, "HistoryExeName", histories.ExeName);
    ini.WriteString(kEditor, "HistoryCmdLine", histories.CmdLine);
    ini.WriteString(kFindResult, "HistorySaveDirectory", histories.SaveDirectory);
  });
}

TStringWindowPlacement LoadStringWindowPlacement(const std::filesystem::path& path) {
  const IniFile ini = IniFile::Load(path);
  const TStringWindowPlacement design;
  return {ini.ReadInteger(kStringWindow, "Top", design.Top), ini.ReadInteger(kStringWindow, "Left", design.Left),
          ini.ReadInteger(kStringWindow, "Width", design.Width), ini.ReadInteger(kStringWindow, "Height", design.Height)};
}

void SaveStringWindowPlacement(const std::filesystem::path& path, const TStringWindowPlacement& placement) {
  UpdateSettingsFile(path, [&](IniFile& ini) {
    ini.WriteInteger(kStringWindow, "Top", placement.Top);
    ini.WriteInteger(kStringWindow, "Left", placement.Left);
    ini.WriteInteger(kStringWindow, "Width", placement.Width);
    ini.WriteInteger(kStringWindow, "Height", placement.Height);
  });
}

TResultHistoryCounters LoadResultHistoryCounters(const std::filesystem::path& path) {
  const IniFile ini = IniFile::Load(path);
  TResultHistoryCounters counters;
  counters.First = ini.ReadInteger(kFindResultHistory, "First", 0);
  counters.Last = ini.ReadInteger(kFindResultHistory, "Last", 0);
  counters.Current = CurrentAfterLast(counters.Last);
  return counters;
}

void SaveResultHistoryCounters(const std::filesystem::path& path, std::int32_t first, std::int32_t last) {
  UpdateSettingsFile(path, [&](IniFile& ini) {
    ini.WriteInteger(kFindResultHistory, "First", first);
    ini.WriteInteger(kFindResultHistory, "Last", last);
  });
}

}  // namespace tarn::settings

// The settings groups the main window keeps between reading and writing the settings file, as
// plain values. Each field starts at the design value of the control it stands for, which is
// also the "current" value the settings file falls back on for a missing key.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_encoding.h"
#include "settings/shortcut_text.h"

namespace tarn::settings {

// The product version written as "Version"; an empty "Version" marks a file of an earlier release.
inline constexpr std::string_view kProductVersion = "1.1.9";

// Colour values: 0x00BBGGRR, or 0x80000000 plus a system colour index.
inline constexpr std::uint32_t clWindow = 0x80000005;
inline constexpr std::uint32_t clWindowText = 0x80000008;
inline constexpr std::uint32_t clBtnFace = 0x8000000F;
inline constexpr std::uint32_t clBlack = 0x00000000;
inline constexpr std::uint32_t clBlue = 0x00FF0000;
inline constexpr std::uint32_t clYellow = 0x0000FFFF;

// StringStyle bits.
inline constexpr std::int32_t fsBold = 1;
inline constexpr std::int32_t fsItalic = 2;
inline constexpr std::int32_t fsUnderline = 4;

struct TEditorInfo {
  std::string ExeName;
  std::string CmdLine;
};

struct TBasicInfo {
  std::string FontName = "MS UI Gothic";
  std::int32_t FontSize = 10;
};

struct TLeftPanelInfo {
  std::string FontName = "MS UI Gothic";
  std::int32_t FontSize = 10;
  std::string InitialDir;
};

struct TFindRequestInfo {
  bool AutoComplete = false;
  bool NoRegExp = false;
  std::int32_t MaxHistory = 32;
  // The four histories as CommaText, used only while the options dialog is open.
  std::string FindString, FindDirectory, FindFileMask, FindDirectoryMask;
};

inline constexpr std::int32_t kMaxWorkerThreads = 64;
// The number of processors, at least 1.
std::int32_t DefaultWorkerThreads() noexcept;

struct TFindResultInfo {
  TFindResultInfo();
  std::string FontName;  // "ＭＳ ゴシック"
  std::int32_t FontSize = 10;
  std::uint32_t FontColor = clBlack;
  std::uint32_t BackColor = clWindow;
  bool ShowRealtime = true;
  // How many threads search the files of a run; 1 searches them on the window's own thread.
  std::int32_t WorkerThreads = DefaultWorkerThreads();
  // How each file's encoding is decided: stored by name ("auto", "cp932", ...).
  FileEncodingChoice FileEncoding = FileEncodingChoice::kAuto;
  std::uint32_t StringFontColor = clBlue;
  std::uint32_t StringBackColor = clYellow;
  std::int32_t StringStyle = 0;  // fsBold | fsItalic | fsUnderline, from the three booleans
  bool StringStyleBold = false;
  bool StringStyleItalic = false;
  bool StringStyleUnderline = false;
  std::string SaveDirectory;
  std::int32_t SaveType = 0;  // 0 text, 1 HTML
  std::int32_t ResultType = 2;
};

// The set of bold, italic and underline from the three booleans.
std::int32_t ComputeStringStyle(const TFindResultInfo& info) noexcept;

struct TRunTimeFlags {
  bool LastFindString = false;
  bool LastFindDirectory = false;
  bool LastFindFileMask = false;
};

struct TResultHistoryCounters {
  std::int32_t First = 0;
  std::int32_t Last = 0;
  std::int32_t Current = 0;
};

// Main window placement; Width and Height start as the desktop work area, which the window fills
// in before loading.
struct TMainWindowPlacement {
  std::int32_t Top = 0;
  std::int32_t Left = 0;
  std::int32_t Width = 0;
  std::int32_t Height = 0;
  std::int32_t WindowState = 0;  // 0 normal, 1 minimised, 2 maximised
};

struct TLeftPanelState {
  bool Visible = true;
  std::int32_t Width = 185;
};

// The preview pane under the result view.
struct TPreviewPaneState {
  bool Visible = true;
  std::int32_t Height = 180;
};

// The request boxes: their item lists (newest first) and the three check boxes.
struct TFindRequestBoxes {
  std::vector<std::string> FindString, FindDirectory, FindFileMask, FindDirectoryMask;
  bool FindSubDirectory = true;
  bool UseFuzzyCharDic = false;
  bool UseSynonymDic = false;
};

struct TToolBarPlacement {
  bool Visible = true;
  bool Floating = false;
  std::int32_t Top = 0;
  std::int32_t Left = 0;
};

// The toolbars in the order of their keys: "Find", "Result", "Option", "Help".
inline constexpr std::array<std::string_view, 4> kToolBarKeyPrefixes = {"Find", "Result", "Option", "Help"};

// The customisable commands: their "ShortCut" keys in file order and their design shortcuts.
struct TShortCutCommand {
  std::string_view Key;
  TShortCut DesignShortCut;
};
inline constexpr std::array<TShortCutCommand, 15> kShortCutCommands = {{
    {"FileExit", scCtrl | 'Q'},
    {"FindStart", key::F1 + 2},
    {"FindStop", key::Escape},
    {"FindString", key::F1 + 3},
    {"FindRefresh", key::F1 + 4},
    {"ResultGoBack", scCtrl | key::Left},
    {"ResultGoForward", scCtrl | key::Right},
    {"ResultEditor", scCtrl | 'O'},
    {"ResultClear", scCtrl | key::Delete},
    {"ResultSave", scCtrl | 'S'},
    {"ResultHistClear", scCtrl | 'H'},
    {"OptionEnv", key::F1 + 9},
    {"OptionSynonymDic", key::F1 + 10},
    {"OptionLeftPanel", key::F1 + 11},
    // Keys added later go last, so that a stored file keeps the meaning of its keys.
    {"OptionPreview", key::F1 + 7},
}};

// Everything the main window reads from and writes to the settings file.
struct TTarnSettings {
  TTarnSettings();
  std::string Version;
  TMainWindowPlacement Window;
  TBasicInfo Basic;
  TLeftPanelInfo LeftPanel;
  TLeftPanelState LeftPanelState;
  TPreviewPaneState PreviewPane;
  TEditorInfo Editor;
  TFindRequestBoxes RequestBoxes;
  TFindRequestInfo FindRequest;
  TFindResultInfo FindResult;
  TRunTimeFlags RunTime;
  TResultHistoryCounters History;
  std::array<TToolBarPlacement, 4> ToolBars;
  std::array<TShortCut, kShortCutCommands.size()> ShortCuts;  // in the order of kShortCutCommands
  std::vector<std::string> HelpEntries;  // one CommaText string each
};

// A help entry: title, file (a path or an "http://" address) and shortcut text.
struct THelpEntry {
  std::string Title;
  std::string FileName;
  std::string ShortCut;
};
THelpEntry ParseHelpEntry(std::string_view commaText);
std::string FormatHelpEntry(const THelpEntry& entry);

// The registered search words window's own keys.
struct TStringWindowPlacement {
  std::int32_t Top = 0;
  std::int32_t Left = 0;
  std::int32_t Width = 517;
  std::int32_t Height = 403;
};

// The options dialog's three input histories, as CommaText.
struct TOptionHistories {
  std::string ExeName;
  std::string CmdLine;
  std::string SaveDirectory;
};

}  // namespace tarn::settings

// Loading and saving the settings groups over the settings file, and the writers of single keys
// that other windows and tarngrep use.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>

#include "settings/ini_file.h"
#include "settings/settings_records.h"

namespace tarn::settings {

// Reads every section into the settings, in the order the main window applies them. The values
// already in `settings` stand for the controls' current values, the fallback of keys whose
// default is "current". A file without "Version" has its histories and help entries unquoted.
void LoadSettings(const IniFile& ini, TTarnSettings& settings);
// Reads the file (a missing file gives the defaults) into a copy of `current`.
TTarnSettings LoadSettingsFile(const std::filesystem::path& path, const TTarnSettings& current = {});

// Writes every key in file order into `ini`; unknown sections and keys stay where they are.
void StoreSettings(IniFile& ini, const TTarnSettings& settings);
// Reads the file afresh, stores the settings into it and replaces it atomically.
void SaveSettingsFile(const std::filesystem::path& path, const TTarnSettings& settings);

// Reads the file afresh, lets `change` write its keys and replaces the file at once, so writers
// never drop each other's keys.
void UpdateSettingsFile(const std::filesystem::path& path, const std::function<void(IniFile&)>& change);

TOptionHistories LoadOptionHistories(const std::filesystem::path& path);
void SaveOptionHistories(const std::filesystem::path& path, const TOptionHistories& histories);

TStringWindowPlacement LoadStringWindowPlacement(const std::filesystem::path& path);
void SaveStringWindowPlacement(const std::filesystem::path& path, const TStringWindowPlacement& placement);

// "First" and "Last" of "FindResultHistory"; Current is Last + 1 when Last is 1 or more, else 0.
TResultHistoryCounters LoadResultHistoryCounters(const std::filesystem::path& path);
void SaveResultHistoryCounters(const std::filesystem::path& path, std::int32_t first, std::int32_t last);

}  // namespace tarn::settings

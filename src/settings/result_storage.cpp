#include "settings/result_storage.h"

#include "settings/settings_file.h"

namespace tarn::settings {

std::int32_t AddResultHistoryEntry(const DataLocations& locations, const search::TResultHistoryEntry& entry) {
  if (entry.ResultLines.empty()) return 0;
  const auto settingsFile = locations.SettingsFilePath();
  const TResultHistoryCounters counters = LoadResultHistoryCounters(settingsFile);
  auto index = search::TResultHistoryIndex::AtStartUp(counters.First, counters.Last);
  const std::int32_t n = index.AddEntry();
  // Files first: a failure in between leaves unlisted files that the next entry overwrites.
  search::SaveResultHistory(locations.TmpDirectoryPath(), n, entry);
  SaveResultHistoryCounters(settingsFile, index.First(), index.Last());
  return n;
}

search::THtmlStyle HtmlStyleOf(const TFindResultInfo& info) {
  return search::THtmlStyle{info.BackColor, info.FontColor, info.StringFontColor,
                            info.StringStyleBold, info.StringStyleItalic, info.StringStyleUnderline};
}

}  // namespace tarn::settings

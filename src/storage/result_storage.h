// Results kept with the settings: a new result-history entry in the data directory, and the
// result view's hit style for the HTML form.
#pragma once

#include <cstdint>
#include <functional>

#include "search/result_export.h"
#include "search/result_history.h"
#include "settings/data_locations.h"
#include "settings/settings_records.h"

namespace tarn::storage {

// Takes the next history entry number and lets `write` store the entry's files under it, all
// under an exclusive lock on "Tmp.lock" in the data directory, so that windows and tarngrep
// running at once never share a number. The number follows both "Last" of the settings file
// (read afresh under the lock) and the highest entry whose files are in Tmp, so an unreadable or
// stale "Last" never leads to existing files being overwritten. "First" and "Last" are written
// back before the lock is released; when `write` throws or the counters cannot be written, the
// files of the number are removed and nothing is recorded. Returns the number. Throws
// search::EResultFile or settings::ESettingsFile.
std::int32_t AllocateResultHistoryEntry(const settings::DataLocations& locations, const std::function<void(std::int32_t n)>& write);

// Stores a result with at least one line as the next history entry. Returns the entry number,
// or 0 (nothing written) for a result without lines.
std::int32_t AddResultHistoryEntry(const settings::DataLocations& locations, const search::TResultHistoryEntry& entry);

// The colours and hit style of the HTML form from the result view's settings.
search::THtmlStyle HtmlStyleOf(const settings::TFindResultInfo& info);

}  // namespace tarn::storage

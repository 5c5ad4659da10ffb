// Results kept with the settings: a new result-history entry in the data directory, and the
// result view's hit style for the HTML form.
#pragma once

#include <cstdint>

#include "search/result_export.h"
#include "search/result_history.h"
#include "settings/data_locations.h"
#include "settings/settings_records.h"

namespace tarn::settings {

// Stores a result with at least one line as the next history entry: reads "First" and "Last"
// from the settings file afresh, writes the three files into Tmp, then writes the new "First" and
// "Last" back. Returns the entry number, or 0 (nothing written) for a result without lines.
// Throws search::EResultFile or ESettingsFile.
std::int32_t AddResultHistoryEntry(const DataLocations& locations, const search::TResultHistoryEntry& entry);

// The colours and hit style of the HTML form from the result view's settings.
search::THtmlStyle HtmlStyleOf(const TFindResultInfo& info);

}  // namespace tarn::settings

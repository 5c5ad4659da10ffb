// The options dialog's editor of the four search-field histories: which history the list shows,
// its items, and deleting items from it. It works on the working copy's CommaText histories.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "settings/settings_records.h"

namespace tarn::ui {

class THistoryEditor {
 public:
  // Search string, directory, file mask, directory mask: the selector's order.
  static constexpr std::size_t kHistoryCount = 4;

  explicit THistoryEditor(settings::TFindRequestInfo& request) : request_(request) {}

  // Stores the shown list back into its history, then shows the chosen one.
  void Choose(std::size_t index);
  std::optional<std::size_t> Shown() const noexcept { return shown_; }
  const std::vector<std::string>& Items() const noexcept { return items_; }
  // Removes the items at these rows of the list (in any order; rows outside it are ignored).
  void Delete(std::vector<std::size_t> rows);
  // Writes the shown list into its history, as a change of choice does.
  void Store();

 private:
  std::string& History(std::size_t index);

  settings::TFindRequestInfo& request_;
  std::optional<std::size_t> shown_;
  std::vector<std::string> items_;
};

}  // namespace tarn::ui

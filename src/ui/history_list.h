// The item list of a history combo box: newest first, each text once, never longer than its
// bound. CP932 items, compared byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::ui {

class THistoryList {
 public:
  const std::vector<std::string>& Items() const noexcept { return items_; }
  void SetItems(std::vector<std::string> items);
  std::uint16_t MaxHistory() const noexcept { return max_history_; }
  // Stores the bound and trims the list to it at once.
  void SetMaxHistory(std::uint16_t n);
  // Puts text at the top unless it holds CR LF or a tab, or is blank; removes its other copies
  // and trims the list to the bound. False when the list stayed as it was.
  bool AddToHistory(std::string_view text);
  void Clear() noexcept { items_.clear(); }

 private:
  void Trim();
  std::vector<std::string> items_;
  std::uint16_t max_history_ = 32;
};

}  // namespace tarn::ui

#include "ui/help_rows.h"

#include <filesystem>
#include <utility>

#include "core/system_text.h"
#include "search/native_path.h"

namespace tarn::ui {

std::vector<std::string> UsableHelpEntries(const std::vector<std::string>& helpEntries) {
  std::vector<std::string> usable;
  for (const std::string& text : helpEntries) {
    settings::THelpEntry entry = settings::ParseHelpEntry(text);
    if (entry.FileName.empty()) continue;
    if (entry.Title.empty()) {
      entry.Title = entry.FileName;
      usable.push_back(settings::FormatHelpEntry(entry));
    } else {
      usable.push_back(text);
    }
  }
  return usable;
}

THelpRows HelpRowsOf(const std::vector<std::string>& helpEntries) {
  THelpRows rows;
  rows.reserve(helpEntries.size());
  for (const std::string& entry : helpEntries) rows.push_back(settings::ParseHelpEntry(entry));
  return rows;
}

std::vector<std::string> HelpEntriesOf(const THelpRows& rows) {
  std::vector<std::string> entries;
  entries.reserve(rows.size());
  for (const settings::THelpEntry& row : rows) entries.push_back(settings::FormatHelpEntry(row));
  return entries;
}

bool IsHelpAddress(std::string_view file) noexcept {
  return file.starts_with("http://") || file.starts_with("https://");
}

THelpField CheckHelpFields(std::string_view title, std::string_view file,
                           const std::function<bool(std::string_view file)>& fileExists) {
  if (title.empty()) return THelpField::Title;
  if (!IsHelpAddress(file) && !fileExists(file)) return THelpField::File;
  return THelpField::None;
}

std::string HelpFieldRefusal(THelpField field, std::string_view file) {
  if (field == THelpField::Title) return SystemText("タイトルを入力してください。");
  if (field != THelpField::File) return {};
  if (file.empty()) return SystemText("ファイル名を入力してください。");
  std::error_code ec;
  const bool exists = std::filesystem::exists(search::Cp932ToNative(file), ec);
  return SystemText("ファイル名「") + std::string(file) +
         SystemText(exists ? "」はファイルではありません。" : "」が見つかりません。") +
         SystemText("\n存在するファイルか、http:// または https:// で始まるアドレスを指定してください。");
}

bool HelpFileExists(std::string_view file) {
  if (file.empty()) return false;
  std::error_code ec;
  return std::filesystem::is_regular_file(search::Cp932ToNative(file), ec);
}

THelpButtons HelpButtons(std::size_t rowCount, std::optional<std::size_t> selected, std::string_view title,
                         std::string_view file) noexcept {
  const bool fields = !title.empty() && !file.empty();
  const bool row = selected && *selected < rowCount;
  return {fields, row && fields, row, row && *selected > 0, row && *selected + 1 < rowCount};
}

std::optional<std::size_t> MoveHelpRow(THelpRows& rows, std::size_t row, bool up) {
  if (row >= rows.size() || (up && row == 0) || (!up && row + 1 >= rows.size())) return std::nullopt;
  const std::size_t other = up ? row - 1 : row + 1;
  std::swap(rows[row].Title, rows[other].Title);
  std::swap(rows[row].FileName, rows[other].FileName);
  return other;
}

}  // namespace tarn::ui

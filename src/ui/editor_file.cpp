#include "ui/editor_file.h"

#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "settings/ini_file.h"

namespace tarn::ui {

TFileRead ReadEditorFile(const std::filesystem::path& path, editor::TEditorLines& lines) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (status.type() == std::filesystem::file_type::not_found) return TFileRead::fr_Missing;
  if (!std::filesystem::is_regular_file(status)) return TFileRead::fr_Failed;
  std::ifstream in(path, std::ios::binary);
  if (!in) return TFileRead::fr_Failed;
  // Read whole before the lines change, so a failure midway leaves them as they were.
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) return TFileRead::fr_Failed;
  lines.SetText(bytes);
  return TFileRead::fr_Loaded;
}

void WriteEditorFile(const std::filesystem::path& path, const editor::TEditorLines& lines) {
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  // A directory that could not be made shows up as the file that cannot be written.
  settings::WriteFileAtomically(path, lines.Text());
}

}  // namespace tarn::ui

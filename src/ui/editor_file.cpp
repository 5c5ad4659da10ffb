#include "ui/editor_file.h"

#include <string>
#include <system_error>

#include "core/data_file.h"
#include "settings/ini_file.h"

namespace tarn::ui {

// Read whole before the lines change, so a failure midway leaves them as they were; only a
// regular file is opened, so a FIFO swapped in never blocks.
TFileRead ReadEditorFile(const std::filesystem::path& path, editor::TEditorLines& lines) {
  std::error_code ec;
  const std::optional<std::string> bytes = ReadRegularFile(path, ec);
  // A folder on the way that is a file makes the file as absent as a missing folder does.
  if (!bytes)
    return ec == std::errc::no_such_file_or_directory || ec == std::errc::not_a_directory ? TFileRead::fr_Missing
                                                                                          : TFileRead::fr_Failed;
  lines.SetText(*bytes);
  return TFileRead::fr_Loaded;
}

void WriteEditorFile(const std::filesystem::path& path, const editor::TEditorLines& lines) {
  std::error_code ec;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ec);
  // A directory that could not be made shows up as the file that cannot be written.
  settings::WriteFileAtomically(path, lines.Text());
}

}  // namespace tarn::ui

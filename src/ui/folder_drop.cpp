#include "ui/folder_drop.h"

#include <QFile>
#include <QMimeData>
#include <QUrl>
#include <filesystem>
#include <system_error>

namespace tarn::ui {

std::optional<std::string> DroppedFolder(const QMimeData& data) {
  if (!data.hasUrls()) return std::nullopt;
  for (const QUrl& url : data.urls()) {
    if (!url.isLocalFile()) continue;
    // The name's bytes as the system holds them, so that any folder name comes through.
    const std::filesystem::path path(QFile::encodeName(url.toLocalFile()).toStdString());
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) continue;
    if (std::filesystem::is_directory(status)) return path.lexically_normal().native();
    return path.lexically_normal().parent_path().native();
  }
  return std::nullopt;
}

}  // namespace tarn::ui

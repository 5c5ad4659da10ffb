// Dropping a folder, or a file for the folder that holds it, from a file manager onto the main
// window: what the drop names for the search directory box.
#pragma once

#include <optional>
#include <string>

class QMimeData;

namespace tarn::ui {

// The folder of the first local path in the drop's URL list that exists (as the system names
// it): a folder as it is, anything else by the folder holding it. Nothing for a drop without one
// (text, remote addresses, paths that are gone).
std::optional<std::string> DroppedFolder(const QMimeData& data);

}  // namespace tarn::ui

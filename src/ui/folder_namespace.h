// The folder namespace the directory panel shows: a virtual root over the home folder, "/" and
// the mounted removable and network volumes; folder listing, name order, path splitting and the
// selection guard's verdict. No widgets here.
#pragma once

#include <QString>
#include <sys/types.h>

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::ui {

enum class TFolderKind { kRoot, kHome, kFileSystemRoot, kRemovable, kNetwork, kFolder };

// One child of the virtual root. Path is the system's name of the folder (UTF-8 bytes).
struct TFolderRoot {
  TFolderKind Kind = TFolderKind::kFolder;
  QString DisplayName;
  std::string Path;
};

struct TFolderRoots {
  QString DisplayName;  // the virtual root's; it names no directory
  std::vector<TFolderRoot> Children;
  // Whether a volume's medium is still mounted at its path; empty: always.
  std::function<bool(const std::string& mount_point)> VolumeMounted;
};

// This machine's host name over the home folder, "/" and the volumes that DefaultVolumes keeps.
TFolderRoots DefaultFolderRoots();

// Whether a mount of the system's mount list is a volume of its own in the tree: network file
// systems anywhere, other real file systems under /media, /run/media or /mnt; never "/", system
// mounts (/boot, /snap, ...) or pseudo file systems.
bool IsListedVolume(std::string_view mount_point, std::string_view file_system_type);
bool IsNetworkFileSystem(std::string_view file_system_type);

struct TFolderId {
  dev_t Device = 0;
  ino_t Inode = 0;
  friend bool operator==(const TFolderId&, const TFolderId&) = default;
};

// The folder a path names, links followed; nothing when it is no directory.
std::optional<TFolderId> FolderIdOf(const std::string& path);

struct TFolderEntry {
  std::string Name;  // as the file system holds it
  QString DisplayName;  // a name that is no UTF-8 is read as CP932
  TFolderId Id;
  // The same folder as the listed one or one of its ancestors (through a link or a bind mount):
  // expanding it would never end.
  bool Loop = false;
};

// The sub-folders of a folder (links to folders too, hidden ones included), in display order.
// Only directory entries are read: nothing is opened but the folder itself. Nothing when the
// folder cannot be listed. `ancestors` holds the listed folder and the folders above it.
std::optional<std::vector<TFolderEntry>> ListSubFolders(const std::string& path, std::span<const TFolderId> ancestors);

// The order a Japanese desktop's file manager shows names in: the locale's collation (Japanese
// when the locale is "C") with digit runs compared as numbers, so "file2" comes before "file10".
void SortFolderEntries(std::vector<TFolderEntry>& entries);

// Where an absolute path lies in the tree: the root child whose path is its longest prefix, and
// the folder names below that child. Nothing for an empty or relative path.
struct TPathLevels {
  std::size_t Root = 0;
  std::vector<std::string> Names;
};
std::optional<TPathLevels> SplitPath(std::string_view path, const std::vector<TFolderRoot>& roots);

// A folder path one level down.
std::string ChildPath(const std::string& parent, const std::string& name);

// What happens when the selection is about to move to a folder node.
enum class TMoveVerdict {
  kAllow,
  kRefuse,    // the folder cannot be reached now: the selection stays
  kToParent,  // a volume whose medium is gone: the parent takes the selection
  kRemove,    // the folder no longer exists: its node goes and the selection stays
};
TMoveVerdict SelectionVerdict(const std::string& path, TFolderKind kind,
                              const std::function<bool(const std::string&)>& volume_mounted);

}  // namespace tarn::ui

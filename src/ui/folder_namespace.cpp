#include "ui/folder_namespace.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStorageInfo>
#include <QSysInfo>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <numeric>

#include "search/native_path.h"

namespace tarn::ui {
namespace {

QString Utf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QCollator FolderCollator() {
  QLocale locale;
  // The "C" collation is plain code-point order, and ignores the numeric mode.
  if (locale.language() == QLocale::C) locale = QLocale(QLocale::Japanese, QLocale::Japan);
  QCollator collator(locale);
  collator.setNumericMode(true);
  return collator;
}

bool Under(std::string_view path, std::string_view folder) {
  return path == folder || (path.starts_with(folder) && path.size() > folder.size() && path[folder.size()] == '/');
}

std::string LastName(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The names of an absolute path, "." dropped and ".." taken back lexically, as the directory box
// spells paths too.
std::vector<std::string> Names(std::string_view path) {
  std::vector<std::string> names;
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    const std::string_view name = path.substr(0, slash);
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    names.emplace_back(name);
  }
  return names;
}

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

struct TMount {
  std::string Point;
  std::string Type;
};

// A field of the mount list, whose blanks and backslashes are written as octal escapes.
std::string Unescaped(std::string_view field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && field.size() - i >= 4) {
      const std::string_view digits = field.substr(i + 1, 3);
      if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '7'; })) {
        out += static_cast<char>((digits[0] - '0') * 64 + (digits[1] - '0') * 8 + (digits[2] - '0'));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

// The mount points and file system types of /proc/self/mountinfo, read without asking any of them.
std::vector<TMount> ReadMountList() {
  std::vector<TMount> mounts;
  QFile file(QStringLiteral("/proc/self/mountinfo"));
  if (!file.open(QIODevice::ReadOnly)) return mounts;
  for (const QByteArray& line : file.readAll().split('\n')) {
    // id parent major:minor root point options [optional...] - type source super-options
    const QList<QByteArray> fields = line.split(' ');
    const qsizetype dash = fields.indexOf("-");
    if (fields.size() < 5 || dash < 6 || dash + 1 >= fields.size()) continue;
    mounts.push_back({Unescaped(fields[4].toStdString()), Unescaped(fields[dash + 1].toStdString())});
  }
  return mounts;
}

bool CanList(const std::string& path) { return DirHandle(opendir(path.c_str())) != nullptr; }

}  // namespace

bool IsNetworkFileSystem(std::string_view type) {
  static constexpr std::array<std::string_view, 17> kNetwork = {
      "nfs",  "nfs4", "cifs", "smb", "smb3", "smbfs", "ncpfs", "afs", "9p", "ceph", "glusterfs", "davfs",
      "sshfs", "fuse.sshfs", "fuse.davfs2", "fuse.rclone", "fuse.glusterfs"};
  return std::find(kNetwork.begin(), kNetwork.end(), type) != kNetwork.end();
}

bool IsListedVolume(std::string_view mount_point, std::string_view type) {
  static constexpr std::array<std::string_view, 25> kPseudo = {
      "autofs",  "tmpfs",    "ramfs",   "overlay",   "squashfs",       "proc",        "sysfs",
      "devtmpfs", "devpts",  "cgroup",  "cgroup2",   "fuse.gvfsd-fuse", "fuse.portal", "fusectl",
      "binfmt_misc", "nsfs", "tracefs", "debugfs",   "securityfs",     "bpf",         "efivarfs",
      "mqueue",  "hugetlbfs", "pstore", "configfs"};
  if (mount_point.empty() || mount_point == "/") return false;
  if (std::find(kPseudo.begin(), kPseudo.end(), type) != kPseudo.end()) return false;
  if (IsNetworkFileSystem(type)) return true;
  return Under(mount_point, "/media") || Under(mount_point, "/run/media") || Under(mount_point, "/mnt");
}

TFolderRoots DefaultFolderRoots() {
  TFolderRoots roots;
  roots.DisplayName = QSysInfo::machineHostName();
  if (roots.DisplayName.isEmpty()) roots.DisplayName = QStringLiteral("コンピューター");

  const QString home = QDir::homePath();
  const std::string homePath = home.toStdString();
  if (homePath != "/") roots.Children.push_back({TFolderKind::kHome, QDir(home).dirName(), homePath});
  roots.Children.push_back({TFolderKind::kFileSystemRoot, QStringLiteral("/"), "/"});

  // From the system's mount list alone: asking a volume itself (its size, its label) could wait
  // forever on a network volume that does not answer.
  std::vector<TFolderRoot> volumes;
  for (const TMount& mount : ReadMountList()) {
    if (!IsListedVolume(mount.Point, mount.Type)) continue;
    if (std::any_of(volumes.begin(), volumes.end(), [&](const TFolderRoot& v) { return v.Path == mount.Point; })) continue;
    const bool network = IsNetworkFileSystem(mount.Type);
    volumes.push_back({network ? TFolderKind::kNetwork : TFolderKind::kRemovable, Utf8(LastName(mount.Point)), mount.Point});
  }
  const QCollator collator = FolderCollator();
  std::stable_sort(volumes.begin(), volumes.end(), [&](const TFolderRoot& a, const TFolderRoot& b) {
    return collator.compare(a.DisplayName, b.DisplayName) < 0;
  });
  roots.Children.insert(roots.Children.end(), volumes.begin(), volumes.end());

  roots.VolumeMounted = [](const std::string& mount_point) {
    const QStorageInfo volume(Utf8(mount_point));
    return volume.isValid() && volume.isReady() && volume.rootPath().toStdString() == mount_point;
  };
  return roots;
}

std::optional<TFolderId> FolderIdOf(const std::string& path) {
  struct stat st{};
  if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  return TFolderId{st.st_dev, st.st_ino};
}

std::optional<std::vector<TFolderEntry>> ListSubFolders(const std::string& path, std::span<const TFolderId> ancestors) {
  const DirHandle dir(opendir(path.c_str()));
  if (!dir) return std::nullopt;
  std::vector<TFolderEntry> entries;
  const int fd = dirfd(dir.get());
  while (const dirent* entry = readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (entry->d_type != DT_DIR && entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) continue;
    TFolderEntry folder;
    struct stat st{};
    // Links followed, automounts left alone until the folder itself is opened.
    if (fstatat(fd, entry->d_name, &st, AT_NO_AUTOMOUNT) == 0) {
      if (!S_ISDIR(st.st_mode)) continue;
      folder.Id = {st.st_dev, st.st_ino};
      folder.Loop = std::find(ancestors.begin(), ancestors.end(), folder.Id) != ancestors.end();
    } else if (entry->d_type != DT_DIR) {
      continue;  // a dangling link, or one we may not follow
    }
    folder.Name = std::string(name);
    folder.DisplayName = Utf8(search::NativeToDisplay(name));
    entries.push_back(std::move(folder));
  }
  SortFolderEntries(entries);
  return entries;
}

void SortFolderEntries(std::vector<TFolderEntry>& entries) {
  const QCollator collator = FolderCollator();
  std::vector<QCollatorSortKey> keys;
  keys.reserve(entries.size());
  for (const TFolderEntry& e : entries) keys.push_back(collator.sortKey(e.DisplayName));
  std::vector<std::size_t> order(entries.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    const int c = keys[a].compare(keys[b]);
    return c != 0 ? c < 0 : entries[a].Name < entries[b].Name;
  });
  std::vector<TFolderEntry> sorted;
  sorted.reserve(entries.size());
  for (std::size_t i : order) sorted.push_back(std::move(entries[i]));
  entries = std::move(sorted);
}

std::optional<TPathLevels> SplitPath(std::string_view path, const std::vector<TFolderRoot>& roots) {
  if (path.empty() || path.front() != '/' || path.find('\0') != std::string_view::npos) return std::nullopt;
  std::vector<std::string> names = Names(path);
  std::optional<std::size_t> best;
  std::size_t bestDepth = 0;
  for (std::size_t i = 0; i < roots.size(); ++i) {
    const std::string& rootPath = roots[i].Path;
    if (rootPath.empty() || rootPath.front() != '/') continue;
    const std::vector<std::string> rootNames = Names(rootPath);
    if (rootNames.size() > names.size() || !std::equal(rootNames.begin(), rootNames.end(), names.begin())) continue;
    if (!best || rootNames.size() > bestDepth) {
      best = i;
      bestDepth = rootNames.size();
    }
  }
  if (!best) return std::nullopt;
  names.erase(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(bestDepth));
  return TPathLevels{*best, std::move(names)};
}

std::string ChildPath(const std::string& parent, const std::string& name) {
  return parent.ends_with('/') ? parent + name : parent + "/" + name;
}

TMoveVerdict SelectionVerdict(const std::string& path, TFolderKind kind,
                              const std::function<bool(const std::string&)>& volume_mounted) {
  if (kind == TFolderKind::kRemovable || kind == TFolderKind::kNetwork) {
    const bool ready = FolderIdOf(path) && CanList(path) && (!volume_mounted || volume_mounted(path));
    return ready ? TMoveVerdict::kAllow : TMoveVerdict::kToParent;
  }
  struct stat st{};
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? TMoveVerdict::kAllow : TMoveVerdict::kRemove;
  // A folder above that we may no longer pass is not proof that this one is gone.
  return errno == ENOENT || errno == ENOTDIR ? TMoveVerdict::kRemove : TMoveVerdict::kRefuse;
}

}  // namespace tarn::ui

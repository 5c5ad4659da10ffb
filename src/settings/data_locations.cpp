#include "settings/data_locations.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace tarn::settings {
namespace fs = std::filesystem;
namespace {

// Runs a reentrant look-up (getpwuid_r, getgrgid_r) with a buffer that grows as the entry needs;
// the entry found, or nullptr.
template <typename Entry, typename Id, typename LookUp>
const Entry* LookUpEntry(LookUp lookUp, Id id, Entry& entry, std::vector<char>& buffer) {
  buffer.resize(1024);
  for (;;) {
    Entry* result = nullptr;
    const int rc = lookUp(id, &entry, buffer.data(), buffer.size(), &result);
    if (rc == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    return rc == 0 ? result : nullptr;
  }
}

bool LookUpUser(uid_t uid, std::string* name, std::string* home) {
  passwd entry{};
  std::vector<char> buffer;
  if (LookUpEntry(::getpwuid_r, uid, entry, buffer) == nullptr) return false;
  if (name != nullptr && entry.pw_name != nullptr) *name = entry.pw_name;
  if (home != nullptr && entry.pw_dir != nullptr) *home = entry.pw_dir;
  return true;
}

// A group named after the user with no other member, as systems with one group per user make it:
// its write bit gives nobody else anything.
bool IsPrivateGroup(gid_t gid, uid_t user) {
  std::string name;
  group entry{};
  std::vector<char> buffer;
  if (!LookUpUser(user, &name, nullptr) || LookUpEntry(::getgrgid_r, gid, entry, buffer) == nullptr ||
      entry.gr_name == nullptr || name != entry.gr_name)
    return false;
  for (char** member = entry.gr_mem; member != nullptr && *member != nullptr; ++member)
    if (name != *member) return false;
  return true;
}

bool WritableByOthers(const struct stat& st, uid_t user) {
  return (st.st_mode & S_IWOTH) != 0 || ((st.st_mode & S_IWGRP) != 0 && !IsPrivateGroup(st.st_gid, user));
}

// Whether another user can change what stands at this place of the way (see
// FolderAnotherUserControls).
bool AnotherUserControls(const struct stat& st, bool isDataDirectory, uid_t user) {
  // Where a link leads is its maker's choice; the folder holding it is checked on its own.
  if (S_ISLNK(st.st_mode)) return st.st_uid != user && st.st_uid != 0;
  if (isDataDirectory) return st.st_uid != user || WritableByOthers(st, user);
  if (st.st_uid != user && st.st_uid != 0) return true;
  return WritableByOthers(st, user) && (st.st_mode & S_ISVTX) == 0;
}

// Checks every folder from "/" down to path (which exists), reading links as they stand
// (lstat) or as they lead (stat).
std::optional<fs::path> FirstControlledFolder(const fs::path& path, bool lastIsDataDirectory, bool followLinks) {
  const uid_t user = ::geteuid();
  fs::path way = path.root_path();
  std::vector<fs::path> steps{way};
  for (const fs::path& part : path.relative_path()) steps.push_back(way /= part);
  for (std::size_t i = 0; i < steps.size(); ++i) {
    struct stat st {};
    const int rc = followLinks ? ::stat(steps[i].c_str(), &st) : ::lstat(steps[i].c_str(), &st);
    if (rc != 0 || AnotherUserControls(st, lastIsDataDirectory && i + 1 == steps.size(), user)) return steps[i];
  }
  return std::nullopt;
}

bool IsWritableDirectory(const fs::path& dir) {
  std::error_code ec;
  return fs::is_directory(dir, ec) && ::access(dir.c_str(), W_OK | X_OK) == 0;
}

// A copy installed with its shared files (bin/ beside share/doc/tarn) keeps per-user data even
// where its folder could be written: root may write /usr/bin, but data does not belong there.
bool IsInstalledCopy(const fs::path& programDirectory) {
  std::error_code ec;
  return programDirectory.filename() == "bin" &&
         fs::is_directory(programDirectory.parent_path() / "share" / "doc" / "tarn", ec);
}

}  // namespace

fs::path ProgramDirectory() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return fs::current_path(ec);
  return exe.parent_path();
}

std::string DataDirectoryName(const fs::path& programDirectory) {
  std::error_code ec;
  if (fs::is_directory(programDirectory / kAllUsersDirectoryName, ec)) return kAllUsersDirectoryName;
  std::string name;
  if (!LookUpUser(::geteuid(), &name, nullptr)) return {};
  return name;
}

fs::path PerUserDataDirectory() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return fs::path(xdg) / "tarn";
  std::string home;
  if (const char* env = std::getenv("HOME"); env != nullptr && env[0] == '/') home = env;
  else LookUpUser(::geteuid(), nullptr, &home);
  if (home.empty()) home = "/tmp";
  return fs::path(home) / ".local" / "share" / "tarn";
}

std::optional<fs::path> FolderAnotherUserControls(const fs::path& dataDirectory) {
  std::error_code ec;
  fs::path given = fs::absolute(dataDirectory, ec).lexically_normal();
  if (ec) return dataDirectory;
  if (!given.has_filename() && given.has_relative_path()) given = given.parent_path();
  fs::path existing = given;
  while (!fs::exists(fs::symlink_status(existing, ec)) && existing.has_relative_path())
    existing = existing.parent_path();
  const bool whole = existing == given;
  if (auto folder = FirstControlledFolder(existing, whole, false)) return folder;
  const fs::path real = fs::canonical(existing, ec);
  // A link of the user's own that leads nowhere: the files made through it fail on their own.
  if (ec) return std::nullopt;
  return FirstControlledFolder(real, whole, true);
}

std::string RefusedDataDirectoryText(const fs::path& dataDirectory, const fs::path& folder) {
  return "the data directory " + dataDirectory.string() + " is not used: another user can change " + folder.string();
}

DataLocations DataLocations::ForRunningProgram() { return ForProgram(ProgramDirectory()); }

DataLocations DataLocations::ForProgram(const fs::path& programDirectory) {
  if (IsInstalledCopy(programDirectory)) return DataLocations(PerUserDataDirectory());
  const std::string name = DataDirectoryName(programDirectory);
  const fs::path candidate = name.empty() ? programDirectory : programDirectory / name;
  std::error_code ec;
  const bool writable = fs::exists(candidate, ec) ? IsWritableDirectory(candidate) : IsWritableDirectory(programDirectory);
  const bool usable = writable && !FolderAnotherUserControls(candidate);
  return DataLocations(usable ? candidate : PerUserDataDirectory());
}

DataLocations DataLocations::InDirectory(fs::path dataDirectory) { return DataLocations(std::move(dataDirectory)); }

fs::path DataLocations::FileInDataDirectory(const char* name) const {
  std::error_code ec;
  if (!fs::is_directory(dataDirectory_, ec)) {
    fs::create_directories(dataDirectory_.parent_path(), ec);
    ::mkdir(dataDirectory_.c_str(), 0700);
  }
  return dataDirectory_ / name;
}

fs::path DataLocations::SettingsFilePath() const { return FileInDataDirectory(kSettingsFileName); }
fs::path DataLocations::SynonymDicPath() const { return FileInDataDirectory("Synonym.Dic"); }
fs::path DataLocations::StringFilePath() const { return FileInDataDirectory("String.txt"); }
fs::path DataLocations::TmpDirectoryPath() const {
  const fs::path tmp = FileInDataDirectory("Tmp");
  // Entries written through someone else's link would land wherever it leads.
  struct stat st {};
  if (::lstat(tmp.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && st.st_uid != ::geteuid()) ::unlink(tmp.c_str());
  std::error_code ec;
  fs::create_directories(tmp, ec);
  return tmp;
}

std::string DataDirectoryName() { return DataDirectoryName(ProgramDirectory()); }
fs::path SettingsFilePath() { return DataLocations::ForRunningProgram().SettingsFilePath(); }
fs::path SynonymDicPath() { return DataLocations::ForRunningProgram().SynonymDicPath(); }
fs::path StringFilePath() { return DataLocations::ForRunningProgram().StringFilePath(); }
fs::path TmpDirectoryPath() { return DataLocations::ForRunningProgram().TmpDirectoryPath(); }

}  // namespace tarn::settings

#include "settings/data_locations.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace tarn::settings {
namespace fs = std::filesystem;
namespace {

// getpwuid_r with a buffer that grows as the entry needs.
bool LookUpUser(uid_t uid, std::string* name, std::string* home) {
  std::vector<char> buffer(1024);
  for (;;) {
    passwd entry{};
    passwd* result = nullptr;
    const int rc = ::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &result);
    if (rc == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (rc != 0 || result == nullptr) return false;
    if (name != nullptr && entry.pw_name != nullptr) *name = entry.pw_name;
    if (home != nullptr && entry.pw_dir != nullptr) *home = entry.pw_dir;
    return true;
  }
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

DataLocations DataLocations::ForRunningProgram() { return ForProgram(ProgramDirectory()); }

DataLocations DataLocations::ForProgram(const fs::path& programDirectory) {
  if (IsInstalledCopy(programDirectory)) return DataLocations(PerUserDataDirectory());
  const std::string name = DataDirectoryName(programDirectory);
  const fs::path candidate = name.empty() ? programDirectory : programDirectory / name;
  std::error_code ec;
  const bool usable = fs::exists(candidate, ec) ? IsWritableDirectory(candidate) : IsWritableDirectory(programDirectory);
  return DataLocations(usable ? candidate : PerUserDataDirectory());
}

DataLocations DataLocations::InDirectory(fs::path dataDirectory) { return DataLocations(std::move(dataDirectory)); }

fs::path DataLocations::FileInDataDirectory(const char* name) const {
  std::error_code ec;
  fs::create_directories(dataDirectory_, ec);
  return dataDirectory_ / name;
}

fs::path DataLocations::SettingsFilePath() const { return FileInDataDirectory(kSettingsFileName); }
fs::path DataLocations::SynonymDicPath() const { return FileInDataDirectory("Synonym.Dic"); }
fs::path DataLocations::StringFilePath() const { return FileInDataDirectory("String.txt"); }
fs::path DataLocations::TmpDirectoryPath() const {
  const fs::path tmp = FileInDataDirectory("Tmp");
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

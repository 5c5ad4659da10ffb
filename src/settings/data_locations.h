// Where Tarn keeps its files: the data directory beside the program (shared "allusers" or one
// per logon name), or a per-user directory when the program directory cannot be written.
#pragma once

#include <filesystem>
#include <string>

namespace tarn::settings {

// The settings file of the window's program file "tarn"; tarngrep shares it.
inline constexpr const char* kSettingsFileName = "tarn.ini";
inline constexpr const char* kAllUsersDirectoryName = "allusers";

// The directory of the running executable.
std::filesystem::path ProgramDirectory();

// "allusers" when that directory exists in programDirectory, else the logon name of the
// effective user, else empty.
std::string DataDirectoryName(const std::filesystem::path& programDirectory);

// $XDG_DATA_HOME/tarn, or ~/.local/share/tarn.
std::filesystem::path PerUserDataDirectory();

class DataLocations {
 public:
  // The data directory chosen for the running program.
  static DataLocations ForRunningProgram();
  // The data directory chosen for a program in programDirectory: programDirectory + name, or
  // programDirectory itself when the name is empty; when that cannot be written, or for an
  // installed copy (a "bin" folder beside "share/doc/tarn"), the per-user data directory.
  static DataLocations ForProgram(const std::filesystem::path& programDirectory);
  // A data directory given outright (a command-line option, tests).
  static DataLocations InDirectory(std::filesystem::path dataDirectory);

  const std::filesystem::path& DataDirectory() const noexcept { return dataDirectory_; }

  // Each of these creates the data directory (with missing parents) when it does not exist;
  // TmpDirectoryPath creates Tmp as well. A directory that cannot be created shows up as an
  // error of the file operation that follows.
  std::filesystem::path SettingsFilePath() const;
  std::filesystem::path SynonymDicPath() const;
  std::filesystem::path StringFilePath() const;
  std::filesystem::path TmpDirectoryPath() const;

 private:
  explicit DataLocations(std::filesystem::path dataDirectory) : dataDirectory_(std::move(dataDirectory)) {}
  std::filesystem::path FileInDataDirectory(const char* name) const;

  std::filesystem::path dataDirectory_;
};

// The data locations of the running program.
std::string DataDirectoryName();
std::filesystem::path SettingsFilePath();
std::filesystem::path SynonymDicPath();
std::filesystem::path StringFilePath();
std::filesystem::path TmpDirectoryPath();

}  // namespace tarn::settings

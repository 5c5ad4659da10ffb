// Where Tarn keeps its files: the data directory beside the program (shared "allusers" or one
// per logon name), or a per-user directory when the program directory cannot be written.
#pragma once

#include <filesystem>
#include <optional>
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

// The first folder on the way to the data directory that another user could change, or nothing
// when there is none. The data directory must belong to the running user and be writable by
// nobody else; every folder above it (links followed or not) must belong to that user or root
// and be writable by nobody else unless it is sticky, as /tmp is, so that nobody can put a
// directory of their own in its place. A group of the user's own name and nobody else counts
// as the user's. A data directory not made yet is judged by the folders it will be made in.
std::optional<std::filesystem::path> FolderAnotherUserControls(const std::filesystem::path& dataDirectory);

// Why the program refuses a data directory, naming the folder that another user controls.
std::string RefusedDataDirectoryText(const std::filesystem::path& dataDirectory, const std::filesystem::path& folder);

class DataLocations {
 public:
  // The data directory chosen for the running program.
  static DataLocations ForRunningProgram();
  // The data directory chosen for a program in programDirectory: programDirectory + name, or
  // programDirectory itself when the name is empty; when that cannot be written, when another
  // user controls it (FolderAnotherUserControls), or for an installed copy (a "bin" folder
  // beside "share/doc/tarn"), the per-user data directory.
  static DataLocations ForProgram(const std::filesystem::path& programDirectory);
  // A data directory given outright (a command-line option, tests).
  static DataLocations InDirectory(std::filesystem::path dataDirectory);

  const std::filesystem::path& DataDirectory() const noexcept { return dataDirectory_; }

  // Each of these creates the data directory (with missing parents; itself private to the user)
  // when it does not exist; TmpDirectoryPath creates Tmp as well, in place of a link there that
  // another user made. A directory that cannot be created shows up as an error of the file
  // operation that follows.
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

// What the request boxes hold when the window opens: the newest history items the run-time flags
// ask for, then the command line's directory, search string and file mask.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::ui {

// Stands for an empty search string on the command line.
inline constexpr std::string_view kBlankArgument = "$$BLANK$$";

// The options and arguments of "tarn".
struct TTarnCommandLine {
  std::optional<std::string> DataDirectory;  // --data-dir DIR
  bool Help = false;
  bool Version = false;
  std::vector<std::string> Arguments;  // directory, search string, file mask (further ones ignored)
  std::string Error;                   // an option the program does not know, or one without its value
};
TTarnCommandLine ParseTarnCommandLine(const std::vector<std::string>& args);
extern const char* const kTarnUsage;

// An absolute path with "." and ".." resolved and symbolic links kept as typed, without a
// trailing "/" (except for the root).
std::string CanonicalPath(std::string_view path);

// The arguments as a second copy hands them over: a relative directory is made absolute against
// this copy's working folder, since the running copy has a working folder of its own. The other
// arguments are no paths and stay as they are.
std::vector<std::string> HandOverArguments(std::vector<std::string> args, std::string_view working_folder);

// The three boxes' texts, in the system's form (UTF-8).
struct TStartBoxes {
  std::string FindString;
  std::string Directory;
  std::string FileMask;
};

struct TStartSources {
  bool LastFindString = false;
  bool LastFindDirectory = false;
  bool LastFindFileMask = false;
  // The newest history item of each box, when it has one.
  std::optional<std::string> NewestFindString, NewestDirectory, NewestFileMask;
  std::string InitialDir;
  std::vector<std::string> Arguments;
};

// The run-time flags, then the arguments ("$$BLANK$$" for an empty search string, trimmed
// directory and mask; the directory as the box shows it), then a directory that does not exist is
// emptied.
TStartBoxes StartBoxes(const TStartSources& sources, const std::function<bool(const std::string&)>& is_directory);

// The boxes a running copy changes for a hand-over text (CP932, up to its first NUL): one item
// is a directory (search string and mask emptied), two add the search string, three the mask;
// any other number of items changes no box. Directory and mask are trimmed.
struct THandOverBoxes {
  std::optional<std::string> FindString, Directory, FileMask;
};
THandOverBoxes HandOverBoxes(std::string_view text);

}  // namespace tarn::ui

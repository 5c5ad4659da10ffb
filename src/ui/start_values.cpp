#include "ui/start_values.h"

#include <filesystem>
#include <system_error>

#include "core/comma_text.h"
#include "core/strings.h"
#include "search/native_path.h"

namespace tarn::ui {

const char* const kTarnUsage =
    "usage: tarn [--data-dir DIR] [--] [DIRECTORY [SEARCH_STRING [FILE_MASK]]]\n"
    "  Opens the search window with the directory, the search string and the file masks filled\n"
    "  in (\"$$BLANK$$\" stands for an empty search string). No search starts by itself.\n"
    "  --data-dir DIR      the data directory (settings file, synonyms, history) to use\n"
    "  --help, --version\n";

TTarnCommandLine ParseTarnCommandLine(const std::vector<std::string>& args) {
  TTarnCommandLine out;
  bool options_done = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options_done && arg.size() > 1 && arg[0] == '-') {
      if (arg == "--") {
        options_done = true;
      } else if (arg == "--help" || arg == "-h") {
        out.Help = true;
      } else if (arg == "--version") {
        out.Version = true;
      } else if (arg == "--data-dir") {
        if (i + 1 >= args.size()) {
          out.Error = "--data-dir needs a directory";
          return out;
        }
        out.DataDirectory = args[++i];
      } else if (arg.starts_with("--data-dir=")) {
        out.DataDirectory = arg.substr(11);
      } else {
        out.Error = "unknown option " + arg;
        return out;
      }
      continue;
    }
    out.Arguments.push_back(arg);
  }
  return out;
}

namespace {

std::string LexicallyNormal(const std::filesystem::path& p) {
  std::string out = p.lexically_normal().string();
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

}  // namespace

std::string CanonicalPath(std::string_view path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path p = fs::absolute(fs::path(std::string(path)), ec);
  if (ec) p = fs::path(std::string(path));
  return LexicallyNormal(p);
}

std::vector<std::string> HandOverArguments(std::vector<std::string> args, std::string_view working_folder) {
  if (args.empty() || working_folder.empty()) return args;
  const std::string_view dir = Trim(args[0]);
  if (!dir.empty() && dir.front() != '/')
    args[0] = LexicallyNormal(std::filesystem::path(std::string(working_folder)) / std::string(dir));
  return args;
}

TStartBoxes StartBoxes(const TStartSources& s, const std::function<bool(const std::string&)>& is_directory) {
  TStartBoxes boxes;
  if (s.LastFindString && s.NewestFindString) boxes.FindString = *s.NewestFindString;
  if (s.LastFindDirectory) {
    if (s.NewestDirectory) boxes.Directory = *s.NewestDirectory;
  } else {
    boxes.Directory = s.InitialDir;
  }
  if (s.LastFindFileMask && s.NewestFileMask) boxes.FileMask = *s.NewestFileMask;

  const auto& args = s.Arguments;
  if (!args.empty()) {
    const std::string_view dir = Trim(args[0]);
    boxes.Directory = dir.empty() ? std::string() : search::NativeToDisplay(CanonicalPath(dir));
  }
  if (args.size() >= 2) boxes.FindString = args[1];
  if (args.size() >= 3) boxes.FileMask = std::string(Trim(args[2]));

  if (boxes.FindString == kBlankArgument) boxes.FindString.clear();
  if (!boxes.Directory.empty() && !is_directory(boxes.Directory)) boxes.Directory.clear();
  return boxes;
}

THandOverBoxes HandOverBoxes(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  const std::vector<std::string> items = ParseCommaText(text);
  THandOverBoxes boxes;
  if (items.empty() || items.size() > 3) return boxes;
  boxes.Directory = std::string(Trim(items[0]));
  boxes.FindString = items.size() >= 2 ? items[1] : std::string();
  boxes.FileMask = items.size() >= 3 ? std::string(Trim(items[2])) : std::string();
  return boxes;
}

}  // namespace tarn::ui

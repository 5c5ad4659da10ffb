// Opening the file of a result line in the external editor, and starting programs and
// documents without a shell.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarn::search {

// A ResultLineInfo entry that cannot name an editor target (a damaged history file).
class EEditorLaunch : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What the editor is told: the hit text, the file's full path and the line number of a
// ResultLineInfo entry (fields 3, 4 and 5), and the path as the system names it (field 6, else
// derived from field 4 without substituting any character).
struct TEditorTarget {
  std::string HitText;
  std::string FileName;
  std::int32_t LineNo = 0;
  std::string NativeFileName{};
};

// Throws EEditorLaunch when the entry has fewer than five fields or its line number is not an
// integer.
TEditorTarget ParseEditorTarget(std::string_view resultLineInfo);

// The parameter template filled in: every "%F" (any letter case) becomes the file name, in
// double quotes with inner quotes doubled when it holds a blank, a tab or a double quote; then every "%L" the line number;
// then every "%S" the hit text, always quoted. Each pass runs over the result of the one before,
// so placeholders brought in by the file name are replaced too.
std::string ExpandEditorParameters(std::string_view cmdLine, const TEditorTarget& target);

// Splits a parameter string into arguments: blanks and tabs separate arguments outside double
// quotes; a double quote opens a quoted part in which a doubled quote stands for one quote and a
// single one closes it; quoted and unquoted parts run together into one argument; `""` alone is an
// empty argument. Backslashes are ordinary characters, so a quoted path or hit text that ends with
// a backslash stays whole.
std::vector<std::string> SplitCommandLine(std::string_view parameters);

// Opens a document or an address with the desktop's program for it; receives the target as
// native (UTF-8) bytes and says whether it could hand it over. The window supplies one built on
// its toolkit; without one, "xdg-open" is started.
using TDocumentOpener = std::function<bool(const std::string& nativeTarget)>;

struct TLaunchResult {
  bool Started = false;
  std::string Message;  // CP932: why nothing was started
};

// Starts `program` (CP932 text) with the arguments split from `parameters`, directly and without a
// shell, so nothing in a file name or hit text can run a command. A program that is a path to an
// executable file, or the name of one on PATH, is started; an address ("scheme://...") or any
// other existing file is handed to the opener. Without `wait` the program runs detached and
// nothing is left to reap; with `wait` the call returns when the program has ended.
TLaunchResult LaunchProgram(std::string_view program, std::string_view parameters, bool wait = false,
                            const TDocumentOpener& opener = {});

// Starts "xdg-open" with the target.
bool OpenWithXdgOpen(const std::string& nativeTarget);

// The editor command for one result line, the file named by its native path: nothing is
// started (and Started is false with an empty message) when exeName is empty; throws
// EEditorLaunch for a damaged entry.
TLaunchResult OpenResultLineInEditor(std::string_view exeName, std::string_view cmdLine, std::string_view resultLineInfo,
                                     const TDocumentOpener& opener = {});

// With no editor set, the file of one result line goes to the desktop's program for it, which
// cannot be told the line. Message is a status line (CP932) either way: that the line number
// could not be passed, or, when nothing opened the file, that an editor is set in 環境設定.
// Throws EEditorLaunch for a damaged entry.
TLaunchResult OpenResultLineWithoutEditor(std::string_view resultLineInfo, const TDocumentOpener& opener = {});

}  // namespace tarn::search

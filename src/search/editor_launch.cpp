#include "search/editor_launch.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "core/comma_text.h"
#include "core/encoding.h"
#include "core/system_text.h"
#include "search/native_path.h"

extern char** environ;

namespace tarn::search {
namespace {

// The parameter text is scanned byte by byte: a quote, a blank, a tab or "%" is never a trail
// byte of CP932 nor part of a UTF-8 sequence, and a lone lead byte must not take the quote after it.
std::string Quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Every "%" + letter (either case) replaced; the scan goes on after the inserted text.
std::string ReplacePlaceholder(std::string_view text, char letter, std::string_view by) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '%' && i + 1 < text.size() && Upper(text[i + 1]) == letter) {
      out += by;
      i += 2;
      continue;
    }
    out += text[i++];
  }
  return out;
}

bool IsAddress(std::string_view target) {
  const std::size_t colon = target.find("://");
  if (colon == std::string_view::npos || colon == 0) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = target[i];
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
    if (!ok) return false;
  }
  return true;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The executable a bare program name stands for, searched along PATH; empty when none.
std::string FindOnPath(const std::string& name) {
  const char* env = std::getenv("PATH");
  const std::string_view path = env != nullptr ? env : "/usr/local/bin:/usr/bin:/bin";
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t end = path.find(':', pos);
    if (end == std::string_view::npos) end = path.size();
    std::string dir(path.substr(pos, end - pos));
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
    pos = end + 1;
  }
  return {};
}

std::string CannotStartText(std::string_view program, int error) {
  std::string message = SystemText("プログラム %s を起動できません");
  message.replace(message.find("%s"), 2, program);
  if (error != 0) message += " (" + Utf8ToCp932(std::strerror(error)) + ")";
  return message;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Runs in the forked child: only async-signal-safe calls from here on.
[[noreturn]] void ExecChild(const char* path, char* const* argv, int errorPipe, bool detach) {
  if (detach) ::setsid();
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (const int sig : {SIGPIPE, SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGCHLD}) ::sigaction(sig, &dfl, nullptr);
  ::execve(path, argv, environ);
  const int error = errno;
  WriteAll(errorPipe, &error, sizeof error);
  ::_exit(127);
}

void WaitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

// Starts the program. Without `wait`, an intermediate child starts it and ends at once, so the
// program is adopted by init and never becomes our zombie. A close-on-exec pipe carries the error
// of a failed execve back; it closes without data once the program runs. Returns 0 or an errno.
int Spawn(const std::string& path, const std::vector<std::string>& args, bool wait) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  std::array<int, 2> fds{};
  if (::pipe2(fds.data(), O_CLOEXEC) != 0) return errno;
  const pid_t child = ::fork();
  if (child < 0) {
    const int error = errno;
    ::close(fds[0]);
    ::close(fds[1]);
    return error;
  }
  if (child == 0) {
    ::close(fds[0]);
    if (!wait) {
      const pid_t grandchild = ::fork();
      if (grandchild < 0) {
        const int error = errno;
        WriteAll(fds[1], &error, sizeof error);
        ::_exit(127);
      }
      if (grandchild > 0) ::_exit(0);
    }
    ExecChild(path.c_str(), argv.data(), fds[1], !wait);
  }
  ::close(fds[1]);
  if (!wait) WaitFor(child);
  int error = 0;
  ssize_t got = 0;
  do {
    got = ::read(fds[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  ::close(fds[0]);
  if (wait) WaitFor(child);
  return got == static_cast<ssize_t>(sizeof error) ? error : 0;
}

}  // namespace

TEditorTarget ParseEditorTarget(std::string_view resultLineInfo) {
  const std::vector<std::string> fields = ParseCommaText(resultLineInfo);
  const std::string lineText = fields.size() >= 5 ? fields[4] : std::string();
  std::string_view digits = lineText;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  std::int32_t lineNo = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), lineNo);
  if (fields.size() < 5 || digits.empty() || ec != std::errc{} || end != digits.data() + digits.size()) {
    std::string message = SystemText("'%s' は有効な整数ではありません");
    message.replace(message.find("%s"), 2, lineText);
    throw EEditorLaunch(message);
  }
  // An empty sixth field stands before a seventh (the file's encoding) and names no path.
  std::string nativeFileName = fields.size() > 5 && !fields[5].empty() ? fields[5] : Cp932ToNative(fields[3]);
  return TEditorTarget{fields[2], fields[3], lineNo, std::move(nativeFileName)};
}

std::string ExpandEditorParameters(std::string_view cmdLine, const TEditorTarget& target) {
  // A tab or a double quote, possible in a name here though never in one on the systems the
  // template rules come from, would split or cut the argument just as a blank would.
  const bool needsQuotes = target.FileName.find_first_of(" \t\"") != std::string::npos;
  const std::string file = needsQuotes ? Quoted(target.FileName) : target.FileName;
  std::string text = ReplacePlaceholder(cmdLine, 'F', file);
  text = ReplacePlaceholder(text, 'L', std::to_string(target.LineNo));
  return ReplacePlaceholder(text, 'S', Quoted(target.HitText));
}

std::vector<std::string> SplitCommandLine(std::string_view parameters) {
  std::vector<std::string> args;
  std::string current;
  bool inArgument = false;
  bool quoted = false;
  for (std::size_t i = 0; i < parameters.size();) {
    const char c = parameters[i];
    if (c == '"') {
      inArgument = true;
      if (quoted && i + 1 < parameters.size() && parameters[i + 1] == '"') {
        current += '"';
        i += 2;
        continue;
      }
      quoted = !quoted;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (inArgument) args.push_back(std::move(current));
      current.clear();
      inArgument = false;
    } else {
      current += c;
      inArgument = true;
    }
    ++i;
  }
  if (inArgument) args.push_back(std::move(current));
  return args;
}

bool OpenWithXdgOpen(const std::string& nativeTarget) {
  const std::string opener = FindOnPath("xdg-open");
  return !opener.empty() && Spawn(opener, {opener, nativeTarget}, false) == 0;
}

namespace {

// `arguments` are in the system's form already and go to the program unchanged.
TLaunchResult LaunchWithArguments(std::string_view program, const std::vector<std::string>& arguments, bool wait,
                                  const TDocumentOpener& opener) {
  const std::string native = Cp932ToUtf8(program);
  auto openDocument = [&]() {
    const bool opened = opener ? opener(native) : OpenWithXdgOpen(native);
    return opened ? TLaunchResult{true, {}} : TLaunchResult{false, CannotStartText(program, 0)};
  };
  if (native.empty()) return {false, CannotStartText(program, ENOENT)};
  if (IsAddress(native)) return openDocument();

  std::string executable;
  if (native.find('/') != std::string::npos) {
    if (IsExecutableFile(native)) executable = native;
  } else {
    executable = FindOnPath(native);
  }
  if (executable.empty()) {
    struct stat st {};
    if (::stat(native.c_str(), &st) == 0) return openDocument();
    return {false, CannotStartText(program, ENOENT)};
  }

  std::vector<std::string> args{native};
  args.insert(args.end(), arguments.begin(), arguments.end());
  const int error = Spawn(executable, args, wait);
  if (error != 0) return {false, CannotStartText(program, error)};
  return {true, {}};
}

}  // namespace

TLaunchResult LaunchProgram(std::string_view program, std::string_view parameters, bool wait,
                            const TDocumentOpener& opener) {
  std::vector<std::string> arguments = SplitCommandLine(parameters);
  for (std::string& argument : arguments) argument = Cp932ToUtf8(argument);
  return LaunchWithArguments(program, arguments, wait, opener);
}

TLaunchResult OpenResultLineInEditor(std::string_view exeName, std::string_view cmdLine, std::string_view resultLineInfo,
                                     const TDocumentOpener& opener) {
  if (exeName.empty()) return {};
  const TEditorTarget target = ParseEditorTarget(resultLineInfo);
  // Filled in the system's form, so that the path reaches the editor exactly as the file is named:
  // a CP932 detour would turn what CP932 cannot spell into "?" or U+FFFD.
  const TEditorTarget native{Cp932ToUtf8(target.HitText), target.NativeFileName, target.LineNo, target.NativeFileName};
  return LaunchWithArguments(exeName, SplitCommandLine(ExpandEditorParameters(Cp932ToUtf8(cmdLine), native)), false,
                             opener);
}

TLaunchResult OpenResultLineWithoutEditor(std::string_view resultLineInfo, const TDocumentOpener& opener) {
  const TEditorTarget target = ParseEditorTarget(resultLineInfo);
  if (opener ? opener(target.NativeFileName) : OpenWithXdgOpen(target.NativeFileName))
    return {true, SystemText(" エディタが設定されていないため既定のアプリケーションで開きました。行番号は渡せません。")};
  // "/" is never the second byte of a double-byte character.
  const std::string name = target.FileName.substr(target.FileName.rfind('/') + 1);
  return {false, SystemText(" 「") + name + SystemText("」を開けるアプリケーションがありません。環境設定でエディタを設定してください。")};
}

}  // namespace tarn::search

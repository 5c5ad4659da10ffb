// tarngrep: the search run without a window. Searches the files under a directory and prints
// every matching line as the result view would list it; the status line goes to stderr.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/comma_text.h"
#include "core/encoding.h"
#include "core/file_encoding.h"
#include "core/terminal_encoding.h"
#include "core/sjis.h"
#include "core/strings.h"
#include "pattern/scanner.h"
#include "pattern/synonym_dic.h"
#include "pattern/txt_file.h"
#include "search/context_lines.h"
#include "search/native_path.h"
#include "search/result_export.h"
#include "search/result_history.h"
#include "search/result_lines.h"
#include "search/search_run.h"
#include "settings/data_locations.h"
#include "settings/ini_file.h"
#include "settings/settings_file.h"
#include "settings/settings_records.h"
#include "storage/result_storage.h"

namespace {

using tarn::search::FindStartResult;
using tarn::search::RequestBox;

constexpr int kExitFound = 0;
constexpr int kExitNone = 1;
constexpr int kExitError = 2;
constexpr int kExitStopped = 130;
constexpr unsigned kMaxThreads = 256;

// Ctrl+C is the Stop command. The handler only raises this flag; the pump passes it on.
volatile std::sig_atomic_t stop_signalled = 0;

extern "C" void OnInterrupt(int) { stop_signalled = 1; }

const char kUsage[] =
    "usage: tarngrep [options] [--] PATTERN DIRECTORY [FILEMASKS]\n"
    "  Lists every line that matches PATTERN in the text files under DIRECTORY\n"
    "  whose names match one of FILEMASKS (a comma or blank separated list,\n"
    "  default \"*.*\"). Binary files (a NUL byte in the first 2048 bytes,\n"
    "  save in UTF-16 text) are skipped.\n"
    "Search:\n"
    "  --no-subdirs          search DIRECTORY only, not its sub-directories\n"
    "  --dir-mask MASK       walk only sub-directories whose names match MASK\n"
    "                        (default \"*.*\")\n"
    "  -F, --no-regexp       PATTERN is a plain text, not a regular expression\n"
    "  --fuzzy               use the fuzzy-character dictionary (width, case and\n"
    "                        kana forms)\n"
    "  --synonym             use the synonym dictionary \"Synonym.Dic\" of the data\n"
    "                        directory\n"
    "  --synonym-file FILE   use FILE as the synonym dictionary\n"
    "  -j N, --threads N     search N files at once (default: the number of\n"
    "                        processors); the output is the same for every N\n"
    "Output (on stdout; -c, -l and --info exclude each other and the options\n"
    "that print lines: -A, -B, -C and -o; -o takes no context):\n"
    "  --result-type N       1: \"full path(line): line\" (default),\n"
    "                        2: \"file name(line): line\", 0: the line alone\n"
    "  --info                print each line's hit record instead:\n"
    "                        column,length,hit,file,line; then the path as\n"
    "                        the system names it when the file name has no\n"
    "                        CP932 form, and the file's encoding when it is\n"
    "                        not cp932 (the path field then empty if unneeded)\n"
    "  -A N, --after-context N\n"
    "                        also print the N lines after each matching line\n"
    "  -B N, --before-context N\n"
    "                        also print the N lines before each matching line\n"
    "  -C N, --context N     N lines before and after (-A and -B win over it).\n"
    "                        A context line has \"-\" where a matching line has\n"
    "                        \":\" (\"a.txt(3)- ...\" beside \"a.txt(4): ...\"; with\n"
    "                        --result-type 0 they begin \"- \" and \": \"); \"--\"\n"
    "                        stands between groups of lines that do not touch\n"
    "  -o, --only-matching   print each hit of each matching line on a line of\n"
    "                        its own, after the line's file and number: every\n"
    "                        hit that does not overlap an earlier one, each the\n"
    "                        longest at its place\n"
    "  -c, --count           print \"path:count\" for each file with matching\n"
    "                        lines instead\n"
    "  -l, --files-with-matches\n"
    "                        print the path of each file with a matching line\n"
    "                        instead; a file is read up to its first match only\n"
    "  --color[=WHEN], --colour[=WHEN]\n"
    "                        paint each line's hit as the window does, in the\n"
    "                        colours and style of the settings file; WHEN is\n"
    "                        never (default), always or auto (what --color\n"
    "                        alone means: only when stdout is a terminal and\n"
    "                        NO_COLOR is unset or empty)\n"
    "  --file-encoding E     auto (default), cp932, utf-8, utf-16, euc-jp or\n"
    "                        iso-2022-jp: the encoding the files are read in.\n"
    "                        auto decides each file from its first 64 KiB: a\n"
    "                        byte-order mark (UTF-8, UTF-16), else ISO-2022-JP\n"
    "                        escapes in 7-bit text, else well-formed UTF-8,\n"
    "                        else EUC-JP or Shift-JIS (CP932) by which reads\n"
    "                        soundly; plain ASCII is read as CP932. A UTF-16\n"
    "                        file with a mark is text although it holds NULs.\n"
    "                        Lines are shown converted; a character with no\n"
    "                        CP932 form shows as U+FFFD and matches only \".\"\n"
    "                        and negated classes\n"
    "  --encoding E          auto, cp932 or utf-8: how arguments and output are\n"
    "                        encoded (auto: utf-8 when the locale's character\n"
    "                        set is UTF-8)\n"
    "  -q, --quiet           no status line on stderr (the number of lines found\n"
    "                        and the elapsed time)\n"
    "Results (never painted):\n"
    "  --save FILE           also save the result: HTML for a name ending .htm\n"
    "                        or .html, else text\n"
    "  --history             store a result with lines as a new result-history\n"
    "                        entry\n"
    "  --data-dir DIR        the data directory (settings file, synonyms,\n"
    "                        history) to use\n"
    "  -h, --help            print this help; --version: print the version\n"
    "Exit status: 0 lines found, 1 none, 2 error or bad usage (also when a file\n"
    "or directory could not be read, or --save or --history failed), 130\n"
    "stopped by Ctrl+C.\n";

int UsageError(const std::string& why) {
  std::fprintf(stderr, "tarngrep: %s\n%s", why.c_str(), kUsage);
  return kExitError;
}

struct Options {
  bool sub_dirs = true;
  std::string dir_mask = "*.*";
  bool no_regexp = false;
  int result_type = 1;
  bool info = false;
  std::string encoding = "auto";
  tarn::FileEncodingChoice file_encoding = tarn::FileEncodingChoice::kAuto;
  bool quiet = false;
  bool fuzzy = false;
  bool synonym = false;
  std::string synonym_file;
  std::string save_file;
  bool history = false;
  std::string data_dir;
  std::string color = "never";
  bool count = false;
  bool files_with_matches = false;
  // Context lines; -1 when not given.
  std::int32_t after = -1;
  std::int32_t before = -1;
  std::int32_t context = -1;
  bool only_matching = false;
  unsigned threads = std::max(1U, std::thread::hardware_concurrency());
  std::vector<std::string> positional;
};

// What stdout gets for the reported lines.
enum class OutputForm { kLines, kInfo, kCount, kFiles };

// The SGR sequence that paints a hit as the window draws it: its style bits and its two
// colours. "No colour" and system colours (there is no window palette here) leave the
// terminal's own colour. Empty when nothing would change.
std::string HitStyleSequence(const tarn::settings::TFindResultInfo& style) {
  std::string codes;
  auto add = [&codes](const std::string& code) {
    if (!codes.empty()) codes += ';';
    codes += code;
  };
  const std::int32_t bits = tarn::settings::ComputeStringStyle(style);
  if (bits & tarn::settings::fsBold) add("1");
  if (bits & tarn::settings::fsItalic) add("3");
  if (bits & tarn::settings::fsUnderline) add("4");
  auto colour = [&add](const char* selector, std::uint32_t value) {
    if ((value & 0xFF000000u) != 0) return;  // 0x00BBGGRR only
    add(std::string(selector) + ";2;" + std::to_string(value & 0xFF) + ";" + std::to_string(value >> 8 & 0xFF) + ";" +
        std::to_string(value >> 16 & 0xFF));
  };
  colour("38", style.StringFontColor);
  colour("48", style.StringBackColor);
  return codes.empty() ? std::string() : "\033[" + codes + "m";
}

// The hit's bytes in a result line from its record (1-based column and length), widened to
// whole characters; false when the record names no hit in it.
bool HitSpan(std::string_view info, std::string_view line, std::size_t& begin, std::size_t& end) {
  const auto fields = tarn::search::ParseResultLineInfo(info);
  if (!fields || fields->HitPos < 1 || fields->HitLen <= 0) return false;
  const auto column = static_cast<std::size_t>(fields->HitPos);
  const auto length = static_cast<std::size_t>(fields->HitLen);
  if (column - 1 >= line.size()) return false;
  begin = column - 1;
  end = std::min(line.size(), begin + std::min(length, line.size()));
  std::size_t i = 0;
  std::size_t char_start = 0;
  while (i < begin) {
    char_start = i;
    i += tarn::CharLengthAt(line, i);
  }
  if (i > begin) begin = char_start;
  while (i < end) i += tarn::CharLengthAt(line, i);
  end = std::min(i, line.size());
  return true;
}

// The terminal's side of a run: result lines (and the lines around them) to stdout, the status
// line and messages to stderr.
class TerminalWindow : public tarn::search::SearchWindow, public tarn::search::ContextLines::Sink {
 public:
  TerminalWindow(bool utf8, OutputForm form, bool keep_lines)
      : utf8_(utf8), form_(form), keep_lines_(keep_lines), flush_at_(isatty(STDOUT_FILENO) ? 0 : kOutputBufferSize) {
    out_.reserve(kOutputBufferSize + 4096);
  }
  ~TerminalWindow() override { FlushOutput(); }
  TerminalWindow(const TerminalWindow&) = delete;
  TerminalWindow& operator=(const TerminalWindow&) = delete;

  // Lines around each result line, for the display mode result_type.
  void PrintContext(std::int32_t before, std::int32_t after, int result_type) {
    context_ = std::make_unique<tarn::search::ContextLines>(before, after, *this);
    // Ctrl+C stops a long stretch of context lines too, not only the search.
    context_->Stopped = [] { return stop_signalled != 0; };
    result_type_ = result_type;
  }
  // Each hit of a result line instead of the line.
  void PrintHitsOnly() { hits_only_ = true; }

  std::string Out(const std::string& cp932) const { return utf8_ ? tarn::Cp932ToUtf8(cp932) : cp932; }

  void Beep() override {}
  void FocusRequestBox(RequestBox box) override { rejected_box = box; }
  void SetRequestBoxText(RequestBox, const std::string&) override {}
  void AddToHistory(RequestBox) override {}
  void SetBusyCursor(bool) override {}
  void SetPanelsEnabled(bool) override {}
  void RefreshCommandStates() override {}
  void RefreshResultCommands() override {}
  void SetStatusText(const std::string& text) override { status = text; }
  void ClearResultView() override {}
  void SetResultViewUpdating(bool) override {}
  void AppendResultLine(std::string line, const std::string& info) override {
    if (keep_lines_) lines.push_back(line);
    if (form_ == OutputForm::kCount || form_ == OutputForm::kFiles) {
      const std::string& path = run->CurrentFile();
      if (path == file_) {
        ++file_lines_;
        return;
      }
      FinishOutput();
      file_ = path;
      file_lines_ = 1;
      if (form_ == OutputForm::kFiles) PrintPath("");
      return;
    }
    const tarn::search::ResultLinePlace& place = run->CurrentLinePlace();
    if (context_)
      context_->BeforeLine(run->CurrentFile(), run->CurrentNativeFile(), place, line.size() - place.TextStart);
    if (hits_only_) {
      PrintHits(line, place.TextStart);
      return;
    }
    // Without a file and line number in front, a result line needs a mark beside context lines.
    const bool mark = context_ && place.TextStart == 0;
    // One buffer and one converter for every line: a search may print millions.
    std::size_t hit_begin = 0;
    std::size_t hit_end = 0;
    if (mark) out_ += tarn::search::kLineOnlyHitMark;
    if (form_ == OutputForm::kInfo)
      AppendInfo(info);
    else if (!hit_style.empty() && HitSpan(info, line, hit_begin, hit_end))
      AppendPainted(std::string_view(line), hit_begin, hit_end);
    else
      AppendText(line);
    EndLine();
  }
  void ResetResultViewPosition() override {}
  void FocusResultView() override {}
  void ShowStopMessage(const std::string& message) override {
    FinishOutput();
    FlushOutput();
    std::fprintf(stderr, "%s\n", Out(message).c_str());
  }
  void SaveNewResultHistoryEntry() override { history_due = true; }
  void ReportUnreadable(const std::string& path, const std::string& reason) override {
    FlushOutput();
    std::fprintf(stderr, "tarngrep: %s: %s\n", Out(path).c_str(), reason.c_str());
    unreadable = true;
  }

  std::optional<RequestBox> rejected_box;
  std::string status;
  std::vector<std::string> lines;  // kept only for --save and --history
  bool history_due = false;
  bool unreadable = false;  // a file or directory was passed over
  tarn::search::SearchRun* run = nullptr;  // which file a line is from, its place, the matcher for -o
  std::string hit_style;                          // empty: no colour

  // What the last result line leaves to print: the count of its file for -c, the lines after it
  // for -A and -C; once.
  void FinishOutput() {
    if (context_) context_->Finish();
    if (form_ != OutputForm::kCount || file_lines_ == 0) return;
    PrintPath(":" + std::to_string(file_lines_));
    file_lines_ = 0;
  }

  // The lines printed so far to stdout, and stdout flushed: before anything goes to stderr, and
  // at the end.
  void FlushOutput() {
    WriteOut();
    std::fflush(stdout);
  }

  void Separator() override {
    out_ += tarn::search::kContextGroupSeparator;
    EndLine();
  }
  void Context(std::string_view path, std::int32_t line_no, std::string_view text) override {
    if (utf8_) {
      prefix_.clear();
      tarn::search::AppendContextLinePrefix(prefix_, result_type_, path, line_no);
      AppendText(prefix_);
    } else {
      tarn::search::AppendContextLinePrefix(out_, result_type_, path, line_no);
    }
    AppendText(text);
    EndLine();
  }
  void Unreadable(std::string_view path, const std::string& reason) override {
    ReportUnreadable(std::string(path), reason);
  }

 private:
  // Each hit the string matcher finds in the line's text after the previous one, painted when
  // lines are; an empty match shows nothing.
  void PrintHits(const std::string& line, std::size_t text_start) {
    hits_text_.assign(line, text_start);
    const tarn::pattern::TAWKStr& matcher = run->AWKStr1();
    std::size_t from = 0;
    int start = 0;
    int length = 0;
    while (from < hits_text_.size() && matcher.Match(hits_text_, from, start, length) > 0) {
      const auto begin = static_cast<std::size_t>(start - 1);
      if (length == 0) {
        if (begin >= hits_text_.size()) break;
        from = begin + tarn::CharLengthAt(hits_text_, begin);
        continue;
      }
      const std::string_view hit = std::string_view(hits_text_).substr(begin, static_cast<std::size_t>(length));
      AppendText(std::string_view(line).substr(0, text_start));
      if (hit_style.empty()) {
        AppendText(hit);
      } else {
        out_ += hit_style;
        AppendText(hit);
        out_ += "\033[m\033[K";
      }
      EndLine();
      from = begin + hit.size();
    }
  }

  void PrintPath(const std::string& tail) {
    AppendText(file_);
    out_ += tail;
    EndLine();
  }
  // Lines gather in out_ and go out in large writes: a call per line cost as much as reading the
  // line. A terminal gets each line at once.
  void EndLine() {
    out_ += '\n';
    if (out_.size() >= flush_at_) WriteOut();
  }
  void WriteOut() {
    if (out_.empty()) return;
    // Only this thread prints: the stream's lock is not taken.
    fwrite_unlocked(out_.data(), 1, out_.size(), stdout);
    out_.clear();
  }
  void AppendText(std::string_view cp932) {
    if (utf8_)
      to_utf8_.Append(cp932, out_);
    else
      out_ += cp932;
  }
  // The line with its hit between the hit style and the reset (and erase to the line end, so a
  // background never runs on past the line when the terminal scrolls).
  void AppendPainted(std::string_view line, std::size_t hit_begin, std::size_t hit_end) {
    AppendText(line.substr(0, hit_begin));
    out_ += hit_style;
    AppendText(line.substr(hit_begin, hit_end - hit_begin));
    out_ += "\033[m\033[K";
    AppendText(line.substr(hit_end));
  }

  // A record's sixth field is the path as the system names it: bytes to print unconverted. A
  // path with a line break is printed in the records' one-line form, one record a line.
  void AppendInfo(const std::string& info) {
    if (info.find_first_of("\r\n") != std::string::npos) {
      AppendInfo(tarn::search::ResultLineInfoOnOneLine(info));
      return;
    }
    if (!utf8_) {
      out_ += info;
      return;
    }
    std::vector<std::string> fields = tarn::ParseCommaText(info);
    if (fields.size() < 6) {
      to_utf8_.Append(info, out_);
      return;
    }
    // The path as the system names it, and the file's encoding, are no CP932 text.
    std::vector<std::string> raw(fields.begin() + 5, fields.end());
    fields.resize(5);
    to_utf8_.Append(tarn::ToCommaText(fields), out_);
    for (const std::string& field : raw) {
      out_ += ',';
      if (!field.empty()) out_ += tarn::ToCommaText({field});
    }
  }

  bool utf8_;
  OutputForm form_;
  bool keep_lines_;
  std::string file_;       // for -c and -l: the file of the last line and its line count
  int file_lines_ = 0;
  tarn::TCp932ToUtf8 to_utf8_;
  static constexpr std::size_t kOutputBufferSize = 256 * 1024;
  const std::size_t flush_at_;
  std::string out_;  // lines not yet handed to stdout
  std::unique_ptr<tarn::search::ContextLines> context_;
  int result_type_ = tarn::search::kResultFullPath;
  bool hits_only_ = false;
  std::string hits_text_;
  std::string prefix_;
};

// Which of -A, -B and -C (in any of their forms: "-A 2", "-A2", "--after-context 2",
// "--after-context=2") arg is; 0 for none.
char ContextOption(std::string_view arg) {
  for (const auto& [letter, name] : {std::pair{'A', std::string_view("--after-context")},
                                     std::pair{'B', std::string_view("--before-context")},
                                     std::pair{'C', std::string_view("--context")}}) {
    if (arg[1] == letter || arg == name || (arg.starts_with(name) && arg[name.size()] == '=')) return letter;
  }
  return 0;
}

// Parses the command line; returns an exit status when the program should end at once.
std::optional<int> ParseOptions(int argc, char** argv, Options& options) {
  bool options_done = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      options.positional.emplace_back(arg);
      continue;
    }
    auto value = [&](std::string_view name) -> std::optional<std::string> {
      if (arg == name) {
        if (i + 1 >= argc) return std::nullopt;
        return std::string(argv[++i]);
      }
      return std::string(arg.substr(name.size() + 1));
    };
    auto is = [&](std::string_view name) { return arg == name || arg.starts_with(std::string(name) + "="); };
    if (arg == "--") {
      options_done = true;
    } else if (arg == "--no-subdirs") {
      options.sub_dirs = false;
    } else if (is("--dir-mask")) {
      auto v = value("--dir-mask");
      if (!v) return UsageError("--dir-mask needs a value");
      options.dir_mask = *v;
    } else if (arg == "-F" || arg == "--no-regexp") {
      options.no_regexp = true;
    } else if (is("--result-type")) {
      auto v = value("--result-type");
      if (!v || (*v != "0" && *v != "1" && *v != "2")) return UsageError("--result-type takes 0, 1 or 2");
      options.result_type = (*v)[0] - '0';
    } else if (arg == "--info") {
      options.info = true;
    } else if (is("--encoding")) {
      auto v = value("--encoding");
      if (!v || (*v != "auto" && *v != "cp932" && *v != "utf-8"))
        return UsageError("--encoding takes auto, cp932 or utf-8");
      options.encoding = *v;
    } else if (is("--file-encoding")) {
      auto v = value("--file-encoding");
      const auto choice = v ? tarn::FileEncodingChoiceFromName(*v) : std::nullopt;
      if (!choice) return UsageError("--file-encoding takes auto, cp932, utf-8, utf-16, euc-jp or iso-2022-jp");
      options.file_encoding = *choice;
    } else if (arg == "--fuzzy") {
      options.fuzzy = true;
    } else if (arg == "--synonym") {
      options.synonym = true;
    } else if (is("--synonym-file")) {
      auto v = value("--synonym-file");
      if (!v || v->empty()) return UsageError("--synonym-file needs a file");
      options.synonym_file = *v;
    } else if (is("--save")) {
      auto v = value("--save");
      if (!v || v->empty()) return UsageError("--save needs a file");
      options.save_file = *v;
    } else if (arg == "--history") {
      options.history = true;
    } else if (is("--data-dir")) {
      auto v = value("--data-dir");
      if (!v || v->empty()) return UsageError("--data-dir needs a directory");
      options.data_dir = *v;
    } else if (arg == "-q" || arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "-c" || arg == "--count") {
      options.count = true;
    } else if (arg == "-l" || arg == "--files-with-matches") {
      options.files_with_matches = true;
    } else if (is("--color") || is("--colour")) {
      // As the usual tools take it: the value only after "=", so "--color PATTERN ..." works.
      const std::size_t equals = arg.find('=');
      options.color = equals == std::string_view::npos ? "auto" : std::string(arg.substr(equals + 1));
      if (options.color != "auto" && options.color != "always" && options.color != "never")
        return UsageError("--color takes auto, always or never");
    } else if (arg.starts_with("-j") || is("--threads")) {
      std::optional<std::string> v;
      if (arg.starts_with("-j"))
        v = arg.size() > 2 ? std::optional<std::string>(arg.substr(2)) : value("-j");
      else
        v = value("--threads");
      unsigned threads = 0;
      const char* end = v ? v->data() + v->size() : nullptr;
      if (!v || std::from_chars(v->data(), end, threads).ptr != end || v->empty() || threads < 1 ||
          threads > kMaxThreads)
        return UsageError("-j and --threads take a number of threads from 1 to " + std::to_string(kMaxThreads));
      options.threads = threads;
    } else if (const char letter = ContextOption(arg); letter != 0) {
      std::optional<std::string> v;
      if (arg[1] == letter)
        v = arg.size() > 2 ? std::optional<std::string>(arg.substr(2)) : value(arg);
      else
        v = value(arg.substr(0, arg.find('=')));
      std::int32_t lines = -1;
      const char* end = v ? v->data() + v->size() : nullptr;
      if (!v || v->empty() || std::from_chars(v->data(), end, lines).ptr != end || lines < 0)
        return UsageError("-A, -B and -C take a number of lines");
      (letter == 'A' ? options.after : letter == 'B' ? options.before : options.context) = lines;
    } else if (arg == "-o" || arg == "--only-matching") {
      options.only_matching = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return kExitFound;
    } else if (arg == "--version") {
      std::printf("tarngrep (Tarn) %.*s\n", static_cast<int>(tarn::settings::kProductVersion.size()),
                  tarn::settings::kProductVersion.data());
      return kExitFound;
    } else {
      return UsageError("unknown option " + std::string(arg));
    }
  }
  if (int{options.count} + int{options.files_with_matches} + int{options.info} > 1)
    return UsageError("-c, -l and --info exclude each other");
  const bool context = options.after >= 0 || options.before >= 0 || options.context >= 0;
  if ((context || options.only_matching) && (options.count || options.files_with_matches || options.info))
    return UsageError("-A, -B, -C and -o print lines: not with -c, -l or --info");
  if (context && options.only_matching) return UsageError("-o prints the hits alone, without context lines");
  if (options.positional.size() < 2) return UsageError("PATTERN and DIRECTORY are needed");
  if (options.positional.size() > 3) return UsageError("too many arguments");
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  Options options;
  if (const auto exit_status = ParseOptions(argc, argv, options)) return *exit_status;
  const bool utf8 = tarn::UsesUtf8Terminal(options.encoding);

  // Texts the search compares with CP932 text; the directory stays as the system names it.
  auto to_cp932 = [utf8](const std::string& text, const char* what) -> std::optional<std::string> {
    if (!utf8) return text;
    auto converted = tarn::Utf8ToCp932Exact(text);
    if (!converted) std::fprintf(stderr, "tarngrep: the %s has characters without a CP932 form\n", what);
    return converted;
  };
  const auto pattern = to_cp932(options.positional[0], "pattern");
  const auto masks = to_cp932(options.positional.size() > 2 ? options.positional[2] : "*.*", "file mask");
  const auto dir_mask = to_cp932(options.dir_mask, "directory mask");
  if (!pattern || !masks || !dir_mask) return kExitError;

  tarn::search::SearchRequest request;
  request.FindString = *pattern;
  request.NativeDirectory = std::string(tarn::Trim(options.positional[1]));
  request.Directory = tarn::search::NativeToCp932(request.NativeDirectory);
  request.FileMask = *masks;
  request.DirectoryMask = *dir_mask;
  request.SearchSubDirectory = options.sub_dirs;
  request.UseFuzzyCharDic = options.fuzzy;
  request.UseSynonymDic = options.synonym || !options.synonym_file.empty();
  tarn::search::SearchSettings settings;
  settings.NoRegExp = options.no_regexp;
  settings.ResultType = options.result_type;
  settings.ShowRealtime = true;
  settings.FirstLinePerFile = options.files_with_matches;
  settings.FileEncoding = options.file_encoding;
  const OutputForm form = options.info                 ? OutputForm::kInfo
                          : options.count              ? OutputForm::kCount
                          : options.files_with_matches ? OutputForm::kFiles
                                                       : OutputForm::kLines;
  const char* no_color = std::getenv("NO_COLOR");
  const bool paint = form == OutputForm::kLines &&
                     (options.color == "always" ||
                      (options.color == "auto" && isatty(STDOUT_FILENO) && (no_color == nullptr || *no_color == '\0')));

  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  // A second Ctrl+C ends the program at once, should a read ever hang before the stop is seen.
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);

  const bool keep_results = options.history || !options.save_file.empty();
  TerminalWindow window(utf8, form, keep_results);
  if (options.after >= 0 || options.before >= 0 || options.context >= 0) {
    const std::int32_t both = std::max(options.context, 0);
    window.PrintContext(options.before >= 0 ? options.before : both, options.after >= 0 ? options.after : both,
                        options.result_type);
  }
  if (options.only_matching) window.PrintHitsOnly();
  tarn::search::SearchRun run(window, [&run] {
    if (stop_signalled != 0) run.ActionFindStopExecute();
  });
  run.KeepResultLineInfos = keep_results;
  try {
    run.SetWorkerThreads(options.threads);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tarngrep: cannot start %u threads (%s); searching with one\n", options.threads, e.what());
  }
  window.run = &run;

  // The window's settings file, synonyms and history, so both programs share them.
  const auto locations = options.data_dir.empty() ? tarn::settings::DataLocations::ForRunningProgram()
                                                  : tarn::settings::DataLocations::InDirectory(options.data_dir);
  if (const auto folder = tarn::settings::FolderAnotherUserControls(locations.DataDirectory())) {
    std::fprintf(stderr, "tarngrep: %s\n",
                 tarn::settings::RefusedDataDirectoryText(locations.DataDirectory(), *folder).c_str());
    return kExitError;
  }
  tarn::pattern::TSynonymDicOwner synonyms({&run.Grep1(), &run.AWKStr1()});
  tarn::search::THtmlStyle html_style;
  try {
    if (!options.synonym_file.empty()) {
      if (!std::filesystem::is_regular_file(options.synonym_file)) {
        std::fprintf(stderr, "tarngrep: no such synonym file: %s\n", options.synonym_file.c_str());
        return kExitError;
      }
      synonyms.LoadSynonymDic(options.synonym_file);
    } else if (options.synonym && std::filesystem::is_directory(locations.DataDirectory())) {
      synonyms.LoadSynonymDic(locations.SynonymDicPath().string());
    }
    // The window's hit style, for the saved page and the painted lines. Reading settings must not
    // create a data directory as a side effect.
    if (!options.save_file.empty() || paint) {
      tarn::settings::TFindResultInfo style;
      const auto settings_file = locations.SettingsFilePath();
      if (std::filesystem::is_directory(locations.DataDirectory()) && std::filesystem::exists(settings_file))
        style = tarn::settings::LoadSettingsFile(settings_file).FindResult;
      html_style = tarn::storage::HtmlStyleOf(style);
      if (paint) window.hit_style = HitStyleSequence(style);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tarngrep: %s\n", window.Out(e.what()).c_str());
    return kExitError;
  }
  auto print_status = [&] {
    window.FinishOutput();
    window.FlushOutput();
    if (!options.quiet && !window.status.empty()) std::fprintf(stderr, "%s\n", window.Out(window.status).c_str());
  };

  // An error that ends the run still leaves what was found to save and to keep, as the window
  // keeps it.
  FindStartResult result = FindStartResult::kFinished;
  bool failed = false;
  try {
    result = run.ActionFindStartExecute(request, settings);
  } catch (const tarn::pattern::ERegExpParser& e) {
    std::fprintf(stderr, "tarngrep: %s\nposition %u\n", window.Out(e.what()).c_str(), static_cast<unsigned>(e.ErrorPos));
    return kExitError;
  } catch (const tarn::pattern::EInOutError& e) {
    print_status();
    std::fprintf(stderr, "tarngrep: %s: %s\n", window.Out(run.CurrentFile()).c_str(), e.what());
    failed = true;
  } catch (const std::exception& e) {
    print_status();
    std::fprintf(stderr, "tarngrep: %s\n", window.Out(e.what()).c_str());
    failed = true;
  }

  if (result == FindStartResult::kRejected) {
    switch (window.rejected_box.value_or(RequestBox::kFindString)) {
      case RequestBox::kFindString:
        std::fputs("tarngrep: the search pattern is empty\n", stderr);
        break;
      case RequestBox::kDirectory:
        std::fprintf(stderr, "tarngrep: no such directory: %s\n", options.positional[1].c_str());
        break;
      case RequestBox::kFileMask:
      case RequestBox::kDirectoryMask:
        std::fputs("tarngrep: the file mask is empty\n", stderr);
        break;
    }
    return kExitError;
  }
  if (!failed) print_status();
  // Each of the two is done whatever became of the other, and each failure is named.
  auto attempt = [&](const char* what, const auto& action) {
    try {
      action();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "tarngrep: %s: %s\n", what, window.Out(e.what()).c_str());
      failed = true;
    }
  };
  if (!options.save_file.empty())
    attempt("the result was not saved", [&] {
      tarn::search::SaveResult(options.save_file, tarn::search::SaveTypeForFileName(options.save_file), window.lines,
                               run.ResultLineInfos(), html_style, &run.AWKStr1());
    });
  if (options.history && window.history_due)
    attempt("the result was not kept in the history", [&] {
      const tarn::search::TResultHistoryEntry entry{
          {request.FindString, request.Directory, request.FileMask, request.SearchSubDirectory, request.DirectoryMask,
           request.UseFuzzyCharDic, request.UseSynonymDic},
          run.ResultLineInfos(), window.lines};
      tarn::storage::AddResultHistoryEntry(locations, entry);
    });
  if (result == FindStartResult::kStopped) return kExitStopped;
  if (failed || window.unreadable) return kExitError;
  return run.HitCount() > 0 ? kExitFound : kExitNone;
}

#include "search/search_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "core/comma_text.h"
#include "core/sjis.h"
#include "core/strings.h"
#include "core/system_text.h"
#include "pattern/read_only_file.h"
#include "search/native_path.h"
#include "search/parallel_grep.h"
#include "search/result_lines.h"
#include "search/walk_thread.h"

namespace tarn::search {
namespace {

// How long the run waits for a worker's lines before it lets pending messages run again.
constexpr std::chrono::milliseconds kParallelWait{20};
// How long a stop waits for the workers to let go of their files before it leaves them to it.
constexpr std::chrono::milliseconds kStopPatience{20};
// A walk that has not come out of one call to the system for this long is waiting for its folder.
constexpr std::chrono::milliseconds kStallShown{500};
// How long going away waits for threads let go of during the runs.
constexpr std::chrono::milliseconds kLingerPatience{1000};

bool IsDirectory(const std::string& native_path) {
  struct stat st {};
  return stat(native_path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

enum class DirectoryAnswer { kDirectory, kNoDirectory, kNoAnswer };

DirectoryAnswer CheckDirectory(const std::string& native_path) {
  return IsDirectory(native_path) ? DirectoryAnswer::kDirectory : DirectoryAnswer::kNoDirectory;
}

// The same on another thread, waited for up to patience.
DirectoryAnswer CheckDirectory(const std::string& native_path, std::chrono::milliseconds patience) {
  std::optional<DirectoryAnswer> answer;
  CallWithPatience<DirectoryAnswer>([native_path] { return CheckDirectory(native_path); }, patience, answer);
  return answer.value_or(DirectoryAnswer::kNoAnswer);
}

// Records name their files by full paths, opened later from another working directory, so a
// relative directory is taken from the current one; empty when that cannot be known.
std::string AbsoluteNativeDirectory(std::string_view native_dir) {
  if (native_dir.empty() || native_dir.front() == '/') return std::string(native_dir);
  std::error_code error;
  const std::filesystem::path cwd = std::filesystem::current_path(error);
  if (error) return {};
  while (native_dir.starts_with("./")) {
    native_dir.remove_prefix(2);
    while (native_dir.starts_with('/')) native_dir.remove_prefix(1);
  }
  if (native_dir == "." || native_dir.empty()) return cwd.native();
  return cwd.native() == "/" ? "/" + std::string(native_dir) : cwd.native() + "/" + std::string(native_dir);
}

}  // namespace

std::uint32_t TickCount() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

std::string FinishedStatus(int hit_count, std::uint32_t elapsed_ms, bool stopped) {
  static const std::string found = SystemText("個検索しました。");
  static const std::string partial = SystemText(" 検索を中断したため、結果は途中までです。");
  char elapsed[64];
  std::snprintf(elapsed, sizeof elapsed, "(Elapsed time %d:%2.2d.%3.3d)", static_cast<int>(elapsed_ms / 60000),
                static_cast<int>(elapsed_ms / 1000 % 60), static_cast<int>(elapsed_ms % 1000));
  return " " + std::to_string(hit_count) + found + elapsed + (stopped ? partial : "");
}

std::string EscapeSearchString(std::string_view text) {
  constexpr std::string_view kMeta = "$()*+-.?[\\]^|";
  std::string out;
  out.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t len = CharLengthAt(text, i);
    if (len == 1 && kMeta.find(text[i]) != std::string_view::npos) out += '\\';
    out.append(text.substr(i, len));
    i += len;
  }
  return out;
}

SearchRun::SearchRun(SearchWindow& window, std::function<void()> process_messages,
                     std::function<std::uint32_t()> tick_count)
    : window_(window), tick_count_(std::move(tick_count)) {
  grep1_.ProcessMessages = process_messages;
  grep1_.OnMatch = [this](pattern::TGrep&, pattern::RE_LineInfo_t line_info) { Grep1Match(std::move(line_info)); };
  find_file1_.ProcessMessages = std::move(process_messages);
  find_file1_.Conditions = {fcHidden, fcSystem};
  find_file1_.AttrHidden = false;
  find_file1_.AttrSystem = false;
  find_file1_.MinSize = 0;
  find_file1_.MaxSize = 2147483647;
  // The handler reads names alone; the hidden and system conditions need no more.
  find_file1_.OnFindDetails = 0;
  find_file1_.OnFind = [this](TFindFile&, const TFindData& data, const std::string&, bool& cancel) {
    FindFile1Find(data, cancel);
  };
  find_file1_.OnListError = [this](const std::string& dir, int error) {
    window_.ReportUnreadable(dir, pattern::SystemErrorText(error));
  };
}

SearchRun::~SearchRun() {
  walk_.reset();
  LetWorkersGo();
  // A thread still stuck past the deadline owns all it uses and ends on its own.
  const auto deadline = std::chrono::steady_clock::now() + kLingerPatience;
  for (const TBackgroundCall<bool>& thread : lingering_)
    thread.Wait(std::chrono::duration_cast<std::chrono::milliseconds>(
        std::max(deadline - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero())));
}

void SearchRun::SetWorkerThreads(unsigned count) {
  if (busy_ != 0) return;
  if (WalkOffThread) count = std::max(count, 1U);
  if (parallel_ && parallel_->ThreadCount() == count) return;
  parallel_.reset();
  if (count > 1 || WalkOffThread) parallel_ = std::make_unique<TParallelGrep>(count);
}

FindStartResult SearchRun::ActionFindStartExecute(SearchRequest& request, const SearchSettings& settings) {
  if (busy_ != 0) return FindStartResult::kRejected;
  auto reject = [this](RequestBox box) {
    window_.Beep();
    window_.FocusRequestBox(box);
    return FindStartResult::kRejected;
  };
  auto trim_box = [this](RequestBox box, std::string& text) {
    text = std::string(Trim(text));
    window_.SetRequestBoxText(box, text);
  };

  if (request.FindString.empty()) return reject(RequestBox::kFindString);
  trim_box(RequestBox::kDirectory, request.Directory);
  const std::string given_native_dir =
      request.NativeDirectory.empty() ? Cp932ToNative(request.Directory) : std::string(Trim(request.NativeDirectory));
  const std::string native_dir = AbsoluteNativeDirectory(given_native_dir);
  if (request.Directory.empty() || native_dir.empty()) return reject(RequestBox::kDirectory);
  const DirectoryAnswer answer =
      WalkOffThread ? CheckDirectory(native_dir, DirectoryCheckPatience) : CheckDirectory(native_dir);
  if (answer == DirectoryAnswer::kNoAnswer) {
    static const std::string before = SystemText("フォルダー「");
    static const std::string after = SystemText("」が応答しないため検索できません。");
    window_.ShowRefusal(before + request.Directory + after);
  }
  if (answer != DirectoryAnswer::kDirectory) return reject(RequestBox::kDirectory);
  trim_box(RequestBox::kFileMask, request.FileMask);
  if (request.FileMask.empty()) return reject(RequestBox::kFileMask);
  request.DirectoryMask = std::string(Trim(request.DirectoryMask));
  if (request.SearchSubDirectory && request.DirectoryMask.empty()) request.DirectoryMask = "*.*";
  window_.SetRequestBoxText(RequestBox::kDirectoryMask, request.DirectoryMask);

  for (const RequestBox box :
       {RequestBox::kFindString, RequestBox::kDirectory, RequestBox::kFileMask, RequestBox::kDirectoryMask})
    window_.AddToHistory(box);

  const std::string pattern = settings.NoRegExp ? EscapeSearchString(request.FindString) : request.FindString;
  grep1_.SetRegExp(pattern);
  awk_str1_.SetRegExp(pattern);
  grep1_.SetUseFuzzyCharDic(request.UseFuzzyCharDic);
  grep1_.SetUseSynonymDic(request.UseSynonymDic);
  awk_str1_.SetUseFuzzyCharDic(request.UseFuzzyCharDic);
  awk_str1_.SetUseSynonymDic(request.UseSynonymDic);
  grep1_.Encoding = settings.FileEncoding;
  if (parallel_) parallel_->Begin(grep1_, settings.ResultType, settings.FirstLinePerFile);

  settings_ = settings;
  const std::uint32_t start_tick = tick_count_();
  EnterSearchState();
  try {
    if (request.NativeDirectory.empty() && native_dir == given_native_dir)
      find_file1_.SetBaseDir(request.Directory);
    else
      find_file1_.SetNativeBaseDir(native_dir);
    find_file1_.SearchSubDir = request.SearchSubDirectory;
    find_file1_.DirMask = request.DirectoryMask;
    mask_list_ = ParseCommaText(request.FileMask);
    if (WalkOffThread)
      TakeWalk();
    else
      WalkHere();
    if (parallel_ && !stop_requested_) ReportParallelLines(0);
    // A stop that came while the finder listed entries met no grep: report it all the same.
    if (stop_requested_) ReportStop();
  } catch (...) {
    try {
      LetWorkersGo();
      EndRun(start_tick);
    } catch (...) {
      // The first error is the one to show.
    }
    throw;
  }
  LetWorkersGo();
  EndRun(start_tick);
  return stop_requested_ ? FindStartResult::kStopped : FindStartResult::kFinished;
}

std::string SearchRun::ProgressStatus() const {
  static const std::string files = SystemText(" ファイル  ");
  static const std::string waiting = SystemText("  (応答を待っています)");
  std::string status = SearchingStatus(hit_count_) + " " + std::to_string(file_count_) + files;
  if (!walk_) return status + find_file1_.CurrentDir();
  return status + walk_->CurrentDir() + (walk_->Stalled() >= kStallShown ? waiting : "");
}

void SearchRun::WalkHere() {
  for (const std::string& mask : mask_list_) {
    find_file1_.FileMask = mask;
    if (find_file1_.Run() != 0) break;
  }
}

void SearchRun::TakeWalk() {
  std::erase_if(lingering_, [](const TBackgroundCall<bool>& thread) { return thread.Ready(); });
  try {
    walk_ = std::make_unique<TWalkThread>(find_file1_, mask_list_);
  } catch (const std::system_error&) {
    WalkHere();  // no thread to be had
    return;
  }
  std::deque<TWalkThread::Entry> entries;
  bool cancel = false;
  while (!cancel && walk_->Take(entries, kParallelWait)) {
    const bool walk_idle = entries.empty();
    for (TWalkThread::Entry& entry : entries) {
      // At every entry, as the walk on this thread lets them run.
      if (grep1_.ProcessMessages) grep1_.ProcessMessages();
      if (entry.ListError != 0) {
        window_.ReportUnreadable(entry.Path, pattern::SystemErrorText(entry.ListError));
        continue;
      }
      current_file_ = std::move(entry.Path);
      current_native_file_ = std::move(entry.NativePath);
      SearchFile(-1, std::move(entry.Dir), entry.Name, cancel);
      if (cancel) break;
    }
    entries.clear();
    if (cancel) break;
    // The walk is slow or waits for a folder: the files it found meanwhile are searched to their
    // end, and their lines shown, rather than left for the workers to wake to.
    if (walk_idle && parallel_ && !ReportParallelLines(0)) break;
    // Also while the walk waits for a folder.
    if (grep1_.ProcessMessages) grep1_.ProcessMessages();
    if (stop_requested_) {
      ReportStop();
      cancel = true;
    }
  }
}

void SearchRun::EndWalk() {
  if (!walk_) return;
  walk_->Cancel();
  lingering_.push_back(walk_->Thread());
  walk_.reset();
}

void SearchRun::LetWorkersGo() {
  if (!parallel_) return;
  if (!WalkOffThread) {
    parallel_->Abandon();
    return;
  }
  if (parallel_->Abandon(kStopPatience)) return;
  // A worker is stuck in a call to the system: the workers end on a thread of their own once it
  // returns, and the next run starts new ones.
  std::shared_ptr<TParallelGrep> stuck(std::move(parallel_));
  try {
    lingering_.emplace_back([stuck = std::move(stuck)]() mutable {
      stuck.reset();
      return true;
    });
  } catch (const std::system_error&) {
    // No thread to be had: the workers are waited for here.
  }
}

void SearchRun::EnterSearchState() {
  window_.SetBusyCursor(true);
  busy_ = 1;
  hit_count_ = 0;
  file_count_ = 0;
  stop_requested_ = false;
  stop_reported_ = false;
  static const std::string searching = SystemText(" 検索中...");
  window_.SetStatusText(searching);
  result_line_infos_.clear();
  window_.ClearResultView();
  if (!settings_.ShowRealtime) window_.SetResultViewUpdating(false);
  window_.SetPanelsEnabled(false);
  window_.RefreshCommandStates();
}

void SearchRun::LeaveSearchState() {
  window_.SetBusyCursor(false);
  busy_ = 0;
  window_.SetPanelsEnabled(true);
  window_.ResetResultViewPosition();
  if (!settings_.ShowRealtime) window_.SetResultViewUpdating(true);
  window_.RefreshCommandStates();
}

void SearchRun::EndRun(std::uint32_t start_tick) {
  EndWalk();
  LeaveSearchState();
  // A stopped run ended when the stop was reported, not when its message box was closed.
  const std::uint32_t elapsed = (stop_reported_ ? stop_tick_ : tick_count_()) - start_tick;
  window_.SetStatusText(FinishedStatus(hit_count_, elapsed, stop_reported_));
  if (hit_count_ > 0) {
    window_.FocusResultView();
    window_.SaveNewResultHistoryEntry();
  }
  window_.RefreshResultCommands();
}

void SearchRun::ActionFindStopExecute() {
  grep1_.Cancel = true;
  if (busy_ == 0) return;
  // The finder and the next file hear it too: a grep clears its flag when it begins a file.
  stop_requested_ = true;
  find_file1_.CancelRequested = true;
  if (walk_) walk_->Cancel();
}

void SearchRun::ActionResultClearExecute() {
  result_line_infos_.clear();
  window_.ClearResultView();
  window_.SetStatusText("");
  window_.RefreshResultCommands();
}

void SearchRun::ReportStop() {
  if (stop_reported_) return;
  stop_reported_ = true;
  // The workers let go of their files now, not when the message has been read.
  LetWorkersGo();
  stop_tick_ = tick_count_();
  static const std::string stopped = SystemText("検索を中断しました。");
  window_.ShowStopMessage(stopped);
}

void SearchRun::FindFile1Find(const TFindData& find_data, bool& cancel) {
  // Built in place: the paths keep their storage from file to file.
  current_file_.assign(find_file1_.CurrentDir()).append("/").append(find_data.FileName);
  current_native_file_.assign(find_file1_.CurrentNativeDir()).append("/").append(find_data.NativeFileName);
  SearchFile(find_file1_.CurrentDirDescriptor(), nullptr, find_data.NativeFileName, cancel);
}

void SearchRun::SearchFile(int dir_fd, std::shared_ptr<const DirectoryCopy> dir, const std::string& name,
                           bool& cancel) {
  if (stop_requested_) {
    ReportStop();
    cancel = true;
    return;
  }
  ++file_count_;
  if (parallel_) {
    if (dir)
      parallel_->Add(current_file_, current_native_file_, std::move(dir), name);
    else
      parallel_->Add(current_file_, current_native_file_, dir_fd, name);
    // The walk runs ahead of the reported lines by 16 files per worker at most: enough that
    // workers seldom wait for the walk, whose wake-ups cost more than a small file's search.
    if (!ReportParallelLines(16 * std::size_t{parallel_->ThreadCount()} - 1)) cancel = true;
    return;
  }
  record_native_known_ = false;
  file_ended_early_ = false;
  try {
    // A file that is not text is skipped silently.
    const bool text = dir ? grep1_.GrepIfText(current_native_file_, dir->Fd(), name)
                      : dir_fd >= 0 ? grep1_.GrepIfText(current_native_file_, dir_fd, name)
                                    : grep1_.GrepIfText(current_native_file_);
    if (!text && grep1_.TextTestError() != 0)
      window_.ReportUnreadable(current_file_, pattern::SystemErrorText(grep1_.TextTestError()));
  } catch (const pattern::EGrepCancel&) {
    if (file_ended_early_ && !stop_requested_) return;
    stop_requested_ = true;
    ReportStop();
    cancel = true;
  }
}

void SearchRun::Grep1Match(pattern::RE_LineInfo_t line_info) {
  int start = 0;
  int length = 0;
  awk_str1_.Match(line_info.Line, start, length);
  if (!record_native_known_) {
    record_native_known_ = true;
    current_record_native_file_ = NativeRecoverable(current_file_, current_native_file_) ? "" : current_native_file_;
  }
  ReportResultLine(MakeResultLine(settings_.ResultType, current_file_, current_record_native_file_, std::move(line_info), start, length));
  if (settings_.FirstLinePerFile) {
    file_ended_early_ = true;
    grep1_.Cancel = true;
  }
}

void SearchRun::ReportResultLine(ResultLine result) {
  current_line_place_ = result.Place;
  window_.AppendResultLine(std::move(result.Line), result.Info);
  if (KeepResultLineInfos) result_line_infos_.push_back(std::move(result.Info));
  ++hit_count_;
  AssignSearchingStatus(status_, hit_count_);
  window_.SetStatusText(status_);
}

bool SearchRun::ReportParallelLines(std::size_t keep) {
  // Pending messages run before every reported line and between waits, as during Grep1's scan.
  auto stopped = [this] {
    if (grep1_.ProcessMessages) grep1_.ProcessMessages();
    if (!stop_requested_) return false;
    ReportStop();
    return true;
  };
  std::vector<ResultLine> lines;
  while (parallel_->Queued() > 0) {
    const bool wait = parallel_->Queued() > keep;
    // A full queue drains to half before the walk goes on.
    auto head = parallel_->TakeHead(lines, wait ? kParallelWait : std::chrono::milliseconds{0},
                                    parallel_->Queued() - keep / 2);
    if (head) {
      current_file_ = std::move(head->Path);
      current_native_file_ = std::move(head->NativePath);
      for (ResultLine& line : lines) {
        if (stopped()) return false;
        ReportResultLine(std::move(line));
      }
      lines.clear();
      if (head->TextTestError != 0) window_.ReportUnreadable(current_file_, pattern::SystemErrorText(head->TextTestError));
      if (head->Error) std::rethrow_exception(head->Error);
      if (head->Ended) continue;
    }
    if (!wait) return true;
    if (stopped()) return false;
  }
  return true;
}

}  // namespace tarn::search

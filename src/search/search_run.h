// The search run: everything the Start command does, from the request checks to the final status
// line, without a window. What only a window does (cursor, panels, focus, beep, message box,
// command states, the result view itself) goes through SearchWindow; pending window messages run
// through the injected pump at the finder's entries, after every block read and before every
// reported line.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/grep.h"
#include "pattern/regular_expression.h"
#include "search/background_call.h"
#include "search/findf.h"
#include "search/result_lines.h"

namespace tarn::search {

enum class RequestBox { kFindString, kDirectory, kFileMask, kDirectoryMask };

// The texts and switches of the request panel.
struct SearchRequest {
  std::string FindString;     // taken as typed
  std::string Directory;      // CP932
  std::string FileMask;       // CommaText list of masks
  std::string DirectoryMask;  // used only with sub-directories
  bool SearchSubDirectory = true;
  bool UseFuzzyCharDic = false;
  bool UseSynonymDic = false;
  // The start directory as the system names it, when known (a command line); else derived from
  // Directory.
  std::string NativeDirectory;
};

// The settings a run reads.
struct SearchSettings {
  bool NoRegExp = false;
  bool ShowRealtime = false;
  int ResultType = 2;
  // Each file ends at its first reported line (a list of the files that match).
  bool FirstLinePerFile = false;
  // How each file's encoding is decided.
  FileEncodingChoice FileEncoding = FileEncodingChoice::kAuto;
};

// What the window does for a run.
class SearchWindow {
 public:
  virtual ~SearchWindow() = default;

  virtual void Beep() = 0;
  virtual void FocusRequestBox(RequestBox box) = 0;
  // A checked text (trimmed, or the default directory mask) written back into its box.
  virtual void SetRequestBoxText(RequestBox box, const std::string& text) = 0;
  virtual void AddToHistory(RequestBox box) = 0;
  virtual void SetBusyCursor(bool busy) = 0;
  // Request panel and directory panel.
  virtual void SetPanelsEnabled(bool enabled) = 0;
  // The five command-state refreshes.
  virtual void RefreshCommandStates() = 0;
  // The result commands alone.
  virtual void RefreshResultCommands() = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void ClearResultView() = 0;
  // Suspends (false) or resumes (true) the drawing of the result view's lines.
  virtual void SetResultViewUpdating(bool updating) = 0;
  // info goes into ResultLineInfos right after this call (when they are kept). The line is the
  // window's to keep: a result may hold millions.
  virtual void AppendResultLine(std::string line, const std::string& info) = 0;
  // Scroll to the first row and column, caret to row 0, column 0.
  virtual void ResetResultViewPosition() = 0;
  virtual void FocusResultView() = 0;
  // The information message box with the application title as caption.
  virtual void ShowStopMessage(const std::string& message) = 0;
  // Last := Last + 1; Current := Last; First := 1 when it was 0; save the entry Last.
  virtual void SaveNewResultHistoryEntry() = 0;
  // A file that could not be opened or whose head could not be read, or a directory that could
  // not be listed, with the system's reason; the run goes on past it. The window passes over it
  // in silence, as over a file that is no text; a terminal names it.
  virtual void ReportUnreadable(const std::string& /*path*/, const std::string& /*reason*/) {}
  // Why a request is refused beyond the beep and the focus (a folder that does not answer).
  virtual void ShowRefusal(const std::string& /*message*/) {}
};

enum class FindStartResult {
  kRejected,  // a request check failed: beep and focus, nothing else
  kFinished,
  kStopped,
};

// The system tick in milliseconds, as an unsigned 32-bit value that wraps around.
std::uint32_t TickCount();

// " n個検索しました。(Elapsed time m:ss.mmm)", for a stopped run followed by a note that the
// result is partial.
std::string FinishedStatus(int hit_count, std::uint32_t elapsed_ms, bool stopped = false);

// The search string as a literal: a backslash before every single-byte "$()*+-.?[\]^|".
std::string EscapeSearchString(std::string_view text);

class TParallelGrep;
class TWalkThread;

class SearchRun {
 public:
  explicit SearchRun(SearchWindow& window, std::function<void()> process_messages = {},
                     std::function<std::uint32_t()> tick_count = TickCount);
  ~SearchRun();
  SearchRun(const SearchRun&) = delete;
  SearchRun& operator=(const SearchRun&) = delete;

  // More than one: the files are grepped by that many worker threads and their lines reported
  // here in walk order, the same lines as Grep1 alone reports. Not while a run is busy. Raises
  // std::system_error, leaving Grep1 to search alone, when the threads cannot be started.
  void SetWorkerThreads(unsigned count);

  // The calling thread never waits in a call to the file system (a window): the start
  // directory is checked on another thread, with DirectoryCheckPatience; the walk runs on a
  // thread of its own and the files are grepped by the workers, at least one; a stop lets go of
  // a walk or a worker stuck in a call and leaves it to end on its own thread. Set before
  // SetWorkerThreads.
  bool WalkOffThread = false;
  std::chrono::milliseconds DirectoryCheckPatience{2000};

  // The Start command. request holds the boxes' texts and is updated as the boxes are. Raises
  // ERegExpParser for a malformed pattern (before the running state); any error during the walk
  // passes on after the run has ended properly.
  FindStartResult ActionFindStartExecute(SearchRequest& request, const SearchSettings& settings);
  // The Stop command: ends the run at the next entry, block or reported line.
  void ActionFindStopExecute();
  // The Clear command's effect on the data: result lines, their records and the status line.
  void ActionResultClearExecute();

  int Busy() const noexcept { return busy_; }
  int HitCount() const noexcept { return hit_count_; }
  // During a run: the lines found, the files the walk handed over and the folder it is in.
  std::string ProgressStatus() const;
  // Parallel to the result view's lines.
  std::vector<std::string>& ResultLineInfos() noexcept { return result_line_infos_; }
  const std::vector<std::string>& ResultLineInfos() const noexcept { return result_line_infos_; }
  const std::vector<std::string>& MaskList() const noexcept { return mask_list_; }
  // The entry being handled, and the same as the system names it.
  const std::string& CurrentFile() const noexcept { return current_file_; }
  const std::string& CurrentNativeFile() const noexcept { return current_native_file_; }
  // Where the line being appended lies in the current file (during AppendResultLine).
  const ResultLinePlace& CurrentLinePlace() const noexcept { return current_line_place_; }

  pattern::TGrep& Grep1() noexcept { return grep1_; }
  // False lets a caller that never reads ResultLineInfos (a terminal search that only prints)
  // keep memory flat however many lines are reported.
  bool KeepResultLineInfos = true;
  pattern::TAWKStr& AWKStr1() noexcept { return awk_str1_; }
  TFindFile& FindFile1() noexcept { return find_file1_; }

 private:
  void EnterSearchState();
  void LeaveSearchState();
  void EndRun(std::uint32_t start_tick);
  void FindFile1Find(const TFindData& find_data, bool& cancel);
  // The walk on this thread, one per file mask.
  void WalkHere();
  // The run's side of a walk on its own thread: the files it finds are searched here.
  void TakeWalk();
  // Searches the file named by current_file_, opened by name in the directory dir (or dir_fd).
  void SearchFile(int dir_fd, std::shared_ptr<const DirectoryCopy> dir, const std::string& name, bool& cancel);
  // Ends the walk on its own thread, which is let go of.
  void EndWalk();
  // Drops the files queued for the workers; workers stuck in a call are left to end on their own.
  void LetWorkersGo();
  void Grep1Match(pattern::RE_LineInfo_t line_info);
  void ReportResultLine(ResultLine result);
  // Reports the workers' lines file by file, waiting for files while more than keep are queued.
  // False when a stop ended it.
  bool ReportParallelLines(std::size_t keep);
  void ReportStop();

  SearchWindow& window_;
  std::function<std::uint32_t()> tick_count_;
  pattern::TGrep grep1_;
  pattern::TAWKStr awk_str1_;
  TFindFile find_file1_;
  SearchSettings settings_;
  int busy_ = 0;
  int hit_count_ = 0;
  int file_count_ = 0;
  bool stop_requested_ = false;
  bool stop_reported_ = false;
  std::uint32_t stop_tick_ = 0;  // when the stop was reported
  bool file_ended_early_ = false;  // Grep1's cancel came from FirstLinePerFile
  std::unique_ptr<TParallelGrep> parallel_;
  std::unique_ptr<TWalkThread> walk_;
  // Threads let go of during earlier runs (walks, workers stuck in a call), waited for a while
  // when the run goes.
  std::vector<TBackgroundCall<bool>> lingering_;
  std::vector<std::string> mask_list_;
  std::vector<std::string> result_line_infos_;
  std::string current_file_;
  std::string current_native_file_;
  std::string status_;  // the status of the last reported line
  ResultLinePlace current_line_place_;
  // The native path for the current file's records: empty when the CP932 path leads back to it,
  // decided at a file's first reported line rather than at every line or every file.
  std::string current_record_native_file_;
  bool record_native_known_ = false;  // current_record_native_file_ is decided for this file
};

}  // namespace tarn::search

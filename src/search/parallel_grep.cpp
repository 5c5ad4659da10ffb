#include "search/parallel_grep.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "search/native_path.h"

namespace tarn::search {
namespace {

// A worker hands its lines over in batches, so that a file with many hits costs few locks.
constexpr std::size_t kBatchLines = 256;
constexpr std::size_t kBatchBytes = 64 * 1024;

void MoveAppend(std::vector<ResultLine>& to, std::vector<ResultLine>& from) {
  if (to.empty())
    to.swap(from);
  else
    std::move(from.begin(), from.end(), std::back_inserter(to));
  from.clear();
}

}  // namespace

struct TParallelGrep::Slot {
  std::string Path;
  std::string NativePath;
  std::shared_ptr<const DirectoryCopy> Dir;  // null: opened along NativePath
  std::string Name;                      // in Dir
  // Guarded by mutex_:
  std::vector<ResultLine> Lines;  // handed over, not yet taken
  std::size_t HeldBytes = 0;
  bool Ended = false;
  std::exception_ptr Error;
  int TextTestError = 0;
};

struct TParallelGrep::Worker {
  pattern::TGrep Grep;
  pattern::TAWKStr AWKStr;
  int ResultType = kResultFullPath;
  bool FirstLinePerFile = false;
  // The file being searched and its path for the records.
  Slot* Current = nullptr;
  std::string RecordNativePath;
  bool RecordNativeKnown = false;
  std::vector<ResultLine> Batch;
  std::size_t BatchBytes = 0;
};

TParallelGrep::TParallelGrep(unsigned thread_count) {
  thread_count = std::max(thread_count, 1U);
  for (unsigned i = 0; i < thread_count; ++i) {
    auto worker = std::make_unique<Worker>();
    Worker& w = *worker;
    // A dropped file ends at its next block or line, as a stopped grep does.
    w.Grep.ProcessMessages = [this, &w] {
      if (abandon_.load(std::memory_order_relaxed)) w.Grep.Cancel = true;
    };
    w.Grep.OnMatch = [this, &w](pattern::TGrep&, pattern::RE_LineInfo_t line_info) {
      int start = 0;
      int length = 0;
      w.AWKStr.Match(line_info.Line, start, length);
      // Decided at a file's first line: most files searched have none.
      if (!w.RecordNativeKnown) {
        w.RecordNativeKnown = true;
        w.RecordNativePath = NativeRecoverable(w.Current->Path, w.Current->NativePath) ? "" : w.Current->NativePath;
      }
      ResultLine line = MakeResultLine(w.ResultType, w.Current->Path, w.RecordNativePath, std::move(line_info), start, length);
      w.BatchBytes += line.Line.size() + line.Info.size();
      w.Batch.push_back(std::move(line));
      if (w.FirstLinePerFile) w.Grep.Cancel = true;
      if (w.Batch.size() >= kBatchLines || w.BatchBytes >= kBatchBytes) Deliver(w, *w.Current, false, {});
    };
    workers_.push_back(std::move(worker));
  }
  threads_.reserve(workers_.size());
  try {
    for (const auto& worker : workers_) threads_.emplace_back([this, &w = *worker] { Work(w); });
  } catch (...) {
    // No destructor runs for a constructor that fails: end the workers started so far here.
    {
      const std::lock_guard lock(mutex_);
      quit_ = true;
    }
    work_ready_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    throw;
  }
}

TParallelGrep::~TParallelGrep() {
  Abandon();
  {
    const std::lock_guard lock(mutex_);
    quit_ = true;
  }
  work_ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void TParallelGrep::Begin(pattern::TGrep& model, int result_type, bool first_line_per_file) {
  // The workers are idle: nothing is queued, and Add's lock publishes these writes to them.
  const std::lock_guard lock(mutex_);
  for (const auto& worker : workers_) {
    Worker& w = *worker;
    w.ResultType = result_type;
    w.FirstLinePerFile = first_line_per_file;
    w.Grep.BlockSize = model.BlockSize;
    w.Grep.ForceReferenceScan = model.ForceReferenceScan;
    w.Grep.Encoding = model.Encoding;
    for (pattern::TRegularExpression* component : {static_cast<pattern::TRegularExpression*>(&w.Grep),
                                                    static_cast<pattern::TRegularExpression*>(&w.AWKStr)}) {
      component->SynonymDicList() = model.SynonymDicList();
      component->SetRegExp(model.RegExp());
      component->SetUseFuzzyCharDic(model.UseFuzzyCharDic());
      component->SetUseSynonymDic(model.UseSynonymDic());
    }
  }
}

void TParallelGrep::Add(std::string path, std::string native_path, int dir_fd, std::string name) {
  if (dir_fd >= 0 && native_path.size() > name.size()) {
    // A descriptor number can name another directory later: the path tells them apart.
    const std::string_view dir_path(native_path.data(), native_path.size() - name.size());
    if (!directory_ || dir_fd != directory_source_fd_ || dir_path != directory_path_) {
      directory_ = DirectoryCopy::Of(dir_fd);
      directory_source_fd_ = dir_fd;
      directory_path_ = dir_path;
    }
  }
  Add(std::move(path), std::move(native_path), dir_fd >= 0 ? directory_ : nullptr, std::move(name));
}

void TParallelGrep::Add(std::string path, std::string native_path, std::shared_ptr<const DirectoryCopy> dir,
                        std::string name) {
  auto slot = std::make_unique<Slot>();
  if (dir && native_path.size() > name.size()) {
    slot->Dir = std::move(dir);
    slot->Name = std::move(name);
  }
  slot->Path = std::move(path);
  slot->NativePath = std::move(native_path);
  bool wake = false;
  {
    const std::lock_guard lock(mutex_);
    queue_.push_back(std::move(slot));
    queued_ = queue_.size();
    // Busy workers take the next file without sleeping; an idle one is woken once a few files
    // wait for it (or when the consumer waits), not for every file: a wake-up costs more than a
    // small file's search.
    wake = idle_ > waking_ && queue_.size() - started_ >= 4 * workers_.size();
    if (wake) ++waking_;
  }
  if (wake) work_ready_.notify_one();
}

std::optional<TParallelGrep::Head> TParallelGrep::TakeHead(std::vector<ResultLine>& lines,
                                                           std::chrono::milliseconds wait, std::size_t ended_files) {
  if (wait.count() <= 0 && !head_may_be_ready_ && deliveries_.load(std::memory_order_acquire) == deliveries_seen_)
    return std::nullopt;
  std::unique_lock lock(mutex_);
  deliveries_seen_ = deliveries_.load(std::memory_order_relaxed);
  if (wait.count() > 0) {
    awaited_files_ = std::clamp<std::size_t>(ended_files, 1, queue_.size());
    if (!ConsumerDue()) {
      if (idle_ > waking_ && started_ < queue_.size()) {
        waking_ = idle_;
        work_ready_.notify_all();
      }
      // A worker that wakes the consumer clears consumer_waiting_: each wait arms it again.
      const auto until = std::chrono::steady_clock::now() + wait;
      do {
        consumer_waiting_ = true;
        if (lines_ready_.wait_until(lock, until) == std::cv_status::timeout) break;
      } while (!ConsumerDue());
      consumer_waiting_ = false;
    }
  }
  Slot& head = *queue_.front();
  head_may_be_ready_ = false;
  if (head.Lines.empty() && !head.Ended) return std::nullopt;
  MoveAppend(lines, head.Lines);
  held_bytes_ -= head.HeldBytes;
  head.HeldBytes = 0;
  bool head_changed = false;
  std::optional<Head> result;
  if (head.Ended) {
    result = Head{std::move(head.Path), std::move(head.NativePath), true, std::move(head.Error), head.TextTestError};
    queue_.pop_front();
    queued_ = queue_.size();
    head_changed = true;
    --started_;
    // The next file may have ended before the last look.
    head_may_be_ready_ = !queue_.empty();
  } else {
    result = Head{head.Path, head.NativePath, false, {}};
  }
  // A held-back worker goes on when there is room again or its file has become the head.
  const bool wake = held_back_ > 0 && (head_changed || held_bytes_ <= kHeldBytesLimit);
  lock.unlock();
  if (wake) room_freed_.notify_all();
  return result;
}

bool TParallelGrep::ConsumerDue() const {
  const Slot& head = *queue_.front();
  // A head with many lines hands them on as they come (and is never held back itself); a few
  // lines wait for the files awaited.
  if (head.HeldBytes >= kBatchBytes) return true;
  // A held-back file cannot end before it is the head: then the head's end is enough.
  if (held_back_ > 0) return head.Ended;
  const std::size_t files = std::min(awaited_files_, queue_.size());
  return std::all_of(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(files),
                     [](const auto& slot) { return slot->Ended; });
}

bool TParallelGrep::Abandon(std::chrono::milliseconds patience) {
  directory_.reset();
  std::unique_lock lock(mutex_);
  if (queue_.empty()) return true;
  abandon_ = true;
  queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(started_), queue_.end());
  queued_ = queue_.size();
  room_freed_.notify_all();
  const bool bounded = patience != std::chrono::milliseconds::max();
  const auto until = std::chrono::steady_clock::now() + (bounded ? patience : std::chrono::milliseconds{0});
  while (!std::all_of(queue_.begin(), queue_.end(), [](const auto& slot) { return slot->Ended; })) {
    consumer_waiting_ = true;
    if (!bounded) {
      lines_ready_.wait(lock);
    } else if (lines_ready_.wait_until(lock, until) == std::cv_status::timeout &&
               !std::all_of(queue_.begin(), queue_.end(), [](const auto& slot) { return slot->Ended; })) {
      consumer_waiting_ = false;
      return false;
    }
  }
  consumer_waiting_ = false;
  queue_.clear();
  queued_ = 0;
  held_bytes_ = 0;
  started_ = 0;
  abandon_ = false;
  return true;
}

void TParallelGrep::Work(Worker& worker) {
  for (;;) {
    Slot* slot = nullptr;
    {
      std::unique_lock lock(mutex_);
      ++idle_;
      work_ready_.wait(lock, [this] { return quit_ || started_ < queue_.size(); });
      --idle_;
      if (waking_ > 0) --waking_;
      if (quit_) return;
      slot = queue_[started_++].get();
    }
    Search(worker, *slot);
  }
}

void TParallelGrep::Search(Worker& worker, Slot& slot) {
  worker.Current = &slot;
  worker.RecordNativeKnown = false;
  std::exception_ptr error;
  try {
    // A file that is not text is skipped silently.
    const bool text = slot.Dir ? worker.Grep.GrepIfText(slot.NativePath, slot.Dir->Fd(), slot.Name)
                               : worker.Grep.GrepIfText(slot.NativePath);
    // Written before Deliver marks the file ended: the consumer reads it only after that.
    if (!text) slot.TextTestError = worker.Grep.TextTestError();
  } catch (const pattern::EGrepCancel&) {
    // The file's first line is taken, or the file was dropped.
  } catch (...) {
    error = std::current_exception();
  }
  Deliver(worker, slot, true, std::move(error));
  worker.Current = nullptr;
}

void TParallelGrep::Deliver(Worker& worker, Slot& slot, bool ended, std::exception_ptr error) {
  std::unique_lock lock(mutex_);
  slot.HeldBytes += worker.BatchBytes;
  held_bytes_ += worker.BatchBytes;
  MoveAppend(slot.Lines, worker.Batch);
  worker.BatchBytes = 0;
  if (ended) {
    slot.Ended = true;
    slot.Error = std::move(error);
  }
  deliveries_.fetch_add(1, std::memory_order_release);
  // Lines of a file that is not the head wait for the consumer; past the limit the worker waits too.
  const bool hold_back = !ended && held_bytes_ > kHeldBytesLimit && &slot != queue_.front().get() && !abandon_;
  if (hold_back) ++held_back_;
  // Waking the consumer for every file would cost more than a small file's search; and woken
  // while the lock is held, it would only wait for the lock.
  // Once woken, the consumer is not woken again before it has looked.
  const bool wake = consumer_waiting_ && (abandon_ ? ended : ConsumerDue());
  if (wake) consumer_waiting_ = false;
  if (!hold_back) lock.unlock();
  if (wake) lines_ready_.notify_one();
  if (hold_back) {
    room_freed_.wait(lock, [this, &slot] {
      return held_bytes_ <= kHeldBytesLimit || &slot == queue_.front().get() || abandon_.load();
    });
    --held_back_;
  }
}

}  // namespace tarn::search

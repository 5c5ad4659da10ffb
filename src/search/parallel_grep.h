// TParallelGrep: the files of a search grepped on worker threads, their result lines handed back
// to one consumer on the calling thread in the order the files were added, as a single grep on
// that thread would have reported them.
//
// The consumer adds files as the walk finds them and takes the lines of the first file still
// queued (the head) as they come, up to its end. Memory stays bounded: the consumer keeps a
// bounded number of files queued, and once the queued files hold kHeldBytesLimit bytes of lines
// no one has taken, a worker whose file is not the head waits at its next batch.
//
// Each worker owns a TGrep and a TAWKStr compiled from the model's pattern on the calling
// thread; the synonym dictionary and the fuzzy-character table they point at are only read.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "pattern/grep.h"
#include "search/dir_listing.h"
#include "search/result_lines.h"

namespace tarn::search {

class TParallelGrep {
 public:
  static constexpr std::size_t kHeldBytesLimit = 4 << 20;

  // Starts thread_count workers (at least one). Raises std::system_error when the system gives
  // no more threads.
  explicit TParallelGrep(unsigned thread_count);
  // Drops whatever is queued and ends the workers.
  ~TParallelGrep();
  TParallelGrep(const TParallelGrep&) = delete;
  TParallelGrep& operator=(const TParallelGrep&) = delete;

  unsigned ThreadCount() const noexcept { return static_cast<unsigned>(workers_.size()); }

  // Prepares a run: every worker takes the model's pattern, dictionary switches and dictionaries,
  // block size and scan choice. Lines are made for result_type; with first_line_per_file a file
  // ends at its first reported line. Only while nothing is queued.
  void Begin(pattern::TGrep& model, int result_type, bool first_line_per_file);

  // The rest is for the consumer's thread alone.

  // Queues a file the walk accepted: it is searched when it is a text file, as the single grep
  // searches it. With dir_fd, the open directory it is listed in, workers open it by name there
  // (through a copy of the descriptor, taken once per directory) rather than along its path.
  void Add(std::string path, std::string native_path, int dir_fd = -1, std::string name = {});
  // The same with a copy of the directory's descriptor taken already (by a walk on another thread).
  void Add(std::string path, std::string native_path, std::shared_ptr<const DirectoryCopy> dir, std::string name);
  // Files added and not yet taken to their end.
  std::size_t Queued() const noexcept { return queued_; }

  struct Head {
    std::string Path;  // the head file, as added
    std::string NativePath;
    bool Ended = false;        // its last lines are taken and it left the queue
    std::exception_ptr Error;  // what its grep raised after those lines (cannot open, read)
    int TextTestError = 0;     // why it could not be opened or its head read (TGrep::TextTestError)
  };
  // Moves the head file's lines found so far into lines (appended); nullopt when there are none
  // and it has not ended. Before that, waits up to wait until some come or the first
  // ended_files files have all ended (the consumer sleeps through several small files rather
  // than waking for each). Only while something is queued.
  std::optional<Head> TakeHead(std::vector<ResultLine>& lines, std::chrono::milliseconds wait,
                               std::size_t ended_files = 1);
  // Drops every queued file (the end of a run); workers stop their files at the next block or
  // line. Returns once no worker touches a dropped file, true; or false once patience has run
  // out while a worker is still in a call to the system that has not returned: the object can
  // then only be destroyed (which waits for that call), not used for another run.
  bool Abandon(std::chrono::milliseconds patience = std::chrono::milliseconds::max());

 private:
  struct Slot;
  struct Worker;

  void Work(Worker& worker);
  void Search(Worker& worker, Slot& slot);
  // Hands the worker's batch over; with ended, the file's end too.
  void Deliver(Worker& worker, Slot& slot, bool ended, std::exception_ptr error);
  // What the waiting consumer waits for (under mutex_): a batch of the head's lines, or the end
  // of the files it awaits (of the head alone while a worker is held back).
  bool ConsumerDue() const;

  std::mutex mutex_;
  std::condition_variable work_ready_;   // idle workers: a file queued, or quit
  std::condition_variable room_freed_;   // held-back workers: lines taken, a new head, or abandon
  std::condition_variable lines_ready_;  // the consumer: what it waits for
  std::deque<std::unique_ptr<Slot>> queue_;  // changed by the consumer only
  std::size_t queued_ = 0;                   // queue_.size(), for the consumer without the lock
  std::size_t started_ = 0;                  // queue_[0, started_) are taken by workers
  std::size_t idle_ = 0;                     // workers waiting for a file
  std::size_t waking_ = 0;                   // of them, those woken already
  std::size_t held_back_ = 0;                // workers waiting for room
  std::size_t held_bytes_ = 0;               // of lines handed over and not taken
  bool consumer_waiting_ = false;
  std::size_t awaited_files_ = 1;
  bool quit_ = false;
  std::atomic<bool> abandon_{false};
  // Counts hand-overs, so that the consumer looks at the head only when something came.
  std::atomic<std::uint64_t> deliveries_{0};
  std::uint64_t deliveries_seen_ = 0;
  // The directory of the last file added, and the descriptor and path it was known by.
  std::shared_ptr<const DirectoryCopy> directory_;
  int directory_source_fd_ = -1;
  std::string directory_path_;
  bool head_may_be_ready_ = false;
  std::vector<std::unique_ptr<Worker>> workers_;
  std::vector<std::thread> threads_;
};

}  // namespace tarn::search

// TWalkThread: the walk of a search on a thread of its own, so that the thread that reports the
// results never waits in a call to the system: a folder of a network that does not answer stalls
// the walk alone. The entries come out in the order a walk on the calling thread reports them.
//
// The thread is detached and shares with this object only what both use (the finder, the queue
// of entries), held by a shared pointer: the object can go while the thread is stuck in a call,
// and the thread, once the call returns, sees the walk cancelled and ends without touching
// anything of the caller's.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "search/background_call.h"
#include "search/dir_listing.h"
#include "search/findf.h"

namespace tarn::search {

class TWalkThread {
 public:
  // A file the walk accepted, or a directory it could not list (ListError set).
  struct Entry {
    std::string Path;        // CP932
    std::string NativePath;  // as the system names it
    // The directory the file lies in, open for opening it by Name; null when it could not be copied.
    std::shared_ptr<const DirectoryCopy> Dir;
    std::string Name;
    int ListError = 0;
  };

  // How many entries the walk finds ahead of the caller before it waits for the caller.
  static constexpr std::size_t kQueueLimit = 4096;

  // Starts the walk of model's start directory with its settings (not its handlers and not its
  // file mask), once per file mask in turn; a walk that fails part way ends there.
  TWalkThread(const TFindFile& model, std::vector<std::string> file_masks);
  // Cancels the walk; the thread ends on its own.
  ~TWalkThread();
  TWalkThread(const TWalkThread&) = delete;
  TWalkThread& operator=(const TWalkThread&) = delete;

  // Moves the entries found so far to the end of entries, waiting up to wait for one when there
  // are none. False once the walk has ended and every entry is taken.
  bool Take(std::deque<Entry>& entries, std::chrono::milliseconds wait);
  // The walk stops at its next entry or directory.
  void Cancel();
  // The directory the walk is in.
  std::string CurrentDir() const;
  // How long the walk has been in one call to the system (not waiting for the caller to take
  // entries); zero once it has ended.
  std::chrono::milliseconds Stalled() const;
  // The thread, for a bounded wait for its end.
  const TBackgroundCall<bool>& Thread() const noexcept { return thread_; }

 private:
  struct Shared;
  static std::shared_ptr<Shared> NewShared(const TFindFile& model, std::vector<std::string> file_masks);
  std::shared_ptr<Shared> shared_;
  TBackgroundCall<bool> thread_;
};

}  // namespace tarn::search

#include "search/walk_thread.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>

namespace tarn::search {
namespace {

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

struct TWalkThread::Shared {
  TFindFile Finder;
  std::vector<std::string> Masks;
  std::atomic<bool> Cancelled{false};
  std::atomic<std::int64_t> LastMove{NowMs()};  // when the walk last came out of the system
  // The walk's own: a copy of the current directory's descriptor, taken at its first file.
  std::shared_ptr<const DirectoryCopy> DirCopy;
  bool DirCopied = false;

  mutable std::mutex Mutex;
  std::condition_variable Found;  // the caller waits for entries
  std::condition_variable Room;   // the walk waits for the caller
  std::deque<Entry> Entries;
  std::string Dir;
  bool Ended = false;
  bool CallerWaiting = false;
  bool WalkWaiting = false;

  // False when the walk has been cancelled.
  bool Push(Entry entry) {
    std::unique_lock lock(Mutex);
    while (Entries.size() >= kQueueLimit && !Cancelled) {
      WalkWaiting = true;
      Room.wait(lock);
    }
    WalkWaiting = false;
    if (Cancelled) return false;
    Entries.push_back(std::move(entry));
    const bool wake = CallerWaiting;
    CallerWaiting = false;
    lock.unlock();
    if (wake) Found.notify_one();
    LastMove.store(NowMs(), std::memory_order_relaxed);
    return true;
  }

  void Walk() {
    Finder.ProcessMessages = [this] {
      LastMove.store(NowMs(), std::memory_order_relaxed);
      if (Cancelled.load(std::memory_order_relaxed)) Finder.CancelRequested = true;
    };
    Finder.OnEnterDirectory = [this] {
      LastMove.store(NowMs(), std::memory_order_relaxed);
      DirCopy.reset();
      DirCopied = false;
      const std::lock_guard lock(Mutex);
      Dir = Finder.CurrentDir();
    };
    // Once cancelled, the directories left are not opened: the walk runs out at once.
    Finder.DirectoryOpener = [this, open = std::move(Finder.DirectoryOpener)](int at_fd, const char* name) {
      if (Cancelled.load(std::memory_order_relaxed)) {
        errno = ECANCELED;
        return -1;
      }
      return open(at_fd, name);
    };
    Finder.OnListError = [this](const std::string& dir, int error) {
      if (!Cancelled) Push({dir, {}, nullptr, {}, error});
    };
    Finder.OnFind = [this](TFindFile& finder, const TFindData& data, const std::string& dir, bool& cancel) {
      if (!DirCopied) {
        DirCopy = DirectoryCopy::Of(finder.CurrentDirDescriptor());
        DirCopied = true;
      }
      Entry entry{dir + "/" + data.FileName, finder.CurrentNativeDir() + "/" + data.NativeFileName, DirCopy,
                  data.NativeFileName, 0};
      if (!Push(std::move(entry))) cancel = true;
    };
    for (const std::string& mask : Masks) {
      if (Cancelled) break;
      Finder.FileMask = mask;
      if (Finder.Run() != 0) break;
    }
    DirCopy.reset();
    {
      const std::lock_guard lock(Mutex);
      Ended = true;
    }
    Found.notify_all();
  }
};

std::shared_ptr<TWalkThread::Shared> TWalkThread::NewShared(const TFindFile& model, std::vector<std::string> file_masks) {
  auto shared = std::make_shared<Shared>();
  shared->Finder.CopySettingsFrom(model);
  shared->Masks = std::move(file_masks);
  shared->Dir = model.BaseDir();
  return shared;
}

TWalkThread::TWalkThread(const TFindFile& model, std::vector<std::string> file_masks)
    : shared_(NewShared(model, std::move(file_masks))), thread_([shared = shared_] {
        shared->Walk();
        return true;
      }) {}

TWalkThread::~TWalkThread() { Cancel(); }

bool TWalkThread::Take(std::deque<Entry>& entries, std::chrono::milliseconds wait) {
  Shared& s = *shared_;
  std::unique_lock lock(s.Mutex);
  if (s.Entries.empty() && !s.Ended && wait.count() > 0) {
    s.CallerWaiting = true;
    s.Found.wait_for(lock, wait, [&s] { return !s.Entries.empty() || s.Ended; });
    s.CallerWaiting = false;
  }
  if (s.Entries.empty()) return !s.Ended;
  if (entries.empty())
    entries.swap(s.Entries);
  else
    while (!s.Entries.empty()) {
      entries.push_back(std::move(s.Entries.front()));
      s.Entries.pop_front();
    }
  const bool wake = s.WalkWaiting;
  lock.unlock();
  if (wake) s.Room.notify_one();
  return true;
}

void TWalkThread::Cancel() {
  shared_->Cancelled = true;
  { const std::lock_guard lock(shared_->Mutex); }
  shared_->Room.notify_all();
}

std::string TWalkThread::CurrentDir() const {
  const std::lock_guard lock(shared_->Mutex);
  return shared_->Dir;
}

std::chrono::milliseconds TWalkThread::Stalled() const {
  {
    const std::lock_guard lock(shared_->Mutex);
    if (shared_->Ended || shared_->WalkWaiting) return std::chrono::milliseconds{0};
  }
  return std::chrono::milliseconds{NowMs() - shared_->LastMove.load(std::memory_order_relaxed)};
}

}  // namespace tarn::search

// One listing of a directory that can be gone over twice while the system is asked once: a tree
// walk reports a directory's files in a first pass and looks for its sub-directories in a
// second, and the second replays the records the first read. Beside it, the directories a walk
// keeps open to reach those found in them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tarn::search {

class DirListing {
 public:
  struct Entry {
    const char* Name;    // valid until the next call of Next or Rewind
    unsigned char Type;  // DT_DIR, DT_REG, DT_LNK, DT_UNKNOWN, ...
  };

  // Lists the open directory fd, which it closes unless released (-1: a directory that could
  // not be opened, with the system's error in open_error; the listing is then empty). buffer keeps the
  // records; a walk lends the same one to every directory, so that it grows once.
  DirListing(int fd, int open_error, std::vector<char>& buffer);
  ~DirListing();
  DirListing(const DirListing&) = delete;
  DirListing& operator=(const DirListing&) = delete;

  // False when the directory could not be opened: the listing is then empty.
  bool IsOpen() const noexcept { return fd_ >= 0; }
  int Descriptor() const noexcept { return fd_; }
  int OpenError() const noexcept { return open_error_; }
  // Hands the descriptor over to the caller, who closes it; the listing is closed then.
  int Release() noexcept;

  // The next entry in the order the system gives them, "." and ".." included. False at the end,
  // with error 0, or when the system failed, with its error code.
  bool Next(Entry& entry, int& error);

  // Starts again at the first entry. The records read so far are replayed when the directory
  // has not changed since it was opened; otherwise it is listed anew, as a second listing would
  // see it.
  void Rewind();

 private:
  struct Stamp {
    std::int64_t ChangeSeconds = 0;
    std::int64_t ChangeNanoseconds = 0;
    std::int64_t ModifySeconds = 0;
    std::int64_t ModifyNanoseconds = 0;
    std::uint64_t Inode = 0;
    std::uint64_t Links = 0;
    std::int64_t Size = 0;
    bool operator==(const Stamp&) const = default;
  };

  void Restart();
  bool ReadMore(int& error);
  bool StampNow(Stamp& stamp) const;

  std::vector<char>& buffer_;
  int fd_ = -1;
  int open_error_ = 0;
  Stamp opened_;
  bool stamped_ = false;
  std::size_t filled_ = 0;    // bytes of buffer_ that hold records
  std::size_t position_ = 0;  // offset of the next record
  bool ended_ = false;        // the system has no more records
};

// Opens a directory for listing: name in the open directory at_fd, or a path with AT_FDCWD.
// -1 with errno set when it cannot be opened.
int OpenDirectory(int at_fd, const char* name) noexcept;

// A copy of an open directory's descriptor, for files opened by name in it on another thread
// after the walk has moved on; closed with its last owner.
class DirectoryCopy {
 public:
  // Null when the system gives no more descriptors.
  static std::shared_ptr<const DirectoryCopy> Of(int dir_fd);
  explicit DirectoryCopy(int fd) noexcept : fd_(fd) {}
  ~DirectoryCopy();
  DirectoryCopy(const DirectoryCopy&) = delete;
  DirectoryCopy& operator=(const DirectoryCopy&) = delete;
  int Fd() const noexcept { return fd_; }

 private:
  int fd_;
};

// Descriptors of directories a walk has listed, kept so that the directories found in them are
// opened by name from there: one step whatever the length of their paths, which may exceed
// what the system opens along a path. The least recently used are closed past kKept.
class OpenDirectories {
 public:
  static constexpr std::size_t kKept = 64;

  OpenDirectories() = default;
  ~OpenDirectories() { Clear(); }
  OpenDirectories(const OpenDirectories&) = delete;
  OpenDirectories& operator=(const OpenDirectories&) = delete;

  // Takes fd over as the directory key.
  void Keep(std::size_t key, int fd);
  // The directory's descriptor, -1 when it is not kept.
  int Find(std::size_t key) noexcept;
  void Clear() noexcept;

 private:
  struct Kept {
    std::size_t Key;
    int Fd;
    std::uint64_t Used;
  };
  std::vector<Kept> kept_;
  std::uint64_t clock_ = 0;
};

}  // namespace tarn::search

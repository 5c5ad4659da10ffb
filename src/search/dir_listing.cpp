#include "search/dir_listing.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarn::search {
namespace {

// What one read of the system gives at most: the size the C library reads a directory with.
constexpr std::size_t kReadSize = 32768;

// Offsets of the fields of a record as the system writes it (struct linux_dirent64); read with
// memcpy, since the buffer holds bytes and no dirent objects.
constexpr std::size_t kInodeAt = offsetof(struct dirent64, d_ino);
constexpr std::size_t kLengthAt = offsetof(struct dirent64, d_reclen);
constexpr std::size_t kTypeAt = offsetof(struct dirent64, d_type);
constexpr std::size_t kNameAt = offsetof(struct dirent64, d_name);

}  // namespace

int OpenDirectory(int at_fd, const char* name) noexcept {
  int fd;
  do {
    fd = openat(at_fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

std::shared_ptr<const DirectoryCopy> DirectoryCopy::Of(int dir_fd) {
  const int copy = fcntl(dir_fd, F_DUPFD_CLOEXEC, 0);
  return copy >= 0 ? std::make_shared<const DirectoryCopy>(copy) : nullptr;
}

DirectoryCopy::~DirectoryCopy() { close(fd_); }

DirListing::DirListing(int fd, int open_error, std::vector<char>& buffer)
    : buffer_(buffer), fd_(fd), open_error_(fd >= 0 ? 0 : open_error) {
  stamped_ = fd_ >= 0 && StampNow(opened_);
}

DirListing::~DirListing() {
  if (fd_ >= 0) close(fd_);
}

int DirListing::Release() noexcept {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void DirListing::Restart() {
  filled_ = 0;
  position_ = 0;
  ended_ = false;
  stamped_ = lseek(fd_, 0, SEEK_SET) == 0 && StampNow(opened_);
  // A directory that cannot be listed again lists nothing more.
  if (!stamped_) ended_ = true;
}

bool DirListing::StampNow(Stamp& stamp) const {
  struct stat st {};
  if (fstat(fd_, &st) != 0) return false;
  stamp = {st.st_ctim.tv_sec, st.st_ctim.tv_nsec,
           st.st_mtim.tv_sec, st.st_mtim.tv_nsec,
           static_cast<std::uint64_t>(st.st_ino), static_cast<std::uint64_t>(st.st_nlink),
           static_cast<std::int64_t>(st.st_size)};
  return true;
}

bool DirListing::ReadMore(int& error) {
  if (buffer_.size() < filled_ + kReadSize) buffer_.resize(filled_ + kReadSize);
  const ssize_t got = getdents64(fd_, buffer_.data() + filled_, kReadSize);
  if (got > 0) {
    filled_ += static_cast<std::size_t>(got);
    return true;
  }
  ended_ = true;
  // A directory removed while it is listed ends its listing, as the C library has it.
  if (got < 0 && errno != ENOENT) error = errno;
  return false;
}

bool DirListing::Next(Entry& entry, int& error) {
  error = 0;
  if (fd_ < 0) return false;
  for (;;) {
    if (position_ == filled_ && (ended_ || !ReadMore(error))) return false;
    const char* record = buffer_.data() + position_;
    std::uint64_t inode = 0;
    std::uint16_t length = 0;
    std::memcpy(&inode, record + kInodeAt, sizeof inode);
    std::memcpy(&length, record + kLengthAt, sizeof length);
    position_ += length;
    // A record of a removed entry, which the C library skips too.
    if (inode == 0) continue;
    entry.Name = record + kNameAt;
    entry.Type = static_cast<unsigned char>(record[kTypeAt]);
    return true;
  }
}

void DirListing::Rewind() {
  if (fd_ < 0) return;
  Stamp now;
  if (stamped_ && StampNow(now) && now == opened_) {
    position_ = 0;
    return;
  }
  Restart();
}

void OpenDirectories::Keep(std::size_t key, int fd) {
  if (fd < 0) return;
  if (kept_.size() == kKept) {
    auto oldest = std::min_element(kept_.begin(), kept_.end(), [](const Kept& a, const Kept& b) { return a.Used < b.Used; });
    close(oldest->Fd);
    *oldest = kept_.back();
    kept_.pop_back();
  }
  kept_.push_back({key, fd, ++clock_});
}

int OpenDirectories::Find(std::size_t key) noexcept {
  for (Kept& kept : kept_) {
    if (kept.Key != key) continue;
    kept.Used = ++clock_;
    return kept.Fd;
  }
  return -1;
}

void OpenDirectories::Clear() noexcept {
  for (const Kept& kept : kept_) close(kept.Fd);
  kept_.clear();
}

}  // namespace tarn::search

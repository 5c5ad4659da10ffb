#include "search/dir_listing.h"

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

DirListing::DirListing(const std::string& native_dir, std::vector<char>& buffer)
    : native_dir_(native_dir.empty() ? "/" : native_dir), buffer_(buffer) {
  Open();
}

DirListing::~DirListing() { Close(); }

void DirListing::Open() {
  fd_ = open(native_dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  filled_ = 0;
  position_ = 0;
  ended_ = false;
  stamped_ = fd_ >= 0 && StampNow(opened_);
}

void DirListing::Close() noexcept {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
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
  Close();
  Open();
}

}  // namespace tarn::search

#include "core/data_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tarn {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::optional<std::string> ReadRegularFile(const std::filesystem::path& path, std::error_code& ec) {
  ec.clear();
  // O_NONBLOCK lets the open of a FIFO return at once, so the type check below can refuse it.
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) {
    ec.assign(errno, std::generic_category());
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    ec.assign(errno, std::generic_category());
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) {
    ec = std::make_error_code(std::errc::invalid_argument);
    return std::nullopt;
  }
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ec.assign(errno, std::generic_category());
      return std::nullopt;
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

bool IsRegularOrAbsent(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT;
  return S_ISREG(st.st_mode);
}

TAtomicFile::TAtomicFile(const std::filesystem::path& path, TLinkWrite links) {
  Aim(path, links);
  temp_ = target_ + ".XXXXXX";
  fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
  if (fd_ < 0) {
    temp_.clear();
    failed_ = true;
  }
}

void TAtomicFile::Aim(const std::filesystem::path& path, TLinkWrite links) {
  struct stat link {};
  const bool isLink = ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
  const bool follow = isLink && (links == TLinkWrite::lw_Follow || link.st_uid == ::geteuid());
  std::error_code ec;
  const std::filesystem::path resolved = follow ? std::filesystem::weakly_canonical(path, ec) : path;
  target_ = ec || resolved.empty() ? path.native() : resolved.native();
  // A link that is not followed is replaced, so the mode of whatever it points at is not taken.
  struct stat st {};
  mode_ = 0644;
  if (::lstat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode_ = st.st_mode & 07777;
}

TAtomicFile::~TAtomicFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty() && !committed_) ::unlink(temp_.c_str());
}

bool TAtomicFile::Write(std::string_view bytes) {
  while (!failed_ && !bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed_ = true;
    } else {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      written_ += n;
    }
  }
  // A large file goes to the disk while the rest of it is still being made, so that Commit's
  // sync waits for its last stretch only. Only a start: errors show at the sync.
  if (!failed_ && written_ - started_ >= kWriteBackStep) {
    ::sync_file_range(fd_, started_, written_ - started_, SYNC_FILE_RANGE_WRITE);
    started_ = written_;
  }
  return !failed_;
}

bool TAtomicFile::Commit() {
  if (failed_) return false;
  const bool synced = ::fchmod(fd_, static_cast<mode_t>(mode_)) == 0 && ::fsync(fd_) == 0;
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  committed_ = synced && closed && ::rename(temp_.c_str(), target_.c_str()) == 0;
  failed_ = !committed_;
  return committed_;
}

bool TAtomicFile::CommitAs(const std::filesystem::path& path, TLinkWrite links) {
  if (failed_) return false;
  Aim(path, links);
  return Commit();
}

bool ReplaceFile(const std::filesystem::path& path, std::string_view bytes, TLinkWrite links) {
  TAtomicFile file(path, links);
  return file.Write(bytes) && file.Commit();
}

std::string_view WithoutEndMark(std::string_view bytes) noexcept {
  if (!bytes.empty() && bytes.back() == '\x1A') bytes.remove_suffix(1);
  return bytes;
}

}  // namespace tarn

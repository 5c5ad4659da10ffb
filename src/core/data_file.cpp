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

}  // namespace tarn

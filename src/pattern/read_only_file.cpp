#include "pattern/read_only_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "pattern/txt_file.h"

namespace tarn::pattern {

std::string SystemErrorText(int error) {
  const char* text = strerrordesc_np(error);
  return text != nullptr ? text : "I/O error " + std::to_string(error);
}

int OpenReadOnly(const std::string& native_path) noexcept { return OpenReadOnly(AT_FDCWD, native_path.c_str()); }

int OpenReadOnly(int dir_fd, const char* native_path) noexcept {
  int fd;
  do {
    fd = openat(dir_fd, native_path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

ReadOnlyFile::ReadOnlyFile(const std::string& native_path) : fd_(OpenReadOnly(native_path)) {
  if (fd_ < 0) throw EFileNotFound(SystemErrorText(errno));
}

ReadOnlyFile::ReadOnlyFile(const std::string& native_path, std::nothrow_t) noexcept : fd_(OpenReadOnly(native_path)) {}

ReadOnlyFile::ReadOnlyFile(int dir_fd, const char* native_path, std::nothrow_t) noexcept
    : fd_(OpenReadOnly(dir_fd, native_path)) {}

ReadOnlyFile ReadOnlyFile::Rewound() const {
  ReadOnlyFile copy(fcntl(fd_, F_DUPFD_CLOEXEC, 0));
  if (copy.fd_ < 0 || lseek(copy.fd_, 0, SEEK_SET) != 0) throw EInOutError(SystemErrorText(errno));
  return copy;
}

ReadOnlyFile::~ReadOnlyFile() {
  if (fd_ >= 0) close(fd_);
}

std::size_t ReadOnlyFile::ReadUpTo(void* destination, std::size_t count, int& error) noexcept {
  auto* bytes = static_cast<char*>(destination);
  std::size_t got = 0;
  error = 0;
  while (got < count) {
    const ssize_t n = read(fd_, bytes + got, count - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      break;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

std::size_t ReadOnlyFile::Read(void* destination, std::size_t count) {
  int error = 0;
  const std::size_t got = ReadUpTo(destination, count, error);
  if (error != 0) throw EInOutError(SystemErrorText(error));
  return got;
}

std::size_t ReadOnlyFile::ReadAt(void* destination, std::size_t count, std::uint64_t offset) const {
  auto* bytes = static_cast<char*>(destination);
  std::size_t got = 0;
  while (got < count) {
    const ssize_t n = pread(fd_, bytes + got, count - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EInOutError(SystemErrorText(errno));
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

}  // namespace tarn::pattern

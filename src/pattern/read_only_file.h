// A file opened for the grep's readers: read-only, never waiting for a writer on a FIFO, read
// whole blocks at a time. Failures raise the reader's exceptions (txt_file.h) with the system's
// reason as the message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

namespace tarn::pattern {

// The system's text for an errno value.
std::string SystemErrorText(int error);

// open(2) as the readers open files; -1 (errno set) on failure. With dir_fd, a relative path
// is taken from that directory (openat(2)).
int OpenReadOnly(const std::string& native_path) noexcept;
int OpenReadOnly(int dir_fd, const char* native_path) noexcept;

class ReadOnlyFile {
 public:
  // Raises EFileNotFound when the file cannot be opened.
  explicit ReadOnlyFile(const std::string& native_path);
  // Leaves the file closed (IsOpen false, errno set) instead of raising.
  ReadOnlyFile(const std::string& native_path, std::nothrow_t) noexcept;
  ReadOnlyFile(int dir_fd, const char* native_path, std::nothrow_t) noexcept;
  // Takes over a descriptor opened elsewhere.
  static ReadOnlyFile Adopt(int fd) noexcept { return ReadOnlyFile(fd); }
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
  ReadOnlyFile(ReadOnlyFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  ReadOnlyFile& operator=(ReadOnlyFile&&) = delete;

  // The same open file once more, at its first byte: a second scan reads what the first read,
  // even when the path has gone or is too long to open. Both share one position, so they are
  // never read at once. Raises EInOutError.
  ReadOnlyFile Rewound() const;

  bool IsOpen() const noexcept { return fd_ >= 0; }
  int Descriptor() const noexcept { return fd_; }
  // Read from the current position / from offset until count bytes or the end of the file;
  // raise EInOutError when reading fails.
  std::size_t Read(void* destination, std::size_t count);
  std::size_t ReadAt(void* destination, std::size_t count, std::uint64_t offset) const;
  // Read without raising: the bytes got before the end of the file or a failure, whose errno
  // goes to error (0 when none).
  std::size_t ReadUpTo(void* destination, std::size_t count, int& error) noexcept;

 private:
  explicit ReadOnlyFile(int fd) noexcept : fd_(fd) {}

  int fd_;
};

}  // namespace tarn::pattern

// A file opened for the grep's readers: read-only, never waiting for a writer on a FIFO, read
// whole blocks at a time. Failures raise the reader's exceptions (txt_file.h) with the system's
// reason as the message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarn::pattern {

// The system's text for an errno value.
std::string SystemErrorText(int error);

// open(2) as the readers open files; -1 (errno set) on failure.
int OpenReadOnly(const std::string& native_path) noexcept;

class ReadOnlyFile {
 public:
  // Raises EFileNotFound when the file cannot be opened.
  explicit ReadOnlyFile(const std::string& native_path);
  ~ReadOnlyFile();
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  int Descriptor() const noexcept { return fd_; }
  // Read from the current position / from offset until count bytes or the end of the file;
  // raise EInOutError when reading fails.
  std::size_t Read(void* destination, std::size_t count);
  std::size_t ReadAt(void* destination, std::size_t count, std::uint64_t offset) const;

 private:
  int fd_;
};

}  // namespace tarn::pattern

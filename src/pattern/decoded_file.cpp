#include "pattern/decoded_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "core/cp932_decoder.h"
#include "pattern/txt_file.h"

namespace tarn::pattern {
namespace {

constexpr std::size_t kDecodeBlock = 1 << 18;

int OpenTemporaryFile() {
  const char* dir = std::getenv("TMPDIR");
  int fd = open(dir != nullptr && *dir != '\0' ? dir : "/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  // A file system without unnamed files: keep the text in memory instead.
  if (fd < 0) fd = memfd_create("tarn-decoded", MFD_CLOEXEC);
  if (fd < 0) throw EInOutError(SystemErrorText(errno));
  return fd;
}

void WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EInOutError(SystemErrorText(n < 0 ? errno : ENOSPC));
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

}  // namespace

ReadOnlyFile DecodedFile(ReadOnlyFile& file, std::string_view head, DetectedEncoding encoding, const bool& cancel,
                         const std::function<void()>& pump) {
  ReadOnlyFile decoded = ReadOnlyFile::Adopt(OpenTemporaryFile());
  TCp932Decoder decoder(encoding.Encoding);
  const auto in = std::make_unique_for_overwrite<char[]>(kDecodeBlock);
  const auto out = std::make_unique_for_overwrite<char[]>(2 * kDecodeBlock);
  head.remove_prefix(std::min(encoding.MarkLength, head.size()));
  std::size_t held = 0;  // a character cut by the block's end, moved to the front
  bool last = false;
  while (!last) {
    std::size_t got = 0;
    if (!head.empty()) {
      got = std::min(head.size(), kDecodeBlock - held);
      std::copy_n(head.data(), got, in.get() + held);
      head.remove_prefix(got);
    } else {
      got = file.Read(in.get() + held, kDecodeBlock - held);
      last = got < kDecodeBlock - held;
    }
    const std::size_t size = held + got;
    std::size_t written = 0;
    const std::size_t used = decoder.Decode(in.get(), size, last, out.get(), written);
    WriteAll(decoded.Descriptor(), out.get(), written);
    held = size - used;
    std::copy(in.get() + used, in.get() + size, in.get());
    if (pump) pump();
    if (cancel) throw EGrepCancel();
  }
  if (lseek(decoded.Descriptor(), 0, SEEK_SET) != 0) throw EInOutError(SystemErrorText(errno));
  return decoded;
}

}  // namespace tarn::pattern

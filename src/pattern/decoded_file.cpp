#include "pattern/decoded_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <unistd.h>

#include "core/cp932_decoder.h"
#include "pattern/fast_line_scan.h"
#include "pattern/txt_file.h"

namespace tarn::pattern {
namespace {

// A line longer than this many blocks is converted as it comes instead of being held to look
// for keys.
constexpr std::size_t kLongLineBlocks = 4;

int OpenTemporaryFile() {
  const char* dir = std::getenv("TMPDIR");
  int fd = open(dir != nullptr && *dir != '\0' ? dir : "/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  // A file system without unnamed files: keep the text in memory instead.
  if (fd < 0) fd = memfd_create("tarn-decoded", MFD_CLOEXEC);
  if (fd < 0) throw EInOutError(SystemErrorText(errno));
  return fd;
}

// Bytes not cleared before they are written: a block is filled by a read or a conversion, and
// clearing it first would cost as much as the search.
class Bytes {
 public:
  char* data() noexcept { return data_.get(); }
  std::size_t size() const noexcept { return size_; }
  // Room for extra more bytes after size(), which the caller fills and then adds with Resize.
  char* Room(std::size_t extra) {
    if (size_ + extra > capacity_) {
      capacity_ = std::max(2 * capacity_, size_ + extra);
      auto bigger = std::make_unique_for_overwrite<char[]>(capacity_);
      if (size_ > 0) std::memcpy(bigger.get(), data_.get(), size_);
      data_ = std::move(bigger);
    }
    return data_.get() + size_;
  }
  void Resize(std::size_t size) noexcept { size_ = size; }
  void DropFront(std::size_t count) noexcept {
    std::memmove(data_.get(), data_.get() + count, size_ - count);
    size_ -= count;
  }

 private:
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// The converted text on its way to the temporary file.
class Output {
 public:
  Output(int fd, std::size_t block_size) : fd_(fd), flush_at_(2 * block_size) { buffer_.Room(3 * block_size); }

  // Converts in (whole characters, or the file's last bytes when last) and returns how many
  // bytes were used.
  std::size_t Convert(TCp932Decoder& decoder, const char* in, std::size_t size, bool last) {
    std::size_t written = 0;
    const std::size_t used = decoder.Decode(in, size, last, buffer_.Room(2 * size), written);
    buffer_.Resize(buffer_.size() + written);
    FlushIfFull();
    return used;
  }
  void LineEnds(std::size_t count) {
    std::memset(buffer_.Room(count), '\n', count);
    buffer_.Resize(buffer_.size() + count);
    FlushIfFull();
  }
  void Flush() {
    const char* data = buffer_.data();
    std::size_t size = buffer_.size();
    while (size > 0) {
      const ssize_t n = write(fd_, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw EInOutError(SystemErrorText(n < 0 ? errno : ENOSPC));
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    buffer_.Resize(0);
  }

 private:
  void FlushIfFull() {
    if (buffer_.size() >= flush_at_) Flush();
  }

  int fd_;
  std::size_t flush_at_;
  Bytes buffer_;
};

bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }

// Converts the lines of [begin, end), which ends with a line end (or the file), that hold a key;
// the others become bare line ends.
void ConvertKeyLines(const char* begin, const char* end, const TLineKeyFinder& keys, TCp932Decoder& decoder, Output& out) {
  const char* done = begin;
  for (const char* p = begin; p < end;) {
    const char* key_end = keys.FindEnd(begin, p, end);
    if (key_end == nullptr) break;
    const char* start = key_end;
    while (start > done && !IsLineEnd(start[-1])) --start;
    out.LineEnds(CountLineEnds(done, start));
    const char* stop = key_end;
    while (stop < end && !IsLineEnd(*stop)) ++stop;
    if (stop < end) stop += (*stop == '\r' && stop + 1 < end && stop[1] == '\n') ? 2 : 1;
    out.Convert(decoder, start, static_cast<std::size_t>(stop - start), true);
    done = p = stop;
  }
  out.LineEnds(CountLineEnds(done, end));
}

}  // namespace

namespace {

std::vector<std::string> Tails(const std::vector<std::string>& keys) {
  if (keys.size() < 2) return {};
  std::vector<std::string> tails;
  for (const std::string& key : keys) tails.push_back(key.substr(key.size() - std::min<std::size_t>(key.size(), 2)));
  return tails;
}

}  // namespace

TLineKeyFinder::TLineKeyFinder(std::vector<std::string> keys, bool at_line_start)
    : keys_(std::move(keys)), at_line_start_(at_line_start), finder_(keys_.size() == 1 ? keys_[0] : std::string(), {}, Tails(keys_)) {}

const char* TLineKeyFinder::FindEnd(const char* begin, const char* p, const char* end) const noexcept {
  while (p < end) {
    const char* at = finder_.Find(p, end);
    if (at == nullptr) return nullptr;
    auto starts_line = [&](const char* key_start) {
      return !at_line_start_ || key_start == begin || IsLineEnd(key_start[-1]);
    };
    if (keys_.size() == 1) {
      if (starts_line(at)) return at + keys_[0].size();
    } else {
      for (const std::string& key : keys_) {
        const std::size_t tail = std::min<std::size_t>(key.size(), 2);
        const char* key_end = at + tail;
        if (key_end <= end && static_cast<std::size_t>(key_end - begin) >= key.size() &&
            std::memcmp(key_end - key.size(), key.data(), key.size()) == 0 && starts_line(key_end - key.size()))
          return key_end;
      }
    }
    p = at + 1;
  }
  return nullptr;
}

ReadOnlyFile DecodedFile(ReadOnlyFile& file, std::string_view head, DetectedEncoding encoding, const bool& cancel,
                         const std::function<void()>& pump, std::size_t block_size,
                         const TLineKeyFinder* line_keys) {
  block_size = std::max<std::size_t>(block_size, 1);
  ReadOnlyFile decoded = ReadOnlyFile::Adopt(OpenTemporaryFile());
  TCp932Decoder decoder(encoding.Encoding);
  Output out(decoded.Descriptor(), block_size);
  head.remove_prefix(std::min(encoding.MarkLength, head.size()));
  const bool filter = line_keys != nullptr && line_keys->Usable() && encoding.Encoding == FileEncoding::kUtf8;
  // Bytes read and not yet converted: a character cut by the block's end, or (filtering) the
  // line that goes on in the next block.
  Bytes pending;
  bool in_long_line = false;  // the current line is being converted as it comes
  bool last = false;
  while (!last) {
    char* const room = pending.Room(block_size);
    std::size_t got = 0;
    if (!head.empty()) {
      got = std::min(head.size(), block_size);
      std::memcpy(room, head.data(), got);
      head.remove_prefix(got);
    } else {
      got = file.Read(room, block_size);
      last = got < block_size;
    }
    pending.Resize(pending.size() + got);
    const char* const data = pending.data();
    const std::size_t size = pending.size();
    std::size_t used = 0;
    if (!filter) {
      used = out.Convert(decoder, data, size, last);
    } else {
      if (in_long_line) {
        // The long line's rest, up to its end.
        const char* stop = std::find_if(data, data + size, IsLineEnd);
        if (stop < data + size || last) {
          in_long_line = false;
          used = out.Convert(decoder, data, static_cast<std::size_t>(stop - data), true);
        } else {
          used = out.Convert(decoder, data, size, false);
        }
      }
      if (!in_long_line) {
        // Whole lines only: up to the last line end that is surely whole (a CR at the end may
        // be the first half of a CR LF).
        std::size_t whole = size;
        if (!last) {
          whole = used;
          for (std::size_t i = size; i > used; --i)
            if (data[i - 1] == '\n' || (data[i - 1] == '\r' && i < size)) {
              whole = i;
              break;
            }
        }
        ConvertKeyLines(data + used, data + whole, *line_keys, decoder, out);
        used = whole;
        if (size - used > kLongLineBlocks * block_size) {
          in_long_line = true;
          used += out.Convert(decoder, data + used, size - used, false);
        }
      }
    }
    pending.DropFront(used);
    if (pump) pump();
    if (cancel) throw EGrepCancel();
  }
  out.Flush();
  if (lseek(decoded.Descriptor(), 0, SEEK_SET) != 0) throw EInOutError(SystemErrorText(errno));
  return decoded;
}

ReadOnlyFile DecodedFileFromStart(ReadOnlyFile& file, FileEncoding encoding, std::size_t block_size) {
  char head[3];
  const std::size_t got = file.Read(head, sizeof head);
  const std::string_view head_text(head, got);
  const auto mark = EncodingByMark(head_text);
  const bool marked = mark && mark->Encoding == encoding;
  const bool never = false;
  return DecodedFile(file, head_text, {encoding, marked ? mark->MarkLength : 0}, never, {}, block_size);
}

}  // namespace tarn::pattern

// A file in another encoding than CP932, converted for the scans: its text in CP932 written to an
// unnamed temporary file, block by block, so that every scan (also those that read a file by
// offset and read lines back) reads it as it reads a CP932 file, and memory holds about one block
// whatever the file's size. Line ends stay where they were, so line numbers are the file's own.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/file_encoding.h"
#include "pattern/fast_line_scan.h"
#include "pattern/read_only_file.h"

namespace tarn::pattern {

// Converts file from the encoding given, head being the bytes read from it already (the file
// stands behind them). The result stands at its first byte. pump runs and cancel is tested after
// every block (EGrepCancel); a file that cannot be read or a temporary file that cannot be
// written raises EInOutError.
//
// block_size: bytes read at a time. With line_keys (byte strings of the file's own encoding, UTF-8 only, without line ends), only
// the lines that hold one of them are converted; every other line is left empty, its line end
// kept. That gives a scan the same lines, numbers and texts when every match of its pattern lies
// in one line and holds one of the keys, at the cost of finding the keys.
// Line keys: byte strings of a file's own encoding, one of which every line that can match holds
// (without line ends); one is found as a whole, several by their last two bytes, each place
// then checked for a whole key ending there. With at_line_start, only a key that begins a line
// counts (a pattern whose every match is a line beginning with the key).
class TLineKeyFinder {
 public:
  TLineKeyFinder(std::vector<std::string> keys, bool at_line_start);
  bool Usable() const noexcept { return !keys_.empty() && keys_.size() <= TCharacterKeys::kMax; }
  // The first place in [p, end) where a key ends, as the byte after it; nullptr when none. A
  // key may begin from begin on.
  const char* FindEnd(const char* begin, const char* p, const char* end) const noexcept;
  bool HeldBy(std::string_view text) const noexcept {
    return FindEnd(text.data(), text.data(), text.data() + text.size()) != nullptr;
  }

 private:
  std::vector<std::string> keys_;
  bool at_line_start_;
  TByteFinder finder_;
};

ReadOnlyFile DecodedFile(ReadOnlyFile& file, std::string_view head, DetectedEncoding encoding, const bool& cancel,
                         const std::function<void()>& pump, std::size_t block_size,
                         const TLineKeyFinder* line_keys = nullptr);

// The same for a file read again later (context lines, a preview), standing at its first byte:
// its byte-order mark, when it has the one of its encoding, is skipped.
ReadOnlyFile DecodedFileFromStart(ReadOnlyFile& file, FileEncoding encoding, std::size_t block_size);

}  // namespace tarn::pattern

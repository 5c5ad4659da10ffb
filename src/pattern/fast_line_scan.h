// TFastLineScan: the file grep's fast path for patterns whose matches stay inside one line. It
// reads the file block by block into one buffer and decides line by line, with every start
// position of a line tried at once by a lazily built byte automaton (TLineDFA); lines that lack
// a byte string every match must hold are skipped with memchr and counted without being
// decoded. It reports exactly the lines, numbers and texts of the character-by-character scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pattern/dfa.h"
#include "pattern/line_dfa.h"
#include "pattern/read_only_file.h"
#include "pattern/txt_file.h"

namespace tarn::pattern {

// Number of line ends (LF, CR LF, lone CR) in [begin, end); a CR as the last byte counts.
std::size_t CountLineEnds(const char* begin, const char* end) noexcept;

// Where the bytes of needle start in [begin, end), or nullptr. Compares 16 places at a time on
// the needle's two rarest bytes, then the whole needle where both agree.
// Without a needle, finds the first of a few single bytes (any_of) instead; with neither it finds
// nothing and is not Active.
// A few characters to look for by their bytes.
struct TCharacterKeys {
  static constexpr std::size_t kMax = 8;
  std::size_t count = 0;
  unsigned char first[kMax] = {};
  unsigned char second[kMax] = {};
  bool two_bytes[kMax] = {};
};

class TByteFinder {
 public:
  // characters (one or two bytes each, at most TCharacterKeys::kMax), when given, are searched
  // instead of any_of: as byte pairs they give far fewer false candidates.
  explicit TByteFinder(std::string needle, std::string any_of = {}, const std::vector<std::string>& characters = {});
  const char* Find(const char* begin, const char* end) const noexcept;
  bool Active() const noexcept { return !needle_.empty() || !any_of_.empty() || characters_.count > 0; }
  const std::string& Needle() const noexcept { return needle_; }

 private:
  std::string needle_;
  std::string any_of_;
  TCharacterKeys characters_;
  std::size_t anchor_ = 0;  // index of the rarest byte
  std::size_t second_ = 0;  // index of the next rarest
};

class TFastLineScan {
 public:
  using Report = std::function<void(RE_LineInfo_t line_info)>;

  // Null when the pattern's matches can run across a line end. The automaton must outlive it.
  static std::unique_ptr<TFastLineScan> For(const TRE_DFA& dfa);
  explicit TFastLineScan(const TRE_DFA& dfa);

  // Greps one file. Returns false, having reported only lines before it, when a line ends right
  // after a lead byte: the character-by-character scan reads such a line end as a trail byte, so
  // only it can tell what follows. Raises as TTxtFile does (EFileNotFound, EInOutError,
  // EGrepCancel); pump and cancel are called and tested after every block and before every
  // reported line.
  bool Scan(const std::string& native_path, std::size_t block_size, const bool& cancel,
            const std::function<void()>& pump, const Report& report);
  // The same on a file opened already. When first_block is given, the file's first that many
  // bytes are in Buffer(block_size) already and the file stands behind them.
  bool Scan(ReadOnlyFile& file, std::size_t block_size, std::optional<std::size_t> first_block,
            const bool& cancel, const std::function<void()>& pump, const Report& report);
  // The block buffer, kept from file to file.
  char* Buffer(std::size_t block_size);

  const TRE_DFA& DFA() const noexcept { return dfa_; }

 private:
  const TRE_DFA& dfa_;
  TLineDFA line_dfa_;
  TByteFinder finder_;
  std::string line_start_literal_;  // LineStartLiteral of the pattern
  std::unique_ptr<char[]> buffer_;
  std::size_t buffer_size_ = 0;
};

}  // namespace tarn::pattern

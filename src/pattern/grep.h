// TGrep: the file grep. It runs the compiled pattern over the character stream of one file
// (TTxtFile) and reports every line that holds a match once, through OnMatch. "^" and "$" read
// as the line feed of the stream, so they match at line ends, and before the first line.
// The character-by-character scans (ScanAutomaton, ScanLiteral) define the result; Grep gets
// the same result faster from the fast line scan when matches stay in their lines, and from the
// exact scan (TCrossLineScan) for every other pattern.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/cross_line_scan.h"
#include "pattern/decoded_file.h"
#include "pattern/fast_line_scan.h"
#include "pattern/regular_expression.h"
#include "pattern/txt_file.h"

namespace tarn::pattern {

class TGrep : public TRegularExpression {
 public:
  using TGrepOnMatch = std::function<void(TGrep& sender, RE_LineInfo_t line_info)>;

  // Attaches the fuzzy-character dictionary, as the string matcher does.
  TGrep();

  void AssignPattern(std::string_view value) override;
  RE_Char_t LineHeadSymbol() const override { return 10; }
  RE_Char_t LineTailSymbol() const override { return 10; }

  // Searches one file (its name as the system stores it). Raises EGrepCancel when Cancel is
  // found set, EFileNotFound when the file cannot be opened, EInOutError when it cannot be read.
  void Grep(const std::string& native_path);
  // IsTextFile and, when it holds, Grep, with the file opened and its head read once. False,
  // with nothing reported, when the file is no text file; raises as Grep does. The head also
  // tells the file's encoding (as Encoding says): a file in another encoding than CP932 is
  // searched converted to CP932, its lines reported with Offset -1 and their Encoding, and a
  // UTF-16 file is text although it holds NULs.
  bool GrepIfText(const std::string& native_path);
  // The same, the file opened as name in the open directory dir_fd, which saves the system a
  // walk along the path; native_path must name the same file.
  bool GrepIfText(const std::string& native_path, int dir_fd, const std::string& name);
  // Why the last GrepIfText found no text file: the system's error when the file could not be
  // opened or its head not read, 0 when it was read and is no text (or when it was searched).
  int TextTestError() const noexcept { return text_test_error_; }

  // True when the pattern is a plain string, matched by comparing character codes.
  bool UsesLiteralScan() const noexcept { return literal_scan_; }
  // True when Grep takes the fast line scan for the current pattern (unless forced off).
  bool UsesFastScan() const noexcept { return fast_ != nullptr; }

  TGrepOnMatch OnMatch;
  bool Cancel = false;
  // Lets pending window messages run after every block and before every reported line.
  std::function<void()> ProcessMessages;
  // Bytes read per block.
  std::size_t BlockSize = TTxtFile::kDefaultBlockSize;
  // Makes Grep use the character-by-character scans, the definition the other scans must match.
  bool ForceReferenceScan = false;
  // How GrepIfText decides a file's encoding.
  FileEncodingChoice Encoding = FileEncodingChoice::kAuto;

 protected:
  void ScanLiteral(const std::string& native_path);
  void ScanAutomaton(const std::string& native_path);

 private:
  // The file a scan reads: Open when the caller has it open, so that a second scan reads the
  // file the first one read, whatever became of its path meanwhile (renamed, removed, or too
  // long to be opened along); else NativePath.
  struct Source {
    const std::string& NativePath;
    const ReadOnlyFile* Open = nullptr;
  };

  void GrepByReference(const Source& source);
  void ScanLiteralOf(const Source& source);
  void ScanAutomatonOf(const Source& source);
  // The exact scan of any pattern; the first skip lines it finds are not reported again.
  void GrepExactly(const Source& source, std::size_t skip);
  // The fast scan of an open file (first_block as TFastLineScan::Scan takes it), then the exact
  // scan when the fast one cannot finish.
  void ScanFast(const std::string& native_path, ReadOnlyFile& file, std::optional<std::size_t> first_block);
  bool GrepIfText(const std::string& native_path, ReadOnlyFile& file, int open_error);
  // Greps a file open at its first byte (a text file already); the fast scan when it applies.
  void GrepOpen(const std::string& native_path, ReadOnlyFile& file, bool fast);
  // Greps the file converted from its encoding; file stands behind head, which is all of it
  // when whole_file.
  void GrepDecoded(const std::string& native_path, ReadOnlyFile& file, std::string_view head,
                   DetectedEncoding encoding, bool fast, bool whole_file);
  // The fast scan of a whole file converted in memory; false when it fits no block.
  bool ScanFastInMemory(std::string_view head, DetectedEncoding encoding);
  // The keys a converted UTF-8 file need only keep the lines of, for the fast scan; null when
  // the pattern has none that UTF-8 spells one way only.
  const TLineKeyFinder* Utf8LineKeys();

  bool literal_scan_ = false;
  int text_test_error_ = 0;
  std::unique_ptr<TFastLineScan> fast_;
  std::unique_ptr<TCrossLineScan> cross_;
  std::unique_ptr<char[]> head_;  // the head when no block of the fast scan takes it
  std::string converted_;  // a small file converted whole
  // Byte strings one of which every match holds in its line, as the fast scan looks for them.
  std::vector<std::string> line_keys_;
  bool line_keys_at_line_start_ = false;
  std::optional<std::unique_ptr<TLineKeyFinder>> utf8_line_keys_;  // made on first use
};

}  // namespace tarn::pattern

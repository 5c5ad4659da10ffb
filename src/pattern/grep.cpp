#include "pattern/grep.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "core/cp932_decoder.h"
#include "pattern/fuzzy_char_dic.h"
#include "pattern/line_pattern_analysis.h"

namespace tarn::pattern {
namespace {

// The character codes of a literal pattern, read from its automaton: a chain of states with one
// single-code move each, ending in the accepting state. Reading codes off the automaton, not
// decoding LiteralText, keeps codes that have no text of their own (such as «\x1234»).
std::optional<std::vector<RE_Char_t>> LiteralCodes(const TRE_DFA& dfa) {
  std::vector<RE_Char_t> codes;
  RE_DFAState state = dfa.InitialState();
  for (std::size_t steps = 0; steps <= dfa.StateCount(); ++steps) {
    if (dfa.Accepting(state)) return codes;
    const auto moves = dfa.Transitions(state);
    if (moves.size() != 1 || moves[0].Low != moves[0].High) return std::nullopt;
    codes.push_back(moves[0].Low);
    state = moves[0].Target;
  }
  return std::nullopt;
}

ReadOnlyFile OpenForScan(const std::string& native_path, const ReadOnlyFile* open) {
  return open != nullptr ? open->Rewound() : ReadOnlyFile(native_path);
}

}  // namespace

TGrep::TGrep() { FuzzyCharDicList().push_back(&FuzzyCharDic()); }

void TGrep::AssignPattern(std::string_view value) {
  fast_.reset();
  cross_.reset();
  TRegularExpression::AssignPattern(value);
  literal_scan_ = IsLiteral();
  const TRE_DFA& dfa = CurrentDFA();
  fast_ = TFastLineScan::For(dfa);
  cross_ = std::make_unique<TCrossLineScan>(dfa);
  line_keys_.clear();
  utf8_line_keys_.reset();
  line_keys_at_line_start_ = false;
  if (fast_) {
    if (std::string text = LineStartLiteral(dfa); !text.empty()) {
      line_keys_.push_back(std::move(text));
      line_keys_at_line_start_ = true;
    } else if (std::string needle = RequiredBytes(dfa); !needle.empty())
      line_keys_.push_back(std::move(needle));
    else
      line_keys_ = FirstCharacters(dfa, TCharacterKeys::kMax);
  }
}

void TGrep::GrepByReference(const Source& source) {
  if (literal_scan_)
    ScanLiteralOf(source);
  else
    ScanAutomatonOf(source);
}

void TGrep::Grep(const std::string& native_path) {
  if (ForceReferenceScan || !OnMatch) {
    GrepByReference({native_path});
    return;
  }
  if (fast_ && &fast_->DFA() == &CurrentDFA()) {
    Cancel = false;
    ReadOnlyFile file(native_path);
    ScanFast(native_path, file, std::nullopt);
    return;
  }
  GrepExactly({native_path}, 0);
}

bool TGrep::GrepIfText(const std::string& native_path) {
  ReadOnlyFile file(native_path, std::nothrow);
  return GrepIfText(native_path, file, file.IsOpen() ? 0 : errno);
}

bool TGrep::GrepIfText(const std::string& native_path, int dir_fd, const std::string& name) {
  ReadOnlyFile file(dir_fd, name.c_str(), std::nothrow);
  return GrepIfText(native_path, file, file.IsOpen() ? 0 : errno);
}

bool TGrep::GrepIfText(const std::string& native_path, ReadOnlyFile& file, int open_error) {
  text_test_error_ = open_error;
  if (!file.IsOpen()) return false;
  struct stat st {};
  if (fstat(file.Descriptor(), &st) != 0) {
    text_test_error_ = errno;
    return false;
  }
  if (!S_ISREG(st.st_mode)) return false;
  const std::size_t block_size = std::max<std::size_t>(BlockSize, 1);
  const bool fast = !ForceReferenceScan && OnMatch && fast_ && &fast_->DFA() == &CurrentDFA();
  // The encoding is told from a longer head than the text test needs; both see the same bytes
  // whichever scan follows.
  const std::size_t head_size = Encoding == FileEncodingChoice::kCp932 ? kTextTestBytes : kEncodingTestBytes;
  // Only the fast scan takes a block read already; the others read the file themselves.
  const bool head_in_block = fast && block_size >= head_size;
  char* head = nullptr;
  int error = 0;
  std::size_t got = 0;
  if (head_in_block) {
    head = fast_->Buffer(block_size);
    got = file.ReadUpTo(head, block_size, error);
    // The text test reads the head alone: a failure behind it is the grep's to report.
    if (error != 0 && got < kTextTestBytes) {
      text_test_error_ = error;
      return false;
    }
  } else {
    if (!head_) head_ = std::make_unique_for_overwrite<char[]>(kEncodingTestBytes);
    head = head_.get();
    got = file.ReadUpTo(head, head_size, error);
    text_test_error_ = error;
    if (error != 0) return false;
  }
  const std::string_view head_text(head, std::min(got, head_size));
  const bool whole_file = error == 0 && got < (head_in_block ? block_size : head_size);
  const DetectedEncoding encoding = ChosenFileEncoding(Encoding, head_text, whole_file);
  const bool utf16 = encoding.Encoding == FileEncoding::kUtf16Le || encoding.Encoding == FileEncoding::kUtf16Be;
  if (!utf16 && std::memchr(head, 0, std::min(got, kTextTestBytes)) != nullptr) return false;
  Cancel = false;
  if (error != 0) throw EInOutError(SystemErrorText(error));
  if (encoding.Encoding != FileEncoding::kCp932) {
    GrepDecoded(native_path, file, std::string_view(head, got), encoding, fast, whole_file);
  } else if (head_in_block) {
    ScanFast(native_path, file, got);
  } else {
    if (lseek(file.Descriptor(), 0, SEEK_SET) != 0) throw EInOutError(SystemErrorText(errno));
    GrepOpen(native_path, file, fast);
  }
  return true;
}

void TGrep::GrepOpen(const std::string& native_path, ReadOnlyFile& file, bool fast) {
  if (fast) {
    ScanFast(native_path, file, std::nullopt);
    return;
  }
  const Source source{native_path, &file};
  if (ForceReferenceScan || !OnMatch)
    GrepByReference(source);
  else
    GrepExactly(source, 0);
}

void TGrep::GrepDecoded(const std::string& native_path, ReadOnlyFile& file, std::string_view head,
                        DetectedEncoding encoding, bool fast, bool whole_file) {
  // Offsets in the converted text lead nowhere in the file itself.
  TGrepOnMatch handler = std::move(OnMatch);
  if (handler) {
    OnMatch = [&handler, &encoding](TGrep& sender, RE_LineInfo_t line_info) {
      line_info.Offset = -1;
      line_info.Encoding = encoding.Encoding;
      handler(sender, std::move(line_info));
    };
  }
  try {
    // A small file is converted in memory; a larger one to a temporary file, of whose lines only
    // those that can match are converted where the fast scan looks for keys.
    if (!(fast && whole_file && ScanFastInMemory(head, encoding))) {
      ReadOnlyFile decoded = DecodedFile(file, head, encoding, Cancel, ProcessMessages, BlockSize,
                                         fast && encoding.Encoding == FileEncoding::kUtf8 ? Utf8LineKeys() : nullptr);
      GrepOpen(native_path, decoded, fast);
    }
  } catch (...) {
    OnMatch = std::move(handler);
    throw;
  }
  OnMatch = std::move(handler);
}

bool TGrep::ScanFastInMemory(std::string_view head, DetectedEncoding encoding) {
  const std::size_t block_size = std::max<std::size_t>(BlockSize, 1);
  head.remove_prefix(std::min(encoding.MarkLength, head.size()));
  // The conversion is at most twice as long: it must fit the block with room to tell it ends.
  if (2 * head.size() >= block_size) return false;
  // A UTF-8 file without the pattern's keys has no line to report: nothing to convert.
  if (encoding.Encoding == FileEncoding::kUtf8)
    if (const TLineKeyFinder* keys = Utf8LineKeys(); keys != nullptr && !keys->HeldBy(head)) return true;
  converted_.resize(2 * head.size());
  std::size_t size = 0;
  TCp932Decoder(encoding.Encoding).Decode(head.data(), head.size(), true, converted_.data(), size);
  char* const block = fast_->Buffer(block_size);
  std::memcpy(block, converted_.data(), size);
  // The final line end the readers give a file anyway: the scan then never reads its last line
  // back from a file, for there is none. The block is all of the text.
  if (size > 0 && block[size - 1] != '\n') block[size++] = '\n';
  ReadOnlyFile none = ReadOnlyFile::Adopt(-1);
  const bool done = fast_->Scan(none, block_size, size, Cancel, ProcessMessages,
                                [&](RE_LineInfo_t line_info) { OnMatch(*this, std::move(line_info)); });
  // Converted text never has a line end inside a character, which alone stops the fast scan.
  if (!done) throw EInOutError("converted text broke the fast scan");
  return true;
}

const TLineKeyFinder* TGrep::Utf8LineKeys() {
  if (utf8_line_keys_) return utf8_line_keys_->get();
  std::vector<std::string> keys;
  for (const std::string& key : line_keys_) {
    auto utf8 = Cp932ToUtf8Unique(key);
    if (!utf8 || utf8->empty() || utf8->find_first_of("\r\n") != std::string::npos) {
      keys.clear();
      break;
    }
    keys.push_back(std::move(*utf8));
  }
  auto finder = std::make_unique<TLineKeyFinder>(std::move(keys), line_keys_at_line_start_);
  utf8_line_keys_ = finder->Usable() ? std::move(finder) : nullptr;
  return utf8_line_keys_->get();
}

void TGrep::ScanFast(const std::string& native_path, ReadOnlyFile& file, std::optional<std::size_t> first_block) {
  std::size_t reported = 0;
  const bool done = fast_->Scan(file, BlockSize, first_block, Cancel, ProcessMessages, [&](RE_LineInfo_t line_info) {
    ++reported;
    OnMatch(*this, std::move(line_info));
  });
  // A line end inside a character: the exact scan goes over the file again, and the lines the
  // fast scan reported already are not reported twice.
  if (!done) GrepExactly({native_path, &file}, reported);
}

void TGrep::GrepExactly(const Source& source, std::size_t skip) {
  if (cross_ && &cross_->DFA() == &CurrentDFA()) {
    Cancel = false;
    auto report = [&](RE_LineInfo_t line_info) {
      if (skip > 0)
        --skip;
      else
        OnMatch(*this, std::move(line_info));
    };
    const bool done = source.Open != nullptr
                          ? cross_->Scan(*source.Open, BlockSize, Cancel, ProcessMessages, report)
                          : cross_->Scan(source.NativePath, BlockSize, Cancel, ProcessMessages, report);
    if (done) return;
  }
  // No regular file (a FIFO, a device): read as a stream, character by character.
  TGrepOnMatch handler = std::move(OnMatch);
  OnMatch = [&handler, &skip](TGrep& sender, RE_LineInfo_t line_info) {
    if (skip > 0)
      --skip;
    else
      handler(sender, std::move(line_info));
  };
  try {
    GrepByReference(source);
  } catch (...) {
    OnMatch = std::move(handler);
    throw;
  }
  OnMatch = std::move(handler);
}

void TGrep::ScanAutomaton(const std::string& native_path) { ScanAutomatonOf(Source{native_path}); }

void TGrep::ScanLiteral(const std::string& native_path) { ScanLiteralOf(Source{native_path}); }

void TGrep::ScanAutomatonOf(const Source& source) {
  if (!OnMatch) return;
  Cancel = false;
  const TRE_DFA& dfa = CurrentDFA();
  const RE_DFAState initial = dfa.InitialState();
  try {
    TTxtFile file(OpenForScan(source.NativePath, source.Open), Cancel, ProcessMessages, BlockSize);
    for (;;) {
      RE_DFAState state = dfa.NextState(initial, file.ReadChar());
      while (state != kNoState) {
        if (dfa.Accepting(state)) {
          RE_LineInfo_t line_info;
          file.ReadLine(line_info);
          OnMatch(*this, std::move(line_info));
          break;
        }
        state = dfa.NextState(state, file.ReadAheadChar());
      }
    }
  } catch (const EEndOfFile&) {
    // The end of the stream (or an empty file) ends the scan.
  }
}

void TGrep::ScanLiteralOf(const Source& source) {
  Cancel = false;
  const auto codes = LiteralCodes(CurrentDFA());
  // The empty string goes the automaton's way: it reads the file and reports no empty match.
  if (!codes || codes->empty()) {
    ScanAutomatonOf(source);
    return;
  }
  if (!OnMatch) return;
  const std::vector<RE_Char_t>& k = *codes;
  try {
    TTxtFile file(OpenForScan(source.NativePath, source.Open), Cancel, ProcessMessages, BlockSize);
    for (;;) {
      RE_Char_t c = file.ReadChar();
      for (std::size_t i = 0; c == k[i];) {
        if (++i == k.size()) {
          RE_LineInfo_t line_info;
          file.ReadLine(line_info);
          OnMatch(*this, std::move(line_info));
          break;
        }
        c = file.ReadAheadChar();
      }
    }
  } catch (const EEndOfFile&) {
  }
}

}  // namespace tarn::pattern

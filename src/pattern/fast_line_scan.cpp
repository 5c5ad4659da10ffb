#include "pattern/fast_line_scan.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define TARN_AVX2 1
#endif

#include "pattern/line_pattern_analysis.h"
#include "pattern/read_only_file.h"

namespace tarn::pattern {
namespace {

// A line end right after a lead byte: only the character-by-character scan can take it.
struct BrokenLineEnd {};

#ifdef TARN_AVX2
// 32-byte versions of the loops below, used when the processor has them. Each goes as far as
// whole 32-byte steps allow and leaves the rest to the 16-byte and byte loops.
// TARN_NO_AVX2=1 keeps the 16-byte loops, so that tests cover them on any processor.
bool HasAvx2() noexcept {
  static const bool has = __builtin_cpu_supports("avx2") && std::getenv("TARN_NO_AVX2") == nullptr;
  return has;
}

// Lead bytes are 0x81-0x9F and 0xE0-0xFC; flipping bit 5 makes them the one range 0xA1-0xDC.
__attribute__((target("avx2"))) __m256i IsLeadRange32(__m256i v) noexcept {
  const __m256i flipped = _mm256_xor_si256(v, _mm256_set1_epi8(0x20));
  const __m256i offset = _mm256_sub_epi8(flipped, _mm256_set1_epi8(static_cast<char>(0xA1)));
  return _mm256_cmpeq_epi8(_mm256_subs_epu8(offset, _mm256_set1_epi8(0xDC - 0xA1)), _mm256_setzero_si256());
}

// The sum of the 32 byte counters.
__attribute__((target("avx2"))) std::size_t SumOfBytes32(__m256i counts) noexcept {
  const __m256i sums = _mm256_sad_epu8(counts, _mm256_setzero_si256());
  return static_cast<std::size_t>(_mm256_extract_epi64(sums, 0) + _mm256_extract_epi64(sums, 1) +
                                  _mm256_extract_epi64(sums, 2) + _mm256_extract_epi64(sums, 3));
}

// Stops before the first 32 bytes that hold a line end right after a lead-range byte.
__attribute__((target("avx2"))) const char* SkipCleanLineEnds32(const char* p, const char* end) noexcept {
  const __m256i lf = _mm256_set1_epi8('\n');
  const __m256i cr = _mm256_set1_epi8('\r');
  for (; end - p >= 32; p += 32) {
    const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p - 1));
    const __m256i line_end = _mm256_or_si256(_mm256_cmpeq_epi8(here, lf), _mm256_cmpeq_epi8(here, cr));
    if (_mm256_movemask_epi8(_mm256_and_si256(line_end, IsLeadRange32(before))) != 0) break;
  }
  return p;
}

__attribute__((target("avx2"))) std::size_t CountLineEnds32(const char*& p, const char* end) noexcept {
  const __m256i lf = _mm256_set1_epi8('\n');
  const __m256i cr = _mm256_set1_epi8('\r');
  const __m256i zero = _mm256_setzero_si256();
  std::size_t n = 0;
  while (end - p >= 33) {
    __m256i counts = zero;
    for (int k = 0; k < 255 && end - p >= 33; ++k, p += 32) {
      const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
      const __m256i is_lf = _mm256_cmpeq_epi8(here, lf);
      const __m256i lone_cr = _mm256_andnot_si256(_mm256_cmpeq_epi8(next, lf), _mm256_cmpeq_epi8(here, cr));
      counts = _mm256_sub_epi8(counts, _mm256_or_si256(is_lf, lone_cr));
    }
    n += SumOfBytes32(counts);
  }
  return n;
}

// CountLineEnds and HasLineEndAfterLeadByte in one pass over whole 32-byte steps from p (which
// is after the region's first byte); sets suspect when some step held a line end right after a
// lead-range byte.
__attribute__((target("avx2"))) std::size_t CountAndCheck32(const char*& p, const char* end, bool& suspect) noexcept {
  const __m256i lf = _mm256_set1_epi8('\n');
  const __m256i cr = _mm256_set1_epi8('\r');
  const __m256i zero = _mm256_setzero_si256();
  std::size_t n = 0;
  __m256i flagged = zero;
  while (end - p >= 33) {
    __m256i counts = zero;
    for (int k = 0; k < 255 && end - p >= 33; ++k, p += 32) {
      const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
      const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p - 1));
      const __m256i is_lf = _mm256_cmpeq_epi8(here, lf);
      const __m256i is_cr = _mm256_cmpeq_epi8(here, cr);
      const __m256i lone_cr = _mm256_andnot_si256(_mm256_cmpeq_epi8(next, lf), is_cr);
      counts = _mm256_sub_epi8(counts, _mm256_or_si256(is_lf, lone_cr));
      flagged = _mm256_or_si256(flagged, _mm256_and_si256(_mm256_or_si256(is_lf, is_cr), IsLeadRange32(before)));
    }
    n += SumOfBytes32(counts);
  }
  suspect = _mm256_movemask_epi8(flagged) != 0;
  return n;
}

// Candidates 32 at a time on two bytes of the needle; p is left where the search stopped.
__attribute__((target("avx2"))) const char* FindPair32(const char*& p, const char* last, const std::string& needle,
                                                       std::size_t first, std::size_t second) noexcept {
  const __m256i a_key = _mm256_set1_epi8(needle[first]);
  const __m256i b_key = _mm256_set1_epi8(needle[second]);
  for (; last - p >= 31; p += 32) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + first));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + second));
    auto mask = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(a, a_key), _mm256_cmpeq_epi8(b, b_key))));
    while (mask != 0) {
      const char* start = p + __builtin_ctz(mask);
      if (std::memcmp(start, needle.data(), needle.size()) == 0) return start;
      mask &= mask - 1;
    }
  }
  return nullptr;
}

// Candidates 32 at a time for any of a few characters (first byte, and second byte unless the
// character is a single byte); p is left where the search stopped.
__attribute__((target("avx2"))) const char* FindCharacters32(const char*& p, const char* end,
                                                             const TCharacterKeys& keys) noexcept {
  __m256i first[TCharacterKeys::kMax];
  __m256i second[TCharacterKeys::kMax];
  for (std::size_t i = 0; i < keys.count; ++i) {
    first[i] = _mm256_set1_epi8(static_cast<char>(keys.first[i]));
    second[i] = _mm256_set1_epi8(static_cast<char>(keys.second[i]));
  }
  for (; end - p >= 33; p += 32) {
    const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
    __m256i hits = _mm256_setzero_si256();
    for (std::size_t i = 0; i < keys.count; ++i) {
      __m256i eq = _mm256_cmpeq_epi8(here, first[i]);
      if (keys.two_bytes[i]) eq = _mm256_and_si256(eq, _mm256_cmpeq_epi8(next, second[i]));
      hits = _mm256_or_si256(hits, eq);
    }
    if (const auto mask = static_cast<unsigned>(_mm256_movemask_epi8(hits)); mask != 0) return p + __builtin_ctz(mask);
  }
  return nullptr;
}

// For a pattern that is a line start and a plain text: whole 32-byte steps from p (after the
// region's first byte) up to the first that holds a line end followed by the text's first two
// bytes (first alone without kSecond). Adds the line ends of the steps passed to n, sets suspect
// when one of them follows a lead-range byte, and returns the step's line ends that are followed
// by those bytes (0 when it stopped for want of bytes: 34 are read per step).
// Every line end of a file without such lines passes through here: the loop keeps p in a
// register and tests one bound per step.
template <bool kSecond>
__attribute__((target("avx2"))) std::uint32_t LineStartCandidatesOf(const char*& at, const char* end, char first,
                                                                    char second, std::size_t& n, bool& suspect) noexcept {
  const __m256i lf = _mm256_set1_epi8('\n');
  const __m256i cr = _mm256_set1_epi8('\r');
  const __m256i zero = _mm256_setzero_si256();
  const __m256i first_key = _mm256_set1_epi8(first);
  const __m256i second_key = _mm256_set1_epi8(second);
  __m256i flagged = zero;
  std::uint32_t found = 0;
  const char* p = at;
  while (found == 0 && end - p >= 34) {
    // At most 255 steps between sums, so that no byte counter wraps.
    const auto steps = std::min<std::ptrdiff_t>(255, (end - p - 34) / 32 + 1);
    const char* const stop = p + steps * 32;
    __m256i counts = zero;
    for (; p != stop; p += 32) {
      const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
      const __m256i is_lf = _mm256_cmpeq_epi8(here, lf);
      const __m256i is_cr = _mm256_cmpeq_epi8(here, cr);
      const __m256i line_end = _mm256_or_si256(is_lf, is_cr);
      __m256i starts = _mm256_and_si256(line_end, _mm256_cmpeq_epi8(next, first_key));
      if constexpr (kSecond)
        starts = _mm256_and_si256(starts, _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2)), second_key));
      found = static_cast<std::uint32_t>(_mm256_movemask_epi8(starts));
      if (found != 0) break;
      const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p - 1));
      const __m256i lone_cr = _mm256_andnot_si256(_mm256_cmpeq_epi8(next, lf), is_cr);
      counts = _mm256_sub_epi8(counts, _mm256_or_si256(is_lf, lone_cr));
      flagged = _mm256_or_si256(flagged, _mm256_and_si256(line_end, IsLeadRange32(before)));
    }
    n += SumOfBytes32(counts);
  }
  at = p;
  suspect = suspect || _mm256_movemask_epi8(flagged) != 0;
  return found;
}

// The same search without counting: the first line end in [p, end - 2) followed by the text's
// first two bytes, or nullptr; p is left where the search stopped. No branch but the one on a
// whole candidate: the text's first character alone is common in the middle of lines.
__attribute__((target("avx2"))) const char* FindLineStartPair32(const char*& p, const char* end, char first,
                                                                char second, bool second_used) noexcept {
  const __m256i lf = _mm256_set1_epi8('\n');
  const __m256i cr = _mm256_set1_epi8('\r');
  const __m256i first_key = _mm256_set1_epi8(first);
  const __m256i second_key = _mm256_set1_epi8(second);
  const __m256i any = _mm256_set1_epi8(-1);
  for (; end - p >= 34; p += 32) {
    const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i next = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
    const __m256i second_ok =
        second_used ? _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2)), second_key) : any;
    const __m256i line_end = _mm256_or_si256(_mm256_cmpeq_epi8(here, lf), _mm256_cmpeq_epi8(here, cr));
    const __m256i starts = _mm256_and_si256(line_end, _mm256_and_si256(_mm256_cmpeq_epi8(next, first_key), second_ok));
    if (const auto found = static_cast<unsigned>(_mm256_movemask_epi8(starts)); found != 0) return p + __builtin_ctz(found);
  }
  return nullptr;
}
#endif

bool IsLeadRun(const char* line, const char* q) noexcept {
  // Whether the character boundary just before q falls inside a lead byte, decoding the line
  // from line: lead-range bytes before q in odd number end in a lead byte.
  const char* run = q;
  while (run > line && IsLeadByte(run[-1])) --run;
  return ((q - run) & 1) != 0;
}

// From p (after the region's first byte), the first 16- or 32-byte step that holds a line end
// right after a lead-range byte, or where fewer bytes than a step are left.
const char* SkipCleanLineEnds(const char* p, const char* end) noexcept {
#ifdef TARN_AVX2
  if (HasAvx2() && p < end) {
    p = SkipCleanLineEnds32(p, end);
    if (end - p >= 32) return p;
  }
#endif
#ifdef __SSE2__
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i flip = _mm_set1_epi8(0x20);  // as in IsLeadRange32
  const __m128i low = _mm_set1_epi8(static_cast<char>(0xA1));
  const __m128i span = _mm_set1_epi8(0xDC - 0xA1);
  const __m128i zero = _mm_setzero_si128();
  for (; end - p >= 16; p += 16) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p - 1));
    const __m128i line_end = _mm_or_si128(_mm_cmpeq_epi8(here, lf), _mm_cmpeq_epi8(here, cr));
    const __m128i lead = _mm_cmpeq_epi8(_mm_subs_epu8(_mm_sub_epi8(_mm_xor_si128(before, flip), low), span), zero);
    if (_mm_movemask_epi8(_mm_and_si128(line_end, lead)) != 0) break;
  }
#endif
  return p;
}

// True when a line in [begin, end) (which starts at a line start) ends right after a lead byte.
// Japanese lines often end in a trail byte that looks like a lead byte: each such place is
// decided by decoding its line, and the vector search goes on after it.
bool HasLineEndAfterLeadByte(const char* begin, const char* end) noexcept {
  const char* p = begin + 1;
  while (p < end) {
    p = SkipCleanLineEnds(p, end);
    for (const char* stop = std::min(end, p + 32); p < stop; ++p) {
      if ((*p == '\n' || *p == '\r') && IsLeadByte(p[-1])) {
        const char* line = p - 1;
        while (line > begin && line[-1] != '\n' && line[-1] != '\r') --line;
        if (IsLeadRun(line, p)) return true;
      }
    }
  }
  return false;
}

// The first byte in [p, end) that is one of bytes (at most TLineDFA::kMaxSkipBytes), or end.
const char* FindAnyOf(const char* p, const char* end, const std::string& bytes) noexcept {
#ifdef __SSE2__
  __m128i keys[TLineDFA::kMaxSkipBytes];
  const std::size_t n = std::min(bytes.size(), TLineDFA::kMaxSkipBytes);
  for (std::size_t i = 0; i < n; ++i) keys[i] = _mm_set1_epi8(bytes[i]);
  for (; end - p >= 16; p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hits = _mm_cmpeq_epi8(v, keys[0]);
    for (std::size_t i = 1; i < n; ++i) hits = _mm_or_si128(hits, _mm_cmpeq_epi8(v, keys[i]));
    if (const int mask = _mm_movemask_epi8(hits); mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
  }
#endif
  for (; p < end; ++p)
    if (bytes.find(*p) != std::string::npos) return p;
  return end;
}

// The first place in [p, end) where one of the characters' bytes stand, or nullptr. A first
// byte as the block's last byte counts: its second byte may follow in the next block.
const char* FindCharacters(const char* p, const char* end, const TCharacterKeys& keys) noexcept {
#ifdef TARN_AVX2
  if (HasAvx2())
    if (const char* found = FindCharacters32(p, end, keys); found != nullptr) return found;
#endif
#ifdef __SSE2__
  __m128i first[TCharacterKeys::kMax];
  __m128i second[TCharacterKeys::kMax];
  for (std::size_t i = 0; i < keys.count; ++i) {
    first[i] = _mm_set1_epi8(static_cast<char>(keys.first[i]));
    second[i] = _mm_set1_epi8(static_cast<char>(keys.second[i]));
  }
  for (; end - p >= 17; p += 16) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    __m128i hits = _mm_setzero_si128();
    for (std::size_t i = 0; i < keys.count; ++i) {
      __m128i eq = _mm_cmpeq_epi8(here, first[i]);
      if (keys.two_bytes[i]) eq = _mm_and_si128(eq, _mm_cmpeq_epi8(next, second[i]));
      hits = _mm_or_si128(hits, eq);
    }
    if (const int mask = _mm_movemask_epi8(hits); mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
  }
#endif
  for (; p < end; ++p)
    for (std::size_t i = 0; i < keys.count; ++i)
      if (static_cast<unsigned char>(*p) == keys.first[i] &&
          (!keys.two_bytes[i] || p + 1 == end || static_cast<unsigned char>(p[1]) == keys.second[i]))
        return p;
  return nullptr;
}

// A NUL inside the text reads as a space.
void NulsToSpaces(char* data, std::size_t size) noexcept {
  char* const end = data + size;
  for (char* nul = data; (nul = static_cast<char*>(std::memchr(nul, 0, static_cast<std::size_t>(end - nul)))) != nullptr;)
    *nul = ' ';
}

const char* FindLineEnd(const char* p, const char* end) noexcept {
  while (p < end && *p != '\n' && *p != '\r') ++p;
  return p;
}

// The start of the line holding position p, looking back no further than floor (a line start).
const char* LineStartOf(const char* p, const char* floor) noexcept {
  while (p > floor && p[-1] != '\n' && p[-1] != '\r') --p;
  return p;
}

// One file's scan: the state that crosses block boundaries lives here.
class FileScan {
 public:
  FileScan(const ReadOnlyFile& file, TLineDFA& dfa, const TByteFinder& finder, const std::string& line_start_literal,
           const bool& cancel, const std::function<void()>& pump, const TFastLineScan::Report& report)
      : file_(file),
        dfa_(dfa),
        finder_(finder),
        line_start_literal_(line_start_literal),
        cancel_(cancel),
        pump_(pump),
        report_(report) {}

  // True when Block takes the block with its NULs as they are: the line-start text search
  // sees no difference between a NUL and a space unless the text has one, and only the lines it
  // hands on need NULs read as spaces.
  bool TakesRawNuls() const noexcept {
#ifdef TARN_AVX2
    return !line_start_literal_.empty() && HasAvx2() && line_start_literal_.find(' ') == std::string::npos;
#else
    return false;
#endif
  }

  // The block of the file that starts at offset (last: the file ends with it); NULs read as
  // spaces already unless TakesRawNuls.
  void Block(char* data, char* end, std::uint64_t offset, [[maybe_unused]] bool last) {
    const char* p = data;
    block_begin_ = data;
    block_offset_ = offset;
    raw_from_ = TakesRawNuls() ? data : end;
    if (pending_cr_) {
      pending_cr_ = false;
      if (p < end && *p == '\n') ++p;
    }
    if (in_line_ && p < end) {
      ReadNulsAsSpaces(p, FindLineEnd(p, end), end);
      p = matched_pending_ ? FinishMatchedLine(p, end) : RunLines(p, end, true);
    }
    const bool prefilter = finder_.Active() && !dfa_.LineStartMatches();
    while (p < end) {
#ifdef TARN_AVX2
      if (!line_start_literal_.empty() && HasAvx2()) {
        // Only lines that begin with the text can match. The line ends before such a line are
        // counted and checked on the way to it; those after the file's last one never are.
        const std::string& text = line_start_literal_;
        if (static_cast<std::size_t>(end - p) < text.size() ? *p == text[0]
                                                             : std::memcmp(p, text.data(), text.size()) == 0) {
          ReadNulsAsSpaces(p, FindLineEnd(p, end), end);
          p = RunLines(p, end, true);
          continue;
        }
        const char* line = candidates_seen_ ? SkipToLineStartLiteral(p, end) : SkipToLineStartLazily(p, end, last);
        if (line == nullptr) return;  // nothing after this can match, so no later line number is asked for
        if (line != p) {
          p = line;
          continue;
        }
        // p starts the block's last line, or too few bytes are left to look for the text.
      }
#endif
      ReadNulsAsSpaces(p, end, end);
      if (!prefilter) {
        p = RunLines(p, end, false);
        continue;
      }
      const char* hit = finder_.Find(p, end);
      const char* line = hit != nullptr ? LineStartOf(hit, p) : LineStartOf(end, p);
      // Lines skipped unread must not end inside a character either.
      line_no_ += static_cast<std::uint32_t>(CountCheckedLineEnds(p, line));
      if (line == end && line > p && end[-1] == '\r') pending_cr_ = true;
      p = line;
      if (p < end) p = RunLines(p, end, true);
    }
  }

  // Reads the NULs of [from, upto) as spaces, where that is not done yet; the lines skipped
  // before from are never read again. end is the block's (writable) end.
  void ReadNulsAsSpaces(const char* from, const char* upto, char* end) noexcept {
    from = std::max(from, raw_from_);
    if (upto <= from) return;
    NulsToSpaces(end - (end - from), static_cast<std::size_t>(upto - from));
    raw_from_ = upto;
  }

  // The end of the file ends its last line.
  void Finish(std::uint64_t file_end) {
    file_end_ = file_end;
    if (!in_line_) return;
    if (matched_pending_) {
      EmitCarried(file_end_);
    } else {
      if (dfa_.Table()[state_ + '\n'] == TLineDFA::kBrokenEnd) throw BrokenLineEnd{};
      if (dfa_.LineEndMatches(state_)) EmitCarried(file_end_);
    }
    in_line_ = false;
  }

 private:
  // Runs the automaton from a line start (or on in the line carried over) to the end of that
  // line, or on to the end of the block unless one_line; returns where it stopped.
  const char* RunLines(const char* p, const char* end, bool one_line) {
    const char* line = p;
    std::uint32_t s = state_;
    if (in_line_) {
      in_line_ = false;
    } else {
      carried_ = false;
      s = dfa_.LineStartState();
      if (dfa_.LineStartMatches()) return Matched(line, FindLineEnd(p, end), end, one_line);
    }
    for (;;) {
      const std::uint32_t* table = dfa_.Table();
      std::uint32_t t = 0;
      while (p < end) {
        t = table[s + static_cast<unsigned char>(*p)];
        if (t & TLineDFA::kFlags) break;
        s = t;
        ++p;
      }
      if (p == end) {
        Carry(line);
        state_ = s;
        in_line_ = true;
        return end;
      }
      if (!(t & TLineDFA::kStop)) {  // into a state most characters keep: jump ahead
        s = t & ~TLineDFA::kSkip;
        p = Skip(s, p + 1, end);
        continue;
      }
      if (t == TLineDFA::kUnknown) {
        t = dfa_.Resolve(s, static_cast<unsigned char>(*p));
        if (!(t & TLineDFA::kStop)) {
          s = t & ~TLineDFA::kSkip;
          ++p;
          continue;
        }
      }
      if (t == TLineDFA::kBrokenEnd) throw BrokenLineEnd{};
      const char* line_end = p;
      bool matched;
      if (t == TLineDFA::kMatch) {
        line_end = FindLineEnd(p + 1, end);
        matched = true;
      } else {
        matched = dfa_.LineEndMatches(s);
      }
      if (matched) {
        if (line_end == end) {
          Carry(line);
          in_line_ = matched_pending_ = true;
          return end;
        }
        Emit(line, line_end);
      }
      p = PassLineEnd(line_end, end);
      if (!matched) dfa_.PrepareSkip(s);  // the state lines rest in is worth a skip list
      if (one_line || p == end) return p;
      line = p;
      carried_ = false;
      s = dfa_.LineStartState();
      if (dfa_.LineStartMatches()) return Matched(line, FindLineEnd(p, end), end, one_line);
    }
  }

  // Every line matches: report this one (and go on with the next when asked).
  const char* Matched(const char* line, const char* line_end, const char* end, bool one_line) {
    for (;;) {
      if (line_end == end) {
        Carry(line);
        in_line_ = matched_pending_ = true;
        return end;
      }
      Emit(line, line_end);
      const char* p = PassLineEnd(line_end, end);
      if (one_line || p == end) return p;
      carried_ = false;
      line = p;
      line_end = FindLineEnd(p, end);
    }
  }

  // From p, a character boundary in state s, to the next byte that may leave s and stands at a
  // character boundary (or the lead byte before a line end that follows it), or to the block end
  // (the last lead byte when its character goes on in the next block).
  const char* Skip(std::uint32_t s, const char* p, const char* end) const noexcept {
    const std::string& bytes = dfa_.SkipBytes(s);
    const char* boundary = p;
    for (;;) {
      const char* q = FindAnyOf(p, end, bytes);
      const bool trail = IsLeadRun(boundary, q);
      if (q == end) return trail ? end - 1 : end;
      if (!trail) return q;
      if (*q == '\n' || *q == '\r') return q - 1;
      boundary = p = q + 1;
    }
  }

  // The line ends in [begin, end), a stretch of whole lines; throws BrokenLineEnd when one of
  // them follows a lead byte.
  static std::size_t CountCheckedLineEnds(const char* begin, const char* end) {
#ifdef TARN_AVX2
    if (HasAvx2() && end - begin > 64) {
      const char* p = begin + 1;
      bool suspect = false;
      std::size_t n = (*begin == '\n' || (*begin == '\r' && begin[1] != '\n')) ? 1 : 0;
      n += CountAndCheck32(p, end, suspect);
      for (const char* q = p; q < end && !suspect; ++q) suspect = (*q == '\n' || *q == '\r') && IsLeadByte(q[-1]);
      if (suspect && HasLineEndAfterLeadByte(begin, end)) throw BrokenLineEnd{};
      return n + CountLineEnds(p, end);
    }
#endif
    if (HasLineEndAfterLeadByte(begin, end)) throw BrokenLineEnd{};
    return CountLineEnds(begin, end);
  }

#ifdef TARN_AVX2
  // From p, a line start, over whole lines to the next one that begins with the first bytes of
  // the line-start text, counting the lines passed; when too few bytes are left for that, to
  // the last line start it could reach. Throws BrokenLineEnd as CountCheckedLineEnds does.
  const char* SkipToLineStartLiteral(const char* p, const char* end) {
    if (end - p < 35) return p;
    const std::string& text = line_start_literal_;
    std::size_t n = (*p == '\n' || (*p == '\r' && p[1] != '\n')) ? 1 : 0;
    if (n == 1 && p[1] == text[0]) {  // an empty line before a candidate
      ++line_no_;
      return p + 1;
    }
    bool suspect = false;
    const char* q = p + 1;
    const std::uint32_t found = text.size() > 1 ? LineStartCandidatesOf<true>(q, end, text[0], text[1], n, suspect)
                                                : LineStartCandidatesOf<false>(q, end, text[0], 0, n, suspect);
    const char* line;
    if (found != 0) {
      line = q + __builtin_ctz(found) + 1;
    } else {
      line = LineStartOf(q, p);
      // The line ends of [line, q) were counted with the steps: there are none.
    }
    for (; q < line; ++q) {
      if (*q == '\n' || (*q == '\r' && q[1] != '\n')) ++n;
      if ((*q == '\n' || *q == '\r') && IsLeadByte(q[-1])) suspect = true;
    }
    if (suspect && HasLineEndAfterLeadByte(p, line)) throw BrokenLineEnd{};
    line_no_ += static_cast<std::uint32_t>(n);
    return line;
  }

  // As SkipToLineStartLiteral, but looking first and counting only the lines passed on the way
  // to a line that begins with the text: a file without one costs the search alone. Returns
  // nullptr when the file has no such line after p (last: this block is the file's last).
  const char* SkipToLineStartLazily(const char* p, const char* end, bool last) {
    const char* line = NextLineStartLiteral(p, end);
    candidates_seen_ = line != nullptr;
    if (line == nullptr) {
      if (last) return nullptr;
      line = LineStartOf(end, p);
    }
    if (line != p) {
      line_no_ += static_cast<std::uint32_t>(CountCheckedLineEnds(p, line));
      if (line == end && end[-1] == '\r') pending_cr_ = true;
    }
    return line;
  }

  // The first line start after p (a line start) whose bytes begin with the line-start text's
  // first two (its first alone when it has one byte), or nullptr. A line whose beginning the
  // block cuts off is not looked at: the caller takes it up as the block's last line.
  const char* NextLineStartLiteral(const char* p, const char* end) const noexcept {
    const std::string& text = line_start_literal_;
    const bool two = text.size() > 1;
    const char* q = p;
    if (const char* at = FindLineStartPair32(q, end, text[0], two ? text[1] : 0, two); at != nullptr) return at + 1;
    for (; end - q >= (two ? 3 : 2); ++q)
      if ((*q == '\n' || *q == '\r') && q[1] == text[0] && (!two || q[2] == text[1])) return q + 1;
    return nullptr;
  }
#endif

  const char* FinishMatchedLine(const char* p, const char* end) {
    const char* line_end = FindLineEnd(p, end);
    if (line_end == end) return end;
    in_line_ = matched_pending_ = false;
    Emit(p, line_end);
    return PassLineEnd(line_end, end);
  }

  const char* PassLineEnd(const char* p, const char* end) {
    ++line_no_;
    if (*p == '\n') return p + 1;
    if (p + 1 == end) {
      pending_cr_ = true;
      return end;
    }
    return p[1] == '\n' ? p + 2 : p + 1;
  }

  std::uint64_t OffsetOf(const char* p) const noexcept { return block_offset_ + static_cast<std::uint64_t>(p - block_begin_); }

  // The line going on into the next block, from line (in this block unless carried already).
  // Only where it starts is kept: a long line that does not match costs no memory, and one that
  // does is read back whole when it is reported.
  void Carry(const char* line) {
    if (carried_) return;
    carried_ = true;
    line_offset_ = OffsetOf(line);
  }

  // Reports the current line, which ends at line_end in this block.
  void Emit(const char* line, const char* line_end) {
    if (carried_)
      EmitCarried(OffsetOf(line_end));
    else
      Report(std::string(line, line_end), OffsetOf(line));
  }

  void EmitCarried(std::uint64_t line_end_offset) {
    carried_ = false;
    if (cancel_) throw EGrepCancel();
    std::string text(line_end_offset - line_offset_, '\0');
    text.resize(file_.ReadAt(text.data(), text.size(), line_offset_));
    NulsToSpaces(text.data(), text.size());  // as in the blocks
    Report(std::move(text), line_offset_);
  }

  void Report(std::string text, std::uint64_t offset) {
    if (pump_) pump_();
    if (cancel_) throw EGrepCancel();
    RE_LineInfo_t info;
    info.Line = std::move(text);
    info.LineNo = static_cast<std::int32_t>(line_no_);
    info.Offset = static_cast<std::int64_t>(offset);
    report_(std::move(info));
  }

  const ReadOnlyFile& file_;
  TLineDFA& dfa_;
  const TByteFinder& finder_;
  const std::string& line_start_literal_;
  const bool& cancel_;
  const std::function<void()>& pump_;
  const TFastLineScan::Report& report_;
  std::uint32_t line_no_ = 1;  // the current line's number
  const char* block_begin_ = nullptr;
  const char* raw_from_ = nullptr;  // the block's NULs from here on are not spaces yet
  std::uint64_t block_offset_ = 0;  // file offset of block_begin_
  std::uint64_t file_end_ = 0;
  bool carried_ = false;            // the current line began in an earlier block...
  std::uint64_t line_offset_ = 0;   // ...at this file offset
  std::uint32_t state_ = 0;    // automaton state where the carried line stopped
  bool in_line_ = false;
  bool matched_pending_ = false;
  bool pending_cr_ = false;
  bool candidates_seen_ = false;  // a line of this file began with the line-start text's first bytes
};

}  // namespace

std::size_t CountLineEnds(const char* begin, const char* end) noexcept {
  std::size_t n = 0;
  const char* p = begin;
#ifdef TARN_AVX2
  if (HasAvx2()) n += CountLineEnds32(p, end);
#endif
#ifdef __SSE2__
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  const __m128i zero = _mm_setzero_si128();
  while (end - p >= 17) {
    __m128i counts = zero;
    for (int k = 0; k < 255 && end - p >= 17; ++k, p += 16) {
      const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
      const __m128i is_lf = _mm_cmpeq_epi8(here, lf);
      const __m128i is_cr = _mm_cmpeq_epi8(here, cr);
      const __m128i lone_cr = _mm_andnot_si128(_mm_cmpeq_epi8(next, lf), is_cr);
      counts = _mm_sub_epi8(counts, _mm_or_si128(is_lf, lone_cr));
    }
    const __m128i sums = _mm_sad_epu8(counts, zero);
    n += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) + static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
  }
#endif
  for (; p < end; ++p) {
    if (*p == '\n' || (*p == '\r' && (p + 1 == end || p[1] != '\n'))) ++n;
  }
  return n;
}

TByteFinder::TByteFinder(std::string needle, std::string any_of, const std::vector<std::string>& characters)
    : needle_(std::move(needle)) {
  if (needle_.empty()) any_of_ = std::move(any_of);
  // A match's first character as a whole is far rarer than its rarer byte alone.
  if (needle_.empty() && !characters.empty() && characters.size() <= TCharacterKeys::kMax) {
    for (const std::string& ch : characters) {
      characters_.first[characters_.count] = static_cast<unsigned char>(ch[0]);
      characters_.two_bytes[characters_.count] = ch.size() == 2;
      characters_.second[characters_.count] = static_cast<unsigned char>(ch.back());
      ++characters_.count;
    }
  }
  // Bytes least likely in Japanese text with English in it: trail bytes and rare letters.
  static constexpr char kCommon[] = " etaoinshrdlcumwfgypbvkjxqz";
  auto commonness = [](unsigned char b) {
    if (b >= 0x81 && b <= 0x83) return 40;
    if (const char* at = std::strchr(kCommon, b); at != nullptr && b != 0) return 39 - static_cast<int>(at - kCommon);
    if (IsLeadByte(b)) return 10;
    return 0;
  };
  auto rarest_except = [&](std::size_t skip) {
    std::size_t best = skip == 0 ? 1 : 0;
    for (std::size_t i = 0; i < needle_.size(); ++i)
      if (i != skip && commonness(static_cast<unsigned char>(needle_[i])) <= commonness(static_cast<unsigned char>(needle_[best])))
        best = i;
    return best;
  };
  if (needle_.size() >= 2) {
    anchor_ = rarest_except(needle_.size());
    second_ = rarest_except(anchor_);
  }
}

const char* TByteFinder::Find(const char* begin, const char* end) const noexcept {
  const std::size_t n = needle_.size();
  if (n == 0) {
    if (characters_.count > 0) return FindCharacters(begin, end, characters_);
    if (any_of_.empty()) return nullptr;
    const char* hit = FindAnyOf(begin, end, any_of_);
    return hit != end ? hit : nullptr;
  }
  if (static_cast<std::size_t>(end - begin) < n) return nullptr;
  if (n == 1) return static_cast<const char*>(std::memchr(begin, needle_[0], static_cast<std::size_t>(end - begin)));
  const char* p = begin;
  const char* const last = end - n;  // the last place the needle can start
#ifdef TARN_AVX2
  if (HasAvx2())
    if (const char* found = FindPair32(p, last, needle_, anchor_, second_); found != nullptr) return found;
#endif
#ifdef __SSE2__
  const __m128i first = _mm_set1_epi8(needle_[anchor_]);
  const __m128i second = _mm_set1_epi8(needle_[second_]);
  for (; last - p >= 15; p += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + anchor_));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + second_));
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second))));
    while (mask != 0) {
      const char* start = p + __builtin_ctz(mask);
      if (std::memcmp(start, needle_.data(), n) == 0) return start;
      mask &= mask - 1;
    }
  }
#endif
  for (; p <= last; ++p) {
    if (p[anchor_] == needle_[anchor_] && std::memcmp(p, needle_.data(), n) == 0) return p;
  }
  return nullptr;
}

std::unique_ptr<TFastLineScan> TFastLineScan::For(const TRE_DFA& dfa) {
  if (!MatchesStayInLine(dfa)) return nullptr;
  auto scan = std::make_unique<TFastLineScan>(dfa);
  // A code made of a lead byte and a line end (such as «\x830A») can put a line end into the
  // bytes searched for, and the line count of the skipped stretches then goes wrong at CR LF.
  // (The first-character keys never hold one.)
  if (scan->finder_.Needle().find_first_of("\r\n") != std::string::npos) return nullptr;
  return scan;
}

TFastLineScan::TFastLineScan(const TRE_DFA& dfa)
    : dfa_(dfa),
      line_dfa_(dfa),
      finder_(RequiredBytes(dfa), FirstCharacterBytes(dfa, TLineDFA::kMaxSkipBytes),
              FirstCharacters(dfa, TCharacterKeys::kMax)),
      line_start_literal_(LineStartLiteral(dfa)) {}

char* TFastLineScan::Buffer(std::size_t block_size) {
  block_size = std::max<std::size_t>(block_size, 1);
  // Kept from file to file and never cleared: a tree of small files would otherwise pay for a
  // fresh, zero-filled block each.
  if (buffer_size_ != block_size) {
    buffer_ = std::make_unique_for_overwrite<char[]>(block_size);
    buffer_size_ = block_size;
  }
  return buffer_.get();
}

bool TFastLineScan::Scan(const std::string& native_path, std::size_t block_size, const bool& cancel,
                         const std::function<void()>& pump, const Report& report) {
  ReadOnlyFile file(native_path);
  return Scan(file, block_size, std::nullopt, cancel, pump, report);
}

bool TFastLineScan::Scan(ReadOnlyFile& file, std::size_t block_size, std::optional<std::size_t> first_block,
                         const bool& cancel, const std::function<void()>& pump, const Report& report) {
  block_size = std::max<std::size_t>(block_size, 1);
  char* const data = Buffer(block_size);
  FileScan scan(file, line_dfa_, finder_, line_start_literal_, cancel, pump, report);
  std::uint64_t offset = 0;
  try {
    for (;;) {
      std::size_t got;
      if (first_block) {
        got = *first_block;
        first_block.reset();
      } else {
        got = file.Read(data, block_size);
      }
      if (got == 0) break;
      if (!scan.TakesRawNuls()) NulsToSpaces(data, got);
      if (pump) pump();
      if (cancel) throw EGrepCancel();
      scan.Block(data, data + got, offset, got < block_size);
      offset += got;
      if (got < block_size) break;
    }
    scan.Finish(offset);
  } catch (const BrokenLineEnd&) {
    return false;
  }
  return true;
}

}  // namespace tarn::pattern

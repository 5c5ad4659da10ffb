#include "core/file_encoding.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tarn {
namespace {

constexpr std::array<std::string_view, 6> kEncodingNames = {"cp932",  "utf-8",  "utf-16le",
                                                            "utf-16be", "euc-jp", "iso-2022-jp"};
constexpr std::array<std::string_view, 6> kChoiceNames = {"auto", "cp932", "utf-8", "utf-16", "euc-jp", "iso-2022-jp"};

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

std::uint8_t At(std::string_view s, std::size_t i) noexcept { return static_cast<std::uint8_t>(s[i]); }

// How a reading of the head went: characters of more than one byte read soundly, bytes that break
// the reading, and (for EUC-JP) kana among the characters.
struct Reading {
  std::size_t multibyte = 0;
  std::size_t broken = 0;
  std::size_t kana = 0;
};

// The index of the first byte from i on that is not ASCII, or s.size().
std::size_t SkipAscii(std::string_view s, std::size_t i) noexcept {
  while (i + 8 <= s.size()) {
    std::uint64_t word;
    std::memcpy(&word, s.data() + i, 8);
    if ((word & 0x8080808080808080ull) != 0) break;
    i += 8;
  }
  while (i < s.size() && At(s, i) < 0x80) ++i;
  return i;
}

// A reading is sound when its broken sequences are few among many sound ones (a file cut short,
// a stray byte). CP932 text read as UTF-8 or EUC-JP breaks at its first kana or symbol, so a
// reading stops as soon as it cannot be sound so far: a CP932 file costs a few bytes of it.
bool Hopeless(const Reading& r) noexcept { return r.broken * 32 > r.multibyte; }
// So many sound characters in a row settle it: CP932 text never reads so long as UTF-8 or EUC-JP.
bool Settled(const Reading& r) noexcept { return r.broken == 0 && r.multibyte >= 64; }
bool Sound(const Reading& r) noexcept { return r.multibyte > 0 && !Hopeless(r); }

// A sequence cut by the end of the head breaks the reading only when the head is the whole file.
void CountCut(Reading& reading, bool whole_file) noexcept {
  if (whole_file) ++reading.broken;
}

Reading ReadAsUtf8(std::string_view s, bool whole_file) noexcept {
  Reading r;
  for (std::size_t i = 0; i < s.size();) {
    i = SkipAscii(s, i);
    if (i == s.size() || Hopeless(r) || Settled(r)) break;
    const std::uint8_t b = At(s, i);
    std::size_t length = 0;
    std::uint8_t low = 0x80, high = 0xBF;  // the range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      if (b == 0xE0) low = 0xA0;
      if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      if (b == 0xF0) low = 0x90;
      if (b == 0xF4) high = 0x8F;
    }
    if (length == 0) {
      ++r.broken;
      ++i;
      continue;
    }
    std::size_t k = 1;
    for (; k < length && i + k < s.size(); ++k) {
      const std::uint8_t c = At(s, i + k);
      if (k == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) break;
    }
    if (k == length) {
      ++r.multibyte;
      i += length;
    } else if (i + k == s.size()) {
      CountCut(r, whole_file);
      break;
    } else {
      ++r.broken;
      ++i;
    }
  }
  return r;
}

Reading ReadAsEucJp(std::string_view s, bool whole_file) noexcept {
  Reading r;
  auto in_row = [](std::uint8_t c) { return c >= 0xA1 && c <= 0xFE; };
  for (std::size_t i = 0; i < s.size();) {
    i = SkipAscii(s, i);
    if (i == s.size() || Hopeless(r) || Settled(r)) break;
    const std::uint8_t b = At(s, i);
    const std::size_t length = b == 0x8F ? 3 : 2;
    if (b != 0x8E && b != 0x8F && !in_row(b)) {
      ++r.broken;
      ++i;
      continue;
    }
    if (i + length > s.size()) {
      CountCut(r, whole_file);
      break;
    }
    const std::uint8_t c = At(s, i + 1);
    const bool sound = b == 0x8E ? (c >= 0xA1 && c <= 0xDF) : in_row(c) && (length == 2 || in_row(At(s, i + 2)));
    if (!sound) {
      ++r.broken;
      ++i;
      continue;
    }
    ++r.multibyte;
    if (b == 0xA4 || b == 0xA5) ++r.kana;
    i += length;
  }
  return r;
}

Reading ReadAsCp932(std::string_view s, bool whole_file) noexcept {
  Reading r;
  for (std::size_t i = 0; i < s.size();) {
    const std::uint8_t b = At(s, i);
    if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) {
      ++i;
      continue;
    }
    if ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) {
      if (i + 1 == s.size()) {
        CountCut(r, whole_file);
        break;
      }
      const std::uint8_t t = At(s, i + 1);
      if ((t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC)) {
        ++r.multibyte;
        i += 2;
        continue;
      }
    }
    ++r.broken;
    ++i;
  }
  return r;
}

bool HasIso2022JpEscape(std::string_view s) noexcept {
  for (std::size_t i = s.find('\x1B'); i != std::string_view::npos; i = s.find('\x1B', i + 1)) {
    const std::string_view rest = s.substr(i + 1, 3);
    if (rest.starts_with("$B") || rest.starts_with("$@") || rest.starts_with("(J") || rest.starts_with("(I") ||
        rest.starts_with("$(D"))
      return true;
  }
  return false;
}

}  // namespace

std::string_view FileEncodingName(FileEncoding encoding) noexcept {
  return kEncodingNames[static_cast<std::size_t>(encoding)];
}

std::optional<FileEncoding> FileEncodingFromName(std::string_view name) noexcept {
  for (std::size_t i = 0; i < kEncodingNames.size(); ++i)
    if (kEncodingNames[i] == name) return static_cast<FileEncoding>(i);
  return std::nullopt;
}

std::string_view FileEncodingChoiceName(FileEncodingChoice choice) noexcept {
  return kChoiceNames[static_cast<std::size_t>(choice)];
}

std::optional<FileEncodingChoice> FileEncodingChoiceFromName(std::string_view name) noexcept {
  for (std::size_t i = 0; i < kChoiceNames.size(); ++i)
    if (EqualsIgnoringAsciiCase(kChoiceNames[i], name)) return static_cast<FileEncodingChoice>(i);
  return std::nullopt;
}

std::optional<DetectedEncoding> EncodingByMark(std::string_view head) noexcept {
  if (head.starts_with("\xEF\xBB\xBF")) return DetectedEncoding{FileEncoding::kUtf8, 3};
  if (head.starts_with("\xFF\xFE")) return DetectedEncoding{FileEncoding::kUtf16Le, 2};
  if (head.starts_with("\xFE\xFF")) return DetectedEncoding{FileEncoding::kUtf16Be, 2};
  return std::nullopt;
}

DetectedEncoding DetectFileEncoding(std::string_view head, bool whole_file) noexcept {
  if (const auto marked = EncodingByMark(head)) return *marked;
  const bool seven_bit = SkipAscii(head, 0) == head.size();
  if (seven_bit) return {HasIso2022JpEscape(head) ? FileEncoding::kIso2022Jp : FileEncoding::kCp932, 0};
  if (Sound(ReadAsUtf8(head, whole_file))) return {FileEncoding::kUtf8, 0};
  const Reading euc = ReadAsEucJp(head, whole_file);
  if (Sound(euc)) {
    // Both readings may be sound. CP932 text that EUC-JP reads soundly has no byte from 0x81 to
    // 0xA0, so none of its kana, symbols or common kanji: only half-width kana and rare kanji.
    // EUC-JP prose is full of kana, and its kanji read as CP932 give double-byte characters or
    // break.
    const Reading cp932 = ReadAsCp932(head, whole_file);
    if (cp932.broken > euc.broken || cp932.multibyte > 0 || euc.kana * 8 >= euc.multibyte)
      return {FileEncoding::kEucJp, 0};
  }
  return {FileEncoding::kCp932, 0};
}

DetectedEncoding ChosenFileEncoding(FileEncodingChoice choice, std::string_view head, bool whole_file) noexcept {
  const auto marked = EncodingByMark(head);
  switch (choice) {
    case FileEncodingChoice::kAuto:
      return DetectFileEncoding(head, whole_file);
    case FileEncodingChoice::kCp932:
      return {FileEncoding::kCp932, 0};
    case FileEncodingChoice::kUtf8:
      return {FileEncoding::kUtf8, marked && marked->Encoding == FileEncoding::kUtf8 ? marked->MarkLength : 0};
    case FileEncodingChoice::kUtf16: {
      if (marked && marked->Encoding != FileEncoding::kUtf8) return *marked;
      // ASCII in UTF-16 has its NUL first in big-endian order.
      std::size_t even = 0, odd = 0;
      for (std::size_t i = 0; i < head.size(); ++i)
        if (head[i] == '\0') ++(i % 2 == 0 ? even : odd);
      return {even > odd ? FileEncoding::kUtf16Be : FileEncoding::kUtf16Le, 0};
    }
    case FileEncodingChoice::kEucJp:
      return {FileEncoding::kEucJp, 0};
    case FileEncodingChoice::kIso2022Jp:
      return {FileEncoding::kIso2022Jp, 0};
  }
  return {FileEncoding::kCp932, 0};
}

}  // namespace tarn

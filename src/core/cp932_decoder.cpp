#include "core/cp932_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <stdexcept>

#include "core/sjis.h"

namespace tarn {

struct TCp932Decoder::Tables {
  // Per UTF-16 code unit: its CP932 form (a single byte below 0x100, else lead * 256 + trail),
  // 0 when it has none. The same form the conversion of typed text gives, so a search string
  // matches a character whatever encoding the file spells it in.
  std::array<std::uint16_t, 0x10000> from_unicode{};
  // Per double-byte CP932 code: its character, 0 when CP932 leaves the code unassigned.
  std::array<std::uint16_t, 0x10000> to_unicode{};
  // Per CP932 code: how many UTF-16 code units convert to it (at most 2: more read as 2).
  std::array<std::uint8_t, 0x10000> sources{};
};

namespace {

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv cannot convert to CP932");
  }
  ~Iconv() { iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // One character; the bytes it converts to, or 0 of them.
  std::size_t Convert(const char* in, std::size_t size, char* out, std::size_t room) {
    char* src = const_cast<char*>(in);
    char* dst = out;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd_, &src, &size, &dst, &room) == static_cast<std::size_t>(-1) || size != 0) return 0;
    return static_cast<std::size_t>(dst - out);
  }

 private:
  iconv_t cd_;
};

std::unique_ptr<TCp932Decoder::Tables> BuildTables() {
  auto tables = std::make_unique<TCp932Decoder::Tables>();
  Iconv to_cp932("CP932", "UTF-16LE");
  Iconv from_cp932("UTF-16LE", "CP932");
  for (std::uint32_t u = 1; u < 0x10000; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue;
    const char unit[2] = {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
    unsigned char out[4];
    const std::size_t n = to_cp932.Convert(unit, 2, reinterpret_cast<char*>(out), sizeof out);
    if (n == 1) tables->from_unicode[u] = out[0];
    if (n == 2) tables->from_unicode[u] = static_cast<std::uint16_t>(out[0] << 8 | out[1]);
    if (n == 1 || n == 2) {
      std::uint8_t& sources = tables->sources[tables->from_unicode[u]];
      sources = static_cast<std::uint8_t>(std::min(sources + 1, 2));
    }
  }
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (!IsLeadByte(static_cast<unsigned char>(lead))) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      const char code[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      unsigned char out[4];
      if (from_cp932.Convert(code, 2, reinterpret_cast<char*>(out), sizeof out) == 2)
        tables->to_unicode[lead << 8 | trail] = static_cast<std::uint16_t>(out[0] | out[1] << 8);
    }
  }
  return tables;
}

const TCp932Decoder::Tables& SharedTables() {
  static const std::unique_ptr<TCp932Decoder::Tables> tables = BuildTables();
  return *tables;
}

void PutPlaceholder(char*& out) {
  *out++ = kNoCp932Lead;
  *out++ = kNoCp932Trail;
}

// Copies the ASCII bytes from in[i] on; returns the index of the first other byte.
std::size_t CopyAscii(const unsigned char* in, std::size_t i, std::size_t size, char*& out) {
  const std::size_t from = i;
  while (i + 8 <= size) {
    std::uint64_t word;
    std::memcpy(&word, in + i, 8);
    if ((word & 0x8080808080808080ull) != 0) break;
    i += 8;
  }
  while (i < size && in[i] < 0x80) ++i;
  std::memcpy(out, in + from, i - from);
  out += i - from;
  return i;
}

}  // namespace

std::optional<std::string> Cp932ToUtf8Unique(std::string_view cp932) {
  const TCp932Decoder::Tables& tables = SharedTables();
  std::string utf8;
  for (std::size_t i = 0; i < cp932.size(); i += CharLengthAt(cp932, i)) {
    const RE_Char_t code = CharCodeAt(cp932, i);
    const std::uint32_t u = code < 0x80 ? code : code < 0x100 ? 0xFF61 + (code - 0xA1) : tables.to_unicode[code];
    // Half-width kana come as single bytes A1-DF, U+FF61-FF9F.
    if (u == 0 || (code >= 0x80 && code < 0x100 && (code < 0xA1 || code > 0xDF)) || tables.sources[code] != 1)
      return std::nullopt;
    if (u < 0x80) {
      utf8 += static_cast<char>(u);
    } else if (u < 0x800) {
      utf8 += static_cast<char>(0xC0 | u >> 6);
      utf8 += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      utf8 += static_cast<char>(0xE0 | u >> 12);
      utf8 += static_cast<char>(0x80 | (u >> 6 & 0x3F));
      utf8 += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return utf8;
}

TCp932Decoder::TCp932Decoder(FileEncoding encoding) : encoding_(encoding), tables_(SharedTables()) {}

void TCp932Decoder::PutUnicode(std::uint32_t code_point, char*& out) const {
  if (code_point < 0x80) {
    *out++ = static_cast<char>(code_point);
    return;
  }
  const std::uint16_t code = code_point < 0x10000 ? tables_.from_unicode[code_point] : 0;
  if (code == 0) {
    PutPlaceholder(out);
  } else if (code < 0x100) {
    *out++ = static_cast<char>(code);
  } else {
    *out++ = static_cast<char>(code >> 8);
    *out++ = static_cast<char>(code & 0xFF);
  }
}

void TCp932Decoder::PutJis(unsigned char row, unsigned char cell, char*& out) const {
  // JIS X 0208 row and cell (0x21-0x7E each) to Shift-JIS; then through Unicode, which gives a
  // character that CP932 spells twice the one form typed text takes.
  const unsigned lead = (row + 1u) / 2 + (row <= 0x5E ? 0x70u : 0xB0u);
  const unsigned trail = cell + ((row & 1) != 0 ? (cell >= 0x60 ? 0x20u : 0x1Fu) : 0x7Eu);
  const std::uint16_t unicode = tables_.to_unicode[(lead << 8 | trail) & 0xFFFF];
  if (unicode == 0)
    PutPlaceholder(out);
  else
    PutUnicode(unicode, out);
}

std::size_t TCp932Decoder::Decode(const char* in, std::size_t size, bool last, char* out, std::size_t& written) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(in);
  char* const start = out;
  std::size_t used = 0;
  switch (encoding_) {
    case FileEncoding::kCp932:
      std::memcpy(out, in, size);
      out += size;
      used = size;
      break;
    case FileEncoding::kUtf8:
      used = DecodeUtf8(bytes, size, last, out);
      break;
    case FileEncoding::kUtf16Le:
    case FileEncoding::kUtf16Be:
      used = DecodeUtf16(bytes, size, last, encoding_ == FileEncoding::kUtf16Be, out);
      break;
    case FileEncoding::kEucJp:
      used = DecodeEucJp(bytes, size, last, out);
      break;
    case FileEncoding::kIso2022Jp:
      used = DecodeIso2022Jp(bytes, size, last, out);
      break;
  }
  written = static_cast<std::size_t>(out - start);
  return used;
}

std::size_t TCp932Decoder::DecodeUtf8(const unsigned char* in, std::size_t size, bool last, char*& out) {
  std::size_t i = 0;
  while (i < size) {
    i = CopyAscii(in, i, size, out);
    if (i == size) break;
    const unsigned char b = in[i];
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    std::uint32_t code_point = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2;
      code_point = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3;
      code_point = b & 0x0Fu;
      if (b == 0xE0) low = 0xA0;
      if (b == 0xED) high = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4;
      code_point = b & 0x07u;
      if (b == 0xF0) low = 0x90;
      if (b == 0xF4) high = 0x8F;
    }
    std::size_t k = length == 0 ? 0 : 1;
    for (; k < length && i + k < size; ++k) {
      const unsigned char c = in[i + k];
      if (k == 1 ? (c < low || c > high) : (c < 0x80 || c > 0xBF)) break;
      code_point = code_point << 6 | (c & 0x3Fu);
    }
    if (length != 0 && k == length) {
      PutUnicode(code_point, out);
      i += length;
      continue;
    }
    if (length != 0 && i + k == size && !last) break;  // the rest comes with the next block
    PutPlaceholder(out);  // a broken sequence: its sound first bytes as one character
    i += k == 0 ? 1 : k;
  }
  return i;
}

std::size_t TCp932Decoder::DecodeUtf16(const unsigned char* in, std::size_t size, bool last, bool big_endian,
                                       char*& out) {
  auto unit = [&](std::size_t i) -> std::uint32_t {
    return big_endian ? (in[i] << 8 | in[i + 1]) : (in[i + 1] << 8 | in[i]);
  };
  std::size_t i = 0;
  while (i + 2 <= size) {
    const std::uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 4 > size && !last) return i;
      // A pair stands for a character beyond the 16-bit range, which CP932 lacks; a lone
      // surrogate is broken. Either way one placeholder.
      const bool paired = i + 4 <= size && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF;
      PutPlaceholder(out);
      i += paired ? 4 : 2;
      continue;
    }
    if (u >= 0xDC00 && u <= 0xDFFF)
      PutPlaceholder(out);
    else
      PutUnicode(u, out);
    i += 2;
  }
  if (i < size && last) {
    PutPlaceholder(out);  // an odd byte at the end
    i = size;
  }
  return i;
}

std::size_t TCp932Decoder::DecodeEucJp(const unsigned char* in, std::size_t size, bool last, char*& out) {
  auto in_row = [](unsigned char c) { return c >= 0xA1 && c <= 0xFE; };
  std::size_t i = 0;
  while (i < size) {
    i = CopyAscii(in, i, size, out);
    if (i == size) break;
    const unsigned char b = in[i];
    const std::size_t length = b == 0x8F ? 3 : 2;
    if (i + length > size && !last && (b == 0x8E || b == 0x8F || in_row(b))) break;
    const unsigned char c = i + 1 < size ? in[i + 1] : 0;
    if (b == 0x8E && c >= 0xA1 && c <= 0xDF) {
      *out++ = static_cast<char>(c);  // half-width kana
      i += 2;
    } else if (b == 0x8F && in_row(c) && i + 2 < size && in_row(in[i + 2])) {
      PutPlaceholder(out);  // JIS X 0212, which CP932 lacks
      i += 3;
    } else if (in_row(b) && in_row(c)) {
      PutJis(b & 0x7F, c & 0x7F, out);
      i += 2;
    } else {
      PutPlaceholder(out);
      ++i;
    }
  }
  return i;
}

std::size_t TCp932Decoder::DecodeIso2022Jp(const unsigned char* in, std::size_t size, bool last, char*& out) {
  std::size_t i = 0;
  while (i < size) {
    const unsigned char b = in[i];
    if (b == 0x1B) {
      const std::size_t rest = size - i - 1;
      auto escape = [&](const char* tail) {
        const std::size_t n = std::strlen(tail);
        return rest >= n && std::memcmp(in + i + 1, tail, n) == 0;
      };
      auto may_grow = [&](const char* tail) { return rest < std::strlen(tail) && std::memcmp(in + i + 1, tail, rest) == 0; };
      if (escape("(B") || escape("(J")) {
        mode_ = Iso2022Mode::kAscii;
        i += 3;
      } else if (escape("(I")) {
        mode_ = Iso2022Mode::kKana;
        i += 3;
      } else if (escape("$B") || escape("$@")) {
        mode_ = Iso2022Mode::kJisX0208;
        i += 3;
      } else if (escape("$(D") || escape("$A") || escape("$(C")) {
        mode_ = Iso2022Mode::kOtherDoubleByte;
        i += escape("$A") ? 3 : 4;
      } else if (!last && (may_grow("(B") || may_grow("(I") || may_grow("$B") || may_grow("$(D"))) {
        break;  // the escape goes on in the next block
      } else {
        PutPlaceholder(out);  // an escape this reading does not know, or one cut off at the end
        ++i;
      }
      continue;
    }
    if (b == 0x0E || b == 0x0F) {  // shift out to half-width kana and back
      mode_ = b == 0x0E ? Iso2022Mode::kKana : Iso2022Mode::kAscii;
      ++i;
      continue;
    }
    if (b >= 0x80) {
      PutPlaceholder(out);
      ++i;
      continue;
    }
    const bool graphic = b >= 0x21 && b <= 0x7E;
    if (!graphic || mode_ == Iso2022Mode::kAscii) {
      *out++ = static_cast<char>(b);  // line ends and blanks keep their place in every mode
      ++i;
    } else if (mode_ == Iso2022Mode::kKana) {
      if (b <= 0x5F)
        *out++ = static_cast<char>(b + 0x80);
      else
        PutPlaceholder(out);
      ++i;
    } else {
      if (i + 1 == size && !last) break;
      const unsigned char c = i + 1 < size ? in[i + 1] : 0;
      if (c >= 0x21 && c <= 0x7E) {
        if (mode_ == Iso2022Mode::kJisX0208)
          PutJis(b, c, out);
        else
          PutPlaceholder(out);
        i += 2;
      } else {
        PutPlaceholder(out);
        ++i;
      }
    }
  }
  return i;
}

}  // namespace tarn

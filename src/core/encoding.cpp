#include "core/encoding.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>
#include <stdexcept>

#include "core/sjis.h"

namespace tarn {

class TCp932ToUtf8::Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv cannot convert between CP932 and UTF-8");
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts as much as possible; returns how many input bytes were consumed. Stops at the first
  // byte sequence that does not convert (errno EILSEQ or EINVAL) or at the end.
  std::size_t Run(std::string_view in, std::string& out) {
    char* src = const_cast<char*>(in.data());
    std::size_t left = in.size();
    char buffer[4096];
    while (left > 0) {
      char* dst = buffer;
      std::size_t room = sizeof buffer;
      const std::size_t rc = iconv(cd_, &src, &left, &dst, &room);
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) break;
    }
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    return in.size() - left;
  }

 private:
  iconv_t cd_;
};

namespace {

using Converter = TCp932ToUtf8::Converter;

// Length of the UTF-8 sequence that starts with byte b (1 for a stray byte).
std::size_t Utf8SequenceLength(unsigned char b) noexcept {
  if (b >= 0xF0 && b <= 0xF4) return 4;
  if (b >= 0xE0) return b <= 0xEF ? 3 : 1;
  if (b >= 0xC2) return 2;
  return 1;
}

// Converts UTF-8 to CP932, replacing what does not convert with "?"; reports whether it did.
std::string Utf8ToCp932Impl(std::string_view utf8, bool& lossless) {
  Converter conv("CP932", "UTF-8");
  std::string out;
  out.reserve(utf8.size());
  lossless = true;
  while (!utf8.empty()) {
    const std::size_t used = conv.Run(utf8, out);
    utf8.remove_prefix(used);
    if (utf8.empty()) break;
    lossless = false;
    out.push_back('?');
    utf8.remove_prefix(std::min(utf8.size(), Utf8SequenceLength(static_cast<unsigned char>(utf8[0]))));
  }
  return out;
}

}  // namespace

TCp932ToUtf8::TCp932ToUtf8() : converter_(std::make_unique<Converter>("UTF-8", "CP932")) {}
TCp932ToUtf8::~TCp932ToUtf8() = default;

void TCp932ToUtf8::Append(std::string_view cp932, std::string& out) {
  // ASCII is the same in both; most lines of a search result are mostly ASCII at their start.
  std::size_t ascii = 0;
  while (ascii < cp932.size() && static_cast<unsigned char>(cp932[ascii]) < 0x80) ++ascii;
  out.append(cp932.substr(0, ascii));
  cp932.remove_prefix(ascii);
  while (!cp932.empty()) {
    cp932.remove_prefix(converter_->Run(cp932, out));
    if (cp932.empty()) break;
    out += "\xEF\xBF\xBD";
    cp932.remove_prefix(CharLengthAt(cp932, 0));
  }
}

std::string Cp932ToUtf8(std::string_view cp932) {
  std::string out;
  out.reserve(cp932.size() + cp932.size() / 2);
  TCp932ToUtf8().Append(cp932, out);
  return out;
}

std::string Utf8ToCp932(std::string_view utf8) {
  bool lossless = true;
  return Utf8ToCp932Impl(utf8, lossless);
}

std::optional<std::string> Utf8ToCp932Exact(std::string_view utf8) {
  bool lossless = true;
  std::string out = Utf8ToCp932Impl(utf8, lossless);
  if (!lossless) return std::nullopt;
  return out;
}

std::string_view FirstCharWithoutCp932(std::string_view utf8) {
  Converter conv("CP932", "UTF-8");
  std::string out;
  const std::string_view rest = utf8.substr(conv.Run(utf8, out));
  if (rest.empty()) return {};
  return rest.substr(0, std::min(rest.size(), Utf8SequenceLength(static_cast<unsigned char>(rest[0]))));
}

bool IsValidUtf8(std::string_view bytes) noexcept {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    const std::size_t n = Utf8SequenceLength(b);
    if (n == 1 || i + n > bytes.size()) return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
    const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    if ((b == 0xE0 && b1 < 0xA0) || (b == 0xED && b1 >= 0xA0) || (b == 0xF0 && b1 < 0x90) || (b == 0xF4 && b1 >= 0x90))
      return false;
    i += n;
  }
  return true;
}

}  // namespace tarn

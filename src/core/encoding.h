// Conversion between CP932 byte strings and UTF-8, through iconv "CP932".
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarn {

// CP932 to UTF-8 for display and output. Bytes that do not convert never vanish: each such
// character (a lead byte with its trail, or a single byte) becomes U+FFFD.
std::string Cp932ToUtf8(std::string_view cp932);

// The same conversion with one converter kept open, for callers that convert line after line.
class TCp932ToUtf8 {
 public:
  TCp932ToUtf8();
  ~TCp932ToUtf8();
  TCp932ToUtf8(const TCp932ToUtf8&) = delete;
  TCp932ToUtf8& operator=(const TCp932ToUtf8&) = delete;

  // Appends the UTF-8 form of cp932 to out.
  void Append(std::string_view cp932, std::string& out);

  class Converter;  // the iconv descriptor, kept out of this header

 private:
  std::unique_ptr<Converter> converter_;
};

// UTF-8 to CP932. A character that has no CP932 form (or a malformed UTF-8 sequence) becomes "?".
std::string Utf8ToCp932(std::string_view utf8);

// UTF-8 to CP932 only when every character converts; nullopt otherwise.
std::optional<std::string> Utf8ToCp932Exact(std::string_view utf8);

// The first character of a UTF-8 text that has no CP932 form (a malformed sequence counts as
// one), as its bytes within utf8; empty when every character converts. Callers name it to the
// user instead of letting it turn into "?".
std::string_view FirstCharWithoutCp932(std::string_view utf8);

// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes) noexcept;

}  // namespace tarn

// Converting a file's text from its encoding (file_encoding.h) to CP932, block by block, with
// its line ends and NULs kept as they are. A character that has no CP932 form, and every broken
// sequence, becomes the placeholder: a code from a lead-byte area CP932 leaves unassigned, so no
// text typed or converted to CP932 ever holds it, and the display shows it as U+FFFD. It is one
// character to "." and negated classes and no literal matches it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/file_encoding.h"

namespace tarn {

inline constexpr char kNoCp932Lead = '\x85';
inline constexpr char kNoCp932Trail = '\x40';

// The UTF-8 bytes of a CP932 text when each of its characters is converted from that one UTF-8
// form only: then a file in UTF-8 holds the text exactly where its conversion does. nullopt when
// a character has several sources (such as "\" and U+00A5) or none.
std::optional<std::string> Cp932ToUtf8Unique(std::string_view cp932);

class TCp932Decoder {
 public:
  struct Tables;  // the conversion tables, built on first use and never changed after

  explicit TCp932Decoder(FileEncoding encoding);

  // Converts the next bytes of the file into out, which has room for 2 * size bytes, and sets
  // written. Returns how many bytes of in were used: a character cut by the end of in is left
  // for the next call, unless last is set, when it is shown as the placeholder.
  std::size_t Decode(const char* in, std::size_t size, bool last, char* out, std::size_t& written);

 private:
  enum class Iso2022Mode : std::uint8_t { kAscii, kJisX0208, kKana, kOtherDoubleByte };

  std::size_t DecodeUtf8(const unsigned char* in, std::size_t size, bool last, char*& out);
  std::size_t DecodeUtf16(const unsigned char* in, std::size_t size, bool last, bool big_endian, char*& out);
  std::size_t DecodeEucJp(const unsigned char* in, std::size_t size, bool last, char*& out);
  std::size_t DecodeIso2022Jp(const unsigned char* in, std::size_t size, bool last, char*& out);
  void PutUnicode(std::uint32_t code_point, char*& out) const;
  void PutJis(unsigned char row, unsigned char cell, char*& out) const;

  FileEncoding encoding_;
  const Tables& tables_;
  Iso2022Mode mode_ = Iso2022Mode::kAscii;
};

}  // namespace tarn

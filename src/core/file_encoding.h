// The encodings a Japanese text file comes in, and telling which one a file uses from the bytes
// at its head. Everything inside Tarn is CP932; a file in another encoding is converted to it
// (cp932_decoder.h) before it is searched.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tarn {

enum class FileEncoding : std::uint8_t { kCp932, kUtf8, kUtf16Le, kUtf16Be, kEucJp, kIso2022Jp };

// How a search decides a file's encoding: by its head (kAuto), or one encoding for every file.
// kUtf16 takes the byte order from a byte-order mark, else from where the NULs of ASCII stand.
enum class FileEncodingChoice : std::uint8_t { kAuto, kCp932, kUtf8, kUtf16, kEucJp, kIso2022Jp };

// "cp932", "utf-8", "utf-16le", "utf-16be", "euc-jp", "iso-2022-jp".
std::string_view FileEncodingName(FileEncoding encoding) noexcept;
// The inverse of FileEncodingName; nullopt for any other text.
std::optional<FileEncoding> FileEncodingFromName(std::string_view name) noexcept;

// "auto", "cp932", "utf-8", "utf-16", "euc-jp", "iso-2022-jp", and back (ASCII case ignored).
std::string_view FileEncodingChoiceName(FileEncodingChoice choice) noexcept;
std::optional<FileEncodingChoice> FileEncodingChoiceFromName(std::string_view name) noexcept;

// How many bytes at a file's head the encoding is decided from.
inline constexpr std::size_t kEncodingTestBytes = 65536;

struct DetectedEncoding {
  FileEncoding Encoding = FileEncoding::kCp932;
  std::size_t MarkLength = 0;  // the byte-order mark to skip
};

// The byte-order mark at the head, if any (UTF-8, UTF-16 LE or BE).
std::optional<DetectedEncoding> EncodingByMark(std::string_view head) noexcept;

// The encoding of a file whose first bytes are head (whole_file: head is all of it). A mark
// decides; else ISO-2022-JP escapes in 7-bit text; else well-formed UTF-8 with multi-byte
// characters; else EUC-JP when its reading is sound and CP932's is not, or when it reads as kana.
// Plain ASCII and everything else is CP932, so a CP932 file is never read as anything else.
DetectedEncoding DetectFileEncoding(std::string_view head, bool whole_file) noexcept;

// The encoding a choice gives a file with this head.
DetectedEncoding ChosenFileEncoding(FileEncodingChoice choice, std::string_view head, bool whole_file) noexcept;

}  // namespace tarn

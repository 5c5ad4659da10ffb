#include "settings/value_forms.h"

#include <cstdio>

#include "core/encoding.h"
#include "core/sjis.h"

namespace tarn::settings {
namespace {

int HexDigit(char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

char FoldAscii(char c) noexcept { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::optional<std::int32_t> ParseInteger(std::string_view text) noexcept {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  bool hex = false;
  if (!text.empty() && text.front() == '$') {
    hex = true;
    text.remove_prefix(1);
  } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    hex = true;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  const std::uint64_t limit = hex ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
  std::uint64_t magnitude = 0;
  for (const char c : text) {
    const int digit = hex ? HexDigit(c) : ((c >= '0' && c <= '9') ? c - '0' : -1);
    if (digit < 0) return std::nullopt;
    magnitude = magnitude * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    if (magnitude > limit) return std::nullopt;
  }
  auto bits = static_cast<std::uint32_t>(magnitude);
  if (negative) bits = 0u - bits;
  return static_cast<std::int32_t>(bits);
}

std::string FormatInteger(std::int32_t value) { return std::to_string(value); }

std::string FormatBool(bool value) { return value ? "1" : "0"; }

std::string FormatColor(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "$%08X", static_cast<unsigned>(value));
  return text;
}

std::string UnquoteOldValue(std::string_view text) {
  if (!text.empty() && text.front() == '"' && text.back() == '"') {
    if (text.size() == 1) return {};
    return std::string(text.substr(1, text.size() - 2));
  }
  return std::string(text);
}

std::string FoldedName(std::string_view name) {
  std::string folded(name);
  for (std::size_t i = 0; i < folded.size();) {
    const std::size_t len = CharLengthAt(folded, i);
    if (len == 1) folded[i] = FoldAscii(folded[i]);
    i += len;
  }
  return folded;
}

std::string PathText(const std::filesystem::path& path) {
  const std::string& native = path.native();
  return IsValidUtf8(native) ? Utf8ToCp932(native) : native;
}

}  // namespace tarn::settings

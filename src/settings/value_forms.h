// The text forms of settings values: integers, booleans, colours, texts read from the settings
// file, and the unquoting of values written by earlier releases.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tarn::settings {

// A 32-bit integer as the settings file writes it: optional sign, then decimal digits, or "$"
// followed by hexadecimal digits, or "0x"/"0X" followed by hexadecimal digits. Hexadecimal
// values take the full unsigned 32-bit range and wrap into the signed one, so "$80000005" reads
// as the system colour it names. Anything else (empty, stray characters, overflow) is nullopt.
std::optional<std::int32_t> ParseInteger(std::string_view text) noexcept;

std::string FormatInteger(std::int32_t value);
std::string FormatBool(bool value);
// "$" followed by exactly 8 upper-case hexadecimal digits.
std::string FormatColor(std::uint32_t value);

// A value that is at least one character long and begins and ends with a double quote loses both
// (a lone double quote gives the empty text); any other value is returned unchanged.
std::string UnquoteOldValue(std::string_view text);

// The form in which section and key names compare: ASCII letters fold to upper case, double-byte
// characters stay as they are (their trail bytes are never folded).
std::string FoldedName(std::string_view name);

// A native path as CP932 text, for messages.
std::string PathText(const std::filesystem::path& path);

}  // namespace tarn::settings

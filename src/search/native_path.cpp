#include "search/native_path.h"

#include <algorithm>

#include "core/encoding.h"

namespace tarn::search {
namespace {

bool IsAscii(std::string_view s) noexcept {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::string NativeToCp932(std::string_view native) {
  if (IsAscii(native) || !IsValidUtf8(native)) return std::string(native);
  return Utf8ToCp932(native);
}

std::string Cp932ToNative(std::string_view cp932) {
  if (IsAscii(cp932)) return std::string(cp932);
  std::string utf8 = Cp932ToUtf8(cp932);
  // CP932 has no U+FFFD: it marks bytes that are no CP932 text, so those bytes are the name.
  if (utf8.find("\xEF\xBF\xBD") != std::string::npos) return std::string(cp932);
  return utf8;
}

bool NativeRecoverable(std::string_view cp932, std::string_view native) {
  return Cp932ToNative(cp932) == native;
}

std::string_view NativeCharWithoutCp932(std::string_view native) {
  // Name by name: a name that is not UTF-8 is CP932 bytes already.
  while (!native.empty()) {
    const std::string_view name = native.substr(0, native.find('/'));
    native.remove_prefix(std::min(native.size(), name.size() + 1));
    if (IsAscii(name) || !IsValidUtf8(name)) continue;
    if (const std::string_view refused = FirstCharWithoutCp932(name); !refused.empty()) return refused;
  }
  return {};
}

}  // namespace tarn::search

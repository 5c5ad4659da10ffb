#include "search/native_path.h"

#include <sys/stat.h>

#include <algorithm>
#include <optional>

#include "core/encoding.h"

namespace tarn::search {
namespace {

bool IsAscii(std::string_view s) noexcept {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Applies convert to each name of a path; the slashes stay where they are.
template <typename Convert>
std::string ByName(std::string_view path, Convert convert) {
  std::string out;
  out.reserve(path.size());
  for (std::size_t from = 0;;) {
    const std::size_t slash = path.find('/', from);
    out += convert(path.substr(from, slash == std::string_view::npos ? std::string_view::npos : slash - from), out);
    if (slash == std::string_view::npos) return out;
    out += '/';
    from = slash + 1;
  }
}

bool Exists(const std::string& path) {
  struct stat st{};
  return lstat(path.c_str(), &st) == 0;
}

}  // namespace

std::string NativeToCp932(std::string_view native) {
  if (IsAscii(native)) return std::string(native);
  if (IsValidUtf8(native)) return Utf8ToCp932(native);
  return ByName(native, [](std::string_view name, const std::string&) {
    return IsValidUtf8(name) ? Utf8ToCp932(name) : std::string(name);
  });
}

std::string NativeToDisplay(std::string_view native) {
  if (IsValidUtf8(native)) return std::string(native);
  return ByName(native, [](std::string_view name, const std::string&) {
    return IsValidUtf8(name) ? std::string(name) : Cp932ToUtf8(name);
  });
}

std::string DisplayToNative(std::string_view display) {
  if (IsAscii(display)) return std::string(display);
  return ByName(display, [](std::string_view name, const std::string& parent) {
    if (IsAscii(name) || Exists(parent + std::string(name))) return std::string(name);
    std::optional<std::string> cp932 = Utf8ToCp932Exact(name);
    return cp932 && Exists(parent + *cp932) ? *std::move(cp932) : std::string(name);
  });
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

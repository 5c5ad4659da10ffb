#include "core/comma_text.h"

#include <algorithm>

#include "core/sjis.h"

namespace tarn {
namespace {

bool IsBlank(char c) noexcept {
  const auto b = static_cast<unsigned char>(c);
  return b >= 1 && b <= 32;
}

bool NeedsQuotes(std::string_view item) noexcept {
  // Most items hold none of these bytes at all; only those that do need the character walk.
  const bool candidate = std::any_of(item.begin(), item.end(), [](char c) {
    return static_cast<unsigned char>(c) <= 32 || c == '"' || c == ',';
  });
  if (!candidate) return false;
  for (std::size_t i = 0; i < item.size(); i += CharLengthAt(item, i)) {
    if (CharLengthAt(item, i) == 2) continue;
    const char c = item[i];
    if (IsBlank(c) || c == '"' || c == ',') return true;
  }
  return false;
}

}  // namespace

void AppendCommaTextItem(std::string& out, std::string_view item, bool first) {
  if (!first) out += ',';
  if (!NeedsQuotes(item)) {
    out += item;
    return;
  }
  out += '"';
  for (std::size_t i = 0; i < item.size();) {
    const std::size_t len = CharLengthAt(item, i);
    if (len == 1 && item[i] == '"') out += '"';
    out.append(item, i, len);
    i += len;
  }
  out += '"';
}

std::string ToCommaText(const std::vector<std::string>& items) {
  if (items.size() == 1 && items[0].empty()) return "\"\"";
  std::string out;
  for (std::size_t n = 0; n < items.size(); ++n) AppendCommaTextItem(out, items[n], n == 0);
  return out;
}

std::vector<std::string> ParseCommaText(std::string_view text) {
  std::vector<std::string> items;
  std::size_t p = 0;
  const std::size_t n = text.size();
  auto skip_blanks = [&] {
    while (p < n && IsBlank(text[p])) ++p;
  };
  skip_blanks();
  while (p < n && text[p] != '\0') {
    std::string item;
    if (text[p] == '"') {
      ++p;
      while (p < n) {
        const std::size_t len = CharLengthAt(text, p);
        if (len == 1 && text[p] == '"') {
          if (p + 1 < n && text[p + 1] == '"') {
            item += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        item.append(text.substr(p, len));
        p += len;
      }
    } else {
      const std::size_t start = p;
      while (p < n && static_cast<unsigned char>(text[p]) > 32 && text[p] != ',') p += CharLengthAt(text, p);
      item.assign(text.substr(start, p - start));
    }
    items.push_back(std::move(item));
    skip_blanks();
    if (p < n && text[p] == ',') {
      const bool last = p + 1 == n;
      ++p;
      skip_blanks();
      if (last) items.emplace_back();
    }
  }
  return items;
}

}  // namespace tarn

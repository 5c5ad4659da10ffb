#include "core/comma_text.h"

#include <algorithm>
#include <limits>

namespace tarn {
namespace {

bool IsBlank(char c) noexcept {
  const auto b = static_cast<unsigned char>(c);
  return b >= 1 && b <= 32;
}

// Byte-wise: no byte that matters here (0-32, '"', ',') is ever a trail byte, so valid text reads
// as a character walk would, and a lone lead byte cannot take the next byte with it.
bool NeedsQuotes(std::string_view item) noexcept {
  return std::any_of(item.begin(), item.end(), [](char c) {
    return static_cast<unsigned char>(c) <= 32 || c == '"' || c == ',';
  });
}

}  // namespace

void AppendCommaTextItem(std::string& out, std::string_view item, bool first) {
  if (!first) out += ',';
  if (!NeedsQuotes(item)) {
    out += item;
    return;
  }
  out += '"';
  for (const char c : item) {
    if (c == '"') out += '"';
    out += c;
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
  return ParseCommaTextHead(text, std::numeric_limits<std::size_t>::max(), std::numeric_limits<std::size_t>::max());
}

std::vector<std::string> ParseCommaTextHead(std::string_view text, std::size_t maxItems, std::size_t maxItemBytes) {
  std::vector<std::string> items;
  std::size_t p = 0;
  const std::size_t n = text.size();
  auto skip_blanks = [&] {
    while (p < n && IsBlank(text[p])) ++p;
  };
  skip_blanks();
  while (p < n && text[p] != '\0' && items.size() < maxItems) {
    std::string item;
    if (text[p] == '"') {
      ++p;
      while (p < n && item.size() < maxItemBytes) {
        if (text[p] == '"') {
          if (p + 1 < n && text[p + 1] == '"') {
            item += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        item += text[p++];
      }
    } else {
      const std::size_t start = p;
      while (p < n && p - start < maxItemBytes && static_cast<unsigned char>(text[p]) > 32 && text[p] != ',') ++p;
      item.assign(text.substr(start, p - start));
    }
    const bool cut = item.size() >= maxItemBytes;
    items.push_back(std::move(item));
    if (cut) break;
    skip_blanks();
    if (p < n && text[p] == ',') {
      const bool last = p + 1 == n;
      ++p;
      skip_blanks();
      if (last && items.size() < maxItems) items.emplace_back();
    }
  }
  return items;
}

}  // namespace tarn

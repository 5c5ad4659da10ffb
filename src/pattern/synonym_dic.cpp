#include "pattern/synonym_dic.h"

#include <stdexcept>

#include "core/data_file.h"
#include "core/encoding.h"
#include "core/system_text.h"

namespace tarn::pattern {
namespace {

std::string_view TrimControls(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20) s.remove_suffix(1);
  return s;
}

// "ファイル %s は開けません" with the path shown in CP932.
std::string CannotOpenMessage(const std::string& path) {
  const std::string shown = IsValidUtf8(path) ? Utf8ToCp932(path) : path;
  return SystemText("ファイル ") + shown + SystemText(" は開けません");
}

}  // namespace

TREDictionary ParseSynonymDic(std::string_view text) {
  TREDictionary dic;
  std::size_t p = 0;
  while (p < text.size()) {
    std::size_t end = text.find_first_of("\r\n", p);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = TrimControls(text.substr(p, end - p));
    p = end;
    if (p < text.size()) p += text.compare(p, 2, "\r\n") == 0 ? 2 : 1;
    if (line.empty() || line.starts_with("//")) continue;
    dic.push_back(SplitDictionaryLine(std::string(line)));
  }
  return dic;
}

std::optional<TREDictionary> ReadSynonymDic(const std::string& path) {
  // Only a regular file: a FIFO in its place must not block the search.
  std::error_code ec;
  const std::optional<std::string> text = ReadRegularFile(path, ec);
  if (!text && ec == std::errc::no_such_file_or_directory) return std::nullopt;
  if (!text) throw std::runtime_error(CannotOpenMessage(path));
  return ParseSynonymDic(*text);
}

void TSynonymDicOwner::LoadSynonymDic(const std::string& path) {
  auto groups = ReadSynonymDic(path);
  if (!groups) return;
  FreeSynonymDic();
  Dic_ = std::make_unique<TREDictionary>(std::move(*groups));
  for (TRegularExpression* component : Components_) component->SynonymDicList().push_back(Dic_.get());
}

void TSynonymDicOwner::FreeSynonymDic() {
  for (TRegularExpression* component : Components_) component->SynonymDicList().clear();
  Dic_.reset();
}

}  // namespace tarn::pattern

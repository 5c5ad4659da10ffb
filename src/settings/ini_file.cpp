#include "settings/ini_file.h"

#include <algorithm>
#include <system_error>

#include "core/data_file.h"
#include "core/encoding.h"
#include "core/sjis.h"
#include "core/strings.h"
#include "core/system_text.h"
#include "settings/value_forms.h"

namespace tarn::settings {
namespace {

std::string FillPath(std::string_view utf8Format, const std::filesystem::path& path) {
  std::string message = SystemText(utf8Format);
  const std::size_t at = message.find("%s");
  if (at != std::string::npos) message.replace(at, 2, PathText(path));
  return message;
}

// The key of an entry: the text before its first "=", or nothing for a line without one.
std::optional<std::string_view> EntryKey(std::string_view entry) {
  const std::size_t eq = entry.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return entry.substr(0, eq);
}

std::string OneLine(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

// The file's text in CP932: a file saved by a UTF-8 editor (its byte order mark dropped) is
// converted; anything else is taken as CP932 already.
std::string Cp932Text(std::string_view bytes) {
  const bool ascii =
      std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii || !IsValidUtf8(bytes)) return std::string(bytes);
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  return Utf8ToCp932(bytes);
}

}  // namespace

std::string CannotCreateFileMessage(const std::filesystem::path& path) {
  return FillPath("ファイル %s を作成できません", path);
}

std::string CannotOpenFileMessage(const std::filesystem::path& path) {
  return FillPath("ファイル %s は開けません", path);
}

void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
  if (!ReplaceFile(path, bytes)) throw ESettingsFile(CannotCreateFileMessage(path));
}

IniFile IniFile::Parse(std::string_view bytes) {
  const std::string cp932 = Cp932Text(bytes);
  const std::string_view text = cp932;
  IniFile ini;
  Section* current = nullptr;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++pos;

    if (line.empty() || line.front() == ';') continue;
    // A closing "]" that is the trail byte of a double-byte character does not close a section.
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']' && IsCharBoundary(line, line.size() - 1)) {
      current = &ini.SectionFor(Trim(line.substr(1, line.size() - 2)));
      continue;
    }
    if (current == nullptr) continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      current->Entries.emplace_back(line);
    } else {
      std::string entry(Trim(line.substr(0, eq)));
      entry += '=';
      entry += Trim(line.substr(eq + 1));
      AddEntry(*current, std::move(entry));
    }
  }
  return ini;
}

IniFile IniFile::Load(const std::filesystem::path& path) {
  // A directory would read as an empty file and a FIFO would block start-up: neither is a settings file.
  std::error_code ec;
  const std::optional<std::string> bytes = ReadRegularFile(path, ec);
  if (!bytes && ec == std::errc::no_such_file_or_directory) return {};
  if (!bytes) throw ESettingsFile(CannotOpenFileMessage(path));
  return Parse(*bytes);
}

std::string IniFile::ToText() const {
  std::string text;
  for (const Section& section : sections_) {
    text += '[';
    text += section.Name;
    text += "]\r\n";
    for (const std::string& entry : section.Entries) {
      text += entry;
      text += "\r\n";
    }
    text += "\r\n";
  }
  return text;
}

void IniFile::Save(const std::filesystem::path& path) const {
  // Loading refuses anything but a regular file, so saving must not silently replace one.
  if (!IsRegularOrAbsent(path)) throw ESettingsFile(CannotCreateFileMessage(path));
  WriteFileAtomically(path, ToText());
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
  const auto found = sectionIndex_.find(FoldedName(name));
  return found == sectionIndex_.end() ? nullptr : &sections_[found->second];
}

IniFile::Section& IniFile::SectionFor(std::string_view name) {
  const auto [found, added] = sectionIndex_.try_emplace(FoldedName(name), sections_.size());
  if (added) sections_.push_back(Section{std::string(name), {}, {}});
  return sections_[found->second];
}

// Appends the entry; a key already present keeps pointing at its first occurrence.
void IniFile::AddEntry(Section& section, std::string entry) {
  if (const auto key = EntryKey(entry)) section.Keys.try_emplace(FoldedName(*key), section.Entries.size());
  section.Entries.push_back(std::move(entry));
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return std::nullopt;
  const auto entry = found->Keys.find(FoldedName(key));
  if (entry == found->Keys.end()) return std::nullopt;
  const std::string& line = found->Entries[entry->second];
  return line.substr(line.find('=') + 1);
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view fallback) const {
  auto value = Find(section, key);
  return value ? std::move(*value) : std::string(fallback);
}

std::int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, std::int32_t fallback) const {
  const auto value = Find(section, key);
  if (!value) return fallback;
  return ParseInteger(*value).value_or(fallback);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

std::uint32_t IniFile::ReadColor(std::string_view section, std::string_view key, std::uint32_t fallback) const {
  return static_cast<std::uint32_t>(ReadInteger(section, key, static_cast<std::int32_t>(fallback)));
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  const std::string cleanKey = OneLine(key);
  std::string entry = cleanKey + "=" + OneLine(value);
  Section& target = SectionFor(OneLine(section));
  if (const auto existing = target.Keys.find(FoldedName(cleanKey)); existing != target.Keys.end())
    target.Entries[existing->second] = std::move(entry);
  else
    AddEntry(target, std::move(entry));
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
  WriteString(section, key, FormatInteger(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, FormatBool(value));
}

void IniFile::WriteColor(std::string_view section, std::string_view key, std::uint32_t value) {
  WriteString(section, key, FormatColor(value));
}

void IniFile::EraseSection(std::string_view section) {
  const auto found = sectionIndex_.find(FoldedName(section));
  if (found == sectionIndex_.end()) return;
  sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(found->second));
  sectionIndex_.clear();
  for (std::size_t i = 0; i < sections_.size(); ++i) sectionIndex_.emplace(FoldedName(sections_[i].Name), i);
}

bool IniFile::SectionExists(std::string_view section) const { return FindSection(section) != nullptr; }

std::vector<std::string> IniFile::SectionNames() const {
  std::vector<std::string> names;
  for (const Section& section : sections_) names.push_back(section.Name);
  return names;
}

}  // namespace tarn::settings

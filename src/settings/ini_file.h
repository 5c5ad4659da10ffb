// The initialisation file: sections of "key=value" entries, held whole in memory, read
// leniently and written whole in CP932 with CR LF.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarn::settings {

// A settings file that cannot be read or written; the message is CP932 text for the user.
class ESettingsFile : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "ファイル %s を作成できません" / "ファイル %s は開けません" with the path filled in.
std::string CannotCreateFileMessage(const std::filesystem::path& path);
std::string CannotOpenFileMessage(const std::filesystem::path& path);

// Replaces the file with the given bytes as TAtomicFile does. Throws ESettingsFile (cannot create).
void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

class IniFile {
 public:
  IniFile() = default;

  // Reading rules: lines stripped of bytes 0-32, blank and ";" lines skipped, "[name]" opens a
  // section, text before the first section ignored, "key = value" stored as "key=value", a line
  // without "=" kept as it is. Sections of the same name merge into the first. A text that is
  // well-formed UTF-8 holding multi-byte characters (the file was saved by a UTF-8 editor) is
  // read as UTF-8 and held, like any other, in CP932. Time grows linearly with the text.
  static IniFile Parse(std::string_view text);
  // A missing file reads as empty; an existing one that cannot be read throws ESettingsFile.
  static IniFile Load(const std::filesystem::path& path);

  // Every section as "[name]", its entries, then an empty line; every line ends with CR LF.
  std::string ToText() const;
  void Save(const std::filesystem::path& path) const;

  // Section and key names compare without letter case; the first occurrence of a key counts.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key, std::string_view fallback) const;
  // A missing or unreadable number gives the fallback.
  std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t fallback) const;
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;
  std::uint32_t ReadColor(std::string_view section, std::string_view key, std::uint32_t fallback) const;

  // A write replaces an existing key's line in place, appends a new key to its section and a new
  // section at the end. CR and LF in a key or value become blanks, so a value can never break
  // the file into lines of its own.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, std::int32_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  void WriteColor(std::string_view section, std::string_view key, std::uint32_t value);

  void EraseSection(std::string_view section);
  bool SectionExists(std::string_view section) const;
  // Section names in file order.
  std::vector<std::string> SectionNames() const;

 private:
  struct Section {
    std::string Name;
    std::vector<std::string> Entries;                    // "key=value", or a line without "=" kept as read
    std::unordered_map<std::string, std::size_t> Keys;  // folded key name: its first entry
  };
  const Section* FindSection(std::string_view name) const;
  Section& SectionFor(std::string_view name);
  static void AddEntry(Section& section, std::string entry);

  std::vector<Section> sections_;
  std::unordered_map<std::string, std::size_t> sectionIndex_;  // folded section name: its place
};

}  // namespace tarn::settings

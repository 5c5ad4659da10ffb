// Result history: each search run with at least one line is kept as a numbered entry of three
// text files in the Tmp directory, so that Back and Forward can restore it later, also after a
// restart.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/data_file.h"
#include "search/result_export.h"

namespace tarn::search {

// The search request of an entry, as the seven lines of "ParamList." + n.
struct TResultHistoryRequest {
  std::string FindString;
  std::string FindDirectory;
  std::string FindFileMask;  // as typed, not split
  bool FindSubDirectory = true;
  std::string FindDirectoryMask;
  bool UseFuzzyCharDic = false;
  bool UseSynonymDic = false;
};

struct TResultHistoryEntry {
  TResultHistoryRequest Request;
  std::vector<std::string> ResultLineInfos;  // "GerpList." + n
  std::vector<std::string> ResultLines;      // "ResultList." + n
};

// Lines to write, read one at a time where they are kept, so that a large result is never copied.
struct TLineSource {
  std::size_t Count = 0;
  std::function<std::string_view(std::size_t)> At;
};

// Writes the three files of entry n into tmpDirectory. A CR or LF inside a value or a line is
// written as a blank: the files are line-oriented, and a line break must not shift the request
// lines or break the pairing of result lines and their entries. A record's path keeps its line
// breaks in the form ResultLineInfoOnOneLine gives, which LoadResultHistory reads back.
// Throws EResultFile.
void SaveResultHistory(const std::filesystem::path& tmpDirectory, std::int32_t n, const TResultHistoryEntry& entry);
void SaveResultHistory(const std::filesystem::path& tmpDirectory, std::int32_t n, const TResultHistoryRequest& request,
                       const TLineSource& resultLineInfos, const TLineSource& resultLines);

// An entry written while its rows come in, so that only the last stretch and the renames are
// left when the run ends. The two large files grow in Tmp under temporary names that no entry
// count ever takes for an entry's, and that go when the writer does unless Finish gave them
// their number. The bytes are those SaveResultHistory writes.
class TResultHistoryWriter {
 public:
  explicit TResultHistoryWriter(const std::filesystem::path& tmpDirectory);

  void Add(std::string_view line, std::string_view info);
  // Rows added so far.
  std::size_t Count() const noexcept { return count_; }
  // Writes "ParamList." + n and gives the two files the number n. Throws EResultFile naming the
  // file that could not be made, as SaveResultHistory does.
  void Finish(std::int32_t n, const TResultHistoryRequest& request);

 private:
  std::filesystem::path tmpDirectory_;
  TAtomicFile infos_;
  TAtomicFile lines_;
  std::string infoBuffer_;
  std::string lineBuffer_;
  std::size_t count_ = 0;
  bool ok_ = true;
};

// Reads the three files of entry n. "ResultList." keeps every byte but a 0x1A that ends it, as
// the result view's loader reads it; it cannot hold more lines than "GerpList.". A missing or unreadable
// file, a "ParamList." cut short or a switch line that is not a number throws EResultFile with a
// message naming the file.
TResultHistoryEntry LoadResultHistory(const std::filesystem::path& tmpDirectory, std::int32_t n);

// The entry numbers: First and Last persist in the settings; Current is the entry shown, with
// Last + 1 standing for the state after start-up.
class TResultHistoryIndex {
 public:
  TResultHistoryIndex() = default;
  // The indexes at start-up: Current := Last + 1 when Last >= 1, else 0.
  static TResultHistoryIndex AtStartUp(std::int32_t first, std::int32_t last);

  std::int32_t First() const noexcept { return first_; }
  std::int32_t Last() const noexcept { return last_; }
  std::int32_t Current() const noexcept { return current_; }

  // The number for a new entry: Last + 1, which becomes Current (and First when there was none).
  // Throws EResultFile when the numbers are exhausted.
  std::int32_t AddEntry();
  bool CanGoBack() const noexcept { return first_ < current_; }
  bool CanGoForward() const noexcept { return current_ < last_; }
  // The entry to load, with Current moved; nullopt when there is none in that direction.
  std::optional<std::int32_t> GoBack() noexcept;
  std::optional<std::int32_t> GoForward() noexcept;
  void Clear() noexcept { first_ = last_ = current_ = 0; }

 private:
  std::int32_t first_ = 0;
  std::int32_t last_ = 0;
  std::int32_t current_ = 0;
};

// Deletes everything inside the Tmp directory when it exists; Tmp itself stays. A Tmp that is a
// symbolic link is removed as a link, and nothing it points at is touched.
bool ClearResultHistoryFiles(const std::filesystem::path& tmpDirectory);

// Deletes every entry of dir (read-only files included; a file that cannot be deleted is
// skipped); a sub-directory that cannot be removed stops it with false. Dir itself stays. An
// empty or unlistable dir gives false.
bool DeleteDirectoryContents(const std::filesystem::path& dir);
// As DeleteDirectoryContents, then removes dir itself.
bool DeleteDirectoryTree(const std::filesystem::path& dir);

}  // namespace tarn::search

#include "search/result_history.h"

#include <sys/stat.h>

#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>
#include <utility>

#include "core/comma_text.h"
#include "core/data_file.h"
#include "core/system_text.h"
#include "search/result_lines.h"

namespace tarn::search {
namespace fs = std::filesystem;
namespace {

fs::path EntryFile(const fs::path& dir, const char* stem, std::int32_t n) {
  return dir / (std::string(stem) + "." + std::to_string(n));
}

[[noreturn]] void ThrowDamaged(const fs::path& path) {
  throw EResultFile(FileMessage("検索結果履歴ファイル %s が壊れています", path));
}

std::string OneLine(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

// Nearly every line has none: two vector passes find that out faster than a look at each byte.
bool HasLineBreak(std::string_view text) {
  return !text.empty() &&
         (std::memchr(text.data(), '\n', text.size()) != nullptr || std::memchr(text.data(), '\r', text.size()) != nullptr);
}

constexpr std::size_t kFlushAt = 1 << 20;

// The line on one line of its own, ended by CR LF. Records keep a path with a line break in a
// form that reads back whole.
void AppendOneLine(std::string& buffer, std::string_view line, bool records) {
  if (!HasLineBreak(line)) {
    buffer += line;
  } else {
    const std::size_t from = buffer.size();
    if (records)
      buffer += ResultLineInfoOnOneLine(line);
    else
      buffer += line;
    for (std::size_t k = from; k < buffer.size(); ++k)
      if (buffer[k] == '\r' || buffer[k] == '\n') buffer[k] = ' ';
  }
  buffer += "\r\n";
}

// Streamed through a buffer into the file that replaces the old one only when whole.
void WriteOneLineEach(const fs::path& path, const TLineSource& lines, bool records) {
  if (!IsRegularOrAbsent(path)) throw EResultFile(CannotCreateFileText(path));
  TAtomicFile out(path);
  std::string buffer;
  bool ok = true;
  for (std::size_t i = 0; i < lines.Count && ok; ++i) {
    AppendOneLine(buffer, lines.At(i), records);
    if (buffer.size() >= kFlushAt) {
      ok = out.Write(buffer);
      buffer.clear();
    }
  }
  if (!ok || !out.Write(buffer) || !out.Commit()) throw EResultFile(CannotCreateFileText(path));
}

void WriteParamList(const fs::path& tmpDirectory, std::int32_t n, const TResultHistoryRequest& r) {
  WriteLinesFile(EntryFile(tmpDirectory, "ParamList", n),
                 {OneLine(r.FindString), OneLine(r.FindDirectory), OneLine(r.FindFileMask), r.FindSubDirectory ? "1" : "0",
                  OneLine(r.FindDirectoryMask), r.UseFuzzyCharDic ? "1" : "0", r.UseSynonymDic ? "1" : "0"});
}

TLineSource SourceOf(const std::vector<std::string>& lines) {
  return {lines.size(), [&lines](std::size_t i) { return std::string_view(lines[i]); }};
}

std::string ReadWholeFile(const fs::path& path) {
  std::error_code ec;
  std::optional<std::string> bytes = ReadRegularFile(path, ec);
  if (!bytes) throw EResultFile(FileMessage("ファイル %s は開けません", path));
  return std::move(*bytes);
}

// CR LF, a lone CR or a lone LF end a line; a last line without a line end still counts.
std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(pos, end - pos));
    pos = end + 1;
    if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++pos;
  }
  return lines;
}

std::optional<long long> ParseWhole(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

bool ParseSwitch(std::string_view text, const fs::path& path) {
  const auto value = ParseWhole(text);
  if (!value || *value < std::numeric_limits<std::int32_t>::min() || *value > std::numeric_limits<std::int32_t>::max())
    ThrowDamaged(path);
  return *value != 0;
}

// Every entry must carry the five fields with numbers where the editor launch and the export
// expect them.
void CheckResultLineInfos(const std::vector<std::string>& infos, const fs::path& path) {
  for (const std::string& info : infos) {
    const std::vector<std::string> fields = ParseCommaText(info);
    if (fields.size() < 5 || !ParseWhole(fields[0]) || !ParseWhole(fields[1]) || !ParseWhole(fields[4]))
      ThrowDamaged(path);
  }
}

void AllowChanges(const fs::path& dir) {
  struct stat st {};
  if (::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_IRWXU) != S_IRWXU)
    ::chmod(dir.c_str(), (st.st_mode & 07777) | S_IRWXU);
}

bool DeleteEntriesOf(const fs::path& dir) {
  if (dir.empty()) return false;
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  if (ec) return false;
  std::vector<std::pair<fs::path, bool>> entries;  // path, is a directory; in listing order
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) return false;
    // A symbolic link is removed as a link, never followed out of the directory.
    std::error_code statEc;
    entries.emplace_back(it->path(), it->symlink_status(statEc).type() == fs::file_type::directory);
  }
  if (ec) return false;
  for (const auto& [path, isDirectory] : entries) {
    if (isDirectory) {
      if (!DeleteDirectoryTree(path)) return false;
    } else {
      std::error_code removeEc;
      fs::remove(path, removeEc);
    }
  }
  return true;
}

}  // namespace

void SaveResultHistory(const fs::path& tmpDirectory, std::int32_t n, const TResultHistoryEntry& entry) {
  SaveResultHistory(tmpDirectory, n, entry.Request, SourceOf(entry.ResultLineInfos), SourceOf(entry.ResultLines));
}

void SaveResultHistory(const fs::path& tmpDirectory, std::int32_t n, const TResultHistoryRequest& r,
                       const TLineSource& resultLineInfos, const TLineSource& resultLines) {
  WriteParamList(tmpDirectory, n, r);
  WriteOneLineEach(EntryFile(tmpDirectory, "GerpList", n), resultLineInfos, true);
  WriteOneLineEach(EntryFile(tmpDirectory, "ResultList", n), resultLines, false);
}

TResultHistoryWriter::TResultHistoryWriter(const fs::path& tmpDirectory)
    : tmpDirectory_(tmpDirectory),
      infos_(tmpDirectory / "Writing.GerpList"),
      lines_(tmpDirectory / "Writing.ResultList") {}

void TResultHistoryWriter::Add(std::string_view line, std::string_view info) {
  AppendOneLine(lineBuffer_, line, false);
  AppendOneLine(infoBuffer_, info, true);
  ++count_;
  if (lineBuffer_.size() >= kFlushAt) {
    ok_ = lines_.Write(lineBuffer_) && ok_;
    lineBuffer_.clear();
  }
  if (infoBuffer_.size() >= kFlushAt) {
    ok_ = infos_.Write(infoBuffer_) && ok_;
    infoBuffer_.clear();
  }
}

void TResultHistoryWriter::Finish(std::int32_t n, const TResultHistoryRequest& request) {
  WriteParamList(tmpDirectory_, n, request);
  const auto commit = [n, this](TAtomicFile& file, std::string& buffer, const char* stem) {
    const fs::path path = EntryFile(tmpDirectory_, stem, n);
    if (!ok_ || !IsRegularOrAbsent(path) || !file.Write(buffer) || !file.CommitAs(path))
      throw EResultFile(CannotCreateFileText(path));
    buffer.clear();
  };
  commit(infos_, infoBuffer_, "GerpList");
  commit(lines_, lineBuffer_, "ResultList");
}

TResultHistoryEntry LoadResultHistory(const fs::path& tmpDirectory, std::int32_t n) {
  TResultHistoryEntry entry;
  const fs::path gerpPath = EntryFile(tmpDirectory, "GerpList", n);
  entry.ResultLineInfos = SplitLines(ReadWholeFile(gerpPath));
  CheckResultLineInfos(entry.ResultLineInfos, gerpPath);
  for (std::string& info : entry.ResultLineInfos)
    if (info.find('%') != std::string::npos) info = ResultLineInfoFromOneLine(info);

  const fs::path resultPath = EntryFile(tmpDirectory, "ResultList", n);
  const std::string resultText = ReadWholeFile(resultPath);
  entry.ResultLines = SplitLines(WithoutEndMark(resultText));
  if (entry.ResultLines.size() > entry.ResultLineInfos.size()) ThrowDamaged(gerpPath);

  const fs::path paramPath = EntryFile(tmpDirectory, "ParamList", n);
  const std::vector<std::string> params = SplitLines(ReadWholeFile(paramPath));
  if (params.size() < 7) ThrowDamaged(paramPath);
  TResultHistoryRequest& r = entry.Request;
  r.FindString = params[0];
  r.FindDirectory = params[1];
  r.FindFileMask = params[2];
  r.FindSubDirectory = ParseSwitch(params[3], paramPath);
  r.FindDirectoryMask = params[4];
  r.UseFuzzyCharDic = ParseSwitch(params[5], paramPath);
  r.UseSynonymDic = ParseSwitch(params[6], paramPath);
  return entry;
}

TResultHistoryIndex TResultHistoryIndex::AtStartUp(std::int32_t first, std::int32_t last) {
  TResultHistoryIndex index;
  index.first_ = first;
  index.last_ = last;
  index.current_ = last < 1 ? 0 : (last < std::numeric_limits<std::int32_t>::max() ? last + 1 : last);
  return index;
}

std::int32_t TResultHistoryIndex::AddEntry() {
  if (last_ == std::numeric_limits<std::int32_t>::max())
    throw EResultFile(SystemText("検索結果履歴の番号が上限に達しました"));
  // A negative Last can only come from a hand-edited settings file; numbering starts afresh.
  if (last_ < 0) last_ = 0;
  ++last_;
  current_ = last_;
  if (first_ == 0) first_ = 1;
  return last_;
}

std::optional<std::int32_t> TResultHistoryIndex::GoBack() noexcept {
  if (!CanGoBack()) return std::nullopt;
  return --current_;
}

std::optional<std::int32_t> TResultHistoryIndex::GoForward() noexcept {
  if (!CanGoForward()) return std::nullopt;
  return ++current_;
}

bool ClearResultHistoryFiles(const fs::path& tmpDirectory) {
  // A Tmp that is a symbolic link is never followed: emptying what it points at could delete
  // the user's own files (a data directory of "~" would empty "~/Tmp"). Only the link goes; the
  // next entry makes a real Tmp.
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(tmpDirectory, ec);
  if (fs::is_symlink(status)) return fs::remove(tmpDirectory, ec) && !ec;
  if (!fs::is_directory(status)) return false;
  return DeleteDirectoryContents(tmpDirectory);
}

bool DeleteDirectoryContents(const fs::path& dir) { return DeleteEntriesOf(dir); }

bool DeleteDirectoryTree(const fs::path& dir) {
  if (dir.empty()) return false;
  AllowChanges(dir);
  if (!DeleteEntriesOf(dir)) return false;
  std::error_code ec;
  return fs::remove(dir, ec) && !ec;
}

}  // namespace tarn::search

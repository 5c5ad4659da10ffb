#include "storage/result_storage.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <system_error>

#include "settings/settings_file.h"

namespace tarn::storage {
namespace {

namespace fs = std::filesystem;

constexpr const char* kEntryStems[] = {"ParamList.", "GerpList.", "ResultList."};

// Held for as long as the object lives; the kernel drops it should the program die.
class HistoryLock {
 public:
  explicit HistoryLock(const fs::path& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600)) {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) Fail(path);
    while (::flock(fd_, LOCK_EX) != 0)
      if (errno != EINTR) Fail(path);
  }
  HistoryLock(const HistoryLock&) = delete;
  HistoryLock& operator=(const HistoryLock&) = delete;
  ~HistoryLock() { ::close(fd_); }

 private:
  [[noreturn]] void Fail(const fs::path& path) {
    if (fd_ >= 0) ::close(fd_);
    throw search::EResultFile(search::CannotCreateFileText(path));
  }
  int fd_;
};

// The highest entry number any file in Tmp carries, 0 when there is none.
std::int32_t HighestEntryIn(const fs::path& tmp) {
  std::int32_t highest = 0;
  std::error_code ec;
  for (fs::directory_iterator it(tmp, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    for (const std::string_view stem : kEntryStems) {
      if (!name.starts_with(stem)) continue;
      std::int32_t n = 0;
      const char* digits = name.data() + stem.size();
      const auto [last, err] = std::from_chars(digits, name.data() + name.size(), n);
      if (err == std::errc{} && last == name.data() + name.size()) highest = std::max(highest, n);
    }
  }
  return highest;
}

void RemoveEntryFiles(const fs::path& tmp, std::int32_t n) {
  std::error_code ec;
  for (const std::string_view stem : kEntryStems) fs::remove(tmp / (std::string(stem) + std::to_string(n)), ec);
}

}  // namespace

std::int32_t AllocateResultHistoryEntry(const settings::DataLocations& locations, const std::function<void(std::int32_t n)>& write) {
  const auto settingsFile = locations.SettingsFilePath();
  const fs::path tmp = locations.TmpDirectoryPath();
  const HistoryLock lock(locations.DataDirectory() / "Tmp.lock");
  const settings::TResultHistoryCounters counters = settings::LoadResultHistoryCounters(settingsFile);
  auto index = search::TResultHistoryIndex::AtStartUp(counters.First, std::max(counters.Last, HighestEntryIn(tmp)));
  const std::int32_t n = index.AddEntry();
  // Files of a number the counters do not record would be counted by the next entry and turn
  // up later as an entry no one saw stored: they go unless the counters are written too.
  try {
    write(n);
    settings::SaveResultHistoryCounters(settingsFile, index.First(), index.Last());
  } catch (...) {
    RemoveEntryFiles(tmp, n);
    throw;
  }
  return n;
}

std::int32_t AddResultHistoryEntry(const settings::DataLocations& locations, const search::TResultHistoryEntry& entry) {
  if (entry.ResultLines.empty()) return 0;
  return AllocateResultHistoryEntry(
      locations, [&](std::int32_t n) { search::SaveResultHistory(locations.TmpDirectoryPath(), n, entry); });
}

search::THtmlStyle HtmlStyleOf(const settings::TFindResultInfo& info) {
  return search::THtmlStyle{info.BackColor, info.FontColor, info.StringFontColor,
                            info.StringStyleBold, info.StringStyleItalic, info.StringStyleUnderline};
}

}  // namespace tarn::storage

#include "search/findf.h"

#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "core/sjis.h"
#include "search/native_path.h"
#include "search/wildcard.h"

namespace tarn::search {
namespace {

constexpr std::int64_t kUnixEpochInFileTimeSeconds = 11644473600;
constexpr std::uint32_t kDefaultFrom = (0U << 25) | (1U << 21) | (1U << 16);
constexpr std::uint32_t kDefaultTo = (119U << 25) | (12U << 21) | (31U << 16) | (23U << 11) | (59U << 5) | 29U;

FileTime ToFileTime(std::int64_t seconds, std::uint32_t nanoseconds) {
  const std::int64_t since_1601 = seconds + kUnixEpochInFileTimeSeconds;
  if (since_1601 < 0) return 0;
  return static_cast<FileTime>(since_1601) * 10000000U + nanoseconds / 100U;
}

// Position of the last "/" standing as a single-byte character, or npos.
std::size_t LastSlash(std::string_view path) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); i += CharLengthAt(path, i))
    if (path[i] == '/') found = i;
  return found;
}

bool IsDotOrDotDot(std::string_view name) { return name == "." || name == ".."; }

// statx where the system offers it; fstatat (without a birth time) where statx is missing or
// refused by a sandbox, so a listing never comes out silently empty.
int StatEntry(int dir_fd, const char* native_name, int flags, struct statx& sx) {
  const int rc = statx(dir_fd, native_name, AT_STATX_SYNC_AS_STAT | flags, STATX_BASIC_STATS | STATX_BTIME, &sx);
  if (rc == 0 || (errno != ENOSYS && errno != EPERM)) return rc;
  struct stat st {};
  if (fstatat(dir_fd, native_name, &st, flags) != 0) return -1;
  sx = {};
  sx.stx_mask = STATX_BASIC_STATS;
  sx.stx_mode = static_cast<std::uint16_t>(st.st_mode);
  sx.stx_size = static_cast<std::uint64_t>(st.st_size);
  sx.stx_mtime = {st.st_mtim.tv_sec, static_cast<std::uint32_t>(st.st_mtim.tv_nsec), 0};
  sx.stx_atime = {st.st_atim.tv_sec, static_cast<std::uint32_t>(st.st_atim.tv_nsec), 0};
  sx.stx_dev_major = major(st.st_dev);
  sx.stx_dev_minor = minor(st.st_dev);
  sx.stx_ino = st.st_ino;
  return 0;
}

// Fills the fields of an entry; false when the entry vanished meanwhile. The kind of entry comes
// from the listing (d_type) where it says; the system is asked only for what it leaves open and
// for the details asked for.
bool Describe(int dir_fd, const DirListing::Entry& entry, std::uint8_t details, TFindData& data) {
  const char* native_name = entry.Name;
  std::uint32_t attributes = native_name[0] == '.' ? kAttrHidden : 0;
  // A symbolic link is what it leads to; an unknown kind must be asked for.
  const bool known = entry.Type != DT_UNKNOWN && entry.Type != DT_LNK;
  const bool directory_entry = entry.Type == DT_DIR;
  // "." and ".." are never walked into, so the walk needs no identity of theirs.
  const bool dots = IsDotOrDotDot(native_name);
  const bool need_stat = !known || (details & (fdTimes | fdSize | fdIdentity)) != 0 ||
                         ((details & fdDirectoryIdentity) != 0 && directory_entry && !dots);
  if (need_stat) {
    struct statx sx {};
    if (StatEntry(dir_fd, native_name, 0, sx) != 0 && StatEntry(dir_fd, native_name, AT_SYMLINK_NOFOLLOW, sx) != 0)
      return false;
    const bool directory = S_ISDIR(sx.stx_mode);
    const bool regular = S_ISREG(sx.stx_mode);
    if (directory) attributes |= kAttrDirectory;
    if (regular) attributes |= kAttrArchive;
    if (!directory && !regular) attributes |= kAttrSystem;
    if ((details & fdTimes) != 0) {
      data.LastWriteTime = ToFileTime(sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec);
      data.LastAccessTime = ToFileTime(sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec);
      data.CreationTime = (sx.stx_mask & STATX_BTIME) != 0 ? ToFileTime(sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec) : 0;
    }
    if ((details & fdSize) != 0) {
      const std::uint64_t size = directory ? 0 : sx.stx_size;
      data.SizeHigh = static_cast<std::uint32_t>(size >> 32);
      data.SizeLow = static_cast<std::uint32_t>(size);
    }
    if ((details & fdIdentity) != 0 || ((details & fdDirectoryIdentity) != 0 && directory && !dots)) {
      data.Device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
      data.Inode = sx.stx_ino;
    }
  } else if (directory_entry) {
    attributes |= kAttrDirectory;
  } else if (entry.Type == DT_REG) {
    attributes |= kAttrArchive;
  } else {
    attributes |= kAttrSystem;  // FIFO, socket, device
  }
  if ((details & fdReadOnly) != 0 && faccessat(dir_fd, native_name, W_OK, AT_EACCESS) != 0) attributes |= kAttrReadOnly;
  data.Attributes = attributes;
  return true;
}

// Local midnight of today plus the given number of days, as a file time.
FileTime LocalMidnight(int days_ahead) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  local.tm_hour = 0;
  local.tm_min = 0;
  local.tm_sec = 0;
  local.tm_mday += days_ahead;
  local.tm_isdst = -1;
  return ToFileTime(std::mktime(&local), 0);
}

FileTime BoundFromPacked(std::uint32_t packed, std::uint32_t default_packed) {
  return PackedLocalTimeToFileTime(packed == 0 ? default_packed : packed);
}

}  // namespace

FileTime PackedLocalTimeToFileTime(std::uint32_t packed) {
  std::tm local{};
  local.tm_year = static_cast<int>(packed >> 25) + 80;
  local.tm_mon = static_cast<int>(packed >> 21 & 0x0F) - 1;
  local.tm_mday = static_cast<int>(packed >> 16 & 0x1F);
  local.tm_hour = static_cast<int>(packed >> 11 & 0x1F);
  local.tm_min = static_cast<int>(packed >> 5 & 0x3F);
  local.tm_sec = static_cast<int>(packed & 0x1F) * 2;
  local.tm_isdst = -1;
  return ToFileTime(std::mktime(&local), 0);
}

std::uint32_t FileTimeToPackedLocalTime(FileTime time) {
  const std::time_t seconds = static_cast<std::time_t>(time / 10000000U) - kUnixEpochInFileTimeSeconds;
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return 0;
  const int year = local.tm_year + 1900;
  if (year < 1980) return kDefaultFrom;
  if (year > 2107) return 0xFF9FBF7DU;  // 2107-12-31 23:59:58, the last packed value
  return static_cast<std::uint32_t>(year - 1980) << 25 | static_cast<std::uint32_t>(local.tm_mon + 1) << 21 |
         static_cast<std::uint32_t>(local.tm_mday) << 16 | static_cast<std::uint32_t>(local.tm_hour) << 11 |
         static_cast<std::uint32_t>(local.tm_min) << 5 | static_cast<std::uint32_t>(local.tm_sec / 2);
}

// ---------------------------------------------------------------------------------------------
// TFindFirstLoop

void TFindFirstLoop::SetPath(std::string path, std::string native_dir) {
  if (running_) return;
  path_ = std::move(path);
  native_dir_ = std::move(native_dir);
}

int TFindFirstLoop::Run() {
  if (!OnFind) return 0;
  std::vector<char> buffer;
  const int fd = OpenDirectory(AT_FDCWD, NativeDir().c_str());
  DirListing listing(fd, errno, buffer);
  return Run(listing);
}

std::string TFindFirstLoop::NativeDir() const {
  if (!native_dir_.empty()) return native_dir_;
  const std::size_t slash = LastSlash(path_);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return Cp932ToNative(std::string_view(path_).substr(0, slash));
}

int TFindFirstLoop::Run(DirListing& listing) {
  if (!OnFind || !listing.IsOpen()) return 0;
  running_ = true;
  struct ClearRunning {
    bool& flag;
    int& dir_fd;
    ~ClearRunning() {
      flag = false;
      dir_fd = -1;
    }
  } clear_running{running_, dir_fd_};

  const std::size_t slash = LastSlash(path_);
  const std::string pattern = slash == std::string::npos ? path_ : path_.substr(slash + 1);
  // "*" and "*.*" match every name: the directory loop of a tree walk lists with "*.*".
  const bool every_name = pattern == "*" || pattern == "*.*";
  Wildcard wildcard(pattern);
  const int dir_fd = listing.Descriptor();
  dir_fd_ = dir_fd;
  bool first = true;
  DirListing::Entry entry{};
  int error = 0;
  while (listing.Next(entry, error)) {
    TFindData data;
    data.NativeFileName = entry.Name;
    data.FileName = NativeToCp932(data.NativeFileName);
    if (!every_name && !wildcard.Matches(data.FileName)) continue;
    if (!Describe(dir_fd, entry, Details, data)) continue;
    bool cancel = false;
    OnFind(*this, data, cancel);
    if (cancel) {
      if (ExceptionOnCancel) throw EFindFirstLoopCancel(first ? "TFindFirstLoop Cancelled" : "Search Canceled");
      return kFindCancelled;
    }
    first = false;
  }
  return error;
}

// ---------------------------------------------------------------------------------------------
// TFindFile

TFindFile::TFindFile()
    : from_last_write_(LocalMidnight(0)),
      to_last_write_(LocalMidnight(1)),
      from_creation_(from_last_write_),
      to_creation_(to_last_write_),
      from_last_access_(from_last_write_),
      to_last_access_(to_last_write_) {
  file_loop_.OnFind = [this](TFindFirstLoop&, const TFindData& data, bool& cancel) { FileEntryFound(data, cancel); };
  dir_loop_.OnFind = [this](TFindFirstLoop&, const TFindData& data, bool& cancel) { DirEntryFound(data, cancel); };
}

std::uint32_t TFindFile::FromLastWriteTime() const { return FileTimeToPackedLocalTime(from_last_write_); }
std::uint32_t TFindFile::ToLastWriteTime() const { return FileTimeToPackedLocalTime(to_last_write_); }
std::uint32_t TFindFile::FromCreationTime() const { return FileTimeToPackedLocalTime(from_creation_); }
std::uint32_t TFindFile::ToCreationTime() const { return FileTimeToPackedLocalTime(to_creation_); }
std::uint32_t TFindFile::FromLastAccessTime() const { return FileTimeToPackedLocalTime(from_last_access_); }
std::uint32_t TFindFile::ToLastAccessTime() const { return FileTimeToPackedLocalTime(to_last_access_); }
void TFindFile::SetFromLastWriteTime(std::uint32_t packed) { from_last_write_ = BoundFromPacked(packed, kDefaultFrom); }
void TFindFile::SetToLastWriteTime(std::uint32_t packed) { to_last_write_ = BoundFromPacked(packed, kDefaultTo); }
void TFindFile::SetFromCreationTime(std::uint32_t packed) { from_creation_ = BoundFromPacked(packed, kDefaultFrom); }
void TFindFile::SetToCreationTime(std::uint32_t packed) { to_creation_ = BoundFromPacked(packed, kDefaultTo); }
void TFindFile::SetFromLastAccessTime(std::uint32_t packed) { from_last_access_ = BoundFromPacked(packed, kDefaultFrom); }
void TFindFile::SetToLastAccessTime(std::uint32_t packed) { to_last_access_ = BoundFromPacked(packed, kDefaultTo); }

void TFindFile::SetBaseDir(std::string_view base_dir) {
  if (base_dir.empty()) return;
  if (base_dir.size() >= 2) {
    const std::size_t slash = LastSlash(base_dir);
    if (slash == base_dir.size() - 1) base_dir.remove_suffix(1);
  }
  base_dir_ = std::string(base_dir);
  native_base_dir_ = Cp932ToNative(base_dir_);
}

void TFindFile::SetNativeBaseDir(std::string_view native_base_dir) {
  if (native_base_dir.empty()) return;
  if (native_base_dir.size() >= 2 && native_base_dir.back() == '/') native_base_dir.remove_suffix(1);
  native_base_dir_ = std::string(native_base_dir);
  base_dir_ = NativeToCp932(native_base_dir_);
}

void TFindFile::SetCurrent(std::string dir, std::string native_dir) {
  current_dir_ = std::move(dir);
  current_native_dir_ = std::move(native_dir);
  if (OnEnterDirectory) OnEnterDirectory();
}

void TFindFile::CopySettingsFrom(const TFindFile& other) {
  from_last_write_ = other.from_last_write_;
  to_last_write_ = other.to_last_write_;
  from_creation_ = other.from_creation_;
  to_creation_ = other.to_creation_;
  from_last_access_ = other.from_last_access_;
  to_last_access_ = other.to_last_access_;
  base_dir_ = other.base_dir_;
  native_base_dir_ = other.native_base_dir_;
  MinSize = other.MinSize;
  MaxSize = other.MaxSize;
  AttrReadOnly = other.AttrReadOnly;
  AttrArchive = other.AttrArchive;
  AttrDirectory = other.AttrDirectory;
  AttrHidden = other.AttrHidden;
  AttrSystem = other.AttrSystem;
  Conditions = other.Conditions;
  SearchSubDir = other.SearchSubDir;
  FileMask = other.FileMask;
  DirMask = other.DirMask;
  OnFindDetails = other.OnFindDetails;
  DirectoryOpener = other.DirectoryOpener;
}

int TFindFile::Run() {
  if (!OnFind) return 0;
  checks_.clear();
  if (Conditions.Contains(fcLastWriteTime)) checks_.push_back(Check::kLastWriteTime);
  if (Conditions.Contains(fcCreationTime)) checks_.push_back(Check::kCreationTime);
  if (Conditions.Contains(fcLastAccessTime)) checks_.push_back(Check::kLastAccessTime);
  if (Conditions.Contains(fcSize)) checks_.push_back(Check::kSize);
  const std::pair<TFindFileCondition, std::pair<std::uint32_t, bool>> attribute_conditions[] = {
      {fcArchive, {kAttrArchive, AttrArchive}},    {fcDirectory, {kAttrDirectory, AttrDirectory}},
      {fcHidden, {kAttrHidden, AttrHidden}},       {fcReadOnly, {kAttrReadOnly, AttrReadOnly}},
      {fcSystem, {kAttrSystem, AttrSystem}},
  };
  must_have_ = 0;
  must_not_have_ = 0;
  bool any_attribute = false;
  for (const auto& [condition, bit_and_wanted] : attribute_conditions) {
    if (!Conditions.Contains(condition)) continue;
    any_attribute = true;
    (bit_and_wanted.second ? must_have_ : must_not_have_) |= bit_and_wanted.first;
  }
  if (any_attribute) checks_.push_back(Check::kAttributes);
  std::uint8_t details = OnFindDetails;
  if (Conditions.Contains(fcLastWriteTime) || Conditions.Contains(fcCreationTime) || Conditions.Contains(fcLastAccessTime))
    details |= fdTimes;
  if (Conditions.Contains(fcSize)) details |= fdSize;
  if (Conditions.Contains(fcReadOnly)) details |= fdReadOnly;
  file_loop_.Details = details;
  // The walk needs to know only which entries are directories, and where a directory lies.
  dir_loop_.Details = fdDirectoryIdentity;

  CancelRequested = false;
  const int result = SearchSubDir ? TreeWalk() : FlatWalk();
  if (result == kFindCancelled && ExceptionOnCancel) throw EFindFileCancel("TFindFile.Run Cancelled");
  return result;
}

int TFindFile::ListFailed(int error) {
  if (error != 0 && error != kFindCancelled && OnListError) OnListError(current_dir_, error);
  return error;
}

int TFindFile::FlatWalk() {
  // The root is listed as "" so that the paths under it read "/name".
  SetCurrent(base_dir_ == "/" ? "" : base_dir_, native_base_dir_ == "/" ? "" : native_base_dir_);
  file_loop_.SetPath(current_dir_ + "/" + FileMask, current_native_dir_);
  const int fd = DirectoryOpener(AT_FDCWD, native_base_dir_.c_str());
  DirListing listing(fd, errno, listing_buffer_);
  if (!listing.IsOpen()) ListFailed(listing.OpenError());
  return ListFailed(file_loop_.Run(listing));
}

DirListing TFindFile::OpenPending(std::size_t i) {
  way_down_.clear();
  int from = -1;
  for (std::size_t at = i;; at = pending_[at].Parent) {
    if (at != i && (from = open_dirs_.Find(at)) >= 0) break;
    way_down_.push_back(at);
    if (at == 0) break;
  }
  int fd = -1;
  for (auto k = way_down_.rbegin(); k != way_down_.rend(); ++k) {
    const PendingDir& dir = pending_[*k];
    fd = *k == 0 ? DirectoryOpener(AT_FDCWD, native_base_dir_.c_str())
                 : DirectoryOpener(from, dir.NativeDir.c_str() + pending_[dir.Parent].NativeDir.size() + 1);
    if (fd < 0) break;
    if (*k != i) open_dirs_.Keep(*k, fd);
    from = fd;
  }
  return DirListing(fd, errno, listing_buffer_);
}

int TFindFile::TreeWalk() {
  pending_.clear();
  walked_.clear();
  // No descriptor stays open once the walk has ended, however it ends.
  struct CloseKept {
    OpenDirectories& dirs;
    ~CloseKept() { dirs.Clear(); }
  } close_kept{open_dirs_};
  pending_.push_back({base_dir_ == "/" ? "" : base_dir_, native_base_dir_ == "/" ? "" : native_base_dir_, 0});
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    current_index_ = i;
    SetCurrent(pending_[i].Dir, pending_[i].NativeDir);
    // The system lists the directory once: the directory loop goes over what the file loop read.
    DirListing listing = OpenPending(i);
    if (!listing.IsOpen()) ListFailed(listing.OpenError());
    struct stat st {};
    if (i == 0 && listing.IsOpen() && fstat(listing.Descriptor(), &st) == 0)
      walked_.emplace(static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino));
    file_loop_.SetPath(current_dir_ + "/" + FileMask, current_native_dir_);
    if (const int result = file_loop_.Run(listing); result != 0) return ListFailed(result);
    dir_loop_.SetPath(current_dir_ + "/" + DirMask, current_native_dir_);
    listing.Rewind();
    const std::size_t found_before = pending_.size();
    if (const int result = dir_loop_.Run(listing); result != 0) return ListFailed(result);
    // Kept for opening the directories found in it.
    if (pending_.size() > found_before) open_dirs_.Keep(i, listing.Release());
  }
  return 0;
}

bool TFindFile::Accepted(const TFindData& data) const {
  for (const Check check : checks_) {
    switch (check) {
      case Check::kLastWriteTime:
        if (data.LastWriteTime < from_last_write_ || data.LastWriteTime > to_last_write_) return false;
        break;
      case Check::kCreationTime:
        if (data.CreationTime == 0 || data.CreationTime < from_creation_ || data.CreationTime > to_creation_)
          return false;
        break;
      case Check::kLastAccessTime:
        if (data.LastAccessTime == 0 || data.LastAccessTime < from_last_access_ || data.LastAccessTime > to_last_access_)
          return false;
        break;
      case Check::kSize:
        if (data.SizeLow < MinSize || data.SizeLow > MaxSize) return false;
        break;
      case Check::kAttributes:
        if ((data.Attributes & must_have_) != must_have_ || (data.Attributes & must_not_have_) != 0) return false;
        break;
    }
  }
  return true;
}

void TFindFile::FileEntryFound(const TFindData& data, bool& cancel) {
  if (ProcessMessages) ProcessMessages();
  if (CancelRequested) {
    cancel = true;
    return;
  }
  if (IsDotOrDotDot(data.FileName)) return;
  if (!Accepted(data)) return;
  OnFind(*this, data, current_dir_, cancel);
}

void TFindFile::DirEntryFound(const TFindData& data, bool& cancel) {
  if (ProcessMessages) ProcessMessages();
  if (CancelRequested) {
    cancel = true;
    return;
  }
  if ((data.Attributes & kAttrDirectory) == 0 || IsDotOrDotDot(data.FileName)) return;
  // A directory reached again (through a symlink) is not walked twice, so a link loop ends.
  if (!walked_.emplace(data.Device, data.Inode).second) return;
  pending_.push_back({current_dir_ + "/" + data.FileName, current_native_dir_ + "/" + data.NativeFileName, current_index_});
}

}  // namespace tarn::search

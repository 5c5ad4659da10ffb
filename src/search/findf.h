// The file finder: TFindFirstLoop lists the entries of one directory that match one wildcard
// pattern; TFindFile walks a start directory, flat or breadth first through its sub-directories,
// filters the entries by time, size and attributes and reports each accepted one.
//
// Paths and names are CP932 text with "/" as the separator; the names as the system stores them
// travel beside them (TFindData::NativeFileName, TFindFile::CurrentNativeDir) so that every file
// can be opened, also one whose name has characters outside CP932.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "search/dir_listing.h"

namespace tarn::search {

// Attribute bits of TFindData::Attributes.
inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrHidden = 0x02;
inline constexpr std::uint32_t kAttrSystem = 0x04;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;

// 100-nanosecond intervals since 1601-01-01 00:00 UTC; 0 when the file system keeps no such time.
using FileTime = std::uint64_t;

// Result of a listing that a handler cancelled.
inline constexpr int kFindCancelled = 1223;

// One directory entry. A directory is one also through a symlink; a name beginning with "." is
// hidden; anything that is neither a regular file nor a directory (FIFO, socket, device, broken
// link) is a system entry; an entry the user may not write is read-only; a regular file has the
// archive bit.
struct TFindData {
  std::uint32_t Attributes = 0;
  FileTime CreationTime = 0;
  FileTime LastAccessTime = 0;
  FileTime LastWriteTime = 0;
  std::uint32_t SizeHigh = 0;
  std::uint32_t SizeLow = 0;
  std::string FileName;        // CP932
  std::string NativeFileName;  // the bytes the system stores
  std::uint64_t Device = 0;    // with Inode: the entry's identity (after following a symlink)
  std::uint64_t Inode = 0;
};

// What a listing finds out about an entry beyond its name and its directory, archive, system and
// hidden bits, which the listing itself gives for most entries. Each costs calls to the system
// per entry, so a listing asks only for what its handler and its checks read; the fields it
// does not ask for stay 0.
enum TFindDetail : std::uint8_t {
  fdReadOnly = 0x01,           // the read-only bit
  fdTimes = 0x02,              // creation, last-access and last-write times
  fdSize = 0x04,               // SizeHigh and SizeLow
  fdIdentity = 0x08,           // Device and Inode
  fdDirectoryIdentity = 0x10,  // Device and Inode of directories alone, but for "." and ".."
  fdAll = 0x1F,
};

class EFindFirstLoopCancel : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class EFindFileCancel : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TFindFirstLoop {
 public:
  using TFindFirstLoopOnFind = std::function<void(TFindFirstLoop& sender, const TFindData& find_data, bool& cancel)>;

  TFindFirstLoop() = default;
  TFindFirstLoop(const TFindFirstLoop&) = delete;
  TFindFirstLoop& operator=(const TFindFirstLoop&) = delete;
  virtual ~TFindFirstLoop() = default;

  // Directory plus wildcard pattern, such as "/src/*.txt". native_dir names the directory as the
  // system stores it; empty means the directory part of path converted. Ignored while running.
  void SetPath(std::string path, std::string native_dir = {});
  const std::string& Path() const noexcept { return path_; }
  bool Running() const noexcept { return running_; }
  // The directory being listed, open while Run calls OnFind; -1 otherwise.
  int DirDescriptor() const noexcept { return dir_fd_; }

  // 0 when the listing ended (also when nothing matched or the directory does not exist),
  // kFindCancelled when a handler cancelled, otherwise the system error that stopped it.
  virtual int Run();
  // The same over a listing of the directory of Path opened by the caller, which can go over
  // it again afterwards.
  int Run(DirListing& listing);

  bool ExceptionOnCancel = false;
  TFindFirstLoopOnFind OnFind;
  // The TFindDetail bits OnFind reads.
  std::uint8_t Details = fdAll;

 private:
  std::string NativeDir() const;

  std::string path_;
  std::string native_dir_;
  bool running_ = false;
  int dir_fd_ = -1;
};

enum TFindFileCondition {
  fcLastWriteTime,
  fcCreationTime,
  fcLastAccessTime,
  fcSize,
  fcReadOnly,
  fcHidden,
  fcSystem,
  fcDirectory,
  fcArchive,
};

class TFindFileConditions {
 public:
  constexpr TFindFileConditions() noexcept = default;
  constexpr TFindFileConditions(std::initializer_list<TFindFileCondition> conditions) noexcept {
    for (const TFindFileCondition c : conditions) Include(c);
  }
  constexpr bool Contains(TFindFileCondition c) const noexcept { return (bits_ >> c & 1U) != 0; }
  constexpr void Include(TFindFileCondition c) noexcept { bits_ = static_cast<std::uint16_t>(bits_ | 1U << c); }
  constexpr void Exclude(TFindFileCondition c) noexcept { bits_ = static_cast<std::uint16_t>(bits_ & ~(1U << c)); }
  constexpr bool Empty() const noexcept { return bits_ == 0; }

 private:
  std::uint16_t bits_ = 0;
};

class TFindFile {
 public:
  using TFindFileOnFind = std::function<void(TFindFile& sender, const TFindData& find_data,
                                             const std::string& current_dir, bool& cancel)>;

  TFindFile();
  TFindFile(const TFindFile&) = delete;
  TFindFile& operator=(const TFindFile&) = delete;
  virtual ~TFindFile() = default;

  // The six time bounds as packed local date-time words (bits 31-25 year - 1980, 24-21 month,
  // 20-16 day, 15-11 hour, 10-5 minute, 4-0 seconds / 2), kept as UTC file times. Assigning 0
  // gives 1980-01-01 00:00:00 to a From bound and 2099-12-31 23:59:58 to a To bound.
  std::uint32_t FromLastWriteTime() const;
  std::uint32_t ToLastWriteTime() const;
  std::uint32_t FromCreationTime() const;
  std::uint32_t ToCreationTime() const;
  std::uint32_t FromLastAccessTime() const;
  std::uint32_t ToLastAccessTime() const;
  void SetFromLastWriteTime(std::uint32_t packed);
  void SetToLastWriteTime(std::uint32_t packed);
  void SetFromCreationTime(std::uint32_t packed);
  void SetToCreationTime(std::uint32_t packed);
  void SetFromLastAccessTime(std::uint32_t packed);
  void SetToLastAccessTime(std::uint32_t packed);

  // The start directory, kept without one trailing "/". "/" is the root, whose entries are
  // reported under CurrentDir "" so that their paths read "/name". An empty value is ignored.
  void SetBaseDir(std::string_view base_dir);
  // The same, from the name as the system stores it (the CP932 form becomes BaseDir).
  void SetNativeBaseDir(std::string_view native_base_dir);
  const std::string& BaseDir() const noexcept { return base_dir_; }
  const std::string& NativeBaseDir() const noexcept { return native_base_dir_; }

  // The directory being listed, as handed to OnFind, and its system form.
  const std::string& CurrentDir() const noexcept { return current_dir_; }
  const std::string& CurrentNativeDir() const noexcept { return current_native_dir_; }
  // The directory whose entries OnFind gets, open while OnFind runs: a handler can open an
  // entry by its NativeFileName relative to it.
  int CurrentDirDescriptor() const noexcept { return file_loop_.DirDescriptor(); }

  // 0 when the walk ended, kFindCancelled when cancelled, otherwise the system error code.
  virtual int Run();

  // Takes over another finder's start directory, masks, conditions, bounds, details and opener;
  // not its handlers.
  void CopySettingsFrom(const TFindFile& other);

  std::uint32_t MinSize = 0;
  std::uint32_t MaxSize = 2147483647;
  bool AttrReadOnly = false;
  bool AttrArchive = false;
  bool AttrDirectory = false;
  bool AttrHidden = false;
  bool AttrSystem = false;
  TFindFileConditions Conditions;
  bool SearchSubDir = false;
  std::string FileMask = "*.*";
  std::string DirMask = "*.*";
  TFindFileOnFind OnFind;
  // The TFindDetail bits OnFind reads; Run adds those the Conditions need.
  std::uint8_t OnFindDetails = fdAll;
  bool CancelRequested = false;
  bool ExceptionOnCancel = false;  // a cancelled Run raises EFindFileCancel
  // Lets pending window messages run; called at every entry either loop lists.
  std::function<void()> ProcessMessages;
  // Opens a directory for listing, as OpenDirectory does; another opener can stand in for the
  // system (one that stalls, as a folder of a network that does not answer).
  std::function<int(int at_fd, const char* name)> DirectoryOpener = OpenDirectory;
  // The walk enters a directory: CurrentDir names it, before it is opened.
  std::function<void()> OnEnterDirectory;
  // A directory that could not be opened or listed to its end, with the system's error. The
  // walk goes on past one that cannot be opened, as past one that lists nothing; a listing
  // that fails part way ends the walk with that error.
  std::function<void(const std::string& dir, int error)> OnListError;

 protected:
  virtual void FileEntryFound(const TFindData& find_data, bool& cancel);
  virtual void DirEntryFound(const TFindData& find_data, bool& cancel);

 private:
  enum class Check { kLastWriteTime, kCreationTime, kLastAccessTime, kSize, kAttributes };

  // A directory still to walk: its paths and the index of the directory it was found in (BaseDir,
  // at index 0, has none).
  struct PendingDir {
    std::string Dir;        // CP932
    std::string NativeDir;  // as the system names it
    std::size_t Parent;
  };

  int FlatWalk();
  int TreeWalk();
  // Opens pending_[i] by name from the nearest directory above it that is still open.
  DirListing OpenPending(std::size_t i);
  int ListFailed(int error);
  bool Accepted(const TFindData& find_data) const;
  void SetCurrent(std::string dir, std::string native_dir);

  FileTime from_last_write_ = 0;
  FileTime to_last_write_ = 0;
  FileTime from_creation_ = 0;
  FileTime to_creation_ = 0;
  FileTime from_last_access_ = 0;
  FileTime to_last_access_ = 0;
  std::string base_dir_ = "/";
  std::string native_base_dir_ = "/";
  std::string current_dir_;
  std::string current_native_dir_;
  TFindFirstLoop file_loop_;
  TFindFirstLoop dir_loop_;
  std::vector<PendingDir> pending_;
  std::size_t current_index_ = 0;     // of the directory being listed in pending_
  OpenDirectories open_dirs_;         // keyed by index in pending_
  std::vector<std::size_t> way_down_;  // OpenPending's directories to open, deepest first
  std::vector<char> listing_buffer_;  // lent to each directory's listing
  std::set<std::pair<std::uint64_t, std::uint64_t>> walked_;  // device and inode
  std::vector<Check> checks_;
  std::uint32_t must_have_ = 0;
  std::uint32_t must_not_have_ = 0;
};

// Conversions between packed local date-time words and UTC file times.
FileTime PackedLocalTimeToFileTime(std::uint32_t packed);
std::uint32_t FileTimeToPackedLocalTime(FileTime time);

}  // namespace tarn::search

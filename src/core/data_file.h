// Files the program keeps (settings, dictionaries, result history, exported results). Only a
// regular file is ever read or replaced: anything else put in its place (a FIFO above all) is
// an error at once, never a read or write that blocks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace tarn {

// The whole of a regular file. nullopt when it cannot be read; ec is then
// std::errc::no_such_file_or_directory for an absent file and std::errc::invalid_argument for
// one that is not a regular file.
std::optional<std::string> ReadRegularFile(const std::filesystem::path& path, std::error_code& ec);

// True when the path (a symbolic link followed) names a regular file or nothing at all.
bool IsRegularOrAbsent(const std::filesystem::path& path);

// What a writer does with a symbolic link standing where it writes.
enum class TLinkWrite {
  // A file the user chose to save: the link stays and the file it points at is replaced.
  lw_Follow,
  // A file of the data directory: only a link the running user made is followed; any other is
  // replaced by the file itself, so that no write leaves the directory through someone else's link.
  lw_FollowOwn,
};

// Replaces a file through a temporary file beside it, synced before the rename, so that a crash
// or a full disk leaves either the old file or the whole new one. A symbolic link is treated as
// `links` says; a replaced file keeps its permissions, a new one gets rw-r--r--. The target is
// never opened, so whatever else stands in its place (a FIFO) cannot block the write: it is
// replaced, and callers that must not replace it check first.
class TAtomicFile {
 public:
  explicit TAtomicFile(const std::filesystem::path& path, TLinkWrite links = TLinkWrite::lw_FollowOwn);
  TAtomicFile(const TAtomicFile&) = delete;
  TAtomicFile& operator=(const TAtomicFile&) = delete;
  // The temporary file is removed unless Commit succeeded.
  ~TAtomicFile();

  // Each returns false once anything has failed; the target is then never touched.
  bool Write(std::string_view bytes);
  bool Commit();
  // Commit under another name, for a file whose name is known only once it is whole. The
  // temporary file stays where the constructor's path put it, so the name must be in the same
  // directory.
  bool CommitAs(const std::filesystem::path& path, TLinkWrite links = TLinkWrite::lw_FollowOwn);

 private:
  void Aim(const std::filesystem::path& path, TLinkWrite links);

  static constexpr std::int64_t kWriteBackStep = std::int64_t{1} << 20;
  std::string target_;
  std::string temp_;
  int fd_ = -1;
  std::int64_t written_ = 0;  // bytes written
  std::int64_t started_ = 0;  // of them, those whose write-back was started
  unsigned mode_ = 0644;
  bool failed_ = false;
  bool committed_ = false;
};

// The whole file in one write through TAtomicFile; false when it could not be replaced.
bool ReplaceFile(const std::filesystem::path& path, std::string_view bytes,
                 TLinkWrite links = TLinkWrite::lw_FollowOwn);

// The bytes of a read file without a single end-of-text byte 0x1A at its very end; a 0x1A
// anywhere else is text and stays.
std::string_view WithoutEndMark(std::string_view bytes) noexcept;

}  // namespace tarn

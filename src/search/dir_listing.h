// One listing of a directory that can be gone over twice while the system is asked once: a tree
// walk reports a directory's files in a first pass and looks for its sub-directories in a
// second, and the second replays the records the first read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarn::search {

class DirListing {
 public:
  struct Entry {
    const char* Name;    // valid until the next call of Next or Rewind
    unsigned char Type;  // DT_DIR, DT_REG, DT_LNK, DT_UNKNOWN, ...
  };

  // Opens the directory ("" is the root). buffer keeps the records; a walk lends the same one
  // to every directory, so that it grows once.
  DirListing(const std::string& native_dir, std::vector<char>& buffer);
  ~DirListing();
  DirListing(const DirListing&) = delete;
  DirListing& operator=(const DirListing&) = delete;

  // False when the directory could not be opened: the listing is then empty.
  bool IsOpen() const noexcept { return fd_ >= 0; }
  int Descriptor() const noexcept { return fd_; }

  // The next entry in the order the system gives them, "." and ".." included. False at the end,
  // with error 0, or when the system failed, with its error code.
  bool Next(Entry& entry, int& error);

  // Starts again at the first entry. The records read so far are replayed when the directory
  // has not changed since it was opened; otherwise it is opened and listed anew, as a second
  // listing would see it.
  void Rewind();

 private:
  struct Stamp {
    std::int64_t ChangeSeconds = 0;
    std::int64_t ChangeNanoseconds = 0;
    std::int64_t ModifySeconds = 0;
    std::int64_t ModifyNanoseconds = 0;
    std::uint64_t Inode = 0;
    std::uint64_t Links = 0;
    std::int64_t Size = 0;
    bool operator==(const Stamp&) const = default;
  };

  void Open();
  void Close() noexcept;
  bool ReadMore(int& error);
  bool StampNow(Stamp& stamp) const;

  std::string native_dir_;
  std::vector<char>& buffer_;
  int fd_ = -1;
  Stamp opened_;
  bool stamped_ = false;
  std::size_t filled_ = 0;    // bytes of buffer_ that hold records
  std::size_t position_ = 0;  // offset of the next record
  bool ended_ = false;        // the system has no more records
};

}  // namespace tarn::search

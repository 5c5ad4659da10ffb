// Test helpers for files: a write limit standing for a full disk, and the descriptors a child
// process inherits.

// Makes every write past the given size fail (EFBIG instead of the signal) while it lives: a full
// disk without filling one.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern char** environ;

namespace tarn::testing {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_{};
  sighandler_t previous_{};
};

// What "ls -l /proc/self/fd" shows in a child started now, with its output put in `listing`.
inline std::string ChildDescriptors(const std::filesystem::path& listing) {
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 1, listing.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  char ls[] = "ls", longForm[] = "-l", fds[] = "/proc/self/fd";
  char* argv[] = {ls, longForm, fds, nullptr};
  pid_t pid = 0;
  int status = 0;
  if (::posix_spawnp(&pid, "ls", &actions, nullptr, argv, environ) == 0) ::waitpid(pid, &status, 0);
  ::posix_spawn_file_actions_destroy(&actions);
  std::ifstream in(listing, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace tarn::testing

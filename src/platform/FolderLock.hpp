#pragma once
// A folder held locked against the other processes of the host while one change reads, modifies and
// replaces a file inside it. Readers need no lock: such files are only ever replaced whole.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace talvaren::platform::detail {

/// Locks `folder` (flock on the folder itself, so no lock file is left behind) until destroyed.
/// Without the folder there is nothing to lock and nothing to lose.
class FolderLock {
 public:
  explicit FolderLock(const std::filesystem::path& folder)
      : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_;
};

}  // namespace talvaren::platform::detail

#include "platform/FileIO.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include "talvaren/platform/FileError.hpp"

namespace talvaren::platform::detail {
namespace {

constexpr std::string_view TemporaryMark = ".tmp-";

std::string quoted(const std::filesystem::path& path) {
  return "\u201c" + path.filename().string() + "\u201d";
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int close() {
    int result = 0;
    if (fd_ >= 0) result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

/// ".<name>.tmp-<pid>-<count>-<hex>": beside the target, hidden, and never the name of another writer's
/// file, of this process or any other.
std::string temporaryName(const std::filesystem::path& file) {
  static std::atomic<unsigned long> counter{0};
  auto ticks = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, "%.*s%ld-%lu-%llx", static_cast<int>(TemporaryMark.size()),
                TemporaryMark.data(), static_cast<long>(::getpid()), counter.fetch_add(1), ticks & 0xffffffULL);
  return "." + file.filename().string() + suffix;
}

bool allOf(std::string_view text, bool (*accepted)(char)) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!accepted(c)) return false;
  }
  return true;
}

/// Whether `name` has the form of `temporaryName`'s names.
bool isTemporaryName(std::string_view name) {
  if (name.size() < 2 || name.front() != '.') return false;
  const auto mark = name.rfind(TemporaryMark);
  if (mark == std::string_view::npos || mark < 2) return false;
  auto rest = name.substr(mark + TemporaryMark.size());
  const auto first = rest.find('-');
  if (first == std::string_view::npos) return false;
  const auto second = rest.find('-', first + 1);
  if (second == std::string_view::npos) return false;
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
  return allOf(rest.substr(0, first), digit) && allOf(rest.substr(first + 1, second - first - 1), digit) &&
         allOf(rest.substr(second + 1), hex);
}

int lockFile(int fd, int operation) {
  int result;
  while ((result = ::flock(fd, operation)) != 0 && errno == EINTR) {
  }
  return result;
}

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace

Error fileError(int posixError, const std::filesystem::path& path, bool writing) {
  std::int64_t code;
  std::string description;
  if (writing) {
    switch (posixError) {
      case ENOENT:
      case ENOTDIR:
        code = FileErrorCode::fileNoSuchFile;
        description = "The folder for the file " + quoted(path) + " doesn\u2019t exist.";
        break;
      case EACCES:
      case EPERM:
      case EROFS:
        code = FileErrorCode::fileWriteNoPermission;
        description = "You don\u2019t have permission to save the file " + quoted(path) + ".";
        break;
      case EEXIST:
      case EISDIR:
        code = FileErrorCode::fileWriteFileExists;
        description = "The file " + quoted(path) + " couldn\u2019t be saved because a file with the same name already exists.";
        break;
      case ENOSPC:
      case EDQUOT:
        code = FileErrorCode::fileWriteOutOfSpace;
        description = "The file " + quoted(path) + " couldn\u2019t be saved because there isn\u2019t enough space.";
        break;
      default:
        code = FileErrorCode::fileWriteUnknown;
        description = "The file " + quoted(path) + " couldn\u2019t be saved.";
    }
  } else {
    switch (posixError) {
      case ENOENT:
      case ENOTDIR:
        code = FileErrorCode::fileReadNoSuchFile;
        description = "The file " + quoted(path) + " couldn\u2019t be opened because there is no such file.";
        break;
      case EACCES:
      case EPERM:
        code = FileErrorCode::fileReadNoPermission;
        description = "The file " + quoted(path) + " couldn\u2019t be opened because you don\u2019t have permission to view it.";
        break;
      default:
        code = FileErrorCode::fileReadUnknown;
        description = "The file " + quoted(path) + " couldn\u2019t be opened.";
    }
  }
  nlohmann::json info = nlohmann::json::object();
  info[Error::LocalizedDescriptionKey] = description;
  info["NSFilePath"] = path.string();
  info["NSUnderlyingError"] = {{"domain", "NSPOSIXErrorDomain"}, {"code", posixError}};
  return Error(FileErrorDomain, code, std::move(info));
}

/// Flushes a file's data to the disk on a thread of its own whenever asked, while the writer goes on
/// writing. Flushing after the last byte costs as much as the data still waiting in the disk's caches,
/// which for a large download is most of it (tens of milliseconds on a virtual disk); flushed as it
/// arrives, the commit's own flush has only the tail left. Flushing changes nothing but the timing,
/// except that a failed flush fails the commit: a failure reported here is not reported again to the
/// commit's own flush on the same descriptor.
class AtomicFileWriter::BackgroundFlush {
 public:
  explicit BackgroundFlush(int fd) : fd_(fd), thread_([this] { run(); }) {}
  ~BackgroundFlush() { finish(); }
  BackgroundFlush(const BackgroundFlush&) = delete;
  BackgroundFlush& operator=(const BackgroundFlush&) = delete;

  /// Asks for one more flush; requests made while one is under way are served by one flush after it.
  void request() {
    {
      std::lock_guard lock(mutex_);
      requested_ = true;
    }
    wake_.notify_one();
  }

  /// Ends the thread once the flush under way is done (a requested one that has not started is left to
  /// the commit): 0, or the error of the first flush that failed.
  int finish() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
    return error_;
  }

 private:
  void run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return requested_ || stopping_; });
      if (stopping_) return;
      requested_ = false;
      lock.unlock();
      const int result = ::fdatasync(fd_) == 0 ? 0 : errno;
      lock.lock();
      if (result != 0 && error_ == 0) error_ = result;
    }
  }

  const int fd_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool requested_ = false;
  bool stopping_ = false;
  int error_ = 0;
  std::thread thread_;  // last: starts once the rest is in place
};

std::variant<AtomicFileWriter, Error> AtomicFileWriter::open(const std::filesystem::path& file, mode_t mode,
                                                             bool exactMode) {
  auto directory = file.parent_path();
  if (directory.empty()) directory = ".";
  sweepLeftovers(directory);
  std::filesystem::path temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = directory / temporaryName(file);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
      if (errno != EEXIST) return fileError(errno, file, true);
      continue;
    }
    // The lock marks the file as a live writer's until it is renamed or removed. A sweep may have
    // removed the file between its creation and the lock: then it starts again under another name.
    // (Where the file system has no such locks, no sweep can take one either, and removes nothing.)
    (void)lockFile(fd, LOCK_EX);
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
      const int error = errno;
      ::unlink(temporary.c_str());
      ::close(fd);
      return fileError(error, file, true);
    }
    if (status.st_nlink == 0) {
      ::close(fd);
      fd = -1;
    }
  }
  if (fd < 0) return fileError(EEXIST, file, true);
  AtomicFileWriter writer(file, std::move(temporary), fd);
  // The mode is right before the first byte is written.
  if (exactMode && ::fchmod(fd, mode) != 0) return fileError(errno, file, true);
  return writer;
}

AtomicFileWriter::AtomicFileWriter(std::filesystem::path file, std::filesystem::path temporary, int fd)
    : file_(std::move(file)), temporary_(std::move(temporary)), fd_(fd) {}

AtomicFileWriter::AtomicFileWriter(AtomicFileWriter&& other) noexcept
    : file_(std::move(other.file_)),
      temporary_(std::move(other.temporary_)),
      fd_(std::exchange(other.fd_, -1)),
      written_(other.written_),
      writebackStarted_(other.writebackStarted_),
      flush_(std::move(other.flush_)) {
  other.temporary_.clear();
}

AtomicFileWriter::~AtomicFileWriter() { discard(); }

void AtomicFileWriter::discard() {
  // Removed while still locked, so that no sweep sees the file without its writer.
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
  flush_.reset();  // before the descriptor it flushes is closed
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int AtomicFileWriter::write(std::string_view data) {
  if (fd_ < 0) return EBADF;
  if (!writeAll(fd_, data)) return errno ? errno : EIO;
  written_ += data.size();
  if (written_ - writebackStarted_ >= writebackStep) {
    // A large file (a download) goes to the disk while it is still being written. Without a thread for
    // that, write-back is at least started here (which changes only the timing); a failed background
    // flush is reported by the commit.
    if (!flush_) {
      try {
        flush_ = std::make_unique<BackgroundFlush>(fd_);
      } catch (...) {
      }
    }
    if (flush_) {
      flush_->request();
    } else {
      ::sync_file_range(fd_, static_cast<off_t>(writebackStarted_), static_cast<off_t>(written_ - writebackStarted_),
                        SYNC_FILE_RANGE_WRITE);
    }
    writebackStarted_ = written_;
  }
  return 0;
}

std::optional<Error> AtomicFileWriter::commit(bool replaceExisting) {
  auto fail = [&](int error) {
    discard();
    return fileError(error, file_, true);
  };
  if (fd_ < 0) return fail(EBADF);
  if (flush_) {
    const int flushError = flush_->finish();
    flush_.reset();
    if (flushError != 0) return fail(flushError);
  }
  if (::fsync(fd_) != 0) return fail(errno);
  // A second descriptor of the file keeps it locked, as a live writer's, until the rename: closing the
  // first still reports a failed write.
  Descriptor lock(::fcntl(fd_, F_DUPFD_CLOEXEC, 0));
  if (::close(std::exchange(fd_, -1)) != 0) return fail(errno);
  struct stat existing {};
  if (!replaceExisting && ::lstat(file_.c_str(), &existing) == 0) return fail(EEXIST);
  if (::rename(temporary_.c_str(), file_.c_str()) != 0) return fail(errno);
  temporary_.clear();
  lock.close();
  // Make the rename itself durable.
  auto directory = file_.parent_path();
  if (directory.empty()) directory = ".";
  int directoryFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directoryFd >= 0) {
    ::fsync(directoryFd);
    ::close(directoryFd);
  }
  return std::nullopt;
}

void sweepLeftovers(const std::filesystem::path& folder) {
  DIR* listing = ::opendir(folder.empty() ? "." : folder.c_str());
  if (listing == nullptr) return;
  const int folderFd = ::dirfd(listing);
  while (const dirent* entry = ::readdir(listing)) {
    const char* name = entry->d_name;
    if (!isTemporaryName(name)) continue;
    Descriptor leftover(::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (leftover.get() < 0) continue;
    // A writer at work holds its file locked; a dead one's lock went with it.
    if (lockFile(leftover.get(), LOCK_EX | LOCK_NB) != 0) continue;
    struct stat opened {}, named {};
    if (::fstat(leftover.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) continue;
    // Only the very file that was found unlocked (renamed or replaced meanwhile, it is another's).
    if (::fstatat(folderFd, name, &named, AT_SYMLINK_NOFOLLOW) != 0 || named.st_dev != opened.st_dev ||
        named.st_ino != opened.st_ino) {
      continue;
    }
    ::unlinkat(folderFd, name, 0);
  }
  ::closedir(listing);
}

std::optional<Error> writeFileAtomically(const std::filesystem::path& file, std::string_view data, mode_t mode,
                                         bool exactMode) {
  auto opened = AtomicFileWriter::open(file, mode, exactMode);
  if (auto* error = std::get_if<Error>(&opened)) return std::move(*error);
  auto& writer = std::get<AtomicFileWriter>(opened);
  // A failed write leaves the target alone; the writer removes its temporary file.
  if (int error = writer.write(data); error != 0) return fileError(error, file, true);
  return writer.commit();
}

std::variant<std::string, Error> readWholeFile(const std::filesystem::path& file) {
  // Opened without waiting: a pipe or device in a file's place is refused below, not waited on.
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return fileError(errno, file, false);
  Descriptor descriptor(fd);
  struct stat status {};
  if (::fstat(fd, &status) != 0) return fileError(errno, file, false);
  if (!S_ISREG(status.st_mode)) return fileError(S_ISDIR(status.st_mode) ? EISDIR : EINVAL, file, false);
  try {
    std::string content;
    content.reserve(static_cast<std::size_t>(status.st_size));
    char buffer[65536];
    for (;;) {
      ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got < 0) {
        if (errno == EINTR) continue;
        return fileError(errno, file, false);
      }
      if (got == 0) break;
      content.append(buffer, static_cast<std::size_t>(got));
    }
    return content;
  } catch (const std::bad_alloc&) {
    return fileError(ENOMEM, file, false);
  }
}

std::variant<std::string, Error> readStoreFile(const std::filesystem::path& file) {
  auto content = readWholeFile(file);
  if (auto* error = std::get_if<Error>(&content)) {
    const auto& underlying = error->userInfo["NSUnderlyingError"];
    if (underlying.is_object() && underlying.value("code", 0) == ENOENT) return std::string();
  }
  return content;
}

std::optional<Error> createDirectories(const std::filesystem::path& directory, mode_t mode) {
  if (directory.empty()) return std::nullopt;
  struct stat status {};
  if (::stat(directory.c_str(), &status) == 0) {
    if (S_ISDIR(status.st_mode)) return std::nullopt;
    return fileError(EEXIST, directory, true);
  }
  auto parent = directory.parent_path();
  if (!parent.empty() && parent != directory) {
    if (auto error = createDirectories(parent, mode)) return error;
  }
  if (::mkdir(directory.c_str(), mode) != 0 && errno != EEXIST) return fileError(errno, directory, true);
  return std::nullopt;
}

}  // namespace talvaren::platform::detail

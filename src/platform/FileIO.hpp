#pragma once
// Internal interface of platform (for the engines): low-level file work shared by the storage stand-ins,
// the screens' images and the HTTP layer's downloads: atomic replacement (whole or streamed), whole-file
// reads, directory creation, and the kit's one mapping of system errors to file errors
// (talvaren/platform/FileError.hpp).

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "talvaren/platform/Error.hpp"

namespace talvaren::platform::detail {

/// A file error in the platform's file domain ("NSCocoaErrorDomain"), with the path and the
/// underlying POSIX error in its user info.
Error fileError(int posixError, const std::filesystem::path& path, bool writing);

/// A file written in pieces that appears at its place whole or not at all: the bytes go to a new
/// temporary file beside the target (".<name>.tmp-<pid>-<count>-<hex>", created with the target's
/// mode), and `commit` flushes it to the disk and renames it over the target. A writer dropped before
/// `commit` (or whose commit failed) removes its temporary file. The writer holds its temporary file
/// locked (flock) until then; a process killed on the way leaves it unlocked, and the next writer in
/// that folder removes it (see `sweepLeftovers`).
class AtomicFileWriter {
 public:
  /// Opens the temporary file for `file` with `mode` (exactly, whatever the umask, when `exactMode`),
  /// after sweeping the leftovers of dead writers from the folder.
  static std::variant<AtomicFileWriter, Error> open(const std::filesystem::path& file, mode_t mode, bool exactMode);

  AtomicFileWriter(AtomicFileWriter&& other) noexcept;
  AtomicFileWriter& operator=(AtomicFileWriter&&) = delete;
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  ~AtomicFileWriter();

  /// Appends `data`; 0, or the system error that stopped it.
  int write(std::string_view data);
  /// Makes the written bytes the target's content. With `replaceExisting` false, a target that already
  /// exists stays as it is and the answer is a "file exists" error.
  std::optional<Error> commit(bool replaceExisting = true);
  const std::filesystem::path& path() const { return file_; }

 private:
  AtomicFileWriter(std::filesystem::path file, std::filesystem::path temporary, int fd);
  void discard();
  class BackgroundFlush;

  /// A large file is flushed to disk on a thread of its own after every this many bytes while the rest is
  /// still being written, so that `commit` waits only for its tail.
  static constexpr std::uint64_t writebackStep = 4 * 1024 * 1024;

  std::filesystem::path file_;
  std::filesystem::path temporary_;
  int fd_ = -1;
  std::uint64_t written_ = 0;
  std::uint64_t writebackStarted_ = 0;
  std::unique_ptr<BackgroundFlush> flush_;
};

/// Writes `data` through an `AtomicFileWriter`: either the old or the new content is at `file`
/// afterwards, never a mix; no temporary file is left behind.
std::optional<Error> writeFileAtomically(const std::filesystem::path& file, std::string_view data, mode_t mode,
                                         bool exactMode);

/// Removes from `folder` the temporary files of atomic writers that died before their commit: files
/// named as `AtomicFileWriter` names them that no writer holds locked. A live writer's file, and any
/// other file, stays.
void sweepLeftovers(const std::filesystem::path& folder);

/// The whole content of a regular file, or the error that prevented reading it.
std::variant<std::string, Error> readWholeFile(const std::filesystem::path& file);
/// A store's file: its content, nothing for a missing file (an empty text), or the error that prevented
/// reading a file that is there (a folder or a pipe in its place, no permission, a link that loops).
std::variant<std::string, Error> readStoreFile(const std::filesystem::path& file);

/// Creates `directory` and any missing parents with `mode` (less the umask); an existing
/// directory is no error.
std::optional<Error> createDirectories(const std::filesystem::path& directory, mode_t mode);

}  // namespace talvaren::platform::detail

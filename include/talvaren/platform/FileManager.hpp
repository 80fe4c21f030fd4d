#pragma once
// The file manager: the Documents directory under the application home and the few file
// operations the kit performs. Failures are values in the platform's file error domain
// ("NSCocoaErrorDomain", e.g. 260 no such file on reading, 4 no such file or folder on writing,
// 516 already exists), with the path under "NSFilePath" in the user info.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/Result.hpp"

namespace talvaren::platform {

/// A value or the error that prevented it.
template <typename Value>
using FileResult = Result<Value>;

class FileManager {
 public:
  /// The shared file manager; tests may replace it (talvaren/testing/Storage.hpp).
  static std::shared_ptr<FileManager> defaultManager();

  virtual ~FileManager() = default;

  /// The Documents directory of the application home; looking it up creates nothing.
  virtual FileResult<std::filesystem::path> documentsDirectory() const;
  /// The folder of the user's cloud documents; absent (the default) when no cloud storage is
  /// signed in. The host sets it with setUbiquityContainer.
  virtual std::optional<std::filesystem::path> ubiquityContainer() const;
  static void setUbiquityContainer(std::optional<std::filesystem::path> folder);

  /// Whether anything (file, folder, other) exists at `path`; a dangling link counts as nothing.
  virtual bool fileExists(const std::filesystem::path& path) const;
  /// Whether anything exists at `path`, and whether it is a folder.
  virtual bool fileExists(const std::filesystem::path& path, bool& isDirectory) const;

  /// Creates the folder `path` (with its missing parents when asked). An existing folder is no
  /// error when parents are asked for, and error 516 otherwise, as on the platform.
  virtual std::optional<Error> createDirectory(const std::filesystem::path& path,
                                               bool withIntermediateDirectories) const;
  /// Removes the file or folder (with its content) at `path`; error 4 when nothing is there.
  virtual std::optional<Error> removeItem(const std::filesystem::path& path) const;

  /// The whole content of the file at `path`.
  virtual FileResult<Bytes> contentsOfFile(const std::filesystem::path& path) const;
  /// Replaces the file at `path` with `data` atomically (a temporary file in the same folder,
  /// flushed to disk, renamed over it). The folder must exist.
  virtual std::optional<Error> writeFile(const std::filesystem::path& path, const Bytes& data) const;
  /// The names in the folder `path`, hidden ones included, sorted.
  virtual FileResult<std::vector<std::string>> contentsOfDirectory(const std::filesystem::path& path) const;
};

}  // namespace talvaren::platform

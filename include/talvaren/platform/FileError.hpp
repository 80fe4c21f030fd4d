#pragma once
// The file-error domain every file-touching piece of the kit reports in ("NSCocoaErrorDomain"), and
// its codes. The user info of such an error holds the file's path ("NSFilePath") and the underlying
// system error ("NSUnderlyingError", domain "NSPOSIXErrorDomain").

#include <cstdint>

namespace talvaren::platform {

inline constexpr const char* FileErrorDomain = "NSCocoaErrorDomain";

struct FileErrorCode {
  /// Writing: the folder for the file does not exist.
  static constexpr std::int64_t fileNoSuchFile = 4;
  static constexpr std::int64_t fileReadUnknown = 256;
  static constexpr std::int64_t fileReadNoPermission = 257;
  static constexpr std::int64_t fileReadNoSuchFile = 260;
  static constexpr std::int64_t fileWriteUnknown = 512;
  static constexpr std::int64_t fileWriteNoPermission = 513;
  /// Writing: the file name is not one the folder can hold (empty, "." or "..", or with a "/" or NUL).
  static constexpr std::int64_t fileWriteInvalidFileName = 514;
  /// Writing: something of that name (a file or a folder) is in the way.
  static constexpr std::int64_t fileWriteFileExists = 516;
  static constexpr std::int64_t fileWriteOutOfSpace = 640;
};

}  // namespace talvaren::platform

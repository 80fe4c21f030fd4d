#pragma once
// What response handlers receive.

#include <cstdint>
#include <optional>
#include <string>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/http/HTTPURLResponse.hpp"
#include "talvaren/platform/http/Result.hpp"
#include "talvaren/platform/http/URLRequest.hpp"

namespace talvaren::platform::http {

/// How much of a body has moved.
struct Progress {
  std::int64_t totalUnitCount = 0;
  std::int64_t completedUnitCount = 0;

  /// completed / total, 0 when the total is unknown.
  double fractionCompleted() const;
  /// "Fraction completed: 0.2500 / Completed: 1024 of 4096".
  std::string description() const;
};

enum class JSONReadingOptions {
  /// Only an object or an array at the top level.
  none,
  /// A bare string, number, Boolean or null at the top level too.
  allowFragments,
};

/// The reply of a data request, as one handler sees it.
template <typename Value>
struct DataResponse {
  /// The request as it was sent; none when it could not be built.
  std::optional<URLRequest> request;
  /// The reply head; none when no reply arrived.
  std::optional<HTTPURLResponse> response;
  /// The body bytes; present whenever a reply head arrived (on a transport failure, what arrived first).
  std::optional<Bytes> data;
  /// The transport error, else the validation error, else the decoded value or the decoding error.
  Result<Value> result;
};

/// A downloaded file, as DownloadRequest::responseFile reports it.
struct DownloadedFile {
  /// Its size in bytes.
  std::int64_t size = 0;
  /// The MD5 digest of its bytes in lower-case hexadecimal, computed while they were written; only when
  /// the destination's options asked for it (DownloadOptions::digestMD5).
  std::optional<std::string> md5;
};

/// The reply of a download, as one handler sees it.
template <typename Value>
struct DownloadResponse {
  std::optional<URLRequest> request;
  std::optional<HTTPURLResponse> response;
  /// Path of the downloaded file at its destination; none unless the transfer completed and the file
  /// was moved into place.
  std::optional<std::string> destinationURL;
  /// Success with the file's bytes, or the transport, validation, file or read error.
  Result<Value> result;
};

}  // namespace talvaren::platform::http

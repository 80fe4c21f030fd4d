#include <string_view>

#include "talvaren/api/Connector.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/FileError.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren {

using namespace platform::http;

namespace {

constexpr const char* checksumMismatchDomain = "Checksum doesn't match";

/// A name that stays inside its folder: not empty, not a dot segment, no separator, no NUL.
bool isPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

/// What a finished download completes with. The digest was computed while the file was written, so the
/// package is never read back into memory, whatever its size.
std::pair<std::optional<Error>, std::optional<std::filesystem::path>> downloadOutcome(
    const DownloadResponse<DownloadedFile>& reply, const std::optional<std::string>& checksum) {
  // Judged first: an error page is no package, whatever else happened.
  if (reply.response) {
    const int status = reply.response->statusCode();
    if (status < 200 || status > 299) return {Error("", status), std::nullopt};
  }
  if (!reply.destinationURL) {
    if (const auto* error = reply.result.error()) return {*error, std::nullopt};
    return {Error(NSURLErrorDomain, URLError::downloadDecodingFailedToComplete), std::nullopt};
  }
  const auto* saved = reply.result.value();
  if (!saved || (checksum && !saved->md5)) {
    return {Error(NSCocoaErrorDomain, URLError::cannotDecodeContentData), std::nullopt};
  }
  if (checksum) {
    const std::string& digest = *saved->md5;
    console::print("Checksum: " + *checksum + "\nMD5: " + digest);
    if (*checksum != digest) return {Error(checksumMismatchDomain, URLError::cannotParseResponse), std::nullopt};
  }
  return {std::nullopt, std::filesystem::path(*reply.destinationURL)};
}

}  // namespace

void Connector::performDownloadCall(HTTPMethod method, const std::string& url, const std::string& file,
                                    const std::optional<std::string>& checksum,
                                    const std::optional<Parameters>& parameters, ParameterEncoding,
                                    const std::optional<Bytes>& httpBody, DownloadCompletion completion) {
  // Every road completes on the main queue, after this call has returned.
  auto fail = [&completion](Error error) {
    if (!completion) return;
    platform::DispatchQueue::main().async([completion, error = std::move(error)] { completion(error, std::nullopt); });
  };
  try {
    verboseRequest(url, parameters, {}, method, httpBody);
    if (!isPlainFileName(file)) {
      return fail(Error(platform::FileErrorDomain, platform::FileErrorCode::fileWriteInvalidFileName));
    }
    auto documents = getDocumentsURL();
    if (!documents) return fail(*documents.error());
    const auto session = manager();
    if (!session) return fail(URLError::make(URLError::unknown));

    DownloadOptions options;
    options.removePreviousFile = true;
    options.requireSuccessStatus = true;
    options.digestMD5 = checksum.has_value();
    const auto destination = *documents.value() / (file + ".zip");
    session->download(url, DownloadDestination{destination.string(), options})
        ->responseFile([checksum, completion](const DownloadResponse<DownloadedFile>& reply) {
          if (!completion) return;
          std::pair<std::optional<Error>, std::optional<std::filesystem::path>> outcome;
          try {
            outcome = downloadOutcome(reply, checksum);
          } catch (...) {
            outcome = {URLError::make(URLError::unknown), std::nullopt};
          }
          completion(std::move(outcome.first), std::move(outcome.second));
        });
  } catch (...) {
    fail(URLError::make(URLError::unknown));
  }
}

platform::FileResult<std::filesystem::path> Connector::getDocumentsURL() const {
  try {
    return platform::FileManager::defaultManager()->documentsDirectory();
  } catch (...) {
    return Error(platform::FileErrorDomain, platform::FileErrorCode::fileReadUnknown);
  }
}

}  // namespace talvaren

#pragma once
// The HTTP session: sends requests on libcurl and hands every reply to the main queue.
//
// - A request is sent at once on the thread that makes it, unless the session is busy on another thread,
//   in which case its transfer thread sends it. While the host's `runMainQueue()` has nothing to run, the
//   main thread reads the replies itself, so a request made and answered on the main queue costs no
//   hand-off between threads; whenever the main thread is busy or not running the main queue, the
//   transfer thread reads them. Time-outs, cancellations and the session's end are handled by the
//   transfer thread. Handlers always run on the main queue that was current when the request was made.
// - Connections are kept alive and reused: sequential requests to one host share one TCP connection.
// - TLS peer and host-name verification are always on.
// - Only http and https URLs are fetched; redirects are followed (at most 16; bytes of a "Location" that a
//   URL may not hold literally are percent-encoded, as browsers do), unless the request turns that off
//   (URLRequest::setFollowsRedirects), in which case a 3xx reply is the reply. A redirect to another
//   origin (scheme, host or port) is followed with only the "Accept", "Accept-Language", "Accept-Encoding",
//   "User-Agent", "Content-Type", "Content-Language" and "Cache-Control" fields, the request's own and the
//   configuration's alike, and the cookies of the new URL: credentials and every other field stay behind,
//   for that hop and every later one. 303, and 301 or 302 after a POST, are followed with a GET without
//   body.
// - The layer adds no header of its own: no User-Agent (libcurl adds none either), no "Accept",
//   no "Expect: 100-continue", and no "Content-Type" for a body the caller did not label. Header fields
//   of the configuration are added when the request lacks them; cookies of the configuration's store
//   that match the URL are sent as "Cookie" unless the request sets one, and every "Set-Cookie" of a
//   reply is stored there, for the URL that sent it (HTTPCookie.hpp says how the store is bounded).
// - A request times out after `timeoutInterval` seconds without any data moving (connecting included).
// - There is no local cache: every request goes to the server, whatever its cache policy.
// - Request bodies are sent from the request itself and reply heads are shared by the handlers: a
//   request's body is never copied, and a reply is decoded once for each handler before it is posted.
// Errors are described in URLError.hpp.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "talvaren/platform/http/HTTPCookie.hpp"
#include "talvaren/platform/http/HTTPMethod.hpp"
#include "talvaren/platform/http/MultipartFormData.hpp"
#include "talvaren/platform/http/ParameterEncoding.hpp"
#include "talvaren/platform/http/Request.hpp"
#include "talvaren/platform/http/Result.hpp"
#include "talvaren/platform/http/URLRequest.hpp"

namespace talvaren::platform::http {

namespace detail {
class TransferEngine;
}

struct SessionConfiguration {
  /// Header fields added to every request that does not set them itself.
  HTTPHeaders httpAdditionalHeaders;
  /// Where reply cookies are stored and request cookies come from; none: no cookies at all.
  std::shared_ptr<HTTPCookieStorage> httpCookieStorage;
  bool httpShouldSetCookies = true;
  /// Time-out of requests made from a URL text (requests passed whole keep their own).
  double timeoutIntervalForRequest = 60;
  /// Connections opened to one host at most; further requests wait for a free one.
  long httpMaximumConnectionsPerHost = 6;
  /// The largest reply body kept in memory, in bytes. A data request whose body grows beyond it (or
  /// announces a larger "Content-Length") stops there and fails with ("NSURLErrorDomain", -1103), and so
  /// does reading back a downloaded file that is larger (DownloadRequest::responseData). Downloads stream
  /// to disk and are not bounded by it.
  std::size_t maximumBodySize = 64 * 1024 * 1024;

  /// The default header set, the shared cookie store, a 60-second time-out.
  static SessionConfiguration defaultConfiguration();
};

struct DownloadOptions {
  /// Replace a file already at the destination (without it, such a download fails with
  /// ("NSCocoaErrorDomain", 516) and the old file stays).
  bool removePreviousFile = false;
  /// Create the destination's missing parent directories.
  bool createIntermediateDirectories = false;
  /// Keep the body only when the reply's status is in 200...299: any other reply fails with
  /// (HTTPValidationErrorDomain, status), its head stays readable, and nothing is moved to the
  /// destination, so an error page never replaces a file there.
  bool requireSuccessStatus = false;
  /// Compute the MD5 digest of the body while it is written (DownloadRequest::responseFile).
  bool digestMD5 = false;
};

/// Where a download goes. The body is written to a temporary file in the same directory and renamed to
/// `path` only once the transfer is complete, so a failed transfer never touches a previous file there.
struct DownloadDestination {
  std::string path;
  DownloadOptions options;
};

class SessionManager {
 public:
  /// The process-wide session, made on first use with the default configuration; it lives for the process.
  static std::shared_ptr<SessionManager> defaultManager();
  /// The layer's default header fields: none (in particular no User-Agent).
  static HTTPHeaders defaultHTTPHeaders();

  explicit SessionManager(SessionConfiguration configuration = SessionConfiguration::defaultConfiguration());
  /// Cancels what is still in flight (its handlers get -999) and stops the transfer thread.
  ~SessionManager();
  SessionManager(const SessionManager&) = delete;
  SessionManager& operator=(const SessionManager&) = delete;

  const SessionConfiguration& configuration() const { return configuration_; }

  /// Builds the request from a URL text, method, parameters, encoding and header fields, and starts it.
  /// A text that is no absolute URL fails with -1000 and a parameter encoding failure with its error,
  /// both through the handlers.
  std::shared_ptr<DataRequest> request(std::string_view url, HTTPMethod method = HTTPMethod::GET,
                                       const std::optional<Parameters>& parameters = std::nullopt,
                                       ParameterEncoding encoding = URLEncoding::defaultEncoding(),
                                       const std::optional<HTTPHeaders>& headers = std::nullopt);
  /// Starts a request built by the caller.
  std::shared_ptr<DataRequest> request(URLRequest urlRequest);

  /// Downloads to `destination` (see DownloadDestination).
  std::shared_ptr<DownloadRequest> download(std::string_view url, DownloadDestination destination,
                                            HTTPMethod method = HTTPMethod::GET,
                                            const std::optional<Parameters>& parameters = std::nullopt,
                                            ParameterEncoding encoding = URLEncoding::defaultEncoding(),
                                            const std::optional<HTTPHeaders>& headers = std::nullopt);
  std::shared_ptr<DownloadRequest> download(URLRequest urlRequest, DownloadDestination destination);

  /// Sends a multipart form: `multipartFormData` fills the form, which is encoded in memory; the request's
  /// "Content-Type" becomes the form's. `encodingCompletion` runs once on the main queue with the started
  /// request, or with the error when the form or the URL is unusable; it runs before any progress report
  /// or response handler of that request.
  void upload(std::function<void(MultipartFormData&)> multipartFormData, std::string_view url, HTTPMethod method,
              const std::optional<HTTPHeaders>& headers,
              std::function<void(const Result<std::shared_ptr<DataRequest>>&)> encodingCompletion);

 private:
  template <typename RequestType>
  std::shared_ptr<RequestType> start(Result<URLRequest> built, std::optional<DownloadDestination> destination);
  template <typename RequestType>
  std::shared_ptr<RequestType> startOrThrow(Result<URLRequest> built, std::optional<DownloadDestination> destination);
  Result<URLRequest> build(std::string_view url, HTTPMethod method, const std::optional<Parameters>& parameters,
                           ParameterEncoding encoding, const std::optional<HTTPHeaders>& headers) const noexcept;
  Result<URLRequest> buildOrThrow(std::string_view url, HTTPMethod method, const std::optional<Parameters>& parameters,
                                  ParameterEncoding encoding, const std::optional<HTTPHeaders>& headers) const;
  void uploadOrThrow(std::function<void(MultipartFormData&)> multipartFormData, std::string_view url, HTTPMethod method,
                     const std::optional<HTTPHeaders>& headers,
                     std::function<void(const Result<std::shared_ptr<DataRequest>>&)> encodingCompletion);

  SessionConfiguration configuration_;
  std::shared_ptr<detail::TransferEngine> engine_;
};

}  // namespace talvaren::platform::http

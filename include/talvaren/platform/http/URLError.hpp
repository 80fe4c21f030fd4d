#pragma once
// Error values of the HTTP layer.
//
// Every failure reaches a response handler as a talvaren::Error. The domains and codes are the ones the
// kit's clients compare against:
//
// Transport failures, domain "NSURLErrorDomain" (user info: a description and the failing URL under
// "NSErrorFailingURLStringKey", its credentials redacted as redact::url does):
//   cannot resolve the host name ............................... -1003 cannotFindHost
//   connection refused / could not connect ...................... -1004 cannotConnectToHost
//   connect fails because the network is unreachable or down .... -1009 notConnectedToInternet
//   no data moved for the request's time-out interval ........... -1001 timedOut
//   connection reset or closed before the reply was complete .... -1005 networkConnectionLost
//   the server sent nothing or no valid HTTP reply (not HTTP at
//   all, or a reply head too large to read) ..................... -1011 badServerResponse
//   URL text that is not an absolute URL ........................ -1000 badURL
//   a scheme other than http and https .......................... -1002 unsupportedURL
//   more than 16 redirects ...................................... -1007 httpTooManyRedirects
//   TLS handshake failed ........................................ -1200 secureConnectionFailed
//   server certificate not trusted or not for this host ......... -1202 serverCertificateUntrusted
//   client certificate problem .................................. -1206 clientCertificateRequired
//   reply body in an encoding that cannot be decoded ............ -1015 cannotDecodeRawData
//   a reply body to be kept in memory larger than the session's
//   maximum (SessionConfiguration::maximumBodySize) ............. -1103 dataLengthExceedsMaximum
//   request cancelled (cancel(), or the session ended) .......... -999  cancelled
//   anything else ............................................... -1    unknown
// TLS peer and host-name verification are always on; there is no switch to turn them off.
//
// Validation (`validate()`), domain HTTPValidationErrorDomain, the HTTP status as the code, the reply
// itself staying readable: a status outside 200...299, or a reply content type that the request's
// "Accept" header does not allow.
//
// Reply decoding, domain "NSCocoaErrorDomain", code 3840: a body that is not JSON (an empty body too,
// except on status 204 or 205, which read as JSON null), or a bare value where fragments are not allowed.
//
// Files of downloads, domain "NSCocoaErrorDomain": 4 no such directory, 513 no permission, 516 the
// destination exists and "remove previous file" was not asked for, 640 disk full, 512 other write
// failures, 256 the saved file cannot be read back.
//
// Request building, domain HTTPRequestErrorDomain: 1 parameters that cannot be written as JSON (texts
// that are not UTF-8), 2 parameters for a URL query that are not an object, 3 a header name or value
// holding a line break or other control character, 4 a multipart form that cannot be built, 5 header
// fields (cookies included) larger than the transport can send (about 1 MiB in all).

#include <cstdint>
#include <string>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/FileError.hpp"

namespace talvaren::platform::http {

inline constexpr const char* NSURLErrorDomain = "NSURLErrorDomain";
inline constexpr const char* NSCocoaErrorDomain = FileErrorDomain;
inline constexpr const char* HTTPValidationErrorDomain = "TalvarenKit.HTTPValidationError";
inline constexpr const char* HTTPRequestErrorDomain = "TalvarenKit.HTTPRequestError";
/// User-info key of the failing URL's text in transport errors.
inline constexpr const char* NSErrorFailingURLStringKey = "NSErrorFailingURLStringKey";

/// Codes of the "NSURLErrorDomain" domain.
struct URLError {
  static constexpr std::int64_t unknown = -1;
  static constexpr std::int64_t cancelled = -999;
  static constexpr std::int64_t badURL = -1000;
  static constexpr std::int64_t timedOut = -1001;
  static constexpr std::int64_t unsupportedURL = -1002;
  static constexpr std::int64_t cannotFindHost = -1003;
  static constexpr std::int64_t cannotConnectToHost = -1004;
  static constexpr std::int64_t networkConnectionLost = -1005;
  static constexpr std::int64_t httpTooManyRedirects = -1007;
  static constexpr std::int64_t notConnectedToInternet = -1009;
  static constexpr std::int64_t badServerResponse = -1011;
  static constexpr std::int64_t cannotDecodeRawData = -1015;
  static constexpr std::int64_t cannotDecodeContentData = -1016;
  static constexpr std::int64_t cannotParseResponse = -1017;
  static constexpr std::int64_t dataLengthExceedsMaximum = -1103;
  static constexpr std::int64_t secureConnectionFailed = -1200;
  static constexpr std::int64_t serverCertificateUntrusted = -1202;
  static constexpr std::int64_t clientCertificateRequired = -1206;
  static constexpr std::int64_t downloadDecodingFailedToComplete = -3007;

  /// An error of the "NSURLErrorDomain" domain with the platform's description for `code` and, when
  /// given, the failing URL with its credentials redacted.
  static Error make(std::int64_t code, const std::string& failingURL = {});
};

/// Codes of the "NSCocoaErrorDomain" domain used here: the file codes of the whole kit and the one
/// for a reply that is not JSON.
struct CocoaError : FileErrorCode {
  static constexpr std::int64_t propertyListReadCorrupt = 3840;
};

/// Codes of HTTPRequestErrorDomain.
struct HTTPRequestError {
  static constexpr std::int64_t jsonEncodingFailed = 1;
  static constexpr std::int64_t queryEncodingFailed = 2;
  static constexpr std::int64_t invalidHeader = 3;
  static constexpr std::int64_t multipartEncodingFailed = 4;
  static constexpr std::int64_t requestTooLarge = 5;
};

/// (HTTPRequestErrorDomain, requestTooLarge) with its description.
Error requestTooLargeError();

}  // namespace talvaren::platform::http

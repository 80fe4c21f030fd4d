#include <cerrno>
#include <system_error>

#include "CurlErrors.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren::platform::http {
namespace {

const char* descriptionFor(std::int64_t code) {
  switch (code) {
    case URLError::cancelled: return "cancelled";
    case URLError::badURL: return "bad URL";
    case URLError::timedOut: return "The request timed out.";
    case URLError::unsupportedURL: return "unsupported URL";
    case URLError::cannotFindHost: return "A server with the specified hostname could not be found.";
    case URLError::cannotConnectToHost: return "Could not connect to the server.";
    case URLError::networkConnectionLost: return "The network connection was lost.";
    case URLError::httpTooManyRedirects: return "too many HTTP redirects";
    case URLError::notConnectedToInternet: return "The Internet connection appears to be offline.";
    case URLError::badServerResponse: return "bad server response";
    case URLError::cannotDecodeRawData: return "cannot decode raw data";
    case URLError::cannotDecodeContentData: return "cannot decode content data";
    case URLError::cannotParseResponse: return "cannot parse response";
    case URLError::dataLengthExceedsMaximum: return "resource exceeds maximum size";
    case URLError::secureConnectionFailed:
      return "An SSL error has occurred and a secure connection to the server cannot be made.";
    case URLError::serverCertificateUntrusted: return "The certificate for this server is invalid.";
    case URLError::clientCertificateRequired: return "The server requires a client certificate.";
    case URLError::downloadDecodingFailedToComplete: return "download decoding failed to complete";
    default: return "An unknown error occurred.";
  }
}

}  // namespace

Error URLError::make(std::int64_t code, const std::string& failingURL) {
  nlohmann::json info = nlohmann::json::object();
  info[Error::LocalizedDescriptionKey] = descriptionFor(code);
  // The error travels to consoles and the host's logs: the URL's credentials stay behind.
  if (!failingURL.empty()) info[NSErrorFailingURLStringKey] = redact::url(failingURL);
  return Error(NSURLErrorDomain, code, std::move(info));
}

Error requestTooLargeError() {
  return Error::withDescription(HTTPRequestErrorDomain, HTTPRequestError::requestTooLarge,
                                "The request's header fields are too large to send.");
}

namespace detail {

std::int64_t urlErrorCode(CURLcode code, long osErrno) {
  switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL: return URLError::unsupportedURL;
    case CURLE_URL_MALFORMAT: return URLError::badURL;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return URLError::cannotFindHost;
    case CURLE_COULDNT_CONNECT:
      if (osErrno == ENETUNREACH || osErrno == ENETDOWN) return URLError::notConnectedToInternet;
      return URLError::cannotConnectToHost;
    case CURLE_OPERATION_TIMEDOUT: return URLError::timedOut;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3: return URLError::networkConnectionLost;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY: return URLError::badServerResponse;
    case CURLE_TOO_MANY_REDIRECTS: return URLError::httpTooManyRedirects;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CACERT_BADFILE: return URLError::secureConnectionFailed;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS: return URLError::serverCertificateUntrusted;
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CLIENTCERT: return URLError::clientCertificateRequired;
    case CURLE_BAD_CONTENT_ENCODING: return URLError::cannotDecodeRawData;
    case CURLE_ABORTED_BY_CALLBACK: return URLError::cancelled;
    default: return URLError::unknown;
  }
}

Error errorForCurl(CURLcode code, long osErrno, const std::string& url) {
  return URLError::make(urlErrorCode(code, osErrno), url);
}

}  // namespace detail
}  // namespace talvaren::platform::http

// The reply side of a transfer: the head and body as libcurl delivers them, upload progress, and the
// outcome a finished transfer hands to its request.

#include <sys/stat.h>

#include <cerrno>

#include "CurlErrors.hpp"
#include "Transfer.hpp"
#include "talvaren/platform/HexText.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren::platform::http::detail {
namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

/// True when libcurl's failure `code` means the server's reply was no readable HTTP reply: one that is not
/// HTTP at all (libcurl calls it an unsupported protocol while the URL is an http or https one), or a header
/// line that libcurl refused to buffer (reported as out of memory, or as too large by later versions).
bool isBadReply(CURLcode code, CURL* easy, const ReplyHead& head, const std::optional<std::string>& effectiveURL) {
  if (code == CURLE_UNSUPPORTED_PROTOCOL) {
    if (!effectiveURL) return false;
    return effectiveURL->rfind("http://", 0) == 0 || effectiveURL->rfind("https://", 0) == 0;
  }
  if (head.complete) return false;
#if LIBCURL_VERSION_NUM >= 0x080600
  if (code == CURLE_TOO_LARGE) return true;
#endif
  if (code != CURLE_OUT_OF_MEMORY || !easy) return false;
  // Only once the request went out: then the head being read is what did not fit.
  long requestSize = 0;
  return curl_easy_getinfo(easy, CURLINFO_REQUEST_SIZE, &requestSize) == CURLE_OK && requestSize > 0;
}

/// True when libcurl's failure `code` means it could not build the request: its head grew beyond what
/// libcurl buffers (reported as out of memory, or as too large by later versions) before anything was sent.
bool isUnsendableRequest(CURLcode code, CURL* easy, const ReplyHead& head) {
  bool tooLarge = code == CURLE_OUT_OF_MEMORY;
#if LIBCURL_VERSION_NUM >= 0x080600
  tooLarge = tooLarge || code == CURLE_TOO_LARGE;
#endif
  if (!tooLarge || !easy || head.sawStatusLine) return false;
  long requestSize = 0;
  return curl_easy_getinfo(easy, CURLINFO_REQUEST_SIZE, &requestSize) == CURLE_OK && requestSize == 0;
}

/// The download's MD5 digest in lower-case hexadecimal, when it was asked for and computed.
std::optional<std::string> finalDigest(TransferEngine::Transfer& t) {
  if (!t.digest) return std::nullopt;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(t.digest.get(), digest, &length) != 1) return std::nullopt;
  return platform::hexText({digest, length});
}

}  // namespace

bool readHeaderLine(ReplyHead& head, std::string_view line) {
  const std::size_t length = line.size();
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.size() >= 5 && line.substr(0, 5) == "HTTP/") {
    // A new reply head (after an interim reply or a redirect): only the last one counts.
    head.headerLines.clear();
    head.size = length;
    head.sawStatusLine = true;
    head.complete = false;
    const auto space = line.find(' ');
    head.status = 0;
    if (space != std::string_view::npos) {
      for (std::size_t i = space + 1; i < line.size() && i < space + 4; ++i) {
        if (line[i] < '0' || line[i] > '9') break;
        head.status = head.status * 10 + (line[i] - '0');
      }
    }
    return false;
  }
  head.size += length;
  if (line.empty()) {
    head.complete = true;
    return true;
  }
  if ((line.front() == ' ' || line.front() == '\t') && !head.headerLines.empty()) {
    auto& last = head.headerLines.back().second;
    last += ' ';
    last += trimmed(line);
  } else {
    const auto colon = line.find(':');
    if (colon != std::string_view::npos && colon > 0) {
      head.headerLines.emplace_back(std::string(trimmed(line.substr(0, colon))),
                                    std::string(trimmed(line.substr(colon + 1))));
    }
  }
  return false;
}

size_t onHeader(char* buffer, size_t size, size_t count, void* userdata) {
  auto* self = static_cast<TransferEngine::Transfer*>(userdata);
  const size_t length = size * count;
  self->touch();
  if (readHeaderLine(self->head, std::string_view(buffer, length))) {
    self->storeCookies();
    self->noteRedirect();
  }
  if (self->head.size > maximumHeadSize) {
    // Tens of thousands of lines: libcurl would take more before giving up, and report a failed receive.
    self->headTooLarge = true;
    return 0;
  }
  return length;
}

size_t onBody(char* data, size_t size, size_t count, void* userdata) {
  auto* self = static_cast<TransferEngine::Transfer*>(userdata);
  const size_t length = size * count;
  self->touch();
  if (self->redirecting) return length;  // the page of a redirect being followed
  if (self->file) {
    self->fileErrno = self->file->write(std::string_view(data, length));
    if (self->fileErrno != 0) return 0;
    self->fileSize += static_cast<std::int64_t>(length);
    if (self->digest && EVP_DigestUpdate(self->digest.get(), data, length) != 1) self->digest.reset();
    return length;
  }
  auto& received = self->received;
  if (received.empty()) {
    // The first bytes of a body: one announced beyond the maximum stops at once, a smaller one gets its room.
    curl_off_t announced = -1;
    curl_easy_getinfo(self->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    if (announced > 0 && static_cast<std::uint64_t>(announced) > self->maximumBodySize) {
      self->bodyTooLarge = true;
      return 0;
    }
    if (announced > 0) received.reserve(static_cast<std::size_t>(announced));
  }
  if (length > self->maximumBodySize - received.size()) {
    self->bodyTooLarge = true;
    return 0;
  }
  received.insert(received.end(), data, data + length);
  return length;
}

int onProgress(void* userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
  auto* self = static_cast<TransferEngine::Transfer*>(userdata);
  if (uploaded > self->uploadReported) {
    self->touch();
    self->uploadReported = uploaded;
    self->core->reportUploadProgress(Progress{self->bodySize, static_cast<std::int64_t>(uploaded)});
  }
  return 0;
}

void TransferEngine::finish(Transfer& t, int curlCode, std::optional<Error> forcedError) {
  const auto code = static_cast<CURLcode>(curlCode);
  const URLRequest& request = *t.request;
  long osErrno = 0;
  std::optional<std::string> effective;
  if (t.easy) {
    if (code != CURLE_OK) curl_easy_getinfo(t.easy, CURLINFO_OS_ERRNO, &osErrno);
    if (t.head.sawStatusLine || code != CURLE_OK) effective = t.effectiveURL();
    if (t.added) {
      curl_multi_remove_handle(multi_, t.easy);
      --added_;
    }
    t.added = false;
  }

  TransferOutcome outcome;
  const int status = t.head.status;
  if (t.head.sawStatusLine && status > 0) {
    // Parse the answering URL only when a redirect changed it.
    auto url = !effective || *effective == request.url().absoluteString() ? std::nullopt : URL::fromString(*effective);
    outcome.response.emplace(url ? std::move(*url) : request.url(), status, std::move(t.head.headerLines));
    if (!t.destination) outcome.data = std::move(t.received);
  }
  std::optional<Error> error = std::move(forcedError);
  if (!error && t.bodyTooLarge) error = URLError::make(URLError::dataLengthExceedsMaximum, request.url().absoluteString());
  if (!error && isUnsendableRequest(code, t.easy, t.head)) error = requestTooLargeError();
  if (!error && code != CURLE_OK && (t.headTooLarge || isBadReply(code, t.easy, t.head, effective))) {
    error = URLError::make(URLError::badServerResponse, request.url().absoluteString());
  }
  if (!error && t.fileErrno != 0 && t.destination)
    error = platform::detail::fileError(t.fileErrno, t.destination->path, true);
  if (!error && code != CURLE_OK) error = errorForCurl(code, osErrno, request.url().absoluteString());
  if (!error && t.destination && t.destination->options.requireSuccessStatus && (status < 200 || status > 299)) {
    error = statusError(status);
  }

  if (t.file) {
    // Without an error the file takes the destination's place (or, when "remove previous file" was not
    // asked for and something is there, stays out of it); otherwise it is dropped.
    if (!error) {
      error = t.file->commit(t.destination->options.removePreviousFile);
      if (!error) {
        outcome.destination = t.destination->path;
        outcome.file.emplace(DownloadedFile{t.fileSize, finalDigest(t)});
      }
    }
    t.file.reset();
  }
  outcome.error = std::move(error);

  if (t.easy) {
    if (idleHandles_.size() < pooledHandles) {
      idleHandles_.push_back(t.easy);
    } else {
      curl_easy_cleanup(t.easy);
    }
    t.easy = nullptr;
  }
  auto core = std::move(t.core);
  active_.erase(t.id);  // may destroy `t`
  finished_.emplace_back(std::move(core), std::move(outcome));
}

}  // namespace talvaren::platform::http::detail

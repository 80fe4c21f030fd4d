// The reply side of a transfer: the head and body as libcurl delivers them, upload progress, and the
// outcome a finished transfer hands to its request.

#include <sys/stat.h>

#include <cerrno>

#include "CurlErrors.hpp"
#include "Transfer.hpp"
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

}  // namespace

size_t onHeader(char* buffer, size_t size, size_t count, void* userdata) {
  auto* self = static_cast<TransferEngine::Transfer*>(userdata);
  const size_t length = size * count;
  self->touch();
  std::string_view line(buffer, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.size() >= 5 && line.substr(0, 5) == "HTTP/") {
    // A new reply head (after an interim reply or a redirect): only the last one counts.
    self->headerLines.clear();
    self->sawStatusLine = true;
    const auto space = line.find(' ');
    self->status = 0;
    if (space != std::string_view::npos) {
      for (std::size_t i = space + 1; i < line.size() && i < space + 4; ++i) {
        if (line[i] < '0' || line[i] > '9') break;
        self->status = self->status * 10 + (line[i] - '0');
      }
    }
  } else if (line.empty()) {
    self->storeCookies();
  } else if ((line.front() == ' ' || line.front() == '\t') && !self->headerLines.empty()) {
    auto& last = self->headerLines.back().second;
    last += ' ';
    last += trimmed(line);
  } else {
    const auto colon = line.find(':');
    if (colon != std::string_view::npos && colon > 0) {
      self->headerLines.emplace_back(std::string(trimmed(line.substr(0, colon))),
                                     std::string(trimmed(line.substr(colon + 1))));
    }
  }
  return length;
}

size_t onBody(char* data, size_t size, size_t count, void* userdata) {
  auto* self = static_cast<TransferEngine::Transfer*>(userdata);
  const size_t length = size * count;
  self->touch();
  if (self->file) {
    self->fileErrno = self->file->write(std::string_view(data, length));
    return self->fileErrno == 0 ? length : 0;
  }
  self->received.insert(self->received.end(), data, data + length);
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
    if (t.sawStatusLine) effective = t.effectiveURL();
    if (t.added) {
      curl_multi_remove_handle(multi_, t.easy);
      --added_;
    }
    t.added = false;
  }

  TransferOutcome outcome;
  if (t.sawStatusLine && t.status > 0) {
    // Parse the answering URL only when a redirect changed it.
    auto url = !effective || *effective == request.url().absoluteString() ? std::nullopt : URL::fromString(*effective);
    outcome.response.emplace(url ? std::move(*url) : request.url(), t.status, std::move(t.headerLines));
    if (!t.destination) outcome.data = std::move(t.received);
  }
  std::optional<Error> error = std::move(forcedError);
  if (!error && t.fileErrno != 0 && t.destination)
    error = platform::detail::fileError(t.fileErrno, t.destination->path, true);
  if (!error && code != CURLE_OK) error = errorForCurl(code, osErrno, request.url().absoluteString());
  if (!error && t.destination && t.destination->options.requireSuccessStatus && (t.status < 200 || t.status > 299)) {
    error = statusError(t.status);
  }

  if (t.file) {
    // Without an error the file takes the destination's place (or, when "remove previous file" was not
    // asked for and something is there, stays out of it); otherwise it is dropped.
    if (!error) {
      error = t.file->commit(t.destination->options.removePreviousFile);
      if (!error) outcome.destination = t.destination->path;
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

#pragma once
// Private: what the transfer engine's files share: one transfer in flight, the libcurl callbacks that
// read its reply, and the main-loop source through which the main thread watches the sockets.

#include <curl/curl.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../FileIO.hpp"
#include "../MainLoopSource.hpp"
#include "ReplyReading.hpp"
#include "TransferEngine.hpp"
#include "talvaren/platform/http/HTTPCookie.hpp"

namespace talvaren::platform::http::detail {

/// Easy handles kept for the next transfers.
inline constexpr std::size_t pooledHandles = 16;

inline bool hasField(const std::vector<HTTPHeaderField>& fields, std::string_view name) {
  return std::any_of(fields.begin(), fields.end(),
                     [&](const HTTPHeaderField& f) { return headerNameEquals(f.first, name); });
}

/// What a hop to another origin than the caller's may carry of the request's fields, whatever their source
/// (the request's own, the configuration's): how to read the reply and what the body is. Everything else
/// (credentials, API keys, CSRF tokens, cookies, whatever a caller adds) stays behind.
inline bool mayGoToAnyOrigin(std::string_view name) {
  constexpr std::string_view fields[] = {"Accept",       "Accept-Language",  "Accept-Encoding", "User-Agent",
                                         "Content-Type", "Content-Language", "Cache-Control"};
  return std::any_of(std::begin(fields), std::end(fields),
                     [&](std::string_view field) { return headerNameEquals(name, field); });
}

struct TransferEngine::Transfer {
  std::uint64_t id = 0;
  /// Holds the request; it outlives the transfer.
  std::shared_ptr<RequestCore> core;
  const URLRequest* request = nullptr;
  CURL* easy = nullptr;
  HeaderList headers;
  curl_slist* connectTo = nullptr;
  Bytes received;
  /// The largest body kept in `received`; a larger one stops the transfer with `bodyTooLarge` set.
  std::size_t maximumBodySize = 0;
  bool bodyTooLarge = false;
  ReplyHead head;
  /// The head grew beyond maximumHeadSize: the transfer was stopped there.
  bool headTooLarge = false;
  std::shared_ptr<HTTPCookieStorage> cookieStore;
  Clock::time_point lastActivity = Clock::now();
  Clock::duration idleTimeout{};
  std::int64_t bodySize = 0;
  std::int64_t uploadReported = 0;
  std::optional<DownloadDestination> destination;
  /// Downloads: the file the body streams into, renamed to the destination when the transfer succeeds.
  std::optional<platform::detail::AtomicFileWriter> file;
  int fileErrno = 0;
  std::int64_t fileSize = 0;
  /// Downloads that asked for it: the MD5 digest of what was written so far.
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> digest{nullptr, &EVP_MD_CTX_free};
  bool added = false;
  /// Once a redirect was followed: the request of the current hop (its URL, method, body and fields).
  std::optional<URLRequest> hop;
  /// Redirects followed so far.
  long redirects = 0;
  /// A hop went to another origin than the caller's: this hop and every later one carry only the fields
  /// that may go to any origin, wherever they go.
  bool leftOrigin = false;
  /// The reply being read is a redirect this transfer follows: its body is not kept.
  bool redirecting = false;

  Transfer() = default;
  ~Transfer() {
    if (connectTo) curl_slist_free_all(connectTo);
  }
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  void touch() { lastActivity = Clock::now(); }

  /// The request of the hop being sent: the caller's, or the one a followed redirect made.
  const URLRequest& current() const { return hop ? *hop : *request; }

  std::string effectiveURL() const {
    char* url = nullptr;
    if (easy && curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK && url) return url;
    return request->url().absoluteString();
  }

  void storeCookies() {
    if (!cookieStore || !hasField(head.headerLines, "Set-Cookie")) return;
    if (auto url = URL::fromString(effectiveURL()))
      cookieStore->setCookies(HTTPCookie::cookies(head.headerLines, *url), *url);
  }

  /// Called when a head is complete: notes whether it is a redirect this transfer follows.
  void noteRedirect() {
    const int status = head.status;
    redirecting = (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) &&
                  current().followsRedirects() && hasField(head.headerLines, "Location");
  }
};

/// Offers the sockets to the main queue's runner; it reaches the engine only while the engine is alive.
class TransferEngine::MainSource final : public platform::detail::MainLoopSource {
 public:
  void attach(std::weak_ptr<TransferEngine> engine) {
    std::lock_guard lock(mutex_);
    engine_ = std::move(engine);
  }

  void willWait(std::vector<pollfd>& descriptors) override {
    if (auto engine = this->engine()) engine->mainWillWait(descriptors);
  }
  void didWait(const pollfd* descriptors, std::size_t count) override {
    if (auto engine = this->engine()) engine->mainDidWait(descriptors, count);
  }

 private:
  std::shared_ptr<TransferEngine> engine() {
    std::lock_guard lock(mutex_);
    return engine_.lock();
  }

  std::mutex mutex_;
  std::weak_ptr<TransferEngine> engine_;
};

// The reply callbacks libcurl calls with the transfer as their user data (TransferReply.cpp).
size_t onHeader(char* buffer, size_t size, size_t count, void* userdata);
size_t onBody(char* data, size_t size, size_t count, void* userdata);
int onProgress(void* userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded);

}  // namespace talvaren::platform::http::detail

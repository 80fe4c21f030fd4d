#include "TransferEngine.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "CurlErrors.hpp"
#include "TestHooks.hpp"
#include "talvaren/platform/http/HTTPCookie.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren::platform::http::detail {
namespace {

using Clock = std::chrono::steady_clock;

constexpr long maximumRedirects = 16;
constexpr std::size_t pooledHandles = 16;

void initialiseCurl() {
  static const bool done = [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return true;
  }();
  (void)done;
}

bool isTokenCharacter(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (std::isalnum(u)) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isValidHeader(const std::string& name, const std::string& value) {
  if (name.empty() || !std::all_of(name.begin(), name.end(), isTokenCharacter)) return false;
  return std::none_of(value.begin(), value.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t') || u == 0x7F;
  });
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

struct TransferEngine::Transfer {
  std::uint64_t id = 0;
  std::shared_ptr<RequestCore> core;
  URLRequest request;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  curl_slist* connectTo = nullptr;
  Bytes body;
  Bytes received;
  std::vector<HTTPHeaderField> headerLines;
  int status = 0;
  bool sawStatusLine = false;
  std::shared_ptr<HTTPCookieStorage> cookieStore;
  Clock::time_point lastActivity = Clock::now();
  Clock::duration idleTimeout{};
  std::int64_t uploadReported = 0;
  bool reportUpload = false;
  std::optional<DownloadDestination> destination;
  std::string temporaryPath;
  std::FILE* file = nullptr;
  int fileErrno = 0;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  bool added = false;

  explicit Transfer(URLRequest r) : request(std::move(r)) {}
  ~Transfer() {
    if (headers) curl_slist_free_all(headers);
    if (connectTo) curl_slist_free_all(connectTo);
    if (file) {
      std::fclose(file);
      ::unlink(temporaryPath.c_str());
    }
  }
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  void touch() { lastActivity = Clock::now(); }

  std::string effectiveURL() const {
    char* url = nullptr;
    if (easy && curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK && url) return url;
    return request.url().absoluteString();
  }

  static size_t onHeader(char* buffer, size_t size, size_t count, void* userdata) {
    auto* self = static_cast<Transfer*>(userdata);
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

  void storeCookies() {
    if (!cookieStore) return;
    bool any = false;
    for (const auto& field : headerLines) any = any || headerNameEquals(field.first, "Set-Cookie");
    if (!any) return;
    if (auto url = URL::fromString(effectiveURL())) cookieStore->setCookies(HTTPCookie::cookies(headerLines, *url), *url);
  }

  static size_t onBody(char* data, size_t size, size_t count, void* userdata) {
    auto* self = static_cast<Transfer*>(userdata);
    const size_t length = size * count;
    self->touch();
    if (self->file) {
      if (std::fwrite(data, 1, length, self->file) != length) {
        self->fileErrno = errno ? errno : EIO;
        return 0;
      }
      return length;
    }
    self->received.insert(self->received.end(), data, data + length);
    return length;
  }

  static int onProgress(void* userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
    auto* self = static_cast<Transfer*>(userdata);
    if (uploaded > self->uploadReported) {
      self->touch();
      self->uploadReported = uploaded;
      if (self->reportUpload) {
        self->core->reportUploadProgress(
            Progress{static_cast<std::int64_t>(self->body.size()), static_cast<std::int64_t>(uploaded)});
      }
    }
    return 0;
  }
};

TransferEngine::TransferEngine(const SessionConfiguration& configuration) : configuration_(configuration) {
  initialiseCurl();
  multi_ = curl_multi_init();
  if (multi_) {
    curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, std::max(1L, configuration_.httpMaximumConnectionsPerHost));
  }
}

TransferEngine::~TransferEngine() {
  shutdown();
  for (auto* easy : idleHandles_) curl_easy_cleanup(easy);
  if (multi_) curl_multi_cleanup(multi_);
}

void TransferEngine::startWorker() {
  if (multi_) {
    worker_ = std::thread([this] {
      pthread_setname_np(pthread_self(), "talvaren-http");
      run();
    });
  }
}

void TransferEngine::cancelUnstarted(TransferJob& job) {
  TransferOutcome outcome;
  outcome.request = job.request;
  outcome.error = URLError::make(URLError::cancelled, job.request.url().absoluteString());
  job.core->complete(std::move(outcome));
}

void TransferEngine::submit(TransferJob job) {
  std::unique_lock lock(mutex_);
  if (stopping_ || !multi_) {
    lock.unlock();
    return cancelUnstarted(job);
  }
  const auto id = nextId_++;
  job.core->attach(weak_from_this(), id);
  job.id = id;
  incoming_.push_back(std::move(job));
  lock.unlock();
  nudge();
}

void TransferEngine::nudge() {
  // With sleeping_ written before pending_ is read on the worker, and pending_ written before sleeping_
  // is read here, one of the two sides always sees the other: no wake-up is lost.
  pending_.store(true);
  if (sleeping_.load()) curl_multi_wakeup(multi_);
}

void TransferEngine::cancel(std::uint64_t id) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    cancellations_.push_back(id);
  }
  nudge();
}

void TransferEngine::shutdown() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  if (multi_) curl_multi_wakeup(multi_);
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

void TransferEngine::run() {
  for (;;) {
    std::deque<TransferJob> jobs;
    std::vector<std::uint64_t> cancellations;
    bool stopping = false;
    {
      std::lock_guard lock(mutex_);
      pending_.store(false);
      jobs.swap(incoming_);
      cancellations.swap(cancellations_);
      stopping = stopping_;
    }
    for (auto& job : jobs) {
      if (stopping) {
        cancelUnstarted(job);
      } else {
        begin(job);
      }
    }
    for (auto id : cancellations) {
      auto it = active_.find(id);
      if (it != active_.end()) {
        finish(*it->second, CURLE_ABORTED_BY_CALLBACK,
               URLError::make(URLError::cancelled, it->second->request.url().absoluteString()));
      }
    }
    if (stopping) {
      failAll(URLError::cancelled);
      return;
    }

    int running = 0;
    curl_multi_perform(multi_, &running);
    int remaining = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &remaining)) {
      if (message->msg != CURLMSG_DONE) continue;
      Transfer* transfer = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
      if (transfer) finish(*transfer, message->data.result);
    }
    expireIdleTransfers();
    waitForActivity();
  }
}

void TransferEngine::waitForActivity() {
  if (pending_.load(std::memory_order_acquire)) return;
  sleeping_.store(true);
  if (!pending_.load()) curl_multi_poll(multi_, nullptr, 0, static_cast<int>(nextWaitMilliseconds()), nullptr);
  sleeping_.store(false);
}

long TransferEngine::nextWaitMilliseconds() {
  long wait = active_.empty() ? 60000 : 1000;
  long curlWait = -1;
  if (!active_.empty() && curl_multi_timeout(multi_, &curlWait) == CURLM_OK && curlWait >= 0) {
    wait = std::min(wait, curlWait);
  }
  const auto now = Clock::now();
  for (const auto& [id, transfer] : active_) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(transfer->lastActivity +
                                                                            transfer->idleTimeout - now);
    wait = std::min<long>(wait, std::max<long>(0, static_cast<long>(left.count()) + 1));
  }
  return wait;
}

void TransferEngine::expireIdleTransfers() {
  const auto now = Clock::now();
  std::vector<Transfer*> expired;
  for (const auto& [id, transfer] : active_) {
    if (now - transfer->lastActivity >= transfer->idleTimeout) expired.push_back(transfer.get());
  }
  for (auto* transfer : expired) finish(*transfer, CURLE_OPERATION_TIMEDOUT);
}

void TransferEngine::failAll(std::int64_t code) {
  std::vector<Transfer*> all;
  for (const auto& [id, transfer] : active_) all.push_back(transfer.get());
  for (auto* transfer : all) {
    finish(*transfer, CURLE_ABORTED_BY_CALLBACK, URLError::make(code, transfer->request.url().absoluteString()));
  }
}

CURL* TransferEngine::takeEasyHandle() {
  if (idleHandles_.empty()) return curl_easy_init();
  CURL* easy = idleHandles_.back();
  idleHandles_.pop_back();
  curl_easy_reset(easy);
  return easy;
}

void TransferEngine::begin(TransferJob& job) {
  auto transfer = std::make_unique<Transfer>(std::move(job.request));
  transfer->id = job.id;
  transfer->core = std::move(job.core);
  transfer->destination = std::move(job.destination);
  Transfer& t = *transfer;
  const std::string urlText = t.request.url().absoluteString();
  auto failNow = [&](Error error) {
    TransferOutcome outcome;
    outcome.request = t.request;
    outcome.error = std::move(error);
    t.core->complete(std::move(outcome));
  };

  const std::string& scheme = t.request.url().scheme();
  if (scheme != "http" && scheme != "https") return failNow(URLError::make(URLError::unsupportedURL, urlText));

  // Header fields: the request's own, then the configuration's, then cookies.
  std::vector<HTTPHeaderField> fields = t.request.headerFields();
  for (const auto& [name, value] : configuration_.httpAdditionalHeaders) {
    if (!t.request.value(name)) fields.emplace_back(name, value);
  }
  auto has = [&](std::string_view name) {
    return std::any_of(fields.begin(), fields.end(), [&](const HTTPHeaderField& f) { return headerNameEquals(f.first, name); });
  };
  if (configuration_.httpShouldSetCookies && configuration_.httpCookieStorage) {
    t.cookieStore = configuration_.httpCookieStorage;
    if (!has("Cookie")) {
      const auto cookies = t.cookieStore->cookies(t.request.url());
      if (!cookies.empty()) fields.emplace_back("Cookie", HTTPCookie::requestHeaderValue(cookies));
    }
  }
  for (const auto& [name, value] : fields) {
    if (!isValidHeader(name, value)) {
      return failNow(Error::withDescription(HTTPRequestErrorDomain, HTTPRequestError::invalidHeader,
                                            "The header field \"" + name + "\" is not valid."));
    }
  }
  const bool hasBody = t.request.httpBody().has_value();
  // Keep libcurl from adding header fields of its own.
  if (!has("Accept")) fields.emplace_back("Accept", "");
  if (!has("Expect")) fields.emplace_back("Expect", "");
  if (hasBody && !has("Content-Type")) fields.emplace_back("Content-Type", "");
  for (const auto& [name, value] : fields) {
    const std::string line = value.empty() && (name == "Accept" || name == "Expect" || name == "Content-Type")
                                 ? name + ":"  // removes libcurl's own field
                                 : (value.empty() ? name + ";" : name + ": " + value);
    // A caller's empty field keeps its name: "Name;" sends "Name:" with no value.
    t.headers = curl_slist_append(t.headers, line.c_str());
  }

  if (auto fault = injectedFault(t.request.url().host())) {
    TransferOutcome outcome;
    outcome.request = t.request;
    outcome.error = errorForCurl(fault->code, fault->osErrno, urlText);
    t.core->complete(std::move(outcome));
    return;
  }

  if (t.destination) {
    namespace fs = std::filesystem;
    const fs::path destination(t.destination->path);
    fs::path directory = destination.parent_path();
    if (directory.empty()) directory = ".";
    std::error_code ec;
    if (t.destination->options.createIntermediateDirectories) fs::create_directories(directory, ec);
    std::string pattern = (directory / ("." + destination.filename().string() + ".download-XXXXXX")).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
      return failNow(fileError(errno, t.destination->path));
    }
    fchmod(fd, 0644);
    t.temporaryPath = pattern;
    t.file = fdopen(fd, "wb");
    if (!t.file) {
      const int error = errno;
      ::close(fd);
      ::unlink(t.temporaryPath.c_str());
      return failNow(fileError(error, t.destination->path));
    }
  }

  t.easy = takeEasyHandle();
  if (!t.easy) return finish(t, CURLE_OUT_OF_MEMORY);
  CURL* easy = t.easy;
  curl_easy_setopt(easy, CURLOPT_URL, urlText.c_str());
  curl_easy_setopt(easy, CURLOPT_PRIVATE, &t);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, t.errorBuffer);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, maximumRedirects);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, t.headers);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::onBody);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);

  double timeout = t.request.timeoutInterval();
  if (!(timeout > 0) || !std::isfinite(timeout)) timeout = 60;
  t.idleTimeout = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeout));
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::min(timeout * 1000.0, 2.0e9)));

  const auto routes = connectToEntries();
  for (const auto& entry : routes) t.connectTo = curl_slist_append(t.connectTo, entry.c_str());
  if (t.connectTo) curl_easy_setopt(easy, CURLOPT_CONNECT_TO, t.connectTo);

  static const char emptyBody[] = "";
  const auto method = t.request.httpMethod();
  if (hasBody) t.body = *t.request.httpBody();
  const char* bodyData = t.body.empty() ? emptyBody : reinterpret_cast<const char*>(t.body.data());
  auto attachBody = [&] {
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.body.size()));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, bodyData);
  };
  switch (method) {
    case HTTPMethod::GET:
      if (hasBody) {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, "GET");
        attachBody();
      } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
      }
      break;
    case HTTPMethod::POST:
      curl_easy_setopt(easy, CURLOPT_POST, 1L);
      attachBody();
      break;
    case HTTPMethod::PUT:
    case HTTPMethod::PATCH:
      curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, rawValue(method).data());
      attachBody();
      break;
    case HTTPMethod::DELETE:
      curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, "DELETE");
      if (hasBody) attachBody();
      break;
  }
  if (!t.body.empty()) {
    t.reportUpload = true;
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &t);
  }

  t.touch();
  if (curl_multi_add_handle(multi_, easy) != CURLM_OK) return finish(t, CURLE_FAILED_INIT);
  t.added = true;
  active_.emplace(t.id, std::move(transfer));
}

void TransferEngine::finish(Transfer& t, int curlCode, std::optional<Error> forcedError) {
  const auto code = static_cast<CURLcode>(curlCode);
  long osErrno = 0;
  const std::string effective = t.effectiveURL();
  if (t.easy) {
    curl_easy_getinfo(t.easy, CURLINFO_OS_ERRNO, &osErrno);
    if (t.added) curl_multi_remove_handle(multi_, t.easy);
    t.added = false;
  }

  TransferOutcome outcome;
  if (t.sawStatusLine && t.status > 0) {
    // Parse the answering URL only when a redirect changed it.
    auto url = effective == t.request.url().absoluteString() ? std::nullopt : URL::fromString(effective);
    outcome.response.emplace(url ? *url : t.request.url(), t.status, std::move(t.headerLines));
    if (!t.destination) outcome.data = std::move(t.received);
  }
  std::optional<Error> error = std::move(forcedError);
  if (!error && t.fileErrno != 0 && t.destination) error = fileError(t.fileErrno, t.destination->path);
  if (!error && code != CURLE_OK) error = errorForCurl(code, osErrno, t.request.url().absoluteString());

  if (t.file) {
    if (!error && (std::fflush(t.file) != 0 || ::fsync(fileno(t.file)) != 0)) error = fileError(errno, t.destination->path);
    if (std::fclose(t.file) != 0 && !error) error = fileError(errno, t.destination->path);
    t.file = nullptr;
    if (!error) {
      const std::string& path = t.destination->path;
      struct stat existing {};
      if (!t.destination->options.removePreviousFile && ::lstat(path.c_str(), &existing) == 0) {
        error = fileError(EEXIST, path);
      } else if (std::rename(t.temporaryPath.c_str(), path.c_str()) != 0) {
        error = fileError(errno, path);
      } else {
        outcome.destination = path;
      }
    }
    if (!outcome.destination) ::unlink(t.temporaryPath.c_str());
    t.temporaryPath.clear();
  }
  outcome.error = std::move(error);
  outcome.request = std::move(t.request);

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
  core->complete(std::move(outcome));
}

}  // namespace talvaren::platform::http::detail

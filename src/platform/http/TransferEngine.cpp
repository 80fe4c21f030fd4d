#include "TransferEngine.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "../FileIO.hpp"
#include "../MainLoopSource.hpp"
#include "CurlErrors.hpp"
#include "TransferHooks.hpp"
#include "talvaren/platform/http/HTTPCookie.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren::platform::http::detail {
namespace {

constexpr long maximumRedirects = 16;
constexpr std::size_t pooledHandles = 16;
constexpr std::size_t socketEventsPerRound = 64;

void initialiseCurl() {
  static const bool done = [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return true;
  }();
  (void)done;
}

bool isTokenCharacter(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isValidHeader(const std::string& name, const std::string& value) {
  if (name.empty() || !std::all_of(name.begin(), name.end(), isTokenCharacter)) return false;
  return std::none_of(value.begin(), value.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t') || u == 0x7F;
  });
}

bool hasField(const std::vector<HTTPHeaderField>& fields, std::string_view name) {
  return std::any_of(fields.begin(), fields.end(),
                     [&](const HTTPHeaderField& f) { return headerNameEquals(f.first, name); });
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

size_t onHeader(char* buffer, size_t size, size_t count, void* userdata);
size_t onBody(char* data, size_t size, size_t count, void* userdata);
int onProgress(void* userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded);

}  // namespace

struct TransferEngine::Transfer {
  std::uint64_t id = 0;
  /// Holds the request; it outlives the transfer.
  std::shared_ptr<RequestCore> core;
  const URLRequest* request = nullptr;
  CURL* easy = nullptr;
  HeaderList headers;
  curl_slist* connectTo = nullptr;
  Bytes received;
  std::vector<HTTPHeaderField> headerLines;
  int status = 0;
  bool sawStatusLine = false;
  std::shared_ptr<HTTPCookieStorage> cookieStore;
  Clock::time_point lastActivity = Clock::now();
  Clock::duration idleTimeout{};
  std::int64_t bodySize = 0;
  std::int64_t uploadReported = 0;
  std::optional<DownloadDestination> destination;
  /// Downloads: the file the body streams into, renamed to the destination when the transfer succeeds.
  std::optional<platform::detail::AtomicFileWriter> file;
  int fileErrno = 0;
  bool added = false;

  Transfer() = default;
  ~Transfer() {
    if (connectTo) curl_slist_free_all(connectTo);
  }
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  void touch() { lastActivity = Clock::now(); }

  std::string effectiveURL() const {
    char* url = nullptr;
    if (easy && curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url) == CURLE_OK && url) return url;
    return request->url().absoluteString();
  }

  void storeCookies() {
    if (!cookieStore || !hasField(headerLines, "Set-Cookie")) return;
    if (auto url = URL::fromString(effectiveURL()))
      cookieStore->setCookies(HTTPCookie::cookies(headerLines, *url), *url);
  }
};

namespace {

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

}  // namespace

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

TransferEngine::TransferEngine(const SessionConfiguration& configuration) : configuration_(configuration) {
  initialiseCurl();
  source_ = std::make_shared<MainSource>();
  socketsFd_ = ::epoll_create1(EPOLL_CLOEXEC);
  workerFd_ = ::epoll_create1(EPOLL_CLOEXEC);
  wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  epoll_event wakeEvent{};
  wakeEvent.events = EPOLLIN;
  wakeEvent.data.fd = wakeFd_;
  epoll_event socketsEvent{};  // no events until the worker takes the sockets (setSocketsWithWorker)
  socketsEvent.data.fd = socketsFd_;
  if (socketsFd_ < 0 || workerFd_ < 0 || wakeFd_ < 0 ||
      ::epoll_ctl(workerFd_, EPOLL_CTL_ADD, wakeFd_, &wakeEvent) != 0 ||
      ::epoll_ctl(workerFd_, EPOLL_CTL_ADD, socketsFd_, &socketsEvent) != 0) {
    return;  // without them no transfer can run: multi_ stays null and every request fails at once
  }
  multi_ = curl_multi_init();
  if (!multi_) return;
  curl_multi_setopt(multi_, CURLMOPT_MAX_HOST_CONNECTIONS, std::max(1L, configuration_.httpMaximumConnectionsPerHost));
  curl_multi_setopt(multi_, CURLMOPT_SOCKETFUNCTION, &TransferEngine::onSocket);
  curl_multi_setopt(multi_, CURLMOPT_SOCKETDATA, this);
  curl_multi_setopt(multi_, CURLMOPT_TIMERFUNCTION, &TransferEngine::onTimer);
  curl_multi_setopt(multi_, CURLMOPT_TIMERDATA, this);
  socketEvents_.resize(socketEventsPerRound);
}

TransferEngine::~TransferEngine() {
  shutdown();
  for (auto* easy : idleHandles_) curl_easy_cleanup(easy);
  lastHeaderList_.reset();
  if (multi_) curl_multi_cleanup(multi_);  // may still tell onSocket to forget sockets
  if (wakeFd_ >= 0) ::close(wakeFd_);
  if (workerFd_ >= 0) ::close(workerFd_);
  if (socketsFd_ >= 0) ::close(socketsFd_);
}

void TransferEngine::startWorker() {
  if (!multi_) return;
  worker_ = std::thread([this] {
    pthread_setname_np(pthread_self(), "talvaren-http");
    run();
  });
  source_->attach(weak_from_this());
  platform::detail::addMainLoopSource(source_);
}

int TransferEngine::onSocket(CURL*, curl_socket_t socket, int what, void* engine, void*) {
  auto* self = static_cast<TransferEngine*>(engine);
  std::lock_guard lock(self->watchMutex_);
  WatchedSocket* entry = self->findSocket(socket);
  if (what == CURL_POLL_REMOVE) {
    if (!entry) return 0;
    entry->wanted = 0;
    if (!entry->ours) {
      // Closed behind our back later (name resolution): it must not stay in the set.
      if (entry->inSet) ::epoll_ctl(self->socketsFd_, EPOLL_CTL_DEL, socket, nullptr);
      *entry = self->sockets_.back();
      self->sockets_.pop_back();
    }
    return 0;
  }
  if (!entry) entry = &self->sockets_.emplace_back(WatchedSocket{socket});
  const short wanted =
      static_cast<short>(((what & CURL_POLL_IN) ? POLLIN : 0) | ((what & CURL_POLL_OUT) ? POLLOUT : 0));
  if (entry->wanted == wanted) return 0;
  entry->wanted = wanted;
  if (self->socketsWithWorker_) {
    self->syncSocket(*entry);
  } else if (self->mainPolling_) {
    // The main thread sleeps without this socket: the worker takes the sockets until it wakes.
    self->setSocketsWithWorker(true);
  }
  return 0;
}

curl_socket_t TransferEngine::openSocket(void* engine, curlsocktype, curl_sockaddr* address) {
  const int fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  if (fd < 0) return CURL_SOCKET_BAD;
  auto* self = static_cast<TransferEngine*>(engine);
  std::lock_guard lock(self->watchMutex_);
  WatchedSocket* entry = self->findSocket(fd);
  if (!entry) entry = &self->sockets_.emplace_back();
  *entry = WatchedSocket{fd, 0, 0, true};  // a new socket is in no set, whatever an old one of that number was
  return fd;
}

int TransferEngine::closeSocket(void* engine, curl_socket_t socket) {
  auto* self = static_cast<TransferEngine*>(engine);
  {
    std::lock_guard lock(self->watchMutex_);
    if (WatchedSocket* entry = self->findSocket(socket)) {
      *entry = self->sockets_.back();
      self->sockets_.pop_back();
    }
  }
  return ::close(socket);  // closing also takes it out of the socket set
}

TransferEngine::WatchedSocket* TransferEngine::findSocket(int fd) {
  for (auto& entry : sockets_) {
    if (entry.fd == fd) return &entry;
  }
  return nullptr;
}

void TransferEngine::syncSocket(WatchedSocket& entry) {
  if (!entry.wanted) return;  // a let-go socket may stay; driveSockets drops it if it ever reports
  const std::uint32_t events = ((entry.wanted & POLLIN) ? EPOLLIN : 0u) | ((entry.wanted & POLLOUT) ? EPOLLOUT : 0u);
  if (entry.inSet == events) return;
  epoll_event event{};
  event.events = events;
  event.data.fd = entry.fd;
  const bool done = entry.inSet ? ::epoll_ctl(socketsFd_, EPOLL_CTL_MOD, entry.fd, &event) == 0
                                : (::epoll_ctl(socketsFd_, EPOLL_CTL_ADD, entry.fd, &event) == 0 ||
                                   (errno == EEXIST && ::epoll_ctl(socketsFd_, EPOLL_CTL_MOD, entry.fd, &event) == 0));
  entry.inSet = done ? events : 0;
}

int TransferEngine::onTimer(CURLM*, long milliseconds, void* engine) {
  auto* self = static_cast<TransferEngine*>(engine);
  if (milliseconds < 0) {
    self->curlDeadline_.reset();
  } else {
    self->curlDeadline_ = Clock::now() + std::chrono::milliseconds(milliseconds);
  }
  return 0;
}

void TransferEngine::failUnstarted(RequestCore& core, Error error) {
  TransferOutcome outcome;
  outcome.error = std::move(error);
  core.complete(std::move(outcome));
}

void TransferEngine::submit(TransferJob job) {
  auto cancelled = [&] {
    const auto& url = job.core->request()->url().absoluteString();
    failUnstarted(*job.core, URLError::make(URLError::cancelled, url));
  };
  {
    std::unique_lock lock(mutex_);
    if (stopping_ || !multi_) {
      lock.unlock();
      return cancelled();
    }
    job.id = nextId_++;
  }
  job.core->attach(weak_from_this(), job.id);

  std::unique_lock transfers(transferMutex_, std::try_to_lock);
  if (transfers.owns_lock()) {
    bool stopping = false;
    {
      std::lock_guard lock(mutex_);
      stopping = stopping_;
    }
    if (!stopping) return startHere(job, transfers);
    // The worker may have ended already: nobody else would ever finish the job.
    transfers.unlock();
    return cancelled();
  }
  {
    std::unique_lock lock(mutex_);
    if (stopping_) {
      lock.unlock();
      return cancelled();
    }
    incoming_.push_back(std::move(job));
  }
  nudge();
}

void TransferEngine::startHere(TransferJob& job, std::unique_lock<std::mutex>& lock) {
  const std::size_t addedBefore = added_;
  const auto id = job.id;
  begin(job);
  bool wakeWorker = false;
  if (added_ > addedBefore) {
    // Send it now: a fresh transfer is due for libcurl's timer action at once.
    const int running = fireTimer();
    // Transfers that ended in there are read and finished by the worker.
    wakeWorker = static_cast<std::size_t>(running) < added_;
    // The worker keeps the deadlines: it must wake sooner when this transfer's come first.
    auto it = active_.find(id);
    if (it != active_.end() && it->second->lastActivity + it->second->idleTimeout < plannedWake_) wakeWorker = true;
    if (curlDeadline_ && *curlDeadline_ < plannedWake_) wakeWorker = true;
    keepSocketsWatched();
  }
  Finished finished;
  finished.swap(finished_);
  lock.unlock();
  deliver(finished);
  if (wakeWorker) wake();
}

bool TransferEngine::driveFromMain(const pollfd* descriptors, std::size_t count) {
  std::unique_lock lock(transferMutex_, std::try_to_lock);
  if (!lock.owns_lock()) return false;
  int running = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const short ready = descriptors[i].revents;
    if (!ready || (ready & POLLNVAL)) continue;
    const int action = ((ready & (POLLIN | POLLHUP)) ? CURL_CSELECT_IN : 0) |
                       ((ready & POLLOUT) ? CURL_CSELECT_OUT : 0) | ((ready & POLLERR) ? CURL_CSELECT_ERR : 0);
    curl_multi_socket_action(multi_, descriptors[i].fd, action, &running);
  }
  driveTimer();
  collectFinished();
  const bool wakeWorker = curlDeadline_ && *curlDeadline_ < plannedWake_;
  Finished finished;
  finished.swap(finished_);
  lock.unlock();
  deliver(finished);
  if (wakeWorker) wake();
  return true;
}

void TransferEngine::mainWillWait(std::vector<pollfd>& descriptors) {
  std::lock_guard lock(watchMutex_);
  if (!multi_ || mainDeclined_) {
    mainDeclined_ = false;
    return;
  }
  mainPolling_ = true;
  if (socketsWithWorker_) setSocketsWithWorker(false);
  for (const auto& entry : sockets_) {
    if (entry.wanted) descriptors.push_back(pollfd{entry.fd, entry.wanted, 0});
  }
}

void TransferEngine::mainDidWait(const pollfd* descriptors, std::size_t count) {
  {
    std::lock_guard lock(watchMutex_);
    mainPolling_ = false;
  }
  const bool ready = std::any_of(descriptors, descriptors + count, [](const pollfd& d) { return d.revents != 0; });
  const bool drove = !ready || driveFromMain(descriptors, count);
  std::lock_guard lock(watchMutex_);
  mainDeclined_ = !drove;
  if (added_ > 0 && !socketsWithWorker_) setSocketsWithWorker(true);
}

void TransferEngine::keepSocketsWatched() {
  std::lock_guard lock(watchMutex_);
  if (!mainPolling_ && !socketsWithWorker_) setSocketsWithWorker(true);
}

void TransferEngine::setSocketsWithWorker(bool with) {
  if (with) {
    for (auto& entry : sockets_) syncSocket(entry);
  }
  // The socket set stays in the worker's set for good: switching its events on and off is cheaper than adding and
  // removing it.
  epoll_event event{};
  event.events = with ? EPOLLIN : 0u;
  event.data.fd = socketsFd_;
  if (::epoll_ctl(workerFd_, EPOLL_CTL_MOD, socketsFd_, &event) == 0) socketsWithWorker_ = with;
}

void TransferEngine::deliver(Finished& finished) {
  for (auto& [core, outcome] : finished) core->complete(std::move(outcome));
  finished.clear();
}

void TransferEngine::failEarly(std::shared_ptr<RequestCore> core, Error error) {
  TransferOutcome outcome;
  outcome.error = std::move(error);
  finished_.emplace_back(std::move(core), std::move(outcome));
}

void TransferEngine::nudge() {
  // With sleeping_ written before pending_ is read on the worker, and pending_ written before sleeping_ is read here,
  // one of the two sides always sees the other: no wake-up is lost.
  pending_.store(true);
  if (sleeping_.load()) wake();
}

void TransferEngine::wake() {
  if (wakeFd_ < 0) return;
  const std::uint64_t one = 1;
  // A full counter (it never is) or an interrupted write still leaves the descriptor readable.
  [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
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
  if (source_) platform::detail::removeMainLoopSource(source_.get());
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  pending_.store(true);
  wake();
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

void TransferEngine::run() {
  std::unique_lock transfers(transferMutex_);
  Finished finished;
  for (;;) {
    bool stopping = false;
    taken_.clear();
    takenCancellations_.clear();
    {
      std::lock_guard lock(mutex_);
      pending_.store(false);
      taken_.swap(incoming_);
      takenCancellations_.swap(cancellations_);
      stopping = stopping_;
    }
    for (auto& job : taken_) {
      if (stopping) {
        failEarly(job.core, URLError::make(URLError::cancelled, job.core->request()->url().absoluteString()));
      } else {
        begin(job);
      }
    }
    taken_.clear();  // lets go of the requests now, not at the next wake-up
    for (auto id : takenCancellations_) {
      auto it = active_.find(id);
      if (it != active_.end()) {
        finish(*it->second, CURLE_ABORTED_BY_CALLBACK,
               URLError::make(URLError::cancelled, it->second->request->url().absoluteString()));
      }
    }
    if (stopping) {
      failAll(URLError::cancelled);
      finished.swap(finished_);
      transfers.unlock();
      deliver(finished);
      return;
    }

    driveSockets();
    driveTimer();
    collectFinished();
    expireIdleTransfers();
    if (added_ > 0) keepSocketsWatched();
    plannedWake_ = Clock::now() + std::chrono::milliseconds(nextWaitMilliseconds());
    finished.swap(finished_);
    transfers.unlock();
    deliver(finished);
    waitForActivity();
    transfers.lock();
  }
}

void TransferEngine::driveSockets() {
  const int count = ::epoll_wait(socketsFd_, socketEvents_.data(), static_cast<int>(socketEvents_.size()), 0);
  int running = 0;
  for (int i = 0; i < count; ++i) {
    const int fd = socketEvents_[i].data.fd;
    {
      // A socket libcurl let go (a kept-alive connection the server closed, say) leaves the set now.
      std::lock_guard lock(watchMutex_);
      WatchedSocket* entry = findSocket(fd);
      if (!entry || !entry->wanted) {
        ::epoll_ctl(socketsFd_, EPOLL_CTL_DEL, fd, nullptr);
        if (entry) entry->inSet = 0;
        continue;
      }
    }
    const auto events = socketEvents_[i].events;
    const int action = ((events & (EPOLLIN | EPOLLHUP)) ? CURL_CSELECT_IN : 0) |
                       ((events & EPOLLOUT) ? CURL_CSELECT_OUT : 0) | ((events & EPOLLERR) ? CURL_CSELECT_ERR : 0);
    curl_multi_socket_action(multi_, fd, action, &running);
  }
}

void TransferEngine::driveTimer() {
  if (curlDeadline_ && *curlDeadline_ <= Clock::now()) fireTimer();
}

int TransferEngine::fireTimer() {
  // libcurl's timer fires once: it asks again (onTimer) for whatever it needs next.
  curlDeadline_.reset();
  int running = 0;
  curl_multi_socket_action(multi_, CURL_SOCKET_TIMEOUT, 0, &running);
  return running;
}

void TransferEngine::collectFinished() {
  int remaining = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_, &remaining)) {
    if (message->msg != CURLMSG_DONE) continue;
    Transfer* transfer = nullptr;
    curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
    if (transfer) finish(*transfer, message->data.result);
  }
}

void TransferEngine::waitForActivity() {
  if (pending_.load(std::memory_order_acquire)) return;
  sleeping_.store(true);
  if (!pending_.load()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(plannedWake_ - Clock::now()).count();
    const int timeout = static_cast<int>(std::clamp<long long>(left, 0, 60000));
    epoll_event events[2];
    const int count = ::epoll_wait(workerFd_, events, 2, timeout);
    for (int i = 0; i < count; ++i) {
      if (events[i].data.fd != wakeFd_) continue;
      std::uint64_t value = 0;
      [[maybe_unused]] const auto read = ::read(wakeFd_, &value, sizeof value);
    }
  }
  sleeping_.store(false);
}

long TransferEngine::nextWaitMilliseconds() {
  long wait = active_.empty() ? 60000 : 1000;
  const auto now = Clock::now();
  auto until = [&](Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    wait = std::min<long>(wait, static_cast<long>(std::max<long long>(0, left)));
  };
  if (curlDeadline_) until(*curlDeadline_);
  for (const auto& [id, transfer] : active_) until(transfer->lastActivity + transfer->idleTimeout);
  return wait;
}

void TransferEngine::expireIdleTransfers() {
  if (active_.empty()) return;
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
    finish(*transfer, CURLE_ABORTED_BY_CALLBACK, URLError::make(code, transfer->request->url().absoluteString()));
  }
}

CURL* TransferEngine::takeEasyHandle() {
  if (!idleHandles_.empty()) {
    CURL* easy = idleHandles_.back();
    idleHandles_.pop_back();
    return easy;
  }
  CURL* easy = curl_easy_init();
  if (!easy) return nullptr;
  // What every transfer shares; begin() sets everything else anew for each transfer.
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, maximumRedirects);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &onHeader);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &onBody);
  curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &onProgress);
  curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &TransferEngine::openSocket);
  curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &TransferEngine::closeSocket);
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this);
  return easy;
}

Result<TransferEngine::HeaderList> TransferEngine::headerList(const URLRequest& request,
                                                              const std::shared_ptr<HTTPCookieStorage>& cookies) {
  // The request's own fields, then the configuration's, then cookies; copied only when something is added.
  const auto& own = request.headerFields();
  std::vector<HTTPHeaderField> extended;
  auto add = [&](std::string name, std::string value) {
    if (extended.empty()) extended = own;
    extended.emplace_back(std::move(name), std::move(value));
  };
  for (const auto& [name, value] : configuration_.httpAdditionalHeaders) {
    if (!hasField(own, name)) add(name, value);
  }
  if (cookies && !hasField(own, "Cookie")) {
    const auto matching = cookies->cookies(request.url());
    if (!matching.empty()) add("Cookie", HTTPCookie::requestHeaderValue(matching));
  }
  const auto& fields = extended.empty() ? own : extended;
  // POST, PUT and PATCH always send a body, an empty one when the request has none.
  const auto method = request.httpMethod();
  const bool hasBody = request.httpBody().has_value() || method == HTTPMethod::POST || method == HTTPMethod::PUT ||
                       method == HTTPMethod::PATCH;
  if (lastHeaderList_ && hasBody == lastHeaderListHadBody_ && fields == lastHeaderFields_) {
    return Result<HeaderList>::success(lastHeaderList_);
  }

  for (const auto& [name, value] : fields) {
    if (!isValidHeader(name, value)) {
      return Result<HeaderList>::failure(Error::withDescription(HTTPRequestErrorDomain, HTTPRequestError::invalidHeader,
                                                                "The header field \"" + name + "\" is not valid."));
    }
  }
  curl_slist* list = nullptr;
  bool complete = true;
  auto append = [&](const std::string& line) {
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (!grown) complete = false;
    list = grown ? grown : list;
  };
  for (const auto& [name, value] : fields) {
    // A caller's empty field keeps its name: "Name;" makes libcurl send "Name:" with no value.
    append(value.empty() ? name + ";" : name + ": " + value);
  }
  // Keep libcurl from adding header fields of its own: "Name:" removes libcurl's field.
  if (!hasField(fields, "Accept")) append("Accept:");
  if (!hasField(fields, "Expect")) append("Expect:");
  if (hasBody && !hasField(fields, "Content-Type")) append("Content-Type:");
  HeaderList shared(list, curl_slist_free_all);
  if (!complete) throw std::bad_alloc();
  lastHeaderFields_ = fields;
  lastHeaderListHadBody_ = hasBody;
  lastHeaderList_ = shared;
  return Result<HeaderList>::success(std::move(shared));
}

void TransferEngine::begin(TransferJob& job) {
  auto transfer = std::make_unique<Transfer>();
  Transfer& t = *transfer;
  t.id = job.id;
  t.core = std::move(job.core);
  t.request = &*t.core->request();
  t.destination = std::move(job.destination);
  const URLRequest& request = *t.request;
  const std::string& urlText = request.url().absoluteString();
  auto failNow = [&](Error error) { failEarly(std::move(t.core), std::move(error)); };
  // A cancel that came before the transfer began (its id unknown to the engine then) is honoured here.
  if (t.core->isCancelled()) return failNow(URLError::make(URLError::cancelled, urlText));

  try {
    const std::string& scheme = request.url().scheme();
    if (scheme != "http" && scheme != "https") return failNow(URLError::make(URLError::unsupportedURL, urlText));

    if (configuration_.httpShouldSetCookies) t.cookieStore = configuration_.httpCookieStorage;
    auto headers = headerList(request, t.cookieStore);
    if (headers.isFailure()) return failNow(*headers.error());
    t.headers = std::move(*headers.value());

    if (auto fault = injectedFault(request.url().host())) {
      return failNow(errorForCurl(fault->code, fault->osErrno, urlText));
    }

    if (t.destination) {
      namespace fs = std::filesystem;
      const fs::path destination(t.destination->path);
      fs::path directory = destination.parent_path();
      if (directory.empty()) directory = ".";
      std::error_code ec;
      if (t.destination->options.createIntermediateDirectories) fs::create_directories(directory, ec);
      auto opened = platform::detail::AtomicFileWriter::open(destination, 0644, true);
      if (auto* error = std::get_if<Error>(&opened)) return failNow(std::move(*error));
      t.file.emplace(std::move(std::get<platform::detail::AtomicFileWriter>(opened)));
    }

    const auto routes = connectToEntries();
    for (const auto& entry : routes) {
      curl_slist* grown = curl_slist_append(t.connectTo, entry.c_str());
      if (!grown) throw std::bad_alloc();
      t.connectTo = grown;
    }
  } catch (...) {
    return failNow(URLError::make(URLError::unknown, urlText));
  }

  t.easy = takeEasyHandle();
  if (!t.easy) return finish(t, CURLE_OUT_OF_MEMORY);
  CURL* easy = t.easy;
  curl_easy_setopt(easy, CURLOPT_URL, urlText.c_str());
  curl_easy_setopt(easy, CURLOPT_PRIVATE, &t);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, t.headers.get());
  curl_easy_setopt(easy, CURLOPT_CONNECT_TO, t.connectTo);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, request.followsRedirects() ? 1L : 0L);

  double timeout = request.timeoutInterval();
  if (!(timeout > 0) || !std::isfinite(timeout)) timeout = 60;
  t.idleTimeout = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeout));
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::min(timeout * 1000.0, 2.0e9)));

  // The body is sent from the request itself, which the transfer keeps alive: no copy.
  static const char emptyBody[] = "";
  const auto& body = request.httpBody();
  const bool hasBody = body.has_value();
  t.bodySize = hasBody ? static_cast<std::int64_t>(body->size()) : 0;
  const auto method = request.httpMethod();
  auto attachBody = [&] {
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.bodySize));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS,
                     t.bodySize > 0 ? reinterpret_cast<const char*>(body->data()) : emptyBody);
  };
  auto noBody = [&] {
    // POSTFIELDS switches the handle to POST, so clear it before HTTPGET switches back.
    curl_easy_setopt(easy, CURLOPT_POSTFIELDS, static_cast<const char*>(nullptr));
    curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(-1));
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  };
  const bool alwaysBody = method == HTTPMethod::POST || method == HTTPMethod::PUT || method == HTTPMethod::PATCH;
  if (hasBody || alwaysBody) {
    attachBody();
  } else {
    noBody();
  }
  // POST needs no verb of its own; every other method names itself (GET only when it carries a body).
  const char* verb = nullptr;
  if (method != HTTPMethod::POST && !(method == HTTPMethod::GET && !hasBody)) verb = rawValue(method).data();
  curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb);
  curl_easy_setopt(easy, CURLOPT_NOPROGRESS, t.bodySize > 0 ? 0L : 1L);

  t.touch();
  if (curl_multi_add_handle(multi_, easy) != CURLM_OK) return finish(t, CURLE_FAILED_INIT);
  t.added = true;
  ++added_;
  active_.emplace(t.id, std::move(transfer));
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
  if (!error && t.fileErrno != 0 && t.destination) error = platform::detail::fileError(t.fileErrno, t.destination->path, true);
  if (!error && code != CURLE_OK) error = errorForCurl(code, osErrno, request.url().absoluteString());

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

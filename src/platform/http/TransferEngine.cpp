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

#include "CurlErrors.hpp"
#include "Transfer.hpp"
#include "TransferHooks.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren::platform::http::detail {
namespace {

constexpr std::size_t socketEventsPerRound = 64;

void initialiseCurl() {
  static const bool done = [] {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    return true;
  }();
  (void)done;
}

}  // namespace

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
    if (!transfer) continue;
    if (message->data.result == CURLE_OK && transfer->redirecting) {
      follow(*transfer);
    } else {
      finish(*transfer, message->data.result);
    }
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
  // Redirects are followed here (TransferRedirects.cpp), not by libcurl: each hop gets its own header fields.
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &TransferEngine::beforeRequest);
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

void TransferEngine::begin(TransferJob& job) {
  auto transfer = std::make_unique<Transfer>();
  Transfer& t = *transfer;
  t.id = job.id;
  t.core = std::move(job.core);
  t.request = &*t.core->request();
  t.destination = std::move(job.destination);
  t.maximumBodySize = t.core->maximumBodySize();
  const URLRequest& request = *t.request;
  const std::string& urlText = request.url().absoluteString();
  auto failNow = [&](Error error) { failEarly(std::move(t.core), std::move(error)); };
  // A cancel that came before the transfer began (its id unknown to the engine then) is honoured here.
  if (t.core->isCancelled()) return failNow(URLError::make(URLError::cancelled, urlText));

  try {
    const std::string& scheme = request.url().scheme();
    if (scheme != "http" && scheme != "https") return failNow(URLError::make(URLError::unsupportedURL, urlText));

    if (configuration_.httpShouldSetCookies) t.cookieStore = configuration_.httpCookieStorage;
    auto headers = headerList(request, t.cookieStore, t.leftOrigin);
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
      if (t.destination->options.digestMD5) {
        // Without a digest context the file still downloads; it is reported without its digest.
        t.digest.reset(EVP_MD_CTX_new());
        if (t.digest && EVP_DigestInit_ex(t.digest.get(), EVP_md5(), nullptr) != 1) t.digest.reset();
      }
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
  curl_easy_setopt(easy, CURLOPT_PRIVATE, &t);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, &t);
  curl_easy_setopt(easy, CURLOPT_CONNECT_TO, t.connectTo);

  double timeout = request.timeoutInterval();
  if (!(timeout > 0) || !std::isfinite(timeout)) timeout = 60;
  t.idleTimeout = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeout));
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::min(timeout * 1000.0, 2.0e9)));

  describeHop(t);
  if (!addToMulti(t)) return finish(t, CURLE_FAILED_INIT);
  active_.emplace(t.id, std::move(transfer));
}

void TransferEngine::describeHop(Transfer& t) {
  CURL* easy = t.easy;
  const URLRequest& request = t.current();
  curl_easy_setopt(easy, CURLOPT_URL, request.url().absoluteString().c_str());
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, t.headers.get());

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
}

bool TransferEngine::addToMulti(Transfer& t) {
  t.touch();
  if (curl_multi_add_handle(multi_, t.easy) != CURLM_OK) return false;
  t.added = true;
  ++added_;
  return true;
}

int TransferEngine::beforeRequest(void* transfer, char*, char*, int, int) {
  // The last moment before the request is written: a transfer cancelled by now never reaches the server.
  const auto* t = static_cast<const Transfer*>(transfer);
  requestAboutToBeWritten(t->current().url().host());
  return t->core && t->core->isCancelled() ? CURL_PREREQFUNC_ABORT : CURL_PREREQFUNC_OK;
}

}  // namespace talvaren::platform::http::detail

// Socket watching: the sockets libcurl asks for, who waits on them (the idle main thread or the
// worker's epoll set), and driving libcurl when they are ready.

#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "Transfer.hpp"

namespace talvaren::platform::http::detail {

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

}  // namespace talvaren::platform::http::detail

#include "support/LoopbackServer.hpp"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <sys/socket.h>

#include <cstdlib>
#include <stdexcept>

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TALVAREN_LOOPBACK_TSAN 1
#endif
#endif
#if defined(__SANITIZE_THREAD__) || defined(TALVAREN_LOOPBACK_TSAN)
// cpp-httplib comes as a library built without ThreadSanitizer: the synchronisation inside it (thread-safe
// static initialisation, reference counts) is invisible, so its server threads seem to race on data that
// they share safely. Reports from calls made inside that library are not about our code.
extern "C" const char* __tsan_default_suppressions() { return "called_from_lib:libcpp-httplib.so\n"; }
#endif

namespace talvaren::testkit {

std::string RecordedRequest::header(const std::string& name) const {
  auto it = headers.find(name);
  return it == headers.end() ? std::string() : it->second;
}

/// httplib's thread pool, counting the connections it is handed.
class LoopbackServer::CountingQueue : public httplib::ThreadPool {
 public:
  CountingQueue(LoopbackServer& owner, std::size_t threads) : ThreadPool(threads), owner_(owner) {}
  void enqueue(std::function<void()> fn) override {
    {
      std::lock_guard lock(owner_.mutex_);
      ++owner_.connections_;
    }
    ThreadPool::enqueue(std::move(fn));
  }

 private:
  LoopbackServer& owner_;
};

namespace {

/// A self-signed certificate for 127.0.0.1 with a P-256 key, valid for a day.
std::pair<X509*, EVP_PKEY*> makeSelfSignedCertificate() {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* certificate = X509_new();
  if (!key || !certificate) throw std::runtime_error("cannot make a test certificate");
  X509_set_version(certificate, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
  X509_gmtime_adj(X509_getm_notBefore(certificate), -60);
  X509_gmtime_adj(X509_getm_notAfter(certificate), 24 * 60 * 60);
  X509_set_pubkey(certificate, key);
  X509_NAME* name = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(certificate, name);
  X509_sign(certificate, key, EVP_sha256());
  return {certificate, key};
}

}  // namespace

LoopbackServer::LoopbackServer(Transport transport) {
  if (transport == Transport::untrustedTLS) {
    auto [certificate, key] = makeSelfSignedCertificate();
    server_ = std::make_unique<httplib::SSLServer>(certificate, key);
    X509_free(certificate);
    EVP_PKEY_free(key);
    scheme_ = "https";
  } else {
    server_ = std::make_unique<httplib::Server>();
  }
  server_->new_task_queue = [this] { return new CountingQueue(*this, 16); };
  server_->set_keep_alive_max_count(1000000);
  server_->set_keep_alive_timeout(5);
  server_->set_tcp_nodelay(true);
  auto handler = [this](const httplib::Request& request, httplib::Response& response) { dispatch(request, response); };
  server_->Get(".*", handler);
  server_->Post(".*", handler);
  server_->Put(".*", handler);
  server_->Patch(".*", handler);
  server_->Delete(".*", handler);
  server_->Options(".*", handler);
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("the loopback server cannot bind");
  widenListenBacklog();
  thread_ = std::thread([this] {
    server_->listen_after_bind();
    std::lock_guard lock(mutex_);
    listenerDone_ = true;
    stopped_.notify_all();
  });
  // stop() only works once the listener runs.
  for (;;) {
    if (server_->is_running()) break;
    std::unique_lock lock(mutex_);
    if (stopped_.wait_for(lock, std::chrono::microseconds(100), [this] { return listenerDone_; })) {
      lock.unlock();
      thread_.join();
      throw std::runtime_error("the loopback server cannot listen");
    }
  }
}

LoopbackServer::~LoopbackServer() { stop(); }

std::string LoopbackServer::url(std::string_view pathAndQuery) const {
  return scheme_ + "://127.0.0.1:" + std::to_string(port_) + std::string(pathAndQuery);
}

void LoopbackServer::on(const std::string& method, const std::string& path, Handler handler) {
  std::lock_guard lock(mutex_);
  routes_[{method, path}] = std::move(handler);
}

void LoopbackServer::reply(const std::string& method, const std::string& path, int status, std::string body,
                           std::string contentType) {
  on(method, path,
     [status, body = std::move(body), contentType = std::move(contentType)](const httplib::Request&,
                                                                            httplib::Response& response) {
       response.status = status;
       response.set_content(body, contentType.c_str());
     });
}

void LoopbackServer::dispatch(const httplib::Request& request, httplib::Response& response) {
  Handler handler;
  {
    std::lock_guard lock(mutex_);
    if (recording_) {
      requests_.push_back(RecordedRequest{request.method, request.path, request.target, request.headers,
                                          request.body, request.remote_port});
    }
    auto it = routes_.find({request.method, request.path});
    handler = it != routes_.end() ? it->second : otherwise_;
  }
  if (!handler) {
    response.status = 404;
    response.set_content("no route", "text/plain");
    return;
  }
  handler(request, response);
}

void LoopbackServer::setRecording(bool record) {
  std::lock_guard lock(mutex_);
  recording_ = record;
}

void LoopbackServer::otherwise(Handler handler) {
  std::lock_guard lock(mutex_);
  otherwise_ = std::move(handler);
}

std::vector<RecordedRequest> LoopbackServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::size_t LoopbackServer::requestCount() const {
  std::lock_guard lock(mutex_);
  return requests_.size();
}

std::size_t LoopbackServer::connectionsAccepted() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

bool LoopbackServer::waitForStop(std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return stopped_.wait_for(lock, limit, [this] { return stopping_; });
}

namespace {

/// Calls `visit(fd, connected)` for every IPv4 socket of this process bound to `port` on our side.
template <typename Visit>
void forEachSocketOnPort(int port, Visit visit) {
  DIR* directory = opendir("/proc/self/fd");
  if (!directory) return;
  while (dirent* entry = readdir(directory)) {
    const int fd = std::atoi(entry->d_name);
    if (fd <= 2 || fd == dirfd(directory)) continue;
    sockaddr_storage local{};
    sockaddr_storage peer{};
    socklen_t localLength = sizeof local;
    socklen_t peerLength = sizeof peer;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 || local.ss_family != AF_INET) continue;
    if (ntohs(reinterpret_cast<sockaddr_in*>(&local)->sin_port) != port) continue;
    visit(fd, getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0);
  }
  closedir(directory);
}

}  // namespace

void LoopbackServer::widenListenBacklog() const {
  // httplib listens with a backlog of 5: a burst of new connections (a client reconnecting after
  // cancelled transfers, while a sanitiser slows the accepting thread down) overflows it, and every
  // connection attempt dropped then waits a second for the kernel to retry. Listening again on the
  // same socket only changes the backlog.
  forEachSocketOnPort(port_, [](int fd, bool connected) {
    int accepting = 0;
    socklen_t length = sizeof accepting;
    if (!connected && getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &accepting, &length) == 0 && accepting) {
      ::listen(fd, SOMAXCONN);
    }
  });
}

void LoopbackServer::closeAcceptedConnections() const {
  // httplib keeps an idle keep-alive connection open for seconds; shutting the server's side of every
  // connection to our port down makes its worker notice at once.
  forEachSocketOnPort(port_, [](int fd, bool connected) {
    if (connected) ::shutdown(fd, SHUT_RDWR);
  });
}

void LoopbackServer::stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    stopping_ = true;
  }
  stopped_.notify_all();
  server_->stop();
  for (;;) {
    closeAcceptedConnections();
    std::unique_lock lock(mutex_);
    if (stopped_.wait_for(lock, std::chrono::milliseconds(20), [this] { return listenerDone_; })) break;
  }
  thread_.join();
}

}  // namespace talvaren::testkit

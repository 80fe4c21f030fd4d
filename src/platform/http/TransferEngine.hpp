#pragma once
// Private: the libcurl transfer engine of one session. One multi handle, whose connection cache keeps
// connections alive between requests, is driven through libcurl's socket interface: the sockets it asks
// to watch are listed in `sockets_`.
//
// Whoever holds `transferMutex_` may drive the multi handle:
// - submit() takes it when it is free and sends the request at once on the caller's thread; when it is
//   taken the job is queued for the worker instead.
// - While the thread running the main queue is idle, it polls the listed sockets itself (a main-loop
//   source) and reads the replies there, so a request made and answered on the main queue passes
//   through no other thread.
// - The worker thread handles queued jobs, cancellations and every deadline (libcurl's timer and the
//   idle time-outs), and the sockets whenever the main thread is not waiting on them. Its own epoll set
//   (`workerFd_`) holds its eventfd and an epoll set of the sockets (`socketsFd_`), whose events are
//   switched on at those times; only then is the socket set brought up to date with the list. Sockets of
//   kept-alive connections stay in it between transfers, so a request on a kept-alive connection changes
//   no epoll set while the main thread drives it.
// Handlers of finished transfers always run outside the mutex.
//
// The engine's files: TransferEngine.cpp schedules (submitting, the worker's loop, deadlines, starting
// transfers), TransferSockets.cpp watches the sockets, TransferReply.cpp reads replies and finishes
// transfers, TransferRedirects.cpp follows redirects, TransferHeaders.cpp builds header lists;
// Transfer.hpp holds what they share.
//
// Easy handles are pooled with their fixed options set once, and the curl header list of the previous
// request is reused when the next one sends the same header fields, so a request costs little beyond what
// libcurl itself does.

#include <curl/curl.h>
#include <poll.h>
#include <sys/epoll.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "RequestCore.hpp"
#include "talvaren/platform/http/SessionManager.hpp"

namespace talvaren::platform::http::detail {

struct TransferJob {
  std::uint64_t id = 0;
  /// Holds the request to send (always present for a submitted job).
  std::shared_ptr<RequestCore> core;
  std::optional<DownloadDestination> destination;
};

class TransferEngine : public std::enable_shared_from_this<TransferEngine> {
 public:
  explicit TransferEngine(const SessionConfiguration& configuration);
  ~TransferEngine();
  TransferEngine(const TransferEngine&) = delete;
  TransferEngine& operator=(const TransferEngine&) = delete;

  /// Starts the thread and offers the sockets to the main queue's runner; call once, right after construction.
  void startWorker();
  /// Queues a transfer (thread-safe). After shutdown the job fails at once as cancelled.
  void submit(TransferJob job);
  /// Cancels a transfer by id (thread-safe); unknown or finished ids are ignored.
  void cancel(std::uint64_t id);
  /// Cancels everything and joins the worker. Idempotent.
  void shutdown();

  struct Transfer;
  class MainSource;

  /// The main queue's runner is about to sleep: appends the sockets to wait on.
  void mainWillWait(std::vector<pollfd>& descriptors);
  /// The main queue's runner woke: `descriptors` are the ones mainWillWait() appended.
  void mainDidWait(const pollfd* descriptors, std::size_t count);

 private:
  using Clock = std::chrono::steady_clock;
  using HeaderList = std::shared_ptr<curl_slist>;
  using Finished = std::vector<std::pair<std::shared_ptr<RequestCore>, TransferOutcome>>;

  void run();
  /// Starts `job` on the calling thread, which holds `lock` (on transferMutex_) and gives it up.
  void startHere(TransferJob& job, std::unique_lock<std::mutex>& lock);
  /// Acts on the sockets the main thread found ready; false when another thread holds transferMutex_.
  bool driveFromMain(const pollfd* descriptors, std::size_t count);
  void begin(TransferJob& job);
  /// Sets the URL, header list, method and body of the transfer's current hop on its easy handle.
  static void describeHop(Transfer& transfer);
  /// Adds the transfer's easy handle to the multi handle; false when libcurl refuses it.
  bool addToMulti(Transfer& transfer);
  /// Sends the next hop of a transfer whose reply is a redirect it follows (TransferRedirects.cpp).
  void follow(Transfer& transfer);
  static void failUnstarted(RequestCore& core, Error error);
  /// Fails a transfer that never reached libcurl; its handlers run once the mutex is given up.
  void failEarly(std::shared_ptr<RequestCore> core, Error error);
  void finish(Transfer& transfer, int curlCode, std::optional<Error> forcedError = std::nullopt);
  void failAll(std::int64_t code);
  /// Lets libcurl act on the sockets the socket set reports ready; drops sockets libcurl let go.
  void driveSockets();
  void driveTimer();
  /// Runs libcurl's timer action now; returns the number of transfers still running.
  int fireTimer();
  void collectFinished();
  /// Makes sure somebody waits on the sockets while transfers run: the worker, unless the main thread does.
  void keepSocketsWatched();
  /// Switches the worker's wait on the socket set on or off; under watchMutex_.
  void setSocketsWithWorker(bool with);
  struct WatchedSocket;
  /// Brings one socket's entry in the socket set up to date; under watchMutex_.
  void syncSocket(WatchedSocket& socket);
  /// The listed socket `fd`, or null; under watchMutex_.
  WatchedSocket* findSocket(int fd);
  long nextWaitMilliseconds();
  /// Blocks in epoll_wait until `plannedWake_` unless work arrived.
  void waitForActivity();
  /// Wakes the worker if it is blocked (or about to block) in epoll_wait.
  void nudge();
  void wake();
  void expireIdleTransfers();
  CURL* takeEasyHandle();
  /// The curl header list for `request`, or the error of an invalid header field; once the redirect chain
  /// `leftOrigin`, only the configuration's fields that may go to any origin are added.
  Result<HeaderList> headerList(const URLRequest& request, const std::shared_ptr<HTTPCookieStorage>& cookies,
                                bool leftOrigin);
  /// Runs the handlers of finished transfers; the caller must not hold transferMutex_.
  static void deliver(Finished& finished);

  static int onSocket(CURL* easy, curl_socket_t socket, int what, void* engine, void* socketData);
  static curl_socket_t openSocket(void* engine, curlsocktype purpose, curl_sockaddr* address);
  static int closeSocket(void* engine, curl_socket_t socket);
  static int onTimer(CURLM* multi, long milliseconds, void* engine);
  static int beforeRequest(void* transfer, char* connectedIP, char* localIP, int connectedPort, int localPort);

  SessionConfiguration configuration_;
  CURLM* multi_ = nullptr;
  /// The worker's epoll set of the sockets (see the top of this file).
  int socketsFd_ = -1;
  /// What the worker waits on: `wakeFd_`, and `socketsFd_` while `socketsWithWorker_`.
  int workerFd_ = -1;
  /// Wakes the worker.
  int wakeFd_ = -1;
  std::shared_ptr<MainSource> source_;
  std::thread worker_;

  /// Guards the multi handle and everything under "Under transferMutex_".
  std::mutex transferMutex_;
  /// Guards the list of sockets and who waits on them; taken after transferMutex_ when both are held.
  std::mutex watchMutex_;
  bool mainPolling_ = false;
  struct WatchedSocket {
    int fd = -1;
    /// poll(2) events libcurl asks for; 0 once it let the socket go.
    short wanted = 0;
    /// epoll events the socket is in the socket set with; 0 when it is not in it.
    std::uint32_t inSet = 0;
    /// Opened by openSocket, so its closing goes through closeSocket: it may stay in the set between transfers.
    bool ours = false;
  };
  std::vector<WatchedSocket> sockets_;
  bool socketsWithWorker_ = false;
  /// The main thread found the engine busy: it leaves the sockets to the worker for one wait.
  bool mainDeclined_ = false;
  /// Guards the queues below; taken after transferMutex_ when both are held.
  std::mutex mutex_;
  std::vector<TransferJob> incoming_;
  std::vector<std::uint64_t> cancellations_;
  bool stopping_ = false;
  std::uint64_t nextId_ = 1;
  // Set by submit(), cancel() and shutdown(); cleared when the worker takes the queued work.
  std::atomic<bool> pending_{false};
  // True while the worker is (about to be) blocked in poll.
  std::atomic<bool> sleeping_{false};

  // Worker thread only.
  std::vector<TransferJob> taken_;
  std::vector<std::uint64_t> takenCancellations_;

  // Under transferMutex_.
  std::map<std::uint64_t, std::unique_ptr<Transfer>> active_;
  /// Transfers added to the multi handle; read without the mutex by mainDidWait().
  std::atomic<std::size_t> added_{0};
  /// When libcurl wants its timer action; none while it has no timer.
  std::optional<Clock::time_point> curlDeadline_;
  /// When the worker wakes at the latest from its current or coming wait.
  Clock::time_point plannedWake_{};
  Finished finished_;
  std::vector<epoll_event> socketEvents_;
  std::vector<CURL*> idleHandles_;
  // The header list of the last request and what it was made from.
  std::vector<HTTPHeaderField> lastHeaderFields_;
  bool lastHeaderListHadBody_ = false;
  HeaderList lastHeaderList_;
};

}  // namespace talvaren::platform::http::detail

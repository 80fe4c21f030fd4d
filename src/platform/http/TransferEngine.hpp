#pragma once
// Private: the libcurl transfer engine of one session. One worker thread drives one multi handle, whose
// connection cache keeps connections alive between requests. Everything but submit() and cancel() runs
// on the worker thread.
//
// The worker sleeps in curl_multi_poll; submit() and cancel() wake it through an eventfd that the poll
// watches, and only when it sleeps. Easy handles are pooled with their fixed options set once, and the
// curl header list of the previous request is reused when the next one sends the same header fields,
// so a request costs little beyond what libcurl itself does.

#include <curl/curl.h>

#include <atomic>
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

  /// Starts the thread; call once, right after construction.
  void startWorker();
  /// Queues a transfer (thread-safe). After shutdown the job fails at once as cancelled.
  void submit(TransferJob job);
  /// Cancels a transfer by id (thread-safe); unknown or finished ids are ignored.
  void cancel(std::uint64_t id);
  /// Cancels everything and joins the worker. Idempotent.
  void shutdown();

  struct Transfer;

 private:
  using HeaderList = std::shared_ptr<curl_slist>;

  void run();
  void begin(TransferJob& job);
  static void failUnstarted(RequestCore& core, Error error);
  void finish(Transfer& transfer, int curlCode, std::optional<Error> forcedError = std::nullopt);
  void failAll(std::int64_t code);
  long nextWaitMilliseconds();
  /// Blocks in libcurl's poll unless work arrived.
  void waitForActivity();
  /// Wakes the worker if it is blocked (or about to block) in poll.
  void nudge();
  void wake();
  void expireIdleTransfers();
  CURL* takeEasyHandle();
  /// The curl header list for `request`, or the error of an invalid header field.
  Result<HeaderList> headerList(const URLRequest& request, const std::shared_ptr<HTTPCookieStorage>& cookies);

  SessionConfiguration configuration_;
  CURLM* multi_ = nullptr;
  /// Wakes the worker's poll; -1 when no eventfd could be made (curl_multi_wakeup is used instead).
  int wakeFd_ = -1;
  std::thread worker_;

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
  std::map<std::uint64_t, std::unique_ptr<Transfer>> active_;
  std::vector<CURL*> idleHandles_;
  // The header list of the last request and what it was made from.
  std::vector<HTTPHeaderField> lastHeaderFields_;
  bool lastHeaderListHadBody_ = false;
  HeaderList lastHeaderList_;
};

}  // namespace talvaren::platform::http::detail

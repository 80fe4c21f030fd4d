#pragma once
// Private: the libcurl transfer engine of one session. One worker thread drives one multi handle, whose
// connection cache keeps connections alive between requests. Everything but submit() and cancel() runs
// on the worker thread.

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <curl/curl.h>

#include "RequestCore.hpp"
#include "talvaren/platform/http/SessionManager.hpp"


namespace talvaren::platform::http::detail {

struct TransferJob {
  std::uint64_t id = 0;
  std::shared_ptr<RequestCore> core;
  URLRequest request;
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
  void run();
  void begin(TransferJob& job);
  static void cancelUnstarted(TransferJob& job);
  void finish(Transfer& transfer, int curlCode, std::optional<Error> forcedError = std::nullopt);
  void failAll(std::int64_t code);
  long nextWaitMilliseconds();
  /// Blocks in libcurl's poll unless work arrived.
  void waitForActivity();
  /// Wakes the worker if it is blocked (or about to block) in poll.
  void nudge();
  void expireIdleTransfers();
  CURL* takeEasyHandle();

  SessionConfiguration configuration_;
  CURLM* multi_ = nullptr;
  std::thread worker_;

  std::mutex mutex_;
  std::deque<TransferJob> incoming_;
  std::vector<std::uint64_t> cancellations_;
  bool stopping_ = false;
  std::uint64_t nextId_ = 1;
  // Set by submit(), cancel() and shutdown(); cleared when the worker takes the queued work.
  std::atomic<bool> pending_{false};
  // True while the worker is (about to be) blocked in poll.
  std::atomic<bool> sleeping_{false};

  // Worker thread only.
  std::map<std::uint64_t, std::unique_ptr<Transfer>> active_;
  std::vector<CURL*> idleHandles_;
};

}  // namespace talvaren::platform::http::detail

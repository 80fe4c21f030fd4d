#pragma once
// Private: the shared state of one request between the caller, the transfer thread and the main queue.

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/http/HTTPURLResponse.hpp"
#include "talvaren/platform/http/Response.hpp"
#include "talvaren/platform/http/URLRequest.hpp"

namespace talvaren::platform::http::detail {

class TransferEngine;

/// Everything a finished transfer leaves behind.
struct TransferOutcome {
  std::optional<HTTPURLResponse> response;
  std::optional<Bytes> data;
  std::optional<Error> error;
  /// Downloads: the file at its destination.
  std::optional<std::string> destination;
  /// Downloads: the size (and, when asked for, the digest) of the file at its destination.
  std::optional<DownloadedFile> file;
};

/// The validation failure of a reply whose status is outside 200...299: (HTTPValidationErrorDomain, status).
Error statusError(int status);

class RequestCore : public std::enable_shared_from_this<RequestCore> {
 public:
  using Delivery = std::function<void(const TransferOutcome&)>;

  /// Captures the main queue current on the calling thread.
  explicit RequestCore(std::optional<URLRequest> request,
                       std::size_t maximumBodySize = std::numeric_limits<std::size_t>::max());

  /// The request as it is sent; it never changes, so any thread may read it.
  const std::optional<URLRequest>& request() const { return request_; }
  /// The session's maximum body size in memory (SessionConfiguration::maximumBodySize).
  std::size_t maximumBodySize() const { return maximumBodySize_; }

  void attach(std::weak_ptr<TransferEngine> engine, std::uint64_t id);
  void cancel();
  /// True once cancel() was called, whether or not the transfer had begun.
  bool isCancelled() const;

  void addValidation();
  bool validates() const;

  /// Runs `delivery` once with the outcome: at completion on the completing thread, or at once on the
  /// calling thread if the request is complete already. `delivery` must post its handler to the main
  /// queue (postToMain).
  void whenComplete(Delivery delivery);
  /// Records the outcome and runs the waiting deliveries; later calls are ignored.
  void complete(TransferOutcome outcome);
  bool isComplete() const;

  void addUploadProgressHandler(std::function<void(const Progress&)> handler);
  /// Posts one progress report; it reaches the handlers registered when it runs.
  void reportUploadProgress(Progress progress);

  void postToMain(std::function<void()> work) const;

 private:
  std::optional<URLRequest> request_;
  std::size_t maximumBodySize_;
  DispatchQueue mainQueue_;
  mutable std::mutex mutex_;
  std::optional<TransferOutcome> outcome_;
  std::vector<Delivery> waiting_;
  std::vector<std::function<void(const Progress&)>> progressHandlers_;
  bool validate_ = false;
  bool cancelled_ = false;
  std::weak_ptr<TransferEngine> engine_;
  std::uint64_t id_ = 0;
};

}  // namespace talvaren::platform::http::detail

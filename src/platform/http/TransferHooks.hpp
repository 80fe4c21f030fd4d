#pragma once
// Test seams of http: what the transfer engine asks before each transfer: a failure to report instead of
// touching the network, and where to connect instead of the URL's host; and whom it tells when a request
// is about to be written to its connection. A host installs nothing and every transfer goes out as asked;
// the testkit installs its faults, loopback routes and last-moment actions here.

#include <curl/curl.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace talvaren::platform::http::detail {

struct InjectedFault {
  CURLcode code;
  long osErrno;
};

class TransferHooks {
 public:
  virtual ~TransferHooks() = default;
  /// The failure every transfer to `host` reports, if any.
  virtual std::optional<InjectedFault> injectedFault(const std::string& host) = 0;
  /// CURLOPT_CONNECT_TO entries ("host::address:port").
  virtual std::vector<std::string> connectToEntries() = 0;
  /// Called on the transfer's thread, connected, right before a request to `host` is written.
  virtual void requestAboutToBeWritten(const std::string& host) = 0;
};

/// Installs `hooks` for every session from the next transfer on; null removes them.
void setTransferHooks(std::shared_ptr<TransferHooks> hooks);

/// The installed hooks' answers; none without hooks.
std::optional<InjectedFault> injectedFault(const std::string& host);
std::vector<std::string> connectToEntries();
void requestAboutToBeWritten(const std::string& host);

}  // namespace talvaren::platform::http::detail

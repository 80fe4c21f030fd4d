#pragma once
// Test-only hooks of the HTTP layer: fail transfers to a host with a chosen transport failure without
// touching the network, send a host name's traffic to a loopback server, or act at the last moment
// before a request is written. They apply to every session, the default one included, from the next
// transfer on.

#include <functional>
#include <string>

namespace talvaren::testkit {

enum class HttpTransportFault {
  hostNotFound,            // -1003
  timedOut,                // -1001
  cannotConnect,           // -1004
  connectionLost,          // -1005
  notConnectedToInternet,  // -1009
  secureConnectionFailed,  // -1200
};

/// Every transfer to `host` (compared without regard to case) fails with `fault`, asynchronously,
/// through the same error mapping as a real failure.
void injectHttpTransportFault(const std::string& host, HttpTransportFault fault);
/// Connections for `host` (any port) go to `address`:`port` instead, e.g. ("api.example.test",
/// "127.0.0.1", server.port()). URLs, "Host" headers and cookies keep the original name.
void routeHttpHost(const std::string& host, const std::string& address, int port);
/// Runs `action` each time a request to `host` is about to be written to its connection: connected, not a
/// byte of the request sent yet. It runs on the transfer's thread, which must not wait for the main queue;
/// e.g. a cancel landing at that moment.
void beforeHttpRequestIsWritten(const std::string& host, std::function<void()> action);
/// Removes every fault, route and last-moment action.
void clearHttpTestHooks();
/// Clears the default session's cookie store.
void resetHttpCookies();

/// Clears the hooks when the scope ends.
class ScopedHttpTestHooks {
 public:
  ScopedHttpTestHooks() = default;
  ~ScopedHttpTestHooks() { clearHttpTestHooks(); }
  ScopedHttpTestHooks(const ScopedHttpTestHooks&) = delete;
  ScopedHttpTestHooks& operator=(const ScopedHttpTestHooks&) = delete;
};

}  // namespace talvaren::testkit

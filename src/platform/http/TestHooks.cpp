#include "TestHooks.hpp"

#include <cctype>
#include <cerrno>
#include <map>
#include <mutex>

#include "talvaren/platform/http/HTTPCookie.hpp"
#include "talvaren/testing/Http.hpp"

namespace talvaren::platform::http::detail {
namespace {

struct Hooks {
  std::mutex mutex;
  std::map<std::string, testkit::HttpTransportFault> faults;
  std::map<std::string, std::string> routes;
};

Hooks& hooks() {
  // Never destroyed: the default session's transfer thread may still read it while the process exits.
  static Hooks* const instance = new Hooks;
  return *instance;
}

std::string lowercase(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

std::optional<InjectedFault> injectedFault(const std::string& host) {
  auto& h = hooks();
  std::lock_guard lock(h.mutex);
  if (h.faults.empty()) return std::nullopt;
  auto it = h.faults.find(lowercase(host));
  if (it == h.faults.end()) return std::nullopt;
  switch (it->second) {
    case testkit::HttpTransportFault::hostNotFound:
      return InjectedFault{CURLE_COULDNT_RESOLVE_HOST, 0};
    case testkit::HttpTransportFault::timedOut:
      return InjectedFault{CURLE_OPERATION_TIMEDOUT, 0};
    case testkit::HttpTransportFault::cannotConnect:
      return InjectedFault{CURLE_COULDNT_CONNECT, ECONNREFUSED};
    case testkit::HttpTransportFault::connectionLost:
      return InjectedFault{CURLE_RECV_ERROR, ECONNRESET};
    case testkit::HttpTransportFault::notConnectedToInternet:
      return InjectedFault{CURLE_COULDNT_CONNECT, ENETUNREACH};
    case testkit::HttpTransportFault::secureConnectionFailed:
      return InjectedFault{CURLE_SSL_CONNECT_ERROR, 0};
  }
  return std::nullopt;
}

std::vector<std::string> connectToEntries() {
  auto& h = hooks();
  std::lock_guard lock(h.mutex);
  std::vector<std::string> entries;
  for (const auto& [host, target] : h.routes) entries.push_back(host + "::" + target);
  return entries;
}

}  // namespace talvaren::platform::http::detail

namespace talvaren::testkit {

void injectHttpTransportFault(const std::string& host, HttpTransportFault fault) {
  auto& h = platform::http::detail::hooks();
  std::lock_guard lock(h.mutex);
  h.faults[platform::http::detail::lowercase(host)] = fault;
}

void routeHttpHost(const std::string& host, const std::string& address, int port) {
  auto& h = platform::http::detail::hooks();
  std::lock_guard lock(h.mutex);
  const bool v6 = address.find(':') != std::string::npos;
  h.routes[platform::http::detail::lowercase(host)] = (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

void clearHttpTestHooks() {
  auto& h = platform::http::detail::hooks();
  std::lock_guard lock(h.mutex);
  h.faults.clear();
  h.routes.clear();
}

void resetHttpCookies() { platform::http::HTTPCookieStorage::shared()->removeAllCookies(); }

}  // namespace talvaren::testkit

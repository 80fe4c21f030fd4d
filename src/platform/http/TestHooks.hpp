#pragma once
// Private: the state behind talvaren/testing/Http.hpp, read by the transfer engine.

#include <curl/curl.h>

#include <optional>
#include <string>
#include <vector>

namespace talvaren::platform::http::detail {

struct InjectedFault {
  CURLcode code;
  long osErrno;
};

/// The fault injected for `host`, if any.
std::optional<InjectedFault> injectedFault(const std::string& host);
/// CURLOPT_CONNECT_TO entries for the routed hosts ("host::address:port").
std::vector<std::string> connectToEntries();

}  // namespace talvaren::platform::http::detail

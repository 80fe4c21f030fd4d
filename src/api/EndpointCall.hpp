#pragma once
// Private: how the endpoint groups send a request through the pipeline of the object they were called on,
// with its full header set, JSON parameter encoding and no key argument.

#include <optional>
#include <string>
#include <utility>

#include "talvaren/api/Connector.hpp"

namespace talvaren::detail {

inline void callEndpoint(Connector& connector, platform::http::HTTPMethod method, const std::string& url,
                         std::optional<nlohmann::json> parameters, Connector::Completion completion,
                         std::optional<Bytes> httpBody = std::nullopt) {
  connector.performAPICall(method, url, std::move(parameters), platform::http::JSONEncoding::defaultEncoding(), false,
                           std::move(httpBody), std::nullopt, std::move(completion));
}

}  // namespace talvaren::detail

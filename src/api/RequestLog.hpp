#pragma once
// Internal interface of api (for the importers' connectors): the request log every client of the kit writes before it
// sends (the server client, the Garmin and Fitbit connectors).

#include <optional>
#include <string>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/http/HTTPMethod.hpp"
#include "talvaren/platform/http/ParameterEncoding.hpp"
#include "talvaren/platform/http/URLRequest.hpp"

namespace talvaren::detail {

/// Prints the request between two lines of "---------------------": "Request: " + the URL, "Method: " + the
/// method in lower case, "Headers: " + the headers, then "Parameters:" and the parameters when given, and
/// "Body:" and the body's size in bytes when given. Secrets (credential headers, password and token
/// parameters and query items) print as "<redacted>".
void printRequest(const std::string& url, const std::optional<platform::http::Parameters>& parameters,
                  const platform::http::HTTPHeaders& headers, platform::http::HTTPMethod method,
                  const std::optional<Bytes>& httpBody = std::nullopt);

}  // namespace talvaren::detail

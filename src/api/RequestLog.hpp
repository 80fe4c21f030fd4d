#pragma once
// Internal interface of api, used on purpose by the importers' Garmin and Fitbit connectors: the request
// log every client of the kit writes before it sends, and the reply lines it writes when the reply
// arrives, so all three log alike and no reply reaches the console unredacted.

#include <optional>
#include <string>
#include <string_view>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/http/HTTPMethod.hpp"
#include "talvaren/platform/http/ParameterEncoding.hpp"
#include "talvaren/platform/http/Response.hpp"
#include "talvaren/platform/http/URLRequest.hpp"

namespace talvaren::detail {

/// Prints the request between two lines of "---------------------": "Request: " + the URL, "Method: " + the
/// method in lower case, "Headers: " + the headers, then "Parameters:" and the parameters when given, and
/// "Body:" and the body's size in bytes when given. Secrets (credential headers, password and token
/// parameters and query items) print as "<redacted>".
void printRequest(const std::string& url, const std::optional<platform::http::Parameters>& parameters,
                  const platform::http::HTTPHeaders& headers, platform::http::HTTPMethod method,
                  const std::optional<Bytes>& httpBody = std::nullopt);

/// Prints the four lines of a reply: the bare HTTP status code, the parsed value (every secret member as
/// "<redacted>"), the method in lower case and the error's description; an absent status, value or error
/// prints as "<label> response.response?.statusCode = nil", "<label> response.result.value = nil" or
/// "<label> response.result.error = nil". `label` is the client's own ("Connector", "Garmin Connector",
/// "FitBit"). Never throws: a line that cannot be made is left out.
void printReply(std::string_view label, const platform::http::DataResponse<JSON>& reply,
                platform::http::HTTPMethod method) noexcept;

}  // namespace talvaren::detail

#pragma once
// The request methods the kit sends.

#include <optional>
#include <string_view>

namespace talvaren::platform::http {

enum class HTTPMethod { GET, POST, PUT, PATCH, DELETE };

/// The method's name on the wire: "GET", "POST", "PUT", "PATCH", "DELETE".
constexpr std::string_view rawValue(HTTPMethod method) {
  switch (method) {
    case HTTPMethod::GET: return "GET";
    case HTTPMethod::POST: return "POST";
    case HTTPMethod::PUT: return "PUT";
    case HTTPMethod::PATCH: return "PATCH";
    case HTTPMethod::DELETE: return "DELETE";
  }
  return "GET";
}

/// The method as its case is named, in lower case: "get", "post", "put", "patch", "delete" (what request
/// logs print).
constexpr std::string_view caseName(HTTPMethod method) {
  switch (method) {
    case HTTPMethod::GET: return "get";
    case HTTPMethod::POST: return "post";
    case HTTPMethod::PUT: return "put";
    case HTTPMethod::PATCH: return "patch";
    case HTTPMethod::DELETE: return "delete";
  }
  return "get";
}

/// The method named exactly by `text` (upper case), if it is one of the five.
constexpr std::optional<HTTPMethod> httpMethodFromRawValue(std::string_view text) {
  for (auto m : {HTTPMethod::GET, HTTPMethod::POST, HTTPMethod::PUT, HTTPMethod::PATCH, HTTPMethod::DELETE}) {
    if (rawValue(m) == text) return m;
  }
  return std::nullopt;
}

}  // namespace talvaren::platform::http

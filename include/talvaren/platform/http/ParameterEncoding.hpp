#pragma once
// How request parameters (a JSON object: text keys to any value) enter a request.
//
//   JSONEncoding::defaultEncoding()  the parameters become the body, written as compact UTF-8 JSON;
//                                    "Content-Type: application/json" is set only when the request
//                                    has no "Content-Type" yet. Absent parameters leave the request
//                                    untouched (no body); an empty object is sent as "{}".
//   URLEncoding::defaultEncoding(),  the parameters are appended to the URL's query (after "&" when the
//   URLEncoding::queryString()       URL has a query already), whatever the method: keys in ascending
//                                    byte order, nested objects as "key[sub]=", arrays as "key[]=",
//                                    numbers in plain decimal (no exponent), Booleans as 1 and 0, null
//                                    as an empty value, every byte but letters, digits and "-._~/?"
//                                    percent-escaped (RFC 3986). Absent or empty parameters leave the
//                                    URL untouched (no "?").

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/http/URLRequest.hpp"

namespace talvaren::platform::http {

/// Request parameters: a JSON object.
using Parameters = nlohmann::json;

class ParameterEncoding {
 public:
  enum class Kind { json, urlQuery };

  constexpr ParameterEncoding() = default;
  constexpr explicit ParameterEncoding(Kind kind) : kind_(kind) {}
  constexpr Kind kind() const { return kind_; }

  /// Writes `parameters` into `request`; on failure the request is left as it was and the error is
  /// returned (HTTPRequestErrorDomain, see URLError.hpp).
  std::optional<Error> encode(URLRequest& request, const std::optional<Parameters>& parameters) const;

  friend constexpr bool operator==(ParameterEncoding a, ParameterEncoding b) { return a.kind_ == b.kind_; }

 private:
  Kind kind_ = Kind::urlQuery;
};

struct JSONEncoding {
  static constexpr ParameterEncoding defaultEncoding() { return ParameterEncoding(ParameterEncoding::Kind::json); }
};

struct URLEncoding {
  static constexpr ParameterEncoding defaultEncoding() { return ParameterEncoding(ParameterEncoding::Kind::urlQuery); }
  static constexpr ParameterEncoding queryString() { return ParameterEncoding(ParameterEncoding::Kind::urlQuery); }
};

/// The query text for `parameters` as URLEncoding writes it (no leading "?"); empty for no parameters.
/// Fails when `parameters` is not an object.
Result<std::string> queryString(const Parameters& parameters);

/// Percent-escapes every byte of `text` except letters, digits and "-._~/?".
std::string escapeQueryComponent(std::string_view text);

/// `text` as one URL path segment: every byte except letters, digits and "-._~" percent-escaped (upper-case
/// hexadecimal), so "/", "?", "#", "%" and blanks cannot change which resource a URL names; a segment of
/// exactly "." or ".." has its dots escaped too, so it is not resolved away.
std::string escapePathSegment(std::string_view text);

}  // namespace talvaren::platform::http

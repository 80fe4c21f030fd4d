#include "talvaren/platform/http/ParameterEncoding.hpp"

#include <charconv>
#include <cmath>
#include <utility>
#include <vector>

#include "platform/PercentEncoding.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren::platform::http {
namespace {

/// Plain decimal digits, never an exponent: the shortest text that reads back as the same number.
std::string numberText(const nlohmann::json& value) {
  char buffer[400];  // the longest double in fixed notation (5e-324) needs 327 characters
  std::to_chars_result written{};
  if (value.is_number_unsigned()) {
    written = std::to_chars(buffer, buffer + sizeof buffer, value.get<std::uint64_t>());
  } else if (value.is_number_integer()) {
    written = std::to_chars(buffer, buffer + sizeof buffer, value.get<std::int64_t>());
  } else {
    const double number = value.get<double>();
    if (!std::isfinite(number)) return std::string();  // JSON has no such numbers: written as null
    written = std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::fixed);
  }
  if (written.ec != std::errc()) return std::string();
  return std::string(buffer, written.ptr);
}

void appendComponents(const std::string& key, const nlohmann::json& value,
                      std::vector<std::pair<std::string, std::string>>& out) {
  if (value.is_object()) {
    for (const auto& [nestedKey, nested] : value.items()) appendComponents(key + "[" + nestedKey + "]", nested, out);
  } else if (value.is_array()) {
    for (const auto& nested : value) appendComponents(key + "[]", nested, out);
  } else if (value.is_boolean()) {
    out.emplace_back(escapeQueryComponent(key), value.get<bool>() ? "1" : "0");
  } else if (value.is_number()) {
    out.emplace_back(escapeQueryComponent(key), escapeQueryComponent(numberText(value)));
  } else if (value.is_string()) {
    out.emplace_back(escapeQueryComponent(key), escapeQueryComponent(value.get_ref<const std::string&>()));
  } else {
    out.emplace_back(escapeQueryComponent(key), "");
  }
}

Error requestError(std::int64_t code, std::string description) {
  return Error::withDescription(HTTPRequestErrorDomain, code, std::move(description));
}

}  // namespace

std::string escapeQueryComponent(std::string_view text) {
  return detail::percentEscape(
      text, [](unsigned char c, std::size_t) { return detail::isUnreserved(c) || c == '/' || c == '?'; });
}

std::string escapePathSegment(std::string_view text) {
  // A segment of only dots would be removed with the segment before it when the URL is resolved.
  if (text == ".") return "%2E";
  if (text == "..") return "%2E%2E";
  return detail::percentEscapeReserved(text);
}

Result<std::string> queryString(const Parameters& parameters) {
  if (!parameters.is_object()) {
    return Result<std::string>::failure(
        requestError(HTTPRequestError::queryEncodingFailed, "URL query parameters must be a JSON object."));
  }
  // nlohmann::json keeps object keys in ascending byte order, which is the order wanted here.
  std::vector<std::pair<std::string, std::string>> components;
  for (const auto& [key, value] : parameters.items()) appendComponents(key, value, components);
  std::string query;
  for (const auto& [key, value] : components) {
    if (!query.empty()) query += '&';
    query += key;
    query += '=';
    query += value;
  }
  return Result<std::string>::success(std::move(query));
}

std::optional<Error> ParameterEncoding::encode(URLRequest& request, const std::optional<Parameters>& parameters) const {
  if (!parameters || parameters->is_null()) return std::nullopt;
  if (kind_ == Kind::json) {
    std::string body;
    try {
      body = parameters->dump();
    } catch (const std::exception& e) {
      return requestError(HTTPRequestError::jsonEncodingFailed,
                          std::string("The parameters could not be written as JSON: ") + e.what());
    }
    if (!request.value("Content-Type")) request.setValue("application/json", "Content-Type");
    request.setHTTPBody(Bytes(body.begin(), body.end()));
    return std::nullopt;
  }

  auto query = queryString(*parameters);
  if (query.isFailure()) return *query.error();
  if (query.value()->empty()) return std::nullopt;
  const std::string& text = request.url().absoluteString();
  const auto hash = text.find('#');
  std::string head = text.substr(0, hash);
  const std::string fragment = hash == std::string::npos ? std::string() : text.substr(hash);
  if (head.find('?') == std::string::npos) {
    head += '?';
  } else if (head.back() != '?' && head.back() != '&') {
    head += '&';
  }
  head += *query.value();
  auto url = URL::fromString(head + fragment);
  if (!url) {
    return requestError(HTTPRequestError::queryEncodingFailed, "The URL with its query is not a valid URL.");
  }
  request.setURL(std::move(*url));
  return std::nullopt;
}

}  // namespace talvaren::platform::http

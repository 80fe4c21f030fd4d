#include "talvaren/platform/http/URLRequest.hpp"

#include <algorithm>
#include <cctype>

#include "talvaren/platform/http/HTTPURLResponse.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren::platform::http {

namespace {

char lowerASCII(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool headerNameEquals(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerASCII(x) == lowerASCII(y); });
}

Result<URLRequest> URLRequest::make(std::string_view urlText, HTTPMethod method,
                                    const std::optional<HTTPHeaders>& headers) {
  auto url = URL::fromString(urlText);
  if (!url) return Result<URLRequest>::failure(URLError::make(URLError::badURL, std::string(urlText)));
  URLRequest request(std::move(*url));
  request.setHTTPMethod(method);
  if (headers) {
    for (const auto& [name, value] : *headers) request.setValue(value, name);
  }
  return Result<URLRequest>::success(std::move(request));
}

std::optional<std::string> URLRequest::value(std::string_view field) const {
  for (const auto& [name, value] : headers_) {
    if (headerNameEquals(name, field)) return value;
  }
  return std::nullopt;
}

void URLRequest::setValue(std::optional<std::string> value, std::string_view field) {
  auto it = std::find_if(headers_.begin(), headers_.end(),
                         [&](const HTTPHeaderField& h) { return headerNameEquals(h.first, field); });
  if (!value) {
    if (it != headers_.end()) headers_.erase(it);
    return;
  }
  if (it != headers_.end()) {
    it->second = std::move(*value);
  } else {
    headers_.emplace_back(std::string(field), std::move(*value));
  }
}

HTTPHeaders URLRequest::allHTTPHeaderFields() const { return HTTPHeaders(headers_.begin(), headers_.end()); }

HTTPHeaders HTTPURLResponse::allHeaderFields() const {
  HTTPHeaders result;
  for (const auto& field : headerLines()) {
    auto it = std::find_if(result.begin(), result.end(),
                           [&](const auto& entry) { return headerNameEquals(entry.first, field.first); });
    if (it == result.end()) {
      result.emplace(field.first, field.second);
    } else {
      it->second += ", " + field.second;
    }
  }
  return result;
}

std::optional<std::string> HTTPURLResponse::value(std::string_view field) const {
  std::optional<std::string> result;
  for (const auto& [name, value] : headerLines()) {
    if (!headerNameEquals(name, field)) continue;
    if (result) {
      *result += ", " + value;
    } else {
      result = value;
    }
  }
  return result;
}

std::vector<std::string> HTTPURLResponse::values(std::string_view field) const {
  std::vector<std::string> result;
  for (const auto& [name, value] : headerLines()) {
    if (headerNameEquals(name, field)) result.push_back(value);
  }
  return result;
}

std::optional<std::string> HTTPURLResponse::mimeType() const {
  for (const auto& [name, value] : headerLines()) {
    if (!headerNameEquals(name, "Content-Type")) continue;
    // The first field counts; parameters and the blanks around the type go.
    std::string_view type = std::string_view(value).substr(0, value.find(';'));
    while (!type.empty() && (type.front() == ' ' || type.front() == '\t')) type.remove_prefix(1);
    while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) type.remove_suffix(1);
    if (type.empty()) return std::nullopt;
    std::string lowered(type);
    for (auto& c : lowered) c = lowerASCII(c);
    return lowered;
  }
  return std::nullopt;
}

}  // namespace talvaren::platform::http

#include "talvaren/platform/oauth/RedirectURL.hpp"

namespace talvaren::platform::oauth {

std::optional<RedirectURL> RedirectURL::parse(std::string_view text) {
  const auto colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (!alpha(text[0])) return std::nullopt;
  for (std::size_t i = 1; i < colon; ++i) {
    const char c = text[i];
    if (!alpha(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return std::nullopt;
  }
  RedirectURL url;
  url.scheme = std::string(text.substr(0, colon));
  auto rest = text.substr(colon + 1);
  if (const auto hash = rest.find('#'); hash != std::string_view::npos) {
    url.fragment = std::string(rest.substr(hash + 1));
    rest = rest.substr(0, hash);
  }
  if (const auto q = rest.find('?'); q != std::string_view::npos) {
    url.query = std::string(rest.substr(q + 1));
    rest = rest.substr(0, q);
  }
  if (rest.substr(0, 2) == "//") {
    const auto end = rest.find('/', 2);
    url.authority = std::string(rest.substr(2, end == std::string_view::npos ? std::string_view::npos : end - 2));
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
  }
  url.path = std::string(rest);
  return url;
}

std::optional<ParameterList> RedirectURL::items() const {
  ParameterList all;
  for (const auto* part : {&fragment, &query}) {
    if (!*part) continue;
    auto items = decodeForm(**part);
    if (!items) return std::nullopt;
    all.insert(all.end(), items->begin(), items->end());
  }
  return all;
}

std::optional<std::string> firstValue(const ParameterList& items, std::string_view name) {
  for (const auto& [n, v] : items) {
    if (n == name) return v;
  }
  return std::nullopt;
}

}  // namespace talvaren::platform::oauth

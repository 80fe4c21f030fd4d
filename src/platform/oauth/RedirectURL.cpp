#include "talvaren/platform/oauth/RedirectURL.hpp"

#include "talvaren/platform/URIReference.hpp"

namespace talvaren::platform::oauth {

std::optional<RedirectURL> RedirectURL::parse(std::string_view text) {
  auto parts = URIReference::split(text);
  if (!parts.scheme) return std::nullopt;
  return RedirectURL{std::move(*parts.scheme), std::move(parts.authority), std::move(parts.path),
                     std::move(parts.query), std::move(parts.fragment)};
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

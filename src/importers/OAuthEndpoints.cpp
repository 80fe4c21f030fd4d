#include "importers/OAuthEndpoints.hpp"

#include <map>
#include <mutex>

namespace talvaren::detail {

namespace {

struct Overrides {
  std::mutex mutex;
  std::map<OAuthEndpoint, std::string> urls;
};

Overrides& overrides() {
  static auto& o = *new Overrides();
  return o;
}

}  // namespace

std::optional<std::string> oauthEndpointOverride(OAuthEndpoint endpoint) {
  std::lock_guard lock(overrides().mutex);
  const auto found = overrides().urls.find(endpoint);
  if (found == overrides().urls.end()) return std::nullopt;
  return found->second;
}

void setOAuthEndpointOverride(OAuthEndpoint endpoint, std::optional<std::string> url) {
  std::lock_guard lock(overrides().mutex);
  if (url) {
    overrides().urls[endpoint] = std::move(*url);
  } else {
    overrides().urls.erase(endpoint);
  }
}

void clearOAuthEndpointOverrides() {
  std::lock_guard lock(overrides().mutex);
  overrides().urls.clear();
}

}  // namespace talvaren::detail

#include "importers/OAuthEndpoints.hpp"

#include <map>
#include <mutex>

#include "importers/FitBitManager.hpp"
#include "importers/GarminManager.hpp"
#include "talvaren/testing/OAuth.hpp"

namespace talvaren::detail {

namespace {

struct Overrides {
  std::mutex mutex;
  std::map<OAuthEndpoint, std::string> urls;
};

Overrides& overrides() {
  static Overrides o;
  return o;
}

void set(OAuthEndpoint endpoint, std::string url) {
  std::lock_guard lock(overrides().mutex);
  overrides().urls[endpoint] = std::move(url);
}

}  // namespace

std::optional<std::string> oauthEndpointOverride(OAuthEndpoint endpoint) {
  std::lock_guard lock(overrides().mutex);
  const auto found = overrides().urls.find(endpoint);
  if (found == overrides().urls.end()) return std::nullopt;
  return found->second;
}

}  // namespace talvaren::detail

namespace talvaren::testkit {

void setGarminOAuthURLs(std::string requestToken, std::string authorize, std::string accessToken) {
  using detail::OAuthEndpoint;
  detail::set(OAuthEndpoint::garminRequestToken, std::move(requestToken));
  detail::set(OAuthEndpoint::garminAuthorize, std::move(authorize));
  detail::set(OAuthEndpoint::garminAccessToken, std::move(accessToken));
}

void setFitBitAuthorizeURL(std::string url) { detail::set(detail::OAuthEndpoint::fitBitAuthorize, std::move(url)); }

void resetOAuthManagers() {
  detail::resetGarminManager();
  detail::resetFitBitManager();
}

void resetOAuthURLs() {
  std::lock_guard lock(detail::overrides().mutex);
  detail::overrides().urls.clear();
}

}  // namespace talvaren::testkit

#include "talvaren/testing/OAuth.hpp"

#include "importers/Seams.hpp"

namespace talvaren::testkit {

using detail::OAuthEndpoint;

void setGarminOAuthURLs(std::string requestToken, std::string authorize, std::string accessToken) {
  detail::setOAuthEndpointOverride(OAuthEndpoint::garminRequestToken, std::move(requestToken));
  detail::setOAuthEndpointOverride(OAuthEndpoint::garminAuthorize, std::move(authorize));
  detail::setOAuthEndpointOverride(OAuthEndpoint::garminAccessToken, std::move(accessToken));
}

void setFitBitAuthorizeURL(std::string url) {
  detail::setOAuthEndpointOverride(OAuthEndpoint::fitBitAuthorize, std::move(url));
}

void resetOAuthURLs() { detail::clearOAuthEndpointOverrides(); }

void resetOAuthManagers() {
  detail::resetGarminManager();
  detail::resetFitBitManager();
}

}  // namespace talvaren::testkit

#include "importers/GarminManager.hpp"

#include "importers/APIViewController.hpp"
#include "importers/OAuthEndpoints.hpp"
#include "platform/SharedInstance.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/platform/UserDefaults.hpp"

namespace talvaren {

using platform::oauth::OAuth1Swift;
using platform::oauth::OAuthSwift;
using platform::oauth::OAuthSwiftCredential;
using platform::oauth::OAuthSwiftError;

namespace {

detail::SharedInstance<GarminManager>& shared() {
  static auto& instance = *new detail::SharedInstance<GarminManager>();
  return instance;
}

std::string endpoint(detail::OAuthEndpoint which, const char* standard) {
  return detail::oauthEndpointOverride(which).value_or(standard);
}

}  // namespace

std::shared_ptr<GarminManager> GarminManager::sharedInstance() { return shared().get(); }

void detail::resetGarminManager() { detail::cancelFlow(shared().reset()); }

std::string GarminManager::requestTokenURL() {
  return endpoint(detail::OAuthEndpoint::garminRequestToken,
                  "https://connectapi.garmin.com/oauth-service-1.0/oauth/request_token");
}

std::string GarminManager::authorizeURL() {
  return endpoint(detail::OAuthEndpoint::garminAuthorize, "https://connect.garmin.com/oauthConfirm");
}

std::string GarminManager::accessTokenURL() {
  return endpoint(detail::OAuthEndpoint::garminAccessToken,
                  "https://connectapi.garmin.com/oauth-service-1.0/oauth/access_token");
}

std::optional<OAuthSwiftCredential> GarminManager::oauthCredential() const {
  const auto data = platform::UserDefaults::standard()->dataForKey(std::string(GarminAuthCredentialsKey));
  if (!data) return std::nullopt;
  return OAuthSwiftCredential::unarchive(*data);
}

void GarminManager::setOauthCredential(const std::optional<OAuthSwiftCredential>& credential) {
  static const auto& null = *new std::string("null");
  platform::UserDefaults::standard()->set(credential ? credential->archivedData() : Bytes(null.begin(), null.end()),
                                          std::string(GarminAuthCredentialsKey));
}

void GarminManager::authorize(const std::string& consumerKey, const std::string& consumerSecret,
                              std::function<void(bool)> completion) {
  const auto client = startFlow(oauthswift, completion, [&] {
    return std::make_shared<OAuth1Swift>(consumerKey, consumerSecret, requestTokenURL(), authorizeURL(),
                                         accessTokenURL());
  });
  if (!client) return;
  client->allowMissingOAuthVerifier = true;

  auto self = std::static_pointer_cast<GarminManager>(shared_from_this());
  client->authorize(std::string(API_REDIRECT_URI), {},
                    [self, completion = std::move(completion)](std::optional<OAuthSwiftError> error,
                                                               std::optional<OAuthSwift::TokenSuccess> success) {
                      if (error || !success) {
                        console::print("Garmin authorize error: " +
                                       (error ? error->localizedDescription() : std::string("no credential")));
                        completion(false);
                        return;
                      }
                      console::print("Garmin authorize token: " + std::string(redact::placeholder) +
                                     " secret: " + std::string(redact::placeholder));
                      OAuthSwiftCredential stored;
                      stored.oauthToken = success->credential.oauthToken;
                      stored.oauthTokenSecret = success->credential.oauthTokenSecret;
                      self->setOauthCredential(stored);
                      completion(true);
                    });
}

}  // namespace talvaren

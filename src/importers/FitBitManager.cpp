#include "importers/FitBitManager.hpp"

#include "importers/APIViewController.hpp"
#include "importers/OAuthEndpoints.hpp"
#include "platform/SharedInstance.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/platform/UserDefaults.hpp"

namespace talvaren {

using platform::oauth::OAuth2Swift;
using platform::oauth::OAuthSwift;
using platform::oauth::OAuthSwiftError;

namespace {

detail::SharedInstance<FitBitManager>& shared() {
  static auto& instance = *new detail::SharedInstance<FitBitManager>();
  return instance;
}

}  // namespace

std::shared_ptr<FitBitManager> FitBitManager::sharedInstance() { return shared().get(); }

void detail::resetFitBitManager() { detail::cancelFlow(shared().reset()); }

std::string FitBitManager::authorizeURL() {
  return detail::oauthEndpointOverride(detail::OAuthEndpoint::fitBitAuthorize)
      .value_or("https://www.fitbit.com/oauth2/authorize");
}

std::optional<std::string> FitBitManager::oauthToken() const {
  return platform::UserDefaults::standard()->stringForKey(std::string(FitBitAuthTokenKey));
}

void FitBitManager::setOauthToken(const std::optional<std::string>& token) {
  const std::string key(FitBitAuthTokenKey);
  if (token) {
    platform::UserDefaults::standard()->set(*token, key);
  } else {
    platform::UserDefaults::standard()->removeObjectForKey(key);
  }
}

void FitBitManager::authorize(const std::string& consumerKey, const std::string& consumerSecret,
                              std::function<void(bool)> completion) {
  const auto client = startFlow(oauthswift, completion, [&] {
    return std::make_shared<OAuth2Swift>(consumerKey, consumerSecret, authorizeURL(), "token");
  });
  if (!client) return;

  auto self = std::static_pointer_cast<FitBitManager>(shared_from_this());
  client->authorize(std::string(API_REDIRECT_URI), "activity sleep", "", {}, {},
                    [self, completion = std::move(completion)](std::optional<OAuthSwiftError> error,
                                                               std::optional<OAuthSwift::TokenSuccess> success) {
                      if (error || !success) {
                        console::print("FitBit authorization failed " +
                                       (error ? error->localizedDescription() : std::string("no token")));
                        completion(false);
                        return;
                      }
                      console::print("FitBit authorization success " + std::string(redact::placeholder));
                      self->setOauthToken(success->credential.oauthToken);
                      completion(true);
                    });
}

}  // namespace talvaren

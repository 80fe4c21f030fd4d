#pragma once
// Internal interface of importers (for retrieval): the Garmin OAuth 1.0a authorisation and the stored access
// credential.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "importers/APIManager.hpp"
#include "talvaren/platform/oauth/OAuth1Swift.hpp"
#include "talvaren/platform/oauth/OAuthSwiftCredential.hpp"

namespace talvaren {

/// User-defaults key of the stored credential.
inline constexpr std::string_view GarminAuthCredentialsKey = "GarminAuthCredentials";
/// Provider name of every record imported from Garmin.
inline constexpr std::string_view GarminProviderName = "garmin_api";

class GarminManager : public APIManager {
 public:
  static std::shared_ptr<GarminManager> sharedInstance();

  /// Garmin's OAuth endpoints (test code may point them elsewhere: talvaren/testing/OAuth.hpp).
  static std::string requestTokenURL();
  static std::string authorizeURL();
  static std::string accessTokenURL();

  /// The client of the latest authorisation that got past the switch.
  std::shared_ptr<platform::oauth::OAuth1Swift> oauthswift;

  /// The stored access credential (token and secret only; whoever signs sets the consumer pair), or
  /// none when nothing readable is stored.
  virtual std::optional<platform::oauth::OAuthSwiftCredential> oauthCredential() const;
  /// Stores the token pair of `credential`; none is stored as JSON null.
  virtual void setOauthCredential(const std::optional<platform::oauth::OAuthSwiftCredential>& credential);

  /// Runs the whole flow and calls `completion` exactly once: true once a credential is stored, false
  /// otherwise (at once, synchronously, while the switch is thrown; also when the page is closed or this
  /// flow is replaced by a newer one). Call on the main queue.
  virtual void authorize(const std::string& consumerKey, const std::string& consumerSecret,
                         std::function<void(bool)> completion);
};

}  // namespace talvaren

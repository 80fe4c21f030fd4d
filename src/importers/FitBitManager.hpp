#pragma once
// Internal: the Fitbit OAuth 2.0 implicit grant and the stored access token.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "importers/APIManager.hpp"
#include "talvaren/platform/oauth/OAuth2Swift.hpp"

namespace talvaren {

/// User-defaults key of the access token.
inline constexpr std::string_view FitBitAuthTokenKey = "FitBitAuthToken";
/// Provider name of every record imported from Fitbit.
inline constexpr std::string_view FitBitProviderName = "fit_bit_api";

class FitBitManager : public APIManager {
 public:
  static std::shared_ptr<FitBitManager> sharedInstance();

  /// Fitbit's authorisation page (test code may point it elsewhere: talvaren/testing/OAuth.hpp).
  static std::string authorizeURL();

  /// The client of the latest authorisation that got past the switch.
  std::shared_ptr<platform::oauth::OAuth2Swift> oauthswift;

  /// The stored access token, or none.
  virtual std::optional<std::string> oauthToken() const;
  /// Stores the token; none removes it.
  virtual void setOauthToken(const std::optional<std::string>& token);

  /// Runs the whole flow and calls `completion` exactly once: true once a token is stored, false
  /// otherwise (at once, synchronously, while the switch is thrown; also when the page is closed or this
  /// flow is replaced by a newer one). Call on the main queue.
  virtual void authorize(const std::string& consumerKey, const std::string& consumerSecret,
                         std::function<void(bool)> completion);
};

}  // namespace talvaren

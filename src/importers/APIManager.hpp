#pragma once
// Internal: the base of the Garmin and Fitbit managers, with the switch a cancelled sign-in throws and
// the OAuth callback URL of both flows.

#include <atomic>
#include <memory>
#include <string_view>

namespace talvaren {

class APIManager : public std::enable_shared_from_this<APIManager> {
 public:
  /// The callback URL of both OAuth flows.
  static constexpr std::string_view API_REDIRECT_URI =
      "talvarenmobile://com.talvaren.talvarenmobile.ui.oauth/AuthorizationActivity";

  APIManager() = default;
  virtual ~APIManager() = default;
  APIManager(const APIManager&) = delete;
  APIManager& operator=(const APIManager&) = delete;

  /// True once the user cancelled this manager's sign-in page; it never turns false again.
  virtual bool authorizationDisabled() const { return authorizationDisabled_.load(); }
  virtual void setAuthorizationDisabled(bool disabled) { authorizationDisabled_.store(disabled); }
  /// Throws the switch: every later `authorize` of this manager answers false at once.
  void disableApiConnection() { setAuthorizationDisabled(true); }

 private:
  std::atomic<bool> authorizationDisabled_{false};
};

}  // namespace talvaren

#pragma once
// Internal: the base of the Garmin and Fitbit managers, with the switch a cancelled sign-in throws and
// the OAuth callback URL of both flows.

#include <atomic>
#include <functional>
#include <memory>
#include <string_view>
#include <utility>

namespace talvaren {

class APIViewController;

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

 protected:
  /// A new authorisation screen: full screen, its Cancel reported to this manager.
  std::shared_ptr<APIViewController> makeAuthorizationScreen();

  /// The start of every flow. A missing `completion` becomes one that does nothing. While the switch is
  /// thrown, answers false at once and returns none. Otherwise makes the client with `make()`, keeps it in
  /// `slot` (a flow the client it replaces still runs ends now, cancelled), gives it a new authorisation
  /// screen and returns it.
  template <class Client, class Make>
  std::shared_ptr<Client> startFlow(std::shared_ptr<Client>& slot, std::function<void(bool)>& completion, Make&& make) {
    if (!completion) completion = [](bool) {};
    if (authorizationDisabled()) {
      completion(false);
      return nullptr;
    }
    std::shared_ptr<Client> client = std::forward<Make>(make)();
    if (auto previous = std::exchange(slot, client)) previous->cancel();
    client->authorizeURLHandler = makeAuthorizationScreen();
    return client;
  }

 private:
  std::atomic<bool> authorizationDisabled_{false};
};

namespace detail {

/// Ends, cancelled, the flow a manager that test code dropped may still run.
template <typename Manager>
void cancelFlow(const std::shared_ptr<Manager>& manager) {
  if (manager && manager->oauthswift) manager->oauthswift->cancel();
}

}  // namespace detail

}  // namespace talvaren

#pragma once
// Internal: the base of the Garmin and Fitbit managers, with the switch a cancelled sign-in throws and
// the OAuth callback URL of both flows.

#include <atomic>
#include <memory>
#include <mutex>
#include <string_view>

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

 private:
  std::atomic<bool> authorizationDisabled_{false};
};

namespace detail {

/// The process-wide instance of a manager, made on first use; test code may drop it.
template <typename Manager>
class SharedManager {
 public:
  std::shared_ptr<Manager> get() {
    std::lock_guard lock(mutex_);
    if (!instance_) instance_ = std::make_shared<Manager>();
    return instance_;
  }
  /// Drops the instance; a flow it still runs ends cancelled.
  void reset() {
    std::shared_ptr<Manager> manager;
    {
      std::lock_guard lock(mutex_);
      manager = std::move(instance_);
    }
    if (manager && manager->oauthswift) manager->oauthswift->cancel();
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<Manager> instance_;
};

}  // namespace detail

}  // namespace talvaren

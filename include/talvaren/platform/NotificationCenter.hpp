#pragma once
// The notification centre: named notifications delivered to the observers of that name,
// synchronously, on the posting thread, in the order the observers were added.
//
// An observer removed while a notification is being delivered (by itself or by another observer)
// is not called for it afterwards; an observer added during a delivery first hears the next post.
// Removal does not wait for a callback already running on another thread: an observer whose
// callback uses state that dies with it removes itself on the thread that posts, or keeps that
// state alive (captured by shared pointer) until it is done.
// An exception thrown by an observer's callback is dropped and delivery goes on.

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace talvaren::platform {

struct Notification {
  std::string name;
  /// The object the notification is about, empty for none.
  std::any object;
  /// Extra information: a JSON object, or null for none.
  nlohmann::json userInfo;
};

class NotificationCenter {
 public:
  using Callback = std::function<void(const Notification&)>;

  /// Identifies one added observer; pass it to removeObserver.
  class ObserverToken {
   public:
    ObserverToken() = default;
    bool isValid() const { return id_ != 0; }
    friend bool operator==(const ObserverToken&, const ObserverToken&) = default;

   private:
    friend class NotificationCenter;
    explicit ObserverToken(std::uint64_t id) : id_(id) {}
    std::uint64_t id_ = 0;
  };

  /// The process's default centre.
  static std::shared_ptr<NotificationCenter> defaultCenter();

  NotificationCenter() = default;
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  /// Calls `callback` for every notification named `name` (every notification when `name` is
  /// absent) until the observer is removed. An empty callback adds nothing.
  ObserverToken addObserver(std::optional<std::string> name, Callback callback);
  /// Removing an unknown or already removed observer does nothing.
  void removeObserver(const ObserverToken& token);
  void removeAllObservers();

  void post(const Notification& notification);
  void post(std::string name, std::any object = {}, nlohmann::json userInfo = nullptr);

 private:
  struct Observer {
    std::uint64_t id;
    std::optional<std::string> name;
    Callback callback;
    bool removed = false;  // guarded by the centre's mutex
  };

  std::mutex mutex_;
  std::uint64_t nextId_ = 1;
  std::vector<std::shared_ptr<Observer>> observers_;
};

}  // namespace talvaren::platform

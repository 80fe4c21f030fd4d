#include "talvaren/platform/NotificationCenter.hpp"

#include <algorithm>
#include <utility>

namespace talvaren::platform {

std::shared_ptr<NotificationCenter> NotificationCenter::defaultCenter() {
  static const auto& center = *new auto(std::make_shared<NotificationCenter>());
  return center;
}

NotificationCenter::ObserverToken NotificationCenter::addObserver(std::optional<std::string> name, Callback callback) {
  if (!callback) return ObserverToken();
  std::lock_guard lock(mutex_);
  auto id = nextId_++;
  observers_.push_back(std::make_shared<Observer>(Observer{id, std::move(name), std::move(callback)}));
  return ObserverToken(id);
}

void NotificationCenter::removeObserver(const ObserverToken& token) {
  std::lock_guard lock(mutex_);
  auto it = std::find_if(observers_.begin(), observers_.end(),
                         [&](const auto& observer) { return observer->id == token.id_; });
  if (it == observers_.end()) return;
  (*it)->removed = true;
  observers_.erase(it);
}

void NotificationCenter::removeAllObservers() {
  std::lock_guard lock(mutex_);
  for (auto& observer : observers_) observer->removed = true;
  observers_.clear();
}

void NotificationCenter::post(const Notification& notification) {
  std::vector<std::shared_ptr<Observer>> listeners;
  {
    std::lock_guard lock(mutex_);
    for (const auto& observer : observers_) {
      if (!observer->name || *observer->name == notification.name) listeners.push_back(observer);
    }
  }
  for (const auto& observer : listeners) {
    {
      std::lock_guard lock(mutex_);
      if (observer->removed) continue;
    }
    try {
      observer->callback(notification);
    } catch (...) {
      // An observer's failure is its own; the others still hear the notification.
    }
  }
}

void NotificationCenter::post(std::string name, std::any object, nlohmann::json userInfo) {
  post(Notification{std::move(name), std::move(object), std::move(userInfo)});
}

}  // namespace talvaren::platform

#pragma once
// Internal interface of platform (for api and importers): the process-wide instance of a class, made on first use
// behind a mutex; only test code drops it (through the testkit's resets).
//
//   detail::SharedInstance<Widget>& shared() {
//     static auto& instance = *new detail::SharedInstance<Widget>();
//     return instance;
//   }
//   std::shared_ptr<Widget> Widget::sharedInstance() { return shared().get(); }
//   void detail::resetWidget() { (void)shared().reset(); }
//
// Like all of the kit's process-wide state, the holder is never destroyed: a queue's thread may still be
// at work while the process exits and runs the static destructors.

#include <memory>
#include <mutex>
#include <utility>

namespace talvaren::detail {

template <class T>
class SharedInstance {
 public:
  SharedInstance() = default;
  SharedInstance(const SharedInstance&) = delete;
  SharedInstance& operator=(const SharedInstance&) = delete;

  /// The instance; the first call (and the first after a reset) makes it with `make()`.
  template <class Make>
  std::shared_ptr<T> get(Make&& make) {
    std::lock_guard lock(mutex_);
    if (!instance_) instance_ = std::forward<Make>(make)();
    return instance_;
  }
  /// The instance; the first call (and the first after a reset) makes it with `std::make_shared<T>()`.
  std::shared_ptr<T> get() {
    return get([] { return std::make_shared<T>(); });
  }

  /// Forgets the instance, so that the next `get` makes a new one, and hands it back: the caller lets it
  /// go (or ends what it still runs) outside the lock.
  [[nodiscard]] std::shared_ptr<T> reset() {
    std::lock_guard lock(mutex_);
    return std::exchange(instance_, nullptr);
  }

 private:
  std::mutex mutex_;
  std::shared_ptr<T> instance_;
};

}  // namespace talvaren::detail

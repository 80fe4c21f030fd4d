#pragma once
// Internal: a setting any thread may read and write, each read a copy taken under the value's own lock.

#include <mutex>
#include <utility>

namespace talvaren::detail {

template <class T>
class LockedValue {
 public:
  T get() const {
    std::lock_guard lock(mutex_);
    return value_;
  }
  void set(T value) {
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
  }

 private:
  mutable std::mutex mutex_;
  T value_{};
};

}  // namespace talvaren::detail

#pragma once
// Private: work that the thread running the main queue waits for besides its queue.
//
// While `runMainQueue()` (real threads) has nothing to run it sleeps in poll(2); each registered source may add a
// descriptor to that wait. The HTTP layer uses it so that, while the main thread is idle, the replies it is waiting for
// are read on that thread itself: no hand-off through another thread.

#include <memory>

namespace talvaren::platform::detail {

class MainLoopSource {
 public:
  virtual ~MainLoopSource() = default;
  /// Called on the main thread right before it sleeps. Returns the descriptor to wait on until it is readable, or -1 to
  /// be left out of this wait.
  virtual int willWait() = 0;
  /// Called on the main thread after the wait, for every source that gave a descriptor, with whether it became
  /// readable.
  virtual void didWait(bool readable) = 0;
};

/// Registers `source` with every main-queue runner of the process (thread-safe).
void addMainLoopSource(std::shared_ptr<MainLoopSource> source);
/// Unregisters `source`; a wait in progress may still call it once (thread-safe).
void removeMainLoopSource(const MainLoopSource* source);

}  // namespace talvaren::platform::detail

#pragma once
// Internal interface of platform (for http): work that the thread running the main queue waits for besides its queue.
//
// While `runMainQueue()` (real threads) has nothing to run it sleeps in poll(2); each registered source may add
// descriptors to that wait. The HTTP layer uses it so that, while the main thread is idle, the replies it is waiting
// for are read on that thread itself: no hand-off through another thread.

#include <poll.h>

#include <cstddef>
#include <memory>
#include <vector>

namespace talvaren::platform::detail {

class MainLoopSource {
 public:
  virtual ~MainLoopSource() = default;
  /// Called on the main thread right before it sleeps: appends the descriptors to wait on (with the
  /// poll(2) events wanted), possibly none.
  virtual void willWait(std::vector<pollfd>& descriptors) = 0;
  /// Called on the main thread after the wait with the descriptors this source appended, their `revents`
  /// filled in.
  virtual void didWait(const pollfd* descriptors, std::size_t count) = 0;
};

/// Registers `source` with every main-queue runner of the process (thread-safe).
void addMainLoopSource(std::shared_ptr<MainLoopSource> source);
/// Unregisters `source`; a wait in progress may still call it once (thread-safe).
void removeMainLoopSource(const MainLoopSource* source);

}  // namespace talvaren::platform::detail

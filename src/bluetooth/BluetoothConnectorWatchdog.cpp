// The 20-second connection watchdog: armed on the main queue when the saved strap is reconnected, stopped
// on connection, and when it fires before a connection, the strap is let go and the host asked to search.

#include "bluetooth/ConnectorState.hpp"
#include "talvaren/bluetooth/BluetoothConnector.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/platform/Dispatch.hpp"

namespace talvaren {
namespace {

using connector::log;

}  // namespace

void BluetoothConnector::startTimer() {
  log("timer started");
  std::weak_ptr<BluetoothConnector> weak = weak_from_this();
  platform::DispatchQueue::main().async([weak] {
    auto self = weak.lock();
    if (!self) return;
    std::shared_ptr<platform::Timer> previous;
    {
      std::lock_guard lock(self->mutex_);
      previous = self->state_->timer;
    }
    // An armed watchdog left running would later cancel the newer attempt.
    if (previous) previous->invalidate();
    auto timer = platform::Timer::scheduledTimer(static_cast<double>(BluetoothAttrbutes::MAX_DATA_WAIT_TIME), [weak] {
      if (auto connector = weak.lock()) connector->timerAction();
    });
    std::lock_guard lock(self->mutex_);
    self->state_->timer = std::move(timer);
  });
}

void BluetoothConnector::stopTimer() {
  log("timer stopped");
  std::weak_ptr<BluetoothConnector> weak = weak_from_this();
  platform::DispatchQueue::main().async([weak] {
    auto self = weak.lock();
    if (!self) return;
    if (auto timer = self->timer()) timer->invalidate();
  });
}

void BluetoothConnector::timerAction() {
  auto isConnected = connected();
  log(std::string("timer action ") + connector::text(isConnected));
  if (isConnected) return;
  disconnectOnDemand();
  if (auto delegate = this->delegate()) delegate->shouldSearchForDevices();
  stopTimer();
}

}  // namespace talvaren

// The connector itself: its shared instance, the central, scanning, connecting to a chosen or the saved
// strap, the links that tasks belong to, and planned disconnections. Its stored properties, log helpers,
// watchdog, saved-strap records and version check live in the BluetoothConnector*.cpp files beside it.

#include "talvaren/bluetooth/BluetoothConnector.hpp"

#include "bluetooth/ConnectorState.hpp"
#include "bluetooth/Seams.hpp"
#include "platform/SharedInstance.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/codecs/ErrorBluetooth.hpp"

namespace talvaren {
namespace {

using connector::log;

detail::SharedInstance<BluetoothConnector>& sharedSlot() {
  static auto& slot = *new detail::SharedInstance<BluetoothConnector>();
  return slot;
}

}  // namespace

std::shared_ptr<BluetoothConnector> BluetoothConnector::sharedInstance() { return sharedSlot().get(); }

void detail::resetSharedBluetoothConnector() { (void)sharedSlot().reset(); }

BluetoothConnector::BluetoothConnector() : state_(std::make_unique<State>()) {}

BluetoothConnector::~BluetoothConnector() = default;

// Central, scanning, connecting ---------------------------------------------------------------------------

void BluetoothConnector::fire() {
  std::shared_ptr<platform::CentralManager> previous;
  {
    platform::DispatchQueue queue("bluetoothQueue");
    // Made under the lock, so the first state report (on the new queue) finds this central stored.
    std::lock_guard lock(mutex_);
    ++state_->connectionGeneration;
    state_->restartHistory();
    previous = std::move(state_->centralManager);
    state_->centralManager = platform::CentralManager::make(weak_from_this(), queue);
    // The links of the previous central end without a callback, so nothing else would clear these: a
    // task's planned disconnection still awaited would swallow the next link's unplanned one.
    if (previous) state_->connected = false;
    if (state_->plannedGeneration) {
      state_->enableDisconectHRMDevice = false;
      state_->plannedGeneration.reset();
    }
  }
  // Releasing the previous central ends its scan and its links without callbacks.
  previous.reset();
}

void BluetoothConnector::setDeviceType(const std::string& type) {
  std::lock_guard lock(mutex_);
  state_->lastKnowDeviceType = type;
}

bool BluetoothConnector::isPowerOn() {
  auto central = centralManager();
  return central && central->state() == platform::ManagerState::poweredOn;
}

void BluetoothConnector::searchForDevices() {
  log("searchForDevices");
  disconnectOnDemand();
  if (auto central = centralManager()) central->scanForPeripherals(std::nullopt);
}

void BluetoothConnector::stopSearchingForDevices() {
  log("stopSearchingForDevices");
  if (auto central = centralManager()) central->stopScan();
}

void BluetoothConnector::shouldConnectToDevice(const PeripheralPtr& peripheral) {
  stopSearchingForDevices();
  PeripheralPtr replaced;
  {
    std::lock_guard lock(mutex_);
    ++state_->connectionGeneration;
    state_->restartHistory();
    if (peripheral && state_->isReplaced(peripheral)) {
      // The replaced strap's link is let go: its end will be ignored, so neither its `connected` nor a
      // task's planned end for it may carry over to the new strap.
      replaced = std::move(state_->peripheral);
      state_->connected = false;
      if (state_->plannedGeneration) {
        state_->enableDisconectHRMDevice = false;
        state_->plannedGeneration.reset();
      }
    }
    state_->peripheral = peripheral;
  }
  log("should connect to device peripheral " + connector::peripheralDescription(peripheral));
  if (!peripheral) return;
  peripheral->setDelegate(weak_from_this());
  auto central = centralManager();
  // Ended once: a link already being cancelled (by the task that used it) is left to finish.
  if (replaced && central) {
    auto state = replaced->state();
    if (state == platform::PeripheralState::connected || state == platform::PeripheralState::connecting) {
      log("should connect to device: cancel previous peripheral " + connector::peripheralDescription(replaced));
      central->cancelPeripheralConnection(replaced);
    }
  }
  if (central) central->connect(peripheral);
  log("should connect to device");
}

void BluetoothConnector::connectToLastKnownDevice() {
  auto askToSearch = [this] {
    if (auto delegate = this->delegate()) delegate->shouldSearchForDevices();
  };
  if (enableFirmware()) return askToSearch();
  auto identifier = getLastKnowDevice();
  if (!identifier) return askToSearch();
  auto saved = retrieveSavedPeripheral(*identifier);
  if (!saved) return askToSearch();
  auto name = saved->name();
  log("found saved device: " + name.value_or("nil") + " UUID: " + *identifier);

  auto type = lastKnowDeviceType();
  bool connect = true;
  if (type == BluetoothAttrbutes::RecoveryDeviceKey) {
    connect = BluetoothAttrbutes::isCompatibleRecoveryDevice(name);
  } else if (type == BluetoothAttrbutes::WorkoutImporterDeviceKey) {
    connect = BluetoothAttrbutes::isCompatibleRecoveryDevice(name) ||
              BluetoothAttrbutes::isCompatibleRecoveryDeviceWithHrm(name) ||
              BluetoothAttrbutes::isCompatibleRecoveryDeviceWithKelo(name);
  }
  if (!connect) return askToSearch();
  shouldConnectToDevice(saved);
  startTimer();
}

std::uint64_t BluetoothConnector::currentLink() const {
  std::lock_guard lock(mutex_);
  return state_->connectionGeneration;
}

bool BluetoothConnector::planDisconnection(std::uint64_t link) {
  std::lock_guard lock(mutex_);
  if (state_->connectionGeneration != link) return false;
  state_->enableDisconectHRMDevice = true;
  state_->plannedGeneration = link;
  return true;
}

void BluetoothConnector::afterOnThisLink(std::uint64_t link, double seconds, bool holdStrongly,
                                         std::function<void(BluetoothConnector&)> work,
                                         std::function<void(BluetoothConnector&)> always) {
  std::weak_ptr<BluetoothConnector> weak = weak_from_this();
  std::shared_ptr<BluetoothConnector> strong = holdStrongly ? shared_from_this() : nullptr;
  platform::DispatchQueue::main().asyncAfter(
      seconds, [weak, strong, link, work = std::move(work), always = std::move(always)] {
        auto self = strong ? strong : weak.lock();
        if (!self) return;
        bool current;
        {
          std::lock_guard lock(self->mutex_);
          auto& state = *self->state_;
          current = state.connectionGeneration == link;
          if (!current && state.plannedGeneration == link) {
            state.enableDisconectHRMDevice = false;
            state.plannedGeneration.reset();
          }
        }
        if (current) work(*self);
        if (always) always(*self);
      });
}

void BluetoothConnector::endOverflowingHistory(std::uint64_t link,
                                               const std::shared_ptr<BluetoothConnectorDelegate>& delegate) {
  {
    std::lock_guard lock(mutex_);
    state_->restartHistory();
  }
  log("BluetoothConnector: history download ended: more history than a strap can store");
  if (delegate) delegate->didGetError(toError(ErrorBluetooth::historyOverflow));
  if (planDisconnection(link)) disconnectOnDemand();
}

void BluetoothConnector::disconnectOnDemand() {
  log("disconnectOnDemand");
  auto held = peripheral();
  auto central = centralManager();
  if (held && central) central->cancelPeripheralConnection(held);
}

}  // namespace talvaren

// The Secure DFU session: the connection to the target, service discovery, and the transfer of each
// part of the package in turn (SecureDfuTransfer), with the states, progress and log lines reported to
// the initiator's delegates.

#include "platform/dfu/SecureDfuSession.hpp"

#include <cstdio>

#include "talvaren/platform/ble/CentralManager.hpp"

namespace talvaren::platform::dfu {

namespace detail {

/// One update: its own central on the engine's queue, a link to the target, and the transfer of each
/// part in turn. Everything but `abort` runs on the engine's queue; it keeps itself alive until it ends.
class SecureDfuSession final : public CentralManagerDelegate,
                               public PeripheralDelegate,
                               public SecureDfuLink,
                               public std::enable_shared_from_this<SecureDfuSession> {
 public:
  using Setup = SecureDfuSetup;
  explicit SecureDfuSession(Setup setup) : setup_(std::move(setup)) {}

  void begin() {
    self_ = shared_from_this();
    std::weak_ptr<SecureDfuSession> weak = self_;
    setup_.queue.async([weak] {
      if (auto self = weak.lock()) self->connectCentral();
    });
  }

  bool abort() {
    std::lock_guard lock(mutex_);
    if (ended_) return false;
    ended_ = true;
    std::weak_ptr<SecureDfuSession> weak = weak_from_this();
    setup_.queue.async([weak] {
      if (auto self = weak.lock()) self->stop(DFUState::aborted);
    });
    return true;
  }

  bool isRunning() const {
    std::lock_guard lock(mutex_);
    return !ended_;
  }

  // CentralManagerDelegate
  void centralManagerDidUpdateState(CentralManager& central) override {
    if (isEnded()) return;
    auto state = central.state();
    if (state == ManagerState::poweredOn) {
      if (!peripheral_) connectTarget();
    } else if (state != ManagerState::unknown && state != ManagerState::resetting) {
      fail(DFUError::bluetoothDisabled, "Bluetooth adapter is disabled");
    }
  }
  void didConnect(CentralManager&, const std::shared_ptr<Peripheral>& peripheral) override {
    if (isEnded() || peripheral != peripheral_) return;
    log(LogLevel::info, "Connected to " + peripheral->identifier().uuidString());
    state(DFUState::starting);
    peripheral->setDelegate(weak_from_this());
    peripheral->discoverServices(std::vector<BluetoothUUID>{secure::serviceUUID()});
    awaitAnswer();
  }
  void didFailToConnect(CentralManager&, const std::shared_ptr<Peripheral>&,
                        const std::optional<Error>& error) override {
    fail(DFUError::failedToConnect, "Device failed to connect" + detail(error));
  }
  void didDisconnectPeripheral(CentralManager&, const std::shared_ptr<Peripheral>& peripheral,
                               const std::optional<Error>& error) override {
    if (isEnded() || peripheral != peripheral_) return;
    if (!awaitingReset_) return fail(DFUError::deviceDisconnected, "Device disconnected unexpectedly" + detail(error));
    // The target's restart ends the link from its side (with an error); a link ended without one was
    // closed on this side, and says nothing of the part.
    if (!error) return fail(DFUError::deviceDisconnected, "The link was closed before the device restarted");
    awaitingReset_ = false;
    if (++part_ < setup_.firmware->parts().size()) {
      // The target restarts in its bootloader for the next part.
      log(LogLevel::application, "Reconnecting for part " + std::to_string(part_ + 1));
      state(DFUState::connecting);
      central_->connect(peripheral_);
      awaitAnswer();
      return;
    }
    stop(DFUState::completed);
  }

  // PeripheralDelegate
  void didDiscoverServices(const std::shared_ptr<Peripheral>& peripheral, const std::optional<Error>& error) override {
    if (isEnded()) return;
    answered();
    std::shared_ptr<Service> dfu;
    for (const auto& service : peripheral->services().value_or(std::vector<std::shared_ptr<Service>>{})) {
      if (service->uuid() == secure::serviceUUID()) dfu = service;
    }
    if (error) return fail(DFUError::serviceDiscoveryFailed, "Service discovery failed" + detail(error));
    if (!dfu) return fail(DFUError::deviceNotSupported, "DFU Service not found");
    peripheral->discoverCharacteristics(std::nullopt, dfu);
    awaitAnswer();
  }
  void didDiscoverCharacteristicsFor(const std::shared_ptr<Peripheral>& peripheral,
                                     const std::shared_ptr<Service>& service,
                                     const std::optional<Error>& error) override {
    if (isEnded()) return;
    answered();
    controlPoint_.reset();
    packet_.reset();
    for (const auto& characteristic :
         service->characteristics().value_or(std::vector<std::shared_ptr<Characteristic>>{})) {
      if (characteristic->uuid() == secure::controlPointUUID()) controlPoint_ = characteristic;
      if (characteristic->uuid() == secure::packetUUID()) packet_ = characteristic;
    }
    if (error) return fail(DFUError::serviceDiscoveryFailed, "Characteristic discovery failed" + detail(error));
    if (!controlPoint_ || !packet_) return fail(DFUError::deviceNotSupported, "DFU Characteristics not found");
    log(LogLevel::info, "DFU Service found");
    peripheral->setNotifyValue(true, controlPoint_);
    awaitAnswer();
  }
  void didUpdateNotificationStateFor(const std::shared_ptr<Peripheral>&,
                                     const std::shared_ptr<Characteristic>& characteristic,
                                     const std::optional<Error>& error) override {
    if (isEnded() || characteristic != controlPoint_) return;
    answered();
    if (error || !characteristic->isNotifying()) {
      return fail(DFUError::enablingControlPointFailed, "Enabling notifications failed" + detail(error));
    }
    log(LogLevel::info, "Notifications enabled on the control point");
    startPart();
  }
  void didUpdateValueFor(const std::shared_ptr<Peripheral>&, const std::shared_ptr<Characteristic>& characteristic,
                         const std::optional<Error>& error) override {
    // No answered() here: a notification the transfer passes over (a receipt crossing a request) must
    // leave the wait for the real answer armed; every answer it takes arms the next wait or ends.
    if (isEnded() || characteristic != controlPoint_ || !transfer_) return;
    if (error) return fail(DFUError::receivingNotificationFailed, "Receiving notification failed" + detail(error));
    auto value = characteristic->value();
    if (!value) return fail(DFUError::receivingNotificationFailed, "Empty notification received");
    transfer_->handleNotification(*value);
  }
  void didWriteValueFor(const std::shared_ptr<Peripheral>&, const std::shared_ptr<Characteristic>&,
                        const std::optional<Error>& error) override {
    if (error) fail(DFUError::writingCharacteristicFailed, "Writing to characteristic failed" + detail(error));
  }

  // SecureDfuLink
  void writeControlPoint(const Bytes& request) override {
    peripheral_->writeValue(request, controlPoint_, WriteType::withResponse);
  }
  void writePacket(const Bytes& packet) override {
    peripheral_->writeValue(packet, packet_, WriteType::withoutResponse);
  }
  void awaitAnswer() override {
    std::uint64_t serial = ++answerSerial_;
    std::weak_ptr<SecureDfuSession> weak = weak_from_this();
    setup_.queue.asyncAfter(setup_.responseTimeout, [weak, serial] {
      auto self = weak.lock();
      if (!self || self->answerSerial_ != serial || self->isEnded()) return;
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%g", self->setup_.responseTimeout);
      if (self->awaitingReset_) {
        // A target that took the part restarts with it; one that stays has not activated it (it may
        // still wait for bytes its init packet declared). The failure closes the link.
        return self->fail(DFUError::deviceNotResponding,
                          std::string("The device did not restart within ") + seconds + " s of the last Execute");
      }
      if (self->peripheral_->state() != PeripheralState::connected) {
        return self->fail(DFUError::failedToConnect, std::string("Device failed to connect within ") + seconds + " s");
      }
      self->fail(DFUError::deviceNotResponding, std::string("No response from the device within ") + seconds + " s");
    });
  }

 private:
  static std::string detail(const std::optional<Error>& error) {
    return error ? ": " + error->localizedDescription() : std::string();
  }
  bool isEnded() const {
    std::lock_guard lock(mutex_);
    return ended_;
  }
  void answered() { ++answerSerial_; }

  void connectCentral() {
    if (isEnded()) return;
    state(DFUState::connecting);
    central_ = CentralManager::make(weak_from_this(), setup_.queue);
  }

  void connectTarget() {
    auto known = central_->retrievePeripherals({setup_.target});
    if (known.empty()) return fail(DFUError::failedToConnect, "Device not found");
    peripheral_ = known.front();
    log(LogLevel::verbose, "Connecting to " + setup_.target.uuidString());
    central_->connect(peripheral_);
    awaitAnswer();
  }

  void startPart() {
    const auto& parts = setup_.firmware->parts();
    const auto total = static_cast<int>(parts.size());
    const int number = static_cast<int>(part_) + 1;
    log(LogLevel::application, "Sending part " + std::to_string(number) + " of " + std::to_string(total) + " (" +
                                   parts[part_].kind + ", " + std::to_string(parts[part_].image.size()) + " bytes)");
    std::weak_ptr<SecureDfuSession> weak = weak_from_this();
    SecureDfuTransfer::Events events;
    events.state = [weak](DFUState s) {
      if (auto self = weak.lock()) self->state(s);
    };
    events.log = [weak](LogLevel level, const std::string& message) {
      if (auto self = weak.lock()) self->log(level, message);
    };
    events.progress = [weak, number, total](int percent, double current, double average) {
      auto self = weak.lock();
      if (!self) return;
      auto delegate = self->setup_.progressDelegate;
      self->setup_.progressQueue.async([delegate, number, total, percent, current, average] {
        if (auto target = delegate.lock()) target->dfuProgressDidChange(number, total, percent, current, average);
      });
    };
    events.finished = [weak](std::optional<std::pair<DFUError, std::string>> error) {
      auto self = weak.lock();
      if (!self) return;
      if (error) return self->fail(error->first, error->second);
      // The target validates the part, activates it and restarts: the link drops.
      self->awaitingReset_ = true;
      self->state(DFUState::disconnecting);
      self->awaitAnswer();
    };
    transfer_ = std::make_unique<SecureDfuTransfer>(parts[part_], setup_.options, *this, std::move(events));
    transfer_->start();
  }

  void state(DFUState value) {
    auto delegate = setup_.delegate;
    setup_.delegateQueue.async([delegate, value] {
      if (auto target = delegate.lock()) target->dfuStateDidChange(value);
    });
  }

  void log(LogLevel level, std::string message) {
    auto logger = setup_.logger;
    setup_.loggerQueue.async([logger, level, message = std::move(message)] {
      if (auto target = logger.lock()) target->logWith(level, message);
    });
  }

  void fail(DFUError error, std::string message) {
    {
      std::lock_guard lock(mutex_);
      if (ended_) return;
      ended_ = true;
    }
    log(LogLevel::error, message);
    auto delegate = setup_.delegate;
    setup_.delegateQueue.async([delegate, error, message] {
      if (auto target = delegate.lock()) target->dfuError(error, message);
    });
    release();
  }

  /// Ends with a final state (completed or aborted).
  void stop(DFUState final) {
    if (final == DFUState::aborted && peripheral_ && controlPoint_ &&
        peripheral_->state() == PeripheralState::connected) {
      peripheral_->writeValue({secure::opAbort}, controlPoint_, WriteType::withResponse);
    }
    {
      std::lock_guard lock(mutex_);
      ended_ = true;
    }
    state(final);
    release();
  }

  /// Drops the link and the central (after the callback that runs now), and the session's own hold.
  void release() {
    if (central_ && peripheral_) central_->cancelPeripheralConnection(peripheral_);
    auto keep = std::move(self_);
    setup_.queue.async([keep, central = std::move(central_)] {});
  }

  Setup setup_;
  mutable std::mutex mutex_;
  bool ended_ = false;
  std::shared_ptr<SecureDfuSession> self_;
  std::shared_ptr<CentralManager> central_;
  std::shared_ptr<Peripheral> peripheral_;
  std::shared_ptr<Characteristic> controlPoint_;
  std::shared_ptr<Characteristic> packet_;
  std::unique_ptr<SecureDfuTransfer> transfer_;
  std::size_t part_ = 0;
  bool awaitingReset_ = false;
  std::uint64_t answerSerial_ = 0;
};

}  // namespace detail

std::shared_ptr<detail::SecureDfuSession> detail::beginSecureDfuSession(SecureDfuSetup setup) {
  auto session = std::make_shared<SecureDfuSession>(std::move(setup));
  session->begin();
  return session;
}

bool DFUServiceController::abort() { return session_->abort(); }
bool DFUServiceController::isRunning() const { return session_->isRunning(); }

}  // namespace talvaren::platform::dfu

#include "talvaren/bluetooth/BluetoothConnector.hpp"

#include <cctype>

#include "bluetooth/ConnectorState.hpp"
#include "bluetooth/Seams.hpp"
#include "platform/SharedInstance.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/codecs/ErrorBluetooth.hpp"
#include "talvaren/platform/Calendar.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/utilities/DateExtensions.hpp"

namespace talvaren {
namespace {

using connector::log;
using platform::UserDefaults;

detail::SharedInstance<BluetoothConnector>& sharedSlot() {
  static auto& slot = *new detail::SharedInstance<BluetoothConnector>();
  return slot;
}

/// Compares two version texts with runs of digits taken as numbers ("1.2.9" < "1.2.10").
int compareNumerically(const std::string& a, const std::string& b) {
  std::size_t i = 0, j = 0;
  auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  while (i < a.size() && j < b.size()) {
    if (digit(a[i]) && digit(b[j])) {
      while (i < a.size() && a[i] == '0') ++i;
      while (j < b.size() && b[j] == '0') ++j;
      std::size_t startA = i, startB = j;
      while (i < a.size() && digit(a[i])) ++i;
      while (j < b.size() && digit(b[j])) ++j;
      auto runA = a.substr(startA, i - startA), runB = b.substr(startB, j - startB);
      if (runA.size() != runB.size()) return runA.size() < runB.size() ? -1 : 1;
      if (auto order = runA.compare(runB); order != 0) return order < 0 ? -1 : 1;
      continue;
    }
    if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
    ++i, ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

}  // namespace

namespace connector {

std::string byteList(const Bytes& bytes) {
  std::string text = "[";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i) text += ", ";
    text += std::to_string(bytes[i]);
  }
  return text + "]";
}

std::string valueDescription(const std::optional<Bytes>& value) {
  return value ? std::to_string(value->size()) + " bytes" : "nil";
}

std::string peripheralDescription(const BluetoothConnector::PeripheralPtr& peripheral) {
  return peripheral ? peripheral->description() : "nil";
}

std::optional<Bytes> valueOrReport(const std::shared_ptr<BluetoothConnectorDelegate>& delegate,
                                   const BluetoothConnector::CharacteristicPtr& characteristic,
                                   const std::optional<Error>& error, bool reportMissing) {
  if (error) {
    if (delegate) delegate->didGetError(*error);
    return std::nullopt;
  }
  auto value = characteristic->value();
  if (!value && reportMissing && delegate) delegate->didGetError(toError(ErrorBluetooth::characteristicValue));
  return value;
}

std::optional<Bytes> packetOrReport(const std::shared_ptr<BluetoothConnectorDelegate>& delegate,
                                    const BluetoothConnector::CharacteristicPtr& characteristic,
                                    const std::optional<Error>& error) {
  auto value = characteristic->value();
  if (!value || !error) return value;
  if (delegate) delegate->didGetError(*error);
  return std::nullopt;
}

bool clockIsClose(const std::string& prefix, const Date& date) {
  auto years = platform::Calendar::current()
                   .dateComponents({platform::CalendarComponent::year}, date, UTCToLocalTime(Date::now()))
                   .year;
  log(prefix + std::to_string(years.value_or(0)));
  return years && *years >= -2 && *years <= 2;
}

}  // namespace connector

std::shared_ptr<BluetoothConnector> BluetoothConnector::sharedInstance() { return sharedSlot().get(); }

void detail::resetSharedBluetoothConnector() { (void)sharedSlot().reset(); }

BluetoothConnector::BluetoothConnector() : state_(std::make_unique<State>()) {}

BluetoothConnector::~BluetoothConnector() = default;

// Stored state ------------------------------------------------------------------------------------------

bool BluetoothConnector::flag(bool State::*member) const {
  std::lock_guard lock(mutex_);
  return (*state_).*member;
}

void BluetoothConnector::setFlag(bool State::*member, bool value) {
  std::lock_guard lock(mutex_);
  (*state_).*member = value;
}

std::optional<std::string> BluetoothConnector::lastKnowDeviceType() const {
  std::lock_guard lock(mutex_);
  return state_->lastKnowDeviceType;
}

std::shared_ptr<platform::CentralManager> BluetoothConnector::centralManager() const {
  std::lock_guard lock(mutex_);
  return state_->centralManager;
}

BluetoothConnector::PeripheralPtr BluetoothConnector::peripheral() const {
  std::lock_guard lock(mutex_);
  return state_->peripheral;
}

void BluetoothConnector::setPeripheral(PeripheralPtr peripheral) {
  std::lock_guard lock(mutex_);
  state_->peripheral = std::move(peripheral);
}

std::shared_ptr<platform::Timer> BluetoothConnector::timer() const {
  std::lock_guard lock(mutex_);
  return state_->timer;
}

std::vector<BluetoothConnector::CharacteristicPtr> BluetoothConnector::characteristicsKelo() const {
  std::lock_guard lock(mutex_);
  return state_->characteristicsKelo;
}

void BluetoothConnector::setCharacteristicsKelo(std::vector<CharacteristicPtr> characteristics) {
  std::lock_guard lock(mutex_);
  state_->characteristicsKelo = std::move(characteristics);
}

BluetoothConnector::CharacteristicPtr BluetoothConnector::characteristic() const {
  std::lock_guard lock(mutex_);
  return state_->characteristic;
}

BluetoothConnector::CharacteristicPtr BluetoothConnector::characteristicHistry() const {
  std::lock_guard lock(mutex_);
  return state_->characteristicHistry;
}

std::int64_t BluetoothConnector::timeMinuteBmp() const {
  std::lock_guard lock(mutex_);
  return state_->timeMinuteBmp;
}

std::vector<HeartRate> BluetoothConnector::hertRates() const {
  std::lock_guard lock(mutex_);
  return state_->hertRates;
}

std::uint8_t BluetoothConnector::numberPacket() const {
  std::lock_guard lock(mutex_);
  return state_->numberPacket;
}

bool BluetoothConnector::selectSynch() const { return flag(&State::selectSynch); }

std::optional<std::string> BluetoothConnector::lastConnectedDeviceName() const {
  std::lock_guard lock(mutex_);
  return state_->lastConnectedDeviceName;
}

bool BluetoothConnector::enableDisconectHRMDevice() const { return flag(&State::enableDisconectHRMDevice); }
void BluetoothConnector::setEnableDisconectHRMDevice(bool value) {
  std::lock_guard lock(mutex_);
  state_->enableDisconectHRMDevice = value;
  state_->plannedGeneration.reset();
}
bool BluetoothConnector::enableTreshold() const { return flag(&State::enableTreshold); }
void BluetoothConnector::setEnableTreshold(bool value) { setFlag(&State::enableTreshold, value); }
bool BluetoothConnector::enableRRIntervals() const { return flag(&State::enableRRIntervals); }
void BluetoothConnector::setEnableRRIntervals(bool value) { setFlag(&State::enableRRIntervals, value); }
bool BluetoothConnector::enableSynch() const { return flag(&State::enableSynch); }
void BluetoothConnector::setEnableSynch(bool value) { setFlag(&State::enableSynch, value); }
bool BluetoothConnector::enableDeviceTime() const { return flag(&State::enableDeviceTime); }
void BluetoothConnector::setEnableDeviceTime(bool value) { setFlag(&State::enableDeviceTime, value); }
bool BluetoothConnector::enableSetTime() const { return flag(&State::enableSetTime); }
void BluetoothConnector::setEnableSetTime(bool value) { setFlag(&State::enableSetTime, value); }
bool BluetoothConnector::enableFirmwareUpdate() const { return flag(&State::enableFirmwareUpdate); }
void BluetoothConnector::setEnableFirmwareUpdate(bool value) { setFlag(&State::enableFirmwareUpdate, value); }
bool BluetoothConnector::enableFirmwareVersion() const { return flag(&State::enableFirmwareVersion); }
void BluetoothConnector::setEnableFirmwareVersion(bool value) { setFlag(&State::enableFirmwareVersion, value); }
bool BluetoothConnector::enableFirmwareMode() const { return flag(&State::enableFirmwareMode); }
void BluetoothConnector::setEnableFirmwareMode(bool value) { setFlag(&State::enableFirmwareMode, value); }
bool BluetoothConnector::enableFirmware() const { return flag(&State::enableFirmware); }
void BluetoothConnector::setEnableFirmware(bool value) { setFlag(&State::enableFirmware, value); }
bool BluetoothConnector::enableTestMode() const { return flag(&State::enableTestMode); }
void BluetoothConnector::setEnableTestMode(bool value) { setFlag(&State::enableTestMode, value); }
bool BluetoothConnector::enableModeState() const { return flag(&State::enableModeState); }
void BluetoothConnector::setEnableModeState(bool value) { setFlag(&State::enableModeState, value); }
bool BluetoothConnector::enableGetTime() const { return flag(&State::enableGetTime); }
void BluetoothConnector::setEnableGetTime(bool value) { setFlag(&State::enableGetTime, value); }
bool BluetoothConnector::connected() const { return flag(&State::connected); }

std::uint8_t BluetoothConnector::trainingThreshold() const {
  std::lock_guard lock(mutex_);
  return state_->trainingThreshold;
}

std::uint8_t BluetoothConnector::overloadThreshold() const {
  std::lock_guard lock(mutex_);
  return state_->overloadThreshold;
}

std::shared_ptr<BluetoothConnectorDelegate> BluetoothConnector::delegate() const {
  std::weak_ptr<BluetoothConnectorDelegate> weak;
  {
    std::lock_guard lock(mutex_);
    weak = state_->delegate;
  }
  return weak.lock();
}

void BluetoothConnector::setDelegate(std::weak_ptr<BluetoothConnectorDelegate> delegate) {
  std::lock_guard lock(mutex_);
  state_->delegate = std::move(delegate);
}

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

void BluetoothConnector::setDeviceVersion(const std::string& version) {
  UserDefaults::standard()->set(version, BluetoothAttrbutes::VersionDeviceKey);
}

bool BluetoothConnector::checkDeviceVersion(const std::string& version) {
  auto stored = UserDefaults::standard()->stringForKey(BluetoothAttrbutes::VersionDeviceKey);
  if (!stored) return false;
  std::string current;
  for (char c : *stored) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c != 'V') current += c;
  }
  auto order = compareNumerically(current, version);
  if (order == 0) return true;
  if (order < 0) {
    log("ask user to update");
    return false;
  }
  log("don't expect happen...");
  return true;
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

BluetoothConnector::PeripheralPtr BluetoothConnector::retrieveSavedPeripheral(const std::string& identifier) {
  auto uuid = platform::PeripheralIdentifier::fromString(identifier);
  if (!uuid) return nullptr;
  auto central = centralManager();
  if (!central) return nullptr;
  auto found = central->retrievePeripherals({*uuid});
  return found.empty() ? nullptr : found.front();
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

// The connection watchdog ------------------------------------------------------------------------------

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

// Saved strap records --------------------------------------------------------------------------------------

std::optional<std::string> BluetoothConnector::getLastKnowDevice() {
  auto type = lastKnowDeviceType();
  if (!type) return std::nullopt;
  return UserDefaults::standard()->stringForKey(*type);
}

std::optional<std::string> BluetoothConnector::getLastConnectedDeviceName(const std::string& uuid) {
  auto name = UserDefaults::standard()->stringForKey(BluetoothAttrbutes::NameDeviceKey + uuid);
  std::lock_guard lock(mutex_);
  state_->lastConnectedDeviceName = name;
  return state_->lastConnectedDeviceName;
}

bool BluetoothConnector::getSynchZoneDevice() {
  return UserDefaults::standard()->boolForKey(BluetoothAttrbutes::SynchZoneDeviceKey);
}

void BluetoothConnector::setSynchZoneDevice(bool value) {
  UserDefaults::standard()->set(value, BluetoothAttrbutes::SynchZoneDeviceKey);
}

void BluetoothConnector::saveLastKnownDevice(const PeripheralPtr& device) {
  if (!device) return;
  auto identifier = device->identifier().uuidString();
  auto type = lastKnowDeviceType();
  if (!type) {
    log("lastKnowDeviceType = nil!");
    return;
  }
  UserDefaults::standard()->set(identifier, *type);
  saveLastDeviceName(identifier, device->name().value_or(""));
}

void BluetoothConnector::saveLastDeviceName(const std::string& uuid, const std::string& deviceName) {
  {
    std::lock_guard lock(mutex_);
    state_->lastConnectedDeviceName = deviceName;
  }
  UserDefaults::standard()->set(deviceName, BluetoothAttrbutes::NameDeviceKey + uuid);
}

bool BluetoothConnector::checkLastKeloDEvice() {
  auto identifier = getLastKnowDevice();
  if (!identifier) return false;
  auto saved = retrieveSavedPeripheral(*identifier);
  return saved && BluetoothAttrbutes::isCompatibleRecoveryDeviceWithKelo(saved->name());
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

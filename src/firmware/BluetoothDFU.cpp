#include "talvaren/firmware/BluetoothDFU.hpp"

#include <limits>

#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/UserDefaults.hpp"

namespace talvaren {

using namespace platform;
using namespace platform::dfu;

namespace {
constexpr double kScanTimeout = 15.0;
constexpr const char* kForceDfuKey = "dfu_force_dfu";
constexpr const char* kNumberOfPacketsKey = "dfu_number_of_packets";
}  // namespace

std::shared_ptr<BluetoothDFU> BluetoothDFU::make() {
  auto updater = std::make_shared<BluetoothDFU>(Key{});
  // The central needs the updater's own reference as its delegate, which a constructor cannot give; its
  // first state report is delivered on the main queue later, so none is missed.
  updater->m_manager = CentralManager::make(updater->weak_from_this());
  return updater;
}

BluetoothDFU::BluetoothDFU(Key) : m_servicesArray(std::vector<std::shared_ptr<Service>>{}) {}

BluetoothDFU::~BluetoothDFU() {
  if (m_countTimer) m_countTimer->invalidate();
}

void BluetoothDFU::centralManagerDidUpdateState(CentralManager& central) {
  if (central.state() == ManagerState::poweredOn) {
    isAvailable_ = true;
    if (auto receiver = delegate) receiver->dfuPhoneBleStatus(true, *this);
    console::print("Bluetooth Is Open DFUBluetooth");
  } else {
    if (auto receiver = delegate) receiver->dfuPhoneBleStatus(false, *this);
    console::print("Bluetooth Is error DFUBluetooth");
  }
}

void BluetoothDFU::startConnectBleDevice() {
  // A time-out still armed by an earlier start would cancel this attempt's connection later on.
  if (m_countTimer) m_countTimer->invalidate();
  m_servicesArray = std::vector<std::shared_ptr<Service>>{};
  m_checkServiceNum = 0;
  isAvailable_ = false;
  m_manager->scanForPeripherals(std::nullopt);
  std::weak_ptr<BluetoothDFU> weak = weak_from_this();
  m_countTimer = Timer::scheduledTimer(kScanTimeout, [weak] {
    if (auto self = weak.lock()) self->countTimeNumber();
  });
}

void BluetoothDFU::countTimeNumber() {
  disconnectBleDevice();
  if (auto receiver = delegate) receiver->dfuResultStatus(false, *this, std::nullopt, "");
}

void BluetoothDFU::disarmTimeOut() {
  if (!m_countTimer) return;
  m_countTimer->invalidate();
  m_countTimer.reset();
}

void BluetoothDFU::disconnectBleDevice() {
  m_manager->stopScan();
  disarmTimeOut();
  if (m_peripheral) {
    m_manager->cancelPeripheralConnection(m_peripheral);
    m_peripheral.reset();
  }
}

void BluetoothDFU::didDiscover(CentralManager& central, const std::shared_ptr<Peripheral>& peripheral,
                               const AdvertisementData&, int) {
  auto name = peripheral->name();
  const std::string uuid = peripheral->identifier().uuidString();
  console::print("BluetoothDFU name is : " + (name ? "Optional(\"" + *name + "\")" : std::string("nil")) +
                 " --- uuid is : " + uuid);
  m_peripheral = peripheral;
  if (!deviceId || *deviceId != uuid) return;
  // The time-out stays armed until the connection is made: a strap that leaves before it, whose
  // connection never completes, still ends the attempt with a failure.
  central.stopScan();
  central.connect(peripheral);
}

void BluetoothDFU::didConnect(CentralManager&, const std::shared_ptr<Peripheral>& peripheral) {
  disarmTimeOut();
  auto firmware = DFUFirmware::make(filePath.value_or(""));
  if (!firmware) {
    disconnectBleDevice();
    dfuError(*fromRawValue<DFUError>(102), "could not create firmware from file at path: " + filePath.value_or("nil"));
    return;
  }
  m_selectedFirmware = firmware;
  DFUServiceInitiator initiator;
  auto defaults = UserDefaults::standard();
  initiator.forceDfu = defaults->boolForKey(kForceDfuKey);
  const std::int64_t packets = defaults->integerForKey(kNumberOfPacketsKey);
  if (packets < 0 || packets > std::numeric_limits<std::uint16_t>::max()) {
    console::print("BluetoothDFU: dfu_number_of_packets " + std::to_string(packets) +
                   " is outside 0 to 65535, using 0");
    initiator.packetReceiptNotificationParameter = 0;
  } else {
    initiator.packetReceiptNotificationParameter = static_cast<std::uint16_t>(packets);
  }
  initiator.resumeFromTargetOffset = true;
  auto self = shared_from_this();
  initiator.delegate = self;
  initiator.progressDelegate = self;
  initiator.logger = self;
  m_dfuController = initiator.with(m_selectedFirmware).start(peripheral);
}

void BluetoothDFU::didFailToConnect(CentralManager&, const std::shared_ptr<Peripheral>&, const std::optional<Error>&) {
  console::print("didFailToConnectPeripheral Is Error");
  // Reported at once (and only once: the time-out is disarmed), rather than when the time-out fires.
  disarmTimeOut();
  if (auto receiver = delegate) receiver->dfuResultStatus(false, *this, std::nullopt, "");
}

void BluetoothDFU::didDisconnectPeripheral(CentralManager&, const std::shared_ptr<Peripheral>&,
                                           const std::optional<Error>&) {}

void BluetoothDFU::dfuProgressDidChange(int, int, int progress, double, double) {
  if (auto receiver = delegate) receiver->dfuProgress(progress, *this);
}

void BluetoothDFU::logWith(LogLevel level, const std::string& message) {
  console::print("logWith is" + description(level) + "   " + message);
}

void BluetoothDFU::dfuStateDidChange(DFUState state) {
  switch (state) {
    case DFUState::connecting:
      return console::print("connecting");
    case DFUState::starting:
      return console::print("starting");
    case DFUState::enablingDfuMode:
      return console::print("enablingDfuMode");
    case DFUState::uploading:
      return console::print("uploading");
    case DFUState::validating:
      return console::print("validating");
    case DFUState::disconnecting:
      return console::print("disconnecting");
    case DFUState::completed:
      console::print("mfpendy  completed");
      isAvailable_ = true;
      if (auto receiver = delegate) receiver->dfuResultStatus(true, *this, std::nullopt, "");
      return;
    case DFUState::aborted:
      return console::print("aborted");
  }
}

void BluetoothDFU::dfuError(DFUError error, const std::string& message) {
  if (auto receiver = delegate) receiver->dfuResultStatus(false, *this, rawValue(error), message);
}

}  // namespace talvaren

// Updates the firmware of a simulated Kelo strap as a host does: switch the strap into update mode with
// the firmware-mode command, build a small firmware package, run the updater on it, and print progress
// and the result. Everything runs on the simulated radio on virtual time, so the update's seconds pass
// at once; the strap's bootloader checks the image against the package's init packet and activates it.
// State stays in a temporary application home unless TALVAREN_HOME is set.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "talvaren/codecs/BluetoothUtils.hpp"
#include "talvaren/firmware/BluetoothDFU.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/ble/CentralManager.hpp"
#include "talvaren/platform/dfu/DFUFirmware.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"
#include "talvaren/testing/VirtualTime.hpp"

using namespace talvaren;
using namespace talvaren::platform;

namespace {

/// Connects to the strap in its normal mode and writes the firmware-mode command to its FD0A
/// characteristic, as the Bluetooth link does for a host; the strap then restarts in update mode.
class ModeSwitch : public CentralManagerDelegate, public PeripheralDelegate {
 public:
  explicit ModeSwitch(PeripheralIdentifier strap) : strap_(strap) {}
  std::shared_ptr<CentralManager> central;
  bool written = false;

  void centralManagerDidUpdateState(CentralManager& manager) override {
    if (manager.state() != ManagerState::poweredOn) return;
    auto found = manager.retrievePeripherals({strap_});
    if (found.empty()) return;
    peripheral_ = found.front();
    manager.connect(peripheral_);
  }
  void didConnect(CentralManager&, const std::shared_ptr<Peripheral>& peripheral) override {
    peripheral->setDelegate(std::dynamic_pointer_cast<PeripheralDelegate>(central->delegate()));
    peripheral->discoverServices(std::vector<BluetoothUUID>{BluetoothUUID::fromUInt16(0xFD00)});
  }
  void didDiscoverServices(const std::shared_ptr<Peripheral>& peripheral, const std::optional<Error>&) override {
    for (const auto& service : peripheral->services().value_or(std::vector<std::shared_ptr<Service>>{})) {
      peripheral->discoverCharacteristics(std::nullopt, service);
    }
  }
  void didDiscoverCharacteristicsFor(const std::shared_ptr<Peripheral>& peripheral,
                                     const std::shared_ptr<Service>& service, const std::optional<Error>&) override {
    for (const auto& characteristic :
         service->characteristics().value_or(std::vector<std::shared_ptr<Characteristic>>{})) {
      if (characteristic->uuid() == BluetoothUUID::fromUInt16(0xFD0A) && !written) {
        peripheral->writeValue(BluetoothUtils::getOTAData(), characteristic, WriteType::withoutResponse);
        written = true;
        std::printf("Firmware-mode command written\n");
      }
    }
  }

 private:
  PeripheralIdentifier strap_;
  std::shared_ptr<Peripheral> peripheral_;
};

class Host : public BluetoothDFUDelegate {
 public:
  std::optional<bool> succeeded;
  bool started = false;
  std::string identifier;
  std::string package;

  void dfuPhoneBleStatus(bool status, BluetoothDFU&) override { std::printf("Bluetooth %s\n", status ? "on" : "off"); }
  void dfuProgress(int progress, BluetoothDFU&) override { std::printf("Progress: %d %%\n", progress); }
  void dfuResultStatus(bool status, BluetoothDFU&, std::optional<std::int64_t> error,
                       const std::string& message) override {
    if (status) {
      std::printf("Update finished\n");
    } else {
      std::printf("Update failed (code %s): %s\n", error ? std::to_string(*error).c_str() : "none", message.c_str());
    }
    succeeded = status;
  }
};

}  // namespace

int run();

int main() {
  std::filesystem::path temporaryHome;
  if (!std::getenv("TALVAREN_HOME")) {
    temporaryHome =
        std::filesystem::temp_directory_path() / ("talvaren-firmware-example-" + std::to_string(::getpid()));
    AppHome::setPath(temporaryHome);
  }

  int status = run();
  if (!temporaryHome.empty()) {
    AppHome::setPath({});
    std::filesystem::remove_all(temporaryHome);
  }
  return status;
}

int run() {
  testkit::VirtualTime time;
  auto radio = std::make_shared<sim::SimulatedRadio>();
  BluetoothRadio::setCurrent(radio);
  auto strap = radio->add(std::make_shared<sim::KeloStrap>(sim::identifierNumber(1), "Kelo-0001"));

  // 1. The host switches the strap into update mode.
  auto modeSwitch = std::make_shared<ModeSwitch>(strap->identifier());
  modeSwitch->central = CentralManager::make(modeSwitch);
  time.advanceUntil([&] { return strap->inUpdateMode(); }, 5);
  if (!strap->inUpdateMode()) {
    std::fprintf(stderr, "firmware_update: the strap did not enter update mode\n");
    return 1;
  }
  modeSwitch->central.reset();
  std::printf("Strap in update mode\n");

  // 2. A small package: a 6 KiB application image and its init packet.
  std::mt19937 random(2026);
  Bytes image(6 * 1024);
  for (auto& byte : image) byte = static_cast<std::uint8_t>(random());
  std::filesystem::create_directories(AppHome::documentsPath());
  const auto package = (AppHome::documentsPath() / "kelo-firmware.zip").string();
  if (!dfu::writeFirmwarePackage(
          package,
          {{"application", sim::DfuBootloader::initPacket(sim::DfuBootloader::typeApplication, image), image}})) {
    std::fprintf(stderr, "firmware_update: cannot write %s\n", package.c_str());
    return 1;
  }
  std::printf("Package: %s\n", package.c_str());

  // 3. The updater finds the strap by its identifier and uploads the package.
  auto host = std::make_shared<Host>();
  auto updater = BluetoothDFU::make();
  updater->delegate = host;
  updater->deviceId = strap->identifier().uuidString();
  updater->filePath = "file://" + package;
  time.advance(0.1);  // the radio reports powered on
  updater->startConnectBleDevice();
  time.advanceUntil([&] { return host->succeeded.has_value(); }, 60);
  updater->delegate.reset();
  std::printf("Virtual time of the update: %.2f s\n", time.elapsed());

  int status = 0;
  auto activated = strap->bootloader().activated();
  if (host->succeeded != true || !activated || activated->bytes != image) {
    std::fprintf(stderr, "firmware_update: the strap does not hold the new image\n");
    status = 1;
  } else {
    std::printf("Strap runs the new image: %zu bytes, CRC-32 %08X\n", activated->bytes.size(),
                static_cast<unsigned>(activated->crc));
  }
  BluetoothRadio::setCurrent(nullptr);
  return status;
}

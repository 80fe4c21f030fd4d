// Updates the firmware of a simulated Kelo strap as a host does: switch the strap into update mode with
// the firmware-mode command, build a small firmware package, run the updater on it, and print progress
// and the result. Everything runs on the simulated radio in real time while the program runs the main
// queue; the strap's bootloader checks the image against the package's init packet and activates it,
// and the strap comes back running it. (firmware_chain also fetches the package from the service.)
//
//   firmware_update [--help] [--quiet] [--home FOLDER]

#include <atomic>
#include <chrono>
#include <filesystem>

#include "Example.hpp"
#include "talvaren/codecs/BluetoothUtils.hpp"
#include "talvaren/firmware/BluetoothDFU.hpp"
#include "talvaren/platform/ble/CentralManager.hpp"
#include "talvaren/platform/dfu/DFUFirmware.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"

namespace {

using namespace talvaren;
using namespace talvaren::platform;

/// Connects to the strap in its normal mode and writes the firmware-mode command to its FD0A
/// characteristic, as the Bluetooth link does for a host; the strap then restarts in update mode.
class ModeSwitch : public CentralManagerDelegate, public PeripheralDelegate {
 public:
  explicit ModeSwitch(PeripheralIdentifier strap) : strap_(strap) {}
  std::shared_ptr<CentralManager> central;
  std::atomic<bool> written{false};

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
        examples::say("Firmware-mode command written");
      }
    }
  }

 private:
  PeripheralIdentifier strap_;
  std::shared_ptr<Peripheral> peripheral_;
};

/// The host's update screen. The updater calls it on its own queue.
class Host : public BluetoothDFUDelegate {
 public:
  /// 0 while the update runs, then 1 for success or -1 for failure.
  std::atomic<int> outcome{0};

  void dfuPhoneBleStatus(bool status, BluetoothDFU&) override { examples::say("Bluetooth %s", status ? "on" : "off"); }
  void dfuProgress(int progress, BluetoothDFU&) override { examples::say("Progress: %d %%", progress); }
  void dfuResultStatus(bool status, BluetoothDFU&, std::optional<std::int64_t> error,
                       const std::string& message) override {
    if (status) {
      examples::say("Update finished");
    } else {
      examples::say("Update failed (code %s): %s", error ? std::to_string(*error).c_str() : "none", message.c_str());
    }
    outcome = status ? 1 : -1;
  }
};

int fail(const char* message) {
  BluetoothRadio::setCurrent(nullptr);
  return examples::fail("%s", message);
}

int run(const examples::Options&) {
  auto radio = std::make_shared<sim::SimulatedRadio>();
  BluetoothRadio::setCurrent(radio);
  auto strap = radio->add(std::make_shared<sim::KeloStrap>(sim::identifierNumber(1), "Kelo-0001"));

  // 1. The host switches the strap into update mode.
  auto modeSwitch = std::make_shared<ModeSwitch>(strap->identifier());
  modeSwitch->central = CentralManager::make(modeSwitch);
  if (!examples::waitUntil([&] { return strap->inUpdateMode(); }, 5)) return fail("the strap did not enter update mode");
  modeSwitch->central.reset();
  examples::say("Strap in update mode");

  // 2. A small package: a 6 KiB application image of the strap's firmware 2.2.0 and its init packet.
  const Bytes image = sim::KeloStrap::firmwareImage("2.2.0");
  std::error_code ignored;
  std::filesystem::create_directories(AppHome::documentsPath(), ignored);
  const auto package = (AppHome::documentsPath() / "kelo-firmware.zip").string();
  if (!dfu::writeFirmwarePackage(
          package,
          {{"application", sim::DfuBootloader::initPacket(sim::DfuBootloader::typeApplication, image), image}})) {
    return fail(("cannot write " + package).c_str());
  }
  examples::say("Package: %s", package.c_str());

  // 3. The updater finds the strap by its identifier and uploads the package.
  auto host = std::make_shared<Host>();
  auto updater = BluetoothDFU::make();
  updater->delegate = host;
  updater->deviceId = strap->identifier().uuidString();
  updater->filePath = "file://" + package;
  examples::waitUntil([&] { return updater->isAvailable() == true; }, 2);  // the radio reports powered on
  const auto started = std::chrono::steady_clock::now();
  updater->startConnectBleDevice();
  examples::waitUntil([&] { return host->outcome != 0; }, 30);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
  updater->delegate.reset();
  examples::say("The update took %.2f s", took.count());

  // 4. The strap restarts with the new image.
  auto activated = strap->bootloader().activated();
  if (host->outcome != 1 || !activated || activated->bytes != image) return fail("the strap does not hold the new image");
  if (!examples::waitUntil([&] { return !strap->inUpdateMode(); }, 3)) return fail("the strap did not restart");
  BluetoothRadio::setCurrent(nullptr);
  examples::result("the strap runs the new image (%zu bytes, CRC-32 %08X) in %.1f s", activated->bytes.size(),
                   static_cast<unsigned>(activated->crc), took.count());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return examples::main(
      {"firmware_update", "A strap's firmware update over Secure DFU from a package built on the spot."}, argc, argv,
      run);
}

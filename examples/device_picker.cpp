// An example host program: the kit's device picker, as a host shows it. Four simulated straps advertise
// around; the host asks for the picker, which scans and lists each strap once with a check mark; the
// user taps "HRM Strap" and confirms; the host's delegate gets the chosen strap and starts a training
// run on it. The picker's screen and pictures come with the library itself; the program runs the main
// queue in real time, where the picker lives.
//
//   device_picker [--help] [--quiet] [--home FOLDER]

#include <atomic>
#include <memory>
#include <string>

#include "Example.hpp"
#include "talvaren/bluetooth/BluetoothConfiguration.hpp"
#include "talvaren/bluetooth/BluetoothConnectionViewController.hpp"
#include "talvaren/bluetooth/BluetoothDeviceCell.hpp"
#include "talvaren/platform/ui/ImageAsset.hpp"
#include "talvaren/platform/ui/KitBundle.hpp"
#include "talvaren/platform/ui/Presenter.hpp"
#include "talvaren/sim/HeartRateStrap.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/sim/RavoStrap.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"

namespace {

using namespace talvaren;
using platform::ui::Presenter;

/// The host: receives the picker's choice (on the main queue) and starts a training run on it; the run's
/// measurements arrive on the link's queue.
class Host : public BluetoothConnectionViewControllerDelegate, public BluetoothTrainDelegate {
 public:
  void connectToDevice(const std::shared_ptr<platform::Peripheral>& device) override {
    examples::say("[host] the user chose %s", device->name().value_or("?").c_str());
    if (!BluetoothConfiguration::shared()->configTrain(device)) examples::say("[host] the strap was refused");
  }
  void deviceListCanceled() override { examples::say("[host] the user cancelled"); }

  void didConnect() override {
    connected = true;
    examples::say("[host] connected to %s", BluetoothConfiguration::getLastConnectedDeviceName().c_str());
  }
  void didUpdateBPM(std::uint16_t bpm, double) override {
    ++beats;
    examples::say("[host] %u bpm", static_cast<unsigned>(bpm));
  }
  void didDisconnect() override {}
  void didNotEnabled() override { examples::say("[host] Bluetooth is off"); }
  void shouldSearchForDevices() override {}
  void handlerError(const Error& error) override {
    examples::say("[host] error: %s", error.localizedDescription().c_str());
  }

  std::atomic<bool> connected{false};
  std::atomic<int> beats{0};
};

/// The picker's rows as a user sees them: the check mark, then the strap's name.
void printRows(const BluetoothConnectionViewController& picker) {
  auto green = platform::ui::ImageAsset::named("green_check_icon", platform::ui::KitBundle::shared());
  examples::say("  %s", picker.selectDevice()->text().value_or("").c_str());
  for (auto& cell : picker.tableView()->visibleCells()) {
    auto row = std::dynamic_pointer_cast<BluetoothDeviceCell>(cell);
    if (!row) continue;
    bool marked = row->checkImage()->image() && row->checkImage()->image() == green;
    examples::say("  %s %s", marked ? "(v)" : "( )", row->deviceNameLabel()->text().value_or("").c_str());
  }
  examples::say("  [%s]  [%s]", picker.cancelButton()->title(platform::ui::ControlState::normal)->c_str(),
                picker.confirmButton()->title(platform::ui::ControlState::normal)->c_str());
}

int fail(const char* message) {
  Presenter::setObserver({});
  platform::BluetoothRadio::setCurrent(nullptr);
  return examples::fail("%s", message);
}

int run(const examples::Options&) {
  auto radio = std::make_shared<sim::SimulatedRadio>();
  platform::BluetoothRadio::setCurrent(radio);
  radio->add(std::make_shared<sim::KeloStrap>(sim::identifierNumber(1), "Kelo-0001"));
  auto chosen = radio->add(std::make_shared<sim::HeartRateStrap>(sim::identifierNumber(2), "HRM Strap"));
  radio->add(std::make_shared<sim::KeloStrap>(sim::identifierNumber(3), "Kelo-0001"));
  radio->add(std::make_shared<sim::RavoStrap>(sim::identifierNumber(4), "Ravo HRM"));
  sim::HeartRateMeasurement measurement;
  measurement.bpm = 71;
  chosen->setMeasurement(measurement);

  auto host = std::make_shared<Host>();
  BluetoothConfiguration::shared()->setTrainDelegate(host);
  std::shared_ptr<BluetoothConnectionViewController> picker;
  Presenter::setObserver({[&](const std::shared_ptr<platform::ui::ViewController>& screen) {
                            picker = std::dynamic_pointer_cast<BluetoothConnectionViewController>(screen);
                            if (picker) picker->setDelegate(host);
                          },
                          {}});

  // The first request starts the radio; the picker comes once Bluetooth is on.
  auto root = Presenter::rootViewController();
  if (!examples::waitUntil([&] { return BluetoothConnectionViewController::showBluetoothConnectionViewController(root); },
                           5)) {
    return fail("Bluetooth did not come on");
  }
  if (!examples::waitUntil([&] { return picker != nullptr; }, 5)) return fail("the picker was not presented");
  auto listed = [&](const std::string& name) {
    for (const auto& device : picker->devices()) {
      if (device.first == name) return true;
    }
    return false;
  };
  // Every strap around advertises at least once a second.
  examples::waitUntil([&] { return listed("HRM Strap") && listed("Kelo-0001") && listed("Ravo HRM"); }, 5);
  examples::runFor(0.6);
  examples::say("[screen] the picker lists the straps around:");
  printRows(*picker);

  const auto& devices = picker->devices();
  std::size_t row = 0;
  while (row < devices.size() && devices[row].first != "HRM Strap") ++row;
  if (row == devices.size()) return fail("the HRM strap is not listed");
  picker->tableView()->tapRow({0, row});
  examples::runFor(0.6);  // the straps go on advertising; the mark stays
  examples::say("[screen] after the tap on \"HRM Strap\":");
  printRows(*picker);
  const auto rows = picker->devices().size();
  picker->confirmButton()->sendTouch();
  if (root->presentedViewController()) return fail("the picker stayed on screen after OK");
  picker.reset();
  Presenter::setObserver({});

  examples::waitUntil([&] { return host->beats >= 2; }, 6);
  BluetoothConfiguration::enableDisconect(true);
  BluetoothConfiguration::shared()->disconnect();
  examples::waitUntil([&] { return !chosen->isConnected(); }, 2);
  platform::BluetoothRadio::setCurrent(nullptr);
  if (!host->connected || host->beats < 2) return examples::fail("the chosen strap did not connect and measure");
  examples::result("the picker listed %zu straps; the chosen one connected and sent %d measurements", rows,
                   host->beats.load());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return examples::main({"device_picker", "The kit's device picker: list the straps around, pick one, train with it."},
                        argc, argv, run);
}

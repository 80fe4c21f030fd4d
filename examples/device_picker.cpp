// An example host program: the user picks a strap from the kit's device picker and the host starts a
// training run on it. Four simulated straps advertise (two under the same name); the program shows the
// picker, prints its rows as a user sees them, taps one, confirms with "OK", and connects the chosen
// strap through the Bluetooth facade. It runs on virtual time and keeps its state in a temporary
// application home unless TALVAREN_HOME is set.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "ExampleHome.hpp"
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
#include "talvaren/testing/VirtualTime.hpp"

namespace {

using namespace talvaren;
using platform::ui::Presenter;

/// The host: receives the picker's choice and starts a training run on it.
class Host : public BluetoothConnectionViewControllerDelegate, public BluetoothTrainDelegate {
 public:
  void connectToDevice(const std::shared_ptr<platform::Peripheral>& device) override {
    std::printf("[host] the user chose %s\n", device->name().value_or("?").c_str());
    if (!BluetoothConfiguration::shared()->configTrain(device)) std::printf("[host] the strap was refused\n");
  }
  void deviceListCanceled() override { std::printf("[host] the user cancelled\n"); }

  void didConnect() override {
    connected = true;
    std::printf("[host] connected to %s\n", BluetoothConfiguration::getLastConnectedDeviceName().c_str());
  }
  void didUpdateBPM(std::uint16_t bpm, double) override {
    ++beats;
    std::printf("[host] %u bpm\n", static_cast<unsigned>(bpm));
  }
  void didDisconnect() override {}
  void didNotEnabled() override { std::printf("[host] Bluetooth is off\n"); }
  void shouldSearchForDevices() override {}
  void handlerError(const Error& error) override {
    std::printf("[host] error: %s\n", error.localizedDescription().c_str());
  }

  bool connected = false;
  int beats = 0;
};

/// The picker's rows as a user sees them: the check mark, then the strap's name.
void printRows(const BluetoothConnectionViewController& picker) {
  auto kit = platform::ui::KitBundle::shared();
  auto green = platform::ui::ImageAsset::named("green_check_icon", kit);
  std::printf("  %s\n", picker.selectDevice()->text().value_or("").c_str());
  for (auto& cell : picker.tableView()->visibleCells()) {
    auto row = std::dynamic_pointer_cast<BluetoothDeviceCell>(cell);
    if (!row) continue;
    bool marked = row->checkImage()->image() && row->checkImage()->image() == green;
    std::printf("  %s %s\n", marked ? "(v)" : "( )", row->deviceNameLabel()->text().value_or("").c_str());
  }
  std::printf("  [%s]  [%s]\n", picker.cancelButton()->title(platform::ui::ControlState::normal)->c_str(),
              picker.confirmButton()->title(platform::ui::ControlState::normal)->c_str());
}

int fail(const char* message) {
  std::fprintf(stderr, "device_picker: %s\n", message);
  platform::BluetoothRadio::setCurrent(nullptr);
  return 1;
}

int run() {
  testkit::VirtualTime time;
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

  // The radio has not been started yet: the first request starts it, the second shows the picker.
  auto root = Presenter::rootViewController();
  if (BluetoothConnectionViewController::showBluetoothConnectionViewController(root)) {
    return fail("the picker was shown before Bluetooth was on");
  }
  time.advance(1);
  if (!BluetoothConnectionViewController::showBluetoothConnectionViewController(root)) {
    return fail("Bluetooth did not come on");
  }
  time.advance(2);
  if (!picker) return fail("the picker was not presented");
  std::printf("[screen] the picker lists the straps around:\n");
  printRows(*picker);

  const auto& devices = picker->devices();
  std::size_t row = 0;
  while (row < devices.size() && devices[row].first != "HRM Strap") ++row;
  if (row == devices.size()) return fail("the HRM strap is not listed");
  picker->tableView()->tapRow({0, row});
  time.advance(1);  // the straps go on advertising; the mark stays
  std::printf("[screen] after the tap on \"HRM Strap\":\n");
  printRows(*picker);
  picker->confirmButton()->sendTouch();
  if (root->presentedViewController()) return fail("the picker stayed on screen after OK");
  picker.reset();
  Presenter::setObserver({});

  time.advance(4);
  BluetoothConfiguration::enableDisconect(true);
  BluetoothConfiguration::shared()->disconnect();
  time.advance(1);
  platform::BluetoothRadio::setCurrent(nullptr);
  if (!host->connected || host->beats < 2) return fail("the chosen strap did not connect and measure");
  std::printf("device_picker: connected to the chosen strap, %d measurements\n", host->beats);
  return 0;
}

}  // namespace

int main() { return examples::runInApplicationHome("device-picker", run); }

// The device picker against simulated straps on virtual time: presentation and the radio, the listing of
// advertised names, marking rows across discoveries, and the order of "OK" and "Cancel" towards the host.

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "bluetooth/ConnectorHarness.hpp"
#include "talvaren/bluetooth/BluetoothConnectionViewController.hpp"
#include "talvaren/bluetooth/BluetoothDeviceCell.hpp"
#include "talvaren/platform/ui/ImageAsset.hpp"
#include "talvaren/platform/ui/KitBundle.hpp"
#include "talvaren/platform/ui/Presenter.hpp"
#include "talvaren/sim/HeartRateStrap.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/sim/RavoStrap.hpp"
#include "talvaren/testing/Console.hpp"

using namespace talvaren;
using platform::ui::Presenter;
using sim::identifierNumber;
using Lines = std::vector<std::string>;

namespace {

/// The host: what it hears, and whether the picker was still on screen when it heard it.
class Host : public BluetoothConnectionViewControllerDelegate {
 public:
  void connectToDevice(const std::shared_ptr<platform::Peripheral>& device) override {
    calls.push_back("connect " + device->identifier().uuidString() + onScreen());
  }
  void deviceListCanceled() override { calls.push_back("canceled" + onScreen()); }
  Lines calls;

 private:
  static std::string onScreen() { return Presenter::rootViewController()->presentedViewController() ? " shown" : ""; }
};

struct PickerWorld : testkit::World {
  testkit::ConsoleCapture console;
  std::shared_ptr<Host> host = std::make_shared<Host>();

  PickerWorld() { Presenter::setRootViewController(nullptr); }
  ~PickerWorld() { Presenter::setRootViewController(nullptr); }

  /// Shows the picker over the root as a host does and lets the main queue present it.
  std::shared_ptr<BluetoothConnectionViewController> show() {
    if (!BluetoothConnectionViewController::showBluetoothConnectionViewController(Presenter::rootViewController())) {
      return nullptr;
    }
    time.runReady();
    auto picker = std::dynamic_pointer_cast<BluetoothConnectionViewController>(
        Presenter::rootViewController()->presentedViewController());
    if (picker) picker->setDelegate(host);
    return picker;
  }
};

/// The rows as a user sees them: "[x] name" for the green mark, "[ ] name" for the blank one.
Lines rows(const BluetoothConnectionViewController& picker) {
  auto green = platform::ui::ImageAsset::named("green_check_icon", platform::ui::KitBundle::shared());
  auto blank = platform::ui::ImageAsset::named("blank_check_icon", platform::ui::KitBundle::shared());
  Lines seen;
  for (auto& cell : picker.tableView()->visibleCells()) {
    auto row = std::dynamic_pointer_cast<BluetoothDeviceCell>(cell);
    auto image = row ? row->checkImage()->image() : nullptr;
    std::string mark = image == green ? "[x] " : image == blank ? "[ ] " : "[?] ";
    seen.push_back(mark + (row ? row->deviceNameLabel()->text().value_or("") : "<not a device row>"));
  }
  return seen;
}

}  // namespace

TEST(DevicePicker, RadioOffStartsTheCentralAndPresentsNothingRadioOnPresentsOnTheMainQueue) {
  PickerWorld w;
  w.radio->setState(platform::ManagerState::poweredOff);
  EXPECT_FALSE(
      BluetoothConnectionViewController::showBluetoothConnectionViewController(Presenter::rootViewController()));
  ASSERT_NE(w.connector->centralManager(), nullptr);  // fire() ran
  w.time.advance(1);
  EXPECT_EQ(Presenter::rootViewController()->presentedViewController(), nullptr);
  EXPECT_EQ(w.events->count("not enabled"), 1u);

  w.radio->setState(platform::ManagerState::poweredOn);
  w.time.advance(1);
  ASSERT_TRUE(
      BluetoothConnectionViewController::showBluetoothConnectionViewController(Presenter::rootViewController()));
  EXPECT_EQ(Presenter::rootViewController()->presentedViewController(), nullptr);  // not within the call
  w.time.runReady();
  auto picker = std::dynamic_pointer_cast<BluetoothConnectionViewController>(
      Presenter::rootViewController()->presentedViewController());
  ASSERT_NE(picker, nullptr);
  EXPECT_TRUE(w.console.contains("BluetoothConnectionViewController viewDidLoad"));
  EXPECT_EQ(picker->selectDevice()->text(), "Select Device");
  EXPECT_EQ(picker->confirmButton()->title(platform::ui::ControlState::normal), "OK");
  EXPECT_EQ(picker->cancelButton()->title(platform::ui::ControlState::normal), "Cancel");
  EXPECT_EQ(picker->tableView()->estimatedRowHeight(), 30.5);
  EXPECT_EQ(picker->tableView()->rowHeight(), platform::ui::TableView::automaticDimension);
  // The picker took the connector's events over from whoever had them, and appearing started a scan.
  EXPECT_EQ(w.connector->delegate(), std::static_pointer_cast<BluetoothConnectorDelegate>(picker));
  EXPECT_EQ(picker->bluetoothConnector(), w.connector);
  EXPECT_TRUE(w.console.contains("searchForDevices"));
}

TEST(DevicePicker, ListsEachAdvertisedNameOnceInOrderOfDiscoveryBoundToItsFirstStrap) {
  PickerWorld w;
  auto first = w.add(std::make_shared<sim::KeloStrap>(identifierNumber(1), "Kelo-0001"));
  w.add(std::make_shared<sim::HeartRateStrap>(identifierNumber(2), "HRM Strap"));
  w.start();
  auto picker = w.show();
  ASSERT_NE(picker, nullptr);
  w.time.advance(2);                                                          // several advertisements of each
  w.add(std::make_shared<sim::KeloStrap>(identifierNumber(3), "Kelo-0001"));  // same name, another strap
  w.add(std::make_shared<sim::RavoStrap>(identifierNumber(4), "Ravo HRM"));
  w.time.advance(2);

  EXPECT_EQ(rows(*picker), (Lines{"[ ] Kelo-0001", "[ ] HRM Strap", "[ ] Ravo HRM"}));
  ASSERT_EQ(picker->devices().size(), 3u);
  EXPECT_EQ(picker->devices()[0].second->identifier(), first->identifier());
  std::size_t logged = 0;
  for (auto& line : w.console.lines()) {
    if (line.rfind("didDiscoverDevice named = ", 0) == 0) ++logged;
  }
  EXPECT_EQ(logged, 3u);
  EXPECT_TRUE(
      w.console.contains("didDiscoverDevice named = Ravo HRM device = " + picker->devices()[2].second->description() +
                         " advertisementData = [isConnectable: true, localName: Ravo HRM, serviceUUIDs: [180D, FC00]]"))
      << ::testing::PrintToString(w.console.lines());
}

TEST(DevicePicker, TheMarkFollowsTapsAndSurvivesDiscoveriesThenOkHandsTheStrapOverBeforeDismissing) {
  PickerWorld w;
  w.add(std::make_shared<sim::KeloStrap>(identifierNumber(1), "Kelo-0001"));
  auto hrm = w.add(std::make_shared<sim::HeartRateStrap>(identifierNumber(2), "HRM Strap"));
  w.start();
  auto picker = w.show();
  ASSERT_NE(picker, nullptr);
  w.time.advance(1);
  auto table = picker->tableView();

  picker->confirmButton()->sendTouch();  // nothing marked yet: ignored
  EXPECT_EQ(Presenter::rootViewController()->presentedViewController(), picker);

  table->tapRow({0, 0});
  table->tapRow({0, 1});
  EXPECT_EQ(rows(*picker), (Lines{"[ ] Kelo-0001", "[x] HRM Strap"}));

  // A strap found after the tap reloads the list; the user's choice stays marked and selected.
  w.add(std::make_shared<sim::RavoStrap>(identifierNumber(3), "Ravo HRM"));
  w.time.advance(1);
  EXPECT_EQ(rows(*picker), (Lines{"[ ] Kelo-0001", "[x] HRM Strap", "[ ] Ravo HRM"}));
  EXPECT_EQ(table->indexPathForSelectedRow(), (platform::ui::IndexPath{0, 1}));

  table->tapRow({0, 2});  // moving the mark after a discovery leaves no second mark behind
  EXPECT_EQ(rows(*picker), (Lines{"[ ] Kelo-0001", "[ ] HRM Strap", "[x] Ravo HRM"}));
  table->tapRow({0, 1});

  picker->confirmButton()->sendTouch();
  EXPECT_EQ(w.host->calls, (Lines{"connect " + hrm->identifier().uuidString() + " shown"}));
  EXPECT_EQ(Presenter::rootViewController()->presentedViewController(), nullptr);
  EXPECT_EQ(picker->bluetoothConnector(), nullptr);
}

TEST(DevicePicker, CancelDismissesFirstAndTheConnectorsEventsLapseWithTheScreen) {
  PickerWorld w;
  w.start();
  auto picker = w.show();
  ASSERT_NE(picker, nullptr);
  picker->cancelButton()->sendTouch();
  EXPECT_EQ(w.host->calls, (Lines{"canceled"}));
  EXPECT_EQ(Presenter::rootViewController()->presentedViewController(), nullptr);

  // Without a host "Cancel" still closes the screen. The connector never gets its old delegate back;
  // it holds the picker weakly, so the role is empty once the screen is gone.
  auto again = w.show();
  ASSERT_NE(again, nullptr);
  again->setDelegate(std::weak_ptr<BluetoothConnectionViewControllerDelegate>{});
  again->cancelButton()->sendTouch();
  EXPECT_EQ(Presenter::rootViewController()->presentedViewController(), nullptr);
  picker.reset();
  again.reset();
  EXPECT_EQ(w.connector->delegate(), nullptr);
  w.events->clear();
  w.add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1), "HRM Strap"));
  w.time.advance(2);  // still scanning: nobody hears it, nothing breaks
  EXPECT_TRUE(w.events->lines().empty());
}

TEST(DevicePickerThreads, DiscoveriesFromTheRadioThreadAreListedOnTheMainQueueOncePerName) {
  testkit::TemporaryAppHome home;
  auto radio = std::make_shared<sim::SimulatedRadio>(sim::SimulatedRadio::Options{0.001, 0.002});
  platform::BluetoothRadio::setCurrent(radio);
  testkit::resetSharedBluetoothConnector();
  Presenter::setRootViewController(nullptr);
  for (std::uint32_t n = 1; n <= 6; ++n) {
    radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(n), n % 2 ? "HRM Strap" : "HRM Pro"));
  }
  auto connector = BluetoothConnector::sharedInstance();
  connector->fire();
  for (int i = 0; i < 500 && !connector->isPowerOn(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  std::thread mainQueue([] { platform::runMainQueue(); });
  // Reads what the screen shows on the main queue, where the screen lives.
  auto onMain = [](auto read) {
    std::promise<decltype(read())> result;
    platform::DispatchQueue::main().async([&] { result.set_value(read()); });
    return result.get_future().get();
  };
  auto picker = [] {
    return std::dynamic_pointer_cast<BluetoothConnectionViewController>(
        Presenter::rootViewController()->presentedViewController());
  };

  ASSERT_TRUE(
      BluetoothConnectionViewController::showBluetoothConnectionViewController(Presenter::rootViewController()));
  std::size_t listed = 0;
  for (int i = 0; i < 500 && listed < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    listed = onMain([&] { return picker() ? picker()->devices().size() : std::size_t{0}; });
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // many more advertisements of each
  EXPECT_EQ(onMain([&] { return rows(*picker()); }), (Lines{"[ ] HRM Strap", "[ ] HRM Pro"}));
  onMain([&] {
    picker()->cancelButton()->sendTouch();
    return 0;
  });
  platform::stopMainQueue();
  mainQueue.join();
  connector.reset();
  testkit::resetSharedBluetoothConnector();
  platform::BluetoothRadio::setCurrent(nullptr);
  Presenter::setRootViewController(nullptr);
}

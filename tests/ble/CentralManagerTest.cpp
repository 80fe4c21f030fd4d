#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "ble/CentralHarness.hpp"
#include "talvaren/sim/HeartRateStrap.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"
#include "talvaren/testing/VirtualTime.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using sim::identifierNumber;

namespace {

struct World {
  testkit::VirtualTime time;
  std::shared_ptr<sim::SimulatedRadio> radio = std::make_shared<sim::SimulatedRadio>();
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
  std::shared_ptr<CentralManager> central;

  explicit World(bool make = true) {
    recorder->withQueue = true;
    if (make) central = CentralManager::make(recorder, DispatchQueue("bluetoothQueue"), radio);
  }
  std::shared_ptr<Peripheral> retrieve(std::uint32_t number) {
    auto found = central->retrievePeripherals({identifierNumber(number)});
    return found.empty() ? nullptr : found.front();
  }
};

}  // namespace

TEST(CentralManagerTest, StateArrivesLaterOnTheManagersQueue) {
  World world;
  EXPECT_EQ(world.central->state(), ManagerState::unknown);
  EXPECT_TRUE(world.recorder->trace().empty());
  world.time.advance(1);
  EXPECT_EQ(world.central->state(), ManagerState::poweredOn);
  world.radio->setState(ManagerState::poweredOff);
  world.radio->setState(ManagerState::unauthorized);
  world.radio->setState(ManagerState::resetting);
  world.time.runReady();
  EXPECT_EQ(world.recorder->trace(), (std::vector<std::string>{
                                         "0.000000 state poweredOn @bluetoothQueue",
                                         "1.000000 state poweredOff @bluetoothQueue",
                                         "1.000000 state unauthorized @bluetoothQueue",
                                         "1.000000 state resetting @bluetoothQueue",
                                     }));
  EXPECT_EQ(world.central->state(), ManagerState::resetting);

  // Without a simulator the radio says it is unsupported, on the main queue by default.
  auto bare = std::make_shared<Recorder>();
  bare->withQueue = true;
  auto other = CentralManager::make(bare);
  world.time.runReady();
  EXPECT_EQ(bare->trace(), (std::vector<std::string>{"1.000000 state unsupported @main"}));
}

TEST(CentralManagerTest, ScanReportsAdvertisedNamesWithAndWithoutServiceFilter) {
  World world;
  world.radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1), "HRM Strap"));
  auto kelo = world.radio->add(std::make_shared<sim::KeloStrap>(identifierNumber(2), "Kelo-0002"));
  auto silent = world.radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(3), std::nullopt));
  kelo->setRSSI(-127);
  world.time.runReady();
  world.central->scanForPeripherals(std::nullopt);
  EXPECT_TRUE(world.central->isScanning());
  world.time.advance(3);
  EXPECT_EQ(world.recorder->count("discover"), 3u) << "each peripheral once per scan";
  EXPECT_TRUE(world.recorder->has("discover Kelo-0002 -127"));
  EXPECT_TRUE(world.recorder->has("discover - -60"));

  world.central->scanForPeripherals(std::vector<BluetoothUUID>{U("0000fd00-0000-1000-8000-00805f9b34fb")});
  world.time.advance(3);
  EXPECT_EQ(world.recorder->count("discover"), 4u);
  EXPECT_EQ(world.recorder->trace().back(), "3.010000 discover Kelo-0002 -127 @bluetoothQueue");

  world.central->scanForPeripherals(std::vector<BluetoothUUID>{U("180D")}, ScanOptions{true});
  world.time.advance(1.005);
  EXPECT_EQ(world.recorder->count("discover"), 4u + 3 * 2) << "duplicates every 0.5 s";

  world.central->stopScan();
  EXPECT_FALSE(world.central->isScanning());
  world.time.advance(5);
  EXPECT_EQ(world.recorder->count("discover"), 10u);
  EXPECT_FALSE(world.radio->isScanning());

  // A radio that repeats advertisements although duplicates were not asked for.
  sim::Faults faults;
  faults.repeatAdvertisements = true;
  silent->setFaults(faults);
  auto seen = world.recorder->count("discover - -60");
  world.central->scanForPeripherals(std::nullopt);
  world.time.advance(1.005);
  EXPECT_EQ(world.recorder->count("discover - -60"), seen + 2);
  EXPECT_EQ(world.recorder->count("discover"), 10u + 4) << "the others once each, the faulty one twice";
}

TEST(CentralManagerTest, ScanAndConnectWaitForPowerOn) {
  World world;
  world.radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1)));
  auto peripheral = world.retrieve(1);
  world.central->scanForPeripherals(std::nullopt);
  world.central->connect(peripheral);
  EXPECT_FALSE(world.central->isScanning());
  EXPECT_EQ(peripheral->state(), PeripheralState::disconnected);
  world.time.advance(2);
  EXPECT_EQ(world.recorder->trace().size(), 1u);
}

TEST(CentralManagerTest, ConnectDiscoverReadWriteAndNotify) {
  World world;
  auto strap = world.radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1), "HRM Strap"));
  discoverEverything(world.recorder);
  world.time.runReady();
  auto peripheral = world.retrieve(1);
  ASSERT_TRUE(peripheral);
  EXPECT_EQ(peripheral->name(), "HRM Strap");
  world.central->connect(peripheral);
  EXPECT_EQ(peripheral->state(), PeripheralState::connecting);
  world.time.advance(1);
  EXPECT_EQ(peripheral->state(), PeripheralState::connected);
  EXPECT_TRUE(world.recorder->has("services 180D 180F 180A"));
  EXPECT_TRUE(world.recorder->has("characteristics 180D: 2A37 2A38 2A39"));

  auto measurement = find(peripheral, U("2A37"));
  auto battery = find(peripheral, U("0000180F-0000-1000-8000-00805F9B34FB"));
  EXPECT_FALSE(battery) << "a 16-bit UUID compares equal to its 128-bit form, but 180F is a service";
  battery = find(peripheral, U("00002A19-0000-1000-8000-00805F9B34FB"));
  ASSERT_TRUE(measurement && battery);
  EXPECT_EQ(measurement->service()->uuid(), U("180D"));
  EXPECT_FALSE(battery->value());
  peripheral->readValue(battery);
  peripheral->setNotifyValue(true, measurement);
  peripheral->writeValue({0xEB}, find(peripheral, U("2A39")), WriteType::withResponse);
  peripheral->writeValue({0x01}, find(peripheral, U("2A39")), WriteType::withoutResponse);
  peripheral->writeValue({0x01}, measurement, WriteType::withResponse);
  peripheral->setNotifyValue(true, find(peripheral, U("2A38")));
  world.time.advance(3.0);
  peripheral->setNotifyValue(false, measurement);
  world.time.advance(3.0);

  auto trace = world.recorder->trace();
  std::vector<std::string> tail(trace.end() - 9, trace.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "1.010000 value 2A19 5a @bluetoothQueue",
                      "1.010000 notifying 2A37 on @bluetoothQueue",
                      "1.010000 written 2A39 @bluetoothQueue",
                      "1.010000 written 2A37 error 3 @bluetoothQueue",
                      "1.010000 notifying 2A38 off error 6 @bluetoothQueue",
                      "2.010000 value 2A37 0048 @bluetoothQueue",
                      "3.010000 value 2A37 0048 @bluetoothQueue",
                      "4.010000 value 2A37 0048 @bluetoothQueue",
                      "4.010000 notifying 2A37 off @bluetoothQueue",
                  }));
  EXPECT_EQ(battery->value(), Bytes{90});
  EXPECT_EQ(strap->measurementsSent(), 3);
  EXPECT_TRUE(strap->rrReportingRequested());
  EXPECT_EQ(strap->subscriptionRequests(U("2A37")), 1);
  EXPECT_EQ(strap->subscriptionRequests(U("2A37"), false), 1);
  auto writes = strap->writes();
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0].characteristic, U("2A39"));
  EXPECT_EQ(writes[0].bytes, Bytes{0xEB});
  EXPECT_EQ(writes[0].type, WriteType::withResponse);
  EXPECT_EQ(writes[1].type, WriteType::withoutResponse);
  EXPECT_DOUBLE_EQ(writes[0].time, 1700000001.01);
  EXPECT_EQ(world.radio->writes(), writes);
}

TEST(CentralManagerTest, PendingConnectWaitsForeverUntilCancelled) {
  World world;
  auto strap = world.radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1), "Slow"));
  sim::Faults faults;
  faults.connect = sim::Faults::Connect::neverCompletes;
  strap->setFaults(faults);
  world.time.runReady();
  auto peripheral = world.retrieve(1);
  world.central->connect(peripheral);
  world.time.advance(3600);
  EXPECT_EQ(peripheral->state(), PeripheralState::connecting);
  EXPECT_EQ(world.recorder->trace().size(), 1u);
  world.central->cancelPeripheralConnection(peripheral);
  world.time.advance(1);
  EXPECT_EQ(world.recorder->trace().back(), "3600.010000 disconnect Slow - @bluetoothQueue");
  EXPECT_EQ(peripheral->state(), PeripheralState::disconnected);

  faults.connect = sim::Faults::Connect::fails;
  strap->setFaults(faults);
  world.central->connect(peripheral);
  world.time.advance(1);
  EXPECT_EQ(world.recorder->trace().back(), "3601.010000 fail Slow 10 @bluetoothQueue");

  // Out of range: the connect waits, and completes when the strap comes back.
  strap->setFaults({});
  strap->setInRange(false);
  world.central->connect(peripheral);
  world.time.advance(60);
  EXPECT_EQ(peripheral->state(), PeripheralState::connecting);
  strap->setInRange(true);
  world.time.advance(1);
  EXPECT_EQ(peripheral->state(), PeripheralState::connected);
  EXPECT_EQ(strap->connectionCount(), 1);
}

TEST(CentralManagerTest, CancelFollowedAtOnceByConnectEndsTheOldLinkAndMakesANewOne) {
  World world;
  auto strap = world.radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1), "HRM"));
  world.time.runReady();
  auto peripheral = world.retrieve(1);
  world.central->connect(peripheral);
  world.time.advance(1);
  world.central->cancelPeripheralConnection(peripheral);
  world.central->connect(peripheral);
  world.time.advance(1);
  auto trace = world.recorder->trace();
  std::vector<std::string> tail(trace.end() - 2, trace.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"1.010000 disconnect HRM - @bluetoothQueue",
                                            "1.010000 connect HRM @bluetoothQueue"}));
  EXPECT_EQ(peripheral->state(), PeripheralState::connected);
  EXPECT_EQ(strap->connectionCount(), 2);
  EXPECT_TRUE(strap->isConnected());
}

TEST(CentralManagerTest, ConnectToAnAbsentPeripheralWaitsForItAndCanBeCancelled) {
  World world;
  auto strap = world.radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1), "HRM"));
  world.time.runReady();
  auto peripheral = world.retrieve(1);
  world.radio->remove(strap);
  world.central->connect(peripheral);
  world.time.advance(30);
  EXPECT_EQ(peripheral->state(), PeripheralState::connecting);
  EXPECT_EQ(world.recorder->trace().size(), 1u);
  world.radio->add(strap);  // back in the world: the waiting connect completes
  world.time.advance(1);
  EXPECT_EQ(world.recorder->trace().back(), "30.010000 connect HRM @bluetoothQueue");

  world.radio->remove(strap);
  world.time.runReady();
  EXPECT_EQ(world.recorder->trace().back(), "31.000000 disconnect HRM 6 @bluetoothQueue");
  world.central->connect(peripheral);
  world.time.advance(5);
  world.central->cancelPeripheralConnection(peripheral);  // a pending connect to a device that is gone
  world.time.advance(1);
  EXPECT_EQ(world.recorder->trace().back(), "36.010000 disconnect HRM - @bluetoothQueue");
  EXPECT_EQ(peripheral->state(), PeripheralState::disconnected);
  world.radio->add(strap);
  world.time.advance(1);
  EXPECT_EQ(peripheral->state(), PeripheralState::disconnected) << "the cancelled connect stays cancelled";
  EXPECT_EQ(strap->connectionCount(), 1);
}

TEST(CentralManagerTest, LinkLossAndCancelEndConnections) {
  World world;
  auto strap = world.radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1), "HRM"));
  discoverEverything(world.recorder);
  world.time.runReady();
  auto peripheral = world.retrieve(1);
  world.central->connect(peripheral);
  world.time.advance(1);
  auto measurement = find(peripheral, U("2A37"));
  peripheral->setNotifyValue(true, measurement);
  world.time.advance(1);
  ASSERT_TRUE(measurement->isNotifying());

  strap->dropLink();
  world.time.runReady();
  EXPECT_EQ(world.recorder->trace().back(), "2.000000 disconnect HRM 7 @bluetoothQueue");
  EXPECT_EQ(peripheral->state(), PeripheralState::disconnected);
  EXPECT_FALSE(peripheral->services());
  EXPECT_FALSE(measurement->isNotifying());
  // Requests about the dead link go nowhere.
  peripheral->readValue(measurement);
  world.time.advance(5);
  EXPECT_EQ(world.recorder->trace().back(), "2.000000 disconnect HRM 7 @bluetoothQueue");
  EXPECT_FALSE(strap->isSubscribed(U("2A37")));

  world.central->connect(peripheral);
  world.time.advance(1);
  EXPECT_NE(find(peripheral, U("2A37")), measurement) << "a new connection has new objects";
  world.central->cancelPeripheralConnection(peripheral);
  EXPECT_EQ(peripheral->state(), PeripheralState::disconnecting);
  world.time.advance(1);
  EXPECT_EQ(world.recorder->trace().back(), "8.010000 disconnect HRM - @bluetoothQueue");
  EXPECT_FALSE(strap->isConnected());
  EXPECT_EQ(strap->connectionCount(), 2);

  // Powering off ends the links without a disconnect callback.
  world.central->connect(peripheral);
  world.time.advance(1);
  world.radio->setState(ManagerState::poweredOff);
  world.time.advance(1);
  EXPECT_EQ(world.recorder->trace().back(), "10.000000 state poweredOff @bluetoothQueue");
  EXPECT_EQ(peripheral->state(), PeripheralState::disconnected);
  EXPECT_FALSE(strap->isConnected());
}

TEST(CentralManagerTest, RetrievalGivesKnownPeripheralsAsTheSameObjects) {
  World world;
  world.radio->add(std::make_shared<sim::KeloStrap>(identifierNumber(7), "Kelo-0007"));
  std::shared_ptr<Peripheral> discovered;
  world.recorder->onDiscover = [&](CentralManager&, const std::shared_ptr<Peripheral>& p, const AdvertisementData&,
                                   int) { discovered = p; };
  world.time.runReady();
  world.central->scanForPeripherals(std::nullopt);
  world.time.advance(1);
  ASSERT_TRUE(discovered);
  EXPECT_EQ(discovered->identifier().uuidString(), "5A5A0000-0000-4000-8000-000000000007");
  auto found = world.central->retrievePeripherals({identifierNumber(9), identifierNumber(7), identifierNumber(7)});
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0], discovered);
  EXPECT_TRUE(world.central->retrievePeripherals({}).empty());
  EXPECT_EQ(discovered->description(),
            "<Peripheral: identifier = 5A5A0000-0000-4000-8000-000000000007, name = Kelo-0007, state = disconnected>");
}

TEST(CentralManagerTest, FaultsShowInDiscoveryAndValues) {
  World world;
  auto strap = world.radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1), "HRM"));
  sim::Faults faults;
  faults.discoverWithoutCharacteristics = true;
  strap->setFaults(faults);
  discoverEverything(world.recorder);
  world.time.runReady();
  auto peripheral = world.retrieve(1);
  world.central->connect(peripheral);
  world.time.advance(1);
  EXPECT_TRUE(world.recorder->has("characteristics 180D:"));
  EXPECT_FALSE(find(peripheral, U("2A37")));

  world.central->cancelPeripheralConnection(peripheral);
  faults = {};
  faults.updateErrors[U("2A19")] = Error("BluetoothATTErrorDomain", 14);
  faults.noValue.insert(U("2A28"));
  strap->setFaults(faults);
  strap->setValue(U("2A38"), Bytes{});
  world.time.advance(1);
  world.central->connect(peripheral);
  world.time.advance(1);
  peripheral->readValue(find(peripheral, U("2A19")));
  peripheral->readValue(find(peripheral, U("2A28")));
  peripheral->readValue(find(peripheral, U("2A38")));
  world.time.advance(1);
  auto trace = world.recorder->trace();
  std::vector<std::string> tail(trace.end() - 3, trace.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"3.010000 value 2A19 (none) error 14 @bluetoothQueue",
                                            "3.010000 value 2A28 (none) @bluetoothQueue",
                                            "3.010000 value 2A38  @bluetoothQueue"}));
  EXPECT_EQ(find(peripheral, U("2A38"))->description(),
            "<Characteristic: UUID = 2A38, properties = 0x2, value = {length = 0, bytes = 0x}, notifying = NO>");
}

TEST(CentralManagerTest, ReleasingTheManagerEndsEverythingQuietly) {
  World world;
  auto strap = world.radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1), "HRM"));
  discoverEverything(world.recorder);
  world.time.runReady();
  auto peripheral = world.retrieve(1);
  world.central->connect(peripheral);
  world.central->scanForPeripherals(std::nullopt);
  world.time.advance(1);
  peripheral->setNotifyValue(true, find(peripheral, U("2A37")));
  world.time.advance(2.5);
  auto before = world.recorder->trace().size();
  EXPECT_EQ(world.radio->clientCount(), 1u);

  world.central.reset();
  world.time.advance(10);
  EXPECT_EQ(world.recorder->trace().size(), before);
  EXPECT_FALSE(strap->isConnected());
  EXPECT_FALSE(world.radio->isScanning());
  EXPECT_EQ(world.radio->clientCount(), 0u);
  EXPECT_EQ(peripheral->state(), PeripheralState::disconnected);
  peripheral->discoverServices();  // a peripheral outliving its manager is inert
  world.time.advance(1);
}

TEST(CentralManagerTest, ManagerAndPeripheralReleasedInsideTheirOwnCallbacks) {
  World world;
  auto strap = world.radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1), "HRM"));
  discoverEverything(world.recorder);
  std::shared_ptr<Peripheral> held;
  world.recorder->onCharacteristics = [&](const std::shared_ptr<Peripheral>& p, const std::shared_ptr<Service>& s) {
    if (s->uuid() == U("180D")) p->setNotifyValue(true, find(p, U("2A37")));
  };
  int values = 0;
  world.recorder->onValue = [&](const std::shared_ptr<Peripheral>& p, const std::shared_ptr<Characteristic>& c,
                                const std::optional<Error>&) {
    ++values;
    held.reset();
    world.central.reset();  // the last outside references go while the callback runs
    EXPECT_EQ(p->state(), PeripheralState::connected);
    EXPECT_EQ(c->uuid(), U("2A37"));
    p->readValue(c);  // inert once the manager is gone
  };
  world.time.runReady();
  held = world.retrieve(1);
  world.central->connect(held);
  world.time.advance(5);
  EXPECT_EQ(values, 1);
  EXPECT_FALSE(world.central);
  EXPECT_FALSE(strap->isConnected());
  EXPECT_EQ(world.radio->clientCount(), 0u);
}

TEST(CentralManagerTest, WorkLeftByAReleasedManagerNeverReachesTheNextOne) {
  World world;
  auto strap = world.radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1), "HRM"));
  world.time.runReady();
  world.central->connect(world.retrieve(1));
  world.central.reset();  // its connect is still on the way to the radio
  // A new manager right away, as a host that starts over does; it may well live at the same address.
  world.central = CentralManager::make(world.recorder, DispatchQueue("bluetoothQueue"), world.radio);
  world.time.advance(1);
  EXPECT_FALSE(strap->isConnected());
  auto peripheral = world.retrieve(1);
  world.central->connect(peripheral);
  world.time.advance(1);
  EXPECT_EQ(peripheral->state(), PeripheralState::connected);
  EXPECT_EQ(world.recorder->trace().back(), "1.010000 connect HRM @bluetoothQueue");
}

TEST(CentralManagerTest, SeveralCentralsAreServedInTheOrderTheyCameIn) {
  World world(false);
  world.radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1), "HRM"));
  std::vector<std::string> order;
  std::vector<std::shared_ptr<Recorder>> recorders;
  std::vector<std::shared_ptr<CentralManager>> centrals;
  for (const char* label : {"third", "first", "second"}) {
    auto recorder = std::make_shared<Recorder>();
    recorder->onState = [&order, label](CentralManager&) { order.push_back(std::string("state ") + label); };
    recorder->onDiscover = [&order, label](CentralManager&, auto&, auto&, int) {
      order.push_back(std::string("discover ") + label);
    };
    recorders.push_back(recorder);
    centrals.push_back(CentralManager::make(recorder, DispatchQueue(label), world.radio));
  }
  world.time.runReady();
  for (auto& central : centrals) central->scanForPeripherals(std::nullopt);
  world.time.advance(1);
  EXPECT_EQ(order, (std::vector<std::string>{"state third", "state first", "state second", "discover third",
                                             "discover first", "discover second"}));
}

TEST(CentralManagerTest, DelegatesAreHeldWeakly) {
  World world;
  world.radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1), "HRM"));
  world.central->scanForPeripherals(std::nullopt);
  world.recorder.reset();
  world.time.advance(5);  // events still flow, to nobody
  auto replacement = std::make_shared<Recorder>();
  world.central->setDelegate(replacement);
  world.radio->setState(ManagerState::poweredOff);
  world.time.runReady();
  EXPECT_EQ(replacement->trace(), (std::vector<std::string>{"5.000000 state poweredOff"}));
  EXPECT_EQ(world.central->delegate(), replacement);
}

TEST(CentralManagerTest, HostThreadsAndRadioQueueRunSafelyTogether) {
  auto executor = std::make_shared<platform::RealThreadExecutor>();
  testkit::setDispatchExecutor(executor);
  {
    sim::SimulatedRadio::Options options;
    options.latency = 0.0005;
    options.advertisingInterval = 0.002;
    auto radio = std::make_shared<sim::SimulatedRadio>(options);
    auto strap = radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1), "HRM"));
    auto recorder = std::make_shared<Recorder>();
    recorder->withQueue = true;
    std::atomic<bool> offQueue{false};
    std::shared_ptr<Peripheral> connected;
    std::mutex mutex;
    recorder->onConnect = [&, weak = std::weak_ptr<Recorder>(recorder)](CentralManager&,
                                                                      const std::shared_ptr<Peripheral>& p) {
      if (DispatchQueue::currentLabel() != "bluetoothQueue") offQueue = true;
      p->setDelegate(weak);
      p->discoverServices();
    };
    recorder->onServices = [](const std::shared_ptr<Peripheral>& p) {
      auto services = p->services().value_or(std::vector<std::shared_ptr<Service>>{});
      for (auto& s : services) p->discoverCharacteristics(std::nullopt, s);
    };
    recorder->onCharacteristics = [&](const std::shared_ptr<Peripheral>& p, const std::shared_ptr<Service>& s) {
      if (s->uuid() != U("180D")) return;
      p->setNotifyValue(true, find(p, U("2A37")));
      std::lock_guard lock(mutex);
      connected = p;
    };
    recorder->onValue = [&](auto&, auto&, auto&) {
      if (DispatchQueue::currentLabel() != "bluetoothQueue") offQueue = true;
    };
    auto central = CentralManager::make(recorder, DispatchQueue("bluetoothQueue"), radio);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (central->state() != ManagerState::poweredOn && std::chrono::steady_clock::now() < until) {
      std::this_thread::yield();
    }
    central->scanForPeripherals(std::nullopt);
    auto peripheral = central->retrievePeripherals({identifierNumber(1)}).at(0);
    central->connect(peripheral);
    // The host reads while the radio and the queue work; the strap sends from yet another thread.
    while (!recorder->has("notifying 2A37 on") && std::chrono::steady_clock::now() < until) {
      (void)peripheral->state();
      (void)peripheral->description();
    }
    std::atomic<bool> enough{false};
    std::thread sender([&] {
      while (!enough && std::chrono::steady_clock::now() < until) {
        strap->sendMeasurement();
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
    });
    while (recorder->count("value 2A37") < 20 && std::chrono::steady_clock::now() < until) {
      (void)peripheral->state();
      if (auto c = find(peripheral, U("2A37"))) (void)c->description();
      (void)central->isScanning();
    }
    enough = true;
    sender.join();
    EXPECT_GE(recorder->count("value 2A37"), 20u);
    EXPECT_FALSE(offQueue);
    central->stopScan();
    central.reset();  // released while the strap may still be sending
    strap->sendMeasurement();
  }
  testkit::setDispatchExecutor(nullptr);
  executor.reset();
}

TEST(CentralManagerTest, HostConnectsAndCancelsWhileTheStrapDropsLinksOnRealThreads) {
  auto executor = std::make_shared<platform::RealThreadExecutor>();
  testkit::setDispatchExecutor(executor);
  {
    sim::SimulatedRadio::Options options;
    options.latency = 0.0002;
    auto radio = std::make_shared<sim::SimulatedRadio>(options);
    auto strap = radio->add(std::make_shared<sim::HeartRateStrap>(identifierNumber(1), "HRM"));
    auto recorder = std::make_shared<Recorder>();
    discoverEverything(recorder);
    recorder->onCharacteristics = [](const std::shared_ptr<Peripheral>& p, const std::shared_ptr<Service>& s) {
      if (s->uuid() == U("180D")) p->setNotifyValue(true, find(p, U("2A37")));
    };
    auto central = CentralManager::make(recorder, DispatchQueue("bluetoothQueue"), radio);
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (central->state() != ManagerState::poweredOn && std::chrono::steady_clock::now() < until) {
      std::this_thread::yield();
    }
    auto peripheral = central->retrievePeripherals({identifierNumber(1)}).at(0);
    std::atomic<bool> stop{false};
    std::thread strapSide([&] {
      for (int i = 0; !stop; ++i) {
        strap->sendMeasurement();
        if (i % 7 == 0) strap->dropLink();
        std::this_thread::sleep_for(std::chrono::microseconds(150));
      }
    });
    for (int i = 0; i < 150; ++i) {
      central->connect(peripheral);
      std::this_thread::sleep_for(std::chrono::microseconds(100 + 37 * (i % 11)));
      (void)peripheral->services();
      (void)peripheral->description();
      if (i % 3 != 0) central->cancelPeripheralConnection(peripheral);
    }
    stop = true;
    strapSide.join();
    EXPECT_GT(recorder->count("connect"), 0u);
    EXPECT_GT(recorder->count("disconnect"), 0u);
    central.reset();  // released while answers may still be on their way (the last reference may
                      // then go with the callback that runs on "bluetoothQueue")
    until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (radio->clientCount() != 0 && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    EXPECT_EQ(radio->clientCount(), 0u);
    EXPECT_FALSE(strap->isConnected());
  }
  testkit::setDispatchExecutor(nullptr);
  executor.reset();
}

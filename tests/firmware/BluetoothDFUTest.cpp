// The firmware updater against a simulated Kelo strap in update mode, whose bootloader speaks the
// target side of the DFU protocol, on virtual time.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "talvaren/firmware/BluetoothDFU.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/platform/dfu/DFUFirmware.hpp"
#include "talvaren/platform/dfu/SecureDfuTransfer.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"
#include "talvaren/testing/BluetoothDFU.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/Storage.hpp"
#include "talvaren/testing/VirtualTime.hpp"

namespace talvaren {
namespace {

using platform::dfu::DFUFirmware;
using sim::DfuBootloader;

Bytes randomImage(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes image(size);
  for (auto& byte : image) byte = static_cast<std::uint8_t>(random());
  return image;
}

struct Recorder : BluetoothDFUDelegate {
  std::vector<bool> phoneStatus;
  std::vector<int> progress;
  struct Result {
    bool status;
    std::optional<std::int64_t> error;
    std::string message;
  };
  std::vector<Result> results;
  std::shared_ptr<BluetoothDFU> held;  // for the ownership test
  std::function<void()> onProgress;

  void dfuPhoneBleStatus(bool status, BluetoothDFU&) override { phoneStatus.push_back(status); }
  void dfuProgress(int value, BluetoothDFU&) override {
    progress.push_back(value);
    if (onProgress) onProgress();
  }
  void dfuResultStatus(bool status, BluetoothDFU&, std::optional<std::int64_t> error,
                       const std::string& message) override {
    results.push_back({status, error, message});
  }
};

class BluetoothDFUTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::BluetoothRadio::setCurrent(radio);
    strap->enterUpdateMode();
    image = randomImage(10000, 7);
    package = (home.path() / "firmware.zip").string();
    ASSERT_TRUE(platform::dfu::writeFirmwarePackage(
        package, {{"application", DfuBootloader::initPacket(DfuBootloader::typeApplication, image), image}}));
    updater = BluetoothDFU::make();
    updater->delegate = recorder;
    updater->deviceId = strap->identifier().uuidString();
    updater->filePath = "file://" + package;
    time.advance(0.1);
  }
  void TearDown() override { platform::BluetoothRadio::setCurrent(nullptr); }

  /// Starts and runs until a result arrives or a minute has passed. A strap that activated an application
  /// image has restarted in its normal mode: it is switched to update mode again first, as a host does.
  void update() {
    if (!strap->inUpdateMode()) strap->enterUpdateMode();
    updater->startConnectBleDevice();
    time.advanceUntil([&] { return !recorder->results.empty(); }, 60);
    time.advance(1);  // anything that would follow the result
  }
  /// An update whose link drops 9,000 bytes into the image (inside the third data object).
  void updateWithLinkDroppedMidImage() {
    DfuBootloader::Faults faults;
    faults.dropLinkAt = 9000;
    strap->bootloader().setFaults(faults);
    update();
  }
  /// Whether some console line contains `text`.
  bool logged(const std::string& text) {
    for (const auto& line : console.lines()) {
      if (line.find(text) != std::string::npos) return true;
    }
    return false;
  }
  std::size_t lineIndex(const std::string& line) {
    auto lines = console.lines();
    return static_cast<std::size_t>(std::find(lines.begin(), lines.end(), line) - lines.begin());
  }

  testkit::VirtualTime time;
  testkit::TemporaryAppHome home;
  testkit::ConsoleCapture console;
  std::shared_ptr<sim::SimulatedRadio> radio = std::make_shared<sim::SimulatedRadio>();
  std::shared_ptr<sim::KeloStrap> strap = radio->add(std::make_shared<sim::KeloStrap>(sim::identifierNumber(1)));
  std::shared_ptr<Recorder> recorder = std::make_shared<Recorder>();
  std::shared_ptr<BluetoothDFU> updater;
  Bytes image;
  std::string package;
};

TEST_F(BluetoothDFUTest, MovesThePackageByteForByteWithAndWithoutReceiptNotifications) {
  for (int prn : {0, 12}) {
    SCOPED_TRACE(prn);
    platform::UserDefaults::standard()->set(prn, "dfu_number_of_packets");
    recorder->results.clear();
    recorder->progress.clear();
    console.clear();
    const int before = strap->bootloader().activations();
    const auto requestsBefore = strap->writes(DfuBootloader::controlPoint()).size();
    update();

    ASSERT_EQ(recorder->results.size(), 1u);
    EXPECT_TRUE(recorder->results[0].status);
    EXPECT_EQ(recorder->results[0].error, std::nullopt);
    EXPECT_EQ(recorder->results[0].message, "");
    EXPECT_EQ(updater->isAvailable(), true);
    EXPECT_EQ(strap->bootloader().activations(), before + 1);
    auto activated = strap->bootloader().activated();
    ASSERT_TRUE(activated);
    EXPECT_EQ(activated->bytes, image);
    EXPECT_EQ(activated->crc, platform::dfu::secure::crc32(image));
    EXPECT_EQ(strap->writes(DfuBootloader::controlPoint()).at(requestsBefore),
              (Bytes{0x02, static_cast<std::uint8_t>(prn), 0x00}));

    ASSERT_FALSE(recorder->progress.empty());
    EXPECT_EQ(recorder->progress.front(), 0);
    EXPECT_EQ(recorder->progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(recorder->progress.begin(), recorder->progress.end()));
    // With receipts every 12 packets the host hears of progress inside each 4096-byte object.
    if (prn == 12) {
      EXPECT_GT(recorder->progress.size(), 10u);
    }

    std::vector<std::size_t> order;
    for (const char* line :
         {"connecting", "starting", "uploading", "validating", "disconnecting", "mfpendy  completed"}) {
      order.push_back(lineIndex(line));
    }
    EXPECT_LT(order.back(), console.lines().size());
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    EXPECT_TRUE(console.contains("logWith isapplication   Command object executed"));
  }
}

TEST_F(BluetoothDFUTest, ACorruptedObjectIsSentAgainAndTheImageArrivesWhole) {
  DfuBootloader::Faults faults;
  faults.corruptAt = 5000;
  faults.corruptTimes = 2;
  strap->bootloader().setFaults(faults);
  update();
  ASSERT_EQ(recorder->results.size(), 1u);
  EXPECT_TRUE(recorder->results[0].status);
  EXPECT_EQ(strap->bootloader().activated()->bytes, image);
  EXPECT_EQ(strap->bootloader().dataObjectsCreated(), 3 + 2);  // three objects, the second sent twice more
}

TEST_F(BluetoothDFUTest, TheTargetsRefusalsReachTheHostWithCodeAndMessage) {
  DfuBootloader::Faults faults;
  faults.refuseInitPacket = true;
  strap->bootloader().setFaults(faults);
  update();
  ASSERT_EQ(recorder->results.size(), 1u);
  EXPECT_FALSE(recorder->results[0].status);
  EXPECT_EQ(recorder->results[0].error, 602);
  EXPECT_EQ(recorder->results[0].message, "Execute failed: Init command invalid (extended error 0x02)");
  EXPECT_FALSE(strap->bootloader().activated());
  EXPECT_EQ(updater->isAvailable(), false);

  // An init packet of two packets with a receipt after each: the receipts are no checksum answer, the
  // packet arrives whole and the target's own verdict (it takes only 10-byte init packets) comes back.
  updater->disconnectBleDevice();  // the updater's own link outlives a failed update
  strap->bootloader().setFaults({});
  platform::UserDefaults::standard()->set(1, "dfu_number_of_packets");
  ASSERT_TRUE(platform::dfu::writeFirmwarePackage(package, {{"application", randomImage(30, 3), image}}));
  recorder->results.clear();
  update();
  ASSERT_EQ(recorder->results.size(), 1u);
  EXPECT_EQ(recorder->results[0].error, 602) << recorder->results[0].message;
}

TEST_F(BluetoothDFUTest, ASlowTargetIsWaitedForButOneThatStopsAnsweringFails) {
  auto options = DfuBootloader::Options{};
  options.responseDelay = 2;
  strap->bootloader().setOptions(options);
  update();
  ASSERT_EQ(recorder->results.size(), 1u);
  EXPECT_TRUE(recorder->results[0].status) << recorder->results[0].message;

  options.responseDelay = 11;  // beyond the engine's 10 s
  strap->bootloader().setOptions(options);
  recorder->results.clear();
  update();
  ASSERT_EQ(recorder->results.size(), 1u);
  EXPECT_EQ(recorder->results[0].error, 310);
  EXPECT_EQ(recorder->results[0].message, "No response from the device within 10 s");

  // A receipt due on an object's last packet (205 packets, one every 41) is taken for the checksum; the
  // checksum answer that follows it must not disarm the wait for the Execute the target never answers.
  updater->disconnectBleDevice();
  strap->bootloader().setOptions({});
  DfuBootloader::Faults faults;
  faults.answeredRequests = 8;  // up to the first data object's checksum
  strap->bootloader().setFaults(faults);
  platform::UserDefaults::standard()->set(41, "dfu_number_of_packets");
  recorder->results.clear();
  update();
  ASSERT_EQ(recorder->results.size(), 1u);
  EXPECT_EQ(recorder->results[0].error, 310);
}

TEST_F(BluetoothDFUTest, ATargetThatDoesNotRestartAfterTheLastExecuteFailsTheUpdate) {
  // The init packet declares 100 bytes more than the image holds: the target takes every object, answers
  // the last Execute and keeps waiting; the engine closes the link itself on its time-out.
  Bytes declared = image;
  declared.resize(image.size() + 100, 0);
  ASSERT_TRUE(platform::dfu::writeFirmwarePackage(
      package, {{"application", DfuBootloader::initPacket(DfuBootloader::typeApplication, declared), image}}));
  update();
  ASSERT_EQ(recorder->results.size(), 1u);
  EXPECT_FALSE(recorder->results[0].status);
  EXPECT_EQ(recorder->results[0].error, 310);
  EXPECT_EQ(recorder->results[0].message, "The device did not restart within 10 s of the last Execute");
  EXPECT_FALSE(logged("completed"));
  EXPECT_EQ(strap->bootloader().activations(), 0);
  EXPECT_EQ(strap->bootloader().received(), image.size());
}

TEST_F(BluetoothDFUTest, EveryPartOfAPackageIsSentInTurnOverAFreshLink) {
  const Bytes loader = randomImage(3000, 9);
  ASSERT_TRUE(platform::dfu::writeFirmwarePackage(
      package, {{"application", DfuBootloader::initPacket(DfuBootloader::typeApplication, image), image},
                {"bootloader", DfuBootloader::initPacket(DfuBootloader::typeBootloader, loader), loader}}));
  update();
  ASSERT_EQ(recorder->results.size(), 1u);
  EXPECT_TRUE(recorder->results[0].status);
  EXPECT_EQ(strap->bootloader().activations(), 2);
  EXPECT_EQ(strap->bootloader().activated()->type, DfuBootloader::typeApplication);
  EXPECT_EQ(strap->bootloader().activated()->bytes, image);
  EXPECT_TRUE(console.contains("logWith isapplication   Sending part 2 of 2 (application, 10000 bytes)"));
}

TEST_F(BluetoothDFUTest, ALinkLostMidUploadFailsAndTheNextStartResumes) {
  updateWithLinkDroppedMidImage();
  ASSERT_EQ(recorder->results.size(), 1u);
  EXPECT_FALSE(recorder->results[0].status);
  EXPECT_EQ(recorder->results[0].error, 202);
  EXPECT_EQ(strap->bootloader().dataObjectsCreated(), 3);

  recorder->results.clear();
  update();
  ASSERT_EQ(recorder->results.size(), 1u);
  EXPECT_TRUE(recorder->results[0].status);
  EXPECT_EQ(strap->bootloader().activated()->bytes, image);
  EXPECT_EQ(strap->bootloader().dataObjectsCreated(), 4);  // only the third object again
  EXPECT_TRUE(logged("Init packet already on the target"));
}

TEST_F(BluetoothDFUTest, ForceDfuSendsTheInitPacketAgainThoughTheTargetHoldsIt) {
  updateWithLinkDroppedMidImage();
  ASSERT_EQ(recorder->results.size(), 1u);
  EXPECT_FALSE(recorder->results[0].status);

  platform::UserDefaults::standard()->set(true, "dfu_force_dfu");
  recorder->results.clear();
  console.clear();
  update();
  ASSERT_EQ(recorder->results.size(), 1u);
  EXPECT_TRUE(recorder->results[0].status);
  EXPECT_EQ(strap->bootloader().activated()->bytes, image);
  EXPECT_FALSE(logged("Init packet already on the target"));
}

TEST_F(BluetoothDFUTest, WithoutAMatchWithinFifteenSecondsTheHostHearsAFailureWithoutCode) {
  // Matching is exact text equality with the upper-case form.
  std::string lower = *updater->deviceId;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  updater->deviceId = lower;
  updater->startConnectBleDevice();
  EXPECT_EQ(updater->isAvailable(), false);
  time.advance(14.9);
  EXPECT_TRUE(recorder->results.empty());
  EXPECT_TRUE(console.contains("BluetoothDFU name is : Optional(\"Kelo-Update\") --- uuid is : " +
                               strap->identifier().uuidString()));
  EXPECT_TRUE(testkit::BluetoothDFUInspector::peripheral(*updater));  // seen, not matched
  time.advance(0.2);
  ASSERT_EQ(recorder->results.size(), 1u);
  EXPECT_FALSE(recorder->results[0].status);
  EXPECT_EQ(recorder->results[0].error, std::nullopt);
  EXPECT_EQ(recorder->results[0].message, "");
  EXPECT_FALSE(testkit::BluetoothDFUInspector::peripheral(*updater));
  EXPECT_FALSE(radio->isScanning());

  // A nameless peripheral prints nil.
  strap->setName(std::nullopt);
  platform::AdvertisementData nameless;
  nameless.serviceUUIDs = {DfuBootloader::service()};
  strap->setAdvertisement(nameless);
  updater->startConnectBleDevice();
  time.advance(1);
  EXPECT_TRUE(console.contains("BluetoothDFU name is : nil --- uuid is : " + strap->identifier().uuidString()));
}

TEST_F(BluetoothDFUTest, AnUnusablePackageIsReportedWithCode102) {
  std::ofstream(home.path() / "broken.zip") << "not a zip archive";
  const std::pair<std::optional<std::string>, std::string> cases[] = {
      {std::nullopt, "nil"},
      {"", ""},
      {"file://" + (home.path() / "missing.zip").string(), "file://" + (home.path() / "missing.zip").string()},
      {(home.path() / "broken.zip").string(), (home.path() / "broken.zip").string()},
  };
  for (const auto& [path, shown] : cases) {
    SCOPED_TRACE(shown);
    recorder->results.clear();
    updater->filePath = path;
    update();
    ASSERT_EQ(recorder->results.size(), 1u);
    EXPECT_FALSE(recorder->results[0].status);
    EXPECT_EQ(recorder->results[0].error, 102);
    EXPECT_EQ(recorder->results[0].message, "could not create firmware from file at path: " + shown);
    EXPECT_FALSE(testkit::BluetoothDFUInspector::peripheral(*updater));
  }
  EXPECT_EQ(strap->bootloader().activations(), 0);
}

TEST_F(BluetoothDFUTest, APackageWhoseImageFailsItsCrcIsRefusedBeforeAnythingIsSent) {
  // One image byte changed inside the archive: it still opens, and only the entry's CRC tells.
  std::string zip;
  {
    std::ifstream in(package, std::ios::binary);
    zip.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const std::string slice(image.begin() + 5000, image.begin() + 5032);
  const auto at = zip.find(slice);
  ASSERT_NE(at, std::string::npos);
  zip[at] = static_cast<char>(zip[at] ^ 0x01);
  std::ofstream(package, std::ios::binary | std::ios::trunc) << zip;

  EXPECT_FALSE(DFUFirmware::make(package));
  EXPECT_EQ(DFUFirmware::lastFailure(), "application.bin cannot be read: CRC error");
  update();
  ASSERT_EQ(recorder->results.size(), 1u);
  EXPECT_FALSE(recorder->results[0].status);
  EXPECT_EQ(recorder->results[0].error, 102);
  EXPECT_TRUE(strap->writes(DfuBootloader::controlPoint()).empty());
  EXPECT_TRUE(strap->writes(DfuBootloader::packet()).empty());
}

TEST_F(BluetoothDFUTest, AnAbortStopsTheUploadAndIsNotReported) {
  recorder->onProgress = [&] {
    if (recorder->progress.back() >= 40) testkit::BluetoothDFUInspector::controller(*updater)->abort();
  };
  updater->startConnectBleDevice();
  time.advance(60);
  EXPECT_TRUE(console.contains("aborted"));
  EXPECT_TRUE(recorder->results.empty());
  EXPECT_FALSE(strap->bootloader().activated());
  EXPECT_FALSE(testkit::BluetoothDFUInspector::controller(*updater)->abort());
}

TEST_F(BluetoothDFUTest, ASecondStartDisarmsTheFirstTimeOut) {
  updater->deviceId = "00000000-0000-0000-0000-000000000000";
  updater->startConnectBleDevice();
  time.advance(10);
  updater->startConnectBleDevice();
  time.advance(10);  // 20 s after the first start
  EXPECT_TRUE(recorder->results.empty());
  time.advance(5.1);
  EXPECT_EQ(recorder->results.size(), 1u);
}

TEST_F(BluetoothDFUTest, AFailedConnectionIsReportedLikeATimeOut) {
  auto faults = strap->faults();
  faults.connect = sim::Faults::Connect::fails;
  strap->setFaults(faults);
  update();
  time.advance(20);  // past the time-out: reported once
  EXPECT_TRUE(console.contains("didFailToConnectPeripheral Is Error"));
  ASSERT_EQ(recorder->results.size(), 1u);
  EXPECT_FALSE(recorder->results[0].status);
  EXPECT_EQ(recorder->results[0].error, std::nullopt);

  // A connection that never completes fails when the time-out fires, and is cancelled.
  faults.connect = sim::Faults::Connect::neverCompletes;
  strap->setFaults(faults);
  recorder->results.clear();
  updater->startConnectBleDevice();
  time.advance(14.9);
  EXPECT_TRUE(recorder->results.empty());
  time.advance(0.2);
  ASSERT_EQ(recorder->results.size(), 1u);
  EXPECT_EQ(recorder->results[0].error, std::nullopt);
  EXPECT_FALSE(testkit::BluetoothDFUInspector::peripheral(*updater));
}

TEST_F(BluetoothDFUTest, APacketCountOutside16BitsIsLoggedAndTurnsReceiptsOff) {
  platform::UserDefaults::standard()->set(70000, "dfu_number_of_packets");
  update();
  EXPECT_TRUE(console.contains("BluetoothDFU: dfu_number_of_packets 70000 is outside 0 to 65535, using 0"));
  EXPECT_EQ(strap->writes(DfuBootloader::controlPoint()).front(), (Bytes{0x02, 0x00, 0x00}));
  ASSERT_EQ(recorder->results.size(), 1u);
  EXPECT_TRUE(recorder->results[0].status);
}

TEST_F(BluetoothDFUTest, RadioReportsReachTheHostAndADelegateHoldingTheUpdaterKeepsBothAlive) {
  EXPECT_EQ(recorder->phoneStatus, std::vector<bool>{true});  // the first report, wired after construction
  EXPECT_TRUE(console.contains("Bluetooth Is Open DFUBluetooth"));
  radio->setState(platform::ManagerState::poweredOff);
  time.advance(0.1);
  EXPECT_EQ(recorder->phoneStatus, (std::vector<bool>{true, false}));
  EXPECT_TRUE(console.contains("Bluetooth Is error DFUBluetooth"));
  EXPECT_EQ(updater->isAvailable(), true);

  std::weak_ptr<BluetoothDFU> weak = updater;
  recorder->held = updater;
  updater.reset();
  EXPECT_FALSE(weak.expired());
  recorder->held.reset();
  EXPECT_TRUE(weak.expired());
}

TEST(DFUFirmwareTest, ReadsThePartsTheManifestNamesInSendingOrder) {
  testkit::TemporaryAppHome home;
  auto path = (home.path() / "two parts.zip").string();
  ASSERT_TRUE(
      platform::dfu::writeFirmwarePackage(path, {{"application", {1, 2}, {3, 4, 5}}, {"bootloader", {6}, {7}}}));
  std::string url = "file://" + path;
  url.replace(url.find(' '), 1, "%20");
  auto firmware = DFUFirmware::make(url);
  ASSERT_TRUE(firmware);
  ASSERT_EQ(firmware->parts().size(), 2u);
  EXPECT_EQ(firmware->parts()[0].kind, "bootloader");
  EXPECT_EQ(firmware->parts()[1].image, (Bytes{3, 4, 5}));
  EXPECT_EQ(firmware->size(), 4u);

  EXPECT_FALSE(DFUFirmware::make("https://example.invalid/a.zip"));
  EXPECT_FALSE(DFUFirmware::make("relative/a.zip"));
  // A manifest that names a file the archive lacks.
  ASSERT_TRUE(platform::dfu::writeFirmwarePackage(path, {{"application", {}, {1}}}));
  EXPECT_FALSE(DFUFirmware::make(path));
  EXPECT_FALSE(DFUFirmware::lastFailure().empty());
}

TEST(DFUFirmwareTest, APackageLargerThanAnUpdateCarriesIsRefusedBeforeItIsRead) {
  testkit::TemporaryAppHome home;
  const auto path = (home.path() / "large.zip").string();
  // Images of 1 MiB together fill a target's flash and still go.
  const Bytes full = randomImage(1u << 20, 5);
  const Bytes rest(100, 0x5A);
  const Bytes most(full.begin(), full.end() - static_cast<std::ptrdiff_t>(rest.size()));
  ASSERT_TRUE(platform::dfu::writeFirmwarePackage(path, {{"application", {1}, most}, {"bootloader", {2}, rest}}));
  ASSERT_TRUE(DFUFirmware::make(path)) << DFUFirmware::lastFailure();
  // One byte more is refused, by the sizes the archive states: these zeros inflate from a few kilobytes.
  ASSERT_TRUE(platform::dfu::writeFirmwarePackage(
      path, {{"application", {1}, Bytes(most.size(), 0)}, {"bootloader", {2}, Bytes(rest.size() + 1, 0)}}));
  ASSERT_LT(std::filesystem::file_size(path), 64u * 1024);
  ASSERT_FALSE(DFUFirmware::make(path));
  EXPECT_EQ(DFUFirmware::lastFailure(),
            "application.bin holds " + std::to_string(most.size()) + " bytes, more than an update can carry");

  // A file above the package limit is refused by its size alone, before a byte of it is read.
  std::filesystem::resize_file(path, std::uintmax_t{1} << 30);
  EXPECT_FALSE(DFUFirmware::make(path));
  EXPECT_EQ(DFUFirmware::lastFailure(),
            "the package holds 1073741824 bytes, more than the 2097152 an update can carry");
}

}  // namespace
}  // namespace talvaren

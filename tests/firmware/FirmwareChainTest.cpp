// The firmware chain end to end: the service's firmware list and link (development key), the package
// download with its MD5 check, the strap's switch to update mode through the Bluetooth facade, the
// updater's Secure DFU upload, and the strap back in its normal mode reporting the new version. The
// service is the loopback stand-in, the strap a simulated Kelo; the radio runs on virtual time.

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "api/ServiceFixture.hpp"
#include "talvaren/bluetooth/BluetoothConfiguration.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/firmware/BluetoothDFU.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/platform/dfu/DFUFirmware.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"
#include "talvaren/testing/Bluetooth.hpp"

namespace talvaren::testkit {
namespace {

using platform::http::HTTPMethod;

std::string md5Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_md5(), nullptr);
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct FirmwareScreen : BluetoothFirmwareDelegate {
  std::vector<std::string> versions;
  std::shared_ptr<platform::Peripheral> device;
  int modeSwitches = 0;
  std::vector<std::string> errors;

  void shouldUpgradeFirmware(const std::shared_ptr<platform::Peripheral>&) override {}
  void didGetFirmwareVersion(const std::string& version, const std::shared_ptr<platform::Peripheral>& from) override {
    versions.push_back(version);
    device = from;
  }
  void shouldSearchForDevices() override {}
  void didDisconnect() override {}
  void handlerError(const Error& error) override { errors.push_back(error.description()); }
  void didSetFirmwareMode() override { ++modeSwitches; }
  void didDiscoverFirmwareDevice(const std::shared_ptr<platform::Peripheral>&, const std::string&,
                                 const platform::AdvertisementData&) override {}
  void didUpdateBatteryLevel(std::uint8_t) override {}
  void didGetFirmwareBatteryLevelWarning() override {}
};

struct UpdateScreen : BluetoothDFUDelegate {
  std::optional<bool> succeeded;
  void dfuPhoneBleStatus(bool, BluetoothDFU&) override {}
  void dfuProgress(int, BluetoothDFU&) override {}
  void dfuResultStatus(bool status, BluetoothDFU&, std::optional<std::int64_t>, const std::string&) override {
    succeeded = status;
  }
};

class FirmwareChainTest : public ServiceFixture {
 protected:
  FirmwareChainTest() {
    resetSharedBluetoothConnector();
    resetSharedBluetoothConfiguration();
  }
  ~FirmwareChainTest() override {
    platform::BluetoothRadio::setCurrent(nullptr);
    resetSharedBluetoothConfiguration();
    resetSharedBluetoothConnector();
  }
};

TEST_F(FirmwareChainTest, ListedPackageIsDownloadedCheckedAndRunsOnTheStrap) {
  // The service offers Kelo firmware 2.2.0: its package, and its MD5 in the link's answer.
  const Bytes image = sim::KeloStrap::firmwareImage("2.2.0");
  const auto built = home.path() / "built.zip";
  ASSERT_TRUE(platform::dfu::writeFirmwarePackage(
      built.string(), {{"application", sim::DfuBootloader::initPacket(sim::DfuBootloader::typeApplication, image), image}}));
  const std::string package = readFile(built);
  const std::string digest = md5Hex(package);
  service.addFirmware({{"uuid", "fw-old"}, {"device", "kelo"}, {"version_number", "2.1.7"}, {"checksum", "0"}});
  service.addFirmware({{"uuid", "fw-220"}, {"device", "kelo"}, {"version_number", "2.2.0"}, {"checksum", digest}});
  service.server().reply("GET", "/media/firmwares/fw-220.zip", 200, package, "application/zip");

  // The list gives the package, the link its address and digest.
  auto list = run([&](auto done) { client().getFirmwaresList("kelo", std::nullopt, "2.2.0", done); });
  ASSERT_FALSE(list->error);
  ASSERT_NE(list->json(), nullptr);
  const auto& results = (*list->json())["results"];
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0]["uuid"], "fw-220");
  auto link = run([&](auto done) { client().getFirmwareLink(results[0]["uuid"].get<std::string>(), done); });
  ASSERT_FALSE(link->error);
  const auto url = (*link->json())["url"].get<std::string>();
  EXPECT_EQ((*link->json())["checksum"], digest);

  // The download proves the digest.
  std::filesystem::create_directories(home.path() / "Documents");
  std::optional<Error> downloadError;
  std::optional<std::filesystem::path> saved;
  bool downloaded = false;
  client().performDownloadCall(HTTPMethod::GET, url, "kelo_2.2.0", (*link->json())["checksum"].get<std::string>(),
                               std::nullopt, platform::http::URLEncoding::defaultEncoding(), std::nullopt,
                               [&](std::optional<Error> error, std::optional<std::filesystem::path> file) {
                                 downloadError = std::move(error);
                                 saved = std::move(file);
                                 downloaded = true;
                               });
  ASSERT_TRUE(time.runUntil([&] { return downloaded; }, std::chrono::seconds(60)));
  ASSERT_FALSE(downloadError) << downloadError->description();
  ASSERT_TRUE(saved);
  EXPECT_EQ(*saved, home.path() / "Documents" / "kelo_2.2.0.zip");
  EXPECT_EQ(readFile(*saved), package);
  const auto lines = console.lines();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                          [&](const std::string& line) { return line.find("MD5: " + digest) != std::string::npos; }));

  // The strap saved for firmware work reports its version, then switches to update mode.
  auto radio = std::make_shared<sim::SimulatedRadio>();
  platform::BluetoothRadio::setCurrent(radio);
  auto strap = radio->add(std::make_shared<sim::KeloStrap>(sim::identifierNumber(5), "Kelo-0005"));
  platform::UserDefaults::standard()->set(strap->identifier().uuidString(), BluetoothAttrbutes::FirmwareUpgradeKey);
  auto bluetooth = BluetoothConfiguration::shared();
  auto screen = std::make_shared<FirmwareScreen>();
  bluetooth->setFirmwareDelegate(screen);
  ASSERT_TRUE(bluetooth->configFirmware());
  ASSERT_TRUE(time.advanceUntil([&] { return !screen->versions.empty(); }, 10));
  EXPECT_EQ(screen->versions, std::vector<std::string>{"2.1.7"});
  bluetooth->disconnect();  // the switch is written on a fresh connection
  time.advance(0.5);
  ASSERT_TRUE(bluetooth->getFirmwareMode(screen->device));
  ASSERT_TRUE(time.advanceUntil([&] { return strap->inUpdateMode() && screen->modeSwitches == 1; }, 10));

  // The updater sends the downloaded image; the strap restarts running it.
  auto updateScreen = std::make_shared<UpdateScreen>();
  auto updater = BluetoothDFU::make();
  updater->delegate = updateScreen;
  updater->deviceId = strap->identifier().uuidString();
  updater->filePath = "file://" + saved->string();
  time.advance(0.1);
  updater->startConnectBleDevice();
  ASSERT_TRUE(time.advanceUntil([&] { return updateScreen->succeeded.has_value(); }, 60));
  EXPECT_EQ(updateScreen->succeeded, true);
  updater->delegate.reset();
  ASSERT_TRUE(strap->bootloader().activated());
  EXPECT_EQ(strap->bootloader().activated()->bytes, image);
  ASSERT_TRUE(time.advanceUntil([&] { return !strap->inUpdateMode(); }, 5));
  EXPECT_EQ(strap->name(), "Kelo-0005");

  // Asked again, the strap reports the new version.
  bluetooth->disconnect();
  time.advance(1);
  ASSERT_TRUE(bluetooth->configFirmware());
  ASSERT_TRUE(time.advanceUntil([&] { return screen->versions.size() == 2; }, 10));
  EXPECT_EQ(screen->versions.back(), "2.2.0");
  EXPECT_EQ(screen->errors, std::vector<std::string>{});
}

}  // namespace
}  // namespace talvaren::testkit

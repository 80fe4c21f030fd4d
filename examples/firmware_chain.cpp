// An example host program: the whole firmware chain in one go. The host asks the service for the Kelo
// firmware list and the chosen package's link (development key), downloads the package and has its MD5
// checked, switches the strap to update mode through the Bluetooth facade, uploads the image over Secure
// DFU with the updater, and reads the version the restarted strap reports. The strap is simulated; the
// program runs the main queue in real time while the link and the updater work on their own queues.
//
// Like server_session it needs the kit's source tree: the service is the kit's own loopback stand-in
// (tests/support/LoopbackService.hpp), so it is built only with the kit's tests. A host points
// Connector::setAPIBaseURL at the real service instead.
//
//   firmware_chain [--help] [--quiet] [--home FOLDER]

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Example.hpp"
#include "support/LoopbackService.hpp"
#include "talvaren/api/Connector.hpp"
#include "talvaren/bluetooth/BluetoothConfiguration.hpp"
#include "talvaren/codecs/BluetoothAttrbutes.hpp"
#include "talvaren/firmware/BluetoothDFU.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/platform/dfu/DFUFirmware.hpp"
#include "talvaren/sim/KeloStrap.hpp"
#include "talvaren/sim/SimulatedRadio.hpp"
#include "talvaren/utilities/DataExtensions.hpp"

namespace {

using namespace talvaren;

/// One call to the service, finished once its completion has run (on the main queue).
struct Call {
  bool done = false;
  std::optional<Error> error;
  std::optional<ServerReply> reply;

  Connector::Completion completion() {
    return [this](std::optional<Error> e, std::optional<ServerReply> r) {
      error = std::move(e);
      reply = std::move(r);
      done = true;
    };
  }
  /// Runs the main queue until the answer is in; false, with a line, when it failed or never came.
  bool wait(const char* what) {
    if (!examples::waitUntil([this] { return done; }, 10)) {
      examples::fail("%s: no answer", what);
    } else if (error) {
      examples::fail("%s failed: %s", what, error->description().c_str());
    } else if (!reply || !reply->json()) {
      examples::fail("%s: no JSON answer", what);
    } else {
      return true;
    }
    return false;
  }
};

/// The host's firmware screen: the facade calls it on the link's queue (didSetFirmwareMode on the main one).
class FirmwareScreen : public BluetoothFirmwareDelegate {
 public:
  void didGetFirmwareVersion(const std::string& version, const std::shared_ptr<platform::Peripheral>& device) override {
    std::lock_guard lock(mutex_);
    examples::say("[host] the strap runs firmware %s", version.c_str());
    versions_.push_back(version);
    device_ = device;
  }
  void didSetFirmwareMode() override {
    examples::say("[host] the strap switched to update mode");
    modeSet = true;
  }
  void handlerError(const Error& error) override {
    examples::say("[host] error: %s", error.localizedDescription().c_str());
  }
  void didGetFirmwareBatteryLevelWarning() override { examples::say("[host] charge the strap first"); }
  void shouldUpgradeFirmware(const std::shared_ptr<platform::Peripheral>&) override {}
  void shouldSearchForDevices() override {}
  void didDisconnect() override {}
  void didDiscoverFirmwareDevice(const std::shared_ptr<platform::Peripheral>&, const std::string&,
                                 const platform::AdvertisementData&) override {}
  void didUpdateBatteryLevel(std::uint8_t) override {}

  std::vector<std::string> versions() const {
    std::lock_guard lock(mutex_);
    return versions_;
  }
  std::shared_ptr<platform::Peripheral> device() const {
    std::lock_guard lock(mutex_);
    return device_;
  }
  std::atomic<bool> modeSet{false};

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> versions_;
  std::shared_ptr<platform::Peripheral> device_;
};

/// The host's update screen: the updater calls it on its own queue.
class UpdateScreen : public BluetoothDFUDelegate {
 public:
  void dfuPhoneBleStatus(bool, BluetoothDFU&) override {}
  void dfuProgress(int progress, BluetoothDFU&) override { examples::say("[host] update %d %%", progress); }
  void dfuResultStatus(bool status, BluetoothDFU&, std::optional<std::int64_t>, const std::string& message) override {
    examples::say("[host] update %s%s%s", status ? "finished" : "failed", message.empty() ? "" : ": ", message.c_str());
    outcome = status ? 1 : -1;
  }
  /// 0 while the update runs, then 1 for success or -1 for failure.
  std::atomic<int> outcome{0};
};

int fail(const char* message) {
  platform::BluetoothRadio::setCurrent(nullptr);
  return examples::fail("%s", message);
}

int run(const examples::Options&) {
  // The service, offering Kelo firmware 2.2.0 (a package made here, as the maker publishes it).
  testkit::LoopbackService service;
  const Bytes image = sim::KeloStrap::firmwareImage("2.2.0");
  const auto staging = platform::AppHome::path() / "published.zip";
  if (!platform::dfu::writeFirmwarePackage(
          staging.string(),
          {{"application", sim::DfuBootloader::initPacket(sim::DfuBootloader::typeApplication, image), image}})) {
    return fail("cannot build the package");
  }
  std::ifstream in(staging, std::ios::binary);
  const std::string package{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  service.addFirmware({{"uuid", "fw-220"}, {"device", "kelo"}, {"version_number", "2.2.0"},
                       {"checksum", md5(Bytes(package.begin(), package.end()))}});
  service.server().reply("GET", "/media/firmwares/fw-220.zip", 200, package, "application/zip");
  Connector::setAPIBaseURL("http://127.0.0.1:" + std::to_string(service.port()) + "/");
  auto connector = Connector::sharedInstance();

  // 1. The list and the link.
  Call list;
  connector->getFirmwaresList("kelo", 1, std::nullopt, list.completion());
  if (!list.wait("the firmware list")) return 1;
  const auto& results = (*list.reply->json())["results"];
  if (!results.is_array() || results.empty()) return fail("no firmware listed for the strap");
  const auto uuid = results[0].value("uuid", "");
  const auto version = results[0].value("version_number", "");
  examples::say("[host] the service offers firmware %s (%s)", version.c_str(), uuid.c_str());
  Call link;
  connector->getFirmwareLink(uuid, link.completion());
  if (!link.wait("the firmware link")) return 1;
  const auto url = (*link.reply->json()).value("url", "");
  const auto checksum = (*link.reply->json()).value("checksum", "");

  // 2. The download into Documents (the host makes the folder), checked against the link's MD5.
  std::error_code ignored;
  std::filesystem::create_directories(platform::AppHome::documentsPath(), ignored);
  bool downloaded = false;
  std::optional<Error> downloadError;
  std::optional<std::filesystem::path> file;
  connector->performDownloadCall(platform::http::HTTPMethod::GET, url, "kelo_" + version, checksum, std::nullopt,
                                 platform::http::URLEncoding::defaultEncoding(), std::nullopt,
                                 [&](std::optional<Error> error, std::optional<std::filesystem::path> saved) {
                                   downloadError = std::move(error);
                                   file = std::move(saved);
                                   downloaded = true;
                                 });
  if (!examples::waitUntil([&] { return downloaded; }, 10)) return fail("the download never ended");
  if (downloadError || !file) {
    return examples::fail("the download failed: %s", downloadError ? downloadError->description().c_str() : "no file");
  }
  examples::say("[host] package saved as %s, its MD5 matches", file->c_str());

  // 3. The strap saved for firmware work reports its version, then switches to update mode.
  auto radio = std::make_shared<sim::SimulatedRadio>();
  platform::BluetoothRadio::setCurrent(radio);
  auto strap = radio->add(std::make_shared<sim::KeloStrap>(sim::identifierNumber(1), "Kelo-0001"));
  platform::UserDefaults::standard()->set(strap->identifier().uuidString(), BluetoothAttrbutes::FirmwareUpgradeKey);
  auto bluetooth = BluetoothConfiguration::shared();
  auto screen = std::make_shared<FirmwareScreen>();
  bluetooth->setFirmwareDelegate(screen);
  if (!bluetooth->configFirmware()) return fail("no strap saved for firmware work");
  if (!examples::waitUntil([&] { return !screen->versions().empty(); }, 5)) return fail("the strap gave no version");
  const auto before = screen->versions().front();
  // The switch is written on a fresh connection to the strap.
  bluetooth->disconnect();
  examples::waitUntil([&] { return !strap->isConnected(); }, 2);
  if (!bluetooth->getFirmwareMode(screen->device())) return fail("the strap cannot switch to update mode");
  if (!examples::waitUntil([&] { return screen->modeSet && strap->inUpdateMode(); }, 5)) {
    return fail("the strap did not switch to update mode");
  }

  // 4. The updater sends the image.
  auto updateScreen = std::make_shared<UpdateScreen>();
  auto updater = BluetoothDFU::make();
  updater->delegate = updateScreen;
  updater->deviceId = strap->identifier().uuidString();
  updater->filePath = "file://" + file->string();
  examples::waitUntil([&] { return updater->isAvailable() == true; }, 2);
  updater->startConnectBleDevice();
  examples::waitUntil([&] { return updateScreen->outcome != 0; }, 30);
  updater->delegate.reset();
  if (updateScreen->outcome != 1) return fail("the update failed");

  // 5. The strap restarts and, asked again, reports the new version.
  if (!examples::waitUntil([&] { return !strap->inUpdateMode(); }, 3)) return fail("the strap did not restart");
  bluetooth->disconnect();
  examples::runFor(0.2);
  if (!bluetooth->configFirmware()) return fail("no strap saved for firmware work");
  if (!examples::waitUntil([&] { return screen->versions().size() == 2; }, 5)) return fail("the strap gave no version");
  const auto after = screen->versions().back();
  BluetoothConfiguration::enableDisconect(true);
  bluetooth->disconnect();
  examples::waitUntil([&] { return !strap->isConnected(); }, 2);
  platform::BluetoothRadio::setCurrent(nullptr);
  if (after != version) return examples::fail("the strap reports %s, not %s", after.c_str(), version.c_str());
  examples::result("firmware %s listed, downloaded (MD5 checked) and installed: the strap went from %s to %s",
                   version.c_str(), before.c_str(), after.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return examples::main({"firmware_chain",
                         "The firmware chain: list, link, checked download, update mode, Secure DFU, new version."},
                        argc, argv, run);
}

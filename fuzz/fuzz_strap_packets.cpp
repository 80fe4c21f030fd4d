// Feeds the connector's strap-packet handlers notifications cut from the input: the Kelo history
// channel, the Ravo packets, the battery level and the software version, under mode flags taken from
// the first byte. Runs on virtual time with in-memory user defaults and no radio, so nothing is written
// anywhere; the handlers must neither crash nor read past a value.
#include <memory>

#include "LengthPrefixedFrames.hpp"
#include "talvaren/bluetooth/BluetoothConnector.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/platform/ble/BluetoothUUID.hpp"
#include "talvaren/testing/Storage.hpp"
#include "talvaren/testing/VirtualTime.hpp"

using namespace talvaren;

namespace {

std::shared_ptr<platform::Characteristic> holding(const char* uuid, const Bytes& value) {
  auto c = std::make_shared<platform::Characteristic>(*platform::BluetoothUUID::fromString(uuid),
                                                      platform::CharacteristicProperties::notify, 1,
                                                      std::weak_ptr<platform::Service>{});
  c->setValue(value);
  return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  testkit::VirtualTime time;
  testkit::setStandardUserDefaults(platform::UserDefaults::inMemory());
  auto connector = std::make_shared<BluetoothConnector>();
  connector->setEnableSynch(data[0] & 0x01);
  connector->setEnableSetTime(data[0] & 0x02);
  connector->setEnableDeviceTime(data[0] & 0x04);
  forEachLengthPrefixedFrame(data + 1, size - 1, [&](const Bytes& value) {
    connector->getKeloDeviceTypePacket(holding("FD19", value), std::nullopt);
    connector->getRavoDeviceTypePacket(holding("FC20", value), std::nullopt);
    connector->getBatteryLevel(holding("2A19", value), std::nullopt);
    connector->getSoftwareVersion(nullptr, holding("2A28", value), std::nullopt);
  });
  time.advance(5);  // the delayed disconnections
  connector.reset();
  testkit::resetStandardUserDefaults();
  return 0;
}

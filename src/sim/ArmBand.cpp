#include "talvaren/sim/ArmBand.hpp"

namespace talvaren::sim {
namespace {
const BluetoothUUID& modeCharacteristic() {
  static const auto& value = *new auto(uuid("FCE61001-7802-4392-B6B7-96B18DEAAD22"));
  return value;
}
}  // namespace

ArmBand::ArmBand(PeripheralIdentifier identifier, std::optional<std::string> name)
    : HeartRateStrap(std::move(identifier), std::move(name)) {
  auto service = uuid("FCE61000-7802-4392-B6B7-96B18DEAAD22");
  addService(service);
  addCharacteristic(service, modeCharacteristic(),
                    CharacteristicProperties::read | CharacteristicProperties::write | CharacteristicProperties::notify,
                    Bytes{0x00});
}

std::optional<std::uint8_t> ArmBand::sportMode() const {
  auto lock = guard();
  return sportMode_;
}

std::optional<Error> ArmBand::didWrite(const BluetoothUUID& characteristic, const Bytes& bytes, WriteType type) {
  if (characteristic != modeCharacteristic()) return HeartRateStrap::didWrite(characteristic, bytes, type);
  if (bytes.size() != 1) {
    return Error::withDescription(platform::BluetoothATTError::domain, 13, "The value's length is invalid.");
  }
  sportMode_ = bytes[0];
  setValue(characteristic, bytes);
  return std::nullopt;
}

}  // namespace talvaren::sim

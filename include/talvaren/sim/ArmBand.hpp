#pragma once
// The arm band: a heart-rate strap with a vendor service FCE61000-7802-4392-B6B7-96B18DEAAD22 whose
// characteristic FCE61001-7802-4392-B6B7-96B18DEAAD22 holds the sport mode (one byte, written with
// response; 0x00 is heart rate).

#include <cstdint>
#include <optional>
#include <string>

#include "talvaren/sim/HeartRateStrap.hpp"

namespace talvaren::sim {

class ArmBand : public HeartRateStrap {
 public:
  ArmBand(PeripheralIdentifier identifier, std::optional<std::string> name = "Arm Band");

  /// The mode byte last written; absent before any.
  std::optional<std::uint8_t> sportMode() const;

 protected:
  std::optional<Error> didWrite(const BluetoothUUID& characteristic, const Bytes& bytes, WriteType type) override;

 private:
  std::optional<std::uint8_t> sportMode_;
};

}  // namespace talvaren::sim

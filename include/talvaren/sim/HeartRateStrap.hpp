#pragma once
// A standard heart-rate strap: Heart Rate service 0x180D (measurement 2A37 notify, body location 2A38,
// control point 2A39), Battery service 0x180F (2A19) and Device Information 0x180A (2A28 software
// revision). While a central is subscribed to 2A37 it sends one measurement a second.
// The maker's straps and the arm band derive from it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/sim/SimulatedPeripheral.hpp"

namespace talvaren::sim {

/// One Heart Rate Measurement as the strap sends it.
struct HeartRateMeasurement {
  std::uint16_t bpm = 72;
  /// Sends the rate in 16 bits (flags bit 0) even when it fits 8.
  bool sixteenBit = false;
  /// Sensor contact (flags bits 1 and 2): absent when not supported.
  std::optional<bool> sensorContact;
  /// Energy expended in kJ (flags bit 3).
  std::optional<std::uint16_t> energyExpended;
  /// RR intervals in 1/1024 s (flags bit 4 when any).
  std::vector<std::uint16_t> rrIntervals;
  /// Flags bits 5 to 7, which the standard reserves and some straps use for signal quality.
  std::uint8_t signalBits = 0;

  /// The value in the standard layout.
  Bytes bytes() const;
};

class HeartRateStrap : public SimulatedPeripheral {
 public:
  HeartRateStrap(PeripheralIdentifier identifier, std::optional<std::string> name = "HRM Strap");

  /// What the next measurements say.
  void setMeasurement(HeartRateMeasurement measurement);
  HeartRateMeasurement measurement() const;
  /// Sends one measurement now (to subscribed centrals), besides the 1 Hz ones.
  void sendMeasurement();
  int measurementsSent() const;

  void setBatteryLevel(std::uint8_t percent);
  void setSoftwareRevision(const std::string& revision);
  /// True once a central switched RR reporting on (0xEB to the control point).
  bool rrReportingRequested() const;

 protected:
  /// Adds the standard services above (for a strap that offered others, say after a restart).
  void addStandardServices();
  /// The bytes of one measurement notification; straps with their own layout override it.
  virtual Bytes measurementValue() const;
  void didSubscribe(const BluetoothUUID& characteristic, bool enabled) override;
  std::optional<Error> didWrite(const BluetoothUUID& characteristic, const Bytes& bytes, WriteType type) override;
  void didDisconnect() override;

 private:
  void tick(std::uint64_t generation);

  HeartRateMeasurement measurement_;
  int measurementsSent_ = 0;
  std::uint64_t measuring_ = 0;  // generation of the running 1 Hz source; bumped to stop it
  bool rrRequested_ = false;
};

/// The strap's checksum: the sum of `bytes` modulo 256.
std::uint8_t sum8(const Bytes& bytes);

}  // namespace talvaren::sim

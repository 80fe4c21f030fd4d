#include "talvaren/sim/HeartRateStrap.hpp"

#include <mutex>

#include "talvaren/sim/SimulatedRadio.hpp"

namespace talvaren::sim {

using Props = CharacteristicProperties;

Bytes HeartRateMeasurement::bytes() const {
  std::uint8_t flags = static_cast<std::uint8_t>((signalBits & 0x07) << 5);
  bool wide = sixteenBit || bpm > 0xFF;
  if (wide) flags |= 0x01;
  if (sensorContact) flags |= *sensorContact ? 0x06 : 0x04;
  if (energyExpended) flags |= 0x08;
  if (!rrIntervals.empty()) flags |= 0x10;
  Bytes value{flags, static_cast<std::uint8_t>(bpm & 0xFF)};
  if (wide) value.push_back(static_cast<std::uint8_t>(bpm >> 8));
  if (energyExpended) {
    value.push_back(static_cast<std::uint8_t>(*energyExpended & 0xFF));
    value.push_back(static_cast<std::uint8_t>(*energyExpended >> 8));
  }
  for (auto rr : rrIntervals) {
    value.push_back(static_cast<std::uint8_t>(rr & 0xFF));
    value.push_back(static_cast<std::uint8_t>(rr >> 8));
  }
  return value;
}

std::uint8_t sum8(const Bytes& bytes) {
  unsigned sum = 0;
  for (auto byte : bytes) sum += byte;
  return static_cast<std::uint8_t>(sum & 0xFF);
}

HeartRateStrap::HeartRateStrap(PeripheralIdentifier identifier, std::optional<std::string> name)
    : SimulatedPeripheral(std::move(identifier), std::move(name)) {
  addStandardServices();
  auto advertised = advertisement();
  advertised.serviceUUIDs = {uuid("180D")};
  setAdvertisement(advertised);
}

void HeartRateStrap::addStandardServices() {
  addService(uuid("180D"));
  addCharacteristic(uuid("180D"), uuid("2A37"), Props::notify, std::nullopt);
  addCharacteristic(uuid("180D"), uuid("2A38"), Props::read, Bytes{0x01});  // chest
  addCharacteristic(uuid("180D"), uuid("2A39"), Props::write, std::nullopt);
  addService(uuid("180F"));
  addCharacteristic(uuid("180F"), uuid("2A19"), Props::read | Props::notify, Bytes{90});
  addService(uuid("180A"));
  addCharacteristic(uuid("180A"), uuid("2A29"), Props::read, Bytes{'S', 'i', 'm'});
  addCharacteristic(uuid("180A"), uuid("2A28"), Props::read, Bytes{'1', '.', '0', '.', '0'});
}

void HeartRateStrap::setMeasurement(HeartRateMeasurement measurement) {
  auto lock = guard();
  measurement_ = std::move(measurement);
}

HeartRateMeasurement HeartRateStrap::measurement() const {
  auto lock = guard();
  return measurement_;
}

Bytes HeartRateStrap::measurementValue() const { return measurement_.bytes(); }

void HeartRateStrap::sendMeasurement() {
  auto lock = guard();
  ++measurementsSent_;
  notify(uuid("2A37"), measurementValue());
}

int HeartRateStrap::measurementsSent() const {
  auto lock = guard();
  return measurementsSent_;
}

void HeartRateStrap::setBatteryLevel(std::uint8_t percent) {
  setValue(uuid("2A19"), Bytes{percent});
  notify(uuid("2A19"), Bytes{percent});
}

void HeartRateStrap::setSoftwareRevision(const std::string& revision) {
  setValue(uuid("2A28"), Bytes(revision.begin(), revision.end()));
}

bool HeartRateStrap::rrReportingRequested() const {
  auto lock = guard();
  return rrRequested_;
}

void HeartRateStrap::didSubscribe(const BluetoothUUID& characteristic, bool enabled) {
  if (characteristic != uuid("2A37")) return;
  auto generation = ++measuring_;
  if (enabled) after(1.0, [this, generation] { tick(generation); });
}

void HeartRateStrap::tick(std::uint64_t generation) {
  if (generation != measuring_) return;
  sendMeasurement();
  after(1.0, [this, generation] { tick(generation); });
}

void HeartRateStrap::didDisconnect() { ++measuring_; }

std::optional<Error> HeartRateStrap::didWrite(const BluetoothUUID& characteristic, const Bytes& bytes, WriteType) {
  if (characteristic != uuid("2A39")) return std::nullopt;
  if (bytes == Bytes{0xEB}) {
    rrRequested_ = true;
    return std::nullopt;
  }
  if (bytes == Bytes{0x01}) return std::nullopt;  // reset energy expended
  return Error::withDescription(platform::BluetoothATTError::domain, 0x80, "Control point value not supported.");
}

}  // namespace talvaren::sim

#include "talvaren/sim/RavoStrap.hpp"

#include <algorithm>
#include <cmath>

namespace talvaren::sim {
namespace {

using Props = CharacteristicProperties;

const BluetoothUUID& service() {
  static const auto& value = *new auto(uuid("FC00"));
  return value;
}
const BluetoothUUID& notifyCharacteristic() {
  static const auto& value = *new auto(uuid("FC20"));
  return value;
}
const BluetoothUUID& writeCharacteristic() {
  static const auto& value = *new auto(uuid("FC21"));
  return value;
}

bool sumHolds(const Bytes& frame) {
  if (frame.empty()) return false;
  Bytes body(frame.begin(), frame.end() - 1);
  return sum8(body) == frame.back();
}

}  // namespace

RavoStrap::RavoStrap(PeripheralIdentifier identifier, std::optional<std::string> name)
    : HeartRateStrap(std::move(identifier), std::move(name)) {
  addService(service());
  addCharacteristic(service(), notifyCharacteristic(), Props::notify, std::nullopt);
  addCharacteristic(service(), writeCharacteristic(), Props::writeWithoutResponse | Props::write, std::nullopt);
  auto data = uuid("8FC3FD00-F21D-11E3-976C-0002A5D5C51B");
  addService(data);
  addCharacteristic(data, uuid("8FC3FD01-F21D-11E3-976C-0002A5D5C51B"), Props::notify, std::nullopt);
  addCharacteristic(data, uuid("8FC3FD02-F21D-11E3-976C-0002A5D5C51B"), Props::writeWithoutResponse, std::nullopt);
  setSoftwareRevision("1.4.0");
  auto advertised = advertisement();
  advertised.serviceUUIDs = {uuid("180D"), service()};
  setAdvertisement(advertised);
}

void RavoStrap::setHistory(std::vector<RavoRecord> records) {
  auto lock = guard();
  history_ = std::move(records);
}

void RavoStrap::setUserInfo(RavoUserInfo info) {
  auto lock = guard();
  userInfo_ = info;
}

void RavoStrap::setMaxPacketSize(std::size_t bytes) {
  auto lock = guard();
  maxPacket_ = std::max<std::size_t>(bytes, 8);
}

std::int64_t RavoStrap::clock() const {
  auto lock = guard();
  return static_cast<std::int64_t>(std::floor(now() + clockOffset_));
}

void RavoStrap::setClock(std::int64_t localSeconds) {
  auto lock = guard();
  clockOffset_ = static_cast<double>(localSeconds) - now();
}

int RavoStrap::clockSettings() const {
  auto lock = guard();
  return clockSettings_;
}

bool RavoStrap::historyFinished() const {
  auto lock = guard();
  return finished_;
}

std::vector<Bytes> RavoStrap::packetsSent() const {
  auto lock = guard();
  return sent_;
}

void RavoStrap::send(std::uint8_t type, const Bytes& body) {
  lastNumber_ = nextNumber_;
  nextNumber_ = static_cast<std::uint8_t>((nextNumber_ + 1) & 0x0F);
  Bytes packet{static_cast<std::uint8_t>(lastNumber_ << 4 | (type & 0x0F))};
  packet.insert(packet.end(), body.begin(), body.end());
  packet.push_back(sum8(packet));
  sent_.push_back(packet);
  notify(notifyCharacteristic(), packet);
}

void RavoStrap::didSubscribe(const BluetoothUUID& characteristic, bool enabled) {
  if (characteristic != notifyCharacteristic()) {
    HeartRateStrap::didSubscribe(characteristic, enabled);
    return;
  }
  if (!enabled) return;
  sent_.clear();
  finished_ = false;
  nextRecord_ = 0;
  after(0.05, [this] {
    const auto& u = userInfo_;
    Bytes body{0, 0, 0, 0, 0, 0,
               static_cast<std::uint8_t>(u.weightTenthsKg >> 8), static_cast<std::uint8_t>(u.weightTenthsKg & 0xFF),
               u.age, u.heightCm, u.strideCm, u.sex,
               static_cast<std::uint8_t>(u.targetSteps >> 16), static_cast<std::uint8_t>(u.targetSteps >> 8),
               static_cast<std::uint8_t>(u.targetSteps)};
    waiting_ = Waiting::userInfoAck;
    send(1, body);
  });
}

void RavoStrap::sendRecord() {
  if (nextRecord_ >= history_.size()) {
    waiting_ = Waiting::endAck;
    send(6, {});
    return;
  }
  const auto& record = history_[nextRecord_];
  auto firstRoom = maxPacket_ - 7;  // header, kind, 4 time bytes, sum
  auto moreRoom = maxPacket_ - 3;   // header, kind, sum
  std::size_t at = std::min(firstRoom, record.samples.size());
  Bytes first{0x01, static_cast<std::uint8_t>(record.start >> 24), static_cast<std::uint8_t>(record.start >> 16),
              static_cast<std::uint8_t>(record.start >> 8), static_cast<std::uint8_t>(record.start)};
  first.insert(first.end(), record.samples.begin(), record.samples.begin() + static_cast<long>(at));
  send(8, first);
  std::uint8_t kind = 2;
  while (at < record.samples.size()) {
    auto end = std::min(record.samples.size(), at + moreRoom);
    Bytes more{kind};
    more.insert(more.end(), record.samples.begin() + static_cast<long>(at), record.samples.begin() + static_cast<long>(end));
    send(8, more);
    at = end;
    kind = kind == 4 ? 2 : static_cast<std::uint8_t>(kind + 1);
  }
  waiting_ = Waiting::recordAck;
  send(8, Bytes{0x05});
}

std::optional<Error> RavoStrap::didWrite(const BluetoothUUID& characteristic, const Bytes& bytes, WriteType type) {
  if (characteristic != writeCharacteristic()) return HeartRateStrap::didWrite(characteristic, bytes, type);
  if (bytes.size() < 3 || !sumHolds(bytes)) {
    trace("ravo: frame refused");
    return std::nullopt;
  }
  if (bytes[0] == 0xE2 && bytes.size() == 7) {  // clock setting
    std::uint32_t t = static_cast<std::uint32_t>(bytes[2]) << 24 | static_cast<std::uint32_t>(bytes[3]) << 16 |
                      static_cast<std::uint32_t>(bytes[4]) << 8 | bytes[5];
    clockOffset_ = static_cast<double>(t) - now();
    ++clockSettings_;
    if (waiting_ == Waiting::clockSetting && bytes[1] == lastNumber_) {
      after(0.05, [this] { sendRecord(); });
    }
    return std::nullopt;
  }
  if (bytes[0] != 0xE0 || bytes.size() != 4 || bytes[1] != lastNumber_) {
    trace("ravo: acknowledgement not awaited");
    return std::nullopt;
  }
  switch (waiting_) {
    case Waiting::userInfoAck:
      waiting_ = Waiting::clockSetting;
      after(0.05, [this] {
        Bytes body;
        auto t = static_cast<std::uint32_t>(clock());
        body = {static_cast<std::uint8_t>(t >> 24), static_cast<std::uint8_t>(t >> 16),
                static_cast<std::uint8_t>(t >> 8), static_cast<std::uint8_t>(t)};
        send(2, body);
      });
      break;
    case Waiting::recordAck:
      ++nextRecord_;
      waiting_ = Waiting::nothing;
      after(0.05, [this] { sendRecord(); });
      break;
    case Waiting::endAck:
      waiting_ = Waiting::nothing;
      finished_ = true;
      trace("ravo: history finished");
      break;
    default:
      trace("ravo: acknowledgement not awaited");
  }
  return std::nullopt;
}

void RavoStrap::didDisconnect() {
  HeartRateStrap::didDisconnect();
  waiting_ = Waiting::nothing;
}

}  // namespace talvaren::sim

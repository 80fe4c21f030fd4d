#pragma once
// The Ravo strap, from the strap's side.
//
// GATT: the standard heart-rate, battery and device-information services, its own service FC00 with the
// notify characteristic FC20 and the write characteristic FC21, and its data service
// 8FC3FD00-F21D-11E3-976C-0002A5D5C51B.
//
// Every notification is one packet: byte 0 holds a packet number (high nibble, counting 0 to 15 and
// round again) and a type (low nibble); the last byte is the sum of the others. When a central subscribes
// to FC20 the strap opens a conversation: its user information (type 1), which it wants acknowledged
// (E0 <number> 00 <sum>); then its clock (type 2), answered by a clock setting (E2 <number> <4 clock
// bytes> <sum>) or by nothing; after a clock setting it sends its history: for each record a kind-1
// packet (start time and the first samples), continuation packets of kinds 2, 3 and 4 in turn, and a
// kind-5 packet that closes the record and must be acknowledged before the next record; at the end the
// end packet (type 6), also acknowledged.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/sim/HeartRateStrap.hpp"

namespace talvaren::sim {

/// One stored record: samples two seconds apart, the first two seconds after `start` (strap clock).
struct RavoRecord {
  std::uint32_t start = 0;
  std::vector<std::uint8_t> samples;
};

/// The user information a Ravo strap keeps.
struct RavoUserInfo {
  std::uint16_t weightTenthsKg = 700;
  std::uint8_t age = 30;
  std::uint8_t heightCm = 175;
  std::uint8_t strideCm = 75;
  std::uint8_t sex = 1;
  std::uint32_t targetSteps = 8000;
};

class RavoStrap : public HeartRateStrap {
 public:
  RavoStrap(PeripheralIdentifier identifier, std::optional<std::string> name = "Ravo HRM");

  void setHistory(std::vector<RavoRecord> records);
  void setUserInfo(RavoUserInfo info);
  /// Largest notification the strap sends (header, body and sum).
  void setMaxPacketSize(std::size_t bytes);

  /// The strap's clock: local wall-clock seconds, moving with the platform clock.
  std::int64_t clock() const;
  void setClock(std::int64_t localSeconds);
  int clockSettings() const;
  /// True once the end packet has been acknowledged.
  bool historyFinished() const;
  /// Every packet sent in the current or last conversation, in order.
  std::vector<Bytes> packetsSent() const;

 protected:
  std::optional<Error> didWrite(const BluetoothUUID& characteristic, const Bytes& bytes, WriteType type) override;
  void didSubscribe(const BluetoothUUID& characteristic, bool enabled) override;
  void didDisconnect() override;

 private:
  enum class Waiting { nothing, userInfoAck, clockSetting, recordAck, endAck };
  void send(std::uint8_t type, const Bytes& body);
  void sendRecord();

  std::vector<RavoRecord> history_;
  RavoUserInfo userInfo_;
  std::size_t maxPacket_ = 20;
  double clockOffset_ = 0;
  int clockSettings_ = 0;
  std::uint8_t nextNumber_ = 0;
  std::uint8_t lastNumber_ = 0;
  Waiting waiting_ = Waiting::nothing;
  std::size_t nextRecord_ = 0;
  bool finished_ = false;
  std::vector<Bytes> sent_;
};

}  // namespace talvaren::sim

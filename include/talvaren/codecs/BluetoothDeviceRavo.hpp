#pragma once
// Frames of the older Ravo strap: one notification is one packet, every frame starts with a header
// byte and ends with a checksum byte. Builders return hex text, two characters a byte; parsers read
// the strap's clock, its user information (logged only) and its heart-rate history. Nothing here
// keeps state: the running time and the sample list of a history download belong to the caller.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Error.hpp"
#include "talvaren/records/HeartRate.hpp"

namespace talvaren {

struct BluetoothDeviceRavo {
  /// The fixed user-information frame "e100025828aa4601001770db" (60.0 kg, 40 years, 170 cm, stride
  /// 70 cm, male, 6000 target steps); prints nothing.
  static std::string sendUserInfoRavoDevice();
  /// The acknowledgement of packet 0: "e00000e0".
  static std::string sendNextRavoDevice();
  /// Acknowledges packet `packetNumber` and asks for the next one: "e0", n, "00", checksum.
  static std::string sendNextPacketRavoDevice(std::uint8_t packetNumber);
  /// Sets the strap's clock to the local wall-clock reading of `date`, answering packet
  /// `packetNumber`. A reading outside what four bytes hold is pinned to 0 or 0xFFFFFFFF.
  static std::string sendUTCTimeRavoDevice(std::uint8_t packetNumber, Date date = Date::now());
  /// The instant of the strap clock value in bytes 1 to 4 of a clock packet; none for a packet
  /// shorter than 5 bytes.
  static std::optional<Date> getUTCRavoDevice(const Bytes& data);
  /// Prints one labelled line per byte of a user-information packet.
  static void getUserInfoRavoDevice(const Bytes& data);

  struct HistoryResult {
    /// True only for the closing packet (kind 5): the caller acknowledges it.
    bool update = false;
    /// The running strap time (local wall-clock seconds): the time of the last sample produced.
    std::int64_t timeMinuteBmp = 0;
    /// The samples passed in with this packet's samples appended.
    std::vector<HeartRate> hertRates;
  };

  /// Reads one heart-rate history packet. A packet too short for its kind gives no samples and leaves
  /// the running time and the list as they were. Pass the list with std::move to keep a download
  /// linear in its length.
  static HistoryResult getHertRateRavoDevice(const Bytes& data, std::int64_t timeMinuteBmp,
                                             std::vector<HeartRate> hertRates);
};

}  // namespace talvaren

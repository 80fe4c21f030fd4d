#pragma once
// Frames of the Kelo strap: command frames, transport frames, the test of the strap's reply to a
// clock setting, and the history parser as one stateless step. Builders return hex text, two characters
// a byte, and print their log lines. Nothing here keeps state; the history download itself is
// KeloHistoryAssembler's (talvaren/codecs/KeloHistoryAssembler.hpp), which keeps the reassembly buffers.

#include <cstdint>
#include <string>
#include <vector>

#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Error.hpp"
#include "talvaren/records/HeartRate.hpp"

namespace talvaren {

struct BluetoothDeviceKelo {
  /// "B2" "04" "0D" and the checksum; the argument does not change the frame.
  static std::string sendTestModeKeloDevice(std::uint8_t mode);
  /// Asks the strap for its clock: "B2" "04" "0F" and the checksum.
  static std::string sendUTCQX410(std::uint8_t mode);
  /// Zone thresholds: "b2" "06" "0c", training, overload, checksum.
  static std::string setKeloDeviceRRIntervals(std::uint8_t trainingThreshold, std::uint8_t overloadThreshold);
  /// Sets the strap's clock to the local wall-clock reading of `date` (a transport frame of 15 bytes).
  /// A reading outside what four bytes hold is pinned to 0 or 0xFFFFFFFF.
  static std::string sendUTCTimeKeloDevice(std::uint8_t mode, Date date = Date::now());
  /// Asks the strap to start sending its history (a transport frame of 11 bytes).
  static std::string sendStartHistryKeloDevice(std::uint8_t mode);
  /// Acknowledges the strap's packet `packetNumber` (0 to 255).
  static std::string sendNextPackietKeloDevice(std::uint8_t packetNumber);
  /// True only when the key byte of the strap's reply to a clock setting is 0x01 (time taken).
  static bool transmissionProtocolVersion(std::uint8_t keyMark);

  /// What one history frame leaves behind; the caller stores every member back for the next frame.
  struct HistoryResult {
    /// True when the frame is to be acknowledged; false when the download went past what a strap can
    /// store (HistoryCapacity): the buffers come back empty and the download is to be ended.
    bool finish = true;
    /// The text buffer: each byte of `hexArray` as "%02X".
    std::vector<std::string> hexArrayString;
    /// The byte buffer: the message joined so far.
    std::vector<std::uint8_t> hexArray;
    /// The samples passed in with this frame's new samples appended.
    std::vector<HeartRate> hertRates;
    /// The running strap time (local wall-clock seconds) after this frame.
    std::int64_t timeMinuteBmp = 0;
  };

  /// KeloHistoryAssembler::add on buffers, samples and running time that the caller keeps and passes in
  /// and out of every call. Pass them with std::move to keep a whole download linear in its length. The
  /// text buffer is made from the byte buffer, so `hexArrayStringData` is not read.
  static HistoryResult getKeloDeviceHertRate(const Bytes& data, const std::vector<std::string>& hexArrayStringData,
                                             std::vector<std::uint8_t> hexArrayData,
                                             std::vector<HeartRate> hertRates, std::int64_t timeMinuteBmp);
};

}  // namespace talvaren

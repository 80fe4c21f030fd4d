#pragma once
// The Kelo strap's history channel as the codec reads it: the fixed head of each transport frame, and the
// assembler that joins the frames of a history message and decodes the message's records into
// heart-rate samples. The assembler owns the reassembly buffers; the sample list and the running strap
// time are the caller's (the Bluetooth link keeps them for the whole download and hands the list to the
// host at its end).

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "talvaren/codecs/HistoryCapacity.hpp"
#include "talvaren/platform/Error.hpp"
#include "talvaren/records/HeartRate.hpp"

namespace talvaren {

/// The head of a transport frame from the strap: bytes 0 to 4 and the last byte.
struct KeloFrameHeader {
  std::uint8_t transportHeader = 0;
  /// The kind of frame; its high nibble is the frame class.
  std::uint8_t idetifier = 0;
  std::uint8_t length = 0;
  /// The packet number's high byte.
  std::uint8_t quaeueData = 0;
  /// The packet number's low byte; the status in a transport-layer acknowledgement.
  std::uint8_t numberPacket = 0;
  std::uint8_t checksum = 0;
  /// The command and key of a message of the strap sent without transport acknowledgement (bytes 5
  /// and 7); absent in a frame of fewer than eight bytes.
  std::optional<std::uint8_t> cmdId;
  std::optional<std::uint8_t> keyMark;

  /// The frame class: the high nibble of `idetifier`.
  std::uint8_t idetifierHeight() const { return static_cast<std::uint8_t>(idetifier >> 4); }

  /// The head of a frame of five bytes or more; none for a shorter one.
  static std::optional<KeloFrameHeader> read(const Bytes& frame);
};

class KeloHistoryAssembler {
 public:
  /// Empty buffers.
  KeloHistoryAssembler() = default;
  /// Carries on from a message kept elsewhere.
  explicit KeloHistoryAssembler(std::vector<std::uint8_t> hexArray) : hexArray_(std::move(hexArray)) {}

  /// Adds one frame of the history channel, in the order of arrival, to the message and, when it
  /// completes a message, appends the samples of the message's records to `hertRates` and moves
  /// `timeMinuteBmp` (the running strap time, local wall-clock seconds) along with them. Prints the
  /// history log lines. True when the frame is to be acknowledged; false when it would take the message
  /// past HistoryCapacity::maximumMessageBytes or `hertRates` past HistoryCapacity::maximumSamples: the
  /// message is then dropped, and the caller is to end the download.
  [[nodiscard]] bool add(const Bytes& frame, std::vector<HeartRate>& hertRates, std::int64_t& timeMinuteBmp);

  /// The message joined so far; a decoded message stays until a frame starts another.
  const std::vector<std::uint8_t>& hexArray() const { return hexArray_; }
  /// Each byte of `hexArray()` as "%02X", made when asked for.
  std::vector<std::string> hexArrayString() const;

  /// Moves the message out, leaving the assembler empty.
  std::vector<std::uint8_t> takeHexArray() { return std::move(hexArray_); }

 private:
  /// False, with the message dropped, when the frame's bytes do not fit in one message.
  bool addContribution(const Bytes& frame);

  std::vector<std::uint8_t> hexArray_;
};

}  // namespace talvaren

#pragma once
// How much history one download can carry, as the straps' frame formats bound it. The Bluetooth link
// ends a download that goes past these bounds with ErrorBluetooth::historyOverflow instead of holding
// whatever a strap, or something posing as one, keeps sending.

#include <cstddef>

namespace talvaren {

struct HistoryCapacity {
  /// A Kelo transport frame states its whole length in one byte, so it adds at most 255 - 4 bytes (all
  /// but its header, identifier, length and checksum) to the message it belongs to.
  static constexpr std::size_t maximumFrameContribution = 255 - 4;
  /// A Kelo message is a frame that starts it, at most six that continue it and the one that ends it.
  static constexpr std::size_t maximumMessageFrames = 8;
  /// The most bytes one Kelo message can hold: 2,008.
  static constexpr std::size_t maximumMessageBytes = maximumMessageFrames * maximumFrameContribution;
  /// The kit acknowledges a history packet by a one-byte number, so one download has at most 256.
  static constexpr std::size_t maximumPackets = 256;
  /// The most samples one download can hand over, on either strap: one sample per message byte of
  /// every packet, 514,048 (about twelve days at one sample every two seconds). The Ravo strap's
  /// packet numbers wrap, so its format states no bound of its own; it is held to the same one.
  static constexpr std::size_t maximumSamples = maximumPackets * maximumMessageBytes;
};

}  // namespace talvaren

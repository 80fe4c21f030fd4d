#pragma once
// Test-only: a synthetic Kelo history download, built the way the strap sends it: messages of one
// record each (the 7 header bytes with length 11, then the record), cut into 20-byte notifications of
// 16 message bytes each, the first marked 0x80 (or 0x00 for a message of one frame), the following
// ones 0x81 to 0x86, and the last with high nibble 0xC.

#include <cstdint>
#include <vector>

#include "talvaren/platform/Error.hpp"
#include "talvaren/records/HeartRate.hpp"

namespace talvaren::testkit {

struct KeloHistoryDownload {
  /// The notifications in order of arrival.
  std::vector<Bytes> frames;
  /// The beats per minute of every sample, in order.
  std::vector<std::uint8_t> beats;
};

/// `sampleCount` samples 2 s apart from the strap clock value `startTime`, in records of at most 115
/// samples (the most that fit a message of eight notifications), workout byte `typeWorkout`.
KeloHistoryDownload makeKeloHistory(std::size_t sampleCount, std::uint32_t startTime, std::uint8_t typeWorkout);

/// The message bytes of one frame turned into a transport frame of the history channel.
Bytes keloTransportFrame(std::uint8_t identifier, const std::uint8_t* first, std::size_t count);

/// The frames through the Kelo history parser in order, the buffers, running time and samples carried
/// from one call to the next as the connector carries them; gives the samples.
std::vector<HeartRate> parseKeloHistory(const std::vector<Bytes>& frames);

}  // namespace talvaren::testkit

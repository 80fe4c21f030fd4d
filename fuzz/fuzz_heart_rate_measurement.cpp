// Feeds arbitrary notification values to the heart-rate measurement decoder, with the decoder's own
// RR offset and with offsets past the end, and checks the bounds of what it yields and of what the
// Bluetooth link is told to report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "talvaren/codecs/BluetoorhHeardRate.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const talvaren::Bytes value(data, data + size);
  const auto heartRate = talvaren::BluetoorhHeardRate::getHeartRateAndSignal(value);
  if (heartRate.signal < 30 || heartRate.signal > 100 || heartRate.signal % 10 != 0) std::abort();

  const auto offset = talvaren::BluetoorhHeardRate::getOffset(value);
  if (offset < 2 || offset > 5) std::abort();

  const std::size_t offsets[] = {offset, 4, size, size + 1, size == 0 ? std::size_t{0} : std::size_t{data[0]}};
  for (auto off : offsets) {
    const auto intervals = talvaren::BluetoorhHeardRate::updateRRIntervarls(value, off);
    const std::size_t expected = off < size ? (size - off) / 2 : 0;
    if (intervals.size() != expected) std::abort();
    for (auto ms : intervals) {
      if (ms < 0 || ms > 63999) std::abort();
    }
  }

  // What the Bluetooth link reports: a measurement only when the value carries its rate, and announced
  // intervals only when at least one stands whole after the offset.
  const auto measurement = talvaren::BluetoorhHeardRate::measurement(value);
  if (measurement && !(*measurement == heartRate)) std::abort();
  if (measurement.has_value() != (size >= ((size && (data[0] & 0x01)) ? 3u : 2u))) std::abort();
  const auto announced = talvaren::BluetoorhHeardRate::announcedRRIntervals(value);
  if (announced && (announced->empty() || (data[0] & 0x10) == 0)) std::abort();
  return 0;
}

// Feeds the Ravo parsers packets cut from the input: every packet goes to the history parser,
// carrying the running time and the samples along, and to the clock and user-information parsers.
#include <cstdlib>
#include <vector>

#include "LengthPrefixedFrames.hpp"
#include "talvaren/codecs/BluetoothDeviceRavo.hpp"

using namespace talvaren;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<HeartRate> samples;
  std::int64_t time = 0;
  forEachLengthPrefixedFrame(data, size, [&](const Bytes& packet) {
    const std::size_t before = samples.size();
    auto result = BluetoothDeviceRavo::getHertRateRavoDevice(packet, time, std::move(samples));
    if (result.hertRates.size() < before) std::abort();
    if (result.update && (result.hertRates.size() != before || result.timeMinuteBmp != time)) std::abort();
    samples = std::move(result.hertRates);
    time = result.timeMinuteBmp;
    if (BluetoothDeviceRavo::getUTCRavoDevice(packet).has_value() != (packet.size() >= 5)) std::abort();
    BluetoothDeviceRavo::getUserInfoRavoDevice(packet);
  });
  return 0;
}

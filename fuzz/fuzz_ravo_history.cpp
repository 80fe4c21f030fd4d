// Feeds the Ravo parsers packets cut from the input (each packet preceded by its length byte): every
// packet goes to the history parser, carrying the running time and the samples along, and to the
// clock and user-information parsers.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "talvaren/codecs/BluetoothDeviceRavo.hpp"
#include "talvaren/testing/Console.hpp"

using namespace talvaren;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  testkit::ConsoleCapture console;
  std::vector<HeartRate> samples;
  std::int64_t time = 0;
  std::size_t at = 0;
  while (at < size) {
    const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
    const Bytes packet(data + at + 1, data + at + 1 + length);
    at += 1 + length;
    const std::size_t before = samples.size();
    auto result = BluetoothDeviceRavo::getHertRateRavoDevice(packet, time, std::move(samples));
    if (result.hertRates.size() < before) std::abort();
    if (result.update && (result.hertRates.size() != before || result.timeMinuteBmp != time)) std::abort();
    samples = std::move(result.hertRates);
    time = result.timeMinuteBmp;
    if (BluetoothDeviceRavo::getUTCRavoDevice(packet).has_value() != (packet.size() >= 5)) std::abort();
    BluetoothDeviceRavo::getUserInfoRavoDevice(packet);
    console.clear();
  }
  return 0;
}

// Feeds the Kelo history parser a run of frames cut from the input (each frame preceded by its length
// byte), carrying the buffers, the samples and the running time from frame to frame as the Bluetooth
// link does, then checks what the parser promises of its result.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "talvaren/codecs/BluetoothDeviceKelo.hpp"
#include "talvaren/testing/Console.hpp"

using namespace talvaren;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  testkit::ConsoleCapture console;
  std::vector<std::string> texts;
  std::vector<std::uint8_t> bytes;
  std::vector<HeartRate> samples;
  std::int64_t time = 0;
  std::size_t at = 0;
  while (at < size) {
    const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
    const Bytes frame(data + at + 1, data + at + 1 + length);
    at += 1 + length;
    const std::size_t before = samples.size();
    auto result = BluetoothDeviceKelo::getKeloDeviceHertRate(frame, std::move(texts), std::move(bytes),
                                                             std::move(samples), time);
    if (!result.finish || result.hexArray.size() != result.hexArrayString.size()) std::abort();
    if (result.hertRates.size() < before) std::abort();
    texts = std::move(result.hexArrayString);
    bytes = std::move(result.hexArray);
    samples = std::move(result.hertRates);
    time = result.timeMinuteBmp;
    console.clear();
  }
  return 0;
}

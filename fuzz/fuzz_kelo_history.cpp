// Feeds the Kelo history parser a run of frames cut from the input, carrying the buffers, the
// samples and the running time from frame to frame as the Bluetooth link does, then checks what the
// parser promises of its result, bounds included.
#include <cstdlib>
#include <string>
#include <vector>

#include "LengthPrefixedFrames.hpp"
#include "talvaren/codecs/BluetoothDeviceKelo.hpp"
#include "talvaren/codecs/HistoryCapacity.hpp"

using namespace talvaren;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> texts;
  std::vector<std::uint8_t> bytes;
  std::vector<HeartRate> samples;
  std::int64_t time = 0;
  forEachLengthPrefixedFrame(data, size, [&](const Bytes& frame) {
    const std::size_t before = samples.size();
    auto result = BluetoothDeviceKelo::getKeloDeviceHertRate(frame, std::move(texts), std::move(bytes),
                                                             std::move(samples), time);
    if (result.hexArray.size() != result.hexArrayString.size()) std::abort();
    if (result.hexArray.size() > HistoryCapacity::maximumMessageBytes) std::abort();
    if (result.hertRates.size() < before) std::abort();
    if (!result.finish) {  // past what a strap can store: the link ends the download here
      if (!result.hexArray.empty()) std::abort();
      result.hertRates.clear();
    }
    texts = std::move(result.hexArrayString);
    bytes = std::move(result.hexArray);
    samples = std::move(result.hertRates);
    time = result.timeMinuteBmp;
  });
  return 0;
}

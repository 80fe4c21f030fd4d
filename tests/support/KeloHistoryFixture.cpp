#include "support/KeloHistoryFixture.hpp"

#include <algorithm>
#include <string>

#include "talvaren/codecs/BluetoothDeviceKelo.hpp"

namespace talvaren::testkit {

namespace {
constexpr std::size_t kBytesPerFrame = 16;
constexpr std::size_t kSamplesPerRecord = 115;  // 7 + 6 + 115 = 128 bytes: eight frames
}  // namespace

Bytes keloTransportFrame(std::uint8_t identifier, const std::uint8_t* first, std::size_t count) {
  Bytes frame{0xFF, identifier, static_cast<std::uint8_t>(count + 4)};
  frame.insert(frame.end(), first, first + count);
  unsigned sum = 0;
  for (auto byte : frame) sum += byte;
  frame.push_back(static_cast<std::uint8_t>(sum));
  return frame;
}

KeloHistoryDownload makeKeloHistory(std::size_t sampleCount, std::uint32_t startTime, std::uint8_t typeWorkout) {
  KeloHistoryDownload download;
  download.beats.reserve(sampleCount);
  std::uint32_t time = startTime;
  std::uint16_t packet = 1;
  for (std::size_t done = 0; done < sampleCount;) {
    const std::size_t count = std::min(kSamplesPerRecord, sampleCount - done);
    Bytes message{
        static_cast<std::uint8_t>(packet >> 8), static_cast<std::uint8_t>(packet), 0x04, 0x10, 0x00, 0x00, 0x0B};
    message.push_back(static_cast<std::uint8_t>(count));
    message.push_back(typeWorkout);
    for (int shift = 24; shift >= 0; shift -= 8) message.push_back(static_cast<std::uint8_t>(time >> shift));
    for (std::size_t i = 0; i < count; ++i) {
      // A plausible resting-to-working curve: 60 to 179 beats per minute.
      const auto beat = static_cast<std::uint8_t>(60 + (done + i) * 7 % 120);
      message.push_back(beat);
      download.beats.push_back(beat);
    }
    const std::size_t frames = (message.size() + kBytesPerFrame - 1) / kBytesPerFrame;
    for (std::size_t f = 0; f < frames; ++f) {
      const std::size_t offset = f * kBytesPerFrame;
      const std::size_t size = std::min(kBytesPerFrame, message.size() - offset);
      std::uint8_t identifier = 0;
      if (frames > 1) identifier = static_cast<std::uint8_t>(f + 1 == frames ? 0xC0 | f : 0x80 | f);
      download.frames.push_back(keloTransportFrame(identifier, message.data() + offset, size));
    }
    time += static_cast<std::uint32_t>(2 * count);
    done += count;
    ++packet;
  }
  return download;
}

std::vector<HeartRate> parseKeloHistory(const std::vector<Bytes>& frames) {
  std::vector<std::string> texts;
  std::vector<std::uint8_t> bytes;
  std::vector<HeartRate> rates;
  std::int64_t time = 0;
  for (const auto& frame : frames) {
    auto result =
        BluetoothDeviceKelo::getKeloDeviceHertRate(frame, std::move(texts), std::move(bytes), std::move(rates), time);
    texts = std::move(result.hexArrayString);
    bytes = std::move(result.hexArray);
    rates = std::move(result.hertRates);
    time = result.timeMinuteBmp;
  }
  return rates;
}

}  // namespace talvaren::testkit

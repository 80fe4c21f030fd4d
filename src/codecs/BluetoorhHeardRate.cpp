#include "talvaren/codecs/BluetoorhHeardRate.hpp"

namespace talvaren {
namespace {

constexpr std::uint8_t kSixteenBitHeartRate = 0x01;
constexpr std::uint8_t kEnergyExpendedPresent = 0x08;
constexpr std::uint8_t kRRIntervalsPresent = 0x10;

/// The byte at `index`, or 0 when the value is shorter.
std::uint8_t byteAt(const Bytes& data, std::size_t index) {
  return index < data.size() ? data[index] : 0;
}

}  // namespace

HeartRateAndSignal BluetoorhHeardRate::getHeartRateAndSignal(const Bytes& data) {
  const std::uint8_t flags = byteAt(data, 0);
  HeartRateAndSignal result;
  if (flags & kSixteenBitHeartRate) {
    result.bmp = static_cast<std::uint16_t>(byteAt(data, 1) + 256 * byteAt(data, 2));
  } else {
    result.bmp = byteAt(data, 1);
  }
  const int level = (flags >> 5) & 0x07;
  result.signal = 30 + 10 * level;
  return result;
}

std::size_t BluetoorhHeardRate::getOffset(const Bytes& data) {
  const std::uint8_t flags = byteAt(data, 0);
  std::size_t offset = (flags & kSixteenBitHeartRate) ? 3 : 2;
  if (flags & kEnergyExpendedPresent) offset += 2;
  return offset;
}

std::vector<std::int64_t> BluetoorhHeardRate::updateRRIntervarls(const Bytes& data, std::size_t off) {
  std::vector<std::int64_t> intervals;
  if (off >= data.size()) return intervals;
  const std::size_t count = (data.size() - off) / 2;
  intervals.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t p = off + 2 * k;
    const double raw = data[p] + 256.0 * data[p + 1];
    // In double precision and in this order, then truncated toward zero: raw 1023 gives 999 ms.
    const double milliseconds = raw * 1000.0 / 1024.0;
    intervals.push_back(static_cast<std::uint16_t>(milliseconds));
  }
  return intervals;
}

std::optional<HeartRateAndSignal> BluetoorhHeardRate::measurement(const Bytes& data) {
  const std::size_t needed = (byteAt(data, 0) & kSixteenBitHeartRate) ? 3 : 2;
  if (data.size() < needed) return std::nullopt;
  return getHeartRateAndSignal(data);
}

std::optional<std::vector<std::int64_t>> BluetoorhHeardRate::announcedRRIntervals(const Bytes& data) {
  if ((byteAt(data, 0) & kRRIntervalsPresent) == 0) return std::nullopt;
  const std::size_t offset = getOffset(data);
  if (offset + 2 > data.size()) return std::nullopt;
  return updateRRIntervarls(data, offset);
}

}  // namespace talvaren

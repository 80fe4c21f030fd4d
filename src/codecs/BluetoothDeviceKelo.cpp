#include "talvaren/codecs/BluetoothDeviceKelo.hpp"

#include <utility>

#include "codecs/FrameText.hpp"
#include "talvaren/codecs/KeloHistoryAssembler.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/utilities/DateExtensions.hpp"

namespace talvaren {

using detail::lowerByteText;
using detail::quotedList;

namespace {

std::string commandFrame(std::vector<std::string> texts, const char* logLabel) {
  detail::appendChecksum(texts);
  console::print(logLabel + quotedList(texts));
  return detail::joined(texts);
}

/// Prefixes an application payload with its packet number and the transport header: 0xFF, the kind
/// 0x00 (an application command) and the frame's total length.
std::vector<std::string> transportFrame(std::vector<std::string> payload, const char* packetHigh,
                                        const char* packetLow) {
  payload.insert(payload.begin(), {packetHigh, packetLow});
  std::size_t characters = 0;
  for (const auto& text : payload) characters += text.size();
  const auto length = static_cast<std::uint8_t>(characters / 2 + 4);
  std::vector<std::string> frame{"ff", "00", lowerByteText(length)};
  frame.insert(frame.end(), payload.begin(), payload.end());
  return frame;
}

}  // namespace

std::string BluetoothDeviceKelo::sendTestModeKeloDevice(std::uint8_t) {
  return commandFrame({"B2", "04", "0D"}, "setTestMode = ");
}

std::string BluetoothDeviceKelo::sendUTCQX410(std::uint8_t) {
  return commandFrame({"B2", "04", "0F"}, "sendUTCQX410 = ");
}

std::string BluetoothDeviceKelo::setKeloDeviceRRIntervals(std::uint8_t trainingThreshold,
                                                           std::uint8_t overloadThreshold) {
  console::print("setKeloDeviceRRIntervals trainingThreshold = " + std::to_string(trainingThreshold) +
                 ", overloadThreshold = " + std::to_string(overloadThreshold));
  return commandFrame({"b2", "06", "0c", lowerByteText(trainingThreshold), lowerByteText(overloadThreshold)},
                      "setKeloDeviceRRIntervals = ");
}

std::string BluetoothDeviceKelo::sendUTCTimeKeloDevice(std::uint8_t, Date date) {
  console::print("sendUTCTimeKeloDevice date = " + date.description());
  std::vector<std::string> payload{"01", lowerByteText(0x10), "08", "01", "04"};
  const Date local = UTCToLocalTime(date);
  console::print("sendUTCTimeKeloDevice UTC + zone = " + local.description());
  detail::appendStrapClock(payload, detail::strapClockSeconds(local));
  console::print("sendUTCTimeKeloDevice dataCode = " + quotedList(payload));
  auto frame = transportFrame(std::move(payload), "00", "01");
  console::print("sendUTCTimeKeloDevice dataString = " + quotedList(frame));
  detail::appendChecksum(frame);
  console::print("sendUTCTimeKeloDevice dataStringCheck = " + quotedList(frame));
  return detail::joined(frame);
}

std::string BluetoothDeviceKelo::sendStartHistryKeloDevice(std::uint8_t) {
  std::vector<std::string> payload{"04", lowerByteText(0x10), "00", "02", "00"};
  console::print("totalHistString = " + quotedList(payload));
  auto frame = transportFrame(std::move(payload), "00", "02");
  console::print("dataString = " + quotedList(frame));
  detail::appendChecksum(frame);
  console::print("dataStringCheck = " + quotedList(frame));
  return detail::joined(frame);
}

std::string BluetoothDeviceKelo::sendNextPackietKeloDevice(std::uint8_t packetNumber) {
  std::vector<std::string> frame{"ff", "20", "06", "00", lowerByteText(packetNumber)};
  detail::appendChecksum(frame);
  console::print("getHRMNext = " + quotedList(frame));
  return detail::joined(frame);
}

bool BluetoothDeviceKelo::transmissionProtocolVersion(std::uint8_t keyMark) {
  if (keyMark == 0x01) {
    console::print("getKeloDeviceTypePacket: sendUTCTimeKeloDevice set time UTC");
    return true;
  }
  if (keyMark >= 0x02 && keyMark <= 0x0B) return false;
  console::print("getKeloDeviceTypePacket no keyMark protocole veseion");
  return false;
}

BluetoothDeviceKelo::HistoryResult BluetoothDeviceKelo::getKeloDeviceHertRate(
    const Bytes& data, const std::vector<std::string>&, std::vector<std::uint8_t> hexArrayData,
    std::vector<HeartRate> hertRates, std::int64_t timeMinuteBmp) {
  KeloHistoryAssembler assembler(std::move(hexArrayData));
  HistoryResult result{true, {}, {}, std::move(hertRates), timeMinuteBmp};
  result.finish = assembler.add(data, result.hertRates, result.timeMinuteBmp);
  result.hexArrayString = assembler.hexArrayString();
  result.hexArray = assembler.takeHexArray();
  return result;
}

}  // namespace talvaren

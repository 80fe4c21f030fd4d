#include "talvaren/codecs/BluetoothDeviceKelo.hpp"

#include <algorithm>
#include <utility>

#include "codecs/FrameText.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/records/RecordDescription.hpp"
#include "talvaren/utilities/DateExtensions.hpp"

namespace talvaren {

using detail::lowerByteText;
using detail::quotedList;
using detail::upperByteText;

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

namespace {

/// Appends the bytes that a frame adds to the message: offsets 3 up to the checksum byte. A frame of
/// four bytes or fewer adds nothing.
void addContribution(const Bytes& frame, std::vector<std::string>& texts, std::vector<std::uint8_t>& bytes) {
  for (std::size_t i = 3; i + 1 < frame.size(); ++i) {
    texts.push_back(upperByteText(frame[i]));
    bytes.push_back(frame[i]);
  }
}

std::optional<WorkoutType> workoutTypeOfByte(std::uint8_t byte) {
  switch (byte) {
    case 0x21:
      return WorkoutType::cardio;
    case 0x22:
      return WorkoutType::mixed;
    case 0x23:
      return WorkoutType::strength;
    default:
      return std::nullopt;
  }
}

constexpr const char* messageFieldLabels[] = {
    "getKeloDeviceHertRate numberPacketHighHex = ", "getKeloDeviceHertRate numberPacketLowHex = ",
    "getKeloDeviceHertRate cmdIdHex = ",            "getKeloDeviceHertRate commandProtocolHex = ",
    "getKeloDeviceHertRate keyHex = ",              "getKeloDeviceHertRate confirmACKHex = ",
};

/// Decodes the records of a complete message into `result`; every stop leaves what was decoded.
void decodeRecords(BluetoothDeviceKelo::HistoryResult& result) {
  const auto& message = result.hexArray;
  const std::size_t size = message.size();
  std::size_t p = 6;  // the index of the byte just before the next record
  while (p + 1 < size) {
    const std::uint8_t count = message[p + 1];
    console::print("getKeloDeviceHertRate lenghHeartRateHex = " + upperByteText(count) +
                   " lenghHeartRate = " + std::to_string(count));
    if (p + 2 >= size) return;
    const std::uint8_t typeByte = message[p + 2];
    console::print("getKeloDeviceHertRate typeWorkoutHex = " + upperByteText(typeByte));
    if (p + 6 >= size) return;  // the four time bytes at p+3 ... p+6
    const std::uint8_t* time = &message[p + 3];
    console::print("getKeloDeviceHertRate timeMinutesSting = " + detail::strapClockDecimal(time));
    console::print("getKeloDeviceHertRate timeMinutesSting = " + detail::strapClockText(time));
    result.timeMinuteBmp = detail::readStrapClock(time);
    const Date recordDate = localTimetoUTC(Date(static_cast<double>(result.timeMinuteBmp)));
    console::print("getKeloDeviceHertRate time = " + recordDate.description() + " timestampUTC = " +
                   describe::number(recordDate.timeIntervalSince1970()));
    const std::size_t first = p + 7;
    if (first >= size) return;
    const std::size_t end = std::min(first + count, size);
    const auto type = workoutTypeOfByte(typeByte);
    for (std::size_t i = first; i < end; ++i) {
      const Date date = localTimetoUTC(Date(static_cast<double>(result.timeMinuteBmp)));
      console::print("getKeloDeviceHertRate HeartRate = " + std::to_string(message[i]));
      result.hertRates.emplace_back(message[i], date, type);
      result.timeMinuteBmp += 2;
    }
    p += 6 + static_cast<std::size_t>(count);
    console::print("getHRMUTC offSet = " + std::to_string(p));
  }
}

}  // namespace

BluetoothDeviceKelo::HistoryResult BluetoothDeviceKelo::getKeloDeviceHertRate(
    const Bytes& data, std::vector<std::string> hexArrayStringData, std::vector<std::uint8_t> hexArrayData,
    std::vector<HeartRate> hertRates, std::int64_t timeMinuteBmp) {
  HistoryResult result{true, std::move(hexArrayStringData), std::move(hexArrayData), std::move(hertRates),
                       timeMinuteBmp};
  // A frame without the three bytes of the transport header carries nothing to join.
  if (data.size() < 3) return result;
  const std::uint8_t identifier = data[1];
  console::print("getKeloDeviceHertRate transportHeader = " + std::to_string(data[0]) +
                 " idetifier = " + std::to_string(identifier) + " packetDataLength = " + std::to_string(data[2]));
  const int high = (identifier & 0xF0) >> 4;
  const int low = identifier & 0x0F;
  auto clearBuffers = [&result] {
    result.hexArrayString.clear();
    result.hexArray.clear();
  };
  if (identifier == 0x00) {
    console::print("getKeloDeviceHertRate small packet");
    clearBuffers();
  }

  if (high != 0xC && high != 0x0) {
    if (low == 0) {
      clearBuffers();
      addContribution(data, result.hexArrayString, result.hexArray);
    } else if (low <= 6) {
      addContribution(data, result.hexArrayString, result.hexArray);
    } else {
      console::print("getKeloDeviceHertRate of default");
    }
    return result;
  }

  console::print("getKeloDeviceHertRate finish packet");
  addContribution(data, result.hexArrayString, result.hexArray);
  console::print("getKeloDeviceHertRate hexArraySring = " + quotedList(result.hexArrayString));
  console::print("getKeloDeviceHertRate array         = " +
                 detail::decimalList(result.hexArray.begin(), result.hexArray.end()));
  const auto& message = result.hexArray;
  for (std::size_t i = 0; i < 6 && i < message.size(); ++i) {
    console::print(messageFieldLabels[i] + upperByteText(message[i]));
  }
  // A message too short to hold its `lengh` byte holds no records either.
  if (message.size() < 7) {
    console::print("kiled 11");
    return result;
  }
  const std::uint8_t length = message[6];
  console::print("getKeloDeviceHertRate lenghHex = " + upperByteText(length) + " lengh = " + std::to_string(length) +
                 ")");
  if (length != 11) {
    console::print("kiled 11");
    return result;
  }
  decodeRecords(result);
  return result;
}

}  // namespace talvaren

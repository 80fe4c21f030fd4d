#include "talvaren/codecs/KeloHistoryAssembler.hpp"

#include <algorithm>

#include "codecs/FrameText.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/records/RecordDescription.hpp"
#include "talvaren/utilities/DateExtensions.hpp"

namespace talvaren {

using detail::quotedList;
using detail::upperByteText;

std::optional<KeloFrameHeader> KeloFrameHeader::read(const Bytes& frame) {
  if (frame.size() < 5) return std::nullopt;
  KeloFrameHeader header;
  header.transportHeader = frame[0];
  header.idetifier = frame[1];
  header.length = frame[2];
  header.quaeueData = frame[3];
  header.numberPacket = frame[4];
  header.checksum = frame.back();
  if (frame.size() >= 8) {
    header.cmdId = frame[5];
    header.keyMark = frame[7];
  }
  return header;
}

namespace {

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

/// Decodes the records of a complete message; every stop leaves what was decoded.
void decodeRecords(const std::vector<std::uint8_t>& message, std::vector<HeartRate>& hertRates,
                   std::int64_t& timeMinuteBmp) {
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
    timeMinuteBmp = detail::readStrapClock(time);
    const Date recordDate = localTimetoUTC(Date(static_cast<double>(timeMinuteBmp)));
    console::print("getKeloDeviceHertRate time = " + recordDate.description() +
                   " timestampUTC = " + describe::number(recordDate.timeIntervalSince1970()));
    const std::size_t first = p + 7;
    if (first >= size) return;
    const std::size_t end = std::min(first + count, size);
    const auto type = workoutTypeOfByte(typeByte);
    for (std::size_t i = first; i < end; ++i) {
      const Date date = localTimetoUTC(Date(static_cast<double>(timeMinuteBmp)));
      console::print("getKeloDeviceHertRate HeartRate = " + std::to_string(message[i]));
      hertRates.emplace_back(message[i], date, type);
      timeMinuteBmp += 2;
    }
    p += 6 + static_cast<std::size_t>(count);
    console::print("getHRMUTC offSet = " + std::to_string(p));
  }
}

}  // namespace

std::vector<std::string> KeloHistoryAssembler::hexArrayString() const {
  std::vector<std::string> texts;
  texts.reserve(hexArray_.size());
  for (auto byte : hexArray_) texts.push_back(upperByteText(byte));
  return texts;
}

// The bytes that a frame adds to the message: offsets 3 up to the checksum byte. A frame of four bytes
// or fewer adds nothing.
bool KeloHistoryAssembler::addContribution(const Bytes& frame) {
  const std::size_t contribution = frame.size() > 4 ? frame.size() - 4 : 0;
  if (hexArray_.size() + contribution > HistoryCapacity::maximumMessageBytes) {
    hexArray_ = {};
    return false;
  }
  if (contribution) hexArray_.insert(hexArray_.end(), frame.begin() + 3, frame.end() - 1);
  return true;
}

bool KeloHistoryAssembler::add(const Bytes& frame, std::vector<HeartRate>& hertRates, std::int64_t& timeMinuteBmp) {
  // A frame without the three bytes of the transport header carries nothing to join.
  if (frame.size() < 3) return true;
  const std::uint8_t identifier = frame[1];
  console::print("getKeloDeviceHertRate transportHeader = " + std::to_string(frame[0]) +
                 " idetifier = " + std::to_string(identifier) + " packetDataLength = " + std::to_string(frame[2]));
  const int high = (identifier & 0xF0) >> 4;
  const int low = identifier & 0x0F;
  if (identifier == 0x00) {
    console::print("getKeloDeviceHertRate small packet");
    hexArray_.clear();
  }

  if (high != 0xC && high != 0x0) {
    if (low == 0) hexArray_.clear();
    if (low <= 6) return addContribution(frame);
    console::print("getKeloDeviceHertRate of default");
    return true;
  }

  console::print("getKeloDeviceHertRate finish packet");
  if (!addContribution(frame)) return false;
  console::print("getKeloDeviceHertRate hexArraySring = " + quotedList(hexArrayString()));
  console::print("getKeloDeviceHertRate array         = " + detail::decimalList(hexArray_.begin(), hexArray_.end()));
  const auto& message = hexArray_;
  for (std::size_t i = 0; i < 6 && i < message.size(); ++i) {
    console::print(messageFieldLabels[i] + upperByteText(message[i]));
  }
  // A message too short to hold its `lengh` byte holds no records either.
  if (message.size() < 7) {
    console::print("kiled 11");
    return true;
  }
  const std::uint8_t length = message[6];
  console::print("getKeloDeviceHertRate lenghHex = " + upperByteText(length) + " lengh = " + std::to_string(length) +
                 ")");
  if (length != 11) {
    console::print("kiled 11");
    return true;
  }
  decodeRecords(message, hertRates, timeMinuteBmp);
  if (hertRates.size() <= HistoryCapacity::maximumSamples) return true;
  hexArray_ = {};
  return false;
}

}  // namespace talvaren

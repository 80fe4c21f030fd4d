#include "talvaren/codecs/BluetoothDeviceRavo.hpp"

#include <limits>
#include <utility>

#include "codecs/FrameText.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/records/RecordDescription.hpp"
#include "talvaren/utilities/DateExtensions.hpp"

namespace talvaren {

using detail::lowerByteText;
using detail::quotedList;

std::string BluetoothDeviceRavo::sendUserInfoRavoDevice() {
  std::vector<std::string> frame{"e1", "00", "02", "58", "28", "aa", "46", "01", "00", "17", "70"};
  detail::appendChecksum(frame);
  return detail::joined(frame);
}

std::string BluetoothDeviceRavo::sendNextRavoDevice() {
  const std::string frame = "e00000e0";
  console::print("sendNextRavoDevice = " + frame);
  return frame;
}

std::string BluetoothDeviceRavo::sendNextPacketRavoDevice(std::uint8_t packetNumber) {
  std::vector<std::string> frame{"e0", lowerByteText(packetNumber), "00"};
  detail::appendChecksum(frame);
  console::print("sendNextPacket3Device = " + quotedList(frame));
  return detail::joined(frame);
}

std::string BluetoothDeviceRavo::sendUTCTimeRavoDevice(std::uint8_t packetNumber, Date date) {
  const Date local = UTCToLocalTime(date);
  console::print("sendUTCTimeRavoDevice UTC + zone = " + local.description());
  std::vector<std::string> frame{"e2", lowerByteText(packetNumber)};
  detail::appendStrapClock(frame, detail::strapClockSeconds(local));
  detail::appendChecksum(frame);
  console::print("sendUTCTimeRavoDevice = " + quotedList(frame));
  return detail::joined(frame);
}

std::optional<Date> BluetoothDeviceRavo::getUTCRavoDevice(const Bytes& data) {
  console::print("getUTCRavoDevice Int = " + detail::decimalList(data.begin(), data.end()));
  if (data.size() < 5) return std::nullopt;
  const Date result = localTimetoUTC(Date(static_cast<double>(detail::readStrapClock(&data[1]))));
  console::print("getUTCRavoDevice UTC = " + result.description());
  return result;
}

void BluetoothDeviceRavo::getUserInfoRavoDevice(const Bytes& data) {
  console::print("getUserInfoRavoDevice Int = " + detail::decimalList(data.begin(), data.end()));
  for (std::size_t i = 0; i < data.size(); ++i) {
    const std::string value = std::to_string(data[i]);
    const char* label = nullptr;
    if (i == 0) {
      label = "getUserInfoRavoDevice 1-High 4 bit | 1-Low 4 bit  = ";
    } else if (i <= 6) {
      label = "getUserInfoRavoDevice Reserved byte               = ";
    } else if (i <= 8) {
      label = "getUserInfoRavoDevice Weight (Unit:0.1Kg)         = ";
    } else if (i == 9) {
      label = "getUserInfoRavoDevice Age                         = ";
    } else if (i == 10) {
      label = "getUserInfoRavoDevice Height (Unit:1cm)           = ";
    } else if (i == 11) {
      label = "getUserInfoRavoDevice Step stride (unit:1cm)      = ";
    } else if (i == 12) {
      label = "getUserInfoRavoDevice 0x00:Female 0x01: male      = ";
    } else if (i <= 15) {
      label = "getUserInfoRavoDevice Current target steps        = ";
    } else if (i == 16) {
      label = "getUserInfoRavoDevice Check sum                   = ";
    }
    if (label != nullptr) {
      console::print(label + value);
    } else {
      console::print("getUserInfoRavoDevice index:" + std::to_string(i) + " error        = " + value + " ");
    }
  }
}

namespace {

/// Appends one sample per byte from `first` up to the checksum byte, each 2 s after the one before.
void appendSamples(const Bytes& data, std::size_t first, BluetoothDeviceRavo::HistoryResult& result) {
  const std::size_t end = data.size() - 1;
  if (first >= end) return;
  for (std::size_t i = first; i < end; ++i) {
    // The running time comes from the caller; never let it overflow.
    if (result.timeMinuteBmp > std::numeric_limits<std::int64_t>::max() - 2) return;
    result.timeMinuteBmp += 2;
    result.hertRates.emplace_back(data[i], localTimetoUTC(Date(static_cast<double>(result.timeMinuteBmp))));
  }
}

}  // namespace

BluetoothDeviceRavo::HistoryResult BluetoothDeviceRavo::getHertRateRavoDevice(const Bytes& data,
                                                                              std::int64_t timeMinuteBmp,
                                                                              std::vector<HeartRate> hertRates) {
  HistoryResult result{false, timeMinuteBmp, std::move(hertRates)};
  if (data.size() < 2) return result;  // no record kind
  const std::uint8_t kind = data[1];
  console::print("getHRMHertRate info = " + detail::decimalList(data.begin(), data.end()) +
                 " markLongNum = " + std::to_string(kind));
  switch (kind) {
    case 1: {
      // The start time at bytes 2 to 5 and the checksum after it.
      if (data.size() < 7) return result;
      const std::uint8_t* time = &data[2];
      console::print("getHRMUTC timeMinutesSting = " + detail::strapClockDecimal(time));
      console::print("getHRMHertRate timeMinutesSting = " + detail::strapClockText(time));
      result.timeMinuteBmp = detail::readStrapClock(time);
      const Date start = localTimetoUTC(Date(static_cast<double>(result.timeMinuteBmp)));
      console::print("getHRMHertRate time = " + start.description() + " timestampUTC = " +
                     describe::number(start.timeIntervalSince1970()));
      appendSamples(data, 6, result);
      return result;
    }
    case 2:
    case 3:
    case 4:
      appendSamples(data, 2, result);
      return result;
    case 5:
      console::print("getHRMHertRate finish");
      result.update = true;
      return result;
    default:
      console::print("getHRMHertRate of default");
      return result;
  }
}

}  // namespace talvaren

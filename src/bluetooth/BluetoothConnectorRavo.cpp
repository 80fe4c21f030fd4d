// The Ravo strap's packets: user information, clock, heart-rate records and the end of the history.

#include "bluetooth/ConnectorState.hpp"
#include "talvaren/bluetooth/BluetoothConnector.hpp"
#include "talvaren/codecs/BluetoothDeviceRavo.hpp"
#include "talvaren/codecs/ErrorBluetooth.hpp"
#include "talvaren/codecs/HistoryCapacity.hpp"

namespace talvaren {
namespace {

using connector::log;

const char* typeLine(int type) {
  switch (type) {
    case 0:
    case 6:
      return "getRavoDeviceTypePacket of nothing";
    case 1:
      return "getRavoDeviceTypePacket of setting information group 1";
    case 2:
      return "getRavoDeviceTypePacket of upload UTC";
    case 3:
      return "getRavoDeviceTypePacket of current total sport information";
    case 4:
      return "getRavoDeviceTypePacket of upload detailed exercise";
    case 5:
      return "getRavoDeviceTypePacket of upload sleeping";
    case 7:
      return "getRavoDeviceTypePacket of setting information group 2";
    case 8:
      return nullptr;
    case 9:
      return "getRavoDeviceTypePacket of send speed and cadence";
    case 10:
      return "getRavoDeviceTypePacket of sending training mode, starting time and finishing time group";
    default:
      return "getRavoDeviceTypePacket of default";
  }
}

}  // namespace

void BluetoothConnector::getRavoDeviceTypePacket(const CharacteristicPtr& characteristic,
                                                 const std::optional<Error>& error) {
  log("getRavoDeviceTypePacket = " + characteristic->description());
  auto delegate = this->delegate();
  auto value = connector::packetOrReport(delegate, characteristic, error);
  if (!value) return;
  if (value->empty()) return;
  const auto& data = *value;
  auto link = currentLink();
  std::uint8_t number = data[0] >> 4;
  int type = data[0] & 0x0F;
  log("getRavoDeviceTypePacket numberPacket = " + std::to_string(number) + " typPacket = " + std::to_string(type));
  if (auto line = typeLine(type)) log(line);

  switch (type) {
    case 1:
      BluetoothDeviceRavo::getUserInfoRavoDevice(data);
      sendHRMValue(BluetoothDeviceRavo::sendNextPacketRavoDevice(number));
      break;
    case 2: {
      bool readTime = enableDeviceTime(), setTime = enableSetTime();
      if (!readTime && !setTime) {  // a synchronisation: report the clock, then set it
        getRavoUTC(data);
        sendHRMValue(BluetoothDeviceRavo::sendUTCTimeRavoDevice(number, Date::now()));
        break;
      }
      if (setTime) {
        sendHRMValue(BluetoothDeviceRavo::sendUTCTimeRavoDevice(number, Date::now()));
        if (delegate) delegate->didSetTime();
      } else if (auto date = BluetoothDeviceRavo::getUTCRavoDevice(data)) {
        if (delegate) delegate->didDeviceTime(*date);
      } else if (delegate) {
        // A clock packet too short for a date must not end the clock-read task without an answer.
        delegate->didGetError(toError(ErrorBluetooth::characteristicValue));
      }
      {
        std::lock_guard lock(mutex_);
        state_->enableDeviceTime = false;
        state_->enableSetTime = false;
      }
      if (planDisconnection(link)) disconnectOnDemand();
      break;
    }
    case 6: {
      sendHRMValue(BluetoothDeviceRavo::sendNextPacketRavoDevice(number));
      std::vector<HeartRate> rates;
      {
        std::lock_guard lock(mutex_);
        rates = std::exchange(state_->hertRates, {});
      }
      if (delegate) delegate->didSynchHR(rates);
      if (planDisconnection(link)) disconnectOnDemand();
      break;
    }
    case 8: {
      std::vector<HeartRate> rates;
      std::int64_t time;
      {
        std::lock_guard lock(mutex_);
        rates = std::move(state_->hertRates);
        time = state_->timeMinuteBmp;
      }
      auto result = BluetoothDeviceRavo::getHertRateRavoDevice(data, time, std::move(rates));
      if (result.hertRates.size() > HistoryCapacity::maximumSamples) {
        endOverflowingHistory(link, delegate);
        break;
      }
      {
        std::lock_guard lock(mutex_);
        state_->timeMinuteBmp = result.timeMinuteBmp;
        state_->hertRates = std::move(result.hertRates);
      }
      if (result.update) sendHRMValue(BluetoothDeviceRavo::sendNextPacketRavoDevice(number));
      break;
    }
    default:
      break;
  }
}

void BluetoothConnector::getRavoUTC(const Bytes& data) {
  auto date = BluetoothDeviceRavo::getUTCRavoDevice(data);
  if (!date) return;
  bool close = connector::clockIsClose("getUTCRavoDevice diffInYears = ", *date);
  if (auto delegate = this->delegate()) delegate->didGetTime(close, *date);
}

}  // namespace talvaren

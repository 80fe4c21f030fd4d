// The Kelo strap's history channel: transport acknowledgements, history packets and their
// acknowledgements, the end of the history, and the strap's clock message.

#include <cstdio>

#include "bluetooth/ConnectorState.hpp"
#include "talvaren/bluetooth/BluetoothConnector.hpp"
#include "talvaren/codecs/BluetoothDeviceKelo.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/records/RecordDescription.hpp"

namespace talvaren {
namespace {

using connector::log;

std::string hexByte(std::uint8_t byte) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

}  // namespace

void BluetoothConnector::getKeloDeviceTypePacket(const CharacteristicPtr& characteristic,
                                                 const std::optional<Error>& error) {
  log("getKeloDeviceTypePacket = " + characteristic->description());
  auto delegate = this->delegate();
  auto value = connector::packetOrReport(delegate, characteristic, error);
  if (!value) return;
  // Every frame of the channel has its header, identifier, length and packet number.
  const auto& data = *value;
  if (data.size() < 5) return;
  std::uint8_t nibble = data[1] >> 4;
  char height[2];
  std::snprintf(height, sizeof height, "%1X", nibble);
  log("getKeloDeviceTypePacket transportHeader = " + hexByte(data[0]) + " idetifier = " + hexByte(data[1]) +
      " idetifierHeight = " + height + " length = " + hexByte(data[2]) + " quaeueData  = " + hexByte(data[3]) +
      " numberPacket = " + hexByte(data[4]) + " checksum = " + hexByte(data.back()));

  auto history = characteristicHistry();
  auto acknowledge = [&](std::uint8_t packet) {
    sendHRMValue(BluetoothDeviceKelo::sendNextPackietKeloDevice(packet), history);
  };
  // Joins the frame to the packet being received; true when it completed one.
  auto reassemble = [&] {
    std::vector<std::string> texts;
    std::vector<std::uint8_t> bytes;
    std::vector<HeartRate> rates;
    std::int64_t time;
    {
      std::lock_guard lock(mutex_);
      texts = std::move(state_->hexArrayString);
      bytes = std::move(state_->hexArray);
      rates = std::move(state_->hertRates);
      time = state_->timeMinuteBmp;
    }
    auto result =
        BluetoothDeviceKelo::getKeloDeviceHertRate(data, std::move(texts), std::move(bytes), std::move(rates), time);
    std::lock_guard lock(mutex_);
    state_->hexArrayString = std::move(result.hexArrayString);
    state_->hexArray = std::move(result.hexArray);
    state_->hertRates = std::move(result.hertRates);
    state_->timeMinuteBmp = result.timeMinuteBmp;
    return result.finish;
  };

  switch (nibble) {
    case 0x0: {  // a message of the strap, not acknowledged at the transport layer
      // Too short for its command and key: dropped like a frame too short for its header.
      if (data.size() < 8) return;
      setFlag(&State::selectSynch, false);
      log("getKeloDeviceTypePacket no ack");
      std::uint8_t command = data[5], key = data[7];
      log("getKeloDeviceTypePacket cmdId = " + hexByte(command) + " keyMark = " + hexByte(key));
      switch (command) {
        case 0x04:
          if (key == 0xFF) {  // end of the history
            std::vector<HeartRate> rates;
            {
              std::lock_guard lock(mutex_);
              rates = std::exchange(state_->hertRates, {});
            }
            log("getKeloDeviceTypePacket finish synch " +
                describe::list(rates, [](const HeartRate& rate) { return rate.description(); }));
            acknowledge(data[4]);
            if (delegate) delegate->didSynchHR(rates);
            planDisconnection();
            afterOnThisLink(3.0, false, [](BluetoothConnector& self) { self.disconnectOnDemand(); });
          } else if (reassemble()) {
            acknowledge(data[4]);
            log("finish packet smoll");
          }
          return;
        case 0x05:  // the strap's clock
          acknowledge(data[4]);
          if (!BluetoothDeviceKelo::transmissionProtocolVersion(key)) return;
          sendHRMValue(BluetoothDeviceKelo::sendUTCTimeKeloDevice(data[4], Date::now()), history);
          if (!enableSetTime()) {
            auto defaults = platform::UserDefaults::standard();
            if (defaults->boolForKey(KeloShowSetTimeSynchKey)) return;
            if (delegate) delegate->didGetTime(true, Date::now());
            defaults->set(true, KeloShowSetTimeSynchKey);
            return;
          }
          if (delegate) delegate->didSetTime();
          planDisconnection();
          disconnectOnDemand();
          return;
        case 0x01:
        case 0x02:
        case 0x03:
        case 0x06:
        case 0x07:
        case 0x08:
        case 0xFD:
          return;
        default:
          log("getKeloDeviceTypePacket no idetifier");
          return;
      }
    }
    case 0x2:  // transport-layer acknowledgement
      log("getKeloDeviceTypePacket with transmition layer ack");
      if (data[4] == 1) {
        sendHRMValue(BluetoothDeviceKelo::sendStartHistryKeloDevice(data[4]), history);
      } else if (data[4] == 2) {
        log("getKeloDeviceTypePacket with please select synch ");
        // Only a request repeated without data in between reaches the host.
        bool repeated;
        {
          std::lock_guard lock(mutex_);
          repeated = std::exchange(state_->selectSynch, true);
        }
        if (repeated && delegate) delegate->didSelectSynchKeloDevice();
      } else {
        log("getKeloDeviceTypePacket with transmition ");
      }
      return;
    case 0x8:
    case 0xC: {  // history data
      {
        std::lock_guard lock(mutex_);
        state_->selectSynch = false;
        if (data[1] == 0x80) state_->numberPacket = data[4];
      }
      if (reassemble()) acknowledge(numberPacket());
      return;
    }
    default:
      log("getKeloDeviceTypePacket no cmdId");
      return;
  }
}

}  // namespace talvaren

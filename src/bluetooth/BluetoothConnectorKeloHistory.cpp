// The Kelo strap's history channel: transport acknowledgements, history packets and their
// acknowledgements, the end of the history, and the strap's clock message.

#include "bluetooth/ConnectorState.hpp"
#include "talvaren/bluetooth/BluetoothConnector.hpp"
#include "talvaren/codecs/BluetoothDeviceKelo.hpp"
#include "talvaren/codecs/HexExtensions.hpp"
#include "talvaren/codecs/KeloHistoryAssembler.hpp"
#include "talvaren/platform/HexText.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/records/RecordDescription.hpp"

namespace talvaren {
namespace {

using connector::log;

}  // namespace

void BluetoothConnector::getKeloDeviceTypePacket(const CharacteristicPtr& characteristic,
                                                 const std::optional<Error>& error) {
  log("getKeloDeviceTypePacket = " + characteristic->description());
  auto delegate = this->delegate();
  auto value = connector::packetOrReport(delegate, characteristic, error);
  if (!value) return;
  // Every frame of the channel has its header, identifier, length and packet number.
  const auto& data = *value;
  const auto header = KeloFrameHeader::read(data);
  if (!header) return;
  auto link = currentLink();
  const std::uint8_t nibble = header->idetifierHeight();
  log("getKeloDeviceTypePacket transportHeader = " + hex(header->transportHeader) +
      " idetifier = " + hex(header->idetifier) + " idetifierHeight = " + platform::hexDigit(nibble, true) +
      " length = " + hex(header->length) + " quaeueData  = " + hex(header->quaeueData) +
      " numberPacket = " + hex(header->numberPacket) + " checksum = " + hex(header->checksum));
  const std::uint8_t number = header->numberPacket;

  auto history = characteristicHistry();
  auto acknowledge = [&](std::uint8_t packet) {
    sendHRMValue(BluetoothDeviceKelo::sendNextPackietKeloDevice(packet), history);
  };
  // Joins the frame to the packet being received; true when the frame is to be acknowledged, false when
  // the download went past what a strap can store.
  auto reassemble = [&] {
    std::lock_guard lock(mutex_);
    return state_->keloHistory.add(data, state_->hertRates, state_->timeMinuteBmp);
  };

  switch (nibble) {
    case 0x0: {  // a message of the strap, not acknowledged at the transport layer
      // Too short for its command and key: dropped like a frame too short for its header.
      if (!header->cmdId || !header->keyMark) return;
      setFlag(&State::selectSynch, false);
      log("getKeloDeviceTypePacket no ack");
      const std::uint8_t command = *header->cmdId, key = *header->keyMark;
      log("getKeloDeviceTypePacket cmdId = " + hex(command) + " keyMark = " + hex(key));
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
            acknowledge(number);
            if (delegate) delegate->didSynchHR(rates);
            if (planDisconnection(link)) {
              afterOnThisLink(link, 3.0, false, [](BluetoothConnector& self) { self.disconnectOnDemand(); });
            }
          } else if (reassemble()) {
            acknowledge(number);
            log("finish packet smoll");
          } else {
            endOverflowingHistory(link, delegate);
          }
          return;
        case 0x05:  // the strap's clock
          acknowledge(number);
          if (!BluetoothDeviceKelo::transmissionProtocolVersion(key)) return;
          sendHRMValue(BluetoothDeviceKelo::sendUTCTimeKeloDevice(number, Date::now()), history);
          if (!enableSetTime()) {
            auto defaults = platform::UserDefaults::standard();
            if (defaults->boolForKey(KeloShowSetTimeSynchKey)) return;
            if (delegate) delegate->didGetTime(true, Date::now());
            defaults->set(true, KeloShowSetTimeSynchKey);
            return;
          }
          if (delegate) delegate->didSetTime();
          if (planDisconnection(link)) disconnectOnDemand();
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
      if (number == 1) {
        {
          std::lock_guard lock(mutex_);
          state_->restartHistory();
        }
        sendHRMValue(BluetoothDeviceKelo::sendStartHistryKeloDevice(number), history);
      } else if (number == 2) {
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
        if (header->idetifier == 0x80) state_->numberPacket = number;
      }
      if (reassemble()) {
        acknowledge(numberPacket());
      } else {
        endOverflowingHistory(link, delegate);
      }
      return;
    }
    default:
      log("getKeloDeviceTypePacket no cmdId");
      return;
  }
}

}  // namespace talvaren

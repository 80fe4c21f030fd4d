#include "talvaren/sim/KeloStrap.hpp"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace talvaren::sim {
namespace {

using Props = CharacteristicProperties;

const BluetoothUUID& service() {
  static const auto& value = *new auto(uuid("FD00"));
  return value;
}
const BluetoothUUID& commandNotify() {
  static const auto& value = *new auto(uuid("FD09"));
  return value;
}
const BluetoothUUID& commandWrite() {
  static const auto& value = *new auto(uuid("FD0A"));
  return value;
}
const BluetoothUUID& historyNotify() {
  static const auto& value = *new auto(uuid("FD19"));
  return value;
}
const BluetoothUUID& historyWrite() {
  static const auto& value = *new auto(uuid("FD1A"));
  return value;
}

/// Appends the sum byte.
Bytes sealed(Bytes frame) {
  frame.push_back(sum8(frame));
  return frame;
}

bool sumHolds(const Bytes& frame) {
  if (frame.size() < 2) return false;
  Bytes body(frame.begin(), frame.end() - 1);
  return sum8(body) == frame.back();
}

void appendTime(Bytes& bytes, std::uint32_t t) {
  bytes.push_back(static_cast<std::uint8_t>(t >> 24));
  bytes.push_back(static_cast<std::uint8_t>(t >> 16));
  bytes.push_back(static_cast<std::uint8_t>(t >> 8));
  bytes.push_back(static_cast<std::uint8_t>(t));
}

}  // namespace

KeloStrap::KeloStrap(PeripheralIdentifier identifier, std::optional<std::string> name)
    : HeartRateStrap(std::move(identifier), std::move(name)),
      bootloader_(DfuBootloader::Port{[this](const Bytes& value) { notify(DfuBootloader::controlPoint(), value); },
                                      [this](double seconds, std::function<void()> work) { after(seconds, std::move(work)); },
                                      [this] { return now(); }, [this] { dropLink(); },
                                      [this](const std::string& line) { trace(line); }}) {
  addKeloServices();
  setSoftwareRevision("2.1.7");
}

void KeloStrap::addKeloServices() {
  addService(service());
  addCharacteristic(service(), commandNotify(), Props::notify, std::nullopt);
  addCharacteristic(service(), commandWrite(), Props::write | Props::writeWithoutResponse, std::nullopt);
  addCharacteristic(service(), historyNotify(), Props::notify, std::nullopt);
  addCharacteristic(service(), historyWrite(), Props::write | Props::writeWithoutResponse, std::nullopt);
  addService(uuid("181C"));
  auto advertised = advertisement();
  advertised.serviceUUIDs = {uuid("180D"), service()};
  setAdvertisement(advertised);
}

void KeloStrap::setHistory(std::vector<KeloRecord> records) {
  auto lock = guard();
  history_ = std::move(records);
}

void KeloStrap::setHistoryOptions(HistoryOptions options) {
  auto lock = guard();
  options_ = options;
  options_.recordsPerPacket = std::max<std::size_t>(options_.recordsPerPacket, 1);
}

bool KeloStrap::historyFinished() const {
  auto lock = guard();
  return finished_;
}

int KeloStrap::packetsAcknowledged() const {
  auto lock = guard();
  return acknowledged_;
}

std::int64_t KeloStrap::clock() const {
  auto lock = guard();
  return static_cast<std::int64_t>(std::floor(now() + clockOffset_));
}

void KeloStrap::setClock(std::int64_t localSeconds) {
  auto lock = guard();
  clockOffset_ = static_cast<double>(localSeconds) - now();
}

int KeloStrap::clockSettings() const {
  auto lock = guard();
  return clockSettings_;
}

std::optional<std::pair<std::uint8_t, std::uint8_t>> KeloStrap::thresholds() const {
  auto lock = guard();
  return thresholds_;
}

bool KeloStrap::inTestMode() const {
  auto lock = guard();
  return testMode_;
}

void KeloStrap::setAcceptsTestMode(bool accepts) {
  auto lock = guard();
  acceptsTestMode_ = accepts;
}

void KeloStrap::setSignal(std::uint8_t signal) {
  auto lock = guard();
  signal_ = signal;
}

bool KeloStrap::inUpdateMode() const {
  auto lock = guard();
  return updateMode_;
}

void KeloStrap::setUpdateModeName(std::string name) {
  auto lock = guard();
  updateModeName_ = std::move(name);
}

Bytes KeloStrap::measurementValue() const {
  auto current = measurement();
  Bytes value{0x10, static_cast<std::uint8_t>(std::min<std::uint16_t>(current.bpm, 0xFF)), signal_, 0x00};
  for (auto rr : current.rrIntervals) {
    value.push_back(static_cast<std::uint8_t>(rr & 0xFF));
    value.push_back(static_cast<std::uint8_t>(rr >> 8));
  }
  return value;
}

void KeloStrap::reportModeState(std::uint8_t mode, std::uint8_t state) {
  notify(commandNotify(), sealed({0xB2, 0x05, mode, state}));
}

void KeloStrap::sendTransportAcknowledgement(std::uint8_t status) {
  notify(historyNotify(), sealed({0xFF, 0x20, 0x06, 0x00, status}));
}

void KeloStrap::sendClockMessage(std::uint8_t key) {
  auto lock = guard();
  Bytes frame{0xFF, 0x00, 0x00, 0x00, 0x03, 0x05, 0x10, key, 0x00, 0x04};
  appendTime(frame, static_cast<std::uint32_t>(clock()));
  frame[2] = static_cast<std::uint8_t>(frame.size() + 1);
  notify(historyNotify(), sealed(frame));
}

std::optional<Error> KeloStrap::didWrite(const BluetoothUUID& characteristic, const Bytes& bytes, WriteType type) {
  if (updateMode_) {
    bootloader_.write(characteristic, bytes);
  } else if (characteristic == commandWrite()) {
    handleCommand(bytes);
  } else if (characteristic == historyWrite()) {
    handleTransport(bytes);
  } else {
    return HeartRateStrap::didWrite(characteristic, bytes, type);
  }
  return std::nullopt;
}

void KeloStrap::handleCommand(const Bytes& frame) {
  if (frame.size() < 4 || !sumHolds(frame)) {
    trace("kelo: command frame refused");
    return;
  }
  if (frame == Bytes{0xA2, 0x04, 0x01, 0xA7}) {
    trace("kelo: update mode requested");
    after(0.1, [this] { enterUpdateMode(); }, false);
    return;
  }
  if (frame[0] != 0xB2 || frame[1] != frame.size()) {
    trace("kelo: command frame refused");
    return;
  }
  switch (frame[2]) {
    case 0x0C:  // zone thresholds
      if (frame.size() != 6) return;
      thresholds_ = {frame[3], frame[4]};
      reportModeState(0x0C, 0x10);
      return;
    case 0x0D:  // test mode
      testMode_ = acceptsTestMode_;
      reportModeState(0x0D, acceptsTestMode_ ? 0x01 : 0x00);
      return;
    case 0x0F: {  // clock request
      Bytes reply{0xB2, 0x08, 0x0F};
      appendTime(reply, static_cast<std::uint32_t>(clock()));
      notify(commandNotify(), sealed(reply));
      return;
    }
    default:
      trace("kelo: unknown command");
  }
}

void KeloStrap::handleTransport(const Bytes& frame) {
  if (frame.size() < 6 || frame[0] != 0xFF || frame[2] != frame.size() || !sumHolds(frame)) {
    trace("kelo: transport frame refused");
    return;
  }
  if (frame[1] == 0x20) {  // the kit acknowledges a packet
    if (!awaitedAck_ || frame[4] != *awaitedAck_) {
      trace("kelo: acknowledgement not awaited");
      return;
    }
    awaitedAck_.reset();
    ++acknowledged_;
    if (endSent_) {
      finished_ = true;
      trace("kelo: history finished");
      return;
    }
    ++nextPacket_;
    after(options_.packetGap, [this] { sendPacket(); });
    return;
  }
  if (frame[1] != 0x00 || frame.size() < 11) return;
  switch (frame[5]) {
    case 0x01: {  // clock setting: value of `frame[9]` bytes from offset 10
      if (frame[9] != 4 || frame.size() != 15) return;
      std::uint32_t t = static_cast<std::uint32_t>(frame[10]) << 24 | static_cast<std::uint32_t>(frame[11]) << 16 |
                        static_cast<std::uint32_t>(frame[12]) << 8 | frame[13];
      clockOffset_ = static_cast<double>(t) - now();
      ++clockSettings_;
      // Only the first setting of a connection opens the conversation: a kit that sets the clock
      // again (as it does after a clock message with key 01) must not start it over.
      if (opened_ || !isSubscribed(historyNotify())) return;
      opened_ = true;
      if (options_.clockMessageKey) sendClockMessage(*options_.clockMessageKey);
      auto session = ++session_;
      if (selected_ || !options_.needsSelection) {
        sendTransportAcknowledgement(1);
      } else {
        waitingForSelection_ = true;
        promptSelection(session);
      }
      return;
    }
    case 0x04:  // history start
      nextPacket_ = 0;
      endSent_ = false;
      finished_ = false;
      acknowledged_ = 0;
      awaitedAck_.reset();
      sendPacket();
      return;
    default:
      trace("kelo: unknown transport command");
  }
}

void KeloStrap::promptSelection(std::uint64_t session) {
  if (session != session_ || !waitingForSelection_) return;
  sendTransportAcknowledgement(2);
  after(options_.selectionPromptInterval, [this, session] { promptSelection(session); });
}

void KeloStrap::selectSynchronisation() {
  auto lock = guard();
  selected_ = true;
  if (waitingForSelection_ && isConnected()) {
    waitingForSelection_ = false;
    sendTransportAcknowledgement(1);
  }
}

Bytes KeloStrap::packetMessage(std::size_t packet) const {
  auto number = static_cast<std::uint16_t>(packet + 1);
  Bytes message{static_cast<std::uint8_t>(number >> 8), static_cast<std::uint8_t>(number & 0xFF), 0x04, 0x10, 0x00,
                0x00, 0x0B};
  auto first = packet * options_.recordsPerPacket;
  auto last = std::min(history_.size(), first + options_.recordsPerPacket);
  for (auto i = first; i < last; ++i) {
    const auto& record = history_[i];
    auto count = std::min<std::size_t>(record.samples.size(), 0xFF);  // one length byte per record
    message.push_back(static_cast<std::uint8_t>(count));
    message.push_back(record.workoutType);
    appendTime(message, record.start);
    message.insert(message.end(), record.samples.begin(), record.samples.begin() + static_cast<long>(count));
  }
  return message;
}

void KeloStrap::sendHistoryFrame(std::uint8_t identifier, const Bytes& content) {
  Bytes frame{0xFF, identifier, static_cast<std::uint8_t>(content.size() + 4)};
  frame.insert(frame.end(), content.begin(), content.end());
  notify(historyNotify(), sealed(frame));
}

void KeloStrap::sendPacket() {
  auto perPacket = options_.recordsPerPacket;
  auto packets = (history_.size() + perPacket - 1) / perPacket;
  if (nextPacket_ >= packets) {
    auto number = static_cast<std::uint16_t>(packets + 1);
    Bytes end{static_cast<std::uint8_t>(number >> 8), static_cast<std::uint8_t>(number & 0xFF), 0x04, 0x10, 0xFF,
              0x00, 0x00};
    endSent_ = true;
    awaitedAck_ = static_cast<std::uint8_t>(number & 0xFF);
    sendHistoryFrame(0x00, end);
    return;
  }
  auto message = packetMessage(nextPacket_);
  awaitedAck_ = message[1];
  if (options_.framing == Framing::whole) {
    sendHistoryFrame(0x00, message);
    return;
  }
  // At least two notifications (the first empties the kit's buffer, the last completes it), at most eight.
  auto chunk = std::max<std::size_t>(options_.maxFrameContent, (message.size() + 7) / 8);
  if (chunk >= message.size()) chunk = (message.size() + 1) / 2;
  std::size_t frames = (message.size() + chunk - 1) / chunk;
  for (std::size_t i = 0; i < frames; ++i) {
    Bytes content(message.begin() + static_cast<long>(i * chunk),
                  message.begin() + static_cast<long>(std::min(message.size(), (i + 1) * chunk)));
    std::uint8_t identifier = i + 1 == frames ? static_cast<std::uint8_t>(0xC0 | i) : static_cast<std::uint8_t>(0x80 | i);
    sendHistoryFrame(identifier, content);
  }
}

void KeloStrap::enterUpdateMode() {
  auto lock = guard();
  if (!updateMode_) {
    normalName_ = name();
    normalRevision_ = value(uuid("2A28"));
  }
  updateMode_ = true;
  dropLink();
  setName(updateModeName_);
  clearServices();
  const auto& dfu = DfuBootloader::service();
  addService(dfu);
  addCharacteristic(dfu, DfuBootloader::controlPoint(), Props::write | Props::notify, std::nullopt);
  addCharacteristic(dfu, DfuBootloader::packet(), Props::writeWithoutResponse | Props::notify, std::nullopt);
  platform::AdvertisementData advertised;
  advertised.localName = updateModeName_;
  advertised.serviceUUIDs = {dfu};
  setAdvertisement(advertised);
  trace("kelo: advertising in update mode");
}

Bytes KeloStrap::firmwareImage(const std::string& softwareRevision, std::size_t size) {
  std::string header = "KELO-FW " + softwareRevision;
  Bytes image(header.begin(), header.end());
  image.push_back(0);
  // Filler that differs from byte to byte and from revision to revision, as code would.
  std::uint32_t state = 2166136261u;
  for (auto byte : image) state = (state ^ byte) * 16777619u;
  while (image.size() < size) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    image.push_back(static_cast<std::uint8_t>(state));
  }
  return image;
}

void KeloStrap::restartWithNewImage() {
  auto lock = guard();
  if (!updateMode_) return;
  auto revision = normalRevision_;
  if (auto image = bootloader_.activated()) {
    constexpr std::string_view marker = "KELO-FW ";
    const auto& bytes = image->bytes;
    auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    if (bytes.size() >= marker.size() && std::equal(marker.begin(), marker.end(), bytes.begin()) && end != bytes.end()) {
      revision = Bytes(bytes.begin() + static_cast<long>(marker.size()), end);
    }
  }
  updateMode_ = false;
  clearServices();
  addStandardServices();
  addKeloServices();
  if (revision) setValue(uuid("2A28"), revision);
  setName(normalName_);
  auto advertised = advertisement();
  advertised.localName = normalName_;
  setAdvertisement(advertised);
  trace("kelo: restarted with the new firmware");
}

void KeloStrap::didDisconnect() {
  HeartRateStrap::didDisconnect();
  if (updateMode_) bootloader_.linkLost();
  if (updateMode_ && bootloader_.activations() != activationsRun_) {
    activationsRun_ = bootloader_.activations();
    // The bootloader restarted after activating an application: the strap comes back running it. After
    // any other part (radio stack, bootloader) it restarts into the bootloader for the next part.
    auto image = bootloader_.activated();
    if (image && image->type == DfuBootloader::typeApplication) {
      after(restartTime, [this] { restartWithNewImage(); }, false);
    }
  }
  ++session_;
  waitingForSelection_ = false;
  selected_ = false;
  opened_ = false;
  awaitedAck_.reset();
}

}  // namespace talvaren::sim

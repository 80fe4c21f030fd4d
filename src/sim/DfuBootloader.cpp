#include "talvaren/sim/DfuBootloader.hpp"

#include <zlib.h>

#include <algorithm>

namespace talvaren::sim {
namespace {

constexpr std::uint8_t kCreate = 0x01, kSetPrn = 0x02, kChecksum = 0x03, kExecute = 0x04, kSelect = 0x06, kAbort = 0x0C,
                       kResponse = 0x60;
constexpr std::uint8_t kCommandObject = 0x01, kDataObject = 0x02;
constexpr std::uint8_t kSuccess = 0x01, kOpNotSupported = 0x02, kInvalidParameter = 0x03, kInsufficientResources = 0x04,
                       kUnsupportedType = 0x07, kNotPermitted = 0x08, kExtendedError = 0x0B;
constexpr std::uint8_t kExtInitCommandInvalid = 0x02, kExtHashFailed = 0x08;

std::uint32_t crcOf(const Bytes& bytes) {
  return static_cast<std::uint32_t>(::crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

void put32(Bytes& bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint32_t get32(const Bytes& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
  return value;
}

}  // namespace

DfuBootloader::DfuBootloader(Port port) : DfuBootloader(std::move(port), Options{}) {}
DfuBootloader::DfuBootloader(Port port, Options options) : port_(std::move(port)), options_(options) {}

const platform::BluetoothUUID& DfuBootloader::service() {
  static const auto& value = *new auto(platform::BluetoothUUID::fromUInt16(0xFE59));
  return value;
}
const platform::BluetoothUUID& DfuBootloader::controlPoint() {
  static const auto& value = *new auto(*platform::BluetoothUUID::fromString("8EC90001-F315-4F60-9FB8-838830DAEA50"));
  return value;
}
const platform::BluetoothUUID& DfuBootloader::packet() {
  static const auto& value = *new auto(*platform::BluetoothUUID::fromString("8EC90002-F315-4F60-9FB8-838830DAEA50"));
  return value;
}

Bytes DfuBootloader::initPacket(std::uint8_t type, const Bytes& image) {
  Bytes init{0x01, type};
  put32(init, static_cast<std::uint32_t>(image.size()));
  put32(init, crcOf(image));
  return init;
}

void DfuBootloader::setOptions(Options options) { options_ = options; }
void DfuBootloader::setFaults(Faults faults) { faults_ = std::move(faults); }

void DfuBootloader::write(const platform::BluetoothUUID& characteristic, const Bytes& bytes) {
  if (characteristic == controlPoint()) {
    occupyLink(bytes.size());
    request(bytes);
  } else if (characteristic == packet()) {
    occupyLink(bytes.size());
    receivePacket(bytes);
  }
}

void DfuBootloader::linkLost() {
  packetsSinceReceipt_ = 0;
  linkFreeAt_ = 0;
}

void DfuBootloader::occupyLink(std::size_t bytes) {
  linkFreeAt_ = std::max(linkFreeAt_, port_.now()) + options_.packetAirTime +
                static_cast<double>(bytes) / options_.bytesPerSecond;
}

void DfuBootloader::answer(Bytes answer) {
  double delay = std::max(0.0, linkFreeAt_ - port_.now()) + options_.responseDelay;
  auto notify = port_.notifyControlPoint;
  port_.after(delay, [notify, answer = std::move(answer)] { notify(answer); });
}

void DfuBootloader::respond(std::uint8_t op, std::uint8_t result, std::optional<std::uint8_t> extended) {
  Bytes response{kResponse, op, result};
  if (extended) response.push_back(*extended);
  answer(std::move(response));
}

void DfuBootloader::respondOffset(std::uint8_t op, const Bytes& held, std::optional<std::uint32_t> maxSize) {
  Bytes response{kResponse, op, kSuccess};
  if (maxSize) put32(response, *maxSize);
  put32(response, static_cast<std::uint32_t>(held.size()));
  put32(response, crcOf(held));
  answer(std::move(response));
}

void DfuBootloader::request(const Bytes& bytes) {
  if (bytes.empty()) return;
  if (faults_.answeredRequests) {
    if (*faults_.answeredRequests <= 0) return port_.trace("dfu: request left unanswered");
    --*faults_.answeredRequests;
  }
  const std::uint8_t op = bytes[0];
  switch (op) {
    case kSetPrn:
      if (bytes.size() != 3) return respond(op, kInvalidParameter);
      prn_ = static_cast<std::uint16_t>(bytes[1] | (bytes[2] << 8));
      return respond(op, kSuccess);
    case kSelect:
      if (bytes.size() != 2) return respond(op, kInvalidParameter);
      if (bytes[1] == kCommandObject || bytes[1] == kDataObject) currentType_ = bytes[1];
      if (bytes[1] == kCommandObject) return respondOffset(op, command_, options_.maxCommandObjectSize);
      if (bytes[1] == kDataObject) return respondOffset(op, data_, options_.maxDataObjectSize);
      return respond(op, kUnsupportedType);
    case kCreate: {
      if (bytes.size() != 6) return respond(op, kInvalidParameter);
      const std::uint32_t size = get32(bytes, 2);
      packetsSinceReceipt_ = 0;
      if (bytes[1] == kCommandObject) {
        if (size == 0 || size > options_.maxCommandObjectSize) return respond(op, kInsufficientResources);
        currentType_ = kCommandObject;
        command_.clear();
        commandSize_ = size;
        return respond(op, kSuccess);
      }
      if (bytes[1] != kDataObject) return respond(op, kUnsupportedType);
      if (!init_) return respond(op, kNotPermitted);
      if (size == 0 || size > options_.maxDataObjectSize || executedEnd_ + size > init_->size) {
        return respond(op, kInsufficientResources);
      }
      // A new object replaces whatever of an unexecuted one arrived.
      currentType_ = kDataObject;
      data_.resize(executedEnd_);
      openObjectEnd_ = executedEnd_ + size;
      ++dataObjectsCreated_;
      return respond(op, kSuccess);
    }
    case kChecksum:
      return respondOffset(op, currentType_ == kCommandObject ? command_ : data_, std::nullopt);
    case kExecute:
      return execute();
    case kAbort:
      data_.resize(executedEnd_);
      openObjectEnd_.reset();
      return respond(op, kSuccess);
    default:
      return respond(op, kOpNotSupported);
  }
}

void DfuBootloader::receivePacket(const Bytes& bytes) {
  Bytes& held = currentType_ == kCommandObject ? command_ : data_;
  std::size_t limit = currentType_ == kCommandObject ? commandSize_ : openObjectEnd_.value_or(data_.size());
  if (currentType_ == 0) return;
  for (auto byte : bytes) {
    if (held.size() >= limit) break;  // beyond the object: lost, as a real target drops it
    if (currentType_ == kDataObject && faults_.corruptAt == held.size() && faults_.corruptTimes > 0) {
      --faults_.corruptTimes;
      byte = static_cast<std::uint8_t>(byte ^ 0xFF);
      port_.trace("dfu: corrupted byte at " + std::to_string(held.size()));
    }
    held.push_back(byte);
  }
  if (prn_ != 0 && ++packetsSinceReceipt_ == prn_) {
    packetsSinceReceipt_ = 0;
    respondOffset(kChecksum, held, std::nullopt);
  }
  if (currentType_ == kDataObject && faults_.dropLinkAt && data_.size() >= *faults_.dropLinkAt) {
    faults_.dropLinkAt.reset();
    port_.trace("dfu: link lost at " + std::to_string(data_.size()));
    auto drop = port_.dropLink;
    port_.after(0, [drop] { drop(); });
  }
}

void DfuBootloader::execute() {
  if (currentType_ == kCommandObject) {
    if (command_.size() != commandSize_) return respond(kExecute, kNotPermitted);
    if (faults_.refuseInitPacket || command_.size() != 10 || command_[0] != 0x01 ||
        (command_[1] != typeRadioStack && command_[1] != typeBootloader && command_[1] != typeApplication)) {
      return respond(kExecute, kExtendedError, kExtInitCommandInvalid);
    }
    if (command_ != acceptedCommand_) {
      // A new image: what arrived of another one is void.
      acceptedCommand_ = command_;
      data_.clear();
      executedEnd_ = 0;
      openObjectEnd_.reset();
    }
    init_ = InitCommand{command_[1], get32(command_, 2), get32(command_, 6)};
    return respond(kExecute, kSuccess);
  }
  if (currentType_ != kDataObject || !init_) return respond(kExecute, kNotPermitted);
  if (openObjectEnd_) {
    if (data_.size() != *openObjectEnd_) return respond(kExecute, kNotPermitted);
    executedEnd_ = *openObjectEnd_;
    openObjectEnd_.reset();
  }
  if (executedEnd_ < init_->size) return respond(kExecute, kSuccess);
  if (crcOf(data_) != init_->crc) {
    port_.trace("dfu: image refused, its CRC does not match the init packet");
    data_.clear();
    executedEnd_ = 0;
    return respond(kExecute, kExtendedError, kExtHashFailed);
  }
  respond(kExecute, kSuccess);
  // Valid: activate, forget the session and restart once the answer is out.
  activated_ = Image{init_->type, data_, init_->crc};
  ++activations_;
  port_.trace("dfu: image activated, " + std::to_string(data_.size()) + " bytes");
  init_.reset();
  acceptedCommand_.clear();
  command_.clear();
  commandSize_ = 0;
  data_.clear();
  executedEnd_ = 0;
  currentType_ = 0;
  auto drop = port_.dropLink;
  // The restart follows the success answer, never overtakes it.
  port_.after(std::max(0.0, linkFreeAt_ - port_.now()) + options_.responseDelay + options_.activationTime,
              [drop] { drop(); });
}

}  // namespace talvaren::sim

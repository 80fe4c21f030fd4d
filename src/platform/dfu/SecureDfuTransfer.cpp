#include "talvaren/platform/dfu/SecureDfuTransfer.hpp"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "talvaren/platform/Date.hpp"

namespace talvaren::platform::dfu {
namespace secure {

const BluetoothUUID& serviceUUID() {
  static const auto& value = *new auto(BluetoothUUID::fromUInt16(0xFE59));
  return value;
}
const BluetoothUUID& controlPointUUID() {
  static const auto& value = *new auto(*BluetoothUUID::fromString("8EC90001-F315-4F60-9FB8-838830DAEA50"));
  return value;
}
const BluetoothUUID& packetUUID() {
  static const auto& value = *new auto(*BluetoothUUID::fromString("8EC90002-F315-4F60-9FB8-838830DAEA50"));
  return value;
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t running) {
  uLong crc = running;
  // zlib takes at most UINT_MAX bytes a call.
  while (size > 0) {
    auto chunk = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
    crc = ::crc32(crc, data, chunk);
    data += chunk;
    size -= chunk;
  }
  return static_cast<std::uint32_t>(crc);
}

void appendLittleEndian(Bytes& bytes, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint32_t readLittleEndian(const Bytes& bytes, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = 0; i < width; ++i) value |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
  return value;
}

std::optional<Response> parseResponse(const Bytes& value) {
  if (value.size() < 3 || value[0] != opResponse) return std::nullopt;
  Response response;
  response.request = value[1];
  response.result = value[2];
  if (response.result == resultExtendedError) {
    if (value.size() > 3) response.extended = value[3];
    return response;
  }
  if (response.result != resultSuccess) return response;
  if (response.request == opSelect) {
    if (value.size() < 15) return std::nullopt;
    response.maxSize = readLittleEndian(value, 3, 4);
    response.offset = readLittleEndian(value, 7, 4);
    response.crc = readLittleEndian(value, 11, 4);
  } else if (response.request == opCalculateChecksum) {
    if (value.size() < 11) return std::nullopt;
    response.offset = readLittleEndian(value, 3, 4);
    response.crc = readLittleEndian(value, 7, 4);
  }
  return response;
}

std::pair<DFUError, std::string> errorOf(const Response& response) {
  static const std::pair<std::uint8_t, const char*> results[] = {
      {0x02, "Operation code not supported"},
      {0x03, "Invalid parameter"},
      {0x04, "Insufficient resources"},
      {0x05, "Invalid object"},
      {0x07, "Unsupported type"},
      {0x08, "Operation not permitted"},
      {0x0A, "Operation failed"},
  };
  static const char* const extended[] = {
      nullptr,
      nullptr,
      "Init command invalid",
      "Firmware version failure",
      "Hardware version failure",
      "Radio stack version failure",
      "Signature missing",
      "Wrong hash type",
      "Hash failed",
      "Wrong signature type",
      "Verification failed",
      "Insufficient space",
  };
  char code[8];
  if (response.result == resultExtendedError) {
    std::uint8_t ext = response.extended.value_or(0);
    std::snprintf(code, sizeof code, "0x%02X", ext);
    if (ext < std::size(extended) && extended[ext]) {
      return {fromRawValue<DFUError>(600 + ext).value_or(DFUError::remoteExtendedError),
              std::string(extended[ext]) + " (extended error " + code + ")"};
    }
    return {DFUError::remoteExtendedError, std::string("Extended error ") + code};
  }
  std::snprintf(code, sizeof code, "0x%02X", response.result);
  for (const auto& [result, text] : results) {
    if (result == response.result) {
      return {fromRawValue<DFUError>(500 + result).value_or(DFUError::remoteOperationFailed),
              std::string(text) + " (result " + code + ")"};
    }
  }
  return {DFUError::unsupportedResponse, std::string("Unknown result code ") + code};
}

}  // namespace secure

using namespace secure;

namespace {
const char* opName(std::uint8_t op) {
  switch (op) {
    case opCreate:
      return "Create Object";
    case opSetPrn:
      return "Set PRN";
    case opCalculateChecksum:
      return "Calculate Checksum";
    case opExecute:
      return "Execute";
    case opSelect:
      return "Select Object";
    default:
      return "Unknown";
  }
}
}  // namespace

SecureDfuTransfer::SecureDfuTransfer(DFUFirmware::Part part, Options options, SecureDfuLink& link, Events events)
    : part_(std::move(part)), options_(options), link_(link), events_(std::move(events)) {
  if (options_.packetSize == 0) options_.packetSize = 20;
}

void SecureDfuTransfer::log(LogLevel level, const std::string& message) {
  if (events_.log) events_.log(level, message);
}

void SecureDfuTransfer::request(Phase phase, Bytes bytes) {
  phase_ = phase;
  log(LogLevel::verbose, std::string("Writing ") + opName(bytes[0]) + " request");
  link_.writeControlPoint(bytes);
  link_.awaitAnswer();
}

void SecureDfuTransfer::start() {
  Bytes setPrn{opSetPrn};
  appendLittleEndian(setPrn, options_.packetReceiptNotificationParameter, 2);
  request(Phase::setPrn, setPrn);
}

void SecureDfuTransfer::handleNotification(const Bytes& value) {
  if (phase_ == Phase::finished) return;
  auto response = parseResponse(value);
  if (!response) return fail(DFUError::unsupportedResponse, "Unsupported response received");
  if (response->result != resultSuccess) {
    auto [error, message] = errorOf(*response);
    return fail(error, std::string(opName(response->request)) + " failed: " + message);
  }
  std::uint8_t awaited = 0;
  switch (phase_) {
    case Phase::setPrn:
      awaited = opSetPrn;
      break;
    case Phase::selectCommand:
    case Phase::selectData:
      awaited = opSelect;
      break;
    case Phase::createCommand:
    case Phase::createData:
      awaited = opCreate;
      break;
    case Phase::awaitingReceipt:
    case Phase::checksumCommand:
    case Phase::checksumData:
      awaited = opCalculateChecksum;
      break;
    case Phase::executeCommand:
    case Phase::executeData:
      awaited = opExecute;
      break;
    case Phase::finished:
      return;
  }
  if (response->request != awaited) {
    // A receipt may cross a request: it fell due on the object's last packet, just before the checksum
    // request, and says nothing the checksum answer will not.
    if (response->request == opCalculateChecksum) return;
    return fail(DFUError::unsupportedResponse, std::string("Unexpected response to ") + opName(response->request));
  }
  onSuccess(*response);
}

void SecureDfuTransfer::onSuccess(const Response& response) {
  const Bytes& init = part_.initPacket;
  const Bytes& image = part_.image;
  switch (phase_) {
    case Phase::setPrn:
      return request(Phase::selectCommand, {opSelect, objectCommand});
    case Phase::selectCommand:
      if (init.size() > response.maxSize) {
        return fail(DFUError::initPacketTooLarge, "Init packet of " + std::to_string(init.size()) +
                                                      " bytes exceeds the target's maximum of " +
                                                      std::to_string(response.maxSize));
      }
      if (!options_.forceDfu && response.offset == init.size() && response.crc == crc32(init)) {
        log(LogLevel::info, "Init packet already on the target");
        return request(Phase::executeCommand, {opExecute});
      }
      return sendCommandObject();
    case Phase::createCommand: {
      std::size_t packets = 0;
      for (std::size_t at = 0; at < init.size(); at += options_.packetSize, ++packets) {
        auto end = std::min(init.size(), at + options_.packetSize);
        link_.writePacket(
            Bytes(init.begin() + static_cast<std::ptrdiff_t>(at), init.begin() + static_cast<std::ptrdiff_t>(end)));
      }
      // The target reports receipts for the init packet too; one due on the last packet crosses the
      // checksum request and says what its answer will.
      const auto prn = options_.packetReceiptNotificationParameter;
      initReceiptsDue_ = prn != 0 && packets > 0 ? static_cast<int>((packets - 1) / prn) : 0;
      return request(Phase::checksumCommand, {opCalculateChecksum});
    }
    case Phase::checksumCommand:
      if (initReceiptsDue_ > 0 && response.offset < init.size()) {
        --initReceiptsDue_;
        return;
      }
      if (response.offset != init.size() || response.crc != crc32(init)) {
        if (++initRetries_ > options_.maxObjectRetries) return fail(DFUError::crcError, "Init packet CRC mismatch");
        log(LogLevel::warning, "Init packet CRC mismatch, sending it again");
        return sendCommandObject();
      }
      return request(Phase::executeCommand, {opExecute});
    case Phase::executeCommand:
      log(LogLevel::application, "Command object executed");
      return request(Phase::selectData, {opSelect, objectData});
    case Phase::selectData:
      return beginUpload(response);
    case Phase::createData:
      return sendDataPackets();
    case Phase::awaitingReceipt:
      if (response.offset != sent_ || response.crc != crcSent_) return retryObject("receipt");
      reportProgress(sent_);
      return sendDataPackets();
    case Phase::checksumData:
      if (response.offset != objectEnd_ || response.crc != crcSent_) return retryObject("object");
      if (objectEnd_ == image.size() && events_.state) events_.state(DFUState::validating);
      return request(Phase::executeData, {opExecute});
    case Phase::executeData:
      objectStart_ = objectEnd_;
      crcAtObjectStart_ = crcSent_;
      retries_ = 0;
      reportProgress(objectStart_);
      if (objectStart_ >= image.size()) return finish();
      return createDataObject();
    case Phase::finished:
      return;
  }
}

void SecureDfuTransfer::beginUpload(const Response& response) {
  const Bytes& image = part_.image;
  if (response.maxSize == 0) return fail(DFUError::unsupportedResponse, "Target reports data objects of 0 bytes");
  maxObjectSize_ = response.maxSize;
  std::uint32_t start = 0;
  bool executeFirst = false;
  // Carry on from what the target holds when its CRC shows the bytes are ours: from its offset when
  // that ends a whole object (which is executed first, in case it was not), else from the start of the
  // object the offset falls in.
  if (options_.resumeFromTargetOffset && response.offset > 0 && response.offset <= image.size() &&
      crc32(image.data(), response.offset) == response.crc) {
    start = response.offset / maxObjectSize_ * maxObjectSize_;
    executeFirst = start == response.offset;
    if (start > 0) log(LogLevel::info, "Resuming from offset " + std::to_string(start));
  }
  objectStart_ = start;
  crcAtObjectStart_ = crc32(image.data(), start);
  if (events_.state) events_.state(DFUState::uploading);
  uploadStart_ = lastReportTime_ = Date::now().timeIntervalSince1970();
  uploadStartOffset_ = lastReportOffset_ = start;
  reportProgress(start);
  if (!executeFirst) return createDataObject();
  objectEnd_ = start;
  crcSent_ = crcAtObjectStart_;
  if (start == image.size() && events_.state) events_.state(DFUState::validating);
  request(Phase::executeData, {opExecute});
}

void SecureDfuTransfer::sendCommandObject() {
  Bytes create{opCreate, objectCommand};
  appendLittleEndian(create, static_cast<std::uint32_t>(part_.initPacket.size()), 4);
  log(LogLevel::application, "Sending init packet");
  request(Phase::createCommand, create);
}

void SecureDfuTransfer::createDataObject() {
  objectEnd_ = static_cast<std::uint32_t>(std::min<std::size_t>(part_.image.size(), objectStart_ + maxObjectSize_));
  sent_ = objectStart_;
  crcSent_ = crcAtObjectStart_;
  packetsSinceReceipt_ = 0;
  Bytes create{opCreate, objectData};
  appendLittleEndian(create, objectEnd_ - objectStart_, 4);
  request(Phase::createData, create);
}

void SecureDfuTransfer::sendDataPackets() {
  const auto prn = options_.packetReceiptNotificationParameter;
  while (sent_ < objectEnd_) {
    std::uint32_t size = std::min<std::uint32_t>(options_.packetSize, objectEnd_ - sent_);
    const std::uint8_t* data = part_.image.data() + sent_;
    link_.writePacket(Bytes(data, data + size));
    crcSent_ = crc32(data, size, crcSent_);
    sent_ += size;
    if (prn != 0 && ++packetsSinceReceipt_ == prn) {
      packetsSinceReceipt_ = 0;
      if (sent_ < objectEnd_) {
        phase_ = Phase::awaitingReceipt;
        link_.awaitAnswer();
        return;
      }
    }
  }
  request(Phase::checksumData, {opCalculateChecksum});
}

void SecureDfuTransfer::retryObject(const char* where) {
  if (++retries_ > options_.maxObjectRetries) {
    return fail(DFUError::crcError, "CRC mismatch in the data object at offset " + std::to_string(objectStart_) +
                                        " after " + std::to_string(options_.maxObjectRetries) + " retries");
  }
  log(LogLevel::warning, std::string("CRC mismatch at the ") + where + ", sending the object at offset " +
                             std::to_string(objectStart_) + " again");
  createDataObject();
}

void SecureDfuTransfer::reportProgress(std::uint32_t offset) {
  const auto size = part_.image.size();
  int percent = size == 0 ? 100 : static_cast<int>(static_cast<std::uint64_t>(offset) * 100 / size);
  if (percent == lastPercent_ || !events_.progress) return;
  lastPercent_ = percent;
  double now = Date::now().timeIntervalSince1970();
  double current =
      now > lastReportTime_ ? (offset - static_cast<double>(lastReportOffset_)) / (now - lastReportTime_) : 0;
  double average = now > uploadStart_ ? (offset - static_cast<double>(uploadStartOffset_)) / (now - uploadStart_) : 0;
  lastReportTime_ = now;
  lastReportOffset_ = offset;
  events_.progress(percent, current, average);
}

void SecureDfuTransfer::fail(DFUError error, std::string message) {
  if (phase_ == Phase::finished) return;
  phase_ = Phase::finished;
  if (events_.finished) events_.finished(std::make_pair(error, std::move(message)));
}

void SecureDfuTransfer::finish() {
  phase_ = Phase::finished;
  log(LogLevel::application, "Firmware part " + part_.kind + " sent and executed");
  if (events_.finished) events_.finished(std::nullopt);
}

}  // namespace talvaren::platform::dfu

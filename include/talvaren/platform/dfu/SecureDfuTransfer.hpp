#pragma once
// The client side of the Secure DFU protocol for one firmware part, apart from the link that carries
// it: what to write to the control point and the packet characteristic, and what the target's
// control-point notifications mean. The update engine drives it over a Bluetooth link; fuzz targets
// and tests drive it directly.
//
// Flow: Set PRN; the init packet (Select command object, Create, packets, Calculate checksum, Execute;
// or Execute only when the target already holds the same bytes and `forceDfu` is off); then the image
// in objects of the size the target reports (Select data object, then per object Create, packets with a
// CRC check at each receipt notification, Calculate checksum, Execute). A CRC that disagrees makes the
// object go again, a few times at most. Every multi-byte field is little-endian; the CRC is zlib's
// CRC-32 over everything sent of the init packet or the image.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "talvaren/platform/ble/BluetoothUUID.hpp"
#include "talvaren/platform/dfu/DFUFirmware.hpp"
#include "talvaren/platform/dfu/DFUServiceInitiator.hpp"

namespace talvaren::platform::dfu {

namespace secure {
constexpr std::uint8_t opCreate = 0x01;
constexpr std::uint8_t opSetPrn = 0x02;
constexpr std::uint8_t opCalculateChecksum = 0x03;
constexpr std::uint8_t opExecute = 0x04;
constexpr std::uint8_t opSelect = 0x06;
constexpr std::uint8_t opAbort = 0x0C;
constexpr std::uint8_t opResponse = 0x60;
constexpr std::uint8_t objectCommand = 0x01;
constexpr std::uint8_t objectData = 0x02;
constexpr std::uint8_t resultSuccess = 0x01;
constexpr std::uint8_t resultExtendedError = 0x0B;

/// Service 0xFE59 and its control point and packet characteristics.
const BluetoothUUID& serviceUUID();
const BluetoothUUID& controlPointUUID();
const BluetoothUUID& packetUUID();

/// zlib's CRC-32 of `size` bytes, continuing from `running` (0 to start).
std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t running = 0);
inline std::uint32_t crc32(const Bytes& bytes) { return crc32(bytes.data(), bytes.size()); }

void appendLittleEndian(Bytes& bytes, std::uint32_t value, int width);
std::uint32_t readLittleEndian(const Bytes& bytes, std::size_t at, int width);

/// One control-point notification.
struct Response {
  std::uint8_t request = 0;
  std::uint8_t result = 0;
  /// The extended code after result 0x0B, when sent.
  std::optional<std::uint8_t> extended;
  /// Select: max object size, offset, CRC; Calculate checksum and receipts: offset, CRC.
  std::uint32_t maxSize = 0;
  std::uint32_t offset = 0;
  std::uint32_t crc = 0;
};
/// The notification `value`, or none when it is no response or a successful one lacks its payload.
std::optional<Response> parseResponse(const Bytes& value);
/// The error a failed response stands for, with its message.
std::pair<DFUError, std::string> errorOf(const Response& response);
}  // namespace secure

/// What a transfer writes; carried out in order.
class SecureDfuLink {
 public:
  virtual ~SecureDfuLink() = default;
  virtual void writeControlPoint(const Bytes& request) = 0;
  virtual void writePacket(const Bytes& packet) = 0;
  /// The transfer now waits for a notification; the link fails the update if none comes in time.
  virtual void awaitAnswer() = 0;
};

class SecureDfuTransfer {
 public:
  struct Options {
    std::uint16_t packetReceiptNotificationParameter = 0;
    bool forceDfu = false;
    bool resumeFromTargetOffset = false;
    std::uint16_t packetSize = 20;
    /// Times one object is sent again after a CRC disagreement before the update fails.
    int maxObjectRetries = 3;
  };
  struct Events {
    std::function<void(DFUState)> state;
    /// Percent of the part, bytes per second since the last report and since the upload began.
    std::function<void(int, double, double)> progress;
    std::function<void(LogLevel, const std::string&)> log;
    /// The part was sent and executed (no error), or the transfer failed.
    std::function<void(std::optional<std::pair<DFUError, std::string>>)> finished;
  };

  SecureDfuTransfer(DFUFirmware::Part part, Options options, SecureDfuLink& link, Events events);

  /// Begins with Set PRN; call once the control point's notifications are on.
  void start();
  /// A notification of the control point.
  void handleNotification(const Bytes& value);
  bool isFinished() const { return phase_ == Phase::finished; }
  /// Bytes of the image the target has confirmed (CRC-checked) so far.
  std::uint32_t confirmedOffset() const { return objectStart_; }

 private:
  enum class Phase {
    setPrn,
    selectCommand,
    createCommand,
    checksumCommand,
    executeCommand,
    selectData,
    createData,
    awaitingReceipt,
    checksumData,
    executeData,
    finished
  };
  void request(Phase phase, Bytes bytes);
  void onSuccess(const secure::Response& response);
  void beginUpload(const secure::Response& response);
  void log(LogLevel level, const std::string& message);
  void sendCommandObject();
  void createDataObject();
  void sendDataPackets();
  /// The object went wrong in transit: send it again, or fail after too many tries.
  void retryObject(const char* where);
  /// Reports the percent of `offset` when it changed, with the speeds since the last report and the start.
  void reportProgress(std::uint32_t offset);
  void fail(DFUError error, std::string message);
  void finish();

  DFUFirmware::Part part_;
  Options options_;
  SecureDfuLink& link_;
  Events events_;
  Phase phase_ = Phase::setPrn;
  int initRetries_ = 0;
  int initReceiptsDue_ = 0;  // receipts of init packets before the last, still to come ahead of the checksum
  std::uint32_t maxObjectSize_ = 0;
  std::uint32_t objectStart_ = 0;  // first byte of the object in progress; everything before is executed
  std::uint32_t objectEnd_ = 0;
  std::uint32_t crcAtObjectStart_ = 0;
  std::uint32_t sent_ = 0;
  std::uint32_t crcSent_ = 0;
  int packetsSinceReceipt_ = 0;
  int retries_ = 0;
  // Progress and speed.
  double uploadStart_ = 0;
  std::uint32_t uploadStartOffset_ = 0;
  double lastReportTime_ = 0;
  std::uint32_t lastReportOffset_ = 0;
  int lastPercent_ = -1;
};

}  // namespace talvaren::platform::dfu

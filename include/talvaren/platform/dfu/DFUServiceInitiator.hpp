#pragma once
// The firmware-update engine: uploads a `DFUFirmware` to a strap in update mode over the Secure DFU
// protocol (service 0xFE59), through a Bluetooth central of its own on the same radio.
//
//   platform::dfu::DFUServiceInitiator initiator;            // callbacks on the main queue
//   initiator.forceDfu = false;
//   initiator.packetReceiptNotificationParameter = 12;       // CRC report every 12 packets; 0: none
//   initiator.delegate = myServiceDelegate;                  // weak
//   initiator.progressDelegate = myProgressDelegate;         // weak
//   initiator.logger = myLogger;                             // weak
//   auto controller = initiator.with(firmware).start(peripheral);
//
// The update reports its states in order (connecting, starting, uploading, validating, disconnecting,
// completed), progress in percent with the current and average speed, log lines, and at most one
// error; after an error or an abort nothing more is reported. Every callback comes on the queue given
// for it (the main queue by default). The engine keeps running while its controller is held or not.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/RawValue.hpp"
#include "talvaren/platform/ble/Peripheral.hpp"
#include "talvaren/platform/dfu/DFUFirmware.hpp"

namespace talvaren::platform::dfu {

enum class DFUState {
  connecting = 0,
  starting = 1,
  enablingDfuMode = 2,
  uploading = 3,
  validating = 4,
  disconnecting = 5,
  completed = 6,
  aborted = 7,
};

/// Failures of an update. The 500 range is the target's own result code plus 500, the 600 range its
/// extended error code plus 600.
enum class DFUError : std::int64_t {
  fileNotSpecified = 101,
  fileInvalid = 102,
  failedToConnect = 201,
  deviceDisconnected = 202,
  bluetoothDisabled = 203,
  serviceDiscoveryFailed = 301,
  deviceNotSupported = 302,
  enablingControlPointFailed = 303,
  writingCharacteristicFailed = 304,
  receivingNotificationFailed = 305,
  unsupportedResponse = 306,
  crcError = 308,
  initPacketTooLarge = 309,
  deviceNotResponding = 310,
  remoteOpCodeNotSupported = 502,
  remoteInvalidParameter = 503,
  remoteInsufficientResources = 504,
  remoteInvalidObject = 505,
  remoteUnsupportedType = 507,
  remoteOperationNotPermitted = 508,
  remoteOperationFailed = 510,
  remoteExtendedError = 511,
  remoteExtendedInitCommandInvalid = 602,
  remoteExtendedFirmwareVersionFailure = 603,
  remoteExtendedHardwareVersionFailure = 604,
  remoteExtendedStackVersionFailure = 605,
  remoteExtendedSignatureMissing = 606,
  remoteExtendedWrongHashType = 607,
  remoteExtendedHashFailed = 608,
  remoteExtendedWrongSignatureType = 609,
  remoteExtendedVerificationFailed = 610,
  remoteExtendedInsufficientSpace = 611,
};
constexpr std::int64_t rawValue(DFUError error) { return static_cast<std::int64_t>(error); }

enum class LogLevel { debug = 0, verbose = 1, info = 5, application = 10, warning = 15, error = 20 };
/// "debug", "verbose", "info", "application", "warning", "error".
std::string description(LogLevel level);

class DFUServiceDelegate {
 public:
  virtual ~DFUServiceDelegate() = default;
  virtual void dfuStateDidChange(DFUState state) = 0;
  virtual void dfuError(DFUError error, const std::string& message) = 0;
};

class DFUProgressDelegate {
 public:
  virtual ~DFUProgressDelegate() = default;
  /// `part` of `totalParts` (from 1), `progress` in percent of that part, speeds in bytes per second
  /// of the platform clock: since the last report and since the upload of the part began.
  virtual void dfuProgressDidChange(int part, int totalParts, int progress, double currentSpeedBytesPerSecond,
                                    double avgSpeedBytesPerSecond) = 0;
};

class LoggerDelegate {
 public:
  virtual ~LoggerDelegate() = default;
  virtual void logWith(LogLevel level, const std::string& message) = 0;
};

namespace detail {
class SecureDfuSession;
}

/// Steers an update that was started.
class DFUServiceController {
 public:
  /// Stops the update: the target is told to drop the object in progress, the engine's link is
  /// cancelled and the state becomes aborted. False when the update had already ended.
  bool abort();
  /// True until the update completed, failed or was aborted.
  bool isRunning() const;

  explicit DFUServiceController(std::shared_ptr<detail::SecureDfuSession> session) : session_(std::move(session)) {}

 private:
  std::shared_ptr<detail::SecureDfuSession> session_;
};

class DFUServiceInitiator {
 public:
  /// `queue`: where the engine works (the main queue when absent); the others: where the service
  /// delegate, the progress delegate and the logger are called.
  explicit DFUServiceInitiator(std::optional<DispatchQueue> queue = std::nullopt,
                               DispatchQueue delegateQueue = DispatchQueue::main(),
                               DispatchQueue progressQueue = DispatchQueue::main(),
                               DispatchQueue loggerQueue = DispatchQueue::main());

  /// Sends the init packet even when the target reports that it holds it already.
  bool forceDfu = false;
  /// A CRC report from the target after every this many packets (and the sender waits for it); 0: none.
  std::uint16_t packetReceiptNotificationParameter = 0;
  /// Carries on from what the target reports it already holds (whole, CRC-checked objects) instead of
  /// sending every object again.
  bool resumeFromTargetOffset = false;
  /// Bytes written in one packet: the link's ATT MTU less 3 (20 at the default MTU).
  std::uint16_t packetSize = 20;
  /// Seconds to wait for each answer of the target before failing with `deviceNotResponding`.
  double responseTimeout = 10.0;

  std::weak_ptr<DFUServiceDelegate> delegate;
  std::weak_ptr<DFUProgressDelegate> progressDelegate;
  std::weak_ptr<LoggerDelegate> logger;

  /// Chooses the firmware to send.
  DFUServiceInitiator& with(std::shared_ptr<DFUFirmware> firmware);
  /// Starts the update on `target` (a peripheral of any central on the current radio). None when no
  /// firmware was given or `target` is empty.
  std::shared_ptr<DFUServiceController> start(const std::shared_ptr<Peripheral>& target);

 private:
  std::optional<DispatchQueue> queue_;
  DispatchQueue delegateQueue_;
  DispatchQueue progressQueue_;
  DispatchQueue loggerQueue_;
  std::shared_ptr<DFUFirmware> firmware_;
};

}  // namespace talvaren::platform::dfu

namespace talvaren {
template <>
struct RawValueOf<platform::dfu::DFUError> {
  using type = std::int64_t;
};
/// The error of raw value `raw`, or nothing when no case has it.
template <>
std::optional<platform::dfu::DFUError> fromRawValue<platform::dfu::DFUError>(std::int64_t raw);
}  // namespace talvaren

#include "talvaren/platform/dfu/DFUServiceInitiator.hpp"

#include <array>

#include "platform/dfu/SecureDfuSession.hpp"

namespace talvaren::platform::dfu {

std::string description(LogLevel level) {
  switch (level) {
    case LogLevel::debug:
      return "debug";
    case LogLevel::verbose:
      return "verbose";
    case LogLevel::info:
      return "info";
    case LogLevel::application:
      return "application";
    case LogLevel::warning:
      return "warning";
    case LogLevel::error:
      return "error";
  }
  return "unknown";
}

DFUServiceInitiator::DFUServiceInitiator(std::optional<DispatchQueue> queue, DispatchQueue delegateQueue,
                                         DispatchQueue progressQueue, DispatchQueue loggerQueue)
    : queue_(std::move(queue)),
      delegateQueue_(std::move(delegateQueue)),
      progressQueue_(std::move(progressQueue)),
      loggerQueue_(std::move(loggerQueue)) {}

DFUServiceInitiator& DFUServiceInitiator::with(std::shared_ptr<DFUFirmware> firmware) {
  firmware_ = std::move(firmware);
  return *this;
}

std::shared_ptr<DFUServiceController> DFUServiceInitiator::start(const std::shared_ptr<Peripheral>& target) {
  if (!firmware_ || firmware_->parts().empty() || !target) return nullptr;
  SecureDfuTransfer::Options options;
  options.packetReceiptNotificationParameter = packetReceiptNotificationParameter;
  options.forceDfu = forceDfu;
  options.resumeFromTargetOffset = resumeFromTargetOffset;
  options.packetSize = packetSize;
  return std::make_shared<DFUServiceController>(detail::beginSecureDfuSession(detail::SecureDfuSetup{
      queue_.value_or(DispatchQueue::main()), delegateQueue_, progressQueue_, loggerQueue_, delegate, progressDelegate,
      logger, options, responseTimeout > 0 ? responseTimeout : 10.0, firmware_, target->identifier()}));
}

}  // namespace talvaren::platform::dfu

namespace talvaren {
template <>
std::optional<platform::dfu::DFUError> fromRawValue<platform::dfu::DFUError>(std::int64_t raw) {
  using E = platform::dfu::DFUError;
  static constexpr std::array cases{
      E::fileNotSpecified,
      E::fileInvalid,
      E::failedToConnect,
      E::deviceDisconnected,
      E::bluetoothDisabled,
      E::serviceDiscoveryFailed,
      E::deviceNotSupported,
      E::enablingControlPointFailed,
      E::writingCharacteristicFailed,
      E::receivingNotificationFailed,
      E::unsupportedResponse,
      E::crcError,
      E::initPacketTooLarge,
      E::deviceNotResponding,
      E::remoteOpCodeNotSupported,
      E::remoteInvalidParameter,
      E::remoteInsufficientResources,
      E::remoteInvalidObject,
      E::remoteUnsupportedType,
      E::remoteOperationNotPermitted,
      E::remoteOperationFailed,
      E::remoteExtendedError,
      E::remoteExtendedInitCommandInvalid,
      E::remoteExtendedFirmwareVersionFailure,
      E::remoteExtendedHardwareVersionFailure,
      E::remoteExtendedStackVersionFailure,
      E::remoteExtendedSignatureMissing,
      E::remoteExtendedWrongHashType,
      E::remoteExtendedHashFailed,
      E::remoteExtendedWrongSignatureType,
      E::remoteExtendedVerificationFailed,
      E::remoteExtendedInsufficientSpace,
  };
  return detail::caseWithRawValue(cases, raw);
}
}  // namespace talvaren

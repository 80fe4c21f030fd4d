#pragma once
// Private: one Secure DFU session, the whole update of one target (src/platform/dfu/SecureDfuSession.cpp);
// DFUServiceInitiator starts it and DFUServiceController aborts it.

#include <memory>

#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/ble/Peripheral.hpp"
#include "talvaren/platform/dfu/DFUServiceInitiator.hpp"
#include "talvaren/platform/dfu/SecureDfuTransfer.hpp"

namespace talvaren::platform::dfu::detail {

/// What a session needs from its initiator.
struct SecureDfuSetup {
  DispatchQueue queue;
  DispatchQueue delegateQueue, progressQueue, loggerQueue;
  std::weak_ptr<DFUServiceDelegate> delegate;
  std::weak_ptr<DFUProgressDelegate> progressDelegate;
  std::weak_ptr<LoggerDelegate> logger;
  SecureDfuTransfer::Options options;
  double responseTimeout;
  std::shared_ptr<DFUFirmware> firmware;
  PeripheralIdentifier target;
};

/// Starts the update on the setup's queue; the session keeps itself alive until it ends.
std::shared_ptr<SecureDfuSession> beginSecureDfuSession(SecureDfuSetup setup);

}  // namespace talvaren::platform::dfu::detail

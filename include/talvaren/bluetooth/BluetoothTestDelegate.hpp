#pragma once
// What the live test tasks (configTest, configTestMode, setTestMode) report to the host.
// Implemented by the host and set on BluetoothConfiguration::shared(), which holds it weakly; called
// on the thread of the connector's event (see BluetoothConfiguration.hpp). Every member must be implemented.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "talvaren/codecs/BluetoothModeKelo.hpp"
#include "talvaren/codecs/BluetoothStateKelo.hpp"
#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/ble/BluetoothRadio.hpp"
#include "talvaren/platform/ble/Peripheral.hpp"
#include "talvaren/records/HeartRate.hpp"

namespace talvaren {

class BluetoothTestDelegate {
 public:
  virtual ~BluetoothTestDelegate() = default;
  /// RR intervals in milliseconds, with the name of the strap last connected (absent before any).
  virtual void didUpdateRRIntervals(const std::vector<std::int64_t>& rrIntervals,
                                    const std::optional<std::string>& lastConnectedDeviceName) = 0;
  /// Beats per minute and the seconds since 1970 at receipt.
  virtual void didUpdateBPM(std::uint16_t bpm, double timestamp) = 0;
  virtual void didUpdateSignalStrength(std::int64_t signal) = 0;
  virtual void willConnectToRRIntervals() = 0;
  virtual void didConnect() = 0;
  virtual void didDisconnect() = 0;
  virtual void shouldSearchForDevices() = 0;
  /// The radio is powered off.
  virtual void didNotEnabled() = 0;
  virtual void handlerError(const Error& error) = 0;
  /// The strap's answer to the test-mode request.
  virtual void didSetTestMode(bool success) = 0;
  virtual void didGetStateMode(BluetoothModeKelo mode, BluetoothStateKelo state) = 0;
};

}  // namespace talvaren

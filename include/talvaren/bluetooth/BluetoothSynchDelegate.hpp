#pragma once
// What the history download (configSynch) reports to the host.
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

class BluetoothSynchDelegate {
 public:
  virtual ~BluetoothSynchDelegate() = default;
  /// The Kelo strap waits for the user to select synchronisation on it.
  virtual void didSelectSynchKeloDevice() = 0;
  /// The strap's clock, offered once during a synchronisation.
  virtual void didGetTime(bool success, const Date& date) = 0;
  /// The downloaded samples.
  virtual void didSynchHR(const std::vector<HeartRate>& hertRates) = 0;
  virtual void didDisconnect() = 0;
  virtual void shouldSearchForDevices() = 0;
  virtual void handlerError(const Error& error) = 0;
  virtual void didGetStateMode(BluetoothModeKelo mode, BluetoothStateKelo state) = 0;
};

}  // namespace talvaren

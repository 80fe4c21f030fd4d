#pragma once
// What setting the strap's clock (configSetTime, setTime) reports to the host.
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

class BluetoothSetTimeDelegate {
 public:
  virtual ~BluetoothSetTimeDelegate() = default;
  virtual void didSetTime() = 0;
  virtual void didDisconnect() = 0;
  virtual void shouldSearchForDevices() = 0;
  virtual void handlerError(const Error& error) = 0;
};

}  // namespace talvaren

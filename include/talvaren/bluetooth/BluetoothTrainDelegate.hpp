#pragma once
// What a training run (configTrain) reports to the host: live heart rate and the link.
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

class BluetoothTrainDelegate {
 public:
  virtual ~BluetoothTrainDelegate() = default;
  /// Beats per minute and the seconds since 1970 at receipt.
  virtual void didUpdateBPM(std::uint16_t bpm, double timestamp) = 0;
  virtual void didConnect() = 0;
  virtual void didDisconnect() = 0;
  /// The radio is powered off.
  virtual void didNotEnabled() = 0;
  virtual void shouldSearchForDevices() = 0;
  virtual void handlerError(const Error& error) = 0;
};

}  // namespace talvaren

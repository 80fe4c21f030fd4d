#pragma once
// The host's receiver of the device picker's outcome (BluetoothConnectionViewController).

#include <memory>

#include "talvaren/platform/ble/Peripheral.hpp"

namespace talvaren {

class BluetoothConnectionViewControllerDelegate {
 public:
  virtual ~BluetoothConnectionViewControllerDelegate() = default;
  /// "OK" was tapped with a row marked: the strap of that row, before the screen is dismissed.
  virtual void connectToDevice(const std::shared_ptr<platform::Peripheral>& device) = 0;
  /// "Cancel" was tapped; the screen's dismissal has been started.
  virtual void deviceListCanceled() = 0;
};

}  // namespace talvaren

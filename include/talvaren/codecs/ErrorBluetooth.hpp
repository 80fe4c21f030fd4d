#pragma once
// The kit's error values for Bluetooth failures.

#include "talvaren/platform/Error.hpp"

namespace talvaren {

enum class ErrorBluetooth {
  /// A characteristic update that the link decodes carries no value.
  characteristicValue,
  /// The thresholds are to be written to the strap but no strap is saved.
  unknownLastDevice,
  /// A history download went past what a strap can store (HistoryCapacity) and was ended; the
  /// samples it had gathered are dropped.
  historyOverflow,
};

/// The error value handed to the host: domain "TalvarenKit.ErrorBluetooth" and the case's position as
/// its code (0 for characteristicValue, 1 for unknownLastDevice, 2 for historyOverflow); only
/// historyOverflow carries a description of its own.
Error toError(ErrorBluetooth error);

}  // namespace talvaren

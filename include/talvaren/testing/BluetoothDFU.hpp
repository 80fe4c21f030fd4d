#pragma once
// Test-only: the firmware updater's working state, which hosts never see.

#include <memory>

#include "talvaren/firmware/BluetoothDFU.hpp"

namespace talvaren::testkit {

struct BluetoothDFUInspector {
  static std::shared_ptr<platform::Peripheral> peripheral(const BluetoothDFU& updater) { return updater.m_peripheral; }
  static bool timerArmed(const BluetoothDFU& updater) { return updater.m_countTimer != nullptr; }
  static std::shared_ptr<platform::dfu::DFUServiceController> controller(const BluetoothDFU& updater) {
    return updater.m_dfuController;
  }
};

}  // namespace talvaren::testkit

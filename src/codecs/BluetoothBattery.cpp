#include "talvaren/codecs/BluetoothBattery.hpp"

#include <utility>

#include "talvaren/codecs/BluetoothUtils.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/UserDefaults.hpp"

namespace talvaren {

BluetoothBattery::BluetoothBattery(std::shared_ptr<platform::UserDefaults> defaults_)
    : defaults(defaults_ ? std::move(defaults_) : platform::UserDefaults::standard()) {}

BatteryLevelReport BluetoothBattery::getLevel(const Bytes& data, bool enableSynch) const {
  if (data.empty()) return {};
  const auto level = BluetoothUtils::readInteger<std::uint8_t>(data, 0);
  console::print("battery level = " + std::to_string(level));

  const std::string key50 = enableSynch ? BatteryLevelSynch50Key : BatteryLevel50Key;
  const std::string key25 = enableSynch ? BatteryLevelSynch25Key : BatteryLevel25Key;
  const std::string key10 = enableSynch ? BatteryLevelSynch10Key : BatteryLevel10Key;
  auto& store = defaults ? *defaults : *platform::UserDefaults::standard();

  auto reportOnce = [&](const std::string& key) -> BatteryLevelReport {
    if (!store.boolForKey(key)) return {true, level, key};
    return {false, level, ""};
  };

  if (level >= 26 && level <= 50) {
    store.set(false, key25);
    store.set(false, key10);
    return reportOnce(key50);
  }
  if (level >= 11 && level <= 25) {
    store.set(false, key10);
    return reportOnce(key25);
  }
  if (level <= 10) return reportOnce(key10);
  store.set(false, key50);
  store.set(false, key25);
  store.set(false, key10);
  return {false, level, ""};
}

}  // namespace talvaren

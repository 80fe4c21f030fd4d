// Command frames to the strap: hex text in, one write without response out.

#include <cctype>

#include "bluetooth/ConnectorState.hpp"
#include "talvaren/bluetooth/BluetoothConnector.hpp"
#include "talvaren/codecs/HexExtensions.hpp"
#include "talvaren/utilities/DataExtensions.hpp"

namespace talvaren {

void BluetoothConnector::sendHRMValue(const std::string& value) {
  writeFrame("-----------> sendHRUValue characteristic = ", value, characteristic());
}

void BluetoothConnector::sendHRMValue(const std::string& value, const CharacteristicPtr& characteristic) {
  writeFrame("-----------> sendHRUValue set characteristic = ", value, characteristic);
}

void BluetoothConnector::writeFrame(const char* prefix, const std::string& value, const CharacteristicPtr& target) {
  std::string upper = value;
  for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (!target) return;
  // Text that is not hex never reaches the strap, nor the log.
  auto bytes = dataFromHexEncodedString(upper);
  if (!bytes) return;
  connector::log(prefix + target->description() + "  value = " + upper + " checkDate = " + hexEncodedString(*bytes) +
                 ")");
  if (auto held = peripheral()) held->writeValue(*bytes, target, platform::WriteType::withoutResponse);
}

}  // namespace talvaren

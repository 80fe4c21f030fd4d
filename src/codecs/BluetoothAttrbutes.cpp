#include "talvaren/codecs/BluetoothAttrbutes.hpp"

#include "Lowercase.hpp"
#include "talvaren/utilities/TalvarenLocalize.hpp"

namespace talvaren {
namespace {

bool nameContains(std::string_view deviceName, std::string_view lowerCaseNeedle) {
  return detail::lowercased(deviceName).find(lowerCaseNeedle) != std::string::npos;
}

}  // namespace

bool BluetoothAttrbutes::isCompatibleRecoveryDeviceWithKelo(std::optional<std::string_view> deviceName) {
  if (!deviceName) return false;
  return nameContains(*deviceName, "kelo-") || nameContains(*deviceName, "talvaren-10001");
}

bool BluetoothAttrbutes::isCompatibleRecoveryDeviceWithHrm(std::optional<std::string_view> deviceName) {
  if (!deviceName) return false;
  return nameContains(*deviceName, "hrm") || nameContains(*deviceName, "ravo");
}

bool BluetoothAttrbutes::isCompatibleRecoveryDevice(std::optional<std::string_view> deviceName) {
  if (!deviceName) return false;
  if (nameContains(*deviceName, "lumo") || nameContains(*deviceName, "talvaren")) return true;
  if (isCompatibleRecoveryDeviceWithKelo(deviceName)) return true;
  // The language is asked afresh for each of the two checks, and only when the name tests above
  // said no.
  if (TalvarenLocalize::shared()->currentLanguage() == "ja" && isCompatibleRecoveryDeviceWithHrm(deviceName)) return true;
  if (TalvarenLocalize::shared()->currentLanguage() == "pl" && isCompatibleRecoveryDeviceWithHrm(deviceName)) return true;
  return false;
}

}  // namespace talvaren

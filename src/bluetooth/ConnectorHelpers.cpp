// What the connector's handlers share: the log texts of platform objects, the reading of a value or the
// report of why there is none, and the check of a strap's clock against the current time.

#include "bluetooth/ConnectorState.hpp"
#include "talvaren/codecs/ErrorBluetooth.hpp"
#include "talvaren/platform/Calendar.hpp"
#include "talvaren/utilities/DateExtensions.hpp"

namespace talvaren::connector {

std::string byteList(const Bytes& bytes) {
  std::string text = "[";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i) text += ", ";
    text += std::to_string(bytes[i]);
  }
  return text + "]";
}

std::string valueDescription(const std::optional<Bytes>& value) {
  return value ? std::to_string(value->size()) + " bytes" : "nil";
}

std::string peripheralDescription(const BluetoothConnector::PeripheralPtr& peripheral) {
  return peripheral ? peripheral->description() : "nil";
}

std::optional<Bytes> valueOrReport(const std::shared_ptr<BluetoothConnectorDelegate>& delegate,
                                   const BluetoothConnector::CharacteristicPtr& characteristic,
                                   const std::optional<Error>& error, bool reportMissing) {
  if (error) {
    if (delegate) delegate->didGetError(*error);
    return std::nullopt;
  }
  auto value = characteristic->value();
  if (!value && reportMissing && delegate) delegate->didGetError(toError(ErrorBluetooth::characteristicValue));
  return value;
}

std::optional<Bytes> packetOrReport(const std::shared_ptr<BluetoothConnectorDelegate>& delegate,
                                    const BluetoothConnector::CharacteristicPtr& characteristic,
                                    const std::optional<Error>& error) {
  auto value = characteristic->value();
  if (!value || !error) return value;
  if (delegate) delegate->didGetError(*error);
  return std::nullopt;
}

bool clockIsClose(const std::string& prefix, const Date& date) {
  auto years = platform::Calendar::current()
                   .dateComponents({platform::CalendarComponent::year}, date, UTCToLocalTime(Date::now()))
                   .year;
  log(prefix + std::to_string(years.value_or(0)));
  return years && *years >= -2 && *years <= 2;
}

}  // namespace talvaren::connector

#include "talvaren/records/Device.hpp"

namespace talvaren {

std::optional<Device> Device::fromJSON(const JSON& json) {
  if (!json.is_object()) return std::nullopt;
  Device device;
  device.owner_ = Json::read<std::int64_t>(json, OwnerKey).value_or(0);
  Json::read(json, DevicesIdKey, device.devicesId_);
  device.isDefault_ = Json::read<bool>(json, IsDefaultKey).value_or(false);
  return device;
}

std::optional<JSON> Device::toJSON() const {
  return Json::jsonify(
      Json::write(OwnerKey, owner_),
      Json::write(DevicesIdKey, devicesId_),
      Json::write(IsDefaultKey, isDefault_));
}

}  // namespace talvaren

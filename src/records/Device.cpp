#include "talvaren/records/Device.hpp"

#include <mutex>

#include "talvaren/platform/Screen.hpp"

namespace talvaren {
namespace {

// One screen length, taken from the main screen's bounds on first use.
class ScreenLength {
 public:
  explicit ScreenLength(double (*fromBounds)(const platform::Rect&)) : fromBounds_(fromBounds) {}

  double get() {
    std::lock_guard lock(mutex_);
    if (!value_) value_ = fromBounds_(platform::Screen::mainBounds());
    return *value_;
  }
  void set(double value) {
    std::lock_guard lock(mutex_);
    value_ = value;
  }

 private:
  std::mutex mutex_;
  std::optional<double> value_;
  double (*fromBounds_)(const platform::Rect&);
};

ScreenLength& height() {
  static auto& length = *new ScreenLength([](const platform::Rect& bounds) { return bounds.height; });
  return length;
}

ScreenLength& width() {
  static auto& length = *new ScreenLength([](const platform::Rect& bounds) { return bounds.width; });
  return length;
}

}  // namespace

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

double Device::screenHeight() { return height().get(); }
void Device::setScreenHeight(double height) { talvaren::height().set(height); }
double Device::screenWidth() { return width().get(); }
void Device::setScreenWidth(double width) { talvaren::width().set(width); }

}  // namespace talvaren

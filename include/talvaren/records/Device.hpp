#pragma once
// A strap registered to the user's account, and the main screen's size as class-wide values.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "talvaren/platform/Json.hpp"

namespace talvaren {

/// Keys read and written alike: "owner" (0 when the JSON gives none), "device_id", "is_default" (false
/// when the JSON gives none). Fixed once built. No ordering, no equality.
class Device {
 public:
  /// Always a device for a JSON object; a missing or mistyped key gives the defaults above.
  static std::optional<Device> fromJSON(const JSON& json);
  /// "owner" and "is_default" always, "device_id" when present.
  std::optional<JSON> toJSON() const;

  /// Key of the user who owns the device.
  std::int64_t owner() const { return owner_; }
  const std::optional<std::string>& devicesId() const { return devicesId_; }
  /// Whether this is the user's default device.
  bool isDefault() const { return isDefault_; }

  /// The main screen's height and width in points, class-wide: each takes the main screen's bounds
  /// on its first use and then keeps its value until set. Nothing in the kit reads them.
  static double screenHeight();
  static void setScreenHeight(double height);
  static double screenWidth();
  static void setScreenWidth(double width);

 private:
  static constexpr std::string_view OwnerKey = "owner";
  static constexpr std::string_view DevicesIdKey = "device_id";
  static constexpr std::string_view IsDefaultKey = "is_default";

  Device() = default;

  std::int64_t owner_ = 0;
  std::optional<std::string> devicesId_;
  bool isDefault_ = false;
};

}  // namespace talvaren

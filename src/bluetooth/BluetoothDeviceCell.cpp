#include "talvaren/bluetooth/BluetoothDeviceCell.hpp"

namespace talvaren {

bool BluetoothDeviceCell::setOutlet(const std::string& name, const std::shared_ptr<platform::ui::View>& view) {
  if (name == "deviceNameLabel") {
    auto label = std::dynamic_pointer_cast<platform::ui::Label>(view);
    if (label) deviceNameLabel_ = label;
    return label != nullptr;
  }
  if (name == "checkImage") {
    auto image = std::dynamic_pointer_cast<platform::ui::ImageView>(view);
    if (image) checkImage_ = image;
    return image != nullptr;
  }
  return false;
}

}  // namespace talvaren

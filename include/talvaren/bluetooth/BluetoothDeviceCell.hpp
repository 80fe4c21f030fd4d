#pragma once
// A row of the device picker: the strap's name and a check mark, both connected by the row's nib
// "BluetoothDeviceCell". The picker fills them.

#include <memory>
#include <string>

#include "talvaren/platform/ui/ImageView.hpp"
#include "talvaren/platform/ui/Label.hpp"
#include "talvaren/platform/ui/TableViewCell.hpp"

namespace talvaren {

class BluetoothDeviceCell : public platform::ui::TableViewCell {
 public:
  using TableViewCell::TableViewCell;

  std::shared_ptr<platform::ui::Label> deviceNameLabel() const { return deviceNameLabel_.lock(); }
  void setDeviceNameLabel(std::weak_ptr<platform::ui::Label> label) { deviceNameLabel_ = std::move(label); }
  std::shared_ptr<platform::ui::ImageView> checkImage() const { return checkImage_.lock(); }
  void setCheckImage(std::weak_ptr<platform::ui::ImageView> image) { checkImage_ = std::move(image); }

  /// The outlets "deviceNameLabel" (a Label) and "checkImage" (an ImageView).
  bool setOutlet(const std::string& name, const std::shared_ptr<platform::ui::View>& view) override;

 private:
  std::weak_ptr<platform::ui::Label> deviceNameLabel_;
  std::weak_ptr<platform::ui::ImageView> checkImage_;
};

}  // namespace talvaren

#pragma once
// The device picker: a ready-made modal screen that lists every strap the shared connector discovers,
// once per advertised name, lets the user mark one row, and on "OK" hands the marked strap to its
// delegate; on "Cancel" it tells the delegate that the choice was abandoned. It connects to nothing
// itself: the host connects the chosen strap through the facade.
//
//   if (!BluetoothConnectionViewController::showBluetoothConnectionViewController(hostScreen)) {
//     // Bluetooth is off: the connector's central was started; show the picker again once it is on.
//   }
//   // or, to receive the choice:
//   auto picker = BluetoothConnectionViewController::storyboardInstance();
//   picker->setDelegate(host);
//   hostScreen->present(picker, true);
//
// When its view loads the screen makes itself the shared connector's delegate, replacing any other
// (the facade's included), and never gives that role back; the facade takes it back at its next
// operation. When it appears it asks the connector to search. The connector reports discoveries on
// "bluetoothQueue"; the screen moves each to the main queue, where everything else of it runs.
//
// A marked row stays marked when later discoveries reload the list.

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "talvaren/bluetooth/BluetoothConnectionViewControllerDelegate.hpp"
#include "talvaren/bluetooth/BluetoothConnector.hpp"
#include "talvaren/bluetooth/BluetoothConnectorDelegate.hpp"
#include "talvaren/platform/ui/Button.hpp"
#include "talvaren/platform/ui/IndexPath.hpp"
#include "talvaren/platform/ui/Label.hpp"
#include "talvaren/platform/ui/Nib.hpp"
#include "talvaren/platform/ui/OutletOwner.hpp"
#include "talvaren/platform/ui/TableView.hpp"
#include "talvaren/platform/ui/TableViewDataSource.hpp"
#include "talvaren/platform/ui/TableViewDelegate.hpp"
#include "talvaren/platform/ui/ViewController.hpp"

namespace talvaren {

class BluetoothConnectionViewController : public platform::ui::ViewController,
                                          public platform::ui::TableViewDataSource,
                                          public platform::ui::TableViewDelegate,
                                          public platform::ui::OutletOwner,
                                          public BluetoothConnectorDelegate {
  struct Token {
    explicit Token() = default;
  };

 public:
  using Device = std::pair<std::string, std::shared_ptr<platform::Peripheral>>;

  /// When Bluetooth is powered on: queues on the main queue the presentation of a new screen from
  /// `presenting` (animated) and returns true at once. Otherwise starts the connector's central with
  /// fire(), presents nothing and returns false.
  static bool showBluetoothConnectionViewController(const std::shared_ptr<platform::ui::ViewController>& presenting);
  /// A new screen from the kit's storyboard "BluetoothConnectionScreen" (identifier "BluetoothScreen");
  /// null when the storyboard or the screen cannot be found.
  static std::shared_ptr<BluetoothConnectionViewController> storyboardInstance();
  /// A screen whose root view is `layout` (none: a plain view, with no outlets).
  static std::shared_ptr<BluetoothConnectionViewController> create(std::shared_ptr<const platform::ui::Nib> layout);

  BluetoothConnectionViewController(Token, std::shared_ptr<const platform::ui::Nib> layout);

  // Outlets, connected by the storyboard.
  std::shared_ptr<platform::ui::TableView> tableView() const { return tableView_.lock(); }
  void setTableView(std::weak_ptr<platform::ui::TableView> view) { tableView_ = std::move(view); }
  std::shared_ptr<platform::ui::Button> confirmButton() const { return confirmButton_.lock(); }
  void setConfirmButton(std::weak_ptr<platform::ui::Button> button) { confirmButton_ = std::move(button); }
  std::shared_ptr<platform::ui::Button> cancelButton() const { return cancelButton_.lock(); }
  void setCancelButton(std::weak_ptr<platform::ui::Button> button) { cancelButton_ = std::move(button); }
  std::shared_ptr<platform::ui::Label> selectDevice() const { return selectDevice_.lock(); }
  void setSelectDevice(std::weak_ptr<platform::ui::Label> label) { selectDevice_ = std::move(label); }

  /// The host's receiver of the choice, held weakly.
  std::shared_ptr<BluetoothConnectionViewControllerDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(std::weak_ptr<BluetoothConnectionViewControllerDelegate> delegate) {
    delegate_ = std::move(delegate);
  }
  /// The shared connector while the screen is up: set when the view loads, cleared on dismissal.
  std::shared_ptr<BluetoothConnector> bluetoothConnector() const { return bluetoothConnector_; }
  void setBluetoothConnector(std::shared_ptr<BluetoothConnector> connector) {
    bluetoothConnector_ = std::move(connector);
  }
  /// The listed straps in order of discovery, one per name; row n shows entry n. Main queue only.
  const std::vector<Device>& devices() const { return devices_; }
  /// The marked row, if any. Main queue only.
  std::optional<platform::ui::IndexPath> lastSelectedCell() const { return lastSelectedCell_; }
  void setLastSelectedCell(std::optional<platform::ui::IndexPath> indexPath) { lastSelectedCell_ = indexPath; }

  /// The heading "Select Device" and the button titles "OK" and "Cancel".
  virtual void setupLang();
  /// "Cancel": dismisses the screen, then tells the delegate deviceListCanceled().
  virtual void handleCancelButtonTapped(platform::ui::Button& sender);
  /// "OK": with a row marked, hands its strap to the delegate's connectToDevice, then dismisses the
  /// screen; with none, does nothing.
  virtual void handleConfirmButtonTapped(platform::ui::Button& sender);
  /// Lets go of the connector and dismisses the screen (animated). The scan goes on.
  virtual void dismissViewController();

  // The list.
  std::size_t numberOfSections(platform::ui::TableView& tableView) override;
  std::size_t numberOfRowsInSection(platform::ui::TableView& tableView, std::size_t section) override;
  std::shared_ptr<platform::ui::TableViewCell> cellForRowAt(platform::ui::TableView& tableView,
                                                            const platform::ui::IndexPath& indexPath) override;
  void didSelectRowAt(platform::ui::TableView& tableView, const platform::ui::IndexPath& indexPath) override;
  void didDeselectRowAt(platform::ui::TableView& tableView, const platform::ui::IndexPath& indexPath) override;

  /// From "bluetoothQueue": the strap is listed on the main queue unless its name is listed already.
  void didDiscoverDevice(const std::shared_ptr<platform::Peripheral>& device, const std::string& named,
                         const platform::AdvertisementData& advertisementData) override;

  /// The outlets "tableView", "confirmButton", "cancelButton" and "selectDevice".
  bool setOutlet(const std::string& name, const std::shared_ptr<platform::ui::View>& view) override;

 protected:
  void loadView() override;
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;

 private:
  void listDevice(const std::shared_ptr<platform::Peripheral>& device, const std::string& named,
                  const platform::AdvertisementData& advertisementData);

  std::weak_ptr<platform::ui::TableView> tableView_;
  std::weak_ptr<platform::ui::Button> confirmButton_;
  std::weak_ptr<platform::ui::Button> cancelButton_;
  std::weak_ptr<platform::ui::Label> selectDevice_;
  std::weak_ptr<BluetoothConnectionViewControllerDelegate> delegate_;
  std::shared_ptr<BluetoothConnector> bluetoothConnector_;
  std::vector<Device> devices_;
  std::optional<platform::ui::IndexPath> lastSelectedCell_;
  std::shared_ptr<const platform::ui::Nib> layout_;
};

}  // namespace talvaren

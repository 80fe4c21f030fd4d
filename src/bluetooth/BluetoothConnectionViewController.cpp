#include "talvaren/bluetooth/BluetoothConnectionViewController.hpp"

#include <algorithm>
#include <mutex>

#include "talvaren/bluetooth/BluetoothDeviceCell.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/HexText.hpp"
#include "talvaren/platform/ui/ClassRegistry.hpp"
#include "talvaren/platform/ui/ImageAsset.hpp"
#include "talvaren/platform/ui/KitBundle.hpp"
#include "talvaren/platform/ui/Storyboard.hpp"

namespace talvaren {
namespace {

using platform::ui::IndexPath;

constexpr const char* StoryboardName = "BluetoothConnectionScreen";
constexpr const char* ScreenIdentifier = "BluetoothScreen";
constexpr const char* CellIdentifier = "BluetoothDeviceCell";
constexpr const char* BlankCheckIcon = "blank_check_icon";
constexpr const char* GreenCheckIcon = "green_check_icon";

/// The screen and its row are classes the kit's layouts name.
void registerClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    platform::ui::ClassRegistry::registerViewController(
        "BluetoothConnectionViewController",
        [](std::shared_ptr<const platform::ui::Nib> layout) -> std::shared_ptr<platform::ui::ViewController> {
          return BluetoothConnectionViewController::create(std::move(layout));
        });
    platform::ui::ClassRegistry::registerView(CellIdentifier, [] { return std::make_shared<BluetoothDeviceCell>(); });
  });
}

std::shared_ptr<const platform::Image> kitImage(const char* name) {
  return platform::ui::ImageAsset::named(name, platform::ui::KitBundle::shared());
}

/// "[isConnectable: true, localName: Kelo-0001, serviceUUIDs: [180D]]": the present entries, by key.
std::string describe(const platform::AdvertisementData& data) {
  std::vector<std::string> entries;
  entries.push_back(std::string("isConnectable: ") + (data.isConnectable ? "true" : "false"));
  if (data.localName) entries.push_back("localName: " + *data.localName);
  if (data.manufacturerData) entries.push_back("manufacturerData: " + platform::hexText(*data.manufacturerData));
  if (!data.serviceUUIDs.empty()) {
    std::string uuids;
    for (const auto& uuid : data.serviceUUIDs) uuids += (uuids.empty() ? "" : ", ") + uuid.uuidString();
    entries.push_back("serviceUUIDs: [" + uuids + "]");
  }
  if (data.txPowerLevel) entries.push_back("txPowerLevel: " + std::to_string(*data.txPowerLevel));
  std::string text;
  for (const auto& entry : entries) text += (text.empty() ? "" : ", ") + entry;
  return "[" + text + "]";
}

}  // namespace

bool BluetoothConnectionViewController::showBluetoothConnectionViewController(
    const std::shared_ptr<platform::ui::ViewController>& presenting) {
  auto connector = BluetoothConnector::sharedInstance();
  if (!connector->isPowerOn()) {
    connector->fire();
    return false;
  }
  platform::DispatchQueue::main().async([presenting] {
    auto screen = storyboardInstance();
    if (screen && presenting) presenting->present(screen, true);
  });
  return true;
}

std::shared_ptr<BluetoothConnectionViewController> BluetoothConnectionViewController::storyboardInstance() {
  registerClasses();
  auto storyboard = platform::ui::Storyboard::named(StoryboardName, platform::ui::KitBundle::shared());
  if (!storyboard) return nullptr;
  return std::dynamic_pointer_cast<BluetoothConnectionViewController>(
      storyboard->instantiateViewController(ScreenIdentifier));
}

std::shared_ptr<BluetoothConnectionViewController> BluetoothConnectionViewController::create(
    std::shared_ptr<const platform::ui::Nib> layout) {
  return std::make_shared<BluetoothConnectionViewController>(Token{}, std::move(layout));
}

BluetoothConnectionViewController::BluetoothConnectionViewController(Token,
                                                                     std::shared_ptr<const platform::ui::Nib> layout)
    : layout_(std::move(layout)) {}

bool BluetoothConnectionViewController::setOutlet(const std::string& name,
                                                  const std::shared_ptr<platform::ui::View>& view) {
  auto take = [&]<typename V>(std::weak_ptr<V>& outlet) {
    auto typed = std::dynamic_pointer_cast<V>(view);
    if (typed) outlet = typed;
    return typed != nullptr;
  };
  if (name == "tableView") return take(tableView_);
  if (name == "confirmButton") return take(confirmButton_);
  if (name == "cancelButton") return take(cancelButton_);
  if (name == "selectDevice") return take(selectDevice_);
  return false;
}

void BluetoothConnectionViewController::loadView() {
  if (layout_) {
    if (auto root = layout_->instantiate(this)) {
      setView(std::move(root));
      return;
    }
  }
  ViewController::loadView();
}

void BluetoothConnectionViewController::viewDidLoad() {
  ViewController::viewDidLoad();
  console::print("BluetoothConnectionViewController viewDidLoad");
  setupLang();
  bluetoothConnector_ = BluetoothConnector::sharedInstance();
  // Always held by a shared pointer: the only constructor is reached through create().
  auto self = std::static_pointer_cast<BluetoothConnectionViewController>(weak_from_this().lock());
  if (!self) return;
  bluetoothConnector_->setDelegate(std::static_pointer_cast<BluetoothConnectorDelegate>(self));
  if (auto button = cancelButton()) {
    button->addTarget(self, &BluetoothConnectionViewController::handleCancelButtonTapped,
                      platform::ui::ControlEvent::touchUpInside);
  }
  if (auto button = confirmButton()) {
    button->addTarget(self, &BluetoothConnectionViewController::handleConfirmButtonTapped,
                      platform::ui::ControlEvent::touchUpInside);
  }
  if (auto table = tableView()) {
    registerClasses();
    table->registerNib(platform::ui::Nib::named(CellIdentifier, platform::ui::KitBundle::shared()), CellIdentifier);
    table->setDelegate(std::static_pointer_cast<platform::ui::TableViewDelegate>(self));
    table->setDataSource(std::static_pointer_cast<platform::ui::TableViewDataSource>(self));
    table->setTableFooterView(nullptr);
    table->setTableHeaderView(nullptr);
    table->setRowHeight(platform::ui::TableView::automaticDimension);
    table->setEstimatedRowHeight(30.5);
  }
}

void BluetoothConnectionViewController::setupLang() {
  if (auto label = selectDevice()) label->setText("Select Device");
  if (auto button = confirmButton()) button->setTitle("OK", platform::ui::ControlState::normal);
  if (auto button = cancelButton()) button->setTitle("Cancel", platform::ui::ControlState::normal);
}

void BluetoothConnectionViewController::viewWillAppear(bool animated) {
  ViewController::viewWillAppear(animated);
  if (bluetoothConnector_) bluetoothConnector_->searchForDevices();
}

void BluetoothConnectionViewController::didDiscoverDevice(const std::shared_ptr<platform::Peripheral>& device,
                                                          const std::string& named,
                                                          const platform::AdvertisementData& advertisementData) {
  // Runs on "bluetoothQueue": the list belongs to the main queue, the name test included.
  std::weak_ptr<platform::ui::ViewController> weak = weak_from_this();
  platform::DispatchQueue::main().async([weak, device, named, advertisementData] {
    if (auto screen = std::static_pointer_cast<BluetoothConnectionViewController>(weak.lock())) {
      screen->listDevice(device, named, advertisementData);
    }
  });
}

void BluetoothConnectionViewController::listDevice(const std::shared_ptr<platform::Peripheral>& device,
                                                   const std::string& named,
                                                   const platform::AdvertisementData& advertisementData) {
  if (std::any_of(devices_.begin(), devices_.end(), [&](const Device& entry) { return entry.first == named; })) return;
  console::print("didDiscoverDevice named = " + named + " device = " + (device ? device->description() : "nil") +
                 " advertisementData = " + describe(advertisementData));
  devices_.emplace_back(named, device);
  if (auto table = tableView()) {
    table->reloadData();
    if (lastSelectedCell_) table->selectRow(lastSelectedCell_, false, platform::ui::TableViewScrollPosition::bottom);
  }
}

std::size_t BluetoothConnectionViewController::numberOfSections(platform::ui::TableView&) { return 1; }

std::size_t BluetoothConnectionViewController::numberOfRowsInSection(platform::ui::TableView&, std::size_t) {
  return devices_.size();
}

std::shared_ptr<platform::ui::TableViewCell> BluetoothConnectionViewController::cellForRowAt(
    platform::ui::TableView& tableView, const IndexPath& indexPath) {
  auto cell = std::dynamic_pointer_cast<BluetoothDeviceCell>(tableView.dequeueReusableCell(CellIdentifier, indexPath));
  if (!cell) return std::make_shared<platform::ui::TableViewCell>();
  // The marked row keeps its mark when the list is set up again (a discovery reloads it).
  if (auto check = cell->checkImage()) {
    check->setImage(kitImage(lastSelectedCell_ == indexPath ? GreenCheckIcon : BlankCheckIcon));
  }
  cell->setSelectionStyle(platform::ui::TableViewCellSelectionStyle::none);
  if (auto label = cell->deviceNameLabel(); label && indexPath.row < devices_.size()) {
    label->setText(devices_[indexPath.row].first);
  }
  return cell;
}

void BluetoothConnectionViewController::didSelectRowAt(platform::ui::TableView& tableView, const IndexPath& indexPath) {
  // Every row is set up unmarked, then the tapped one is marked.
  lastSelectedCell_.reset();
  tableView.reloadData();
  if (auto cell = std::dynamic_pointer_cast<BluetoothDeviceCell>(tableView.cellForRow(indexPath))) {
    if (auto check = cell->checkImage()) check->setImage(kitImage(GreenCheckIcon));
    lastSelectedCell_ = indexPath;
  }
}

void BluetoothConnectionViewController::didDeselectRowAt(platform::ui::TableView& tableView,
                                                         const IndexPath& indexPath) {
  if (auto cell = std::dynamic_pointer_cast<BluetoothDeviceCell>(tableView.cellForRow(indexPath))) {
    if (auto check = cell->checkImage()) check->setImage(kitImage(BlankCheckIcon));
  }
  lastSelectedCell_.reset();
}

void BluetoothConnectionViewController::handleConfirmButtonTapped(platform::ui::Button&) {
  if (!lastSelectedCell_ || lastSelectedCell_->row >= devices_.size()) return;
  if (auto host = delegate()) host->connectToDevice(devices_[lastSelectedCell_->row].second);
  dismissViewController();
}

void BluetoothConnectionViewController::handleCancelButtonTapped(platform::ui::Button&) {
  dismissViewController();
  if (auto host = delegate()) host->deviceListCanceled();
}

void BluetoothConnectionViewController::dismissViewController() {
  bluetoothConnector_.reset();
  dismiss(true);
}

}  // namespace talvaren

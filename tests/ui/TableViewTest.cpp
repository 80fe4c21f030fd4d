// Tables, layouts and the kit's own resources of the headless screen layer.

#include <gtest/gtest.h>

#include <fstream>

#include "talvaren/platform/ui/ClassRegistry.hpp"
#include "talvaren/platform/ui/ImageAsset.hpp"
#include "talvaren/platform/ui/KitBundle.hpp"
#include "talvaren/platform/ui/Label.hpp"
#include "talvaren/platform/ui/Nib.hpp"
#include "talvaren/platform/ui/Storyboard.hpp"
#include "talvaren/platform/ui/TableView.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/Storage.hpp"

using namespace talvaren;
using namespace talvaren::platform::ui;
using Lines = std::vector<std::string>;

namespace {

/// A row with a label outlet; it notes when it wakes.
class NameCell : public TableViewCell {
 public:
  bool setOutlet(const std::string& name, const std::shared_ptr<View>& view) override {
    if (name != "name") return false;
    label = std::dynamic_pointer_cast<Label>(view);
    return label != nullptr;
  }
  void awakeFromNib() override { woken = true; }
  std::shared_ptr<Label> label;
  bool woken = false;
};

/// A list of names; writes every question and selection it is told of into a trace.
class Names : public TableViewDataSource, public TableViewDelegate {
 public:
  std::size_t numberOfRowsInSection(TableView&, std::size_t) override { return names.size(); }
  std::shared_ptr<TableViewCell> cellForRowAt(TableView& table, const IndexPath& path) override {
    trace.push_back("cell " + std::to_string(path.row));
    auto cell = std::dynamic_pointer_cast<NameCell>(table.dequeueReusableCell("Name", path));
    if (cell) cell->label->setText(names[path.row]);
    if (reloadInside) {
      reloadInside = false;
      table.reloadData();
    }
    return cell;
  }
  void didSelectRowAt(TableView& table, const IndexPath& path) override {
    trace.push_back("select " + std::to_string(path.row) + " selected " +
                    std::to_string(table.indexPathForSelectedRow()->row));
  }
  void didDeselectRowAt(TableView& table, const IndexPath& path) override {
    trace.push_back("deselect " + std::to_string(path.row) + (table.indexPathForSelectedRow() ? " still" : ""));
  }
  Lines names;
  Lines trace;
  bool reloadInside = false;
};

struct Layouts {
  testkit::TemporaryAppHome home;
  std::shared_ptr<platform::Bundle> bundle = std::make_shared<platform::Bundle>(home.path());

  Layouts() {
    ClassRegistry::registerView("NameCell", [] { return std::make_shared<NameCell>(); });
  }
  void write(const std::string& file, const std::string& content) const {
    std::ofstream(home.path() / file) << content;
  }
};

Lines texts(const TableView& table) {
  Lines seen;
  for (auto& cell : table.visibleCells()) seen.push_back(*std::dynamic_pointer_cast<NameCell>(cell)->label->text());
  return seen;
}

}  // namespace

TEST(TableView, ReloadAsksForEveryRowReusesCellsAndATapMovesTheSingleSelection) {
  Layouts layouts;
  layouts.write("Name.nib", R"({"root": {"class": "NameCell", "subviews": [{"class": "Label", "outlet": "name"}]}})");
  auto table = std::make_shared<TableView>();
  auto names = std::make_shared<Names>();
  names->names = {"a", "b", "c"};
  table->registerNib(Nib::named("Name", layouts.bundle), "Name");
  table->setDataSource(names);
  table->setDelegate(names);

  names->reloadInside = true;  // a reload asked for during one follows it
  table->reloadData();
  EXPECT_EQ(names->trace, (Lines{"cell 0", "cell 1", "cell 2", "cell 0", "cell 1", "cell 2"}));
  EXPECT_EQ(texts(*table), (Lines{"a", "b", "c"}));
  auto first = table->cellForRow({0, 0});
  EXPECT_TRUE(std::dynamic_pointer_cast<NameCell>(first)->woken);
  EXPECT_EQ(first->superview(), table);

  names->trace.clear();
  table->tapRow({0, 1});
  table->tapRow({0, 2});
  table->tapRow({0, 7});  // outside the table
  EXPECT_EQ(names->trace, (Lines{"select 1 selected 1", "deselect 1", "select 2 selected 2"}));
  EXPECT_FALSE(table->cellForRow({0, 1})->isSelected());
  EXPECT_TRUE(table->cellForRow({0, 2})->isSelected());

  // Reloading drops the selection and hands the same cells out again, unselected.
  names->names = {"c", "b", "a"};
  auto shown = table->visibleCells();
  table->reloadData();
  EXPECT_EQ(table->indexPathForSelectedRow(), std::nullopt);
  EXPECT_EQ(texts(*table), (Lines{"c", "b", "a"}));
  for (auto& cell : table->visibleCells()) {
    EXPECT_NE(std::find(shown.begin(), shown.end(), cell), shown.end());
    EXPECT_FALSE(cell->isSelected());
  }

  // The data source is held weakly: once it is gone the table is empty. A table without a nib for an
  // identifier dequeues nothing.
  names.reset();
  table->reloadData();
  EXPECT_EQ(table->numberOfRows(0), 0u);
  EXPECT_EQ(table->dequeueReusableCell("Other", {0, 0}), nullptr);
}

TEST(Layouts, OutletsConnectToTheOwnerOrTheRootAndFaultyLayoutsGiveNothing) {
  Layouts layouts;
  testkit::ConsoleCapture console;
  layouts.write("Screen.storyboard", R"({"scenes": {"Main": {"class": "TestScreen", "view": {"class": "View",
      "frame": [0, 0, 320, 480], "subviews": [{"class": "Label", "outlet": "title", "text": "Hello"},
      {"class": "Label", "outlet": "nowhere"}]}}, "Other": {"class": "Unregistered"}}})");
  struct TestScreen : ViewController, OutletOwner {
    bool setOutlet(const std::string& name, const std::shared_ptr<View>& view) override {
      if (name != "title") return false;
      title = std::dynamic_pointer_cast<Label>(view);
      return true;
    }
    void loadView() override { setView(layout->instantiate(this)); }
    std::shared_ptr<const Nib> layout;
    std::weak_ptr<Label> title;
  };
  ClassRegistry::registerViewController("TestScreen", [](std::shared_ptr<const Nib> layout) {
    auto screen = std::make_shared<TestScreen>();
    screen->layout = std::move(layout);
    return screen;
  });
  auto storyboard = Storyboard::named("Screen", layouts.bundle);
  ASSERT_NE(storyboard, nullptr);
  auto screen = std::dynamic_pointer_cast<TestScreen>(storyboard->instantiateViewController("Main"));
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(screen->view()->frame(), (platform::Rect{0, 0, 320, 480}));
  ASSERT_NE(screen->title.lock(), nullptr);
  EXPECT_EQ(screen->title.lock()->text(), "Hello");
  EXPECT_EQ(screen->title.lock()->superview(), screen->view());  // the view keeps what the outlet holds weakly
  EXPECT_TRUE(console.contains("A layout's outlet nowhere has no place to connect to"));
  EXPECT_EQ(storyboard->instantiateViewController("Other"), nullptr);
  EXPECT_EQ(storyboard->instantiateViewController("Missing"), nullptr);

  // Missing files, broken JSON, wrong shapes and unknown classes give nothing; nothing throws.
  layouts.write("Broken.nib", R"({"root": {"class": "View", "frame": [0, 0]}})");
  layouts.write("Text.nib", "{not json");
  layouts.write("Unknown.nib", R"({"root": {"class": "View", "subviews": [{"class": "Slider"}]}})");
  layouts.write("Broken.storyboard", R"({"scenes": {"Main": {"view": {"class": "View"}}}})");
  EXPECT_EQ(Nib::named("Absent", layouts.bundle), nullptr);
  EXPECT_EQ(Nib::named("Broken", layouts.bundle), nullptr);
  EXPECT_EQ(Nib::named("Text", layouts.bundle), nullptr);
  EXPECT_EQ(Storyboard::named("Broken", layouts.bundle), nullptr);
  auto unknown = Nib::named("Unknown", layouts.bundle);
  ASSERT_NE(unknown, nullptr);
  EXPECT_EQ(unknown->instantiate(), nullptr);
  EXPECT_TRUE(console.contains("Unknown class Slider in a layout"));
}

// The kit's resources are compiled into the library: no folder, nothing read from disk.
TEST(KitBundle, ShipsThePickersLayoutsAndTwoDistinctMarks) {
  auto kit = KitBundle::shared();
  EXPECT_TRUE(kit->bundlePath().empty());
  EXPECT_EQ(kit->objectForInfoDictionaryKey("CFBundleName"), nlohmann::json("TalvarenKit"));
  EXPECT_FALSE(kit->pathForResource("BluetoothDeviceCell", "nib"));
  ASSERT_TRUE(kit->dataForResource("BluetoothDeviceCell", "nib"));
  EXPECT_FALSE(kit->embeddedResource("../resources/Info", "json"));
  EXPECT_NE(Storyboard::named("BluetoothConnectionScreen", kit), nullptr);
  EXPECT_NE(Nib::named("BluetoothDeviceCell", kit), nullptr);
  auto blank = ImageAsset::named("blank_check_icon", kit);
  auto green = ImageAsset::named("green_check_icon", kit);
  ASSERT_NE(blank, nullptr);
  ASSERT_NE(green, nullptr);
  EXPECT_EQ(ImageAsset::named("green_check_icon", kit), green);  // decoded once
  EXPECT_NE(*blank, *green);
  EXPECT_EQ(green->width(), green->height());
  EXPECT_EQ(ImageAsset::named("missing_icon", kit), nullptr);
}

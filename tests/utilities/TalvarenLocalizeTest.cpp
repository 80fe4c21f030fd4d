#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "talvaren/platform/Bundle.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/testing/Storage.hpp"
#include "talvaren/utilities/TalvarenLocalize.hpp"

using namespace talvaren;
namespace fs = std::filesystem;

namespace {

class TalvarenLocalizeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("talvaren-localize-" + std::to_string(std::random_device{}()));
    bundleDir_ = root_ / "App";
    fs::create_directories(bundleDir_);
    defaults_ = platform::UserDefaults::inMemory();
    testkit::setStandardUserDefaults(defaults_);
  }
  void TearDown() override {
    platform::Bundle::setMain(nullptr);
    testkit::resetStandardUserDefaults();
    fs::remove_all(root_);
  }

  void writeTable(const fs::path& folder, const std::string& content, const std::string& table = "Localizable") {
    fs::create_directories(folder);
    std::ofstream(folder / (table + ".strings")) << content;
  }
  std::shared_ptr<platform::Bundle> makeMainBundle() {
    auto bundle = std::make_shared<platform::Bundle>(bundleDir_, nlohmann::json::object());
    platform::Bundle::setMain(bundle);
    return bundle;
  }
  void setLanguage(const nlohmann::json& value) { defaults_->set(value, LCLCurrentLanguageKey); }

  fs::path root_;
  fs::path bundleDir_;
  std::shared_ptr<platform::UserDefaults> defaults_;
};

}  // namespace

TEST_F(TalvarenLocalizeTest, LooksUpTheCurrentLanguageThenBaseThenTheKey) {
  writeTable(bundleDir_ / "de.lproj", "\"hello\" = \"Hallo\";\n");
  writeTable(bundleDir_ / "Base.lproj", "\"hello\" = \"Hello\";\n\"bye\" = \"Goodbye\";\n");
  writeTable(bundleDir_ / "de.lproj", "\"hello\" = \"Servus\";\n", "Greetings");
  auto bundle = makeMainBundle();

  setLanguage("de");
  EXPECT_EQ(localized("hello"), "Hallo");
  EXPECT_EQ(localized("hello", bundle), "Hallo");
  EXPECT_EQ(localized("hello", std::string("Greetings"), nullptr), "Servus");
  // The folder was found: a key missing there is returned as it is, Base is not tried.
  EXPECT_EQ(localized("bye"), "bye");

  setLanguage("fr");
  EXPECT_EQ(localized("hello"), "Hello");
  EXPECT_EQ(localized("bye"), "Goodbye");

  fs::remove_all(bundleDir_ / "Base.lproj");
  EXPECT_EQ(localized("hello"), "hello");
  // A bundle that is not the main one.
  writeTable(root_ / "Other" / "fr.lproj", "\"hello\" = \"Bonjour\";\n");
  EXPECT_EQ(localized("hello", platform::Bundle::atPath(root_ / "Other")), "Bonjour");
}

TEST_F(TalvarenLocalizeTest, ALanguageThatIsNoPlainFolderNameHasNoFolder) {
  writeTable(bundleDir_ / "Base.lproj", "\"hello\" = \"Hello\";\n");
  writeTable(root_ / "outside.lproj", "\"hello\" = \"Outside\";\n");
  writeTable(bundleDir_ / "a" / "b.lproj", "\"hello\" = \"Nested\";\n");
  makeMainBundle();
  for (const char* language : {"../outside", "..", ".", "a/b", "", "/tmp"}) {
    setLanguage(language);
    EXPECT_EQ(localized("hello"), "Hello") << language;
  }
}

TEST_F(TalvarenLocalizeTest, CurrentLanguageComesFromUserDefaultsWhenItIsAText) {
  writeTable(bundleDir_ / "Base.lproj", "");
  writeTable(bundleDir_ / "en.lproj", "");
  auto bundle = makeMainBundle();
  bundle->setPreferredLocalizations({"en"});
  EXPECT_EQ(TalvarenLocalize::shared()->currentLanguage(), "en");
  setLanguage("ja");
  EXPECT_EQ(TalvarenLocalize::shared()->currentLanguage(), "ja");
  setLanguage(42);
  EXPECT_EQ(TalvarenLocalize::shared()->currentLanguage(), TalvarenLocalize::shared()->defaultLanguage());
}

TEST_F(TalvarenLocalizeTest, AvailableAndDefaultLanguagesComeFromTheMainBundle) {
  EXPECT_TRUE(TalvarenLocalize::shared()->availableLanguages().empty());
  EXPECT_EQ(TalvarenLocalize::shared()->defaultLanguage(), "en");

  writeTable(bundleDir_ / "Base.lproj", "");
  writeTable(bundleDir_ / "en.lproj", "");
  auto bundle = makeMainBundle();
  EXPECT_EQ(TalvarenLocalize::shared()->availableLanguages(), (std::vector<std::string>{"Base", "en"}));
  EXPECT_EQ(TalvarenLocalize::shared()->availableLanguages(true), (std::vector<std::string>{"en"}));

  bundle->setPreferredLocalizations({"fr"});
  EXPECT_EQ(TalvarenLocalize::shared()->defaultLanguage(), "en");
  writeTable(bundleDir_ / "pl.lproj", "");
  bundle->setPreferredLocalizations({"pl", "en"});
  EXPECT_EQ(TalvarenLocalize::shared()->defaultLanguage(), "pl");
  EXPECT_EQ(TalvarenLocalize::shared()->currentLanguage(), "pl");
}

namespace {

/// A subclass that offers only German.
class GermanOnly : public TalvarenLocalize {
 public:
  std::vector<std::string> availableLanguages(bool) const override { return {"de"}; }
};

/// A subclass whose default is French.
class AlwaysFrench : public TalvarenLocalize {
 public:
  std::string defaultLanguage() const override { return "fr"; }
};

}  // namespace

TEST_F(TalvarenLocalizeTest, OverridesInASubclassAreUsedByTheOperationsBuiltOnThem) {
  // The main bundle offers only "en" but prefers "de".
  writeTable(bundleDir_ / "en.lproj", "");
  makeMainBundle()->setPreferredLocalizations({"de"});
  EXPECT_EQ(TalvarenLocalize::shared()->defaultLanguage(), "en");
  EXPECT_EQ(TalvarenLocalize::shared()->currentLanguage(), "en");
  // A subclass that offers "de" gets it as its default and, with nothing stored, as its current language.
  EXPECT_EQ(GermanOnly().defaultLanguage(), "de");
  EXPECT_EQ(GermanOnly().currentLanguage(), "de");
  EXPECT_EQ(AlwaysFrench().currentLanguage(), "fr");
  // A stored language still wins.
  setLanguage("pl");
  EXPECT_EQ(AlwaysFrench().currentLanguage(), "pl");
}

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "talvaren/platform/Bundle.hpp"
#include "talvaren/platform/Screen.hpp"
#include "talvaren/testing/Storage.hpp"

using namespace talvaren;
using platform::Bundle;

namespace {

void writeFile(const std::filesystem::path& file, const std::string& content) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

/// A resources directory with an information dictionary and the given localisation tables.
class BundleTest : public ::testing::Test {
 protected:
  std::filesystem::path resources() const { return home.path() / "Resources"; }
  void addTable(const std::string& language, const std::string& content, const std::string& table = "Localizable") {
    writeFile(resources() / (language + ".lproj") / (table + ".strings"), content);
  }

  testkit::TemporaryAppHome home;
};

}  // namespace

TEST(BundleStringsTest, ParsesEntriesCommentsAndEscapes) {
  auto table = Bundle::parseStrings(R"(/* A comment "with" quotes; */
"Search" = "Suchen";   // trailing comment
"quote \"in\" key" = "line\nbreak\ttab \\ back";
unquoted_key = "value";
"lone";
"unicode" = "\U00e9\u20AC\UD83D\UDE00";
"octal" = "\101\0102";
"escaped other" = "\q\'";
"multi
line" = "";
"Search" = "Finden";
)");
  ASSERT_TRUE(table);
  EXPECT_EQ(table->at("Search"), "Finden");  // the last value of a key wins
  EXPECT_EQ(table->at("quote \"in\" key"), "line\nbreak\ttab \\ back");
  EXPECT_EQ(table->at("unquoted_key"), "value");
  EXPECT_EQ(table->at("lone"), "lone");
  EXPECT_EQ(table->at("unicode"), "\u00e9\u20ac\U0001F600");
  EXPECT_EQ(table->at("octal"), "A\b2");  // at most three octal digits
  EXPECT_EQ(table->at("escaped other"), "q'");
  EXPECT_EQ(table->at("multi\nline"), "");
  EXPECT_EQ(table->size(), 8u);
  EXPECT_EQ(Bundle::parseStrings("")->size(), 0u);
  EXPECT_EQ(Bundle::parseStrings("  // only a comment")->size(), 0u);
  // A lone surrogate becomes the replacement character.
  EXPECT_EQ(Bundle::parseStrings(R"("a" = "\UD800x";)")->at("a"), "\ufffdx");
}

TEST(BundleStringsTest, ReadsUtf16AndUtf8WithMarks) {
  auto utf16 = [](bool little, std::u16string text) {
    std::string bytes = little ? "\xff\xfe" : "\xfe\xff";
    for (char16_t unit : text) {
      char low = static_cast<char>(unit & 0xff), high = static_cast<char>(unit >> 8);
      bytes += little ? low : high;
      bytes += little ? high : low;
    }
    return bytes;
  };
  EXPECT_EQ(Bundle::parseStrings(utf16(true, u"\"k\" = \"\u00fc\U0001F600\";"))->at("k"), "\u00fc\U0001F600");
  EXPECT_EQ(Bundle::parseStrings(utf16(false, u"\"k\" = \"v\";"))->at("k"), "v");
  EXPECT_EQ(Bundle::parseStrings("\xef\xbb\xbf\"k\" = \"v\";")->at("k"), "v");
  EXPECT_FALSE(Bundle::parseStrings(utf16(true, u"\"k\" = \"v\";") + "x"));         // odd length
  EXPECT_FALSE(Bundle::parseStrings(utf16(true, u"\"k\" = \"\xD800\";")));          // unpaired surrogate
}

TEST(BundleStringsTest, RejectsDamagedTablesWhole) {
  for (const char* damaged : {R"("a" = "b")", R"("a" = "b";  "c" = "d")", R"("a" "b";)", R"("a" = ;)",
                              R"("a = "b";)", R"("a" = "b\)", "/* open", R"(= "b";)", R"("a" = "b";;)",
                              "\"a\" = \"\xc3\";", R"("a" = "\U";)", "\"a\" = \"b\";\n#"}) {
    EXPECT_FALSE(Bundle::parseStrings(damaged)) << damaged;
  }
}

TEST_F(BundleTest, InfoDictionaryComesFromTheDirectoryOrTheHost) {
  writeFile(resources() / "Info.json", R"({"CFBundleShortVersionString": "2.3", "CFBundleVersion": 41})");
  auto bundle = Bundle::atPath(resources());
  ASSERT_TRUE(bundle);
  EXPECT_EQ(bundle->objectForInfoDictionaryKey("CFBundleShortVersionString"), nlohmann::json("2.3"));
  EXPECT_EQ(bundle->objectForInfoDictionaryKey("CFBundleVersion"), nlohmann::json(41));
  EXPECT_FALSE(bundle->objectForInfoDictionaryKey("missing"));

  Bundle given(resources(), nlohmann::json{{"CFBundleVersion", "7"}});
  EXPECT_EQ(given.objectForInfoDictionaryKey("CFBundleVersion"), nlohmann::json("7"));

  writeFile(resources() / "Info.json", "[1]");
  EXPECT_FALSE(Bundle(resources()).infoDictionary());
  EXPECT_FALSE(Bundle().infoDictionary());
  EXPECT_FALSE(Bundle::atPath(resources() / "missing"));
  EXPECT_FALSE(Bundle::atPath(resources() / "Info.json"));
}

TEST_F(BundleTest, MainBundleIsEmptyUntilTheHostSetsOne) {
  Bundle::setMain(nullptr);
  EXPECT_TRUE(Bundle::main()->bundlePath().empty());
  EXPECT_TRUE(Bundle::main()->localizations().empty());
  EXPECT_EQ(Bundle::main()->localizedString("key"), "key");
  auto bundle = std::make_shared<Bundle>(resources());
  Bundle::setMain(bundle);
  EXPECT_EQ(Bundle::main(), bundle);
  Bundle::setMain(nullptr);
  EXPECT_NE(Bundle::main(), bundle);
}

TEST_F(BundleTest, LocalisationFoldersAndPreferredOrder) {
  addTable("en", R"("k" = "en";)");
  addTable("Base", R"("k" = "base";)");
  addTable("de", R"("k" = "de";)");
  writeFile(resources() / "fr.lproj", "a file, not a folder");
  Bundle bundle(resources());
  EXPECT_EQ(bundle.localizations(), (std::vector<std::string>{"Base", "de", "en"}));
  EXPECT_EQ(bundle.preferredLocalizations(), std::vector<std::string>{"de"});
  Bundle english(resources(), nlohmann::json{{"CFBundleDevelopmentRegion", "en"}});
  EXPECT_EQ(english.preferredLocalizations(), std::vector<std::string>{"en"});
  EXPECT_EQ(english.localizedString("k"), "en");
  Bundle missingRegion(resources(), nlohmann::json{{"CFBundleDevelopmentRegion", "fr"}});
  EXPECT_EQ(missingRegion.preferredLocalizations(), std::vector<std::string>{"de"});
  bundle.setPreferredLocalizations({"fr"});
  EXPECT_EQ(bundle.preferredLocalizations(), std::vector<std::string>{"fr"});
  // No "fr.lproj" folder: the base table answers.
  EXPECT_EQ(bundle.localizedString("k"), "base");
}

TEST_F(BundleTest, LookupInALocalisationFolderBundle) {
  addTable("de", R"("Cancel" = "Abbrechen";)");
  addTable("de", R"("Cancel" = "Abbruch";)", "Other");
  addTable("Base", R"x("Cancel" = "Cancel (base)"; "OnlyBase" = "b";)x");
  auto folder = Bundle(resources()).pathForResource("de", "lproj");
  ASSERT_TRUE(folder);
  EXPECT_EQ(*folder, resources() / "de.lproj");
  EXPECT_FALSE(Bundle(resources()).pathForResource("ja", "lproj"));
  auto german = Bundle::atPath(*folder);
  ASSERT_TRUE(german);
  EXPECT_EQ(german->localizedString("Cancel"), "Abbrechen");
  EXPECT_EQ(german->localizedString("Cancel", "", "Other"), "Abbruch");
  // A key the found table lacks gives the key (or the given value); the base table is not asked.
  EXPECT_EQ(german->localizedString("OnlyBase"), "OnlyBase");
  EXPECT_EQ(german->localizedString("OnlyBase", "fallback"), "fallback");
  EXPECT_EQ(german->localizedString("Cancel", "", "NoSuchTable"), "Cancel");
}

TEST_F(BundleTest, NamesNeverLeadOutOfTheBundle) {
  // The language name comes from stored settings; a folder beside the bundle must stay out of reach.
  writeFile(home.path() / "outside.lproj" / "Localizable.strings", R"("k" = "outside";)");
  writeFile(home.path() / "Elsewhere.strings", R"("k" = "elsewhere";)");
  addTable("Base", R"("k" = "base";)");
  Bundle bundle(resources());
  for (const char* name : {"../outside", "..", ".", "de/../../outside", "/"}) {
    EXPECT_FALSE(bundle.pathForResource(name, "lproj")) << name;
  }
  EXPECT_FALSE(bundle.pathForResource("Elsewhere", "strings/.."));
  EXPECT_EQ(bundle.localizedString("k", "", "../Elsewhere"), "k");
  bundle.setPreferredLocalizations({"../outside"});
  EXPECT_EQ(bundle.localizedString("k"), "base");
  EXPECT_EQ(bundle.pathForResource("Localizable", "strings"), resources() / "Base.lproj" / "Localizable.strings");
}

TEST_F(BundleTest, DamagedTableAnswersWithTheKey) {
  addTable("de", "\"Cancel\" = \"Abbrechen\"");  // no semicolon
  auto german = Bundle::atPath(resources() / "de.lproj");
  ASSERT_TRUE(german);
  EXPECT_EQ(german->localizedString("Cancel"), "Cancel");
  addTable("de", "\xff\xd8\xff binary junk");
  EXPECT_EQ(Bundle::atPath(resources() / "de.lproj")->localizedString("Cancel"), "Cancel");
}

TEST(ScreenTest, BoundsAreZeroUntilTheHostSetsThem) {
  EXPECT_EQ(platform::Screen::mainBounds(), platform::Rect{});
  platform::Screen::setMainBounds({0, 0, 390, 844});
  EXPECT_EQ(platform::Screen::mainBounds().height, 844);
  EXPECT_EQ(platform::Screen::mainBounds().width, 390);
  platform::Screen::setMainBounds({});
}

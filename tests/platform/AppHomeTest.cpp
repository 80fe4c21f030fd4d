#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/testing/Storage.hpp"

using namespace talvaren;
using platform::AppHome;

TEST(AppHomeTest, LayoutUnderTheHomeAndNothingCreatedByLookup) {
  testkit::TemporaryAppHome home;
  EXPECT_EQ(AppHome::path(), home.path());
  EXPECT_EQ(AppHome::documentsPath(), home.path() / "Documents");
  EXPECT_EQ(AppHome::userDefaultsPath(), home.path() / "UserDefaults.json");
  EXPECT_EQ(AppHome::keychainPath("SarvikDesign.TalvarenIOS"), home.path() / "Keychains" / "SarvikDesign.TalvarenIOS.keychain");
  EXPECT_TRUE(std::filesystem::is_empty(home.path()));
}

TEST(AppHomeTest, KeychainFileNamesStayInsideTheFolderAndApart) {
  testkit::TemporaryAppHome home;
  auto folder = AppHome::keychainsPath();
  for (const char* service : {"../escape", "a/b", "..", ".hidden", "", "%", "sp ace", "\xc3\xa9"}) {
    auto file = AppHome::keychainPath(service);
    EXPECT_EQ(file.parent_path(), folder) << service;
    EXPECT_NE(file.filename().string().front(), '.') << service;
  }
  EXPECT_NE(AppHome::keychainPath("a/b"), AppHome::keychainPath("a%2Fb"));
  EXPECT_NE(AppHome::keychainPath(""), AppHome::keychainPath("%"));
  EXPECT_NE(AppHome::keychainPath("a.b"), AppHome::keychainPath("a_b"));
  // The names files already carry: "~" escaped, "." plain except first.
  EXPECT_EQ(AppHome::keychainPath(".a~b.c-_").filename(), "%2Ea%7Eb.c-_.keychain");
}

TEST(AppHomeTest, SetPathOverridesAndEmptyRestoresTheDefault) {
  auto defaultHome = AppHome::defaultPath();
  EXPECT_TRUE(defaultHome.is_absolute());
  {
    testkit::TemporaryAppHome outer;
    {
      testkit::TemporaryAppHome inner;
      EXPECT_EQ(AppHome::path(), inner.path());
    }
    EXPECT_EQ(AppHome::path(), outer.path());
    // The standard user defaults follow the home.
    AppHome::setPath(outer.path() / "elsewhere");
    EXPECT_EQ(platform::UserDefaults::standard()->file(), outer.path() / "elsewhere" / "UserDefaults.json");
    AppHome::setPath(outer.path());
  }
  EXPECT_FALSE(AppHome::customPath().has_value());
  EXPECT_EQ(AppHome::path(), defaultHome);
}

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "support/JsonText.hpp"
#include "talvaren/api/PersistencyManager.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/Keychain.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/Storage.hpp"

using namespace talvaren;
namespace fs = std::filesystem;

namespace {

using testkit::parsed;

std::string contentOf(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

void writeText(const fs::path& path, std::string_view text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
}

User sampleUser() {
  User user("Jo", "Doe", "");
  user.pk = 42;
  user.email = "jo@example.com";
  user.userName = "jo";
  user.password = "secret";
  UserProfile profile;
  profile.weight = "72,5";
  profile.hasBand = true;
  user.profile = profile;
  user.preferences = User::Preferences{{"units", PreferencesData("units", "p1", "metric")}};
  return user;
}

class PersistencyManagerTest : public ::testing::Test {
 protected:
  testkit::TemporaryAppHome home;
  fs::path userFile = home.path() / "Documents" / "Data" / "user.json";
  std::shared_ptr<PersistencyManager> manager = PersistencyManager::sharedInstance();
};

}  // namespace

TEST_F(PersistencyManagerTest, UserRoundTrip) {
  testkit::ConsoleCapture console;
  ASSERT_TRUE(manager->saveUser(sampleUser()));
  EXPECT_TRUE(fs::is_regular_file(userFile));
  EXPECT_EQ(contentOf(userFile).find("secret"), std::string::npos);

  auto user = manager->getUser();
  ASSERT_TRUE(user);
  EXPECT_EQ(user->toJSON(), sampleUser().toJSON());
  EXPECT_EQ(user->pk, 42);
  EXPECT_EQ(user->password, std::nullopt);
  EXPECT_EQ(user->profile->weight, "72.5");
  EXPECT_EQ(user->preferences->at("units").value, "metric");
  EXPECT_EQ(manager->currentUser, std::nullopt);
  EXPECT_EQ(PersistencyManager::sharedInstance(), manager);
}

TEST_F(PersistencyManagerTest, UserDataAndCredentialsArePrivateWhateverTheUmask) {
  struct OpenUmask {
    mode_t previous = ::umask(0);
    ~OpenUmask() { ::umask(previous); }
  } openUmask;
  // A home the kit creates itself, with every folder on the way.
  const auto root = home.path() / "app";
  platform::AppHome::setPath(root);
  ASSERT_TRUE(manager->saveUser(sampleUser()));
  ASSERT_FALSE(platform::Keychain("SarvikDesign.TalvarenIOS").set("t", "ConnectorToken"));
  auto defaults = platform::UserDefaults::persistent(platform::AppHome::userDefaultsPath());
  defaults->set(42, "owner");
  ASSERT_FALSE(defaults->lastSaveError());

  auto modeOf = [](const fs::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0xffffu;
  };
  for (const auto& folder :
       {root, root / "Documents", root / "Documents" / "Data", platform::AppHome::keychainsPath()}) {
    EXPECT_EQ(modeOf(folder), 0700u) << folder;
  }
  for (const auto& file :
       {root / "Documents" / "Data" / "user.json", platform::AppHome::keychainPath("SarvikDesign.TalvarenIOS"),
        platform::AppHome::userDefaultsPath()}) {
    EXPECT_EQ(modeOf(file), 0600u) << file;
  }
}

TEST_F(PersistencyManagerTest, MissingDamagedAndMisshapenFilesGiveNoUser) {
  {
    testkit::ConsoleCapture console;
    EXPECT_FALSE(manager->getUser());
    EXPECT_EQ(console.lines(), std::vector<std::string>{"fileNotFound"});
  }
  // Reading made the folder.
  ASSERT_TRUE(fs::is_directory(userFile.parent_path()));
  for (const char* text : {"{\"first_name\": ", "\x01\x02 binary", "[{\"first_name\": \"Jo\"}]", "7"}) {
    writeText(userFile, text);
    testkit::ConsoleCapture console;
    EXPECT_FALSE(manager->getUser()) << text;
    EXPECT_EQ(console.lines(), std::vector<std::string>{"fileNotRead"}) << text;
  }
  // A well-formed object that is no user.
  writeText(userFile, R"({"pk": 1, "email": "a@b.c"})");
  testkit::ConsoleCapture console;
  EXPECT_FALSE(manager->getUser());
  EXPECT_TRUE(console.lines().empty());
  EXPECT_EQ(PersistencyManager::readFromJSON("user"), parsed(R"({"pk": 1, "email": "a@b.c"})"));
}

TEST_F(PersistencyManagerTest, AFailedSaveKeepsThePreviousUser) {
  ASSERT_TRUE(manager->saveUser(sampleUser()));
  auto before = contentOf(userFile);
  auto broken = sampleUser();
  broken.firstName = std::string("J\xc3");
  testkit::ConsoleCapture console;
  EXPECT_FALSE(manager->saveUser(broken));
  EXPECT_TRUE(console.contains("jsonNotSerialized"));
  EXPECT_EQ(console.lines().back(), "fileNotSaved");
  EXPECT_EQ(contentOf(userFile), before);
  EXPECT_EQ(manager->getUser()->firstName, "Jo");
}

TEST_F(PersistencyManagerTest, HostJSONNestedTooDeepIsNotSavedAndNothingOverflows) {
  ASSERT_TRUE(PersistencyManager::saveDataToJSON("notes", parsed(R"({"kept": true})")));
  const auto before = contentOf(home.path() / "Documents" / "Data" / "notes.json");
  const auto nested = [](int levels) {
    JSON value = JSON::object();
    for (int i = 1; i < levels; ++i) {
      JSON outer = JSON::object();
      outer["a"] = std::move(value);
      value = std::move(outer);
    }
    return value;
  };
  const JSON deep = nested(100000);
  testkit::ConsoleCapture console;
  EXPECT_FALSE(PersistencyManager::saveDataToJSON("notes", deep));
  EXPECT_TRUE(console.contains("jsonNotSerialized"));
  EXPECT_EQ(contentOf(home.path() / "Documents" / "Data" / "notes.json"), before);

  // As deep as the kit reads back is still saved.
  const JSON capped = nested(512);
  EXPECT_TRUE(PersistencyManager::saveDataToJSON("notes", capped));
  EXPECT_EQ(PersistencyManager::readFromJSON("notes"), capped);
}

TEST_F(PersistencyManagerTest, OtherFilesOfTheDataFolder) {
  testkit::ConsoleCapture console;
  EXPECT_TRUE(PersistencyManager::saveDataToJSON(PersistencyManager::EntriesDataFile, parsed(R"({"n": [1, 2]})")));
  EXPECT_EQ(PersistencyManager::readFromJSON("entries"), parsed(R"({"n": [1, 2]})"));
  EXPECT_FALSE(PersistencyManager::readFromJSON(PersistencyManager::RegistrationDataFile));
  EXPECT_TRUE(console.contains("fileNotFound"));
}

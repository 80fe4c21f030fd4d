#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "support/Text.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/Keychain.hpp"
#include "talvaren/testing/Storage.hpp"

using namespace talvaren;
using platform::AppHome;
using platform::Keychain;

namespace {

constexpr const char* Service = "SarvikDesign.TalvarenIOS";

unsigned modeOf(const std::filesystem::path& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return 0xffff;
  return status.st_mode & 07777;
}

using testkit::writeText;

}  // namespace

TEST(KeychainTest, TextAndBytesItemsRoundTripAcrossHolders) {
  testkit::TemporaryAppHome home;
  Keychain keychain(Service);
  EXPECT_FALSE(keychain.getString("UserLogin"));
  EXPECT_FALSE(keychain.getData("ConnectorToken"));
  EXPECT_FALSE(keychain.remove("UserLogin"));  // a missing item is no error
  EXPECT_FALSE(std::filesystem::exists(AppHome::keychainPath(Service)));

  Bytes archive{0x00, 0xff, 0x10, 0x80};
  ASSERT_FALSE(keychain.set("user@example.test", "UserLogin"));
  ASSERT_FALSE(keychain.set(std::string("p\u00e4ss \"w\" 0"), "UserPassword"));
  ASSERT_FALSE(keychain.set(archive, "ConnectorToken"));
  ASSERT_FALSE(keychain.set(Bytes{}, "Empty"));

  Keychain other(Service);  // a second holder reads the same items
  EXPECT_EQ(other.getString("UserLogin"), "user@example.test");
  EXPECT_EQ(other.getString("UserPassword"), "p\u00e4ss \"w\" 0");
  EXPECT_EQ(other.getData("ConnectorToken"), archive);
  EXPECT_EQ(other.getData("Empty"), Bytes{});
  EXPECT_EQ(other.getData("UserLogin"),
            (Bytes{'u', 's', 'e', 'r', '@', 'e', 'x', 'a', 'm', 'p', 'l', 'e', '.', 't', 'e', 's', 't'}));
  EXPECT_FALSE(other.getString("ConnectorToken"));  // not UTF-8
  EXPECT_EQ(other.allKeys(), (std::vector<std::string>{"ConnectorToken", "Empty", "UserLogin", "UserPassword"}));

  ASSERT_FALSE(other.set("new", "UserLogin"));
  EXPECT_EQ(keychain.getString("UserLogin"), "new");
  ASSERT_FALSE(keychain.remove("ConnectorToken"));
  EXPECT_FALSE(other.contains("ConnectorToken"));
  EXPECT_TRUE(other.contains("UserPassword"));
  ASSERT_FALSE(keychain.removeAll());
  EXPECT_TRUE(other.allKeys().empty());
}

TEST(KeychainTest, ServicesAreKeptApart) {
  testkit::TemporaryAppHome home;
  Keychain kit(Service), tests("SarvikDesign.Tests");
  ASSERT_FALSE(kit.set("kit", "ConnectorToken"));
  ASSERT_FALSE(tests.set("tests", "ConnectorToken"));
  EXPECT_EQ(kit.getString("ConnectorToken"), "kit");
  EXPECT_EQ(tests.getString("ConnectorToken"), "tests");
  ASSERT_FALSE(tests.removeAll());
  EXPECT_EQ(kit.getString("ConnectorToken"), "kit");
  // A file copied under another service's name does not leak its items there.
  std::filesystem::copy_file(AppHome::keychainPath(Service), AppHome::keychainPath("Copied"));
  EXPECT_FALSE(Keychain("Copied").getString("ConnectorToken"));
}

TEST(KeychainTest, FileIsPrivateAndReplacedAtomically) {
  testkit::TemporaryAppHome home;
  Keychain keychain(Service);
  ASSERT_FALSE(keychain.set("one", "UserLogin"));
  auto file = AppHome::keychainPath(Service);
  EXPECT_EQ(modeOf(file), 0600u);
  EXPECT_EQ(modeOf(AppHome::keychainsPath()), 0700u);

  // Even a permissive file put there by someone else comes back private after a change.
  ::chmod(file.c_str(), 0644);
  std::filesystem::create_hard_link(file, home.path() / "before");
  ASSERT_FALSE(keychain.set("two", "UserLogin"));
  EXPECT_EQ(modeOf(file), 0600u);
  // The old file was replaced, not rewritten in place: its other name still holds the old item.
  std::ifstream before(home.path() / "before");
  std::string oldText((std::istreambuf_iterator<char>(before)), std::istreambuf_iterator<char>());
  EXPECT_NE(oldText.find("\"b25l\""), std::string::npos);  // "one" in Base64
  EXPECT_EQ(keychain.getString("UserLogin"), "two");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(AppHome::keychainsPath()),
                          std::filesystem::directory_iterator()),
            1);  // no temporary file left behind
}

TEST(KeychainTest, DamagedFilesReadAsEmptyAndAreReplacedOnTheNextChange) {
  testkit::TemporaryAppHome home;
  auto file = AppHome::keychainPath(Service);
  Keychain keychain(Service);
  for (const char* damaged : {"", "not json", "[]", R"({"service": "SarvikDesign.TalvarenIOS"})",
                              R"({"service": "SarvikDesign.TalvarenIOS", "items": {"UserLogin": "@@@@"}})",
                              R"({"service": "SarvikDesign.TalvarenIOS", "items": {"UserLogin": 5}})",
                              R"({"service": 1, "items": {"UserLogin": "b25l"}})", "\xff\xfe\x00"}) {
    writeText(file, damaged);
    EXPECT_FALSE(keychain.getString("UserLogin")) << damaged;
    EXPECT_TRUE(keychain.allKeys().empty()) << damaged;
    EXPECT_FALSE(keychain.remove("UserLogin")) << damaged;
    ASSERT_FALSE(keychain.set("fresh", "UserPassword")) << damaged;
    EXPECT_EQ(keychain.allKeys(), std::vector<std::string>{"UserPassword"});
  }
  // A folder in the file's place: reads are empty, changes report the error.
  std::filesystem::remove(file);
  std::filesystem::create_directories(file);
  EXPECT_FALSE(keychain.getString("UserPassword"));
  auto error = keychain.set("x", "UserPassword");
  ASSERT_TRUE(error);
  EXPECT_EQ(error->domain, "NSCocoaErrorDomain");
}

TEST(KeychainTest, KeysAndServicesThatAreNotTextAreRefusedNotMangled) {
  testkit::TemporaryAppHome home;
  Keychain keychain(Service);
  ASSERT_FALSE(keychain.set("kept", "UserLogin"));
  // Two keys that differ only in bytes that are not UTF-8 would meet as one key in the file.
  for (const char* badKey : {"Token\xff", "Token\xfe", "\xc3"}) {
    auto error = keychain.set("secret", badKey);
    ASSERT_TRUE(error) << badKey;
    EXPECT_EQ(error->domain, "NSOSStatusErrorDomain");
    EXPECT_EQ(error->code, -50);
  }
  EXPECT_EQ(keychain.allKeys(), std::vector<std::string>{"UserLogin"});
  EXPECT_EQ(keychain.getString("UserLogin"), "kept");

  Keychain badService("Sarvik\xff");
  EXPECT_TRUE(badService.set("x", "UserLogin"));
  EXPECT_FALSE(badService.getString("UserLogin"));
  EXPECT_FALSE(std::filesystem::exists(AppHome::keychainPath("Sarvik\xff")));
}

TEST(KeychainTest, ConcurrentWritersLoseNoItem) {
  testkit::TemporaryAppHome home;
  std::vector<std::thread> writers;
  for (int t = 0; t < 4; ++t) {
    writers.emplace_back([t] {
      Keychain keychain(Service);  // each thread with a holder of its own
      for (int i = 0; i < 10; ++i)
        keychain.set(std::to_string(i), "item" + std::to_string(t) + "-" + std::to_string(i));
    });
  }
  for (auto& writer : writers) writer.join();
  Keychain keychain(Service);
  EXPECT_EQ(keychain.allKeys().size(), 40u);
  EXPECT_EQ(keychain.getString("item3-9"), "9");
}

TEST(KeychainTest, WritersInTwoProcessesLoseNoItem) {
  // Two processes of one host (an app and its helper) share the application home.
  testkit::TemporaryAppHome home;
  ASSERT_FALSE(Keychain(Service).set("first", "UserLogin"));  // the folder exists before both start
  constexpr int perProcess = 25;
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  const std::string prefix = child == 0 ? "child-" : "parent-";
  Keychain keychain(Service);
  int failures = 0;
  for (int i = 0; i < perProcess; ++i) failures += keychain.set(std::to_string(i), prefix + std::to_string(i)) ? 1 : 0;
  if (child == 0) ::_exit(failures == 0 ? 0 : 1);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(keychain.allKeys().size(), 2u * perProcess + 1);
  EXPECT_EQ(keychain.getString("child-24"), "24");
  EXPECT_EQ(keychain.getString("parent-24"), "24");
}

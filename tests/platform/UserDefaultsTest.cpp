#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <thread>
#include <vector>

#include "support/Text.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/Storage.hpp"

using namespace talvaren;
using nlohmann::json;
using platform::UserDefaults;

namespace {

using testkit::writeText;

std::string readText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(UserDefaultsTest, MissingKeysReadAsTheirDefaults) {
  auto defaults = UserDefaults::inMemory();
  EXPECT_EQ(defaults->integerForKey("owner"), 0);
  EXPECT_FALSE(defaults->boolForKey("SynchZoneDevice"));
  EXPECT_EQ(defaults->doubleForKey("x"), 0.0);
  EXPECT_FALSE(defaults->stringForKey("APIBaseURL"));
  EXPECT_FALSE(defaults->dataForKey("GarminAuthCredentials"));
  EXPECT_FALSE(defaults->arrayForKey("a"));
  EXPECT_FALSE(defaults->dictionaryForKey("d"));
  EXPECT_FALSE(defaults->objectForKey("o"));
}

TEST(UserDefaultsTest, KindAwareReads) {
  auto defaults = UserDefaults::inMemory();
  defaults->set(7, "int");
  defaults->set(7.9, "double");
  defaults->set(-7.9, "negative");
  defaults->set(true, "bool");
  defaults->set("de", "text");
  defaults->set(" 42abc", "numericText");
  defaults->set(Bytes{0, 1, 255}, "bytes");
  defaults->set(json::array({1, "two"}), "list");
  defaults->set(json{{"a", 1}}, "dict");

  // Texts are only texts: a number never reads as one (the language key relies on this).
  EXPECT_EQ(defaults->stringForKey("text"), "de");
  EXPECT_FALSE(defaults->stringForKey("int"));
  EXPECT_FALSE(defaults->stringForKey("bytes"));

  EXPECT_EQ(defaults->integerForKey("int"), 7);
  EXPECT_EQ(defaults->integerForKey("double"), 7);
  EXPECT_EQ(defaults->integerForKey("negative"), -7);
  EXPECT_EQ(defaults->integerForKey("bool"), 1);
  EXPECT_EQ(defaults->integerForKey("numericText"), 42);
  EXPECT_EQ(defaults->integerForKey("text"), 0);
  EXPECT_EQ(defaults->integerForKey("list"), 0);

  EXPECT_DOUBLE_EQ(defaults->doubleForKey("double"), 7.9);
  EXPECT_DOUBLE_EQ(defaults->doubleForKey("int"), 7.0);
  EXPECT_DOUBLE_EQ(defaults->doubleForKey("numericText"), 42.0);

  EXPECT_TRUE(defaults->boolForKey("bool"));
  EXPECT_TRUE(defaults->boolForKey("int"));
  EXPECT_FALSE(defaults->boolForKey("text"));
  EXPECT_FALSE(defaults->boolForKey("dict"));

  EXPECT_EQ(defaults->dataForKey("bytes"), (Bytes{0, 1, 255}));
  EXPECT_FALSE(defaults->dataForKey("text"));
  EXPECT_EQ(defaults->arrayForKey("list"), json::array({1, "two"}));
  EXPECT_FALSE(defaults->arrayForKey("bytes"));
  EXPECT_EQ(defaults->dictionaryForKey("dict"), (json{{"a", 1}}));
  EXPECT_FALSE(defaults->dictionaryForKey("list"));
  EXPECT_EQ(defaults->objectForKey("int"), json(7));
}

TEST(UserDefaultsTest, TextsConvertLikeThePlatform) {
  auto defaults = UserDefaults::inMemory();
  auto integer = [&](const char* text) {
    defaults->set(text, "k");
    return defaults->integerForKey("k");
  };
  auto boolean = [&](const char* text) {
    defaults->set(text, "k");
    return defaults->boolForKey("k");
  };
  auto number = [&](const char* text) {
    defaults->set(text, "k");
    return defaults->doubleForKey("k");
  };
  EXPECT_EQ(integer("-12"), -12);
  EXPECT_EQ(integer("+3.99"), 3);
  EXPECT_EQ(integer("99999999999999999999"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(integer("-99999999999999999999"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(integer(""), 0);
  EXPECT_TRUE(boolean("YES"));
  EXPECT_TRUE(boolean("true"));
  EXPECT_TRUE(boolean("1"));
  EXPECT_TRUE(boolean("  007"));
  EXPECT_FALSE(boolean("NO"));
  EXPECT_FALSE(boolean("false"));
  EXPECT_FALSE(boolean("0"));
  EXPECT_FALSE(boolean("0.5"));
  EXPECT_DOUBLE_EQ(number(" 2.5e3xyz"), 2500.0);
  EXPECT_DOUBLE_EQ(number("-0.25"), -0.25);
  EXPECT_EQ(number("abc"), 0.0);
  EXPECT_TRUE(std::isinf(number("1e999")));

  defaults->set(1e300, "huge");
  EXPECT_EQ(defaults->integerForKey("huge"), std::numeric_limits<std::int64_t>::max());
  defaults->set(std::numeric_limits<double>::quiet_NaN(), "nan");
  EXPECT_EQ(defaults->integerForKey("nan"), 0);
  defaults->set(std::numeric_limits<std::uint64_t>::max(), "unsigned");
  EXPECT_EQ(defaults->integerForKey("unsigned"), std::numeric_limits<std::int64_t>::max());
}

TEST(UserDefaultsTest, SettingNullOrRemovingDropsTheKey) {
  auto defaults = UserDefaults::inMemory({{"CSRFToken", "abc"}, {"owner", 5}});
  defaults->set(nullptr, "CSRFToken");
  EXPECT_FALSE(defaults->objectForKey("CSRFToken"));
  defaults->removeObjectForKey("owner");
  defaults->removeObjectForKey("never-there");
  EXPECT_EQ(defaults->dictionaryRepresentation(), json::object());
}

TEST(UserDefaultsTest, EveryKindPersistsAcrossInstances) {
  testkit::TemporaryAppHome home;
  json nested = {{"$bytes", "not a tag"}, {"list", json::array({json::binary({9, 8}), 1.5, nullptr})}};
  {
    auto defaults = UserDefaults::standard();
    defaults->set("https://example.test/api/", "APIBaseURL");
    defaults->set(42, "owner");
    defaults->set(2.0, "two");
    defaults->set(std::numeric_limits<double>::infinity(), "inf");
    defaults->set(false, "BatteryLevel50");
    defaults->set(Bytes{}, "empty");
    defaults->set(Bytes{0x00, 0x7f, 0x80, 0xff}, "GarminAuthCredentials");
    defaults->set(nested, "nested");
    defaults->set(json{{"$dict", 1}}, "looksTagged");
    defaults->set(json::array({json{{"$bytes", "AA=="}}}), "listOfLookalikes");
    // A strap name cut off inside a character is not UTF-8; its bytes still come back as they were.
    defaults->set(std::string("Kelo-\xc3"), "NameDevice");
    defaults->set(json::array({std::string("\xff\xfe"), json{{"$text", "AA=="}}}), "oddTexts");
    defaults->set("temporary", "gone");
    defaults->removeObjectForKey("gone");
    EXPECT_FALSE(defaults->lastSaveError());
  }
  struct stat status {};
  ASSERT_EQ(::stat(platform::AppHome::userDefaultsPath().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0077, 0u);

  testkit::resetStandardUserDefaults();
  auto reread = UserDefaults::standard();
  EXPECT_EQ(reread->stringForKey("APIBaseURL"), "https://example.test/api/");
  EXPECT_EQ(reread->objectForKey("owner"), json(42));
  EXPECT_TRUE(reread->objectForKey("two")->is_number_float());
  EXPECT_TRUE(std::isinf(reread->doubleForKey("inf")));
  EXPECT_EQ(reread->objectForKey("BatteryLevel50"), json(false));
  EXPECT_EQ(reread->dataForKey("empty"), Bytes{});
  EXPECT_EQ(reread->dataForKey("GarminAuthCredentials"), (Bytes{0x00, 0x7f, 0x80, 0xff}));
  EXPECT_EQ(reread->objectForKey("nested"), nested);
  EXPECT_EQ(reread->objectForKey("looksTagged"), (json{{"$dict", 1}}));
  EXPECT_EQ(reread->objectForKey("listOfLookalikes"), json::array({json{{"$bytes", "AA=="}}}));
  EXPECT_EQ(reread->stringForKey("NameDevice"), std::string("Kelo-\xc3"));
  EXPECT_EQ(reread->objectForKey("oddTexts"), json::array({std::string("\xff\xfe"), json{{"$text", "AA=="}}}));
  EXPECT_FALSE(reread->objectForKey("gone"));
  EXPECT_EQ(reread->dictionaryRepresentation(), UserDefaults::persistent(*reread->file())->dictionaryRepresentation());
}

TEST(UserDefaultsTest, DamagedFilesAreKeptAsideBeforeTheNextSave) {
  testkit::TemporaryAppHome home;
  auto file = platform::AppHome::userDefaultsPath();
  auto keptCopies = [&] {
    std::vector<std::filesystem::path> copies;
    for (const auto& entry : std::filesystem::directory_iterator(home.path())) {
      if (entry.path().filename().string().starts_with("UserDefaults.damaged-")) copies.push_back(entry.path());
    }
    std::sort(copies.begin(), copies.end());
    return copies;
  };
  // A file cut short by a full disk, one that is not a dictionary, and ones whose tags are broken.
  const std::vector<std::string> damaged = {R"({"LastWorkoutDevice":"KELO-1","APIBaseURL":"x","b":)",
                                            "[1, 2]",
                                            "\xff\xfe",
                                            R"({"a": {"$bytes": "!!!"}})",
                                            R"({"a": {"$double": "huge"}})",
                                            R"({"a": {"$dict": 3}})"};
  for (const auto& text : damaged) {
    writeText(file, text);
    auto defaults = UserDefaults::persistent(file);
    EXPECT_EQ(defaults->dictionaryRepresentation(), json::object()) << text;
    testkit::ConsoleCapture console;
    defaults->set(1, "fresh");
    EXPECT_FALSE(defaults->lastSaveError());
    EXPECT_EQ(UserDefaults::persistent(file)->dictionaryRepresentation(), (json{{"fresh", 1}}));
    auto copies = keptCopies();
    ASSERT_FALSE(copies.empty());
    EXPECT_EQ(readText(copies.back()), text);
    ASSERT_EQ(console.lines().size(), 1u);
    EXPECT_NE(console.lines()[0].find(copies.back().string()), std::string::npos) << console.lines()[0];
  }
  auto copies = keptCopies();
  ASSERT_EQ(copies.size(), UserDefaults::keptDamagedFiles);
  EXPECT_EQ(readText(copies.front()), damaged[damaged.size() - UserDefaults::keptDamagedFiles]);

  // An empty file holds nothing to keep.
  writeText(file, "");
  UserDefaults::persistent(file)->set(2, "again");
  EXPECT_EQ(keptCopies(), copies);
  EXPECT_EQ(UserDefaults::persistent(file)->integerForKey("again"), 2);
}

TEST(UserDefaultsTest, StoresSharingAFileMergeTheirChangesKeyByKey) {
  testkit::TemporaryAppHome home;
  auto file = platform::AppHome::userDefaultsPath();
  auto host = UserDefaults::persistent(file);
  auto helper = UserDefaults::persistent(file);
  host->set("KELO-1", "LastWorkoutDevice");
  helper->set("https://example.test/api/", "APIBaseURL");
  // Each reads what the other saved, without being made again.
  EXPECT_EQ(helper->stringForKey("LastWorkoutDevice"), "KELO-1");
  EXPECT_EQ(host->stringForKey("APIBaseURL"), "https://example.test/api/");

  // A save carries only the saver's own changes: the host does not bring back what the helper removed.
  helper->removeObjectForKey("LastWorkoutDevice");
  host->set(5, "owner");
  helper->set(1, "shared");
  host->set(2, "shared");
  auto expected = json{{"APIBaseURL", "https://example.test/api/"}, {"owner", 5}, {"shared", 2}};
  EXPECT_EQ(UserDefaults::persistent(file)->dictionaryRepresentation(), expected);
  EXPECT_EQ(helper->dictionaryRepresentation(), expected);
  EXPECT_EQ(host->dictionaryRepresentation(), expected);
}

TEST(UserDefaultsTest, TwoProcessesSharingAHomeKeepEveryKey) {
  constexpr int perProcess = 200;
  if (const char* prefix = std::getenv("TALVAREN_TEST_DEFAULTS_WRITER")) {
    // A writer started below: wait for the go (the pipe closing), then set its keys.
    char byte;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    auto defaults = UserDefaults::standard();
    for (int i = 0; i < perProcess; ++i) defaults->set(i, prefix + std::to_string(i));
    ASSERT_FALSE(defaults->lastSaveError());
    return;
  }
  testkit::TemporaryAppHome home;  // names the home in TALVAREN_HOME for the writers
  auto defaults = UserDefaults::standard();
  defaults->set("KELO-1", "LastWorkoutDevice");

  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  int go[2];
  ASSERT_EQ(::pipe(go), 0);
  std::vector<pid_t> writers;
  for (const char* prefix : {"a", "b"}) {
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) environment.emplace_back(*variable);
    environment.push_back(std::string("TALVAREN_TEST_DEFAULTS_WRITER=") + prefix);
    std::vector<char*> envp;
    for (auto& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe";
    char* argv[] = {self.data(), filter.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, go[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, go[1]);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int spawned = ::posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawned, 0);
    writers.push_back(pid);
  }
  ::close(go[0]);
  ::close(go[1]);
  for (pid_t pid : writers) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }

  // This process's store sees the writers' keys, and its own next save keeps them.
  EXPECT_EQ(defaults->integerForKey("b199"), 199);
  defaults->set(true, "host");
  auto values = UserDefaults::persistent(platform::AppHome::userDefaultsPath())->dictionaryRepresentation();
  EXPECT_EQ(values.size(), 2u * perProcess + 2);
  for (int i = 0; i < perProcess; ++i) {
    EXPECT_EQ(values.value("a" + std::to_string(i), -1), i);
    EXPECT_EQ(values.value("b" + std::to_string(i), -1), i);
  }
}

TEST(UserDefaultsTest, FailedSaveKeepsTheValueAndReportsTheError) {
  testkit::TemporaryAppHome home;
  // A directory where the file should be: the save cannot replace it.
  std::filesystem::create_directories(platform::AppHome::userDefaultsPath());
  auto defaults = UserDefaults::standard();
  defaults->set("x", "k");
  EXPECT_EQ(defaults->stringForKey("k"), "x");
  ASSERT_TRUE(defaults->lastSaveError());
  EXPECT_EQ(defaults->lastSaveError()->domain, "NSCocoaErrorDomain");
}

TEST(UserDefaultsTest, ConcurrentWritersLoseNothing) {
  testkit::TemporaryAppHome home;
  // A save killed half-way once left its temporary file; the next saves sweep it.
  writeText(home.path() / ".UserDefaults.json.tmp-2147483646-3-5e1d", R"({"half":)");
  auto defaults = UserDefaults::standard();
  constexpr int threads = 4;
  constexpr int perThread = 20;
  std::vector<std::thread> writers;
  for (int t = 0; t < threads; ++t) {
    writers.emplace_back([&, t] {
      for (int i = 0; i < perThread; ++i) {
        auto key = "k" + std::to_string(t) + "-" + std::to_string(i);
        defaults->set(i, key);
        EXPECT_EQ(defaults->integerForKey(key), i);
        defaults->set(i % 2 == 0, "shared");
      }
    });
  }
  for (auto& writer : writers) writer.join();
  auto reread = UserDefaults::persistent(platform::AppHome::userDefaultsPath());
  for (int t = 0; t < threads; ++t) {
    for (int i = 0; i < perThread; ++i) {
      EXPECT_EQ(reread->integerForKey("k" + std::to_string(t) + "-" + std::to_string(i)), i);
    }
  }
  EXPECT_EQ(reread->dictionaryRepresentation(), defaults->dictionaryRepresentation());
  // No temporary files are left beside the store, not even the killed save's.
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(home.path())) ++files;
  EXPECT_EQ(files, 1);
}

TEST(UserDefaultsTest, StandardInstanceCanBeReplacedForTests) {
  testkit::TemporaryAppHome home;
  auto replacement = UserDefaults::inMemory({{"LCLCurrentLanguageKey", "pl"}});
  testkit::setStandardUserDefaults(replacement);
  EXPECT_EQ(UserDefaults::standard(), replacement);
  EXPECT_EQ(UserDefaults::standard()->stringForKey("LCLCurrentLanguageKey"), "pl");
  EXPECT_FALSE(replacement->file());
  testkit::resetStandardUserDefaults();
  EXPECT_NE(UserDefaults::standard(), replacement);
  EXPECT_EQ(UserDefaults::standard(), UserDefaults::standard());
}

TEST(UserDefaultsTest, HostileFilesReadAsEmptyWithoutHangingOrCrashing) {
  testkit::TemporaryAppHome home;
  auto file = platform::AppHome::userDefaultsPath();
  // Nesting far deeper than any stored value: the store is empty, not a stack overflow.
  writeText(file, "{\"a\": " + std::string(200000, '[') + std::string(200000, ']') + "}");
  EXPECT_EQ(UserDefaults::persistent(file)->dictionaryRepresentation(), json::object());
  // A value nested as deep as the store keeps still comes back.
  json deep = 1;
  for (std::size_t k = 0; k < UserDefaults::maxNesting; ++k) deep = json::array({deep});
  auto defaults = UserDefaults::persistent(file);
  defaults->set(deep, "deep");
  EXPECT_EQ(UserDefaults::persistent(file)->objectForKey("deep"), deep);
  // One level more is not stored, and what was there stays.
  defaults->set(json::array({deep}), "deep");
  EXPECT_EQ(defaults->objectForKey("deep"), deep);
  EXPECT_EQ(UserDefaults::persistent(file)->objectForKey("deep"), deep);

  // A pipe in the file's place is not read (reading it would wait for a writer forever).
  std::filesystem::remove(file);
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  EXPECT_EQ(UserDefaults::persistent(file)->dictionaryRepresentation(), json::object());
}

TEST(UserDefaultsTest, SettingTheValueAlreadyStoredWritesNothing) {
  testkit::TemporaryAppHome home;
  auto file = platform::AppHome::userDefaultsPath();
  auto inode = [&] {
    struct stat status {};
    return ::stat(file.c_str(), &status) == 0 ? status.st_ino : 0;
  };
  auto defaults = UserDefaults::persistent(file);
  defaults->set(false, "BatteryLevel25");
  auto written = inode();
  ASSERT_NE(written, 0u);
  defaults->set(false, "BatteryLevel25");  // battery flags are stored again on every reading
  EXPECT_EQ(inode(), written);
  defaults->set(true, "BatteryLevel25");
  EXPECT_NE(inode(), written);
  // A number of another kind is a change even where JSON calls the two equal.
  defaults->set(7, "n");
  defaults->set(7.0, "n");
  EXPECT_TRUE(UserDefaults::persistent(file)->objectForKey("n")->is_number_float());

  // After a failed save the same value is written again.
  std::filesystem::remove(file);
  std::filesystem::create_directories(file);
  defaults->set("x", "k");
  ASSERT_TRUE(defaults->lastSaveError());
  std::filesystem::remove(file);
  defaults->set("x", "k");
  EXPECT_FALSE(defaults->lastSaveError());
  EXPECT_EQ(UserDefaults::persistent(file)->stringForKey("k"), "x");
}

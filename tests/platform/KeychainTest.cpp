#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "platform/FileIO.hpp"
#include "platform/TextEncoding.hpp"
#include "support/Text.hpp"
#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/Keychain.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/testing/Console.hpp"
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

std::string readKeychainText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

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

TEST(KeychainTest, DamagedFilesAreKeptAsideAndOneDamagedItemCostsNoOther) {
  testkit::TemporaryAppHome home;
  auto file = AppHome::keychainPath(Service);
  Keychain keychain(Service);
  auto keptCopies = [&] {
    std::vector<std::filesystem::path> copies;
    for (const auto& entry : std::filesystem::directory_iterator(AppHome::keychainsPath())) {
      auto name = entry.path().filename().string();
      if (name.starts_with(std::string(Service) + ".damaged-") && name.ends_with(".keychain")) {
        copies.push_back(entry.path());
      }
    }
    std::sort(copies.begin(), copies.end());
    return copies;
  };

  // One item that does not decode: the others read and survive the next change; the file as it was is
  // kept aside first.
  const std::string oneDamaged = R"({"service": "SarvikDesign.TalvarenIOS", "items": )"
                                 R"({"UserLogin": "b25l", "ConnectorToken": "@@@@", "UserPassword": 5}})";
  writeText(file, oneDamaged);
  EXPECT_EQ(keychain.getString("UserLogin"), "one");
  EXPECT_FALSE(keychain.getData("ConnectorToken"));
  EXPECT_FALSE(keychain.contains("UserPassword"));
  EXPECT_EQ(keychain.allKeys(), std::vector<std::string>{"UserLogin"});
  {
    testkit::ConsoleCapture console;
    ASSERT_FALSE(keychain.set("key", "ConnectorAPI"));
    auto copies = keptCopies();
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(readKeychainText(copies[0]), oneDamaged);
    EXPECT_EQ(modeOf(copies[0]), 0600u);
    ASSERT_EQ(console.lines().size(), 1u);
    EXPECT_NE(console.lines()[0].find(copies[0].string()), std::string::npos) << console.lines()[0];
  }
  EXPECT_EQ(keychain.allKeys(), (std::vector<std::string>{"ConnectorAPI", "UserLogin"}));
  EXPECT_EQ(keychain.getString("UserLogin"), "one");

  // Files that are not a keychain of this service at all read as empty; each is kept before the next change.
  const std::vector<std::string> damaged = {"not json",
                                            "[]",
                                            R"({"service": "SarvikDesign.TalvarenIOS"})",
                                            R"({"service": "SarvikDesign.TalvarenIOS", "items": ["b25l"]})",
                                            R"({"service": "SarvikDesign.Other", "items": {"UserLogin": "b25l"}})",
                                            R"({"service": 1, "items": {"UserLogin": "b25l"}})",
                                            R"({"service": "SarvikDesign.TalvarenIOS", "items": {"UserLogin": "b2)",
                                            "\xff\xfe\x00"};
  for (const auto& text : damaged) {
    writeText(file, text);
    EXPECT_FALSE(keychain.getString("UserLogin")) << text;
    EXPECT_TRUE(keychain.allKeys().empty()) << text;
    testkit::ConsoleCapture console;
    ASSERT_FALSE(keychain.set("fresh", "UserPassword")) << text;
    EXPECT_EQ(keychain.allKeys(), std::vector<std::string>{"UserPassword"});
    auto copies = keptCopies();
    ASSERT_FALSE(copies.empty());
    EXPECT_EQ(readKeychainText(copies.back()), text);
    ASSERT_EQ(console.lines().size(), 1u) << text;
    EXPECT_NE(console.lines()[0].find(copies.back().string()), std::string::npos) << console.lines()[0];
  }
  auto copies = keptCopies();
  ASSERT_EQ(copies.size(), 3u);  // the newest three
  EXPECT_EQ(readKeychainText(copies.front()), damaged[damaged.size() - 3]);

  // An empty file holds nothing to keep; removing an item that is not there writes nothing.
  writeText(file, "");
  EXPECT_FALSE(keychain.remove("UserLogin"));
  ASSERT_FALSE(keychain.set("again", "UserLogin"));
  EXPECT_EQ(keptCopies(), copies);
  EXPECT_EQ(keychain.getString("UserLogin"), "again");
}

TEST(KeychainTest, LinksPlantedAtTheStoresFilesChangeNothingTheyPointTo) {
  testkit::TemporaryAppHome home;
  const auto outside = home.path() / "notes.txt";
  writeText(outside, "not a store");
  ASSERT_EQ(::chmod(outside.c_str(), 0644), 0);
  const auto keychainFile = AppHome::keychainPath(Service);
  const auto defaultsFile = AppHome::userDefaultsPath();
  std::filesystem::create_directories(AppHome::keychainsPath());
  std::filesystem::create_symlink(outside, keychainFile);
  std::filesystem::create_symlink(outside, defaultsFile);

  // Each store keeps the link aside as damaged and writes a file of its own in its place.
  testkit::ConsoleCapture console;
  Keychain keychain(Service);
  ASSERT_FALSE(keychain.set("one", "UserLogin"));
  auto defaults = platform::UserDefaults::persistent(defaultsFile);
  defaults->set(1, "owner");
  EXPECT_FALSE(defaults->lastSaveError());
  EXPECT_EQ(readKeychainText(outside), "not a store");
  EXPECT_EQ(modeOf(outside), 0644u);
  for (const auto& file : {keychainFile, defaultsFile}) {
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(file))) << file;
    EXPECT_EQ(modeOf(file), 0600u) << file;
  }
  EXPECT_EQ(keychain.getString("UserLogin"), "one");
  EXPECT_EQ(platform::UserDefaults::persistent(defaultsFile)->integerForKey("owner"), 1);
}

TEST(KeychainTest, FilesThatCannotBeReadAreNeverReplaced) {
  testkit::TemporaryAppHome home;
  Keychain keychain(Service);
  ASSERT_FALSE(keychain.set("one", "UserLogin"));
  const auto file = AppHome::keychainPath(Service);
  const auto aside = home.path() / "aside.keychain";
  std::filesystem::rename(file, aside);
  auto expectRefused = [&](const char* what) {
    for (auto error : {keychain.set("two", "UserPassword"), keychain.remove("UserLogin"), keychain.removeAll()}) {
      ASSERT_TRUE(error) << what;
      EXPECT_EQ(error->domain, "NSCocoaErrorDomain") << what;
      EXPECT_GE(error->code, 256) << what;  // the read's error
      EXPECT_LT(error->code, 512) << what;
    }
    EXPECT_FALSE(keychain.getString("UserLogin")) << what;
  };

  // Things in the file's place that every user, root included, fails to read: a link that loops, a pipe,
  // a folder.
  std::filesystem::create_symlink(file.filename(), file);
  expectRefused("loop");
  EXPECT_TRUE(std::filesystem::is_symlink(file));
  std::filesystem::remove(file);
  ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
  expectRefused("pipe");
  EXPECT_TRUE(std::filesystem::is_fifo(file));
  std::filesystem::remove(file);
  std::filesystem::create_directory(file);
  expectRefused("folder");
  std::filesystem::remove(file);

  // A file without read permission (root reads it anyway).
  std::filesystem::rename(aside, file);
  if (::geteuid() != 0) {
    ::chmod(file.c_str(), 0200);
    expectRefused("no permission");
    ::chmod(file.c_str(), 0600);
  }
  EXPECT_EQ(keychain.getString("UserLogin"), "one");
  EXPECT_FALSE(keychain.contains("UserPassword"));
}

TEST(KeychainTest, LeftoversOfKilledWritersAreSweptAndTakeNoSecretAlong) {
  testkit::TemporaryAppHome home;
  Keychain keychain(Service);
  ASSERT_FALSE(keychain.set("secret-1", "UserPassword"));
  const auto folder = AppHome::keychainsPath();
  auto leftovers = [&] {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (entry.path().filename().string().starts_with(".")) found.push_back(entry.path());
    }
    return found;
  };
  // A process killed while it writes the keychain file leaves its temporary file behind.
  auto killedWhileWriting = [&](const std::string& secret) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      auto opened = platform::detail::AtomicFileWriter::open(AppHome::keychainPath(Service), 0600, true);
      if (!std::holds_alternative<platform::detail::AtomicFileWriter>(opened)) ::_exit(1);
      std::get<platform::detail::AtomicFileWriter>(opened).write(secret);
      (void)!::write(ready[1], "x", 1);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
  };

  ASSERT_NO_FATAL_FAILURE(killedWhileWriting("secret-2"));
  ASSERT_EQ(leftovers().size(), 1u);
  EXPECT_EQ(modeOf(leftovers()[0]), 0600u);
  // A writer still at work in the same folder (another service's file) keeps its temporary file.
  auto live = std::get<platform::detail::AtomicFileWriter>(
      platform::detail::AtomicFileWriter::open(AppHome::keychainPath("SarvikDesign.Tests"), 0600, true));
  EXPECT_EQ(live.write("{}"), 0);
  ASSERT_FALSE(keychain.remove("UserPassword"));
  EXPECT_EQ(leftovers().size(), 1u);
  EXPECT_FALSE(live.commit());
  EXPECT_TRUE(leftovers().empty());

  // Removing sweeps even when there is nothing to remove.
  ASSERT_NO_FATAL_FAILURE(killedWhileWriting("secret-3"));
  ASSERT_FALSE(keychain.remove("UserPassword"));
  EXPECT_TRUE(leftovers().empty());
  ASSERT_NO_FATAL_FAILURE(killedWhileWriting("secret-4"));
  ASSERT_FALSE(keychain.removeAll());
  EXPECT_TRUE(leftovers().empty());
  ASSERT_NO_FATAL_FAILURE(killedWhileWriting("secret-5"));
  ASSERT_FALSE(keychain.set("x", "UserLogin"));
  EXPECT_TRUE(leftovers().empty());
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

// Reads keep decoded items by the file's identity; whatever another process changed, by the kit or by
// writing the file in place with the same size within the same clock tick, the next read sees it.
TEST(KeychainTest, ReadsSeeEveryChangeAnotherProcessCompleted) {
  testkit::TemporaryAppHome home;
  Keychain keychain(Service);
  ASSERT_FALSE(keychain.set("token-0", "ConnectorToken"));
  ASSERT_FALSE(keychain.set("key-0", "ConnectorAPI"));
  const auto file = AppHome::keychainPath(Service);
  auto inOtherProcess = [](const std::function<void()>& change) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      change();
      ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  };
  // Another program's rewrite of the file in place: same inode, same size.
  auto rewriteInPlace = [&](const std::string& from, const std::string& to) {
    auto text = readKeychainText(file);
    const auto old = platform::detail::base64Encode(from);
    const auto at = text.find(old);
    if (at == std::string::npos) ::_exit(1);
    text.replace(at, old.size(), platform::detail::base64Encode(to));
    const int fd = ::open(file.c_str(), O_WRONLY);
    if (fd < 0 || ::pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) ::_exit(1);
    ::close(fd);
  };

  EXPECT_EQ(keychain.getString("ConnectorToken"), "token-0");
  ASSERT_NO_FATAL_FAILURE(inOtherProcess([] { Keychain(Service).set("token-1", "ConnectorToken"); }));
  EXPECT_EQ(keychain.getString("ConnectorToken"), "token-1");

  // A writer process that rewrites the file in place at each request, as fast as asked: most of its
  // changes fall in the clock tick of the one before.
  int requests[2], done[2];
  ASSERT_EQ(::pipe(requests), 0);
  ASSERT_EQ(::pipe(done), 0);
  const pid_t writer = ::fork();
  ASSERT_GE(writer, 0);
  if (writer == 0) {
    ::close(requests[1]);
    ::close(done[0]);
    char round = 0;
    while (::read(requests[0], &round, 1) == 1) {
      rewriteInPlace("token-" + std::to_string((round + 1) % 10), "token-" + std::to_string((round + 2) % 10));
      if (::write(done[1], &round, 1) != 1) ::_exit(1);
    }
    ::_exit(0);
  }
  ::close(requests[0]);
  ::close(done[1]);
  const auto size = std::filesystem::file_size(file);
  for (char round = 0; round < 40; ++round) {
    // Changes of a file whose times have long settled too.
    if (round % 10 == 9) std::this_thread::sleep_for(std::chrono::milliseconds(60));
    EXPECT_EQ(keychain.getString("ConnectorToken"), "token-" + std::to_string((round + 1) % 10)) << int(round);
    char answer = 0;
    ASSERT_EQ(::write(requests[1], &round, 1), 1);
    ASSERT_EQ(::read(done[0], &answer, 1), 1);
    EXPECT_EQ(keychain.getString("ConnectorToken"), "token-" + std::to_string((round + 2) % 10)) << int(round);
  }
  ::close(requests[1]);
  ::close(done[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(writer, &status, 0), writer);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(std::filesystem::file_size(file), size);
  const std::string current = "token-" + std::to_string(41 % 10);

  // A snapshot is one reading: both credentials as they were together, whatever changes afterwards.
  auto snapshot = keychain.snapshot();
  ASSERT_NO_FATAL_FAILURE(inOtherProcess([] {
    Keychain other(Service);
    other.set("token-new", "ConnectorToken");
    other.remove("ConnectorAPI");
  }));
  EXPECT_EQ(snapshot.getString("ConnectorToken"), current);
  EXPECT_EQ(snapshot.getString("ConnectorAPI"), "key-0");
  EXPECT_EQ(keychain.getString("ConnectorToken"), "token-new");
  EXPECT_FALSE(keychain.contains("ConnectorAPI"));
  std::filesystem::remove(file);
  EXPECT_TRUE(keychain.allKeys().empty());
}

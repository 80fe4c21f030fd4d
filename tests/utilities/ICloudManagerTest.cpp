#include <gtest/gtest.h>

#include <fstream>

#include "talvaren/platform/FileManager.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/Storage.hpp"
#include "talvaren/utilities/ICloudManager.hpp"

using namespace talvaren;
namespace fs = std::filesystem;

namespace {

class ICloudManagerTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::FileManager::setUbiquityContainer(std::nullopt); }

  fs::path write(const std::string& name, std::string_view content) {
    auto path = home.path() / name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }

  // Each completion call, in order.
  std::vector<Bytes> download(const fs::path& path) {
    std::vector<Bytes> calls;
    ICloudManager::downloadFile(path, [&calls](const Bytes& data) { calls.push_back(data); });
    return calls;
  }

  testkit::TemporaryAppHome home;
};

}  // namespace

TEST_F(ICloudManagerTest, EnabledOnlyWithAUbiquityFolder) {
  EXPECT_FALSE(ICloudManager::iCloudEnabled());
  platform::FileManager::setUbiquityContainer(home.path() / "Cloud");
  EXPECT_TRUE(ICloudManager::iCloudEnabled());
}

TEST_F(ICloudManagerTest, DownloadGivesTheWholeFileOnce) {
  testkit::ConsoleCapture console;
  auto calls = download(write("notes.txt", std::string("a\0b", 3)));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], (Bytes{'a', 0, 'b'}));
  calls = download(write("empty.bin", ""));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_TRUE(calls[0].empty());
  EXPECT_TRUE(console.lines().empty());
  // Without a completion nothing is reported.
  ICloudManager::downloadFile(home.path() / "notes.txt");
  EXPECT_TRUE(console.lines().empty());
}

TEST_F(ICloudManagerTest, FailedOpenCompletesOnceWithEmptyBytes) {
  testkit::ConsoleCapture console;
  auto calls = download(home.path() / "missing.txt");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_TRUE(calls[0].empty());
  auto lines = console.lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("ICloudManager: could not open " + (home.path() / "missing.txt").string(), 0), 0u);
}

TEST_F(ICloudManagerTest, APackageLeavesTheBytesEmpty) {
  fs::create_directory(home.path() / "Bundle.pages");
  write("Bundle.pages/index.xml", "<x/>");
  testkit::ConsoleCapture console;
  auto calls = download(home.path() / "Bundle.pages");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_TRUE(calls[0].empty());
  EXPECT_TRUE(console.lines().empty());

  ICloudManager document(write("a.txt", "abc"));
  bool opened = false;
  document.open([&opened](bool success) { opened = success; });
  EXPECT_TRUE(opened);
  EXPECT_EQ(document.data, (Bytes{'a', 'b', 'c'}));
  EXPECT_EQ(document.fileType(), "txt");
  document.close();
  EXPECT_FALSE(document.isOpen());
}

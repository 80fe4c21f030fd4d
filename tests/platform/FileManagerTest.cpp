#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "talvaren/platform/AppHome.hpp"
#include "talvaren/platform/FileManager.hpp"
#include "talvaren/testing/Storage.hpp"

using namespace talvaren;
using platform::FileManager;

namespace {

class FileManagerTest : public ::testing::Test {
 protected:
  testkit::TemporaryAppHome home;
  std::shared_ptr<FileManager> files = FileManager::defaultManager();
};

}  // namespace

TEST_F(FileManagerTest, DocumentsDirectoryIsFoundButNotCreated) {
  auto documents = files->documentsDirectory();
  ASSERT_TRUE(documents);
  EXPECT_EQ(*documents.value(), home.path() / "Documents");
  EXPECT_FALSE(files->fileExists(*documents.value()));
  EXPECT_FALSE(files->ubiquityContainer());
}

TEST_F(FileManagerTest, CreateDirectoryWithAndWithoutIntermediates) {
  auto data = home.path() / "Documents" / "Data";
  // Without intermediates a missing parent is an error, as is an existing folder.
  auto missingParent = files->createDirectory(data, false);
  ASSERT_TRUE(missingParent);
  EXPECT_EQ(missingParent->code, 4);
  EXPECT_EQ(missingParent->userInfo["NSFilePath"], data.string());
  EXPECT_FALSE(files->createDirectory(data, true));
  bool isDirectory = false;
  EXPECT_TRUE(files->fileExists(data, isDirectory));
  EXPECT_TRUE(isDirectory);
  EXPECT_FALSE(files->createDirectory(data, true));
  EXPECT_EQ(files->createDirectory(data, false)->code, 516);
  // A file in the way is an error either way.
  ASSERT_FALSE(files->writeFile(data / "user.json", Bytes{'{', '}'}));
  EXPECT_EQ(files->createDirectory(data / "user.json", true)->code, 516);
  EXPECT_TRUE(files->fileExists(data / "user.json", isDirectory));
  EXPECT_FALSE(isDirectory);
}

TEST_F(FileManagerTest, WriteReadReplaceAndList) {
  auto folder = home.path() / "Documents";
  ASSERT_FALSE(files->createDirectory(folder, true));
  Bytes first{0, 1, 2, 0xff};
  ASSERT_FALSE(files->writeFile(folder / "fw_1.2.3.zip", first));
  EXPECT_EQ(*files->contentsOfFile(folder / "fw_1.2.3.zip").value(), first);
  // Replacing gives a new file (a link to the old one keeps the old content) and appends nothing.
  std::filesystem::create_hard_link(folder / "fw_1.2.3.zip", home.path() / "old-link");
  ASSERT_FALSE(files->writeFile(folder / "fw_1.2.3.zip", Bytes{7}));
  EXPECT_EQ(*files->contentsOfFile(folder / "fw_1.2.3.zip").value(), Bytes{7});
  EXPECT_EQ(*files->contentsOfFile(home.path() / "old-link").value(), first);
  ASSERT_FALSE(files->writeFile(folder / ".hidden", Bytes{}));
  EXPECT_EQ(*files->contentsOfFile(folder / ".hidden").value(), Bytes{});
  EXPECT_EQ(*files->contentsOfDirectory(folder).value(), (std::vector<std::string>{".hidden", "fw_1.2.3.zip"}));

  auto missing = files->contentsOfFile(folder / "missing.json");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error()->domain, "NSCocoaErrorDomain");
  EXPECT_EQ(missing.error()->code, 260);
  EXPECT_FALSE(files->contentsOfFile(folder));  // a folder is not a file
  EXPECT_EQ(files->writeFile(folder / "no-such-folder" / "x", Bytes{1})->code, 4);
  EXPECT_EQ(files->contentsOfDirectory(folder / "missing").error()->code, 260);
}

TEST_F(FileManagerTest, RemoveFilesAndFoldersButNotWhatLinksPointTo) {
  auto folder = home.path() / "Documents" / "Data";
  ASSERT_FALSE(files->createDirectory(folder / "deep", true));
  ASSERT_FALSE(files->writeFile(folder / "deep" / "a", Bytes{1}));
  auto outside = home.path() / "outside";
  ASSERT_FALSE(files->writeFile(outside, Bytes{2}));
  std::filesystem::create_symlink(home.path(), folder / "link-to-home");
  EXPECT_FALSE(files->removeItem(home.path() / "Documents"));
  EXPECT_FALSE(files->fileExists(home.path() / "Documents"));
  EXPECT_TRUE(files->fileExists(outside));
  EXPECT_EQ(files->removeItem(home.path() / "Documents")->code, 4);
  EXPECT_FALSE(files->removeItem(outside));
  EXPECT_FALSE(files->fileExists(outside));
}

TEST_F(FileManagerTest, UbiquityContainerAndReplacement) {
  FileManager::setUbiquityContainer(home.path() / "Cloud");
  EXPECT_EQ(files->ubiquityContainer(), home.path() / "Cloud");
  FileManager::setUbiquityContainer(std::nullopt);
  EXPECT_FALSE(files->ubiquityContainer());

  struct Failing : FileManager {
    platform::FileResult<std::filesystem::path> documentsDirectory() const override {
      return Error("NSCocoaErrorDomain", 4);
    }
  };
  testkit::setDefaultFileManager(std::make_shared<Failing>());
  EXPECT_FALSE(FileManager::defaultManager()->documentsDirectory());
  testkit::setDefaultFileManager(nullptr);
  EXPECT_TRUE(FileManager::defaultManager()->documentsDirectory());
}

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "support/JsonText.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/Storage.hpp"
#include "talvaren/utilities/JSONHelper.hpp"

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

JSONHelper userFile() { return JSONHelper("user", JSONHelper::FileExtension::JSON, "Data"); }

// A file manager whose writes fail, as when the disk is full or the app is stopped mid-save.
class FailingWrites : public platform::FileManager {
 public:
  std::optional<Error> writeFile(const fs::path& path, const Bytes&) const override {
    return Error("NSCocoaErrorDomain", 640, {{"NSFilePath", path.string()}});
  }
};

class JSONHelperTest : public ::testing::Test {
 protected:
  void TearDown() override { testkit::setDefaultFileManager(nullptr); }

  testkit::TemporaryAppHome home;
  fs::path data = home.path() / "Documents" / "Data";
};

}  // namespace

TEST_F(JSONHelperTest, PathsAndTheSubdirectoryMadeAtOnce) {
  ASSERT_FALSE(fs::exists(home.path() / "Documents"));
  auto helper = userFile();
  EXPECT_TRUE(fs::is_directory(data));
  EXPECT_TRUE(helper.directoryExists());
  EXPECT_FALSE(helper.fileExists());
  EXPECT_EQ(helper.fileName(), "user.json");
  EXPECT_EQ(helper.subDirectory(), "/Data");
  EXPECT_EQ(fs::path(helper.fullPath()), data / "user.json");

  JSONHelper plain("entries", JSONHelper::FileExtension::JSON);
  // The empty subdirectory leaves two slashes before the file name, which name the same file.
  EXPECT_EQ(plain.fullPath(), plain.directoryPath() + "//entries.json");
  ASSERT_FALSE(plain.saveFile(parsed(R"({"a": 1})")));
  EXPECT_TRUE(fs::exists(home.path() / "Documents" / "entries.json"));
}

TEST_F(JSONHelperTest, SaveReplacesTheFileWithPrettyPrintedJSON) {
  testkit::ConsoleCapture console;
  auto helper = userFile();
  ASSERT_FALSE(helper.saveFile(parsed(R"({"first_name": "Jo", "pk": 1})")));
  ASSERT_FALSE(helper.saveFile(parsed(R"({"first_name": "Al"})")));
  EXPECT_TRUE(console.contains(helper.filePath()));
  auto text = contentOf(data / "user.json");
  EXPECT_NE(text.find("\n  \"first_name\""), std::string::npos);
  EXPECT_EQ(parsed(text), parsed(R"({"first_name": "Al"})"));
  auto read = helper.getJSONData();
  ASSERT_EQ(read.index(), 0u);
  EXPECT_EQ(std::get<JSON>(read), parsed(R"({"first_name": "Al"})"));
  // A list is saved too, though it reads back as no object.
  ASSERT_FALSE(helper.saveFile(parsed("[1, 2]")));
  EXPECT_EQ(std::get<JSONHelper::Errors>(helper.getJSONData()), JSONHelper::Errors::fileNotRead);
}

TEST_F(JSONHelperTest, ReadingMissingDamagedOrMisshapenFiles) {
  testkit::ConsoleCapture console;
  auto helper = userFile();
  EXPECT_EQ(std::get<JSONHelper::Errors>(helper.getJSONData()), JSONHelper::Errors::fileNotFound);
  for (const char* text : {"{\"first_name\": \"Jo\"", "", "[{\"first_name\": \"Jo\"}]", "42", "\"text\"", "null"}) {
    writeText(data / "user.json", text);
    auto read = helper.getJSONData();
    ASSERT_EQ(read.index(), 1u) << text;
    EXPECT_EQ(std::get<JSONHelper::Errors>(read), JSONHelper::Errors::fileNotRead) << text;
  }
  fs::remove(data / "user.json");
  fs::create_directory(data / "user.json");
  EXPECT_EQ(std::get<JSONHelper::Errors>(helper.getJSONData()), JSONHelper::Errors::fileNotRead);
  EXPECT_TRUE(console.lines().empty());
}

TEST_F(JSONHelperTest, UnserialisableValuesFailAndLeaveThePreviousFile) {
  auto helper = userFile();
  ASSERT_FALSE(helper.saveFile(parsed(R"({"first_name": "Jo"})")));
  auto before = contentOf(data / "user.json");

  JSON nonFinite = {{"weight", std::nan("")}};
  JSON infinite = {{"list", {1, HUGE_VAL}}};
  JSON badText = {{"first_name", std::string("\xff\xfe")}};
  JSON badKey = {{std::string("\xc3"), 1}};
  for (const JSON& value : {nonFinite, infinite, badText, badKey, JSON("text"), JSON(5)}) {
    testkit::ConsoleCapture console;
    EXPECT_EQ(helper.saveFile(value), JSONHelper::Errors::fileNotSaved);
    auto lines = console.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1].rfind("Error writing data: ", 0), 0u);
    EXPECT_EQ(lines[2], "jsonNotSerialized");
  }
  EXPECT_EQ(contentOf(data / "user.json"), before);
}

TEST_F(JSONHelperTest, FailedWriteLeavesThePreviousFile) {
  auto helper = userFile();
  ASSERT_FALSE(helper.saveFile(parsed(R"({"first_name": "Jo"})")));
  auto before = contentOf(data / "user.json");
  testkit::setDefaultFileManager(std::make_shared<FailingWrites>());
  testkit::ConsoleCapture console;
  EXPECT_EQ(userFile().saveFile(parsed(R"({"first_name": "Al"})")), JSONHelper::Errors::fileNotSaved);
  EXPECT_TRUE(console.contains("fileNotSaved"));
  EXPECT_EQ(contentOf(data / "user.json"), before);
}

TEST_F(JSONHelperTest, AFileInPlaceOfTheFolderMakesSavesFail) {
  fs::create_directories(home.path() / "Documents");
  writeText(data, "not a folder");
  auto helper = userFile();
  EXPECT_TRUE(helper.directoryExists());
  testkit::ConsoleCapture console;
  EXPECT_EQ(helper.saveFile(JSON::object()), JSONHelper::Errors::fileNotSaved);
  EXPECT_EQ(contentOf(data), "not a folder");
}

TEST_F(JSONHelperTest, NamesThatLeaveTheirFolderAreRefused) {
  testkit::ConsoleCapture console;
  JSONHelper escaping("../../outside", JSONHelper::FileExtension::JSON, "Data");
  EXPECT_EQ(escaping.saveFile(JSON::object()), JSONHelper::Errors::fileNotSaved);
  EXPECT_EQ(std::get<JSONHelper::Errors>(escaping.getJSONData()), JSONHelper::Errors::fileNotFound);
  JSONHelper upward("user", JSONHelper::FileExtension::JSON, "Data/../..");
  EXPECT_EQ(upward.saveFile(JSON::object()), JSONHelper::Errors::fileNotSaved);
  EXPECT_FALSE(fs::exists(home.path() / "outside.json"));
  EXPECT_FALSE(fs::exists(home.path() / "user.json"));
}

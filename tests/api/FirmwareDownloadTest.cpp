#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ConnectorFixture.hpp"
#include "talvaren/utilities/DataExtensions.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using platform::http::HTTPMethod;
namespace fs = std::filesystem;

namespace {

struct DownloadRecord {
  int calls = 0;
  bool onMain = false;
  std::optional<Error> error;
  std::optional<fs::path> file;
};

class FirmwareDownloadTest : public ConnectorFixture {
 protected:
  FirmwareDownloadTest() : documents(home.path() / "Documents") { fs::create_directories(documents); }

  /// performDownloadCall on the shared client, waiting for its one completion.
  DownloadRecord download(const std::string& path, const std::string& file,
                          const std::optional<std::string>& checksum = std::nullopt) {
    auto record = std::make_shared<DownloadRecord>();
    Connector::sharedInstance()->performDownloadCall(
        HTTPMethod::GET, server.url(path), file, checksum, std::nullopt, platform::http::URLEncoding::defaultEncoding(),
        std::nullopt, [record](std::optional<Error> error, std::optional<fs::path> saved) {
          ++record->calls;
          record->onMain = platform::DispatchQueue::isMainQueueCurrent();
          record->error = std::move(error);
          record->file = std::move(saved);
        });
    EXPECT_EQ(record->calls, 0) << "completed before the call returned";
    EXPECT_TRUE(time.runUntil([&] { return record->calls > 0; }, std::chrono::seconds(60)));
    time.runUntil([] { return false; }, std::chrono::milliseconds(20));
    EXPECT_EQ(record->calls, 1);
    EXPECT_TRUE(record->onMain);
    return *record;
  }

  static void expectError(const DownloadRecord& record, const std::string& domain, std::int64_t code) {
    ASSERT_TRUE(record.error);
    EXPECT_EQ(record.error->domain, domain);
    EXPECT_EQ(record.error->code, code);
    EXPECT_FALSE(record.file);
  }

  static std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::vector<std::string> documentNames() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(documents)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::string digest(const std::string& text) { return md5(Bytes(text.begin(), text.end())); }

  fs::path documents;
};

const std::string packageA(200000, 'a');

/// A client whose downloads go through a session of its own.
class ClientWithSession : public Connector {
 public:
  explicit ClientWithSession(std::shared_ptr<platform::http::SessionManager> session) : session_(std::move(session)) {}
  std::shared_ptr<platform::http::SessionManager> manager() const override { return session_; }

 private:
  std::shared_ptr<platform::http::SessionManager> session_;
};
const std::string packageB = "PK\x03\x04 second package";

}  // namespace

TEST_F(FirmwareDownloadTest, SavesTheZipReplacesItAndChecksItsDigest) {
  server.reply("GET", "/fw/a", 200, packageA, "application/zip");
  server.reply("GET", "/fw/b", 200, packageB, "application/octet-stream");
  const fs::path target = documents / "fw_1.2.3.zip";

  const auto first = download("/fw/a", "fw_1.2.3", digest(packageA));
  EXPECT_FALSE(first.error);
  EXPECT_EQ(first.file, target);
  EXPECT_TRUE(contents(target) == packageA);
  EXPECT_TRUE(console.contains("Checksum: " + digest(packageA) + "\nMD5: " + digest(packageA)));

  console.clear();
  const auto second = download("/fw/b", "fw_1.2.3");
  EXPECT_EQ(second.file, target);
  EXPECT_EQ(contents(target), packageB);
  for (const auto& line : console.lines()) EXPECT_EQ(line.find("Checksum"), std::string::npos) << line;

  // The comparison is exact text: upper-case hex is a mismatch, and the file stays until the next download.
  std::string upper = digest(packageA);
  for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  expectError(download("/fw/a", "fw_1.2.3", upper), "Checksum doesn't match", -1017);
  EXPECT_TRUE(contents(target) == packageA);
  expectError(download("/fw/b", "fw_1.2.3", "0"), "Checksum doesn't match", -1017);
  EXPECT_EQ(documentNames(), std::vector<std::string>{"fw_1.2.3.zip"});
}

TEST_F(FirmwareDownloadTest, SendsAPlainGetWhateverTheArgumentsAndCredentials) {
  server.reply("GET", "/fw/a", 200, packageA, "application/zip");
  auto shared = Connector::sharedInstance();
  shared->saveTokenToKeychain(APIToken("t-1"));
  shared->setCSRFToken("c-1");

  auto record = std::make_shared<DownloadRecord>();
  shared->performDownloadCall(HTTPMethod::POST, server.url("/fw/a"), "fw", std::nullopt,
                              nlohmann::json{{"device", "kelo"}}, platform::http::URLEncoding::queryString(),
                              Bytes{'x', 'y'}, [record](std::optional<Error> error, std::optional<fs::path> file) {
                                ++record->calls;
                                record->error = std::move(error);
                                record->file = std::move(file);
                              });
  ASSERT_TRUE(time.runUntil([&] { return record->calls > 0; }, std::chrono::seconds(60)));
  EXPECT_FALSE(record->error);

  const auto request = server.requests().back();
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.target, "/fw/a");
  EXPECT_TRUE(request.body.empty());
  for (const char* absent : {"User-Agent", "Authorization", "X-CSRFToken", "X-API-Key", "Content-Type", "Accept"}) {
    EXPECT_FALSE(request.hasHeader(absent)) << absent;
  }
  // Method, parameters and body reach only the log.
  EXPECT_EQ(lastRequestLog(),
            (std::vector<std::string>{"Request: " + server.url("/fw/a"), "Method: post", "Headers: [:]",
                                      "Parameters:", R"(["device": "kelo"])", "Body:", "2 bytes"}));
}

TEST_F(FirmwareDownloadTest, ErrorPagesAndCutTransfersNeverReplaceThePackage) {
  server.reply("GET", "/fw/a", 200, packageA, "application/zip");
  server.reply("GET", "/fw/missing", 404, "<html>Not Found</html>", "text/html");
  server.reply("GET", "/fw/broken", 500, "", "text/plain");
  server.on("GET", "/fw/cut", [](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(500000, "application/zip", [](size_t, size_t, httplib::DataSink& sink) {
      sink.write("PK\x03\x04", 4);
      return false;
    });
  });

  ASSERT_FALSE(download("/fw/a", "fw").error);
  expectError(download("/fw/missing", "fw", digest("<html>Not Found</html>")), "", 404);
  expectError(download("/fw/broken", "fw"), "", 500);
  expectError(download("/fw/missing", "other"), "", 404);
  expectError(download("/fw/cut", "fw"), "NSURLErrorDomain", -1005);
  EXPECT_TRUE(contents(documents / "fw.zip") == packageA);
  EXPECT_EQ(documentNames(), std::vector<std::string>{"fw.zip"});
}

TEST_F(FirmwareDownloadTest, NamesOutsideDocumentsAndAMissingDocumentsFolderAreRefused) {
  server.reply("GET", "/fw/a", 200, packageA, "application/zip");
  for (const std::string& name : {std::string("../escape"), std::string(""), std::string("."), std::string(".."),
                                  std::string("a/b"), std::string("fw\0x", 4)}) {
    expectError(download("/fw/a", name), "NSCocoaErrorDomain", 514);
  }
  EXPECT_EQ(server.requestCount(), 0u);
  EXPECT_TRUE(documentNames().empty());
  EXPECT_FALSE(fs::exists(home.path() / "escape.zip"));

  // The download does not make the folder on the fly.
  fs::remove_all(documents);
  expectError(download("/fw/a", "fw"), "NSCocoaErrorDomain", 4);
  EXPECT_FALSE(fs::exists(documents));
}

TEST_F(FirmwareDownloadTest, APackageLargerThanTheSessionsMemoryBoundIsCheckedAsItIsWritten) {
  // The package never comes back into memory: a session that keeps at most 64 KiB of a body in memory
  // still proves a 200,000-byte package by its digest.
  server.reply("GET", "/fw/a", 200, packageA, "application/zip");
  auto configuration = platform::http::SessionConfiguration::defaultConfiguration();
  configuration.maximumBodySize = 64 * 1024;
  auto client = std::make_shared<ClientWithSession>(std::make_shared<platform::http::SessionManager>(configuration));
  auto run = [&](const std::optional<std::string>& checksum) {
    auto record = std::make_shared<DownloadRecord>();
    client->performDownloadCall(HTTPMethod::GET, server.url("/fw/a"), "fw_big", checksum, std::nullopt,
                                platform::http::URLEncoding::defaultEncoding(), std::nullopt,
                                [record](std::optional<Error> error, std::optional<fs::path> file) {
                                  ++record->calls;
                                  record->error = std::move(error);
                                  record->file = std::move(file);
                                });
    EXPECT_TRUE(time.runUntil([&] { return record->calls > 0; }, std::chrono::seconds(60)));
    return *record;
  };

  const auto proven = run(digest(packageA));
  EXPECT_FALSE(proven.error);
  EXPECT_EQ(proven.file, documents / "fw_big.zip");
  EXPECT_TRUE(console.contains("Checksum: " + digest(packageA) + "\nMD5: " + digest(packageA)));
  expectError(run(digest(packageB)), "Checksum doesn't match", -1017);
  EXPECT_TRUE(contents(documents / "fw_big.zip") == packageA);
  EXPECT_FALSE(run(std::nullopt).error);
}

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "HttpFixture.hpp"
#include "support/Text.hpp"
#include "talvaren/platform/http/URLError.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
namespace fs = std::filesystem;

namespace {

class DownloadTest : public HttpFixture {
 protected:
  DownloadTest() {
    directory = fs::temp_directory_path() / ("talvaren-download-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(directory);
    fs::create_directories(directory);
  }
  ~DownloadTest() override { fs::remove_all(directory); }

  DownloadResponse<Bytes> download(const std::string& path, const fs::path& destination, DownloadOptions options) {
    Captured<DownloadResponse<Bytes>> captured;
    session->download(server.url(path), DownloadDestination{destination.string(), options})
        ->responseData(captured.handler());
    waitFor([&] { return captured.done(); });
    return *captured.reply();
  }

  static std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::size_t entriesInDirectory() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(directory), fs::directory_iterator()));
  }

  fs::path directory;
};

using testkit::text;

}  // namespace

TEST_F(DownloadTest, ReplacesThePreviousFileOnlyWhenComplete) {
  const std::string package(300000, 'z');
  server.reply("GET", "/fw.zip", 200, package, "application/zip");
  server.reply("GET", "/fw2.zip", 200, "second", "application/zip");
  server.on("GET", "/cut.zip", [](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(5000, "application/zip", [](size_t, size_t, httplib::DataSink& sink) {
      sink.write("half", 4);
      return false;
    });
  });
  const fs::path destination = directory / "fw_1.2.3.zip";
  const DownloadOptions replace{true, false};

  auto first = download("/fw.zip", destination, replace);
  ASSERT_TRUE(first.result.isSuccess());
  EXPECT_EQ(first.destinationURL, destination.string());
  EXPECT_EQ(first.result.value()->size(), package.size());
  EXPECT_EQ(first.response->statusCode(), 200);
  EXPECT_EQ(contents(destination), package);

  auto second = download("/fw2.zip", destination, replace);
  ASSERT_TRUE(second.result.isSuccess());
  EXPECT_EQ(text(*second.result.value()), "second");
  EXPECT_EQ(contents(destination), "second");

  auto cut = download("/cut.zip", destination, replace);
  ASSERT_TRUE(cut.result.isFailure());
  EXPECT_EQ(cut.result.error()->code, URLError::networkConnectionLost);
  EXPECT_FALSE(cut.destinationURL);
  EXPECT_EQ(contents(destination), "second");
  EXPECT_EQ(entriesInDirectory(), 1u);  // no temporary file left behind

  auto refused = download("/fw.zip", directory / "other.zip", DownloadOptions{});
  ASSERT_TRUE(refused.result.isSuccess());
  auto kept = download("/fw2.zip", directory / "other.zip", DownloadOptions{});
  ASSERT_TRUE(kept.result.isFailure());
  EXPECT_EQ(kept.result.error()->domain, "NSCocoaErrorDomain");
  EXPECT_EQ(kept.result.error()->code, 516);
  EXPECT_EQ(contents(directory / "other.zip"), package);
  EXPECT_EQ(entriesInDirectory(), 2u);
}

TEST_F(DownloadTest, SavesErrorPagesAndCreatesDirectoriesOnlyWhenAsked) {
  server.reply("GET", "/missing.zip", 404, "<html>Not Found</html>", "text/html");
  auto page = download("/missing.zip", directory / "page.zip", DownloadOptions{true, false});
  ASSERT_TRUE(page.result.isSuccess());
  EXPECT_EQ(page.response->statusCode(), 404);
  EXPECT_EQ(text(*page.result.value()), "<html>Not Found</html>");

  auto noDirectory = download("/missing.zip", directory / "a" / "b" / "f.zip", DownloadOptions{true, false});
  ASSERT_TRUE(noDirectory.result.isFailure());
  EXPECT_EQ(noDirectory.result.error()->domain, "NSCocoaErrorDomain");
  EXPECT_EQ(noDirectory.result.error()->code, 4);
  EXPECT_EQ(server.requestCount(), 1u);

  auto created = download("/missing.zip", directory / "a" / "b" / "f.zip", DownloadOptions{true, true});
  ASSERT_TRUE(created.result.isSuccess());
  EXPECT_TRUE(fs::exists(directory / "a" / "b" / "f.zip"));

  testkit::injectHttpTransportFault("127.0.0.1", testkit::HttpTransportFault::hostNotFound);
  auto unreachable = download("/missing.zip", directory / "page.zip", DownloadOptions{true, false});
  EXPECT_EQ(unreachable.result.error()->code, URLError::cannotFindHost);
  EXPECT_FALSE(unreachable.response);
  EXPECT_EQ(contents(directory / "page.zip"), "<html>Not Found</html>");
}

TEST_F(DownloadTest, ReportsTheFilesSizeAndTheDigestComputedWhileWriting) {
  // Known MD5 answers: RFC 1321's "" and "abc", and one million times "a".
  struct Case {
    const char* path;
    std::string body;
    const char* md5;
  };
  const std::vector<Case> cases = {{"/empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
                                   {"/abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
                                   {"/million", std::string(1000000, 'a'), "7707d6ae4e027c70eea2a935c2296f21"}};
  auto saveFile = [&](const std::string& path, const fs::path& destination, DownloadOptions options) {
    Captured<DownloadResponse<DownloadedFile>> captured;
    session->download(server.url(path), DownloadDestination{destination.string(), options})
        ->responseFile(captured.handler());
    waitFor([&] { return captured.done(); });
    return *captured.reply();
  };
  DownloadOptions digested;
  digested.removePreviousFile = true;
  digested.digestMD5 = true;
  for (const auto& c : cases) {
    server.reply("GET", c.path, 200, c.body, "application/octet-stream");
    const auto saved = saveFile(c.path, directory / "package.zip", digested);
    ASSERT_TRUE(saved.result.isSuccess()) << c.path;
    EXPECT_EQ(saved.destinationURL, (directory / "package.zip").string());
    EXPECT_EQ(saved.result.value()->size, static_cast<std::int64_t>(c.body.size())) << c.path;
    EXPECT_EQ(saved.result.value()->md5, std::optional<std::string>(c.md5)) << c.path;
    EXPECT_TRUE(contents(directory / "package.zip") == c.body) << c.path;
  }

  // Not asked for: no digest. A refused error page: no file and no digest, whatever was asked for.
  const auto plain = saveFile("/abc", directory / "plain.zip", DownloadOptions{true, false});
  ASSERT_TRUE(plain.result.isSuccess());
  EXPECT_EQ(plain.result.value()->size, 3);
  EXPECT_FALSE(plain.result.value()->md5);
  server.reply("GET", "/missing.zip", 404, "<html>Not Found</html>", "text/html");
  digested.requireSuccessStatus = true;
  const auto refused = saveFile("/missing.zip", directory / "refused.zip", digested);
  ASSERT_TRUE(refused.result.isFailure());
  EXPECT_EQ(refused.result.error()->code, 404);
  EXPECT_FALSE(refused.destinationURL);
  EXPECT_FALSE(fs::exists(directory / "refused.zip"));
}

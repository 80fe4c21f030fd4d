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

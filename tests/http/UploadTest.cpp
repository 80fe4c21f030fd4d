#include <gtest/gtest.h>

#include <thread>

#include "HttpFixture.hpp"
#include "talvaren/platform/http/URLError.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using nlohmann::json;

namespace {

class UploadTest : public HttpFixture {};

}  // namespace

TEST_F(UploadTest, SendsAMultipartFormWithProgressBeforeTheReply) {
  server.on("PUT", "/auth/me/", [](const httplib::Request& req, httplib::Response& res) {
    const auto photo = req.get_file_value("profile.mugshot");
    res.set_content(json{{"name", photo.name},
                         {"filename", photo.filename},
                         {"type", photo.content_type},
                         {"size", photo.content.size()},
                         {"last", photo.content.empty() ? 0 : static_cast<unsigned char>(photo.content.back())}}
                        .dump(),
                    "application/json");
  });
  Bytes png(3 * 1024 * 1024);
  for (std::size_t i = 0; i < png.size(); ++i) png[i] = static_cast<std::uint8_t>(i * 7);

  std::vector<std::string> events;
  std::vector<Progress> reports;
  std::optional<DataResponse<json>> reply;
  session->upload(
      [&](MultipartFormData& form) { form.append(png, "profile.mugshot", "ic_user_photo.png", "image/png"); },
      server.url("/auth/me/"), HTTPMethod::PUT,
      HTTPHeaders{{"Content-type", "application/json"}, {"X-API-Key", "key"}},
      [&](const Result<std::shared_ptr<DataRequest>>& encoded) {
        events.push_back("encoded");
        ASSERT_TRUE(encoded.isSuccess());
        (*encoded.value())
            ->uploadProgress([&](const Progress& progress) {
              if (events.back() != "progress") events.push_back("progress");
              reports.push_back(progress);
            })
            .responseJSON([&](const DataResponse<json>& response) {
              events.push_back("reply");
              reply = response;
            });
      });
  waitFor([&] { return reply.has_value(); });
  settle();

  EXPECT_EQ(events, (std::vector<std::string>{"encoded", "progress", "reply"}));
  ASSERT_FALSE(reports.empty());
  for (std::size_t i = 1; i < reports.size(); ++i) EXPECT_GT(reports[i].completedUnitCount, reports[i - 1].completedUnitCount);
  const auto& last = reports.back();
  EXPECT_EQ(last.completedUnitCount, last.totalUnitCount);
  EXPECT_DOUBLE_EQ(last.fractionCompleted(), 1.0);
  EXPECT_GT(last.totalUnitCount, static_cast<std::int64_t>(png.size()));

  ASSERT_TRUE(reply->result.isSuccess());
  EXPECT_EQ(*reply->result.value(), (json{{"name", "profile.mugshot"}, {"filename", "ic_user_photo.png"},
                                          {"type", "image/png"}, {"size", png.size()}, {"last", png.back()}}));
  const auto received = server.requests().at(0);
  EXPECT_EQ(received.headerCount("Content-Type"), 1u);
  EXPECT_EQ(received.header("Content-Type").rfind("multipart/form-data; boundary=", 0), 0u);
  EXPECT_EQ(received.header("X-API-Key"), "key");
  EXPECT_FALSE(received.hasHeader("Expect"));
}

TEST_F(UploadTest, ReportsAnUnusableFormOrURLThroughTheEncodingCompletion) {
  std::vector<Error> errors;
  auto collect = [&](const Result<std::shared_ptr<DataRequest>>& encoded) {
    ASSERT_TRUE(encoded.isFailure());
    EXPECT_TRUE(platform::DispatchQueue::isMainQueueCurrent());
    errors.push_back(*encoded.error());
  };
  session->upload([](MultipartFormData& form) { form.append(Bytes{1}, "f"); }, "not a url", HTTPMethod::PUT,
                  std::nullopt, collect);
  session->upload([](MultipartFormData&) { throw std::runtime_error("no PNG"); }, server.url("/"), HTTPMethod::PUT,
                  std::nullopt, collect);
  waitFor([&] { return errors.size() == 2; });
  EXPECT_EQ(errors[0].code, URLError::badURL);
  EXPECT_EQ(errors[1].domain, HTTPRequestErrorDomain);
  EXPECT_EQ(errors[1].code, HTTPRequestError::multipartEncodingFailed);
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(UploadTest, CancellingFromTheEncodingCompletionReportsCancelledOnce) {
  server.on("PUT", "/slow", [&](const httplib::Request&, httplib::Response& res) {
    server.waitForStop(std::chrono::seconds(10));
    res.set_content("{}", "application/json");
  });
  // From the main queue and from another thread: the completion may run before or after the transfer began.
  std::vector<CapturedJSON> replies(2);
  auto start = [&](CapturedJSON& captured) {
    session->upload([](MultipartFormData& form) { form.append(Bytes(64 * 1024, 7), "file"); }, server.url("/slow"),
                    HTTPMethod::PUT, std::nullopt,
                    [&captured](const Result<std::shared_ptr<DataRequest>>& encoded) {
                      (*encoded.value())->responseJSON(captured.handler());
                      (*encoded.value())->cancel();
                    });
  };
  start(replies[0]);
  std::thread([&] { start(replies[1]); }).join();
  const auto began = std::chrono::steady_clock::now();
  waitFor([&] { return replies[0].done() && replies[1].done(); });
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(5));  // not the server's answer
  for (auto& captured : replies) {
    ASSERT_TRUE(captured.reply()->result.isFailure());
    EXPECT_EQ(captured.reply()->result.error()->code, URLError::cancelled);
  }
}

// Heart-rate samples: the paged download, the bulk upload with its fallback to chunks, single samples.

#include <gtest/gtest.h>

#include <limits>

#include "ServiceFixture.hpp"
#include "talvaren/utilities/ArrayExtensions.hpp"

using namespace talvaren;
using namespace talvaren::testkit;
using nlohmann::json;

namespace {

std::vector<HeartrateSDK> samples(std::size_t count, std::int64_t first = 1'700'000'000) {
  std::vector<HeartrateSDK> list;
  for (std::size_t i = 0; i < count; ++i) {
    const auto timestamp = first + static_cast<std::int64_t>(i);
    list.emplace_back(timestamp, 60 + static_cast<std::int64_t>(i % 100), Date(static_cast<double>(timestamp)), 0,
                      "strap", "w1");
  }
  return list;
}

std::vector<std::int64_t> timestamps(const std::vector<HeartrateSDK>& list) {
  std::vector<std::int64_t> result;
  for (const auto& sample : list) result.push_back(sample.timestamp().value_or(-1));
  return result;
}

class ConnectorHeartrateTest : public ServiceFixture {
 protected:
  ConnectorHeartrateTest() : ServiceFixture(LoopbackService::Options{10, 40'000, true}) {}

  std::shared_ptr<CompletionRecord> download(std::int64_t start, std::int64_t end, std::int64_t page = 1) {
    return run([&](auto done) { client().getHeartrate(start, end, page, done); });
  }

  std::vector<std::string> targets(const std::string& method) {
    std::vector<std::string> list;
    for (const auto& request : requests()) {
      if (request.method == method) list.push_back(request.target);
    }
    return list;
  }
};

}  // namespace

TEST(ArrayChunks, CutsInOrderWithAShorterTail) {
  const std::vector<int> values{1, 2, 3, 4, 5};
  EXPECT_EQ(chunks(values, 2), (std::vector<std::vector<int>>{{1, 2}, {3, 4}, {5}}));
  EXPECT_EQ(chunks(values, 5), (std::vector<std::vector<int>>{{1, 2, 3, 4, 5}}));
  EXPECT_TRUE(chunks(std::vector<int>{}, 3).empty());
  EXPECT_EQ(chunks(values, 0), (std::vector<std::vector<int>>{{1, 2, 3, 4, 5}}));
}

TEST_F(ConnectorHeartrateTest, BulkUploadThenPagedDownload) {
  login();
  // 1,100 samples are too large for the service in one body: chunks of 512, 512 and 76, all accepted,
  // each reported once; the refused whole is not reported.
  const auto all = samples(1100);
  auto [first, firstDone] = recorder();
  int calls = 0;
  client().postHeartrates(all,
                          [&, firstDone = firstDone](std::optional<Error> error, std::optional<ServerReply> reply) {
                            if (calls++ == 0) firstDone(error, reply);
                            EXPECT_FALSE(error) << error->description();
                          });
  ASSERT_TRUE(time.runUntil([&] { return calls == 3; }, std::chrono::seconds(60)));
  const auto posts = requests();
  ASSERT_EQ(posts.size(), 5u);  // the login, the refused whole, three chunks
  EXPECT_GT(posts[1].body.size(), 40'000u);
  std::vector<std::size_t> sizes;
  for (std::size_t i = 2; i < posts.size(); ++i) sizes.push_back(json::parse(posts[i].body).size());
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, (std::vector<std::size_t>{76, 512, 512}));
  EXPECT_EQ(service.heartrates(pk).size(), 1100u);
  EXPECT_TRUE(logged("postHeartratesReduce nil"));

  // Pages of 10 between two timestamps: page=1, 2, 3, one completion with every sample in order.
  Connector::setHeartrateData(samples(2, 1));
  const auto firstStamp = all.front().timestamp().value();
  auto downloaded = download(firstStamp + 5, firstStamp + 29);
  EXPECT_FALSE(downloaded->error);
  ASSERT_TRUE(downloaded->reply && downloaded->reply->heartrates());
  std::vector<std::int64_t> expected;
  for (auto t = firstStamp + 5; t <= firstStamp + 29; ++t) expected.push_back(t);
  EXPECT_EQ(timestamps(*downloaded->reply->heartrates()), expected);
  EXPECT_EQ(timestamps(Connector::heartrateData()), expected);
  const auto gets = targets("GET");
  ASSERT_EQ(gets.size(), 3u);
  EXPECT_EQ(gets[0], "/heartrate/?timestamp__gte=" + std::to_string(firstStamp + 5) +
                         "&timestamp__lte=" + std::to_string(firstStamp + 29) + "&page=1");
  EXPECT_NE(gets[2].find("&page=3"), std::string::npos);

  // A download from page 3 continues what the accumulator holds.
  auto continued = download(firstStamp + 5, firstStamp + 29, 3);
  EXPECT_EQ(continued->reply->heartrates()->size(), expected.size() + 5);
}

TEST_F(ConnectorHeartrateTest, IncompleteDownloadsSayWhy) {
  // Page 2 fails: the error arrives with page 1's samples. Page 2 undecodable: the same with the kit's error.
  server.on("GET", "/heartrate/", [&](const httplib::Request& request, httplib::Response& response) {
    const auto page = request.get_param_value("page");
    const auto mode = request.get_param_value("timestamp__gte");
    if (page == "1") {
      response.set_content(R"({"next":"page 2","results":[{"timestamp":1,"value":60},{"timestamp":2,"value":61}]})",
                           "application/json");
    } else if (mode == "9") {
      response.set_content(R"({"next":"more","results":[{"timestamp":9,"value":69}]})", "application/json");
    } else if (mode == "500") {
      response.status = 500;
      response.set_content("server trouble", "text/plain");
    } else {
      response.set_content(R"({"next":null,"results":[{"timestamp":3,"value":62},{"value":63}]})", "application/json");
    }
  });
  routeHttpHost(host, "127.0.0.1", server.port());
  auto failed = download(500, 0);
  ASSERT_TRUE(failed->error);
  EXPECT_EQ(failed->error->code, 500);
  EXPECT_EQ(timestamps(*failed->reply->heartrates()), (std::vector<std::int64_t>{1, 2}));

  auto undecodable = download(0, 0);
  EXPECT_TRUE(logged("Decoding heartrate error"));
  ASSERT_TRUE(undecodable->error);
  EXPECT_EQ(undecodable->error->domain, "SarvikDesing.TalvarenIOS.error");
  EXPECT_EQ(undecodable->error->code, -1);
  EXPECT_EQ(undecodable->error->userInfo, json::object());
  EXPECT_TRUE(client().authorizationHeaders().empty());
  EXPECT_EQ(timestamps(*undecodable->reply->heartrates()), (std::vector<std::int64_t>{1, 2}));

  // The last page number there is still says "next": no page after it can be asked for.
  const auto sent = server.requests().size();
  auto endless = download(9, 9, std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(server.requests().size(), sent + 1);
  ASSERT_TRUE(endless->error);
  EXPECT_EQ(endless->error->code, -1);
  EXPECT_EQ(timestamps(*endless->reply->heartrates()), (std::vector<std::int64_t>{1, 2, 9}));
}

TEST_F(ConnectorHeartrateTest, RefusalsOtherThanTheBodyLimitPassThrough) {
  // The refusal text must match exactly; empty uploads send nothing and never complete.
  server.reply("POST", "/heartrate/", 413, "Client Intended To Send Too Large Body", "text/plain");
  routeHttpHost(host, "127.0.0.1", server.port());
  auto refused = run([&](auto done) { client().postHeartrates(samples(600), done); });
  ASSERT_TRUE(refused->error);
  EXPECT_EQ(refused->error->code, 413);
  EXPECT_EQ(server.requestCount(), 1u);
  EXPECT_TRUE(logged("data is nil"));

  int calls = 0;
  client().postHeartrates({}, [&calls](auto, auto) { ++calls; });
  client().postHeartratesReduce({}, [&calls](auto, auto) { ++calls; });
  time.runUntil([] { return false; }, std::chrono::milliseconds(30));
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(ConnectorHeartrateTest, UploadBodyIsTheRecordLayersJSONText) {
  // The body is written without a tree of the samples; it must stay the text the record layer writes:
  // members in key order, absent ones left out, texts escaped, UTF-8 kept and broken bytes replaced.
  login();
  std::vector<HeartrateSDK> odd{
      HeartrateSDK(1'700'000'000, 61, Date(1.7e9), 3, "strap", "w1"),
      HeartrateSDK(-7, -1, Date(0), 0, "", std::nullopt),
      HeartrateSDK(1'700'000'000'000'123, 0, Date(0), 0, "", "Lauf \xc3\xbc \"quoted\" back\\slash\n\x01\x7f"),
      HeartrateSDK(std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(), Date(0), 0, "",
                   "cut \xc3"),
      HeartrateSDK(5, 70, Date(0), 0, "", ""),
      *HeartrateSDK::fromJSON(json{{"timestamp", 9}}),
  };
  run([&](auto done) { client().postHeartrates(odd, done); });
  ASSERT_EQ(requests().back().target, "/heartrate/");
  const std::string expected = Json::dump(*Json::toJSONArray(odd));
  EXPECT_EQ(requests().back().body, expected);
  EXPECT_NE(expected.find("\"workout\":\"cut \xef\xbf\xbd\""), std::string::npos);
  EXPECT_NE(expected.find("{\"timestamp\":9}"), std::string::npos);
}

TEST_F(ConnectorHeartrateTest, SingleSamplesByTimestamp) {
  login();
  const auto sample = samples(1, 42).front();
  auto posted = run([&](auto done) { client().postHeartrate(sample, done); });
  EXPECT_FALSE(posted->error);
  auto put = run([&](auto done) { client().putHeartrate(sample, done); });
  EXPECT_FALSE(put->error);
  EXPECT_EQ(lastRequest().target, "/heartrate/42/");
  EXPECT_EQ(lastRequest().method, "PUT");
  auto one = run([&](auto done) { client().getHeartrate("42", done); });
  EXPECT_EQ((*one->json())["value"], 60);
  auto many = run([&](auto done) { client().getManyHeartrate(done); });
  EXPECT_EQ((*many->json())["count"], 1);

  // A host-supplied text stays one path segment: the credentials never reach another resource.
  auto escaped = run([&](auto done) { client().getHeartrate("../auth/me/?x#y", done); });
  EXPECT_EQ(lastRequest().target, "/heartrate/..%2Fauth%2Fme%2F%3Fx%23y/");
  EXPECT_EQ(escaped->error->code, 404);
  auto dots = run([&](auto done) { client().getHeartrate("..", done); });
  EXPECT_EQ(lastRequest().target, "/heartrate/%2E%2E/");
  EXPECT_EQ(dots->error->code, 404);
}

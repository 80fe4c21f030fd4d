#pragma once
// Shared by the server client suites: a fresh shared client whose base URL names a host routed to a loopback
// server, a temporary application home, a fixed device and bundle, the console captured, and completions that
// must each run exactly once, on the main queue, by the end of the test.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/LoopbackServer.hpp"
#include "talvaren/api/Connector.hpp"
#include "talvaren/platform/Bundle.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/NotificationCenter.hpp"
#include "talvaren/testing/Connector.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/Http.hpp"
#include "talvaren/testing/Storage.hpp"
#include "talvaren/testing/VirtualTime.hpp"

namespace talvaren::testkit {

/// What one completion received, and how often it ran.
struct CompletionRecord {
  int calls = 0;
  bool allOnMain = true;
  std::optional<Error> error;
  std::optional<ServerReply> reply;

  const nlohmann::json* json() const { return reply ? reply->json() : nullptr; }
};

class ConnectorFixture : public ::testing::Test {
 protected:
  static constexpr const char* host = "api.talvaren.test";
  static constexpr const char* baseURL = "http://api.talvaren.test/";

  ConnectorFixture() {
    resetConnector();
    resetHttpCookies();
    routeHttpHost(host, "127.0.0.1", server.port());
    setMachineField(machineField("iPhone10,3"));
    platform::Bundle::setMain(std::make_shared<platform::Bundle>(
        home.path(), nlohmann::json{{"CFBundleShortVersionString", "2.3"}, {"CFBundleVersion", "41"}}));
    Connector::setAPIBaseURL(baseURL);
    observer = platform::NotificationCenter::defaultCenter()->addObserver(
        std::string(TokenExpiredNotification), [this](const platform::Notification&) { ++tokenExpiredPosts; });
  }

  ~ConnectorFixture() override {
    platform::NotificationCenter::defaultCenter()->removeObserver(observer);
    platform::Bundle::setMain(nullptr);
    setMachineField(std::nullopt);
    resetConnector();
    resetHttpCookies();
  }

  void TearDown() override {
    // Lets the main queue run a little longer, so a second call of a completion would show.
    time.runUntil([] { return false; }, std::chrono::milliseconds(30));
    for (std::size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(records[i]->calls, 1) << "completion " << i;
      EXPECT_TRUE(records[i]->allOnMain) << "completion " << i;
    }
  }

  /// A machine field as the system fills it: the identifier, then NUL bytes.
  static std::vector<char> machineField(const std::string& identifier) {
    std::vector<char> field(identifier.begin(), identifier.end());
    field.resize(65, '\0');
    return field;
  }

  /// A completion that records into a new record.
  std::pair<std::shared_ptr<CompletionRecord>, Connector::Completion> recorder() {
    auto record = std::make_shared<CompletionRecord>();
    records.push_back(record);
    return {record, [record](std::optional<Error> error, std::optional<ServerReply> reply) {
              ++record->calls;
              record->allOnMain = record->allOnMain && platform::DispatchQueue::isMainQueueCurrent();
              record->error = std::move(error);
              record->reply = std::move(reply);
            }};
  }

  /// Runs the main queue until the record has been called (real time, at most a minute).
  void waitFor(const std::shared_ptr<CompletionRecord>& record) {
    ASSERT_TRUE(time.runUntil([&] { return record->calls > 0; }, std::chrono::seconds(60)));
  }

  /// performAPICall on `connector` (the shared client by default), waiting for its completion.
  std::shared_ptr<CompletionRecord> call(platform::http::HTTPMethod method, const std::string& url,
                                         const std::optional<nlohmann::json>& parameters = std::nullopt,
                                         bool skipHeaders = false, const std::optional<Bytes>& httpBody = std::nullopt,
                                         const std::optional<std::string>& apiKey = std::nullopt,
                                         std::shared_ptr<Connector> connector = nullptr) {
    auto [record, completion] = recorder();
    if (!connector) connector = Connector::sharedInstance();
    connector->performAPICall(method, url, parameters, platform::http::JSONEncoding::defaultEncoding(), skipHeaders,
                              httpBody, apiKey, completion);
    EXPECT_EQ(record->calls, 0) << "completion ran before the request returned";
    waitFor(record);
    return record;
  }

  /// The captured console lines between the last pair of request-log separators.
  std::vector<std::string> lastRequestLog() const {
    const auto lines = console.lines();
    std::vector<std::string> log;
    std::size_t end = lines.size();
    while (end > 0 && lines[end - 1] != "---------------------") --end;
    if (end == 0) return log;
    std::size_t begin = end - 1;
    while (begin > 0 && lines[begin - 1] != "---------------------") --begin;
    if (begin == 0) return log;
    return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(begin),
                                    lines.begin() + static_cast<std::ptrdiff_t>(end - 1));
  }

  VirtualTime time;
  TemporaryAppHome home;
  ConsoleCapture console;
  ScopedHttpTestHooks hooks;
  LoopbackServer server;
  std::vector<std::shared_ptr<CompletionRecord>> records;
  int tokenExpiredPosts = 0;
  platform::NotificationCenter::ObserverToken observer;
};

}  // namespace talvaren::testkit

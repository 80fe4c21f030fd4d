#pragma once
// Shared by the HTTP suites: a virtual-time main queue, a loopback server and a session of its own.
//
// Every handler made by `Captured::handler()` during a test must have run exactly once, on the main
// queue, by the end of that test: the fixture checks it after letting the main queue run a little
// longer, so a second call or a call from another thread shows whatever the test itself looks at.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "support/LoopbackServer.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/http/SessionManager.hpp"
#include "talvaren/testing/Http.hpp"
#include "talvaren/testing/VirtualTime.hpp"

namespace talvaren::testkit {

using namespace talvaren::platform::http;

/// How often one handler ran, and whether always on the main queue.
struct HandlerRecord {
  int calls = 0;
  bool allOnMain = true;
};

/// The handlers made during the running test.
inline std::vector<std::shared_ptr<HandlerRecord>>& handlerRecords() {
  static std::vector<std::shared_ptr<HandlerRecord>> records;
  return records;
}

/// Records what a response handler received. The record outlives the `Captured`, so a late or second
/// call lands safely and is counted.
template <typename Response>
class Captured {
 public:
  /// The handler; make one per `Captured`.
  auto handler() {
    handlerRecords().push_back(state_);
    return [state = state_](const Response& response) {
      ++state->calls;
      state->allOnMain = state->allOnMain && platform::DispatchQueue::isMainQueueCurrent();
      state->reply = response;
    };
  }
  bool done() const { return state_->calls > 0; }
  int calls() const { return state_->calls; }
  bool allOnMain() const { return state_->allOnMain; }
  const std::optional<Response>& reply() const { return state_->reply; }

 private:
  struct State : HandlerRecord {
    std::optional<Response> reply;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

using CapturedJSON = Captured<DataResponse<nlohmann::json>>;

class HttpFixture : public ::testing::Test {
 protected:
  HttpFixture() { handlerRecords().clear(); }

  void TearDown() override {
    settle();
    for (std::size_t i = 0; i < handlerRecords().size(); ++i) {
      EXPECT_EQ(handlerRecords()[i]->calls, 1) << "handler " << i;
      EXPECT_TRUE(handlerRecords()[i]->allOnMain) << "handler " << i;
    }
    handlerRecords().clear();
  }

  static SessionConfiguration privateConfiguration() {
    auto configuration = SessionConfiguration::defaultConfiguration();
    configuration.httpCookieStorage = std::make_shared<HTTPCookieStorage>();
    return configuration;
  }

  /// Runs the main queue until `done()` holds (real time, at most a minute: generous for loaded,
  /// sanitised runs; a healthy one takes milliseconds).
  template <typename Done>
  void waitFor(Done done) {
    ASSERT_TRUE(time.runUntil([&] { return done(); }, std::chrono::seconds(60)));
  }
  /// Keeps running the main queue a little longer, so that a second handler call would show.
  void settle() {
    time.runUntil([] { return false; }, std::chrono::milliseconds(30));
  }

  CapturedJSON getJSON(const std::string& path, bool validate = true,
                       JSONReadingOptions options = JSONReadingOptions::allowFragments) {
    CapturedJSON captured;
    auto request = session->request(server.url(path));
    if (validate) request->validate();
    request->responseJSON(captured.handler(), options);
    waitFor([&] { return captured.done(); });
    return captured;
  }

  testkit::VirtualTime time;
  testkit::ScopedHttpTestHooks hooks;
  testkit::LoopbackServer server;
  std::shared_ptr<SessionManager> session = std::make_shared<SessionManager>(privateConfiguration());
};

}  // namespace talvaren::testkit

#pragma once
// Shared by the HTTP suites: a virtual-time main queue, a loopback server and a session of its own.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>

#include "support/LoopbackServer.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/http/SessionManager.hpp"
#include "talvaren/testing/Http.hpp"
#include "talvaren/testing/VirtualTime.hpp"

namespace talvaren::http_tests {

using namespace talvaren::platform::http;

/// Records what a response handler received, how often, and whether it ran on the main queue.
template <typename Response>
struct Captured {
  int calls = 0;
  bool allOnMain = true;
  std::optional<Response> reply;

  auto handler() {
    return [this](const Response& response) {
      ++calls;
      allOnMain = allOnMain && platform::DispatchQueue::isMainQueueCurrent();
      reply = response;
    };
  }
  bool done() const { return calls > 0; }
};

using CapturedJSON = Captured<DataResponse<nlohmann::json>>;

class HttpFixture : public ::testing::Test {
 protected:
  static SessionConfiguration privateConfiguration() {
    auto configuration = SessionConfiguration::defaultConfiguration();
    configuration.httpCookieStorage = std::make_shared<HTTPCookieStorage>();
    return configuration;
  }

  /// Runs the main queue until `done()` holds (real time, at most 30 s).
  template <typename Done>
  void waitFor(Done done) {
    ASSERT_TRUE(time.runUntil([&] { return done(); }, std::chrono::seconds(30)));
  }
  /// Keeps running the main queue a little longer, so that a second handler call would show.
  void settle() { time.runUntil([] { return false; }, std::chrono::milliseconds(30)); }

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

}  // namespace talvaren::http_tests

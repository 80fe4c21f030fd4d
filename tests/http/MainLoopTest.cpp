// The HTTP layer on real threads, with the host running the main queue: replies are read on the main thread while it
// waits, on the transfer thread while it is busy, and deadlines, cancellations and a session ending all reach the
// handlers on the main queue once.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "support/LoopbackServer.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/http/SessionManager.hpp"
#include "talvaren/platform/http/URLError.hpp"
#include "talvaren/testing/VirtualTime.hpp"

namespace talvaren::testkit {
namespace {

using namespace talvaren::platform::http;
using platform::DispatchQueue;
using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

class MainLoopTest : public ::testing::Test {
 protected:
  MainLoopTest() {
    testkit::setDispatchExecutor(executor);
    server.on("GET", "/hang", [this](const httplib::Request&, httplib::Response& res) {
      server.waitForStop(std::chrono::seconds(10));
      res.set_content("{}", "application/json");
    });
  }
  ~MainLoopTest() override {
    session.reset();
    server.stop();
    testkit::setDispatchExecutor(nullptr);
  }

  /// Runs the main queue on this thread until `done()` holds, looking every few milliseconds; false when `limit` passed
  /// first.
  bool runMainUntil(const std::function<bool()>& done, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto until = Clock::now() + limit;
    bool met = false;
    std::function<void()> check = [&] {
      met = done();
      if (met || Clock::now() > until) return platform::stopMainQueue();
      DispatchQueue::main().asyncAfter(0.005, check);
    };
    DispatchQueue::main().async(check);
    platform::runMainQueue();
    return met;
  }

  std::shared_ptr<platform::RealThreadExecutor> executor = std::make_shared<platform::RealThreadExecutor>();
  testkit::LoopbackServer server;
  std::shared_ptr<SessionManager> session = std::make_shared<SessionManager>([] {
    auto configuration = SessionConfiguration::defaultConfiguration();
    configuration.httpCookieStorage = nullptr;
    return configuration;
  }());
};

TEST_F(MainLoopTest, ChainedRequestsAreAnsweredOnTheMainThreadOverOneConnection) {
  server.reply("GET", "/n", 200, R"({"n":7})");
  const auto mainThread = std::this_thread::get_id();
  int answered = 0;
  int failed = 0;
  bool allOnMain = true;
  std::function<void()> next = [&] {
    session->request(server.url("/n"))->validate().responseJSON([&](const DataResponse<json>& reply) {
      allOnMain = allOnMain && DispatchQueue::isMainQueueCurrent() && std::this_thread::get_id() == mainThread;
      if (!reply.result.isSuccess() || (*reply.result.value())["n"] != 7) ++failed;
      if (++answered < 50) next();
    });
  };
  DispatchQueue::main().async(next);
  ASSERT_TRUE(runMainUntil([&] { return answered == 50; }));
  EXPECT_EQ(failed, 0);
  EXPECT_TRUE(allOnMain);
  EXPECT_EQ(server.connectionsAccepted(), 1u);
}

TEST_F(MainLoopTest, TransfersGoOnWhileTheMainThreadIsBusy) {
  // The main thread starts a download on a kept-alive connection and then stays busy: the transfer thread must take
  // over the sockets at once, not at its next deadline, so the file is complete long before the work item ends.
  server.reply("GET", "/file", 200, std::string(64 * 1024, 'x'));
  server.reply("GET", "/n", 200, "{}");
  bool connected = false;
  session->request(server.url("/n"))->responseJSON([&](const DataResponse<json>&) { connected = true; });
  ASSERT_TRUE(runMainUntil([&] { return connected; }));
  const auto folder = std::filesystem::temp_directory_path() / ("talvaren-mainloop-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const auto destination = (folder / "file.bin").string();
  double appearedAfter = -1;
  bool handled = false;
  DispatchQueue::main().async([&] {
    session->download(server.url("/file"), DownloadDestination{destination, DownloadOptions{true, true}})
        ->responseData([&](const DownloadResponse<Bytes>& reply) {
          handled = reply.result.isSuccess() && reply.result.value()->size() == 64 * 1024;
        });
    const auto start = Clock::now();
    while (secondsSince(start) < 3) {
      if (std::filesystem::exists(destination)) {
        appearedAfter = secondsSince(start);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  ASSERT_TRUE(runMainUntil([&] { return handled; }));
  EXPECT_GE(appearedAfter, 0);
  EXPECT_LT(appearedAfter,
            0.8);  // the transfer thread's longest sleep with transfers running is 1 s
  EXPECT_EQ(server.connectionsAccepted(), 1u);
  std::filesystem::remove_all(folder);
}

TEST_F(MainLoopTest, DeadlinesAndCancellationsReachTheWaitingMainThread) {
  const auto start = Clock::now();
  std::optional<DataResponse<json>> timedOut;
  std::optional<DataResponse<json>> cancelled;
  double timedOutAfter = 0;
  int calls = 0;
  auto slow = URLRequest::make(server.url("/hang"));
  slow.value()->setTimeoutInterval(0.3);
  session->request(*slow.value())->responseJSON([&](const DataResponse<json>& reply) {
    ++calls;
    timedOutAfter = secondsSince(start);
    timedOut = reply;
  });
  auto doomed = session->request(server.url("/hang"));
  doomed->responseJSON([&](const DataResponse<json>& reply) {
    ++calls;
    cancelled = reply;
  });
  DispatchQueue canceller("canceller");
  canceller.asyncAfter(0.05, [doomed] { doomed->cancel(); });

  ASSERT_TRUE(runMainUntil([&] { return timedOut && cancelled; }));
  EXPECT_EQ(timedOut->result.error()->code, URLError::timedOut);
  EXPECT_GE(timedOutAfter, 0.3);
  EXPECT_LT(timedOutAfter, 5.0);
  EXPECT_EQ(cancelled->result.error()->code, URLError::cancelled);
  runMainUntil([] { return false; },
               std::chrono::seconds(0));  // a second call would show now
  EXPECT_EQ(calls, 2);
}

TEST_F(MainLoopTest, RequestsFromOtherThreadsAndASessionEndingUnderTheWaitingMainThread) {
  server.reply("GET", "/n", 200, R"({"n":1})");
  std::atomic<int> succeeded{0};
  int onMain = 0;
  std::optional<DataResponse<json>> hung;
  DispatchQueue other("requests");
  other.async([&] {
    for (int i = 0; i < 20; ++i) {
      session->request(server.url("/n"))->responseJSON([&](const DataResponse<json>& reply) {
        onMain += DispatchQueue::isMainQueueCurrent() ? 1 : 0;
        if (reply.result.isSuccess()) ++succeeded;
      });
    }
    session->request(server.url("/hang"))->responseJSON([&](const DataResponse<json>& reply) { hung = reply; });
  });
  ASSERT_TRUE(runMainUntil([&] { return succeeded == 20; }));
  EXPECT_EQ(onMain, 20);

  // End the session from another thread while the main thread waits on its sockets.
  auto ending = std::move(session);
  other.asyncAfter(0.05, [ending]() mutable { ending.reset(); });
  ending.reset();
  ASSERT_TRUE(runMainUntil([&] { return hung.has_value(); }));
  EXPECT_EQ(hung->result.error()->code, URLError::cancelled);
}

}  // namespace
}  // namespace talvaren::testkit

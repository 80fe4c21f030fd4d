#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "talvaren/platform/NotificationCenter.hpp"

using namespace talvaren;
using platform::Notification;
using platform::NotificationCenter;

TEST(NotificationCenterTest, DeliversByNameInOrderOnThePostingThread) {
  NotificationCenter center;
  std::vector<std::string> heard;
  auto poster = std::this_thread::get_id();
  auto first = center.addObserver("tokenExpired", [&](const Notification& n) {
    EXPECT_EQ(std::this_thread::get_id(), poster);
    EXPECT_FALSE(n.object.has_value());
    EXPECT_TRUE(n.userInfo.is_null());
    heard.push_back("first");
  });
  center.addObserver("other", [&](const Notification&) { heard.push_back("other"); });
  center.addObserver(std::nullopt, [&](const Notification& n) { heard.push_back("any:" + n.name); });
  center.addObserver("tokenExpired", [&](const Notification&) { heard.push_back("second"); });
  EXPECT_TRUE(first.isValid());
  EXPECT_FALSE(center.addObserver("x", nullptr).isValid());

  center.post("tokenExpired");
  EXPECT_EQ(heard, (std::vector<std::string>{"first", "any:tokenExpired", "second"}));
  heard.clear();
  center.removeObserver(first);
  center.removeObserver(first);  // twice is harmless
  center.post("tokenExpired");
  EXPECT_EQ(heard, (std::vector<std::string>{"any:tokenExpired", "second"}));
}

TEST(NotificationCenterTest, CarriesObjectAndUserInfo) {
  NotificationCenter center;
  int seen = 0;
  center.addObserver("progress", [&](const Notification& n) {
    seen = std::any_cast<int>(n.object);
    EXPECT_EQ(n.userInfo["percent"], 50);
  });
  center.post("progress", 7, {{"percent", 50}});
  EXPECT_EQ(seen, 7);
}

TEST(NotificationCenterTest, RemovalDuringDeliveryIsSafe) {
  NotificationCenter center;
  std::vector<std::string> heard;
  NotificationCenter::ObserverToken self, later;
  self = center.addObserver("n", [&](const Notification&) {
    heard.push_back("self");
    center.removeObserver(self);  // removes itself
    center.removeObserver(later);  // and one not yet called
    center.addObserver("n", [&](const Notification&) { heard.push_back("added"); });
  });
  later = center.addObserver("n", [&](const Notification&) { heard.push_back("later"); });
  center.post("n");
  EXPECT_EQ(heard, std::vector<std::string>{"self"});
  center.post("n");
  EXPECT_EQ(heard, (std::vector<std::string>{"self", "added"}));
}

TEST(NotificationCenterTest, ThrowingObserverDoesNotStopTheOthers) {
  NotificationCenter center;
  int calls = 0;
  center.addObserver("n", [](const Notification&) { throw std::runtime_error("observer failed"); });
  center.addObserver("n", [&](const Notification& n) {
    ++calls;
    center.post(n.name + "-nested");  // posting from a callback does not deadlock
  });
  EXPECT_NO_THROW(center.post("n"));
  EXPECT_EQ(calls, 1);
}

TEST(NotificationCenterTest, ConcurrentPostsAndRemovals) {
  NotificationCenter center;
  std::atomic<int> calls{0};
  std::vector<NotificationCenter::ObserverToken> tokens;
  for (int i = 0; i < 8; ++i) tokens.push_back(center.addObserver("n", [&](const Notification&) { ++calls; }));
  std::vector<std::thread> posters;
  for (int t = 0; t < 4; ++t) posters.emplace_back([&] { for (int i = 0; i < 200; ++i) center.post("n"); });
  for (auto& token : tokens) center.removeObserver(token);
  for (auto& poster : posters) poster.join();
  int settled = calls;
  center.post("n");
  EXPECT_EQ(calls, settled);
  EXPECT_LE(settled, 4 * 200 * 8);
}

TEST(NotificationCenterTest, DefaultCenterIsShared) {
  EXPECT_EQ(NotificationCenter::defaultCenter(), NotificationCenter::defaultCenter());
  bool heard = false;
  auto token = NotificationCenter::defaultCenter()->addObserver("tokenExpired", [&](const Notification&) { heard = true; });
  NotificationCenter::defaultCenter()->post("tokenExpired");
  NotificationCenter::defaultCenter()->removeObserver(token);
  EXPECT_TRUE(heard);
}

#pragma once
// Shared by the Fitbit suites: the authorisation fixture (virtual time starting 2023-11-14 22:13:20 UTC,
// a temporary home, console capture, the loopback OAuth 2.0 page) plus a loopback Fitbit Web API that
// accepts the page's tokens, a fresh shared connector pointed at it, and the UTC zone.

#include <memory>
#include <optional>

#include "importers/AuthorizationFixture.hpp"
#include "importers/FitBitConnector.hpp"
#include "support/FitBitWebAPI.hpp"
#include "talvaren/testing/FitBit.hpp"
#include "talvaren/testing/TimeZone.hpp"

namespace talvaren::testkit {

class FitBitFixture : public AuthorizationFixture {
 protected:
  struct Answer {
    int calls = 0;
    std::optional<Error> error;
    std::optional<nlohmann::json> value;
  };

  FitBitFixture() {
    setFitBitAPIBaseURL(api.baseURL());
    resetFitBitConnector();
    FitBitConnector::sharedInstance()->setConsumerKey("fitbit-id");
    FitBitConnector::sharedInstance()->setConsumerSecret("fitbit-secret");
  }

  ~FitBitFixture() override {
    EXPECT_TRUE(api.problems().empty()) << api.problems().front();
    resetFitBitConnector();
    setFitBitAPIBaseURL(std::nullopt);
  }

  /// Starts a request on the main queue and runs until its completion has been called; checks it is
  /// called once.
  std::shared_ptr<Answer> send(const std::function<void(FitBitConnector::Completion)>& start) {
    auto answer = std::make_shared<Answer>();
    onMain([&] {
      start([answer](std::optional<Error> error, std::optional<nlohmann::json> value) {
        ++answer->calls;
        answer->error = std::move(error);
        answer->value = std::move(value);
      });
    });
    waitFor([&] { return answer->calls > 0; });
    time.runUntil([] { return false; }, std::chrono::milliseconds(5));
    EXPECT_EQ(answer->calls, 1);
    return answer;
  }

  static Date day(int year, unsigned month, unsigned dayOfMonth, int hour = 12) {
    using namespace std::chrono;
    const auto days =
        sys_days(year_month_day(std::chrono::year(year), std::chrono::month(month), std::chrono::day(dayOfMonth)));
    return Date(static_cast<double>(duration_cast<seconds>(days.time_since_epoch()).count() + hour * 3600));
  }

  ScopedTimeZone utc{"UTC"};
  FitBitWebAPI api{&fitbit};
};

}  // namespace talvaren::testkit

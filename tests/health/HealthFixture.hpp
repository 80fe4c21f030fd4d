#pragma once
// A seeded health store on virtual time, in a chosen device zone, with the console captured.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string_view>

#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/health/HealthStore.hpp"
#include "talvaren/sim/HealthStoreSimulator.hpp"
#include "talvaren/testing/Console.hpp"
#include "talvaren/testing/TimeZone.hpp"
#include "talvaren/testing/VirtualTime.hpp"

namespace talvaren::testkit {

namespace health = platform::health;
using sim::HealthStoreSimulator;

constexpr double kHour = 3600;
constexpr double kDay = 86400;

// Local midnights in Europe/Berlin around the start of summer time (2026-03-29 02:00 CET -> 03:00 CEST).
constexpr double kBerlinMar28 = 1774652400;
constexpr double kBerlinMar29 = 1774738800;  // a 23-hour day
constexpr double kBerlinMar30 = 1774821600;
constexpr double kBerlinMar31 = 1774908000;
// UTC midnights.
constexpr double kUtcMar28 = 1774656000;
constexpr double kUtcMar29 = 1774742400;
constexpr double kUtcMar30 = 1774828800;

inline health::ObjectType quantityType(health::QuantityTypeIdentifier identifier) {
  return health::ObjectType(identifier);
}
inline const health::ObjectType kSleepType{health::CategoryTypeIdentifier::sleepAnalysis};

class HealthFixture : public ::testing::Test {
 protected:
  explicit HealthFixture(double now, std::string_view zone = "UTC") : time_(now), zone_(zone) {
    HealthStoreSimulator::reset();
  }
  ~HealthFixture() override { HealthStoreSimulator::reset(); }

  static void add(health::QuantityTypeIdentifier type, double value, double start, double end) {
    ASSERT_TRUE(HealthStoreSimulator::addQuantitySample(
        type, health::Quantity(*quantityType(type).canonicalUnit(), value), Date(start), Date(end)));
  }
  static void addMiles(health::QuantityTypeIdentifier type, double miles, double start, double end) {
    ASSERT_TRUE(HealthStoreSimulator::addQuantitySample(type, health::Quantity(health::Unit::mile(), miles),
                                                        Date(start), Date(end)));
  }
  static void addSleep(std::int64_t value, double start, double end) {
    ASSERT_TRUE(HealthStoreSimulator::addCategorySample(health::CategoryTypeIdentifier::sleepAnalysis, value,
                                                        Date(start), Date(end)));
  }

  /// Grants reading of `types` through `store` and runs the answer.
  void grant(health::HealthStore& store, std::vector<health::ObjectType> types) {
    bool answered = false;
    store.requestAuthorization(std::nullopt, std::move(types),
                               [&](bool success, std::optional<Error>) { answered = success; });
    time_.runUntilIdle();
    ASSERT_TRUE(answered);
  }

  VirtualTime time_;
  ScopedTimeZone zone_;
  ConsoleCapture console_;
};

/// Where a completion ran and with what.
template <class Records>
struct Answer {
  int calls = 0;
  std::optional<Records> records;
  std::optional<Error> error;
  bool onMain = false;
  bool onStore = false;
};

}  // namespace talvaren::testkit

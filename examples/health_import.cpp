// An example host program: imports sleep, activity and calories from the device's health store through
// the retrieval facade, as a host application would. The health store here is the kit's stand-in, which
// the program first fills with three days of steps, distances and energy and one night's sleep. The host
// runs the main queue until every import has completed. It keeps its state in a temporary application
// home unless TALVAREN_HOME is set.

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/health/HealthTypes.hpp"
#include "talvaren/retrieval/RetrieveDataConfiguration.hpp"
#include "talvaren/sim/HealthStoreSimulator.hpp"
#include "talvaren/testing/Storage.hpp"
#include "talvaren/utilities/DateExtensions.hpp"

namespace {

using namespace talvaren;
using namespace talvaren::platform::health;
using platform::Date;

constexpr double kHour = 3600;
constexpr double kDay = 86400;

/// The host's import screen: prints what each import brings.
class ImportScreen : public RetrieveDataDelegate {
 public:
  void didSleepsData(const std::vector<SleepSDK>& data, RetrieveDataService) override {
    for (const auto& sleep : data) {
      std::printf("[host] sleep %s: %lld min\n", sleep.date.value_or("?").c_str(),
                  static_cast<long long>(sleep.value.value_or(0) / 60));
    }
    records += static_cast<int>(data.size());
  }
  void didActivityData(const std::vector<ActivitySDK>& data, RetrieveDataService) override {
    for (const auto& activity : data) {
      std::printf("[host] activity %s: %lld steps, %s mi\n", activity.date.value_or("?").c_str(),
                  static_cast<long long>(activity.steps.value_or(0)), activity.miles.value_or("-").c_str());
    }
    records += static_cast<int>(data.size());
  }
  void didCaloriesData(const std::vector<CaloriesSDK>& data, RetrieveDataService) override {
    for (const auto& calories : data) {
      std::printf("[host] calories %s: %lld kcal\n", calories.date.value_or("?").c_str(),
                  static_cast<long long>(calories.value.value_or(0)));
    }
    records += static_cast<int>(data.size());
  }
  void handlerError(const ErrorRetrieve& error, RetieveDataType) override {
    std::printf("[host] import failed: %s\n", error.message().value_or("access refused").c_str());
    ++errors;
  }

  std::atomic<int> records{0};
  std::atomic<int> errors{0};
};

/// The three days before today: steps, walking and cycling distance, energy, and the last of their nights.
bool seedHealthStore(Date today) {
  using sim::HealthStoreSimulator;
  HealthStoreSimulator::reset();
  bool seeded = true;
  for (int day = 0; day < 3; ++day) {
    const double morning = today.timeIntervalSince1970() - (3 - day) * kDay + 7 * kHour;
    auto add = [&](QuantityTypeIdentifier type, const Unit& unit, double value, double hours) {
      seeded &= HealthStoreSimulator::addQuantitySample(type, Quantity(unit, value), Date(morning),
                                                        Date(morning + hours * kHour));
    };
    add(QuantityTypeIdentifier::stepCount, Unit::count(), 4000 + 1500 * day, 1);
    add(QuantityTypeIdentifier::distanceWalkingRunning, Unit::mile(), 2.1 + day, 1);
    add(QuantityTypeIdentifier::distanceCycling, Unit::mile(), 5.5, 0.5);
    add(QuantityTypeIdentifier::activeEnergyBurned, Unit::kilocalorie(), 350 + 40 * day, 1);
    add(QuantityTypeIdentifier::basalEnergyBurned, Unit::kilocalorie(), 1600, 0.5);
  }
  const double night = today.timeIntervalSince1970() - kDay - 1.5 * kHour;
  seeded &= HealthStoreSimulator::addCategorySample(CategoryTypeIdentifier::sleepAnalysis,
                                                    static_cast<std::int64_t>(CategoryValueSleepAnalysis::asleep),
                                                    Date(night), Date(night + 7.5 * kHour));
  return seeded;
}

int run() {
  const Date today = beginningOfTheDay(Date::now());
  if (!seedHealthStore(today)) {
    std::fprintf(stderr, "health_import: the health store refused a sample\n");
    return 1;
  }

  auto retrieval = RetrieveDataConfiguration::shared();
  auto screen = std::make_shared<ImportScreen>();
  retrieval->setDelegate(screen);

  // Every `complete` runs on the main queue; the last one stops it.
  std::atomic<int> running{3};
  auto complete = [&running] {
    if (--running == 0) platform::stopMainQueue();
  };
  const Date start(today.timeIntervalSince1970() - 3 * kDay);
  retrieval->getSleepData(start, RetrieveDataService::healthkit, complete);
  retrieval->getActivityData(start, RetrieveDataService::healthkit, complete);
  retrieval->getCaloriesData(start, RetrieveDataService::healthkit, complete);

  auto watchdog = platform::Timer::scheduledTimer(20, [] { platform::stopMainQueue(); });
  platform::runMainQueue();
  watchdog->invalidate();

  if (running != 0) {
    std::fprintf(stderr, "health_import: %d import(s) did not complete within 20 s\n", running.load());
    return 1;
  }
  if (screen->errors != 0 || screen->records < 7) {
    std::fprintf(stderr, "health_import: expected 3 activity, 3 calories and 1 sleep record, got %d (%d errors)\n",
                 screen->records.load(), screen->errors.load());
    return 1;
  }
  std::printf("health_import: %d records\n", screen->records.load());
  return 0;
}

}  // namespace

int main() {
  std::optional<talvaren::testkit::TemporaryAppHome> home;
  if (!std::getenv("TALVAREN_HOME")) home.emplace();
  return run();
}

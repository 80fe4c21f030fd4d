// An example host program: imports sleep, activity and calories from the device's health store through
// the retrieval facade, as a host application would. The health store here is the kit's stand-in, which
// the program first fills with three days of steps, distances and energy and one night's sleep. The host
// runs the main queue (runMainQueue, in real time) until every import has completed.
//
//   health_import [--help] [--quiet] [--home FOLDER]

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "Example.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/health/HealthTypes.hpp"
#include "talvaren/retrieval/RetrieveDataConfiguration.hpp"
#include "talvaren/sim/HealthStoreSimulator.hpp"
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
      examples::say("[host] sleep %s: %lld min", sleep.date.value_or("?").c_str(),
                  static_cast<long long>(sleep.value.value_or(0) / 60));
    }
    records += static_cast<int>(data.size());
  }
  void didActivityData(const std::vector<ActivitySDK>& data, RetrieveDataService) override {
    for (const auto& activity : data) {
      examples::say("[host] activity %s: %lld steps, %s mi", activity.date.value_or("?").c_str(),
                  static_cast<long long>(activity.steps.value_or(0)), activity.miles.value_or("-").c_str());
    }
    records += static_cast<int>(data.size());
  }
  void didCaloriesData(const std::vector<CaloriesSDK>& data, RetrieveDataService) override {
    for (const auto& calories : data) {
      examples::say("[host] calories %s: %lld kcal", calories.date.value_or("?").c_str(),
                  static_cast<long long>(calories.value.value_or(0)));
    }
    records += static_cast<int>(data.size());
  }
  void handlerError(const ErrorRetrieve& error, RetieveDataType) override {
    examples::say("[host] import failed: %s", error.message().value_or("access refused").c_str());
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

int run(const examples::Options&) {
  const Date today = beginningOfTheDay(Date::now());
  if (!seedHealthStore(today)) {
    return examples::fail("the health store refused a sample");
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
    return examples::fail("%d import(s) did not complete within 20 s", running.load());
  }
  if (screen->errors != 0 || screen->records < 7) {
    return examples::fail("expected 3 activity, 3 calories and 1 sleep record, got %d (%d errors)",
                          screen->records.load(), screen->errors.load());
  }
  examples::result("%d records imported from the health store", screen->records.load());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return examples::main(
      {"health_import", "Sleep, activity and calories imported from the health store through the retrieval facade."},
      argc, argv, run);
}

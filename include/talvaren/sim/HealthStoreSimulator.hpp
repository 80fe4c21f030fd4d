#pragma once
// Seeding the health store (talvaren/platform/health/HealthStore.hpp), for host developers who want to
// run an import without a device and for tests. Every store of the process sees what is seeded here,
// at the moment each query runs.
//
//   using namespace talvaren::platform::health;
//   sim::HealthStoreSimulator::reset();
//   sim::HealthStoreSimulator::addQuantitySample(QuantityTypeIdentifier::stepCount, Quantity(Unit::count(), 812),
//                                                 Date(start), Date(start + 600));
//   sim::HealthStoreSimulator::addCategorySample(CategoryTypeIdentifier::sleepAnalysis, 1, Date(night), Date(morning));
//
// The store starts available, with no samples, every type offered and an answer that grants everything.
// Statistics sum whole samples into calendar days of the device's zone: see HealthQueries.hpp.

#include <cstdint>
#include <optional>
#include <vector>

#include "talvaren/platform/Date.hpp"
#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/health/HealthTypes.hpp"

namespace talvaren::sim {

/// One authorisation request as a store received it.
struct HealthAuthorizationRequest {
  std::optional<std::vector<platform::health::ObjectType>> toShare;
  std::vector<platform::health::ObjectType> toRead;
};

/// How the user answers the next requests.
struct HealthAuthorizationAnswer {
  /// False: the request fails with `error` (which may be absent) and nothing is determined.
  bool success = true;
  std::optional<Error> error;
  /// Read access the user refuses while the request succeeds: these types then read as empty.
  std::vector<platform::health::ObjectType> refusedReadTypes;
};

class HealthStoreSimulator {
 public:
  /// Back to the starting state: no samples, no requests, nothing determined, available, everything offered.
  static void reset();

  /// Stores a sample; false (nothing stored) when the end is before the start, a date or the value is not
  /// finite, a date lies outside the years 1 to 9999, or the unit does not fit the type.
  static bool addQuantitySample(platform::health::QuantityTypeIdentifier type,
                                const platform::health::Quantity& quantity, Date start, Date end,
                                std::optional<platform::health::SourceDevice> device = {});
  static bool addCategorySample(platform::health::CategoryTypeIdentifier type, std::int64_t value, Date start, Date end,
                                std::optional<platform::health::SourceDevice> device = {});

  static void setHealthDataAvailable(bool available);
  static void setAuthorizationAnswer(HealthAuthorizationAnswer answer);
  /// Makes every query of `type` answer with `error` (none: queries work again).
  static void setQueryError(const platform::health::ObjectType& type, std::optional<Error> error);
  /// Takes a type out of the store: looking it up gives nothing, and queries already built fail.
  static void removeType(const platform::health::ObjectType& type);

  /// Every request received since the last reset, in order.
  static std::vector<HealthAuthorizationRequest> authorizationRequests();
};

}  // namespace talvaren::sim

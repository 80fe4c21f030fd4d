#pragma once
// Internal interface of health (for sim): the health data of the process, shared by every store and seeded through
// sim::HealthStoreSimulator.

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/health/HealthTypes.hpp"

namespace talvaren::platform::health::detail {

struct AuthorizationRequest {
  std::optional<std::vector<ObjectType>> toShare;
  std::vector<ObjectType> toRead;
};

struct AuthorizationAnswer {
  bool success = true;
  std::optional<Error> error;
  std::set<ObjectType> refusedReadTypes;
};

/// A stored sample as a statistics query reads it: its span and, for a quantity, its amount in its type's
/// canonical unit (not a number for a category).
struct SampleSpan {
  Date start;
  Date end;
  double amount;
};

struct HealthDatabase {
  mutable std::mutex mutex;
  bool available = true;
  AuthorizationAnswer answer;
  /// Per type, in the order stored.
  std::map<ObjectType, std::vector<SamplePointer>> samples;
  /// Per type, the spans of `samples`, index for index: a long history is summed from this compact list
  /// rather than from one object per sample spread over the heap.
  std::map<ObjectType, std::vector<SampleSpan>> spans;
  /// Types a successful request asked to read: true when reading was allowed.
  std::map<ObjectType, bool> readAllowed;
  /// Types a successful request named: true when writing was allowed.
  std::map<ObjectType, bool> shareAllowed;
  std::map<ObjectType, Error> queryErrors;
  std::set<ObjectType> removedTypes;
  std::vector<AuthorizationRequest> requests;

  /// Stores `sample` after the others of its type (the one way samples enter).
  void add(SamplePointer sample);
  void reset();
};

HealthDatabase& database();

/// The earliest and latest instants the store accepts: 0001-01-01 and the end of 9999-12-31 (UTC).
inline constexpr double kEarliestSeconds = -62135596800.0;
inline constexpr double kLatestSeconds = 253402300799.0;

}  // namespace talvaren::platform::health::detail

#include "talvaren/sim/HealthStoreSimulator.hpp"

#include <cmath>
#include <memory>
#include <mutex>

#include "platform/health/HealthDatabase.hpp"

namespace talvaren::sim {

namespace health = platform::health;

namespace {

bool validDate(const Date& date) {
  const double seconds = date.timeIntervalSince1970();
  return std::isfinite(seconds) && seconds >= health::detail::kEarliestSeconds &&
         seconds <= health::detail::kLatestSeconds;
}

bool validSpan(const Date& start, const Date& end) { return validDate(start) && validDate(end) && !(end < start); }

void store(health::SamplePointer sample) {
  auto& db = health::detail::database();
  std::lock_guard lock(db.mutex);
  db.add(std::move(sample));
}

}  // namespace

void HealthStoreSimulator::reset() {
  auto& db = health::detail::database();
  std::lock_guard lock(db.mutex);
  db.reset();
}

bool HealthStoreSimulator::addQuantitySample(health::QuantityTypeIdentifier type, const health::Quantity& quantity,
                                             Date start, Date end, std::optional<health::SourceDevice> device) {
  const health::ObjectType objectType(type);
  const auto unit = objectType.canonicalUnit();
  if (!validSpan(start, end) || !unit || !quantity.isCompatible(*unit)) return false;
  // Kept in the type's unit, so sums never mix units.
  const auto value = quantity.doubleValue(*unit);
  if (!value || !std::isfinite(*value)) return false;
  store(std::make_shared<health::QuantitySample>(objectType, health::Quantity(*unit, *value), start, end,
                                                 std::move(device)));
  return true;
}

bool HealthStoreSimulator::addCategorySample(health::CategoryTypeIdentifier type, std::int64_t value, Date start,
                                             Date end, std::optional<health::SourceDevice> device) {
  if (!validSpan(start, end)) return false;
  store(std::make_shared<health::CategorySample>(health::ObjectType(type), value, start, end, std::move(device)));
  return true;
}

void HealthStoreSimulator::setHealthDataAvailable(bool available) {
  auto& db = health::detail::database();
  std::lock_guard lock(db.mutex);
  db.available = available;
}

void HealthStoreSimulator::setAuthorizationAnswer(HealthAuthorizationAnswer answer) {
  auto& db = health::detail::database();
  std::lock_guard lock(db.mutex);
  db.answer.success = answer.success;
  db.answer.error = std::move(answer.error);
  db.answer.refusedReadTypes = {answer.refusedReadTypes.begin(), answer.refusedReadTypes.end()};
}

void HealthStoreSimulator::setQueryError(const health::ObjectType& type, std::optional<Error> error) {
  auto& db = health::detail::database();
  std::lock_guard lock(db.mutex);
  if (error) {
    db.queryErrors.insert_or_assign(type, std::move(*error));
  } else {
    db.queryErrors.erase(type);
  }
}

void HealthStoreSimulator::removeType(const health::ObjectType& type) {
  auto& db = health::detail::database();
  std::lock_guard lock(db.mutex);
  db.removedTypes.insert(type);
}

std::vector<HealthAuthorizationRequest> HealthStoreSimulator::authorizationRequests() {
  auto& db = health::detail::database();
  std::lock_guard lock(db.mutex);
  std::vector<HealthAuthorizationRequest> requests;
  for (const auto& request : db.requests) requests.push_back({request.toShare, request.toRead});
  return requests;
}

}  // namespace talvaren::sim

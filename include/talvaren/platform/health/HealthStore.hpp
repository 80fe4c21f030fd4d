#pragma once
// The health store: the device's store of health samples, read through queries after the user has
// granted access. All stores of the process share one set of data, which hosts and tests seed through
// talvaren/sim/HealthStoreSimulator.hpp.
//
//   auto store = std::make_shared<platform::health::HealthStore>();
//   store->requestAuthorization(std::nullopt, {*ObjectType::quantityType(QuantityTypeIdentifier::stepCount)},
//                               [](bool success, std::optional<Error> error) { ... });
//   store->execute(query);            // returns at once; the handler runs later on store->callbackQueue()
//
// Answers. `requestAuthorization` and `execute` return at once; every answer (the authorisation
// completion and each query's handler, exactly once per call) runs on the store's own serial callback
// queue, "healthStore", one per store, made on the dispatch executor current when the store is made.
//
// Access. A query of a type that no answered request asked to read fails with the error
// `authorizationNotDetermined`. A type whose reading the user refused answers with no samples and no
// error, as if it held none: the store never tells a reader that it was refused. When health data is
// not available on the device, requests and queries fail with `healthDataUnavailable`.

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/health/HealthQueries.hpp"
#include "talvaren/platform/health/HealthTypes.hpp"

namespace talvaren::platform::health {

/// The domain of the store's own errors.
inline constexpr const char* HealthStoreErrorDomain = "talvaren.platform.health";
enum class HealthStoreErrorCode : std::int64_t {
  healthDataUnavailable = 1,
  invalidArgument = 3,
  authorizationNotDetermined = 5,
  typeUnavailable = 6,
};

/// Whether the app may write a type. Only sharing is reported; whether reading was allowed is never told.
enum class AuthorizationStatus { notDetermined, sharingDenied, sharingAuthorized };

class HealthStore {
 public:
  using AuthorizationCompletion = std::function<void(bool success, std::optional<Error> error)>;

  HealthStore();

  /// Whether the device keeps health data at all.
  static bool isHealthDataAvailable();

  /// Asks the user for access: to write the `toShare` types (absent: none asked, which differs from an
  /// empty set only in what the request records) and to read the `toRead` ones. The completion gets the
  /// answer the simulator was told to give; on success every asked type counts as determined.
  void requestAuthorization(std::optional<std::vector<ObjectType>> toShare, std::vector<ObjectType> toRead,
                            AuthorizationCompletion completion);

  /// notDetermined until a successful request named the type; then sharingAuthorized when it was in the
  /// share set, sharingDenied otherwise.
  AuthorizationStatus authorizationStatus(const ObjectType& type) const;

  /// Runs a query; its handler runs once on the callback queue with the data as it is then.
  void execute(std::shared_ptr<Query> query);

  /// The serial queue every answer of this store runs on.
  const DispatchQueue& callbackQueue() const { return queue_; }

 private:
  DispatchQueue queue_;
};

}  // namespace talvaren::platform::health

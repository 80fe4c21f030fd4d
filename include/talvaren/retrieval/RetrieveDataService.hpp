#pragma once
// The provider of one import.

namespace talvaren {

enum class RetrieveDataService {
  /// The device's health store.
  healthkit,
  /// The Fitbit Web API.
  fitbit,
  /// The Garmin Health API.
  garmin,
};

}  // namespace talvaren

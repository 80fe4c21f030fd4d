#pragma once
// The text that records imported from a provider carry in their `externalProvider` field.

#include <string>

#include "talvaren/retrieval/RetrieveDataService.hpp"

namespace talvaren {

struct RetrieveDataAttributs {
  /// "apple_health_kit", "fit_bit_api" or "garmin_api".
  static std::string selectProvider(RetrieveDataService service);
};

}  // namespace talvaren

#pragma once
// Internal: the providers' OAuth addresses, with the overrides test code sets (importers/Seams.hpp).

#include <optional>
#include <string>

#include "importers/Seams.hpp"

namespace talvaren::detail {

/// The override test code set for `endpoint`, if any.
std::optional<std::string> oauthEndpointOverride(OAuthEndpoint endpoint);

}  // namespace talvaren::detail

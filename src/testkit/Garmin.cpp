#include "talvaren/testing/Garmin.hpp"

#include "importers/Seams.hpp"

namespace talvaren::testkit {

void setGarminAPIBaseURL(std::string url) { talvaren::detail::setGarminAPIBaseURL(std::move(url)); }

void resetGarminAPIBaseURL() { talvaren::detail::setGarminAPIBaseURL(std::nullopt); }

void resetGarminConnector() { talvaren::detail::resetGarminConnector(); }

}  // namespace talvaren::testkit

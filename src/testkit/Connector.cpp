#include "talvaren/testing/Connector.hpp"

#include "api/Seams.hpp"
#include "platform/Seams.hpp"

namespace talvaren::testkit {

void resetConnectorEndpoints() { talvaren::detail::resetEndpointTexts(); }

void resetConnector() {
  talvaren::detail::resetSharedConnector();
  resetConnectorEndpoints();
}

void setMachineField(std::optional<std::vector<char>> field) { platform::detail::setMachineField(std::move(field)); }

}  // namespace talvaren::testkit

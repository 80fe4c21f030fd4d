// The firmware list and a firmware's download link, with the development headers only.

#include "api/EndpointText.hpp"
#include "talvaren/api/Connector.hpp"

namespace talvaren {

using namespace platform::http;

std::string Connector::firmwareListEndpoint() { return talvaren::detail::endpointText<"firmwares/">(); }

void Connector::getFirmwaresList(const std::optional<std::string>& device, std::optional<std::int64_t> limit,
                                 const std::optional<std::string>& versionNumber, Completion completion) {
  nlohmann::json parameters = nlohmann::json::object();
  if (device) parameters["device"] = *device;
  if (limit) parameters["limit"] = *limit;
  if (versionNumber) parameters["version_number"] = *versionNumber;
  performAPICallDev(HTTPMethod::GET, firmwareListEndpoint(), parameters, URLEncoding::queryString(), std::nullopt,
                    std::move(completion));
}

void Connector::getFirmwareLink(const std::string& uuid, Completion completion) {
  performAPICallDev(HTTPMethod::GET, firmwareListEndpoint() + escapePathSegment(uuid) + "/download/", std::nullopt,
                    JSONEncoding::defaultEncoding(), std::nullopt, std::move(completion));
}

}  // namespace talvaren

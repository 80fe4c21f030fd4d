#include "talvaren/api/ConnectorMock.hpp"

namespace talvaren {

platform::Keychain ConnectorMock::keychain() const { return platform::Keychain(std::string(keychainService)); }

void ConnectorMock::performAPICall(HTTPMethod requestMethod, const std::string& requestURL,
                                   const std::optional<Parameters>& requestParameters, ParameterEncoding, bool,
                                   const std::optional<Bytes>&, const std::optional<std::string>&,
                                   Completion completion) {
  record(requestMethod, requestURL, requestParameters, completion);
}

void ConnectorMock::performAPICallDev(HTTPMethod requestMethod, const std::string& requestURL,
                                      const std::optional<Parameters>& requestParameters, ParameterEncoding,
                                      const std::optional<Bytes>&, Completion completion) {
  record(requestMethod, requestURL, requestParameters, completion);
}

void ConnectorMock::record(HTTPMethod requestMethod, const std::string& requestURL,
                           const std::optional<Parameters>& requestParameters, const Completion& completion) {
  try {
    // Built first, so a failure leaves the last record whole.
    Parameters recorded = requestParameters.value_or(Parameters::object());
    std::string recordedURL = requestURL;
    method = requestMethod;
    url = std::move(recordedURL);
    parameters = std::move(recorded);
  } catch (...) {
    // Out of memory: the request goes unrecorded but is still answered.
  }
  if (completion) completion(std::nullopt, std::nullopt);
}

}  // namespace talvaren

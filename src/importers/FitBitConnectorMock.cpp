#include "importers/FitBitConnectorMock.hpp"

namespace talvaren {

std::optional<FitBitConnector::HTTPMethod> FitBitConnectorMock::method() const { return method_.get(); }

void FitBitConnectorMock::setMethod(std::optional<HTTPMethod> method) { method_.set(method); }

std::optional<std::string> FitBitConnectorMock::url() const { return url_.get(); }

void FitBitConnectorMock::setUrl(std::optional<std::string> url) { url_.set(std::move(url)); }

void FitBitConnectorMock::performAPICall(HTTPMethod method, const std::string& url, const std::optional<Parameters>&,
                                         ParameterEncoding, bool, Completion completion) {
  setMethod(method);
  setUrl(url);
  if (completion) completion(std::nullopt, std::nullopt);
}

}  // namespace talvaren

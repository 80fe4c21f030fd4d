#include "importers/FitBitConnectorMock.hpp"

namespace talvaren {

std::optional<FitBitConnector::HTTPMethod> FitBitConnectorMock::method() const {
  std::lock_guard lock(recordMutex_);
  return method_;
}

void FitBitConnectorMock::setMethod(std::optional<HTTPMethod> method) {
  std::lock_guard lock(recordMutex_);
  method_ = method;
}

std::optional<std::string> FitBitConnectorMock::url() const {
  std::lock_guard lock(recordMutex_);
  return url_;
}

void FitBitConnectorMock::setUrl(std::optional<std::string> url) {
  std::lock_guard lock(recordMutex_);
  url_ = std::move(url);
}

void FitBitConnectorMock::performAPICall(HTTPMethod method, const std::string& url, const std::optional<Parameters>&,
                                         ParameterEncoding, bool, Completion completion) {
  setMethod(method);
  setUrl(url);
  if (completion) completion(std::nullopt, std::nullopt);
}

}  // namespace talvaren

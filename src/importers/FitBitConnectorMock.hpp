#pragma once
// Internal: a Fitbit connector for tests that records the request it would send instead of sending it.

#include <optional>
#include <string>

#include "importers/FitBitConnector.hpp"

namespace talvaren {

class FitBitConnectorMock : public FitBitConnector {
 public:
  FitBitConnectorMock() = default;

  /// The method and URL of the latest call; none before the first.
  virtual std::optional<HTTPMethod> method() const;
  virtual void setMethod(std::optional<HTTPMethod> method);
  virtual std::optional<std::string> url() const;
  virtual void setUrl(std::optional<std::string> url);

  /// Records the method and URL and calls `completion(none, none)` at once, before returning; reads no
  /// token, builds no headers, writes no log and sends nothing.
  void performAPICall(HTTPMethod method, const std::string& url, const std::optional<Parameters>& parameters,
                      ParameterEncoding encoding = platform::http::JSONEncoding::defaultEncoding(),
                      bool skipHeaders = false, Completion completion = {}) override;

 private:
  detail::LockedValue<std::optional<HTTPMethod>> method_;
  detail::LockedValue<std::optional<std::string>> url_;
};

}  // namespace talvaren

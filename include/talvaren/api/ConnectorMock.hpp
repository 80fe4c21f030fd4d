#pragma once
// A server client for the host's own tests: it runs the real endpoint code (URLs, day texts, JSON bodies,
// the lines of refused records) but sends nothing. Each request is recorded instead, and its completion
// runs at once with no error and no reply, on the calling thread, before the call returns.
//
//   auto client = std::make_shared<talvaren::ConnectorMock>();
//   client->getWorkout("u1", [](auto error, auto reply) { /* (none, none) */ });
//   // client->method == HTTPMethod::GET, client->url == <base URL>workouts/u1/, client->parameters == {}
//
// Only the last request stays recorded; a record an endpoint refuses leaves the properties as they were.
// Credentials live in the keychain service "SarvikDesign.Tests", never in the real client's. The download
// and the Documents lookup run for real; isLoggedInToken and isLoggedInAPIKey report the shared client's
// credentials, as on any client. The properties are plain values: read them on the calling thread.

#include <optional>
#include <string>

#include "talvaren/api/Connector.hpp"

namespace talvaren {

class ConnectorMock : public Connector {
 public:
  /// The keychain service of every double.
  static constexpr std::string_view keychainService = "SarvikDesign.Tests";

  /// Nothing recorded yet: `parameters` empty, `method` and `url` none. Independent of the shared client.
  ConnectorMock() = default;

  /// Parameters of the last request; an empty object when it had none.
  Parameters parameters = Parameters::object();
  /// Method of the last request.
  std::optional<HTTPMethod> method;
  /// URL text of the last request.
  std::optional<std::string> url;

  /// A new holder of the service "SarvikDesign.Tests" on every call.
  platform::Keychain keychain() const override;

  /// Records the method, URL and parameters (or {}), then calls `completion` with (none, none).
  void performAPICall(HTTPMethod requestMethod, const std::string& requestURL,
                      const std::optional<Parameters>& requestParameters,
                      ParameterEncoding encoding = platform::http::JSONEncoding::defaultEncoding(),
                      bool skipHeaders = false, const std::optional<Bytes>& httpBody = std::nullopt,
                      const std::optional<std::string>& apiKey = std::nullopt, Completion completion = {}) override;
  /// The same as performAPICall.
  void performAPICallDev(HTTPMethod requestMethod, const std::string& requestURL,
                         const std::optional<Parameters>& requestParameters,
                         ParameterEncoding encoding = platform::http::JSONEncoding::defaultEncoding(),
                         const std::optional<Bytes>& httpBody = std::nullopt, Completion completion = {}) override;

 private:
  void record(HTTPMethod requestMethod, const std::string& requestURL,
              const std::optional<Parameters>& requestParameters, const Completion& completion);
};

}  // namespace talvaren

#include "importers/FitBitConnector.hpp"

#include "api/EndpointText.hpp"
#include "api/RequestLog.hpp"
#include "importers/FitBitManager.hpp"
#include "importers/Seams.hpp"
#include "platform/SharedInstance.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren {

using namespace platform::http;

namespace {

talvaren::detail::SharedInstance<FitBitConnector>& sharedConnector() {
  static auto& instance = *new talvaren::detail::SharedInstance<FitBitConnector>();
  return instance;
}

constinit talvaren::detail::BaseURL baseURL("https://api.fitbit.com/");

class SharedConnector final : public FitBitConnector {};

}  // namespace

std::shared_ptr<FitBitConnector> FitBitConnector::sharedInstance() {
  return sharedConnector().get([] { return std::make_shared<SharedConnector>(); });
}

void talvaren::detail::resetFitBitConnector() { (void)sharedConnector().reset(); }

std::string FitBitConnector::APIBaseURL() { return baseURL.value(); }

void talvaren::detail::setFitBitAPIBaseURL(std::optional<std::string> url) { baseURL.setOverride(std::move(url)); }

std::string FitBitConnector::fitbitDistanceEndpoint() {
  return talvaren::detail::endpointText<"1.2/user/-/activities/distance/date/", &FitBitConnector::APIBaseURL>();
}

std::string FitBitConnector::fitbitStepsEndpoint() {
  return talvaren::detail::endpointText<"1.2/user/-/activities/steps/date/", &FitBitConnector::APIBaseURL>();
}

std::string FitBitConnector::fitbitCaloriesEndpoint() {
  return talvaren::detail::endpointText<"1.2/user/-/activities/calories/date/", &FitBitConnector::APIBaseURL>();
}

std::string FitBitConnector::fitbitSleepEndpoint() {
  return talvaren::detail::endpointText<"1.2/user/-/sleep/list.json", &FitBitConnector::APIBaseURL>();
}

// MARK: Request path

void FitBitConnector::performAPICall(HTTPMethod method, const std::string& url,
                                     const std::optional<Parameters>& parameters, ParameterEncoding encoding,
                                     bool skipHeaders, Completion completion) {
  const auto call =
      std::make_shared<const Call>(Call{method, url, parameters, encoding, skipHeaders, std::move(completion)});
  send(
      call,
      [skipHeaders] {
        // Read on every call, whatever `skipHeaders` says.
        const auto token = platform::UserDefaults::standard()->stringForKey(std::string(FitBitAuthTokenKey));
        HTTPHeaders headers;
        if (!skipHeaders) {
          headers = {{"Content-Type", "application/json; charset=UTF-8"},
                     {"Accept", "application/json"},
                     {"Accept-Language", "en_US"}};
          if (token) headers["Authorization"] = "Bearer " + *token;
        }
        return headers;
      },
      [connector = weak_from_this(), call](const DataResponse<JSON>& reply) { handleReply(connector, call, reply); });
}

void FitBitConnector::handleReply(const std::weak_ptr<FitBitConnector>& weakConnector,
                                  const std::shared_ptr<const Call>& call, const DataResponse<nlohmann::json>& reply) {
  const std::int64_t status = reply.response ? reply.response->statusCode() : 0;
  talvaren::detail::printReply("FitBit", reply, call->method);

  if (reply.response && (status == 403 || status == 401)) {
    const auto connector = weakConnector.lock();
    if (!connector) {
      console::print("FitBit need authorization !!!");
      console::print("FitBit Connector request authorize = nil");
      return call->complete(Error(std::string(genericErrorDomain), status), std::nullopt);
    }
    // The authorisation holds the connector weakly: a connector gone by then completes with no data.
    return connector->authorizeOnceThenRepeat(
        "FitBit", status, call,
        [](const std::string& key, const std::string& secret, std::function<void(bool)> completion) {
          FitBitManager::sharedInstance()->authorize(key, secret, std::move(completion));
        },
        [weak = std::weak_ptr<FitBitConnector>(connector)](const Call& again) {
          if (const auto connector = weak.lock()) return again.repeat(*connector);
          again.complete(std::nullopt, std::nullopt);
        });
  }

  if (const auto* value = reply.result.value()) return call->complete(std::nullopt, *value);
  const auto* error = reply.result.error();
  const Error failure = error ? *error : URLError::make(URLError::unknown);
  console::print("FitBit need authorization error: " + failure.description());
  call->complete(failure, std::nullopt);
}

// MARK: Errors

Error FitBitConnector::genericApiError(std::int64_t code) const { return Error(std::string(genericErrorDomain), code); }

}  // namespace talvaren

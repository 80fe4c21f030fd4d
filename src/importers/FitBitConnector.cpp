#include "importers/FitBitConnector.hpp"

#include "api/EndpointText.hpp"
#include "importers/FitBitManager.hpp"
#include "importers/Seams.hpp"
#include "platform/SharedInstance.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/platform/http/URLError.hpp"
#include "talvaren/utilities/DictionaryExtensions.hpp"

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
  static auto& text =
      *new talvaren::detail::EndpointText("1.2/user/-/activities/distance/date/", &FitBitConnector::APIBaseURL);
  return text.value();
}

std::string FitBitConnector::fitbitStepsEndpoint() {
  static auto& text =
      *new talvaren::detail::EndpointText("1.2/user/-/activities/steps/date/", &FitBitConnector::APIBaseURL);
  return text.value();
}

std::string FitBitConnector::fitbitCaloriesEndpoint() {
  static auto& text =
      *new talvaren::detail::EndpointText("1.2/user/-/activities/calories/date/", &FitBitConnector::APIBaseURL);
  return text.value();
}

std::string FitBitConnector::fitbitSleepEndpoint() {
  static auto& text = *new talvaren::detail::EndpointText("1.2/user/-/sleep/list.json", &FitBitConnector::APIBaseURL);
  return text.value();
}

// MARK: Request path

void FitBitConnector::performAPICall(HTTPMethod method, const std::string& url,
                                     const std::optional<Parameters>& parameters, ParameterEncoding encoding,
                                     bool skipHeaders, Completion completion) {
  auto call = std::make_shared<const Call>(Call{method, url, parameters, encoding, skipHeaders, std::move(completion)});
  try {
    const auto token = platform::UserDefaults::standard()->stringForKey(std::string(FitBitAuthTokenKey));
    HTTPHeaders headers;
    if (!skipHeaders) {
      headers = {{"Content-Type", "application/json; charset=UTF-8"},
                 {"Accept", "application/json"},
                 {"Accept-Language", "en_US"}};
      if (token) headers["Authorization"] = "Bearer " + *token;
    }
    verboseRequest(url, parameters, headers, method);

    const auto session = manager();
    if (!session) return Call::completeUnsent(call);
    session->request(url, method, parameters, encoding, headers)
        ->validate()
        .responseJSON([connector = weak_from_this(),
                       call](const DataResponse<nlohmann::json>& reply) { handleReply(connector, call, reply); },
                      JSONReadingOptions::allowFragments);
  } catch (...) {
    // Only an allocation failure (or a subclass's override) lands here; nothing was sent.
    Call::completeUnsent(call);
  }
}

void FitBitConnector::handleReply(const std::weak_ptr<FitBitConnector>& weakConnector,
                                  const std::shared_ptr<const Call>& call, const DataResponse<nlohmann::json>& reply) {
  const auto* value = reply.result.value();
  const auto* error = reply.result.error();
  const std::int64_t status = reply.response ? reply.response->statusCode() : 0;
  try {
    console::print(reply.response ? std::to_string(status) : "FitBit response.response?.statusCode = nil");
    console::print(value ? dictionaryDescription(redact::reply(*value)) : "FitBit response.result.value = nil");
    console::print(std::string(caseName(call->method)));
    console::print(error ? error->description() : "FitBit response.result.error = nil");
  } catch (...) {
    // A log line that cannot be written changes nothing about the reply.
  }

  if (reply.response && (status == 403 || status == 401)) {
    console::print("FitBit need authorization !!!");
    const auto connector = weakConnector.lock();
    if (!connector) {
      console::print("FitBit Connector request authorize = nil");
      call->complete(Error(std::string(genericErrorDomain), status), std::nullopt);
      return;
    }
    if (connector->authorizationWasNeeded()) {
      call->complete(connector->genericApiError(status), std::nullopt);
      return;
    }
    connector->setAuthorizationWasNeeded(true);
    authorizeAndRepeat(connector, call);
    return;
  }

  if (value) {
    call->complete(std::nullopt, *value);
    return;
  }
  const Error failure = error ? *error : URLError::make(URLError::unknown);
  console::print("FitBit need authorization error: " + failure.description());
  call->complete(failure, std::nullopt);
}

void FitBitConnector::authorizeAndRepeat(const std::shared_ptr<FitBitConnector>& connector,
                                         const std::shared_ptr<const Call>& call) {
  std::weak_ptr<FitBitConnector> weakConnector = connector;
  FitBitManager::sharedInstance()->authorize(connector->consumerKey(), connector->consumerSecret(),
                                             [weakConnector, call](bool granted) {
                                               const auto again = granted ? weakConnector.lock() : nullptr;
                                               if (!again) {
                                                 // Refused, cancelled, or no connector left to repeat the call: no
                                                 // error and no data.
                                                 call->complete(std::nullopt, std::nullopt);
                                                 return;
                                               }
                                               call->repeat(*again);
                                             });
}

// MARK: Errors

Error FitBitConnector::genericApiError(std::int64_t code) const { return Error(std::string(genericErrorDomain), code); }

}  // namespace talvaren

#include "importers/FitBitConnector.hpp"

#include "codecs/Lowercase.hpp"
#include "importers/FitBitManager.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/platform/http/URLError.hpp"
#include "talvaren/utilities/DictionaryExtensions.hpp"

namespace talvaren {

using namespace platform::http;

namespace {

constexpr const char* logSeparator = "---------------------";
constexpr const char* defaultBaseURL = "https://api.fitbit.com/";

struct SharedState {
  std::mutex mutex;
  std::shared_ptr<FitBitConnector> connector;
  std::optional<std::string> baseURLOverride;
  /// Bumped whenever test code changes the base URL: every endpoint text is then made again.
  std::uint64_t endpointGeneration = 1;
};

SharedState& state() {
  static SharedState shared;
  return shared;
}

/// One endpoint text: the base URL at its first use followed by a fixed path.
class EndpointText {
 public:
  explicit EndpointText(std::string_view path) : path_(path) {}

  std::string value() {
    auto& shared = state();
    std::lock_guard lock(shared.mutex);
    if (!text_ || generation_ != shared.endpointGeneration) {
      text_ = shared.baseURLOverride.value_or(defaultBaseURL) + std::string(path_);
      generation_ = shared.endpointGeneration;
    }
    return *text_;
  }

 private:
  std::string_view path_;
  std::optional<std::string> text_;
  std::uint64_t generation_ = 0;
};

class SharedConnector final : public FitBitConnector {};

std::string methodName(HTTPMethod method) { return talvaren::detail::lowercased(rawValue(method)); }

}  // namespace

/// Everything needed to send a call again after an authorisation.
struct FitBitConnector::Call {
  HTTPMethod method;
  std::string url;
  std::optional<Parameters> parameters;
  ParameterEncoding encoding;
  bool skipHeaders;
  Completion completion;

  void complete(std::optional<Error> error, std::optional<nlohmann::json> value) const {
    if (completion) completion(std::move(error), std::move(value));
  }
};

void FitBitConnector::completeUnsent(const std::shared_ptr<const Call>& call) {
  platform::DispatchQueue::main().async([call] { call->complete(URLError::make(URLError::unknown), std::nullopt); });
}

std::shared_ptr<FitBitConnector> FitBitConnector::sharedInstance() {
  auto& shared = state();
  std::lock_guard lock(shared.mutex);
  if (!shared.connector) shared.connector = std::make_shared<SharedConnector>();
  return shared.connector;
}

std::string FitBitConnector::APIBaseURL() {
  auto& shared = state();
  std::lock_guard lock(shared.mutex);
  return shared.baseURLOverride.value_or(defaultBaseURL);
}

std::string FitBitConnector::fitbitDistanceEndpoint() {
  static EndpointText text("1.2/user/-/activities/distance/date/");
  return text.value();
}

std::string FitBitConnector::fitbitStepsEndpoint() {
  static EndpointText text("1.2/user/-/activities/steps/date/");
  return text.value();
}

std::string FitBitConnector::fitbitCaloriesEndpoint() {
  static EndpointText text("1.2/user/-/activities/calories/date/");
  return text.value();
}

std::string FitBitConnector::fitbitSleepEndpoint() {
  static EndpointText text("1.2/user/-/sleep/list.json");
  return text.value();
}

void talvaren::detail::setFitBitAPIBaseURL(std::optional<std::string> url) {
  auto& shared = state();
  std::lock_guard lock(shared.mutex);
  shared.baseURLOverride = std::move(url);
  ++shared.endpointGeneration;
}

void talvaren::detail::resetFitBitConnector() {
  std::shared_ptr<FitBitConnector> previous;
  auto& shared = state();
  std::lock_guard lock(shared.mutex);
  previous = std::exchange(shared.connector, nullptr);
}

// MARK: Properties

std::string FitBitConnector::consumerKey() const {
  std::lock_guard lock(mutex_);
  return consumerKey_;
}

void FitBitConnector::setConsumerKey(const std::string& key) {
  std::lock_guard lock(mutex_);
  consumerKey_ = key;
}

std::string FitBitConnector::consumerSecret() const {
  std::lock_guard lock(mutex_);
  return consumerSecret_;
}

void FitBitConnector::setConsumerSecret(const std::string& secret) {
  std::lock_guard lock(mutex_);
  consumerSecret_ = secret;
}

std::shared_ptr<SessionManager> FitBitConnector::manager() const { return SessionManager::defaultManager(); }

bool FitBitConnector::authorizationWasNeeded() const { return authorizationWasNeeded_.load(); }

void FitBitConnector::setAuthorizationWasNeeded(bool needed) { authorizationWasNeeded_.store(needed); }

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
    if (!session) return completeUnsent(call);
    session->request(url, method, parameters, encoding, headers)
        ->validate()
        .responseJSON([connector = weak_from_this(),
                       call](const DataResponse<nlohmann::json>& reply) { handleReply(connector, call, reply); },
                      JSONReadingOptions::allowFragments);
  } catch (...) {
    // Only an allocation failure (or a subclass's override) lands here; nothing was sent.
    completeUnsent(call);
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
    console::print(methodName(call->method));
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
  FitBitManager::sharedInstance()->authorize(
      connector->consumerKey(), connector->consumerSecret(), [weakConnector, call](bool granted) {
        const auto again = granted ? weakConnector.lock() : nullptr;
        if (!again) {
          // Refused, cancelled, or no connector left to repeat the call: no error and no data.
          call->complete(std::nullopt, std::nullopt);
          return;
        }
        again->performAPICall(call->method, call->url, call->parameters, call->encoding, call->skipHeaders,
                              call->completion);
      });
}

// MARK: Log and errors

Error FitBitConnector::genericApiError(std::int64_t code) const { return Error(std::string(genericErrorDomain), code); }

FitBitConnector::HTTPHeaders FitBitConnector::authorizationHeaders() const { return {}; }

void FitBitConnector::verboseRequest(const std::string& url, const std::optional<Parameters>& parameters,
                                     const HTTPHeaders& headers, HTTPMethod method) const {
  if (!DEBUG_MODE) return;
  console::print(logSeparator);
  console::print("Request: " + redact::url(url));
  console::print("Method: " + methodName(method));
  console::print("Headers: " + dictionaryDescription(redact::headers(headers)));
  if (parameters) {
    console::print("Parameters:");
    console::print(dictionaryDescription(redact::parameters(*parameters)));
  }
  console::print(logSeparator);
}

}  // namespace talvaren

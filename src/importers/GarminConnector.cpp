#include "importers/GarminConnector.hpp"

#include "api/EndpointText.hpp"
#include "api/RequestLog.hpp"
#include "importers/GarminManager.hpp"
#include "importers/Seams.hpp"
#include "platform/SharedInstance.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Random.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/platform/http/URLError.hpp"
#include "talvaren/platform/oauth/OAuthSwiftCredential.hpp"

namespace talvaren {

using namespace platform::http;
using platform::oauth::OAuthSwiftCredential;
using platform::oauth::ParameterList;

namespace {

talvaren::detail::SharedInstance<GarminConnector>& sharedConnector() {
  static auto& instance = *new talvaren::detail::SharedInstance<GarminConnector>();
  return instance;
}

constinit talvaren::detail::BaseURL baseURL("https://apis.garmin.com/");

}  // namespace

// MARK: Shared instance, base URL and endpoints

std::shared_ptr<GarminConnector> GarminConnector::sharedInstance() {
  return sharedConnector().get([] { return std::shared_ptr<GarminConnector>(new GarminConnector()); });
}

void talvaren::detail::resetGarminConnector() { (void)sharedConnector().reset(); }

std::string GarminConnector::APIBaseURL() { return baseURL.value(); }

void talvaren::detail::setGarminAPIBaseURL(std::optional<std::string> url) { baseURL.setOverride(std::move(url)); }

std::string GarminConnector::garminActivityEndpoint() {
  return talvaren::detail::endpointText<"wellness-api/rest/dailies", &GarminConnector::APIBaseURL>();
}

std::string GarminConnector::garminCaloriesEndpoint() {
  return talvaren::detail::endpointText<"wellness-api/rest/activities", &GarminConnector::APIBaseURL>();
}

std::string GarminConnector::garminSleepEndpoint() {
  return talvaren::detail::endpointText<"wellness-api/rest/sleeps", &GarminConnector::APIBaseURL>();
}

// MARK: Request path

void GarminConnector::performAPICall(HTTPMethod method, const std::string& url,
                                     const std::optional<Parameters>& parameters, ParameterEncoding encoding,
                                     bool skipHeaders, Completion completion) {
  const auto call =
      std::make_shared<const Call>(Call{method, url, parameters, encoding, skipHeaders, std::move(completion)});
  send(
      call, [&] { return requestHeaders(method, url, skipHeaders); },
      [connector = weak_from_this(), call](const DataResponse<JSON>& reply) { handleReply(connector, call, reply); });
}

GarminConnector::HTTPHeaders GarminConnector::requestHeaders(HTTPMethod method, const std::string& url,
                                                             bool skipHeaders) const {
  HTTPHeaders headers;
  if (skipHeaders) return headers;
  headers = {
      {"Content-Type", "application/json;charset=UTF-8"}, {"Accept", "application/json"}, {"Accept-Language", "en_US"}};
  const auto credential = method == HTTPMethod::GET ? GarminManager::sharedInstance()->oauthCredential() : std::nullopt;
  if (!credential) return headers;
  const ParameterList oauth{
      {"oauth_consumer_key", consumerKey()},
      {"oauth_token", credential->oauthToken},
      {"oauth_signature_method", "HMAC-SHA1"},
      // Signed as its decimal text, as it travels.
      {"oauth_timestamp", std::to_string(OAuthSwiftCredential::timestamp())},
      {"oauth_nonce", randomString(nonceLength)},
      {"oauth_version", "1.0"},
  };
  OAuthSwiftCredential signer(consumerKey(), consumerSecret());
  signer.oauthToken = credential->oauthToken;
  signer.oauthTokenSecret = credential->oauthTokenSecret;
  // The signer reads the query items off the URL that is sent, each as it travels: repeated names, items
  // without "=" and "+" as a blank included (RFC 5849 3.4.1.3).
  const auto header = signer.authorizationHeader(HTTPMethod::GET, url, oauth);
  // A URL that cannot be signed (no absolute http(s) URL, a malformed escape) goes out unsigned; the
  // refusal that follows runs the authorisation like any other.
  if (header) {
    headers["Authorization"] = *header;
    console::print("Garmin auth: " + std::string(redact::placeholder));
  }
  return headers;
}

void GarminConnector::handleReply(const std::weak_ptr<GarminConnector>& owner, const std::shared_ptr<const Call>& call,
                                  const DataResponse<JSON>& reply) {
  const std::int64_t status = reply.response ? reply.response->statusCode() : 0;
  talvaren::detail::printReply("Garmin Connector", reply, call->method);

  const bool refused = status == 403 || status == 401 || status == 400;
  const auto connector = owner.lock();
  if (!connector) {
    // Only a connector made apart from the shared one can be gone; its caller still hears back once.
    console::print("Garmin Connector request authorize = nil");
    if (refused) return call->complete(Error(std::string(genericErrorDomain), status), std::nullopt);
  } else if (refused) {
    // The authorisation holds the connector until it answers.
    return connector->authorizeOnceThenRepeat(
        "Garmin", status, call,
        [](const std::string& key, const std::string& secret, std::function<void(bool)> completion) {
          GarminManager::sharedInstance()->authorize(key, secret, std::move(completion));
        },
        [connector](const Call& again) { again.repeat(*connector); });
  } else {
    connector->setAuthorizationWasNeeded(false);
  }
  if (const auto* value = reply.result.value()) return call->complete(std::nullopt, *value);
  const auto* error = reply.result.error();
  const Error failure = error ? *error : URLError::make(URLError::unknown);
  call->complete(failure, std::nullopt);
}

// MARK: Errors, nonce

Error GarminConnector::genericApiError(std::int64_t statusCode) const {
  return Error(std::string(genericErrorDomain), statusCode);
}

std::string GarminConnector::randomString(std::int64_t length) const {
  return length > 0 ? platform::random::string(static_cast<std::size_t>(length)) : std::string();
}

}  // namespace talvaren

#include "importers/GarminConnector.hpp"

#include "api/EndpointText.hpp"
#include "importers/GarminManager.hpp"
#include "importers/Seams.hpp"
#include "platform/SharedInstance.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Random.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/platform/http/URLError.hpp"
#include "talvaren/platform/oauth/OAuthSwiftCredential.hpp"
#include "talvaren/utilities/DictionaryExtensions.hpp"

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

/// The query items of `url` in order, a later item replacing an earlier one of its name and an item
/// without "=" removing its name; nothing when an escape is malformed.
void mergeQueryItems(std::string_view url, std::map<std::string, std::string>& into) {
  const auto question = url.find('?');
  if (question == std::string_view::npos) return;
  auto query = url.substr(question + 1);
  query = query.substr(0, query.find('#'));
  std::vector<std::pair<std::string, std::optional<std::string>>> items;
  std::size_t start = 0;
  while (start <= query.size()) {
    auto end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const auto item = query.substr(start, end - start);
    if (!item.empty()) {
      const auto equals = item.find('=');
      auto name = platform::oauth::percentDecode(item.substr(0, equals), false);
      std::optional<std::string> value;
      if (equals != std::string_view::npos) {
        value = platform::oauth::percentDecode(item.substr(equals + 1), false);
        if (!value) return;
      }
      if (!name) return;
      items.emplace_back(std::move(*name), std::move(value));
    }
    start = end + 1;
  }
  for (auto& [name, value] : items) {
    if (value) {
      into[name] = std::move(*value);
    } else {
      into.erase(name);
    }
  }
}

}  // namespace

// MARK: Shared instance, base URL and endpoints

std::shared_ptr<GarminConnector> GarminConnector::sharedInstance() {
  return sharedConnector().get([] { return std::shared_ptr<GarminConnector>(new GarminConnector()); });
}

void talvaren::detail::resetGarminConnector() { (void)sharedConnector().reset(); }

std::string GarminConnector::APIBaseURL() { return baseURL.value(); }

void talvaren::detail::setGarminAPIBaseURL(std::optional<std::string> url) { baseURL.setOverride(std::move(url)); }

std::string GarminConnector::garminActivityEndpoint() {
  static auto& text = *new talvaren::detail::EndpointText("wellness-api/rest/dailies", &GarminConnector::APIBaseURL);
  return text.value();
}

std::string GarminConnector::garminCaloriesEndpoint() {
  static auto& text = *new talvaren::detail::EndpointText("wellness-api/rest/activities", &GarminConnector::APIBaseURL);
  return text.value();
}

std::string GarminConnector::garminSleepEndpoint() {
  static auto& text = *new talvaren::detail::EndpointText("wellness-api/rest/sleeps", &GarminConnector::APIBaseURL);
  return text.value();
}

// MARK: Request path

void GarminConnector::performAPICall(HTTPMethod method, const std::string& url,
                                     const std::optional<Parameters>& parameters, ParameterEncoding encoding,
                                     bool skipHeaders, Completion completion) {
  auto call = std::make_shared<Call>(Call{method, url, parameters, encoding, skipHeaders, std::move(completion)});
  try {
    HTTPHeaders headers;
    if (!skipHeaders) {
      headers = {{"Content-Type", "application/json;charset=UTF-8"},
                 {"Accept", "application/json"},
                 {"Accept-Language", "en_US"}};
      const auto credential =
          method == HTTPMethod::GET ? GarminManager::sharedInstance()->oauthCredential() : std::nullopt;
      if (credential) {
        std::map<std::string, std::string> oauth{
            {"oauth_consumer_key", consumerKey()},
            {"oauth_token", credential->oauthToken},
            {"oauth_signature_method", "HMAC-SHA1"},
            // Signed as its decimal text, as it travels.
            {"oauth_timestamp", std::to_string(OAuthSwiftCredential::timestamp())},
            {"oauth_nonce", randomString(nonceLength)},
            {"oauth_version", "1.0"},
        };
        mergeQueryItems(url, oauth);
        OAuthSwiftCredential signer(consumerKey(), consumerSecret());
        signer.oauthToken = credential->oauthToken;
        signer.oauthTokenSecret = credential->oauthTokenSecret;
        const auto header = signer.authorizationHeader(HTTPMethod::GET, std::string_view(url).substr(0, url.find('?')),
                                                       ParameterList(oauth.begin(), oauth.end()));
        // A URL that cannot be signed (no absolute http(s) URL) goes out unsigned; the refusal that
        // follows runs the authorisation like any other.
        if (header) {
          headers["Authorization"] = *header;
          console::print("Garmin auth: " + std::string(redact::placeholder));
        }
      }
    }
    verboseRequest(url, parameters, headers, method);
    const auto session = manager();
    if (!session) return Call::completeUnsent(call);
    session->request(url, method, parameters, encoding, headers)
        ->validate()
        .responseJSON([connector = weak_from_this(),
                       call](const DataResponse<JSON>& reply) { handleReply(connector, call, reply); },
                      JSONReadingOptions::allowFragments);
  } catch (...) {
    // Only an allocation failure or a subclass's override lands here; nothing was sent.
    Call::completeUnsent(call);
  }
}

void GarminConnector::handleReply(const std::weak_ptr<GarminConnector>& owner, const std::shared_ptr<Call>& call,
                                  const DataResponse<JSON>& reply) {
  const auto* value = reply.result.value();
  const auto* error = reply.result.error();
  const std::int64_t status = reply.response ? reply.response->statusCode() : 0;
  try {
    console::print(reply.response ? std::to_string(status) : "Garmin Connector response.response?.statusCode = nil");
    console::print(value ? dictionaryDescription(*value) : "Garmin Connector response.result.value = nil");
    console::print(std::string(caseName(call->method)));
    console::print(error ? error->description() : "Garmin Connector response.result.error = nil");
  } catch (...) {
    // A line that cannot be printed changes nothing below.
  }

  const bool refused = status == 403 || status == 401 || status == 400;
  const auto connector = owner.lock();
  if (!connector) {
    // Only a connector made apart from the shared one can be gone; its caller still hears back once.
    console::print("Garmin Connector request authorize = nil");
    if (refused) return call->complete(Error(std::string(genericErrorDomain), status), std::nullopt);
  } else if (refused) {
    console::print("Garmin need authorization !!!");
    if (connector->authorizationWasNeeded()) return call->complete(connector->genericApiError(status), std::nullopt);
    connector->setAuthorizationWasNeeded(true);
    GarminManager::sharedInstance()->authorize(connector->consumerKey(), connector->consumerSecret(),
                                               [connector, call](bool granted) {
                                                 if (!granted) return call->complete(std::nullopt, std::nullopt);
                                                 call->repeat(*connector);
                                               });
    return;
  } else {
    connector->setAuthorizationWasNeeded(false);
  }
  if (value) return call->complete(std::nullopt, *value);
  call->complete(error ? *error : URLError::make(URLError::unknown), std::nullopt);
}

// MARK: Errors, nonce

Error GarminConnector::genericApiError(std::int64_t statusCode) const {
  return Error(std::string(genericErrorDomain), statusCode);
}

std::string GarminConnector::randomString(std::int64_t length) const {
  return length > 0 ? platform::random::string(static_cast<std::size_t>(length)) : std::string();
}

// MARK: Test double

void GarminConnectorMock::performAPICall(HTTPMethod method, const std::string& url, const std::optional<Parameters>&,
                                         ParameterEncoding, bool, Completion completion) {
  this->method = method;
  this->url = url;
  if (completion) completion(std::nullopt, std::nullopt);
}

}  // namespace talvaren

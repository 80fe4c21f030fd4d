#include "talvaren/api/Connector.hpp"

#include <mutex>

#include "api/EndpointText.hpp"
#include "api/RequestLog.hpp"
#include "api/Seams.hpp"
#include "api/Unsent.hpp"
#include "platform/SharedInstance.hpp"
#include "talvaren/api/BundleExtensions.hpp"
#include "talvaren/api/SessionManagerExtensions.hpp"
#include "talvaren/api/UIDevice.hpp"
#include "talvaren/platform/Bundle.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/NotificationCenter.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/platform/UserDefaults.hpp"
#include "talvaren/platform/http/URLError.hpp"
#include "talvaren/utilities/AppKeychain.hpp"
#include "talvaren/utilities/DictionaryExtensions.hpp"

namespace talvaren {

using namespace platform::http;
using talvaren::detail::completeUnsent;

namespace {

constexpr const char* developmentAPIKey = "kqz";
constexpr const char* developmentPublicId = "4f1c9a27-6b3e-4d58-9e02-7a3b5c8d1e64";

talvaren::detail::SharedInstance<Connector>& sharedConnector() {
  static auto& instance = *new talvaren::detail::SharedInstance<Connector>();
  return instance;
}

std::atomic<std::uint64_t>& endpointGeneration() {
  static std::atomic<std::uint64_t> generation{1};
  return generation;
}

/// Stores a credential's JSON object under `key`, replacing the item; nothing for a credential without one.
/// A keychain that refuses it costs the caller nothing but one console line naming the credential (`what`)
/// and the reason, never its value.
template <class Credential>
void saveCredential(const platform::Keychain& keychain, const Credential& credential, std::string_view key,
                    std::string_view what) {
  if (!credential.toJSON()) return;
  if (auto error = keychain.set(credential.keychainData(), std::string(key))) {
    console::print("Connector: the " + std::string(what) +
                   " could not be stored in the keychain: " + error->description());
  }
}

template <class Credential>
std::optional<Credential> readCredential(const platform::Keychain& keychain, std::string_view key) {
  const auto data = keychain.getData(std::string(key));
  return data ? Credential::fromKeychainData(*data) : std::nullopt;
}

/// While one request's headers are assembled, the stored token and API key of the shared client's keychain
/// are read once on that thread, from one look at the keychain: the login checks and the header merge then
/// see the same state, and a request costs one keychain read instead of four.
struct CredentialReads {
  platform::Keychain keychain;
  std::optional<platform::Keychain::Snapshot> items;  // one look at the file serves both credentials
  std::optional<std::optional<APIToken>> token;
  std::optional<std::optional<APIKey>> apiKey;
};

thread_local CredentialReads* credentialReads = nullptr;

class CredentialReadScope {
 public:
  explicit CredentialReadScope(const platform::Keychain& keychain)
      : reads_{keychain, {}, {}, {}}, previous_(credentialReads) {
    credentialReads = &reads_;
  }
  ~CredentialReadScope() { credentialReads = previous_; }
  CredentialReadScope(const CredentialReadScope&) = delete;
  CredentialReadScope& operator=(const CredentialReadScope&) = delete;

 private:
  CredentialReads reads_;
  CredentialReads* previous_;
};

/// The credential under `key`, read once per scope when `keychain` is the scope's.
template <class Credential>
std::optional<Credential> readCredentialOnce(const platform::Keychain& keychain, std::string_view key,
                                             std::optional<std::optional<Credential>> CredentialReads::*memo) {
  if (!credentialReads || credentialReads->keychain.service() != keychain.service()) {
    return readCredential<Credential>(keychain, key);
  }
  auto& slot = credentialReads->*memo;
  if (!slot) {
    if (!credentialReads->items) credentialReads->items = keychain.snapshot();
    const auto data = credentialReads->items->getData(std::string(key));
    slot = data ? Credential::fromKeychainData(*data) : std::nullopt;
  }
  return *slot;
}

/// Moves the fields of `winning` into `headers`, replacing fields of the same name: the nodes change maps,
/// nothing is copied.
void mergeWinning(Connector::HTTPHeaders& headers, Connector::HTTPHeaders winning) {
  for (const auto& field : winning) headers.erase(field.first);
  headers.merge(winning);
}

}  // namespace

// MARK: Endpoint texts

namespace detail {

std::string EndpointText::value() {
  std::lock_guard lock(mutex_);
  const auto generation = endpointGeneration().load();
  if (!text_ || generation_ != generation) {
    text_ = (base_ ? base_() : Connector::APIBaseURL()) + std::string(path_);
    generation_ = generation;
  }
  return *text_;
}

void EndpointText::resetAll() { endpointGeneration().fetch_add(1); }

void resetEndpointTexts() { EndpointText::resetAll(); }

std::string BaseURL::value() const {
  std::lock_guard lock(mutex_);
  return override_.value_or(std::string(standard_));
}

void BaseURL::setOverride(std::optional<std::string> url) {
  {
    std::lock_guard lock(mutex_);
    override_ = std::move(url);
  }
  EndpointText::resetAll();
}

}  // namespace detail

std::string Connector::loginEndpoint() { return talvaren::detail::endpointText<"auth/login/">(); }

std::string Connector::logoutEndpoint() { return talvaren::detail::endpointText<"auth/logout/">(); }

// MARK: Shared instance and settings

void talvaren::detail::resetSharedConnector() { (void)sharedConnector().reset(); }

std::shared_ptr<Connector> Connector::sharedInstance() {
  return sharedConnector().get([] { return std::shared_ptr<Connector>(new Connector()); });
}

std::string Connector::APIBaseURL() {
  return platform::UserDefaults::standard()->stringForKey(std::string(APIBaseURLKey)).value_or("");
}

void Connector::setAPIBaseURL(const std::string& url) {
  platform::UserDefaults::standard()->set(url, std::string(APIBaseURLKey));
}

std::int64_t Connector::requestCounter() const { return requestCounter_; }

void Connector::setRequestCounter(std::int64_t value) { requestCounter_ = value; }

std::optional<std::string> Connector::CSRFToken() const {
  return platform::UserDefaults::standard()->stringForKey(std::string(CSRFTokenKey));
}

void Connector::setCSRFToken(const std::optional<std::string>& token) {
  auto defaults = platform::UserDefaults::standard();
  if (token) {
    defaults->set(*token, std::string(CSRFTokenKey));
  } else {
    defaults->removeObjectForKey(std::string(CSRFTokenKey));
  }
}

platform::Keychain Connector::keychain() const { return AppKeychain::sharedInstance()->keychain(); }

std::shared_ptr<SessionManager> Connector::manager() const { return SessionManager::defaultManager(); }

std::optional<APIToken> Connector::token() const { return getTokenFromKeychain(); }

void Connector::setToken(const std::optional<APIToken>&) { removeTokenFromKeyChain(); }

std::optional<APIKey> Connector::apiKey() const { return getApiKeyFromKeychain(); }

void Connector::setApiKey(const std::optional<APIKey>&) { removeApiKeyFromKeyChain(); }

// MARK: Request paths

void Connector::performAPICall(HTTPMethod method, const std::string& url, const std::optional<Parameters>& parameters,
                               ParameterEncoding encoding, bool skipHeaders, const std::optional<Bytes>& httpBody,
                               const std::optional<std::string>& apiKey, Completion completion) {
  HTTPHeaders headers;
  try {
    const auto shared = sharedInstance();
    const auto bundle = platform::Bundle::main();
    const auto defaults = SessionManager::defaultHTTPHeaders();
    const auto layerAgent = defaults.find("User-Agent");
    std::string userAgent;
    userAgent.reserve(96);
    if (layerAgent != defaults.end()) {
      userAgent = layerAgent->second;
    } else {
      userAgent.append("version: ").append(releaseVersionNumber(*bundle).value_or("Unknown"));
      userAgent.append(" build:").append(buildVersionNumber(*bundle).value_or("Unknown")).append(";iOS ");
    }
    userAgent.append(" ").append(UIDevice::current().modelName());

    if (skipHeaders) {
      headers.emplace("User-Agent", std::move(userAgent));
    } else {
      CredentialReadScope reads(shared->keychain());
      // Made in place: every request builds them.
      headers.emplace("Content-Type", "application/json; charset=UTF-8");
      headers.emplace("Accept", "application/json");
      headers.emplace("User-Agent", std::move(userAgent));
      const auto csrfToken = shared->CSRFToken();
      // The token is a credential: the line keeps its shape but not the value.
      static const std::string knownTokenLine = "CSRF Token = " + std::string(redact::placeholder);
      console::print(csrfToken ? std::string_view(knownTokenLine) : std::string_view("CSRF Token = Unknown"));
      if (csrfToken) headers["X-CSRFToken"] = *csrfToken;
      if (apiKey) {
        headers["X-API-Key"] = *apiKey;
      } else {
        if (isLoggedInToken()) {
          if (auto stored = shared->token()) mergeWinning(headers, stored->header());
        }
        if (isLoggedInAPIKey()) {
          if (auto stored = shared->apiKey()) mergeWinning(headers, stored->header());
        }
      }
    }
    verboseRequest(url, parameters, headers, method, httpBody);
  } catch (...) {
    // Only an allocation failure (or a subclass's override) lands here; nothing was sent.
    return completeUnsent(completion);
  }
  send(method, url, parameters, encoding, std::move(headers), httpBody, std::move(completion));
}

void Connector::performAPICallDev(HTTPMethod method, const std::string& url,
                                  const std::optional<Parameters>& parameters, ParameterEncoding encoding,
                                  const std::optional<Bytes>& httpBody, Completion completion) {
  std::optional<HTTPHeaders> headers(HTTPHeaders{{std::string(APIKey::APIKeyKey), developmentAPIKey},
                                                {std::string(APIKey::PublicIdKey), developmentPublicId}});
  try {
    verboseRequest(url, parameters, *headers, method, httpBody);
  } catch (...) {
    return completeUnsent(completion);
  }
  send(method, url, parameters, encoding, std::move(headers), httpBody, std::move(completion));
}

void Connector::send(HTTPMethod method, const std::string& url, const std::optional<Parameters>& parameters,
                     ParameterEncoding encoding, std::optional<HTTPHeaders> headers,
                     const std::optional<Bytes>& httpBody, Completion completion) const {
  try {
    const auto session = manager();
    if (!session) return completeUnsent(completion);
    auto request = requestWithoutCache(*session, url, method, parameters, encoding, std::move(headers), httpBody);
    request->validate().takeResponseJSON(
        [client = weak_from_this(), method, url, completion](DataResponse<nlohmann::json>&& reply) {
          handleReply(client, method, url, std::move(reply), completion);
        },
        JSONReadingOptions::allowFragments);
  } catch (...) {
    completeUnsent(completion);
  }
}

void Connector::handleReply(const std::weak_ptr<const Connector>& client, HTTPMethod method, const std::string& url,
                            DataResponse<nlohmann::json> reply, const Completion& completion) {
  ServerReplyMapping mapping;
  try {
    // Cookies are kept only while no CSRF token is stored. Most replies set none, and those never read
    // the settings file for the token.
    if (auto cookies = replyCookies(reply); !cookies.empty()) {
      const auto shared = sharedInstance();
      if (!shared->CSRFToken()) {
        if (auto owner = client.lock()) {
          const auto session = owner->manager();
          if (session && session->configuration().httpCookieStorage) {
            session->configuration().httpCookieStorage->setCookies(cookies, reply.request->url());
          }
        }
        if (auto token = csrfToken(cookies)) shared->setCSRFToken(token);
      }
    }

    talvaren::detail::printReply("Connector", reply, method);

    // The reply's last reader: its value is moved into the mapping.
    mapping = mapServerReply(std::move(reply), url, loginEndpoint(), logoutEndpoint());
    if (mapping.failureText) console::print("Failure Response: " + *mapping.failureText);
    if (mapping.tokenExpired) {
      platform::NotificationCenter::defaultCenter()->post(std::string(TokenExpiredNotification));
    }
  } catch (...) {
    mapping = ServerReplyMapping{URLError::make(URLError::unknown), std::nullopt, false, std::nullopt};
  }
  if (!completion) return;
  if (mapping.value) {
    completion(std::nullopt, ServerReply(std::move(*mapping.value)));
  } else {
    completion(std::move(mapping.error), std::nullopt);
  }
}

// MARK: Log, errors, login state, logout

Error Connector::genericApiError(std::int64_t code) const { return Error(std::string(genericErrorDomain), code); }

Connector::HTTPHeaders Connector::authorizationHeaders() const { return {}; }

void Connector::verboseRequest(const std::string& url, const std::optional<Parameters>& parameters,
                               const HTTPHeaders& headers, HTTPMethod method,
                               const std::optional<Bytes>& httpBody) const {
  if (DEBUG_MODE) talvaren::detail::printRequest(url, parameters, headers, method, httpBody);
}

bool Connector::isLoggedInToken() const { return sharedInstance()->token().has_value(); }

bool Connector::isLoggedInAPIKey() const { return sharedInstance()->apiKey().has_value(); }

void Connector::logout() {
  setToken(std::nullopt);
  removeLoginDataFromKeychain();
  removeTokenFromKeyChain();
  setApiKey(std::nullopt);
  removeApiKeyFromKeyChain();
}

// MARK: Credentials in the keychain

void Connector::saveTokenToKeychain(const APIToken& token) const {
  saveCredential(keychain(), token, KeychainTokenKey, "token");
}

std::optional<APIToken> Connector::getTokenFromKeychain() const {
  return readCredentialOnce<APIToken>(keychain(), KeychainTokenKey, &CredentialReads::token);
}

void Connector::removeTokenFromKeyChain() const { (void)keychain().remove(std::string(KeychainTokenKey)); }

void Connector::saveApiKeyToKeychain(const APIKey& apiKey) const {
  saveCredential(keychain(), apiKey, KeychainAPIKey, "API key");
}

std::optional<APIKey> Connector::getApiKeyFromKeychain() const {
  return readCredentialOnce<APIKey>(keychain(), KeychainAPIKey, &CredentialReads::apiKey);
}

void Connector::removeApiKeyFromKeyChain() const { (void)keychain().remove(std::string(KeychainAPIKey)); }

void Connector::saveLoginDataToKey(const std::string& login, const std::string& password) const {
  const auto store = keychain();
  (void)store.set(login, std::string(KeychainLoginKey));
  (void)store.set(password, std::string(KeychainPasswordKey));
}

std::optional<std::pair<std::string, std::string>> Connector::getLoginDataFromKeychain() const {
  const auto store = keychain();
  auto login = store.getString(std::string(KeychainLoginKey));
  if (!login) return std::nullopt;
  auto password = store.getString(std::string(KeychainPasswordKey));
  if (!password) return std::nullopt;
  return std::pair(std::move(*login), std::move(*password));
}

void Connector::removeLoginDataFromKeychain() const {
  const auto store = keychain();
  (void)store.remove(std::string(KeychainLoginKey));
  (void)store.remove(std::string(KeychainPasswordKey));
}

}  // namespace talvaren

#include "importers/ProviderConnector.hpp"

#include "api/RequestLog.hpp"
#include "api/Unsent.hpp"
#include "talvaren/platform/Console.hpp"

namespace talvaren::detail {

std::shared_ptr<platform::http::SessionManager> ProviderConnector::manager() const {
  return platform::http::SessionManager::defaultManager();
}

void ProviderConnector::verboseRequest(const std::string& url, const std::optional<Parameters>& parameters,
                                       const HTTPHeaders& headers, HTTPMethod method) const {
  if (DEBUG_MODE) printRequest(url, parameters, headers, method);
}

void ProviderConnector::sendWithHeaders(const Call& call, const HTTPHeaders& headers, ReplyHandler onReply) {
  verboseRequest(call.url, call.parameters, headers, call.method);
  const auto session = manager();
  if (!session) return completeUnsent(call);
  session->request(call.url, call.method, call.parameters, call.encoding, headers)
      ->validate()
      .responseJSON(std::move(onReply), platform::http::JSONReadingOptions::allowFragments);
}

void ProviderConnector::completeUnsent(const Call& call) { detail::completeUnsent(call.completion); }

void ProviderConnector::authorizeOnceThenRepeat(std::string_view label, std::int64_t status,
                                                std::shared_ptr<const Call> call, const Authorize& authorize,
                                                Repeat repeat) {
  console::print(std::string(label) + " need authorization !!!");
  if (authorizationWasNeeded()) return call->complete(genericApiError(status), std::nullopt);
  setAuthorizationWasNeeded(true);
  authorize(consumerKey(), consumerSecret(), [call = std::move(call), repeat = std::move(repeat)](bool granted) {
    if (!granted) return call->complete(std::nullopt, std::nullopt);
    repeat(*call);
  });
}

}  // namespace talvaren::detail

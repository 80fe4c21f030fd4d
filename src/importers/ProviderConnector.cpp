#include "importers/ProviderConnector.hpp"

#include "api/RequestLog.hpp"
#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren::detail {

std::shared_ptr<platform::http::SessionManager> ProviderConnector::manager() const {
  return platform::http::SessionManager::defaultManager();
}

void ProviderConnector::verboseRequest(const std::string& url, const std::optional<Parameters>& parameters,
                                       const HTTPHeaders& headers, HTTPMethod method) const {
  if (DEBUG_MODE) printRequest(url, parameters, headers, method);
}

void ProviderConnector::Call::completeUnsent(std::shared_ptr<const Call> call) {
  platform::DispatchQueue::main().async([call = std::move(call)] {
    call->complete(platform::http::URLError::make(platform::http::URLError::unknown), std::nullopt);
  });
}

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

#include "talvaren/api/SessionManagerExtensions.hpp"

#include "talvaren/platform/Console.hpp"

namespace talvaren {

using namespace platform::http;

namespace {

Result<URLRequest> buildRequest(const SessionManager& manager, std::string_view url, HTTPMethod method,
                                const std::optional<Parameters>& parameters, ParameterEncoding encoding,
                                std::optional<HTTPHeaders>& headers, const std::optional<Bytes>& httpBody) {
  auto built = URLRequest::make(url, method, std::nullopt);
  if (built.isFailure()) return built;
  URLRequest& request = *built.value();
  // Set as URLRequest::make sets them, the values moved: the caller's headers are spent.
  if (headers) {
    for (auto& [name, value] : *headers) request.setValue(std::move(value), name);
  }
  request.setCachePolicy(URLRequestCachePolicy::reloadIgnoringLocalCacheData);
  request.setTimeoutInterval(manager.configuration().timeoutIntervalForRequest);
  if (auto error = encoding.encode(request, parameters)) return Result<URLRequest>::failure(std::move(*error));
  if (httpBody) request.setHTTPBody(*httpBody);
  return built;
}

}  // namespace

std::shared_ptr<DataRequest> requestWithoutCache(SessionManager& manager, std::string_view url, HTTPMethod method,
                                                 const std::optional<Parameters>& parameters,
                                                 ParameterEncoding encoding, std::optional<HTTPHeaders> headers,
                                                 const std::optional<Bytes>& httpBody) {
  auto built = buildRequest(manager, url, method, parameters, encoding, headers, httpBody);
  if (built.isSuccess()) return manager.request(std::move(*built.value()));
  console::print(built.error()->description());
  // The session builds the same request the same way and fails the same way (the headers have no part in
  // a failure), so it sends nothing and hands the error to the handlers, once, on the main queue.
  return manager.request(url, method, parameters, encoding, headers);
}

}  // namespace talvaren

#include "talvaren/platform/http/SessionManager.hpp"

#include "RequestCore.hpp"
#include "TransferEngine.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren::platform::http {

SessionConfiguration SessionConfiguration::defaultConfiguration() {
  SessionConfiguration configuration;
  configuration.httpAdditionalHeaders = SessionManager::defaultHTTPHeaders();
  configuration.httpCookieStorage = HTTPCookieStorage::shared();
  return configuration;
}

std::shared_ptr<SessionManager> SessionManager::defaultManager() {
  // Made once and never destroyed: its worker may still be finishing a transfer while the process exits.
  static auto* const manager = new std::shared_ptr<SessionManager>(std::make_shared<SessionManager>());
  return *manager;
}

HTTPHeaders SessionManager::defaultHTTPHeaders() { return {}; }

SessionManager::SessionManager(SessionConfiguration configuration)
    : configuration_(std::move(configuration)), engine_(std::make_shared<detail::TransferEngine>(configuration_)) {
  engine_->startWorker();
}

SessionManager::~SessionManager() { engine_->shutdown(); }

Result<URLRequest> SessionManager::build(std::string_view url, HTTPMethod method,
                                         const std::optional<Parameters>& parameters, ParameterEncoding encoding,
                                         const std::optional<HTTPHeaders>& headers) const noexcept {
  try {
    return buildOrThrow(url, method, parameters, encoding, headers);
  } catch (...) {
    return Result<URLRequest>::failure(URLError::make(URLError::unknown));
  }
}

Result<URLRequest> SessionManager::buildOrThrow(std::string_view url, HTTPMethod method,
                                                const std::optional<Parameters>& parameters, ParameterEncoding encoding,
                                                const std::optional<HTTPHeaders>& headers) const {
  auto built = URLRequest::make(url, method, headers);
  if (built.isFailure()) return built;
  URLRequest& request = *built.value();
  request.setTimeoutInterval(configuration_.timeoutIntervalForRequest);
  if (auto error = encoding.encode(request, parameters)) return Result<URLRequest>::failure(std::move(*error));
  return built;
}

template <typename RequestType>
std::shared_ptr<RequestType> SessionManager::start(Result<URLRequest> built,
                                                   std::optional<DownloadDestination> destination) {
  try {
    return startOrThrow<RequestType>(std::move(built), std::move(destination));
  } catch (...) {
    // Only an allocation failure lands here; the request still reports, once.
    auto core = std::make_shared<detail::RequestCore>(std::nullopt);
    detail::TransferOutcome outcome;
    outcome.error = URLError::make(URLError::unknown);
    core->complete(std::move(outcome));
    return std::make_shared<RequestType>(core);
  }
}

template <typename RequestType>
std::shared_ptr<RequestType> SessionManager::startOrThrow(Result<URLRequest> built,
                                                          std::optional<DownloadDestination> destination) {
  if (built.isFailure()) {
    auto core = std::make_shared<detail::RequestCore>(std::nullopt);
    detail::TransferOutcome outcome;
    outcome.error = *built.error();
    core->complete(std::move(outcome));
    return std::make_shared<RequestType>(std::move(core));
  }
  auto core = std::make_shared<detail::RequestCore>(std::move(*built.value()), configuration_.maximumBodySize);
  auto request = std::make_shared<RequestType>(core);
  engine_->submit(detail::TransferJob{0, std::move(core), std::move(destination)});
  return request;
}

std::shared_ptr<DataRequest> SessionManager::request(std::string_view url, HTTPMethod method,
                                                     const std::optional<Parameters>& parameters,
                                                     ParameterEncoding encoding,
                                                     const std::optional<HTTPHeaders>& headers) {
  return start<DataRequest>(build(url, method, parameters, encoding, headers), std::nullopt);
}

std::shared_ptr<DataRequest> SessionManager::request(URLRequest urlRequest) {
  return start<DataRequest>(Result<URLRequest>::success(std::move(urlRequest)), std::nullopt);
}

std::shared_ptr<DownloadRequest> SessionManager::download(std::string_view url, DownloadDestination destination,
                                                          HTTPMethod method,
                                                          const std::optional<Parameters>& parameters,
                                                          ParameterEncoding encoding,
                                                          const std::optional<HTTPHeaders>& headers) {
  return start<DownloadRequest>(build(url, method, parameters, encoding, headers), std::move(destination));
}

std::shared_ptr<DownloadRequest> SessionManager::download(URLRequest urlRequest, DownloadDestination destination) {
  return start<DownloadRequest>(Result<URLRequest>::success(std::move(urlRequest)), std::move(destination));
}

void SessionManager::upload(std::function<void(MultipartFormData&)> multipartFormData, std::string_view url,
                            HTTPMethod method, const std::optional<HTTPHeaders>& headers,
                            std::function<void(const Result<std::shared_ptr<DataRequest>>&)> encodingCompletion) {
  try {
    uploadOrThrow(std::move(multipartFormData), url, method, headers, std::move(encodingCompletion));
  } catch (...) {
    // Only an allocation failure lands here, before anything was queued.
  }
}

void SessionManager::uploadOrThrow(
    std::function<void(MultipartFormData&)> multipartFormData, std::string_view url, HTTPMethod method,
    const std::optional<HTTPHeaders>& headers,
    std::function<void(const Result<std::shared_ptr<DataRequest>>&)> encodingCompletion) {
  using Completion = Result<std::shared_ptr<DataRequest>>;
  auto mainQueue = DispatchQueue::main();
  auto report = [&](Completion result) {
    if (!encodingCompletion) return;
    mainQueue.async([encodingCompletion, result = std::move(result)] { encodingCompletion(result); });
  };

  MultipartFormData form;
  try {
    if (multipartFormData) multipartFormData(form);
  } catch (...) {
    return report(Completion::failure(Error::withDescription(
        HTTPRequestErrorDomain, HTTPRequestError::multipartEncodingFailed, "The multipart form could not be built.")));
  }
  auto body = form.encode();
  if (body.isFailure()) return report(Completion::failure(*body.error()));
  auto built = URLRequest::make(url, method, headers);
  if (built.isFailure()) return report(Completion::failure(*built.error()));
  URLRequest& request = *built.value();
  request.setValue(form.contentType(), "Content-Type");
  request.setHTTPBody(std::move(*body.value()));
  request.setTimeoutInterval(configuration_.timeoutIntervalForRequest);

  auto core = std::make_shared<detail::RequestCore>(std::move(request), configuration_.maximumBodySize);
  auto started = std::make_shared<DataRequest>(core);
  // The completion is queued before the transfer starts, so it runs before any report of the transfer.
  report(Completion::success(started));
  engine_->submit(detail::TransferJob{0, std::move(core), std::nullopt});
}

}  // namespace talvaren::platform::http

#include "talvaren/platform/http/Request.hpp"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>

#include "RequestCore.hpp"
#include "TransferEngine.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren::platform::http {

// MARK: Progress

double Progress::fractionCompleted() const {
  if (totalUnitCount <= 0) return 0;
  return static_cast<double>(completedUnitCount) / static_cast<double>(totalUnitCount);
}

std::string Progress::description() const {
  char text[128];
  std::snprintf(text, sizeof text, "Fraction completed: %.4f / Completed: %" PRId64 " of %" PRId64,
                fractionCompleted(), completedUnitCount, totalUnitCount);
  return text;
}

// MARK: RequestCore

namespace detail {

RequestCore::RequestCore(std::optional<URLRequest> request)
    : request_(std::move(request)), mainQueue_(DispatchQueue::main()) {}

void RequestCore::attach(std::weak_ptr<TransferEngine> engine, std::uint64_t id) {
  std::lock_guard lock(mutex_);
  engine_ = std::move(engine);
  id_ = id;
}

void RequestCore::cancel() {
  std::weak_ptr<TransferEngine> engine;
  std::uint64_t id = 0;
  {
    std::lock_guard lock(mutex_);
    if (outcome_) return;
    engine = engine_;
    id = id_;
  }
  if (auto running = engine.lock()) running->cancel(id);
}

void RequestCore::addValidation() {
  std::lock_guard lock(mutex_);
  validate_ = true;
}

bool RequestCore::validates() const {
  std::lock_guard lock(mutex_);
  return validate_;
}

void RequestCore::whenComplete(Delivery delivery) {
  std::unique_lock lock(mutex_);
  if (!outcome_) {
    waiting_.push_back(std::move(delivery));
    return;
  }
  lock.unlock();
  delivery(*outcome_);  // the outcome never changes once set
}

void RequestCore::complete(TransferOutcome outcome) {
  std::vector<Delivery> deliveries;
  {
    std::lock_guard lock(mutex_);
    if (outcome_) return;
    outcome_ = std::move(outcome);
    deliveries.swap(waiting_);
  }
  for (auto& delivery : deliveries) delivery(*outcome_);
}

bool RequestCore::isComplete() const {
  std::lock_guard lock(mutex_);
  return outcome_.has_value();
}

void RequestCore::addUploadProgressHandler(std::function<void(const Progress&)> handler) {
  if (!handler) return;
  std::lock_guard lock(mutex_);
  progressHandlers_.push_back(std::move(handler));
}

void RequestCore::reportUploadProgress(Progress progress) {
  postToMain([self = shared_from_this(), progress] {
    std::vector<std::function<void(const Progress&)>> handlers;
    {
      std::lock_guard lock(self->mutex_);
      handlers = self->progressHandlers_;
    }
    for (auto& handler : handlers) handler(progress);
  });
}

void RequestCore::postToMain(std::function<void()> work) const {
  try {
    mainQueue_.async(std::move(work));
  } catch (...) {
    // Nothing sensible is left to do when the queue cannot take more work.
  }
}

}  // namespace detail

// MARK: Reply decoding

namespace {

using detail::TransferOutcome;

std::vector<std::string> acceptableContentTypes(const std::optional<URLRequest>& request) {
  std::vector<std::string> types;
  const auto accept = request ? request->value("Accept") : std::nullopt;
  if (!accept) return {"*/*"};
  std::string_view rest = *accept;
  while (!rest.empty()) {
    const auto comma = rest.find(',');
    std::string_view item = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    item = item.substr(0, item.find(';'));
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.front()))) item.remove_prefix(1);
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.back()))) item.remove_suffix(1);
    if (item.empty()) continue;
    std::string type(item);
    for (auto& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (type == "*") type = "*/*";
    types.push_back(std::move(type));
  }
  if (types.empty()) types.push_back("*/*");
  return types;
}

bool mediaTypeMatches(const std::string& acceptable, const std::string& actual) {
  if (acceptable == "*/*" || acceptable == actual) return true;
  const auto slash = acceptable.find('/');
  if (slash == std::string::npos || acceptable.compare(slash, std::string::npos, "/*") != 0) return false;
  return actual.compare(0, slash + 1, acceptable, 0, slash + 1) == 0;
}

std::string joined(const std::vector<std::string>& items) {
  std::string text;
  for (const auto& item : items) {
    if (!text.empty()) text += ", ";
    text += item;
  }
  return text;
}

std::optional<Error> validationError(const TransferOutcome& outcome) {
  if (!outcome.response) return std::nullopt;
  const int status = outcome.response->statusCode();
  if (status < 200 || status > 299) {
    return Error::withDescription(HTTPValidationErrorDomain, status,
                                  "Response status code was unacceptable: " + std::to_string(status) + ".");
  }
  if (!outcome.data || outcome.data->empty()) return std::nullopt;
  const auto acceptable = acceptableContentTypes(outcome.request);
  const auto mime = outcome.response->mimeType();
  if (!mime) {
    for (const auto& type : acceptable) {
      if (type == "*/*") return std::nullopt;
    }
    return Error::withDescription(HTTPValidationErrorDomain, status,
                                  "Response Content-Type was missing and acceptable content types (" +
                                      joined(acceptable) + ") do not match \"*/*\".");
  }
  for (const auto& type : acceptable) {
    if (mediaTypeMatches(type, *mime)) return std::nullopt;
  }
  return Error::withDescription(HTTPValidationErrorDomain, status,
                                "Response Content-Type \"" + *mime + "\" does not match any acceptable type: " +
                                    joined(acceptable) + ".");
}

Error jsonError(const char* detail) {
  nlohmann::json info = nlohmann::json::object();
  info[Error::LocalizedDescriptionKey] = "The data couldn\u2019t be read because it isn\u2019t in the correct format.";
  info["NSDebugDescription"] = detail;
  return Error(NSCocoaErrorDomain, CocoaError::propertyListReadCorrupt, std::move(info));
}

Result<nlohmann::json> decodeJSON(const TransferOutcome& outcome, JSONReadingOptions options) {
  const bool emptyBody = !outcome.data || outcome.data->empty();
  if (emptyBody && outcome.response &&
      (outcome.response->statusCode() == 204 || outcome.response->statusCode() == 205)) {
    return Result<nlohmann::json>::success(nullptr);
  }
  if (emptyBody) return Result<nlohmann::json>::failure(jsonError("Unable to parse empty data."));
  auto value = nlohmann::json::parse(outcome.data->begin(), outcome.data->end(), nullptr, false);
  if (value.is_discarded()) return Result<nlohmann::json>::failure(jsonError("The reply body is not valid JSON."));
  if (options == JSONReadingOptions::none && !value.is_object() && !value.is_array()) {
    return Result<nlohmann::json>::failure(
        jsonError("JSON text did not start with array or object and option to allow fragments not set."));
  }
  return Result<nlohmann::json>::success(std::move(value));
}

template <typename Value>
DataResponse<Value> dataResponse(const TransferOutcome& outcome, bool validate,
                                 const std::function<Result<Value>(const TransferOutcome&)>& decode) {
  std::optional<Error> error = outcome.error;
  if (!error && validate) error = validationError(outcome);
  try {
    return DataResponse<Value>{outcome.request, outcome.response, outcome.data,
                               error ? Result<Value>::failure(*error) : decode(outcome)};
  } catch (...) {
    return DataResponse<Value>{outcome.request, outcome.response, std::nullopt,
                               Result<Value>::failure(URLError::make(URLError::unknown))};
  }
}

}  // namespace

// MARK: Requests

Request::Request(std::shared_ptr<detail::RequestCore> core) : core_(std::move(core)) {}

Request::~Request() = default;

std::optional<URLRequest> Request::request() const { return core_->request(); }

void Request::cancel() {
  try {
    core_->cancel();
  } catch (...) {
  }
}

DataRequest& DataRequest::validate() {
  core_->addValidation();
  return *this;
}

DataRequest& DataRequest::uploadProgress(std::function<void(const Progress&)> handler) {
  try {
    core_->addUploadProgressHandler(std::move(handler));
  } catch (...) {
  }
  return *this;
}

/// Registers a handler that gets the reply decoded by `decode`, validated if validation was asked for.
template <typename Value>
void addDataHandler(const std::shared_ptr<detail::RequestCore>& core,
                    std::function<void(const DataResponse<Value>&)> handler,
                    std::function<Result<Value>(const TransferOutcome&)> decode) {
  if (!handler) return;
  try {
    const bool validate = core->validates();
    core->whenComplete([core, handler = std::move(handler), decode = std::move(decode), validate](
                           const TransferOutcome& outcome) {
      auto response = dataResponse<Value>(outcome, validate, decode);
      core->postToMain([handler, response = std::move(response)] { handler(response); });
    });
  } catch (...) {
  }
}

DataRequest& DataRequest::responseJSON(std::function<void(const DataResponse<nlohmann::json>&)> handler,
                                       JSONReadingOptions options) {
  addDataHandler<nlohmann::json>(core_, std::move(handler),
                                 [options](const TransferOutcome& o) { return decodeJSON(o, options); });
  return *this;
}

DataRequest& DataRequest::responseData(std::function<void(const DataResponse<Bytes>&)> handler) {
  addDataHandler<Bytes>(core_, std::move(handler),
                        [](const TransferOutcome& o) { return Result<Bytes>::success(o.data.value_or(Bytes{})); });
  return *this;
}

DownloadRequest& DownloadRequest::responseData(std::function<void(const DownloadResponse<Bytes>&)> handler) {
  if (!handler) return *this;
  try {
    core_->whenComplete([core = core_, handler = std::move(handler)](const TransferOutcome& outcome) {
      DownloadResponse<Bytes> response{outcome.request, outcome.response, outcome.destination,
                                       Result<Bytes>::success({})};
      if (outcome.error) {
        response.result = Result<Bytes>::failure(*outcome.error);
      } else if (outcome.destination) {
        std::ifstream file(*outcome.destination, std::ios::binary);
        Bytes bytes;
        if (file) bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        if (!file && !file.eof()) {
          response.result = Result<Bytes>::failure(Error::withDescription(
              NSCocoaErrorDomain, CocoaError::fileReadUnknown, "The downloaded file couldn\u2019t be read."));
        } else {
          response.result = Result<Bytes>::success(std::move(bytes));
        }
      }
      core->postToMain([handler, response = std::move(response)] { handler(response); });
    });
  } catch (...) {
  }
  return *this;
}

}  // namespace talvaren::platform::http

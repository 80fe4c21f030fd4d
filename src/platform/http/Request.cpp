#include "talvaren/platform/http/Request.hpp"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>

#include "ReplyReading.hpp"
#include "RequestCore.hpp"
#include "TransferEngine.hpp"
#include "talvaren/platform/Json.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren::platform::http {

// MARK: Progress

double Progress::fractionCompleted() const {
  if (totalUnitCount <= 0) return 0;
  return static_cast<double>(completedUnitCount) / static_cast<double>(totalUnitCount);
}

std::string Progress::description() const {
  char text[128];
  std::snprintf(text, sizeof text, "Fraction completed: %.4f / Completed: %" PRId64 " of %" PRId64, fractionCompleted(),
                completedUnitCount, totalUnitCount);
  return text;
}

// MARK: RequestCore

namespace detail {

Error statusError(int status) {
  return Error::withDescription(HTTPValidationErrorDomain, status,
                                "Response status code was unacceptable: " + std::to_string(status) + ".");
}

RequestCore::RequestCore(std::optional<URLRequest> request, std::size_t maximumBodySize)
    : request_(std::move(request)), maximumBodySize_(maximumBodySize), mainQueue_(DispatchQueue::main()) {}

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
    // Marked first, so a transfer that has not begun yet (an upload's completion may cancel it before it
    // is even handed to the engine) never begins.
    cancelled_ = true;
    engine = engine_;
    id = id_;
  }
  if (auto running = engine.lock()) running->cancel(id);
}

bool RequestCore::isCancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
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
  for (auto& delivery : deliveries) {
    try {
      delivery(*outcome_);
    } catch (...) {
      // Only an allocation failure lands here; the transfer thread must go on.
    }
  }
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

std::string_view trimmedBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

/// Calls `visit` with each media type that an "Accept" value lists, without parameters ("*" as "*/*");
/// stops early when `visit` returns true, and returns whether it did.
template <typename Visit>
bool forEachAcceptedType(std::string_view accept, Visit visit) {
  while (!accept.empty()) {
    const auto comma = accept.find(',');
    std::string_view item = accept.substr(0, comma);
    accept = comma == std::string_view::npos ? std::string_view() : accept.substr(comma + 1);
    item = trimmedBlanks(item.substr(0, item.find(';')));
    if (item.empty()) continue;
    if (visit(item == "*" ? std::string_view("*/*") : item)) return true;
  }
  return false;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) { return headerNameEquals(a, b); }

/// True when the media type `acceptable` ("type/subtype", "type/*" or "*/*") covers `actual` (lower case).
bool mediaTypeMatches(std::string_view acceptable, std::string_view actual) {
  if (acceptable == "*/*" || equalsIgnoringCase(acceptable, actual)) return true;
  const auto slash = acceptable.find('/');
  if (slash == std::string_view::npos || acceptable.substr(slash) != "/*") return false;
  return actual.size() > slash && equalsIgnoringCase(acceptable.substr(0, slash + 1), actual.substr(0, slash + 1));
}

/// The "Accept" value of `request`, if it has one that names any type.
std::optional<std::string_view> acceptValue(const std::optional<URLRequest>& request) {
  if (!request) return std::nullopt;
  for (const auto& [name, value] : request->headerFields()) {
    if (!headerNameEquals(name, "Accept")) continue;
    if (!forEachAcceptedType(value, [](std::string_view) { return true; })) return std::nullopt;
    return std::string_view(value);
  }
  return std::nullopt;
}

/// The accepted types as a list for error texts ("application/json, text/*").
std::string acceptedList(std::string_view accept) {
  std::string text;
  forEachAcceptedType(accept, [&](std::string_view type) {
    if (!text.empty()) text += ", ";
    text += type;
    return false;
  });
  return text;
}

std::optional<Error> validationError(const std::optional<URLRequest>& request, const TransferOutcome& outcome) {
  if (!outcome.response) return std::nullopt;
  const int status = outcome.response->statusCode();
  if (status < 200 || status > 299) return detail::statusError(status);
  // An empty body, or a request without "Accept", takes any content type.
  if (!outcome.data || outcome.data->empty()) return std::nullopt;
  const auto accept = acceptValue(request);
  if (!accept) return std::nullopt;
  const auto mime = outcome.response->mimeType();
  if (!mime) {
    if (forEachAcceptedType(*accept, [](std::string_view type) { return type == "*/*"; })) return std::nullopt;
    return Error::withDescription(HTTPValidationErrorDomain, status,
                                  "Response Content-Type was missing and acceptable content types (" +
                                      acceptedList(*accept) + ") do not match \"*/*\".");
  }
  if (forEachAcceptedType(*accept, [&](std::string_view type) { return mediaTypeMatches(type, *mime); })) {
    return std::nullopt;
  }
  return Error::withDescription(
      HTTPValidationErrorDomain, status,
      "Response Content-Type \"" + *mime + "\" does not match any acceptable type: " + acceptedList(*accept) + ".");
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
  // The kit's one depth-capped parse: a reply nested deeper than the cap is refused before it is built, so
  // nothing that later copies or prints the value can run out of stack.
  auto parsed = Json::parse(
      std::string_view(reinterpret_cast<const char*>(outcome.data->data()), outcome.data->size()));
  if (!parsed) return Result<nlohmann::json>::failure(jsonError("The reply body is not valid JSON."));
  auto& value = *parsed;
  if (options == JSONReadingOptions::none && !value.is_object() && !value.is_array()) {
    return Result<nlohmann::json>::failure(
        jsonError("JSON text did not start with array or object and option to allow fragments not set."));
  }
  return Result<nlohmann::json>::success(std::move(value));
}

template <typename Value, typename Decode>
DataResponse<Value> dataResponse(const std::optional<URLRequest>& request, const TransferOutcome& outcome,
                                 bool validate, const Decode& decode) {
  std::optional<Error> error = outcome.error;
  if (!error && validate) error = validationError(request, outcome);
  try {
    return DataResponse<Value>{request, outcome.response, outcome.data,
                               error ? Result<Value>::failure(std::move(*error)) : decode(outcome)};
  } catch (...) {
    return DataResponse<Value>{request, outcome.response, std::nullopt,
                               Result<Value>::failure(URLError::make(URLError::unknown))};
  }
}

}  // namespace

DataResponse<nlohmann::json> detail::jsonResponse(const std::optional<URLRequest>& request,
                                                  const TransferOutcome& outcome, bool validate,
                                                  JSONReadingOptions options) {
  return dataResponse<nlohmann::json>(request, outcome, validate,
                                      [options](const TransferOutcome& o) { return decodeJSON(o, options); });
}

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
/// The reply is decoded where the transfer completes, off the main queue; only the handler runs there.
/// The handler gets the reply as an rvalue, its own to take apart (a handler of `const DataResponse&` reads it).
template <typename Value, typename Handler, typename Decode>
void addDataHandler(const std::shared_ptr<detail::RequestCore>& core, Handler handler, Decode decode) {
  if (!handler) return;
  try {
    const bool validate = core->validates();
    core->whenComplete([core, handler = std::move(handler), decode, validate](const TransferOutcome& outcome) mutable {
      core->postToMain([handler = std::move(handler),
                        response = dataResponse<Value>(core->request(), outcome, validate, decode)]() mutable {
        handler(std::move(response));
      });
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

DataRequest& DataRequest::takeResponseJSON(std::function<void(DataResponse<nlohmann::json>&&)> handler,
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

namespace {

/// The bytes of the downloaded file at `path`, unless it is larger than `maximumSize`.
Result<Bytes> readDownloadedFile(const std::string& path, std::size_t maximumSize) {
  auto unreadable = [] {
    return Result<Bytes>::failure(Error::withDescription(NSCocoaErrorDomain, CocoaError::fileReadUnknown,
                                                         "The downloaded file couldn\u2019t be read."));
  };
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return unreadable();
  const auto size = static_cast<std::streamoff>(file.tellg());
  if (size < 0) return unreadable();
  if (static_cast<std::uint64_t>(size) > maximumSize) {
    return Result<Bytes>::failure(URLError::make(URLError::dataLengthExceedsMaximum, path));
  }
  Bytes bytes(static_cast<std::size_t>(size));
  file.seekg(0);
  if (size > 0 && !file.read(reinterpret_cast<char*>(bytes.data()), size)) return unreadable();
  return Result<Bytes>::success(std::move(bytes));
}

}  // namespace

/// Registers a download handler that gets the transfer's error or, after a completed transfer, what `read`
/// makes of the outcome.
template <typename Value, typename Read>
void addDownloadHandler(const std::shared_ptr<detail::RequestCore>& core,
                        std::function<void(const DownloadResponse<Value>&)> handler, Read read) {
  if (!handler) return;
  try {
    core->whenComplete([core, handler = std::move(handler), read](const TransferOutcome& outcome) {
      DownloadResponse<Value> response{core->request(), outcome.response, outcome.destination,
                                       Result<Value>::success({})};
      if (outcome.error) {
        response.result = Result<Value>::failure(*outcome.error);
      } else if (outcome.destination) {
        response.result = read(*core, outcome);
      }
      core->postToMain([handler, response = std::move(response)] { handler(response); });
    });
  } catch (...) {
  }
}

DownloadRequest& DownloadRequest::responseData(std::function<void(const DownloadResponse<Bytes>&)> handler) {
  addDownloadHandler<Bytes>(core_, std::move(handler), [](const detail::RequestCore& core, const TransferOutcome& o) {
    return readDownloadedFile(*o.destination, core.maximumBodySize());
  });
  return *this;
}

DownloadRequest& DownloadRequest::responseFile(std::function<void(const DownloadResponse<DownloadedFile>&)> handler) {
  addDownloadHandler<DownloadedFile>(core_, std::move(handler), [](const detail::RequestCore&, const TransferOutcome& o) {
    return Result<DownloadedFile>::success(o.file.value_or(DownloadedFile{}));
  });
  return *this;
}

}  // namespace talvaren::platform::http

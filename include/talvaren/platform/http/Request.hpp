#pragma once
// Requests in flight and their response handlers.
//
// A request starts as soon as the session makes it; handlers may be added at any time, before or after
// the reply arrives. Every handler added runs exactly once, on the main queue (the one current when the
// request was made), whatever happens: reply, refusal, time-out, lost connection, cancellation, or a
// session that ends first. Upload progress reports run on the main queue too, before the handlers.
//
//   manager->request(url, HTTPMethod::GET)
//       ->validate()
//       .responseJSON([](const DataResponse<nlohmann::json>& reply) { ... });

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <nlohmann/json.hpp>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/http/Response.hpp"
#include "talvaren/platform/http/URLRequest.hpp"

namespace talvaren::platform::http {

namespace detail {
class RequestCore;
}

class Request {
 public:
  explicit Request(std::shared_ptr<detail::RequestCore> core);
  virtual ~Request();
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  /// The request as it is sent; none when it could not be built (its handlers then get the error).
  std::optional<URLRequest> request() const;
  /// Stops the transfer; unless it has finished already, handlers get ("NSURLErrorDomain", -999).
  void cancel();

 protected:
  std::shared_ptr<detail::RequestCore> core_;
};

class DataRequest : public Request {
 public:
  using Request::Request;

  /// Makes the handlers added after this call fail, with (HTTPValidationErrorDomain, status), on a status
  /// outside 200...299 or on a reply content type that the request's "Accept" header does not allow
  /// (no "Accept" allows any; an empty body passes). The reply stays readable in the handlers.
  DataRequest& validate();
  /// Reports how much of the request body has been sent, on the main queue, whenever it grows.
  DataRequest& uploadProgress(std::function<void(const Progress&)> handler);
  /// Decodes the body as JSON (see URLError.hpp for the errors); an empty body on 204 or 205 is JSON null.
  DataRequest& responseJSON(std::function<void(const DataResponse<nlohmann::json>&)> handler,
                            JSONReadingOptions options = JSONReadingOptions::allowFragments);
  /// `responseJSON` for a handler that owns the reply it gets: it may move the parsed value out instead of
  /// copying it (each handler gets a reply of its own).
  DataRequest& takeResponseJSON(std::function<void(DataResponse<nlohmann::json>&&)> handler,
                                JSONReadingOptions options = JSONReadingOptions::allowFragments);
  /// The body bytes as they arrived.
  DataRequest& responseData(std::function<void(const DataResponse<Bytes>&)> handler);
};

class DownloadRequest : public Request {
 public:
  using Request::Request;

  /// The saved file's bytes. An error page is saved like any other body, unless the destination's options
  /// ask for a success status (DownloadOptions::requireSuccessStatus).
  /// A saved file larger than the session's maximum body size is not read: ("NSURLErrorDomain", -1103).
  DownloadRequest& responseData(std::function<void(const DownloadResponse<Bytes>&)> handler);
  /// The saved file's size and, when asked for, its digest, without reading it back: memory stays flat
  /// whatever the file's size.
  DownloadRequest& responseFile(std::function<void(const DownloadResponse<DownloadedFile>&)> handler);
};

}  // namespace talvaren::platform::http

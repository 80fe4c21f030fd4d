#include "talvaren/platform/oauth/OAuthSwift.hpp"

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/TextEncoding.hpp"
#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/http/SessionManager.hpp"

namespace talvaren::platform::oauth {

namespace {

struct Waiting {
  std::mutex mutex;
  std::vector<std::shared_ptr<OAuthSwift>> flows;
};

Waiting& waiting() {
  static auto& w = *new Waiting();
  return w;
}

void onMain(std::function<void()> work) {
  if (DispatchQueue::isMainQueueCurrent()) {
    work();
  } else {
    DispatchQueue::main().async(std::move(work));
  }
}

/// The characters a form-encoded reply may hold.
bool isFormCharacter(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("-._~%+=&!$'()*,;:@/?").find(c) != std::string_view::npos;
}

}  // namespace

std::string OAuthSwiftError::localizedDescription() const {
  if (!underlying) return message;
  return message + ": " + underlying->localizedDescription();
}

OAuthSwift::OAuthSwift(std::string consumerKey, std::string consumerSecret)
    : client_(std::move(consumerKey), std::move(consumerSecret)) {}

OAuthSwift::~OAuthSwift() = default;

bool OAuthSwift::handle(const std::string& url) {
  const auto parsed = RedirectURL::parse(url);
  if (!parsed) return false;
  std::vector<std::shared_ptr<OAuthSwift>> flows;
  {
    std::lock_guard lock(waiting().mutex);
    flows = waiting().flows;
  }
  // The flow that started last is asked first.
  for (auto it = flows.rbegin(); it != flows.rend(); ++it) {
    if ((*it)->offer(*parsed)) return true;
  }
  return false;
}

bool OAuthSwift::offer(const RedirectURL& url) {
  if (!waiting_ || !url.sameEndpoint(callback_)) return false;
  const auto items = url.items();
  if (!items) return false;
  return takeRedirect(*items);
}

void OAuthSwift::cancel() { finish(OAuthSwiftError{OAuthSwiftError::Code::cancelled, "cancelled"}, {}); }

bool OAuthSwift::begin(const std::string& callbackURL, CompletionHandler completion) {
  finish(OAuthSwiftError{OAuthSwiftError::Code::cancelled, "replaced by a new authorisation"}, {});
  completion_ = completion ? std::move(completion) : [](std::optional<OAuthSwiftError>, std::optional<TokenSuccess>) {};
  keepAlive_ = weak_from_this().lock();
  if (!keepAlive_) {
    finish(OAuthSwiftError{OAuthSwiftError::Code::configurationError, "the client is not held by a shared pointer"},
           {});
    return false;
  }
  const auto callback = RedirectURL::parse(callbackURL);
  if (!callback || !http::URL::fromString(callbackURL)) {
    finish(OAuthSwiftError{OAuthSwiftError::Code::configurationError, "the callback is no URL"}, {});
    return false;
  }
  callback_ = *callback;
  return true;
}

void OAuthSwift::awaitRedirect(const std::string& url) {
  auto handler = authorizeURLHandler;
  if (!handler) {
    finish(OAuthSwiftError{OAuthSwiftError::Code::configurationError, "no URL handler"}, {});
    return;
  }
  waiting_ = true;
  {
    std::lock_guard lock(waiting().mutex);
    waiting().flows.push_back(shared_from_this());
  }
  handler->observeDismissal([weak = weak_from_this(), flow = flow_] {
    onMain([weak, flow] {
      auto self = weak.lock();
      if (self && self->flow_ == flow && self->waiting_) {
        self->finish(OAuthSwiftError{OAuthSwiftError::Code::cancelled, "the authorisation page was closed"}, {});
      }
    });
  });
  handler->handle(url);
}

void OAuthSwift::stopWaiting() {
  if (!waiting_) return;
  waiting_ = false;
  std::lock_guard lock(waiting().mutex);
  std::erase_if(waiting().flows, [this](const auto& flow) { return flow.get() == this; });
}

void OAuthSwift::finish(std::optional<OAuthSwiftError> error, std::optional<TokenSuccess> success) {
  if (!completion_) return;
  auto completion = std::exchange(completion_, nullptr);
  ++flow_;
  stopWaiting();
  if (auto request = std::exchange(request_, nullptr)) request->cancel();
  // The page is no longer needed; letting go of it also breaks the cycle through a screen that holds
  // the client's owner.
  if (auto handler = std::exchange(authorizeURLHandler, nullptr)) handler->flowDidEnd();
  auto keepAlive = std::exchange(keepAlive_, nullptr);
  onMain([completion = std::move(completion), error = std::move(error), success = std::move(success)] {
    completion(error, success);
  });
}

void OAuthSwift::postTokenRequest(const std::string& url, const std::string& authorization,
                                  const http::HTTPHeaders& headers,
                                  std::function<void(const http::DataResponse<Bytes>&)> handler) {
  auto built = http::URLRequest::make(url, http::HTTPMethod::POST, headers);
  if (built.isFailure()) {
    finish(OAuthSwiftError{OAuthSwiftError::Code::configurationError, "a token URL is no URL"}, {});
    return;
  }
  auto request = std::move(*built.value());
  request.setValue(authorization, "Authorization");
  request.setHTTPBody(Bytes{});
  request_ = http::SessionManager::defaultManager()->request(std::move(request));
  request_->responseData(
      [weak = weak_from_this(), flow = flow_, handler = std::move(handler)](const http::DataResponse<Bytes>& reply) {
        auto self = weak.lock();
        if (!self || self->flow_ != flow || !self->completion_) return;
        self->request_.reset();
        handler(reply);
      });
}

std::optional<ParameterList> OAuthSwift::readTokenReply(const http::DataResponse<Bytes>& reply,
                                                        OAuthSwiftError& error) {
  if (!reply.response) {
    error = {OAuthSwiftError::Code::requestError, "the token request failed", std::nullopt,
             reply.result.error() ? std::optional<Error>(*reply.result.error()) : std::nullopt};
    return std::nullopt;
  }
  const int status = reply.response->statusCode();
  if (status < 200 || status > 299) {
    error = {OAuthSwiftError::Code::requestError,
             "the provider refused the token request (status " + std::to_string(status) + ")", status, std::nullopt};
    return std::nullopt;
  }
  const Bytes empty;
  const Bytes& data = reply.data ? *reply.data : empty;
  if (data.size() > maximumReplySize) {
    error = {OAuthSwiftError::Code::invalidTokenReply, "the token reply is too large", status, std::nullopt};
    return std::nullopt;
  }
  auto items = parseTokenReply(std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  if (!items) {
    error = {OAuthSwiftError::Code::invalidTokenReply, "the token reply holds no token and secret", status,
             std::nullopt};
  }
  return items;
}

std::optional<ParameterList> OAuthSwift::parseTokenReply(std::string_view text) {
  if (text.size() > maximumReplySize) return std::nullopt;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.remove_suffix(1);
  if (!std::all_of(text.begin(), text.end(), isFormCharacter)) return std::nullopt;
  auto items = decodeForm(text);
  if (!items) return std::nullopt;
  for (const auto& [name, value] : *items) {
    if (!detail::isValidUtf8(name) || !detail::isValidUtf8(value)) return std::nullopt;
  }
  const auto token = firstValue(*items, "oauth_token");
  if (!token || token->empty() || !firstValue(*items, "oauth_token_secret")) return std::nullopt;
  return items;
}

}  // namespace talvaren::platform::oauth

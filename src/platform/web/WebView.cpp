#include "talvaren/platform/web/WebView.hpp"

#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/URIReference.hpp"
#include "talvaren/platform/http/SessionManager.hpp"
#include "talvaren/platform/http/URLError.hpp"

namespace talvaren::platform::ui {

namespace {

std::shared_ptr<http::SessionManager> pageSession() {
  static const auto& session = *new auto([] {
    auto configuration = http::SessionConfiguration::defaultConfiguration();
    configuration.httpCookieStorage = std::make_shared<http::HTTPCookieStorage>();
    return std::make_shared<http::SessionManager>(configuration);
  }());
  return session;
}

std::string removeDotSegments(std::string_view input) {
  std::string output;
  while (!input.empty()) {
    if (input.substr(0, 3) == "../") {
      input.remove_prefix(3);
    } else if (input.substr(0, 2) == "./") {
      input.remove_prefix(2);
    } else if (input.substr(0, 3) == "/./") {
      input.remove_prefix(2);
    } else if (input == "/.") {
      input = "/";
    } else if (input.substr(0, 4) == "/../" || input == "/..") {
      input = input.size() == 3 ? std::string_view("/") : input.substr(3);
      const auto last = output.rfind('/');
      output.erase(last == std::string::npos ? 0 : last);
    } else if (input == "." || input == "..") {
      input = {};
    } else {
      const auto next = input.find('/', 1);
      const auto segment = input.substr(0, next);
      output.append(segment);
      input.remove_prefix(segment.size());
    }
  }
  return output;
}

}  // namespace

std::optional<std::string> resolveURL(std::string_view base, std::string_view reference) {
  const auto b = URIReference::split(base);
  const auto r = URIReference::split(reference);
  URIReference t;
  if (r.scheme) {
    t = r;
    t.path = removeDotSegments(r.path);
  } else {
    if (!b.scheme) return std::nullopt;
    t.scheme = b.scheme;
    if (r.authority) {
      t.authority = r.authority;
      t.path = removeDotSegments(r.path);
      t.query = r.query;
    } else {
      t.authority = b.authority;
      if (r.path.empty()) {
        t.path = b.path;
        t.query = r.query ? r.query : b.query;
      } else {
        if (r.path.front() == '/') {
          t.path = removeDotSegments(r.path);
        } else {
          std::string merged;
          if (b.authority && b.path.empty()) {
            merged = "/" + r.path;
          } else {
            const auto last = b.path.rfind('/');
            merged = (last == std::string::npos ? std::string() : b.path.substr(0, last + 1)) + r.path;
          }
          t.path = removeDotSegments(merged);
        }
        t.query = r.query;
      }
    }
    t.fragment = r.fragment;
  }
  auto out = t.text();
  if (!http::URL::fromString(out)) return std::nullopt;
  return out;
}

struct WebView::Loading {
  std::shared_ptr<http::DataRequest> transfer;
  int redirects = 0;
};

void WebView::loadRequest(const http::URLRequest& request) { start(request, NavigationType::other, 0); }

void WebView::navigate(std::string_view url, NavigationType type) {
  std::optional<std::string> absolute;
  if (request_) absolute = resolveURL(request_->url().absoluteString(), url);
  if (!absolute && http::URL::fromString(url)) absolute = std::string(url);
  auto parsed = absolute ? http::URL::fromString(*absolute) : std::nullopt;
  if (!parsed) {
    stopLoading();
    fail(http::URLError::make(http::URLError::badURL, std::string(url)));
    return;
  }
  start(http::URLRequest(*parsed), type, 0);
}

void WebView::stopLoading() {
  if (!loading_) return;
  auto loading = std::move(loading_);
  loading_.reset();
  if (loading->transfer) loading->transfer->cancel();
}

void WebView::start(http::URLRequest request, NavigationType type, int redirects) {
  // The delegate may release this view (its screen goes away): keep it until the call is over.
  auto self = std::static_pointer_cast<WebView>(shared_from_this());
  if (auto delegate = delegate_.lock(); delegate && !delegate->webViewShouldStartLoad(*this, request, type)) {
    return;
  }
  stopLoading();
  const auto& scheme = request.url().scheme();
  if (scheme != "http" && scheme != "https") {
    fail(http::URLError::make(http::URLError::unsupportedURL, request.url().absoluteString()));
    return;
  }
  request_ = request;
  auto loading = std::make_shared<Loading>();
  loading->redirects = redirects;
  loading_ = loading;
  if (auto delegate = delegate_.lock()) delegate->webViewDidStartLoad(*this);
  if (loading_ != loading) return;  // the delegate started another load or stopped this one
  request.setFollowsRedirects(false);
  // Sent from the next main-queue turn: a load that another load or a stop replaces in this turn (a screen
  // that loads its page on appearing and again when handed it) never reaches the network.
  std::weak_ptr<WebView> weak = self;
  DispatchQueue::main().async([weak, loading, request = std::move(request)]() mutable {
    auto view = weak.lock();
    if (!view || view->loading_ != loading) return;
    loading->transfer = pageSession()->request(std::move(request));
    loading->transfer->responseData([weak, loading](const http::DataResponse<Bytes>& reply) {
      if (auto view = weak.lock()) view->received(loading, reply);
    });
  });
}

void WebView::received(const std::shared_ptr<Loading>& loading, const http::DataResponse<Bytes>& reply) {
  if (loading_ != loading) return;  // stopped, or replaced by a newer load
  auto self = std::static_pointer_cast<WebView>(shared_from_this());
  if (reply.result.isFailure()) {
    loading_.reset();
    fail(*reply.result.error());
    return;
  }
  const auto& response = *reply.response;
  const int status = response.statusCode();
  const auto location = response.value("Location");
  if (status >= 300 && status < 400 && location) {
    loading_.reset();
    const auto target = resolveURL(response.url().absoluteString(), *location);
    auto url = target ? http::URL::fromString(*target) : std::nullopt;
    if (!url) return fail(http::URLError::make(http::URLError::badURL, *location));
    if (loading->redirects >= maximumRedirects) {
      return fail(http::URLError::make(http::URLError::httpTooManyRedirects, url->absoluteString()));
    }
    http::URLRequest next(*url);
    if ((status == 307 || status == 308) && reply.request) {
      next = *reply.request;
      next.setURL(*url);
    }
    start(std::move(next), NavigationType::other, loading->redirects + 1);
    return;
  }
  loading_.reset();
  page_ = Page{response.url(), status, response.mimeType(), reply.data.value_or(Bytes{})};
  pageRequest_ = request_;
  if (auto delegate = delegate_.lock()) delegate->webViewDidFinishLoad(*this);
}

void WebView::fail(const Error& error) {
  request_ = pageRequest_;
  if (auto delegate = delegate_.lock()) delegate->webViewDidFailLoad(*this, error);
}

}  // namespace talvaren::platform::ui

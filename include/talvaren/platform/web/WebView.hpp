#pragma once
// A headless web view. It fetches http and https pages through the kit's HTTP layer (a session of its
// own, with its own cookies) and shows nothing: hosts and tests read the page and drive the view as a
// user would, by loading a request, following a link (`navigate`) or stopping.
//
// Before every load, the first and each redirect alike, the delegate is asked whether it may start; a
// 3xx reply with a "Location" becomes a new load of that address (a GET, except after 307 and 308),
// asked about again. A URL of any other scheme is offered to the delegate and then fails to load with
// ("NSURLErrorDomain", -1002). A new load stops the one in progress, whose reply is then dropped.
// Used on the main thread; the delegate (held weakly) is called there.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "talvaren/platform/Error.hpp"
#include "talvaren/platform/http/Request.hpp"
#include "talvaren/platform/http/URLRequest.hpp"
#include "talvaren/platform/ui/View.hpp"

namespace talvaren::platform::ui {

class WebView;

enum class NavigationType { linkClicked, formSubmitted, backForward, reload, formResubmitted, other };

class WebViewDelegate {
 public:
  virtual ~WebViewDelegate() = default;
  /// Asked before each load; false stops that load before anything is sent.
  virtual bool webViewShouldStartLoad(WebView& webView, const http::URLRequest& request, NavigationType type) {
    (void)webView, (void)request, (void)type;
    return true;
  }
  virtual void webViewDidStartLoad(WebView& webView) { (void)webView; }
  virtual void webViewDidFinishLoad(WebView& webView) { (void)webView; }
  virtual void webViewDidFailLoad(WebView& webView, const Error& error) { (void)webView, (void)error; }
};

class WebView : public View {
 public:
  /// A page as it arrived.
  struct Page {
    http::URL url;
    int statusCode = 0;
    std::optional<std::string> mimeType;
    Bytes body;
  };

  /// Redirects followed in one load at most; one more fails with ("NSURLErrorDomain", -1007).
  static constexpr int maximumRedirects = 16;

  using View::View;

  std::shared_ptr<WebViewDelegate> delegate() const { return delegate_.lock(); }
  void setDelegate(const std::shared_ptr<WebViewDelegate>& delegate) { delegate_ = delegate; }
  bool scalesPageToFit() const { return scalesPageToFit_; }
  void setScalesPageToFit(bool scales) { scalesPageToFit_ = scales; }

  /// Loads `request` (navigation type "other").
  void loadRequest(const http::URLRequest& request);
  /// A user's tap on a link to `url` (an absolute URL, or one relative to the current page); a text that
  /// is no URL fails the load with ("NSURLErrorDomain", -1000) without asking the delegate.
  void navigate(std::string_view url, NavigationType type = NavigationType::linkClicked);
  /// Stops the load in progress; its reply is dropped and no delegate call follows.
  void stopLoading();

  bool isLoading() const { return loading_ != nullptr; }
  /// The request being loaded, else that of the page shown (links resolve against it).
  std::optional<http::URLRequest> request() const { return request_; }
  /// The page shown: the last load that finished.
  const std::optional<Page>& page() const { return page_; }

 private:
  struct Loading;
  void start(http::URLRequest request, NavigationType type, int redirects);
  void received(const std::shared_ptr<Loading>& loading, const http::DataResponse<Bytes>& reply);
  void fail(const Error& error);

  std::weak_ptr<WebViewDelegate> delegate_;
  bool scalesPageToFit_ = false;
  std::optional<http::URLRequest> request_;
  std::optional<http::URLRequest> pageRequest_;
  std::optional<Page> page_;
  std::shared_ptr<Loading> loading_;
};

/// `reference` resolved against `base` (RFC 3986 section 5.2); none when the result is no URL.
std::optional<std::string> resolveURL(std::string_view base, std::string_view reference);

}  // namespace talvaren::platform::ui

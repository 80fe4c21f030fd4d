#include "importers/APIViewController.hpp"

#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/Redaction.hpp"
#include "talvaren/platform/oauth/OAuthSwift.hpp"
#include "talvaren/platform/ui/StatusBar.hpp"

namespace talvaren {

using platform::ui::Button;
using platform::ui::Color;
using platform::ui::ControlEvent;
using platform::ui::ControlState;

namespace {
constexpr std::string_view callbackScheme = "talvarenmobile";
}

APIViewController::APIViewController()
    : webView(std::make_shared<platform::ui::WebView>()), cancelButton(std::make_shared<Button>()) {}

void APIViewController::handle(const std::string& url) {
  console::print("APIViewController handle url = " + redact::url(url));
  targetURL = url;
  OAuthWebViewController::handle(url);
  loadAddressURL();
}

void APIViewController::loadAddressURL() {
  if (!targetURL) return;
  auto request = platform::http::URLRequest::make(*targetURL);
  if (request.isFailure()) return;
  request.value()->setCachePolicy(platform::http::URLRequestCachePolicy::useProtocolCachePolicy);
  request.value()->setTimeoutInterval(60);
  webView->loadRequest(*request.value());
}

void APIViewController::viewDidLoad() { view()->setBackgroundColor(Color::black()); }

void APIViewController::viewWillAppear(bool animated) {
  OAuthWebViewController::viewWillAppear(animated);
  const double statusBarHeight = platform::ui::StatusBar::height();
  const auto root = view();
  const auto bounds = root->bounds();

  cancelButton->setFrame({0, statusBarHeight, 80, 40});
  cancelButton->setTitle("Cancel", ControlState::normal);
  cancelButton->addTarget(std::static_pointer_cast<APIViewController>(shared_from_this()),
                          &APIViewController::handleCancelButtonTapped, ControlEvent::touchUpInside);
  root->addSubview(cancelButton);

  webView->setFrame({bounds.x, statusBarHeight + 40, bounds.width, bounds.height});
  webView->setScalesPageToFit(true);
  webView->setDelegate(std::static_pointer_cast<APIViewController>(shared_from_this()));
  root->addSubview(webView);

  loadAddressURL();
}

void APIViewController::handleCancelButtonTapped(Button& sender) {
  (void)sender;
  if (apiManager) apiManager->disableApiConnection();
  console::print("APIViewController handleCancelButtonTapped");
  dismissWebViewController();
}

bool APIViewController::webViewShouldStartLoad(platform::ui::WebView& view, const platform::http::URLRequest& request,
                                               platform::ui::NavigationType type) {
  (void)view, (void)type;
  // The scheme as written: a callback in another letter case is not ours.
  const auto& text = request.url().absoluteString();
  const auto colon = text.find(':');
  if (colon != std::string::npos && std::string_view(text).substr(0, colon) == callbackScheme) {
    // Hold this screen: dismissing may release the last other reference to it.
    auto self = shared_from_this();
    dismissWebViewController();
    platform::oauth::OAuthSwift::handle(text);
  }
  return true;
}

}  // namespace talvaren

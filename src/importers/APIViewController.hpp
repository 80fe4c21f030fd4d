#pragma once
// Internal: the authorisation screen. It shows the provider's page in a full-screen web view below a
// Cancel button, watches every load for the kit's callback scheme and hands that redirect to the OAuth
// flow; Cancel throws its manager's switch and takes the screen away.

#include <memory>
#include <optional>
#include <string>

#include "importers/APIManager.hpp"
#include "talvaren/platform/oauth/OAuthWebViewController.hpp"
#include "talvaren/platform/ui/Button.hpp"
#include "talvaren/platform/web/WebView.hpp"

namespace talvaren {

class APIViewController : public platform::oauth::OAuthWebViewController, public platform::ui::WebViewDelegate {
 public:
  APIViewController();

  std::optional<std::string> targetURL;
  const std::shared_ptr<platform::ui::WebView> webView;
  const std::shared_ptr<platform::ui::Button> cancelButton;
  std::shared_ptr<APIManager> apiManager;

  void setApiManager(std::shared_ptr<APIManager> manager) { apiManager = std::move(manager); }

  void handle(const std::string& url) override;
  /// Loads `targetURL` into the web view (nothing when it is not set).
  void loadAddressURL();
  void handleCancelButtonTapped(platform::ui::Button& sender);

  bool webViewShouldStartLoad(platform::ui::WebView& webView, const platform::http::URLRequest& request,
                              platform::ui::NavigationType type) override;

 protected:
  void viewDidLoad() override;
  void viewWillAppear(bool animated) override;
};

}  // namespace talvaren

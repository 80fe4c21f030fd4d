#pragma once
// The base of screens that show an authorisation page: `handle` presents the screen full screen over
// whatever the application shows on top, `dismissWebViewController` takes it away. When the screen goes
// away (by that call or any other dismissal) the flow it serves hears of it on the next turn of the main
// queue, so a redirect handed to `OAuthSwift::handle` in the same turn as the dismissal wins, and a
// dismissal without one ends the flow as cancelled.

#include <functional>
#include <string>

#include "talvaren/platform/oauth/OAuthSwiftURLHandlerType.hpp"
#include "talvaren/platform/ui/ViewController.hpp"

namespace talvaren::platform::oauth {

class OAuthWebViewController : public ui::ViewController, public OAuthSwiftURLHandlerType {
 public:
  OAuthWebViewController() { setModalPresentationStyle(ui::ModalPresentationStyle::fullScreen); }

  /// Presents this screen (once; a screen shown already stays as it is).
  void handle(const std::string& url) override;
  /// Takes this screen away; when it is not shown, the flow is told all the same.
  void dismissWebViewController();

  void observeDismissal(std::function<void()> observer) override { dismissalObserver_ = std::move(observer); }
  void flowDidEnd() override;

  bool isShown() const { return presentingViewController() != nullptr; }

 protected:
  void viewDidDisappear(bool animated) override;

 private:
  void tellDismissed();

  std::function<void()> dismissalObserver_;
};

}  // namespace talvaren::platform::oauth

#include "talvaren/platform/oauth/OAuthWebViewController.hpp"

#include "talvaren/platform/Dispatch.hpp"
#include "talvaren/platform/ui/Presenter.hpp"

namespace talvaren::platform::oauth {

void OAuthWebViewController::handle(const std::string& url) {
  (void)url;
  if (isShown()) return;
  ui::Presenter::present(shared_from_this(), true);
}

void OAuthWebViewController::dismissWebViewController() {
  if (isShown()) {
    dismiss(true);
  } else {
    tellDismissed();
  }
}

void OAuthWebViewController::flowDidEnd() {
  dismissalObserver_ = nullptr;
  if (isShown()) dismiss(true);
}

void OAuthWebViewController::viewDidDisappear(bool animated) {
  ui::ViewController::viewDidDisappear(animated);
  tellDismissed();
}

void OAuthWebViewController::tellDismissed() {
  if (auto observer = dismissalObserver_) DispatchQueue::main().async(std::move(observer));
}

}  // namespace talvaren::platform::oauth

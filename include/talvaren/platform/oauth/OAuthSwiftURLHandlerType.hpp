#pragma once
// What shows the provider's authorisation page to the user when a flow needs them.

#include <functional>
#include <string>

namespace talvaren::platform::oauth {

class OAuthSwiftURLHandlerType {
 public:
  virtual ~OAuthSwiftURLHandlerType() = default;
  /// Shows the page at `url` (called on the main queue).
  virtual void handle(const std::string& url) = 0;
  /// A handler that can be taken away without a redirect (a screen the user closes) calls `observer`
  /// when that happens, so the flow can end; the default never does.
  virtual void observeDismissal(std::function<void()> observer) { (void)observer; }
  /// The flow this handler serves has ended (a screen still shown goes away); the default does nothing.
  virtual void flowDidEnd() {}
};

}  // namespace talvaren::platform::oauth

#pragma once
// The application's window as the kit sees it: a root view controller and the screens presented over
// it. The kit shows a screen of its own with `Presenter::present`, over whatever is on top. A host that
// draws screens installs an observer to hear of every presentation and dismissal (any controller's),
// then shows the screen its own way and feeds the user's actions back through the screen's controls.
// Used on the main thread.

#include <functional>
#include <memory>

#include "talvaren/platform/ui/ViewController.hpp"

namespace talvaren::platform::ui {

class Presenter {
 public:
  struct Observer {
    std::function<void(const std::shared_ptr<ViewController>&)> didPresent;
    std::function<void(const std::shared_ptr<ViewController>&)> didDismiss;
  };

  /// The host's hook; an empty observer removes it.
  static void setObserver(Observer observer);

  /// The window's root controller: the host's, or a plain one made on first use.
  static std::shared_ptr<ViewController> rootViewController();
  static void setRootViewController(std::shared_ptr<ViewController> controller);
  /// The controller on top: the last of the presentation chain that starts at the root.
  static std::shared_ptr<ViewController> topViewController();

  /// Presents `controller` over the top controller.
  static void present(const std::shared_ptr<ViewController>& controller, bool animated,
                      const std::function<void()>& completion = {});

  /// Told by every controller (not for hosts).
  static void notifyPresented(const std::shared_ptr<ViewController>& controller);
  static void notifyDismissed(const std::shared_ptr<ViewController>& controller);
};

}  // namespace talvaren::platform::ui

#include "talvaren/platform/ui/ViewController.hpp"

#include <vector>

#include "talvaren/platform/Console.hpp"
#include "talvaren/platform/ui/Presenter.hpp"

namespace talvaren::platform::ui {

std::shared_ptr<View> ViewController::view() {
  if (!view_) {
    loadView();
    if (!view_) view_ = std::make_shared<View>(Screen::mainBounds());
    viewDidLoad();
  }
  return view_;
}

void ViewController::loadView() { view_ = std::make_shared<View>(Screen::mainBounds()); }

void ViewController::present(const std::shared_ptr<ViewController>& controller, bool animated,
                             const std::function<void()>& completion) {
  if (!controller || controller.get() == this || presented_ || controller->presenting_.lock() ||
      controller == Presenter::rootViewController()) {
    console::print("Attempt to present a view controller that cannot be presented here");
    return;
  }
  auto self = shared_from_this();
  presented_ = controller;
  controller->presenting_ = self;
  controller->loadViewIfNeeded();
  controller->viewWillAppear(animated);
  controller->viewDidAppear(animated);
  Presenter::notifyPresented(controller);
  if (completion) completion();
}

void ViewController::dismiss(bool animated, const std::function<void()>& completion) {
  auto self = shared_from_this();
  std::shared_ptr<ViewController> target = presented_ ? presented_ : (presenting_.lock() ? self : nullptr);
  if (target) {
    // The chain from the one taken away to the top, closed from the top down.
    std::vector<std::shared_ptr<ViewController>> chain;
    for (auto c = target; c; c = c->presented_) chain.push_back(c);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      auto& closing = *it;
      closing->viewWillDisappear(animated);
      if (auto presenting = closing->presenting_.lock()) presenting->presented_.reset();
      closing->presenting_.reset();
      closing->viewDidDisappear(animated);
      Presenter::notifyDismissed(closing);
    }
  }
  if (completion) completion();
}

}  // namespace talvaren::platform::ui

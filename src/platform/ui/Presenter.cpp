#include "talvaren/platform/ui/Presenter.hpp"

#include <mutex>

namespace talvaren::platform::ui {

namespace {

struct Window {
  std::mutex mutex;
  std::shared_ptr<ViewController> root;
  Presenter::Observer observer;
};

Window& window() {
  static auto& w = *new Window();
  return w;
}

}  // namespace

void Presenter::setObserver(Observer observer) {
  std::lock_guard lock(window().mutex);
  window().observer = std::move(observer);
}

std::shared_ptr<ViewController> Presenter::rootViewController() {
  std::lock_guard lock(window().mutex);
  if (!window().root) window().root = std::make_shared<ViewController>();
  return window().root;
}

void Presenter::setRootViewController(std::shared_ptr<ViewController> controller) {
  std::lock_guard lock(window().mutex);
  window().root = std::move(controller);
}

std::shared_ptr<ViewController> Presenter::topViewController() {
  auto top = rootViewController();
  while (auto next = top->presentedViewController()) top = next;
  return top;
}

void Presenter::present(const std::shared_ptr<ViewController>& controller, bool animated,
                        const std::function<void()>& completion) {
  topViewController()->present(controller, animated, completion);
}

void Presenter::notifyPresented(const std::shared_ptr<ViewController>& controller) {
  std::function<void(const std::shared_ptr<ViewController>&)> hook;
  {
    std::lock_guard lock(window().mutex);
    hook = window().observer.didPresent;
  }
  if (hook) hook(controller);
}

void Presenter::notifyDismissed(const std::shared_ptr<ViewController>& controller) {
  std::function<void(const std::shared_ptr<ViewController>&)> hook;
  {
    std::lock_guard lock(window().mutex);
    hook = window().observer.didDismiss;
  }
  if (hook) hook(controller);
}

}  // namespace talvaren::platform::ui

#pragma once
// A headless view controller: a root view made on first use, the appearance calls, and modal
// presentation. Nothing animates: presenting and dismissing finish (and call their completions) before
// they return. Controllers are made with std::make_shared and used on the main thread.
//
//   auto screen = std::make_shared<MyScreen>();
//   Presenter::present(screen, true);            // over whatever the application shows on top
//   ... screen->presentedViewController() ... screen->dismiss(true, [] { ... });
//
// Order of calls: `loadView` and `viewDidLoad` once, when the view is first asked for; on each
// presentation `viewWillAppear` then `viewDidAppear`; on each dismissal `viewWillDisappear` then
// `viewDidDisappear`.

#include <functional>
#include <memory>

#include "talvaren/platform/ui/View.hpp"

namespace talvaren::platform::ui {

enum class ModalPresentationStyle { automatic, fullScreen, overFullScreen, pageSheet, formSheet };

class ViewController : public std::enable_shared_from_this<ViewController> {
 public:
  ViewController() = default;
  virtual ~ViewController() = default;
  ViewController(const ViewController&) = delete;
  ViewController& operator=(const ViewController&) = delete;

  /// The root view, loaded (loadView, then viewDidLoad) on first use.
  std::shared_ptr<View> view();
  bool isViewLoaded() const { return view_ != nullptr; }
  void loadViewIfNeeded() { (void)view(); }

  ModalPresentationStyle modalPresentationStyle() const { return style_; }
  void setModalPresentationStyle(ModalPresentationStyle style) { style_ = style; }

  /// Shows `controller` over this one. Refused, with a console line and without calling `completion`,
  /// when this controller presents another already or `controller` is shown already (or is this one).
  void present(const std::shared_ptr<ViewController>& controller, bool animated,
               const std::function<void()>& completion = {});
  /// Takes away the controller this one presents, or, when it presents none, this one itself; every
  /// controller presented above the one taken away goes with it. `completion` runs afterwards, also when
  /// nothing was shown.
  void dismiss(bool animated, const std::function<void()>& completion = {});

  std::shared_ptr<ViewController> presentedViewController() const { return presented_; }
  std::shared_ptr<ViewController> presentingViewController() const { return presenting_.lock(); }

 protected:
  /// Makes the root view: by default a plain view as large as the main screen.
  virtual void loadView();
  virtual void viewDidLoad() {}
  virtual void viewWillAppear(bool animated) { (void)animated; }
  virtual void viewDidAppear(bool animated) { (void)animated; }
  virtual void viewWillDisappear(bool animated) { (void)animated; }
  virtual void viewDidDisappear(bool animated) { (void)animated; }
  void setView(std::shared_ptr<View> view) { view_ = std::move(view); }

 private:
  std::shared_ptr<View> view_;
  ModalPresentationStyle style_ = ModalPresentationStyle::automatic;
  std::shared_ptr<ViewController> presented_;
  std::weak_ptr<ViewController> presenting_;
};

}  // namespace talvaren::platform::ui

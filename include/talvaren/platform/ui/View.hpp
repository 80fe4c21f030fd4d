#pragma once
// A headless view: a frame in its superview's coordinates, a background colour and subviews. Nothing
// is drawn; hosts and tests read what a user would see. Views are made with std::make_shared and used on
// the main thread.

#include <memory>
#include <vector>

#include "talvaren/platform/Screen.hpp"
#include "talvaren/platform/ui/Color.hpp"

namespace talvaren::platform::ui {

class View : public std::enable_shared_from_this<View> {
 public:
  View() = default;
  explicit View(Rect frame) : frame_(frame) {}
  virtual ~View() = default;
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  Rect frame() const { return frame_; }
  void setFrame(Rect frame) { frame_ = frame; }
  /// The view's own coordinates: the frame's size at (0, 0).
  Rect bounds() const { return {0, 0, frame_.width, frame_.height}; }

  Color backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(Color color) { backgroundColor_ = color; }
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden) { hidden_ = hidden; }

  /// Back to front.
  const std::vector<std::shared_ptr<View>>& subviews() const { return subviews_; }
  std::shared_ptr<View> superview() const { return superview_.lock(); }
  /// Adds `view` in front of the others; a view already here moves to the front, one held by another
  /// view leaves it first. Adding a view to itself or to one of its own subviews does nothing.
  void addSubview(const std::shared_ptr<View>& view);
  void removeFromSuperview();

 private:
  Rect frame_;
  Color backgroundColor_ = Color::clear();
  bool hidden_ = false;
  std::vector<std::shared_ptr<View>> subviews_;
  std::weak_ptr<View> superview_;
};

}  // namespace talvaren::platform::ui

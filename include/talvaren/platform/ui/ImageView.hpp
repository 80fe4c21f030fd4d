#pragma once
// A headless image view: the picture a user sees there, if any. Used on the main thread.

#include <memory>

#include "talvaren/platform/Image.hpp"
#include "talvaren/platform/ui/View.hpp"

namespace talvaren::platform::ui {

class ImageView : public View {
 public:
  using View::View;

  std::shared_ptr<const Image> image() const { return image_; }
  void setImage(std::shared_ptr<const Image> image) { image_ = std::move(image); }

 private:
  std::shared_ptr<const Image> image_;
};

}  // namespace talvaren::platform::ui

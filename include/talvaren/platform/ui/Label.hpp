#pragma once
// A headless label: the text a user reads. Used on the main thread.

#include <optional>
#include <string>

#include "talvaren/platform/ui/View.hpp"

namespace talvaren::platform::ui {

class Label : public View {
 public:
  using View::View;

  const std::optional<std::string>& text() const { return text_; }
  void setText(std::optional<std::string> text) { text_ = std::move(text); }

 private:
  std::optional<std::string> text_;
};

}  // namespace talvaren::platform::ui
